// The control files of a simulation root (the fault files under sim/fail,
// the role in sim/role, whether sim/rmgr.log exists) and the one channel
// that says when to read them again: the generation counter in sim/control,
// a small file that every process of the root maps shared. Every change
// made through the platsim API or the tool bumps the counter after making
// the change; a call compares the counter with the one its snapshot was
// read at and reads the files again only when it moved. A file edited by
// hand counts from the next process, or after platsim::reload() (platdump
// sim reload). Internal to libplatsim.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>

namespace platsim {
namespace detail {

// What the control files held when they were read.
struct ControlState {
    std::map<std::string, std::string, std::less<>> faults;  // fault name: its file's text
    int role = 1;                                            // sim/role; 1 when absent
    bool rmgrLog = false;                                    // sim/rmgr.log exists
};

// Reads the control files of root.
ControlState readControlFiles(const std::string& root);

// The generation counter of root (sim/control, created when missing),
// mapped for the rest of the process; null when it cannot be had, and
// every look then reads the files.
uint32_t* mapGeneration(const std::string& root);

void unmapGeneration(uint32_t* counter);

inline uint32_t generation(const uint32_t* counter) { return __atomic_load_n(counter, __ATOMIC_ACQUIRE); }
// Moves the counter (nothing when null).
void bumpGeneration(uint32_t* counter);

}  // namespace detail
}  // namespace platsim
