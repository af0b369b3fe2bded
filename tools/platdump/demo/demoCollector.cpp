#include "demoCollector.h"

#include "collector/dumpCollector.h"
#include "platdump/platdump.h"
#include "textFormat.h"

namespace platdump {

namespace {

constexpr uint32_t kTriggerLogEntry = 0x2A170001;  // the error log that caused the dump

// Prints each milestone; a failure the library reports stops the demo.
class DemoHooks : public collector::Hooks {
public:
    DemoHooks(const collector::Plan& plan, DemoFacts& facts, DemoLog& log) : iv_plan(plan), iv_f(facts), iv_log(log) {}

    bool entry(const std::string& call, ErrlEntry* e) override {
        demoCheck(e, "the library failed: " + call);
        return true;
    }
    void call(const std::string& call, bool ok) override {
        if (!ok) throw DemoFailure("the library failed: " + call);
    }
    void reached(collector::Milestone m, DumpSummary& s, const collector::Progress& p) override {
        using collector::Milestone;
        switch (m) {
            case Milestone::requestRecorded:
                iv_log.step("client", "client \"platdump demo\", user \"service\", SRC " +
                                          collector::requestSrc(iv_f.id).getAsciiString() +
                                          " (the failure the dump is for)");
                break;
            case Milestone::hardwareStarted:
                iv_log.step("hardware", std::to_string(iv_plan.nodes) + " nodes, " + std::to_string(totalItems()) +
                                            " items in the hardware dump content table");
                break;
            case Milestone::nodeCollected:
                iv_log.more("node " + std::to_string(p.hardwareItems.size() - 1) + ": " +
                            std::to_string(p.hardwareItems.back()) + " HWDATA and " +
                            std::to_string(p.serviceProcessorItems.back()) + " SPDATA items, progress " +
                            std::to_string(p.dumpProgress) + "%");
                break;
            case Milestone::systemSectionDone:
                iv_log.step("system", "SYSDATA: console connections, file-system use, " +
                                          std::to_string(p.savedValues) + " registry values, " +
                                          (p.logSaved ? "the error log that caused the dump" : "no error log"));
                break;
            case Milestone::mainStoreRecorded:
                iv_log.step("main store", "MDRT " + p.mdrtPath + " lists " + std::to_string(iv_f.regions.size()) +
                                              " regions, " + byteSize(p.mainStoreBytes) + "; progress " +
                                              std::to_string(s.GetDumpProgress()) + "%");
                break;
            default:
                break;
        }
    }

private:
    unsigned totalItems() const {
        unsigned total = 0;
        for (unsigned node = 0; node < iv_plan.nodes; ++node) total += iv_plan.hardwareItemsOf(node);
        return total;
    }

    const collector::Plan& iv_plan;
    DemoFacts& iv_f;
    DemoLog& iv_log;
};

collector::Plan demoPlan(const DemoFacts& f) {
    collector::Plan plan;
    plan.id = f.id;
    plan.client = "platdump demo";
    plan.nodes = kDemoNodes;
    // A few more items on each node, as nodes differ in units.
    plan.hardwareItems = 120, plan.hardwareItemsStep = 8;
    plan.serviceProcessorItems = 16, plan.serviceProcessorItemsStep = 2;
    plan.hardwareBits = {64, 6000};
    plan.serviceProcessorBytes = {1024, 7168};
    plan.savedValues = {{"svpd/Raw_MachineSerialNumber", true}, {"fstp/SystemName", true}};
    plan.savedLogEntry = kTriggerLogEntry;
    plan.regions = f.regions;
    return plan;
}

}  // namespace

std::unique_ptr<DumpSummary> createDump(DemoFacts& f, DemoLog& log) {
    collector::Plan plan = demoPlan(f);
    DemoHooks hooks(plan, f, log);
    return collector::createDump(plan, hooks);
}

void collectDump(DumpSummary& summary, DemoFacts& f, DemoLog& log) {
    collector::Plan plan = demoPlan(f);
    DemoHooks hooks(plan, f, log);
    ErrlEntry trigger(0x2A00, ERRL_SEV_UNRECOVERABLE, ERRL_ETYPE_NOT_APPLICABLE, collector::requestSrc(0x1A));
    plan.savedLog = &trigger;
    collector::Progress p = collector::collectDump(summary, plan, hooks);
    f.hwItems = p.hardwareItems;
    f.spItems = p.serviceProcessorItems;
    f.hwBytes = p.hardwareBytes;
    f.spBytes = p.serviceProcessorBytes;
    f.mainStoreBytes = p.mainStoreBytes;

    _dumpstate state{};
    state.size = sizeof state;
    if (!summary.PopulateDumpState(&state)) throw DemoFailure("the dump's state cannot be read");
    f.expectedStreamSize = state.dumpSize.value();
    log.step("complete", "progress " + std::to_string(state.progress) + "%, offload stream of " +
                             byteSize(f.expectedStreamSize) + " (" + std::to_string(f.expectedStreamSize) + " bytes)");
}

}  // namespace platdump
