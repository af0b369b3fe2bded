// The simulated machine the demo's dump is taken on: the registry values a
// new dump records and extraction reads (each written only when the
// simulation lacks it), a management console that answers (only when the
// simulation has no session table yet), and main store holding the regions
// the dump lists.
#pragma once

#include <string>
#include <vector>

#include "demoFacts.h"

namespace platdump {

// Prepares the machine; the regions the dump will list.
std::vector<collector::Region> prepareMachine(const std::string& root, DemoLog& log);
// The bytes of a region, the same each time they are asked for.
std::string regionBytes(const collector::Region& region);

}  // namespace platdump
