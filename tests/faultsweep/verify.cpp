// The verification of a run's repository.
#include "sweep.h"

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "checks.h"
#include "decode/streamDecoder.h"
#include "platdump/platdump.h"
#include "platform/sim/platsim.h"

namespace sweep {

namespace {

constexpr uint32_t kRequest = 64u << 10;

// A complete dump's offload that does not decode, as damage found when.
void judgeOffload(RunRecord& r, DumpSummary& s, const char* when) {
    if (!s.isDumpComplete()) return;
    // The stream without main store: the file header and the hardware data.
    const uint64_t size = uint64_t(s.getFileHeaderSize()) + s.getHWDumpTotalSize();
    std::string stream;
    ErrlEntry* failed = nullptr;
    const bool whole = extractStream(s.getDumpId(), size, false, nullptr, stream, failed);
    delete failed;
    if (std::string problem = streamProblem(stream); whole && !problem.empty())
        r.damage.push_back({when, s.getDumpId(), problem});
}

// Opens every dump of the current root's repository, each as its kind
// lists it, and hands it to each (null when it cannot be opened); false
// when the repository cannot be listed.
template <typename Each>
bool eachDump(Each each) {
    std::vector<unsigned> ids[3];
    ErrlEntry* e = DumpCollections::listSYSDUMPIds(ids[0]);
    if (!e) e = DumpCollections::listHWUDUMPIds(ids[1]);
    if (!e) e = DumpCollections::listRESDUMPIds(ids[2]);
    const bool listed = e == nullptr;
    delete e;
    const DumpSummary::typeOfSummary_t types[] = {DumpSummary::SYS, DumpSummary::HWU, DumpSummary::RSC};
    for (int kind = 0; kind < 3; ++kind)
        for (unsigned id : ids[kind]) {
            ErrlEntry* errl = nullptr;
            DumpSummary s(id, errl, types[kind]);
            each(id, errl ? nullptr : &s);
            delete errl;
        }
    return listed;
}

void checkDump(RunRecord& r, unsigned id, DumpSummary* s) {
    const std::string name = "dump " + std::to_string(id);
    if (!s) {
        r.problems.push_back({kInconsistent, name + " is listed but cannot be opened"});
        return;
    }
    // A dump left behind may lack files a failed deletion took (that
    // deletion said so); what does offload must decode.
    judgeOffload(r, *s, kAfterRun);
    std::vector<std::string> files;
    bool named = s->getIntermediateFileNames(files);
    bool answer = DeleteDump(s);
    bool gone = !std::filesystem::exists(summaryHostPath(id));
    if (answer != (named && gone))
        r.problems.push_back({kFalseAnswer, name + ": DeleteDump answered " + std::to_string(answer) + " in the check"});
    if (!gone) r.problems.push_back({kInconsistent, name + ": its summary survives DeleteDump"});
}

// Checks the repository of the current simulation root ($PLATSIM_ROOT:
// its files only, with no fault armed there) and adds each finding to the
// record as found when. A root without a repository (no snapshot was
// taken) is skipped. Returns whether there was a repository to check.
bool checkRoot(RunRecord& r, const char* when) {
    namespace check = platdump::check;
    if (!std::filesystem::is_directory(std::string(::getenv("PLATSIM_ROOT")) + "/primary/plat_dump")) return false;
    check::CheckedRepository repository;
    std::vector<std::string> unreadable;
    std::string why;
    if (!check::readRepository(repository, unreadable, why)) {
        r.found.push_back({when, kCheckCannotRead, 0, "/plat_dump", why});
        return true;
    }
    check::Report report;
    for (const std::string& u : unreadable) report.unreadable(u);
    check::checkRepository(repository, std::nullopt, false, report);
    for (const check::Finding& f : report.findings())
        r.found.push_back({when, f.kind, f.dump.value_or(0), f.path, f.detail});
    for (const std::string& u : report.unreadableFiles()) r.found.push_back({when, kCheckCannotRead, 0, "", u});
    return true;
}

}  // namespace

bool extractStream(unsigned id, uint64_t size, bool withMainStore, dumpDMAEhandle* handle, std::string& stream,
                   ErrlEntry*& failed) {
    DumpExtractData extract;
    std::vector<char> buffer(kRequest);
    for (uint64_t offset = 0; offset < size;) {
        unsigned length = static_cast<unsigned>(std::min<uint64_t>(kRequest, size - offset));
        failed = extract.ExtractDump(id, offset, length, buffer.data(), withMainStore, handle);
        stream.append(buffer.data(), std::min<unsigned>(length, kRequest));
        if (failed || length == 0) return false;
        offset += length;
    }
    return true;
}

std::string streamProblem(const std::string& stream) {
    decode::MemorySource source(reinterpret_cast<const uint8_t*>(stream.data()), stream.size());
    decode::DecodedStream decoded = decode::decodeStream(source);
    if (decoded.consistent()) return "";
    for (const decode::Finding& f : decoded.findings.all())
        if (f.severity == decode::Severity::Error)
            return std::to_string(decoded.findings.errorCount()) + " decoder errors, first at " +
                   std::to_string(f.offset) + ": " + f.message;
    return "inconsistent";
}

std::vector<std::string> streamItems(const std::string& stream) {
    decode::MemorySource source(reinterpret_cast<const uint8_t*>(stream.data()), stream.size());
    decode::DecodedStream decoded = decode::decodeStream(source);
    std::vector<const decode::NodalFile*> files;
    if (decoded.hardware) {
        for (const decode::NodeGroup& g : decoded.hardware->groups)
            for (const auto* f : {&g.hardware, &g.serviceProcessor})
                if (*f) files.push_back(&**f);
        if (decoded.hardware->system) files.push_back(&*decoded.hardware->system);
    }
    std::vector<std::string> items;
    for (const decode::NodalFile* f : files)
        for (const decode::TocEntry& e : f->entries) {
            std::string item = std::to_string(int(f->kind)) + " " + std::to_string(e.entryId);
            for (uint32_t w : e.hwWord) item += " " + std::to_string(w);
            std::vector<uint8_t> bytes(e.dataSize);
            if (source.read(f->dataOffset + e.dataOffset, bytes.size(), bytes.data()))
                item += " " + std::string(bytes.begin(), bytes.end());
            items.push_back(item);
        }
    return items;
}

void checkRun(RunRecord& r, const std::string& root, const Snapshots& snapshots) {
    for (const auto& [snapshot, when] :
         {std::pair{snapshots.beforeOffload, kBeforeOffload}, std::pair{snapshots.afterOffload, kAfterOffload}}) {
        ::setenv("PLATSIM_ROOT", snapshot.c_str(), 1);
        if (!checkRoot(r, when)) continue;
        eachDump([&](unsigned, DumpSummary* s) {
            if (s) judgeOffload(r, *s, when);
        });
    }
    ::setenv("PLATSIM_ROOT", root.c_str(), 1);
    checkRoot(r, kAfterRun);
    if (!eachDump([&](unsigned id, DumpSummary* s) { checkDump(r, id, s); })) {
        r.problems.insert(r.problems.begin(), {kInconsistent, "the repository cannot be listed"});
        return;
    }
    DumpCollections::removeOrphanedFiles();
    for (const auto& entry : std::filesystem::directory_iterator(platsim::hostPath("/plat_dump")))
        r.problems.push_back({kInconsistent, "left after the orphan sweep: " + entry.path().filename().string()});
}

}  // namespace sweep
