// The verification of a run's repository.
#include "verify.h"

#include <filesystem>
#include <memory>
#include <vector>

#include "decode/streamDecoder.h"
#include "lifecycle.h"
#include "outcome.h"
#include "platdump/platdump.h"
#include "platform/sim/platsim.h"

namespace sweep {

namespace {

constexpr uint32_t kRequest = 64u << 10;

// The dump's stream without main store, read until the driver reports its
// end; false, with the entry's return code in why, on any other failure.
bool offload(unsigned id, std::string& stream, std::string& why) {
    DumpExtractData extract;
    std::vector<char> buffer(kRequest);
    for (uint64_t offset = 0;; offset += kRequest) {
        unsigned length = kRequest;
        ErrlEntry* e = extract.ExtractDump(id, offset, length, buffer.data(), false, nullptr);
        stream.append(buffer.data(), length);
        if (!e) continue;
        // Return code 0xB, reason 0xF00F: the stream ended before the
        // request was filled.
        bool ended = e->getRC() == 0xB && e->getSRC(0) && e->getSRC(0)->reasonCode() == 0xF00F;
        why = "return code " + std::to_string(e->getRC());
        delete e;
        return ended;
    }
}

void checkDump(RunRecord& r, unsigned id, DumpSummary::typeOfSummary_t type) {
    const std::string name = "dump " + std::to_string(id);
    ErrlEntry* errl = nullptr;
    std::unique_ptr<DumpSummary> s(new DumpSummary(id, errl, type));
    if (errl) {
        delete errl;
        r.problems.push_back({kInconsistent, name + " is listed but cannot be opened"});
        return;
    }
    if (s->isDumpComplete()) {
        std::string stream, why;
        if (!offload(id, stream, why))
            r.problems.push_back({kInconsistent, name + " as left cannot be offloaded: " + why});
        else if (std::string problem = streamProblem(stream); !problem.empty())
            r.problems.push_back({kWrongBytes, name + " as left: " + problem});
    }
    std::vector<std::string> files;
    bool named = s->getIntermediateFileNames(files);
    bool answer = DeleteDump(s.get());
    bool gone = !std::filesystem::exists(summaryHostPath(id));
    if (answer != (named && gone))
        r.problems.push_back({kFalseAnswer, name + ": DeleteDump answered " + std::to_string(answer) + " in the check"});
    if (!gone) r.problems.push_back({kInconsistent, name + ": its summary survives DeleteDump"});
}

}  // namespace

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

void verifyRepository(RunRecord& r) {
    std::vector<unsigned> sys, hwu, rsc;
    ErrlEntry* e = DumpCollections::listSYSDUMPIds(sys);
    if (!e) e = DumpCollections::listHWUDUMPIds(hwu);
    if (!e) e = DumpCollections::listRESDUMPIds(rsc);
    if (e) {
        delete e;
        r.problems.push_back({kInconsistent, "the repository cannot be listed"});
        return;
    }
    for (unsigned id : sys) checkDump(r, id, DumpSummary::SYS);
    for (unsigned id : hwu) checkDump(r, id, DumpSummary::HWU);
    for (unsigned id : rsc) checkDump(r, id, DumpSummary::RSC);
    DumpCollections::removeOrphanedFiles();
    for (const auto& entry : std::filesystem::directory_iterator(platsim::hostPath("/plat_dump")))
        r.problems.push_back({kInconsistent, "left after the orphan sweep: " + entry.path().filename().string()});
}

}  // namespace sweep
