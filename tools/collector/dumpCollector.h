// One collector's way of making a system dump through the library, shared
// by the demo (which prints each step), the fault sweep (which records
// every call and marks every step, to run it under faults) and the
// fuzzers (which keep the dump's files as seeds): the status log's
// milestones, who asked for the dump and why (client record and SRC), the
// hardware and service-processor nodal sections of every node with their
// items, the system section, main store recorded through an MDRT, and
// completion. What a user wants beyond that it does through Hooks.
//
// The collector goes on after a failure wherever a real collector could;
// a hook that wants to stop throws (the library's objects are RAII, so a
// throw leaves nothing open).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platdump/dumpSummary.h"
#include "platform/rtim.h"
#include "platform/srciSrc.h"

class ErrlEntry;

namespace collector {

// The kinds of step the collector takes; Hooks::stage marks each start.
enum class Stage {
    creation,           // the summary is created
    setter,             // summary setters
    getter,             // summary getters
    src,                // the SRC saved
    fileWrite,          // a whole file written through the library (the MDRT)
    nodalWrite,         // a nodal section's files created and its items written
    nodalFinalisation,  // a nodal section finalised (its object destroyed)
    systemSection,      // the system section gathered
    failureMarking,     // a collection failure marked in the summary
    completion,         // setDumpComplete
};

// A main-store region the MDRT lists: its entry is 32 bytes, the tag's
// eight characters first, the address (u64) at 8, the length (u32) at 20.
struct Region {
    uint64_t address;
    uint32_t length;
    std::string tag;  // up to 8 characters; empty: zeros
};
constexpr size_t kMdrtEntrySize = 32, kMdrtAddressAt = 8, kMdrtLengthAt = 20;
// The MDRT's main-store address the summary records.
constexpr uint64_t kMdrtAddress = 0xF00000;

// The sizes of a section's items: base + a pseudo-random number below
// spread (bits for hardware items, bytes for service-processor items).
struct ItemSizes {
    uint32_t base;
    uint32_t spread;
};

// A value the system section saves: a registry key, or a file's path.
struct SavedValue {
    std::string name;
    bool fromRegistry;
};

// The moments the collector stamps into the summary.
enum class Moment { hardwareStart, hardwareEnd, mainStoreStart, mainStoreEnd };

// What the dump is to hold. Items are pseudo-random and the same each run.
struct Plan {
    unsigned id = 0x1A;  // a system dump id
    std::string client = "collector", user = "service";
    unsigned toolType = 1;
    unsigned nodes = 1;
    // Items of node n: base + n * step.
    unsigned hardwareItems = 4, hardwareItemsStep = 0;
    unsigned serviceProcessorItems = 3, serviceProcessorItemsStep = 0;
    ItemSizes hardwareBits{64, 3000};
    ItemSizes serviceProcessorBytes{200, 1500};
    std::vector<SavedValue> savedValues;
    // The error log the system section saves under savedLogEntry (the
    // caller's; none: no log saved).
    ErrlEntry* savedLog = nullptr;
    uint32_t savedLogEntry = 0x2A170001;
    std::vector<Region> regions;
    // The stamp of a moment; null: the platform's clock at that moment.
    BCD_time8_t (*stamp)(Moment) = nullptr;

    unsigned hardwareItemsOf(unsigned node) const { return hardwareItems + node * hardwareItemsStep; }
    unsigned serviceProcessorItemsOf(unsigned node) const {
        return serviceProcessorItems + node * serviceProcessorItemsStep;
    }
};

// What the collection has done so far, for the hooks.
struct Progress {
    std::vector<unsigned> hardwareItems, serviceProcessorItems;  // per node collected
    uint64_t hardwareBytes = 0, serviceProcessorBytes = 0;
    unsigned hardwareProgress = 0, dumpProgress = 0;  // the summary's answers after the last node
    unsigned savedValues = 0;                         // saved by the system section
    bool logSaved = false;
    std::string mdrtPath;
    uint64_t mainStoreBytes = 0;  // the MDRT's regions
};

// The points at which Hooks::reached is called, in this order.
enum class Milestone {
    requestRecorded,     // client record and SRC
    hardwareStarted,     // item counts and node count recorded, before the first node
    nodeCollected,       // one node's sections (the last of progress's lists)
    systemSectionDue,    // before the system section
    systemSectionDone,   // after it (not reached when it could not be created)
    mainStoreRecorded,   // the MDRT recorded (or not: progress.mdrtPath is empty)
    completionDue,       // before setDumpComplete
};

class Hooks {
public:
    virtual ~Hooks() = default;
    // A step of this kind begins.
    virtual void stage(Stage) {}
    // A call that returns an entry; the hook takes the entry (the default
    // commits it). True when there was none.
    virtual bool entry(const std::string& call, ErrlEntry* e);
    // A call that reports failure by its result.
    virtual void call(const std::string&, bool) {}
    // A fact of the dump the library answered.
    virtual void answer(const std::string&, const std::string&) {}
    // The collection reached a milestone; what a user adds at that point
    // it adds here.
    virtual void reached(Milestone, DumpSummary&, const Progress&) {}
};

// The SRC of the failure a dump is for, as the collector records it.
SrciSrc requestSrc(unsigned id);

// Creates system dump plan.id (null when the creation failed) and logs
// its request: requested, header collection, waiting.
std::unique_ptr<DumpSummary> createDump(const Plan& plan, Hooks& hooks);

// Collects the created dump through completion.
Progress collectDump(DumpSummary& summary, const Plan& plan, Hooks& hooks);

// The parts, for a dump of another kind (a hardware-unit dump):
// the hardware section of one node with items items; whether its files were created.
bool writeHardwareSection(DumpSummary& summary, const Plan& plan, unsigned node, unsigned items, Hooks& hooks,
                          Progress& progress);
// A whole file written through the library's file class; false when any
// of it did not reach the file.
bool writeWholeFile(const std::string& path, const std::string& bytes, Hooks& hooks);
// Writes the MDRT of the regions and records it; true when the dump
// records it (only a whole table is recorded).
bool recordMainStore(DumpSummary& summary, unsigned id, const std::vector<Region>& regions, Hooks& hooks,
                     Progress& progress);

}  // namespace collector
