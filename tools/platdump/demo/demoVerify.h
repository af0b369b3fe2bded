// The demo's last look at the offloaded stream: decoded with the stream
// decoder, every size and offset checked, and then compared with what the
// collector wrote: the dump's identity, the node groups and their items,
// and each main-store region byte for byte against the simulated main store.
#pragma once

#include "demoFacts.h"

namespace platdump {

// Fills facts.verified and facts.failed, one text per check.
void verifyOffload(DemoFacts& facts, DemoLog& log);

}  // namespace platdump
