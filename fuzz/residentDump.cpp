#include "fuzz/residentDump.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "collector/runningServer.h"
#include "fuzz/fuzzRoot.h"
#include "platdump/platdump.h"
#include "platform/sim/platsim.h"

namespace fuzzsupport {

namespace {

constexpr int64_t kClock = 1796502615;  // 2026-12-05 20:30:15 UTC

[[noreturn]] void fail(const std::string& what, ErrlEntry* e = nullptr) {
    std::fprintf(stderr, "resident dump: %s%s\n", what.c_str(), e ? " (the library returned an error log)" : "");
    std::abort();
}

// Any failure while the resident dump is made stops the fuzzer.
class ResidentHooks : public collector::Hooks {
public:
    bool entry(const std::string& call, ErrlEntry* e) override {
        if (e) fail(call, e);
        return true;
    }
    void call(const std::string& call, bool ok) override {
        if (!ok) fail(call);
    }
};

void prepareMachine() {
    collector::setRunningServerRegistry();
    collector::setConsoles(1);
    platsim::setClock(kClock);
    std::string store(kMainStoreSize, '\0');
    for (uint64_t a = 0; a < kMainStoreSize; ++a) store[a] = static_cast<char>(mainStoreByte(a));
    platsim::writeMainStore(0, store);
}

std::string readHostFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

ResidentFile residentFile(const std::string& spPath) {
    std::string host = hostPath(spPath);
    return ResidentFile{spPath, host, readHostFile(host)};
}

// A small dump: one node, a few items of a few bytes each.
collector::Plan residentPlan() {
    collector::Plan plan;
    plan.id = kResidentId;
    plan.client = "platdump fuzz";
    plan.hardwareBits = {8, 200};
    plan.serviceProcessorBytes = {8, 40};
    plan.savedValues = {{"fstp/SystemName", true}};
    plan.regions = {{0x1000, 256, "REGION00"}, {0x8010, 200, "REGION01"}};
    return plan;
}

// The collector's work, from creation to completion; the files are read
// once the summary is closed.
ResidentDump makeResidentDump() {
    processRoot();
    prepareMachine();
    ResidentHooks hooks;
    collector::Plan plan = residentPlan();
    ErrlEntry savedLog(0x2A00, ERRL_SEV_UNRECOVERABLE, ERRL_ETYPE_NOT_APPLICABLE, collector::requestSrc(kResidentId));
    plan.savedLog = &savedLog;
    std::string summaryName;
    std::vector<std::string> names;
    std::string mdrtPath;
    {
        std::unique_ptr<DumpSummary> summary = collector::createDump(plan, hooks);
        mdrtPath = collector::collectDump(*summary, plan, hooks).mdrtPath;
        summary->getSummaryFileName(summaryName);
        summary->getIntermediateFileNames(names);
    }
    ResidentDump d;
    d.summary = residentFile(summaryName);
    for (const std::string& name : names)
        if (name == mdrtPath)
            d.mdrt = residentFile(name);
        else
            d.nodalFiles.push_back(residentFile(name));
    return d;
}

}  // namespace

uint8_t mainStoreByte(uint64_t address) {
    return static_cast<uint8_t>((address * 0x9E3779B1u) >> 13 ^ address);
}

void ResidentDump::restore() const {
    writeWhole(summary.hostPath, summary.bytes.data(), summary.bytes.size());
    writeWhole(mdrt.hostPath, mdrt.bytes.data(), mdrt.bytes.size());
    for (const ResidentFile& f : nodalFiles) writeWhole(f.hostPath, f.bytes.data(), f.bytes.size());
}

const ResidentDump& residentDump() {
    static const ResidentDump dump = makeResidentDump();
    return dump;
}

}  // namespace fuzzsupport
