#include "repository.h"

#include <memory>
#include <mutex>

#include "decode/summaryFile.h"
#include "decode/summarySection.h"
#include "dumpAccess.h"
#include "dumpId.h"
#include "errlogCommand.h"
#include "errlogJson.h"
#include "offloadCommand.h"
#include "platdump/dumpCollections.h"
#include "platdump/dumpExtractData.h"
#include "platdump/dumpState.h"
#include "platdump/dumpSummary.h"
#include "platform/errlEntry.h"
#include "platform/rtim.h"
#include "platform/srciSrc.h"
#include "platform/utilFile.h"
#include "textFormat.h"

namespace platdump::serve::repository {

namespace {

// One library call at a time in this process.
std::mutex& libraryLock() {
    static std::mutex lock;
    return lock;
}
using Held = std::lock_guard<std::mutex>;

// An offset beyond any stream, far enough from the top that no sum the
// driver forms with it overflows.
constexpr unsigned long long kBeyondEveryStream = 1ull << 62;

uint64_t fnv1a(const std::vector<uint8_t>& bytes) {
    uint64_t h = 0xcbf29ce484222325ull;
    for (uint8_t b : bytes) h = (h ^ b) * 0x100000001b3ull;
    return h;
}

std::string isoTime(const decode::BcdTime& t) {
    // t.text: "2026-12-05 20:30:15.00"
    if (!t.valid || t.text.size() < 19) return "";
    return t.text.substr(0, 10) + "T" + t.text.substr(11, 8) + "+00:00";
}

std::optional<DumpSummary::typeOfSummary_t> kindNamed(const std::string& kind) {
    for (DumpSummary::typeOfSummary_t k : {DumpSummary::SYS, DumpSummary::HWU, DumpSummary::RSC})
        if (kind == kindName(k)) return k;
    return std::nullopt;
}

ErrlEntry* extractHeld(uint32_t id, uint64_t offset, unsigned int& length, char* buffer, bool mainStore,
                       dumpDMAEhandle* handle) {
    // One driver object for the process: constructing one resets the
    // process-wide main-store access choice, which each extraction makes
    // afresh anyway.
    static DumpExtractData driver;
    return driver.ExtractDump(id, offset, length, buffer, mainStore, handle);
}

ErrlEntry* streamSizeHeld(uint32_t id, bool mainStore, uint64_t estimate, uint64_t& size) {
    dumpDMAEhandle handle{};
    char byte = 0;
    unsigned int length = 1;
    ErrlEntry* e = extractHeld(id, kBeyondEveryStream, length, &byte, mainStore, &handle);
    if (!e || extractOutcome(*e) != ExtractOutcome::EndOfStream) return e;
    const uint32_t low = e->getSRC(0)->userWord(3);
    delete e;
    // The value with those low bits nearest the estimate.
    const uint64_t candidate = (estimate & ~0xFFFFFFFFull) | low;
    size = candidate;
    if (candidate > estimate && candidate - estimate > 0x80000000ull && candidate >= 0x100000000ull)
        size = candidate - 0x100000000ull;
    else if (candidate < estimate && estimate - candidate > 0x80000000ull)
        size = candidate + 0x100000000ull;
    return nullptr;
}

// The exact stream size into size, or none when the library cannot tell it.
std::optional<uint64_t> exactSizeHeld(uint32_t id, bool mainStore, uint64_t estimate) {
    uint64_t size = 0;
    ErrlEntry* e = streamSizeHeld(id, mainStore, estimate, size);
    if (!e) return size;
    delete e;
    return std::nullopt;
}

Lookup unreadable(const std::string& why, ErrlEntry* e) {
    Lookup l;
    l.outcome = Lookup::Unreadable;
    l.why = why;
    if (e) l.errorLog = decodeEntry(*e);
    delete e;
    return l;
}

// The lookup of one dump whose kind is known; the library lock is held.
Lookup entryHeld(uint32_t id, DumpSummary::typeOfSummary_t kind) {
    const std::string path = summaryPath(id, kind);
    if (!UtilFile(path.c_str()).exists()) return Lookup{};
    ErrlEntry* errl = nullptr;
    DumpSummary summary(id, errl, kind);
    if (errl) return unreadable("the library cannot open dump " + idText(id) + " (" + path + ")", errl);

    _dumpstate state{};
    state.size = sizeof state;
    if (!summary.PopulateDumpState(&state))
        return unreadable("the library cannot read the state of dump " + idText(id), nullptr);
    // The file read whole under the summary lock: no setter of another
    // process is caught half-way.
    std::vector<uint8_t> bytes;
    std::string why;
    summary.lockExclusive();
    const bool read = readRepositoryFile(path, bytes, why);
    summary.unlockExclusive();
    if (!read) return unreadable(why, nullptr);

    Lookup l;
    l.outcome = Lookup::Found;
    EntryFacts& f = l.facts;
    f = stateFacts(state);
    f.summaryDigest = fnv1a(bytes);
    const decode::SummaryFile file = decode::decodeSummaryFile(decode::MemorySource(bytes.data(), bytes.size()));
    if (file.summary) {
        const decode::SummarySection& s = *file.summary;
        f.created = isoTime(s.dumpCreationTime);
        f.streamSize = uint64_t(s.fileHeaderSize) + s.hwDumpTotalSize;
        f.mainStoreStreamSize = f.holdsMainStore ? s.fileHeaderSize + s.totalDumpSize : f.streamSize;
        // The library's own count of a complete dump's streams, which the
        // attachment's Content-Length is: where a setter kept an old size,
        // the summary's figures are not.
        if (f.complete) {
            f.streamSize = exactSizeHeld(id, false, f.streamSize).value_or(f.streamSize);
            f.mainStoreStreamSize = f.holdsMainStore
                                        ? exactSizeHeld(id, true, f.mainStoreStreamSize).value_or(f.mainStoreStreamSize)
                                        : f.streamSize;
        }
        if (s.dumpSrcSize != 0)
            if (const SrciSrc* src = summary.getSrc()) f.src = src->getAsciiString();
    }
    return l;
}

}  // namespace

EntryFacts stateFacts(const _dumpstate& s) {
    EntryFacts f;
    f.id = s.dumpId;
    f.kind = kindName(s.summaryType);
    f.dumpFileName = fieldText(s.dumpFileName, sizeof s.dumpFileName);
    f.complete = (s.dumpFlags & decode::kDumpCompleteFlag) != 0;
    f.progress = s.progress;
    f.dumpFlags = s.dumpFlags;
    f.dumpFlagNames = decode::dumpFlagNames(s.dumpFlags);
    f.hwErrorFlags = s.hwErrorFlags;
    f.memoryDumpErrorFlags = s.memoryDumpErrorFlags.value();
    f.contentType = s.contentType;
    f.dataSize = s.dataSize;
    f.holdsMainStore = (s.dumpFlags & decode::kMainstoreDumpExistsFlag) != 0;
    return f;
}

Lookup entry(uint32_t id) {
    Held held(libraryLock());
    std::optional<DumpSummary::typeOfSummary_t> kind = findDumpKind(id);
    if (!kind) return Lookup{};
    return entryHeld(id, *kind);
}

bool entries(std::vector<EntryFacts>& out, Lookup& failure) {
    Held held(libraryLock());
    std::vector<_dumpstate> listed;
    if (ErrlEntry* e = DumpCollections::dumpSummarizeDumps(listed)) {
        failure = unreadable(std::string("the library cannot list ") + DumpCollections::MOUNT_POINT, e);
        return false;
    }
    for (const _dumpstate& s : listed) {
        Lookup l = entryHeld(s.dumpId, static_cast<DumpSummary::typeOfSummary_t>(s.summaryType));
        if (l.outcome == Lookup::Found) out.push_back(std::move(l.facts));  // else gone or damaged since
    }
    return true;
}

bool states(std::vector<_dumpstate>& out) {
    Held held(libraryLock());
    ErrlEntry* e = DumpCollections::dumpSummarizeDumps(out);
    delete e;
    return e == nullptr;
}

std::optional<uint64_t> summaryDigest(uint32_t id, const std::string& kind) {
    std::optional<DumpSummary::typeOfSummary_t> k = kindNamed(kind);
    if (!k) return std::nullopt;
    std::vector<uint8_t> bytes;
    std::string why;
    Held held(libraryLock());
    if (!readRepositoryFile(summaryPath(id, *k), bytes, why)) return std::nullopt;
    return fnv1a(bytes);
}

ErrlEntry* extract(uint32_t id, uint64_t offset, unsigned int& length, char* buffer, bool mainStore,
                   dumpDMAEhandle* handle) {
    Held held(libraryLock());
    return extractHeld(id, offset, length, buffer, mainStore, handle);
}

ErrlEntry* streamSize(uint32_t id, bool mainStore, uint64_t estimate, uint64_t& size) {
    Held held(libraryLock());
    return streamSizeHeld(id, mainStore, estimate, size);
}

Deletion remove(uint32_t id) {
    Held held(libraryLock());
    Deletion d;
    std::optional<DumpSummary::typeOfSummary_t> kind = findDumpKind(id);
    if (!kind) return d;
    const size_t logsBefore = committedErrorLogCount();
    const std::string path = summaryPath(id, *kind);
    ErrlEntry* errl = nullptr;
    auto summary = std::make_unique<DumpSummary>(id, errl, *kind);
    if (errl) {
        d.outcome = Deletion::Failed;
        d.why = "the library cannot open dump " + idText(id) + " (" + path + ")";
        d.errorLogs.push_back(decodeEntry(*errl));
        delete errl;
        return d;
    }
    DeleteDump(summary.get());
    summary.reset();  // the handle of a deleted dump sweeps the repository once more
    if (!UtilFile(path.c_str()).exists()) {
        d.outcome = Deletion::Deleted;
        return d;
    }
    d.outcome = Deletion::Failed;
    d.why = "the library did not delete dump " + idText(id) + " (" + path + ")";
    for (const Json& e : committedErrorLogs(logsBefore)) d.errorLogs.push_back(e);
    return d;
}

std::string now() {
    BCD_time8_t stamp{};
    uint32_t status = 0;
    ErrlEntry* e = nullptr;
    {
        Held held(libraryLock());
        e = rtim_GetTimeOfDay(stamp, status, true, false, false, false);
    }
    if (e || status != 0) {
        delete e;
        return "";
    }
    return isoTime(decode::decodeBcdTime(reinterpret_cast<const uint8_t*>(&stamp)));
}

}  // namespace platdump::serve::repository
