// The rules and what each can explain.
#include "rules.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <iterator>

#include "checker.h"
#include "lifecycle.h"
#include "machine.h"
#include "verify.h"

namespace sweep {

namespace {

// ---- What a fault hit, and when.

// The kind of step that was running ("summary setter"), without its dump.
std::string stepKind(const Fired& f) {
    const size_t colon = f.step.find(": ");
    return colon == std::string::npos ? f.step : f.step.substr(colon + 2);
}

bool during(const Fired& f, std::initializer_list<const char*> kinds) {
    const std::string kind = stepKind(f);
    return std::any_of(kinds.begin(), kinds.end(), [&](const char* k) { return kind == k; });
}

// The dump the step worked on (0: the repository's steps).
unsigned stepDump(const Fired& f) {
    if (f.step.compare(0, sizeof step::kSystemDump - 1, step::kSystemDump) == 0) return kSystemDump;
    if (f.step.compare(0, sizeof step::kUnitDump - 1, step::kUnitDump) == 0) return kUnitDump;
    return 0;
}

bool calls(const Fired& f, std::initializer_list<const char*> names) {
    return std::any_of(names.begin(), names.end(), [&](const char* n) { return f.call == n; });
}

std::string upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// The dump whose file the call was on: the id's eight hexadecimal digits
// in its name (the temporary SRC file has them in lower case); 0 for none.
unsigned subjectDump(const Fired& f) {
    const std::string subject = upper(f.subject);
    for (unsigned id : {kSystemDump, kUnitDump}) {
        char digits[16];
        std::snprintf(digits, sizeof digits, "%08X", id);
        if (subject.find(digits) != std::string::npos) return id;
    }
    return 0;
}

bool onSummary(const Fired& f) {
    const std::string suffix = ".summary";
    return f.subject.size() > suffix.size() &&
           f.subject.compare(f.subject.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// A nodal section's TOC or data file ("0000001A.HwTOC0", "0000001A.SysData").
bool onNodal(const Fired& f) {
    for (const char* part : {".HwTOC", ".HwData", ".SpTOC", ".SpData", ".SysTOC", ".SysData"})
        if (f.subject.find(part) != std::string::npos) return true;
    return false;
}

bool onToc(const Fired& f) { return onNodal(f) && f.subject.find("TOC") != std::string::npos; }

// The file access calls.
bool fileAccess(const Fired& f) { return calls(f, {"UtilFile.seek", "UtilFile.read", "UtilFile.write"}); }

// Steps in which a summary's flush runs: every destruction of an open
// summary (the listings, each offload request and the orphan sweeps open
// summaries), and completion.
bool inFlush(const Fired& f) {
    return during(f, {step::kListing, step::kOffload, step::kDestruction, step::kCheckstop, step::kCompletion,
                      step::kDeletion});
}

// Steps in which summary getters re-read a region.
bool inGetters(const Fired& f) {
    return during(f, {step::kGetter, step::kListing, step::kOffload, step::kCheckstop, step::kDeletion,
                      step::kNodalWrite, step::kSystemSection, step::kCompletion});
}

// ---- What a symptom is.

bool is(const Symptom& s, std::initializer_list<Symptom::Kind> kinds) {
    return std::find(kinds.begin(), kinds.end(), s.kind) != kinds.end();
}

// The symptom concerns dump d (or no dump in particular).
bool of(const Symptom& s, unsigned d) { return s.dump == d || s.dump == 0; }

// An at-rest symptom whose findings are all of the kinds given.
bool foundOnly(const Symptom& s, std::initializer_list<const char*> kinds) {
    if (s.kind != Symptom::AtRest) return false;
    return std::all_of(s.kinds.begin(), s.kinds.end(), [&](const std::string& k) {
        return std::any_of(kinds.begin(), kinds.end(), [&](const char* allowed) { return k == allowed; });
    });
}

// The dump's own stream was damaged at rest before the offload, so a
// stream that does not decode took the damage from the files.
bool damagedBeforeOffload(const RuleContext& c, unsigned d) {
    return std::any_of(c.check.damage.begin(), c.check.damage.end(),
                       [&](const Damage& x) { return x.dump == d && x.when == kBeforeOffload; });
}

// `platdump check` found one of kinds in dump d as it lay before the
// offload (none given: anything).
bool foundBeforeOffload(const RuleContext& c, unsigned d, std::initializer_list<const char*> kinds = {}) {
    return std::any_of(c.check.found.begin(), c.check.found.end(), [&](const CheckFinding& f) {
        const bool ofKind =
            kinds.size() == 0 || std::any_of(kinds.begin(), kinds.end(), [&](const char* k) { return f.kind == k; });
        return f.dump == d && f.when == kBeforeOffload && ofKind;
    });
}

bool foundAfterOffload(const RuleContext& c, unsigned d) {
    return std::any_of(c.check.found.begin(), c.check.found.end(),
                       [&](const CheckFinding& f) { return f.dump == d && f.when == kAfterOffload; });
}

// The stream holds the no-fault stream's items but some, in their order:
// what dropping whole items leaves.
bool lostItemsOnly(const std::string& run, const std::string& base) {
    const std::vector<std::string> have = streamItems(run), all = streamItems(base);
    size_t at = 0;
    for (const std::string& item : all)
        if (at < have.size() && have[at] == item) ++at;
    return at == have.size() && have.size() < all.size();
}

// Whatever a summary of dump d written wrong (a field lost, a region
// written from or to the wrong place) can lead to: the dump as it lies
// (and files it no longer claims), answers, its removal by the next
// program that opens it and cannot validate it, a stream that differs,
// and one that does not decode where check found the summary wrong at
// rest when the offload read it.
bool damageOf(const RuleContext& c, const Fired& f, const Symptom& s, unsigned d) {
    if (!of(s, d)) return false;
    if (s.kind == Symptom::StreamBad)
        return foundBeforeOffload(c, d) || (during(f, {step::kOffload}) && foundAfterOffload(c, d));
    return is(s, {Symptom::AtRest, Symptom::StreamDiffers, Symptom::Answer, Symptom::Vanished});
}

// ---- The console and the system section (contract of the system nodal
// information).

bool consoleScanCall(const Fired& f) {
    return calls(f, {"kelxQueryKelManagedInfo", "NetcSessionEntry.FindSessionEntry", "NetcAddress", "netcConnect",
                     "netcSendRecv", "netcClose", "netcSessionEntryFileLock", "netcSessionEntryFileUnLock"});
}

// Two streams of one length that differ only within one console record.
bool differOnlyInAConsoleRecord(const std::string& a, const std::string& b) {
    constexpr size_t kConsoleRecord = 812;
    if (a.size() != b.size()) return false;
    size_t first = 0, last = a.size();
    while (first < a.size() && a[first] == b[first]) ++first;
    while (last > first && a[last - 1] == b[last - 1]) --last;
    return last - first <= kConsoleRecord;
}

bool consoleRecordLeftEmpty(const RuleContext& c, const Fired& f, const Symptom& s) {
    return consoleScanCall(f) && is(s, {Symptom::StreamDiffers}) &&
           std::all_of(c.facts.fired.begin(), c.facts.fired.end(), consoleScanCall) &&
           differOnlyInAConsoleRecord(c.run.stream, c.baseline.record.stream);
}

// The run's stream holds the baseline's items but the file-system use
// entry, and nothing else differs in what the dump holds.
bool lostOnlyTheFileSystemUse(const std::string& run, const std::string& base) {
    const std::string fileSystemUse = std::to_string(int(3)) + " " + std::to_string(0xF00A0000u) + " ";
    std::vector<std::string> expected = streamItems(base);
    expected.erase(std::remove_if(expected.begin(), expected.end(),
                                  [&](const std::string& item) { return item.rfind(fileSystemUse, 0) == 0; }),
                   expected.end());
    return streamProblem(run).empty() && streamItems(run) == expected;
}

bool fileSystemUseNotWritten(const RuleContext& c, const Fired& f, const Symptom& s) {
    return during(f, {step::kSystemSection}) && is(s, {Symptom::StreamDiffers}) &&
           lostOnlyTheFileSystemUse(c.run.stream, c.baseline.record.stream);
}

// ---- Opening and removal.

// The opening constructor removes a summary it cannot open or read; its
// files are orphans until the next sweep, and the listings lack it.
bool unreadableSummaryRemoved(const RuleContext&, const Fired& f, const Symptom& s) {
    if (!calls(f, {"UtilFile.Open", "UtilFile.read"}) || !onSummary(f)) return false;
    return is(s, {Symptom::Vanished, Symptom::Answer}) || foundOnly(s, {"orphan"});
}

// removeSummaryFile closes the file and returns the error the close leaves.
bool closeBeforeRemoval(const RuleContext&, const Fired& f, const Symptom& s) {
    return is(s, {Symptom::Deletion}) && f.call == "UtilFile.Close" && onSummary(f) && subjectDump(f) == s.dump &&
           during(f, {step::kDeletion});
}

// A names read at opening that fails, and a region primitive's failure, are
// traced and stay pending in the summary file; its removal takes them. The
// deleting program's summary is the one opened for the deletion.
bool pendingErrorAtRemoval(const RuleContext&, const Fired& f, const Symptom& s) {
    return is(s, {Symptom::Deletion}) && fileAccess(f) && onSummary(f) && subjectDump(f) == s.dump &&
           stepDump(f) == s.dump && during(f, {step::kOpening, step::kWithdrawal, step::kDeletion});
}

// A deletion ignores the removals of the dump's files that fail, and a
// summary it cannot remove stays without them; the orphan sweep's failed
// removals are logged, and the files stay for the next sweep.
bool failedRemovalsLeaveFiles(const RuleContext&, const Fired& f, const Symptom& s) {
    return calls(f, {"UtilFile.Remove", "UtilFile.remove"}) && s.kind == Symptom::AtRest && s.when == kAfterRun &&
           foundOnly(s, {"file-missing", "orphan"});
}

// ---- The summary's fields.

// A setter's failed seek, re-read or write-back is traced, and the setter
// goes on: it changes the image as the re-read left it (read where the
// file stood after a failed seek) and writes it back (where the file
// stands).
bool setterGoesOn(const RuleContext& c, const Fired& f, const Symptom& s) {
    return fileAccess(f) && onSummary(f) && during(f, {step::kSetter}) && damageOf(c, f, s, subjectDump(f));
}

// The same for the three collection-failure operations.
bool markingGoesOn(const RuleContext& c, const Fired& f, const Symptom& s) {
    return fileAccess(f) && onSummary(f) && during(f, {step::kFailureMarking, step::kWithdrawal}) &&
           damageOf(c, f, s, subjectDump(f));
}

// Every step of SaveFlattenedSRC that fails is traced and the next runs.
bool srcStepsGoOn(const RuleContext& c, const Fired& f, const Symptom& s) {
    return during(f, {step::kSrc}) && subjectDump(f) != 0 && damageOf(c, f, s, subjectDump(f));
}

// flush stores for a named nodal file it cannot open what the unopened
// file object reports (0).
bool flushStoresUnopenedSize(const RuleContext& c, const Fired& f, const Symptom& s) {
    const unsigned d = subjectDump(f);
    if (f.call != "UtilFile.Open" || !onNodal(f) || !inFlush(f) || !of(s, d)) return false;
    if (s.kind == Symptom::AtRest) return foundOnly(s, {"size-mismatch"});
    // The offload follows the sizes as flush stored them, before it or
    // between two of its requests.
    if (is(s, {Symptom::StreamBad, Symptom::StreamDiffers}))
        return during(f, {step::kOffload}) || foundBeforeOffload(c, d, {"size-mismatch"});
    return s.kind == Symptom::Answer;
}

// flush does not check its re-reads: it recomputes in the images as they
// were read (where the file stood after a failed seek) and writes them
// back when they changed.
bool flushGoesOn(const RuleContext& c, const Fired& f, const Symptom& s) {
    return fileAccess(f) && onSummary(f) && inFlush(f) && damageOf(c, f, s, subjectDump(f));
}

// A getter answers from its region as re-read, where the file stood after
// a failed seek; the nodal section takes the content type so, and an
// offload request builds its list and its header bytes so (the stream
// then differs while the dump at rest does not).
bool getterAnswersFromImage(const RuleContext& c, const Fired& f, const Symptom& s) {
    if (!calls(f, {"UtilFile.seek", "UtilFile.read"}) || !onSummary(f) || !inGetters(f)) return false;
    const unsigned d = subjectDump(f);
    if (is(s, {Symptom::Answer, Symptom::StreamDiffers})) return of(s, d);
    return s.kind == Symptom::StreamBad && d == kSystemDump && during(f, {step::kOffload}) &&
           !damagedBeforeOffload(c, d);
}

// A region primitive that cannot seek transfers where the file stands.
bool primitiveTransfersWhereFileStands(const RuleContext& c, const Fired& f, const Symptom& s) {
    return fileAccess(f) && onSummary(f) && during(f, {step::kRegionPrimitives}) && damageOf(c, f, s, subjectDump(f));
}

// ---- Completion and the nodal sections.

// setDumpComplete's re-reads and its write of the flag are traced only.
bool completionGoesOn(const RuleContext& c, const Fired& f, const Symptom& s) {
    return fileAccess(f) && onSummary(f) && during(f, {step::kCompletion}) && damageOf(c, f, s, subjectDump(f));
}

// What a nodal pair of dump d left wrong leads to: check finds it (as a
// section's finding), the stream does not decode where check found that
// before the offload, or lacks the items the pair lost, and answers differ.
bool sectionLeftWrong(const RuleContext& c, const Symptom& s, unsigned d) {
    if (s.kind == Symptom::AtRest) return foundOnly(s, {"section-inconsistent", "items-misplaced", "size-mismatch"});
    const bool found = foundBeforeOffload(c, d, {"section-inconsistent", "items-misplaced", "size-mismatch"});
    if (s.kind == Symptom::StreamBad) return found;
    if (s.kind == Symptom::StreamDiffers) return found || lostItemsOnly(c.run.stream, c.baseline.record.stream);
    return s.kind == Symptom::Answer;
}

// Completion deletes the log of a section it cannot reopen, and a section
// whose files cannot be measured, padded or given their final header is
// left as it is; the dump completes all the same.
bool completionLeavesSection(const RuleContext& c, const Fired& f, const Symptom& s) {
    const unsigned d = subjectDump(f);
    return calls(f, {"UtilFile.Open", "UtilFile.seek", "UtilFile.read", "UtilFile.write"}) && onNodal(f) &&
           during(f, {step::kCompletion}) && of(s, d) && (s.kind == Symptom::AtRest || foundBeforeOffload(c, d)) &&
           sectionLeftWrong(c, s, d);
}

// The crash repair judges an entry it cannot read (or reads where the TOC
// stood) as claiming data beyond the file: it drops it with its item, and
// the pair is whole.
bool repairDropsUnreadEntry(const RuleContext& c, const Fired& f, const Symptom& s) {
    const unsigned d = subjectDump(f);
    if (!calls(f, {"UtilFile.seek", "UtilFile.read"}) || !onToc(f) || !during(f, {step::kCompletion}) || !of(s, d) ||
        foundBeforeOffload(c, d))
        return false;
    if (s.kind == Symptom::StreamDiffers) return lostItemsOnly(c.run.stream, c.baseline.record.stream);
    return s.kind == Symptom::Answer;
}

// A truncate in the crash repair that fails is traced; the bytes it was to
// cut stay.
bool repairTruncateFails(const RuleContext& c, const Fired& f, const Symptom& s) {
    return f.call == "truncate" && onNodal(f) && of(s, subjectDump(f)) && sectionLeftWrong(c, s, subjectDump(f));
}

// An item whose append, measurement or header rewrite fails is not
// counted, and what it wrote stays: the next item goes at the data file's
// end, behind a gap (or after bytes no entry describes at the end). When
// it is the entry that stayed, the next entries stand one place later in
// the TOC than the header counts, and the repair cuts the last of them.
bool failedItemStays(const RuleContext& c, const Fired& f, const Symptom& s) {
    return calls(f, {"UtilFile.seek", "UtilFile.write", "UtilFile.read"}) && onNodal(f) &&
           during(f, {step::kNodalWrite, step::kSystemSection}) && of(s, subjectDump(f)) &&
           sectionLeftWrong(c, s, subjectDump(f));
}

// An append that the free-space check cuts short is traced, the item is
// counted all the same, and the file system is marked full in the summary.
bool shortAppendCounted(const RuleContext& c, const Fired& f, const Symptom& s) {
    return f.call == "statfs" && onNodal(f) && during(f, {step::kNodalWrite, step::kSystemSection}) &&
           of(s, subjectDump(f)) && sectionLeftWrong(c, s, subjectDump(f));
}

// Creation does not examine its writes' counts: a write the free-space
// check cuts short without an error leaves a summary file without its later
// regions. The next re-read of the names finds zeros (a write beyond the
// end filled the gap): the summary no longer names itself, and the orphan
// sweep removes it.
bool creationWriteCutShort(const RuleContext& c, const Fired& f, const Symptom& s) {
    return f.call == "statfs" && onSummary(f) && during(f, {step::kCreation}) && damageOf(c, f, s, subjectDump(f));
}

}  // namespace

const std::vector<Rule>& rules() {
    static const std::vector<Rule> all = {
        {kPrescribed, unreadableSummaryRemoved},
        {kPrescribedConsole, consoleRecordLeftEmpty},
        {kPrescribedFileSystemUse, fileSystemUseNotWritten},
        {"prescribed: a summary setter goes on after a failed re-read or write-back", setterGoesOn},
        {"prescribed: a collection-failure marking goes on after a failed re-read or write-back", markingGoesOn},
        {"prescribed: SaveFlattenedSRC goes on past a step that fails", srcStepsGoOn},
        {"prescribed: a region primitive transfers where the file stands after a failed seek",
         primitiveTransfersWhereFileStands},
        {"prescribed: completion goes on after a failed re-read or write of the summary", completionGoesOn},
        {"prescribed: flush goes on after a failed re-read, and writes back what it holds", flushGoesOn},
        {"prescribed: flush stores 0 bytes for a nodal file it cannot open", flushStoresUnopenedSize},
        {"prescribed: a getter answers from the image a failed re-read left", getterAnswersFromImage},
        {"prescribed: completion leaves a section it cannot reopen or measure as it is", completionLeavesSection},
        {"prescribed: the crash repair drops an entry it cannot read", repairDropsUnreadEntry},
        {"prescribed: a crash repair whose truncate fails leaves the bytes it was to cut", repairTruncateFails},
        {"prescribed: a failed item stays in the nodal files, the next goes at the data file's end", failedItemStays},
        {"prescribed: an append cut short by the free-space check is traced and the item counted", shortAppendCounted},
        {"prescribed: creation does not fail on a write the free-space check cuts short", creationWriteCutShort},
        {"prescribed: a failed close before the summary's removal makes DeleteDump answer false", closeBeforeRemoval},
        {"prescribed: an error left pending in the summary file is taken at its removal: DeleteDump answers false",
         pendingErrorAtRemoval},
        {"prescribed: a deletion goes on past removals that fail, and leaves what they could not remove",
         failedRemovalsLeaveFiles},
    };
    return all;
}

}  // namespace sweep
