// The managed server's main store as the simulation keeps it, shared by the
// simulated DMA engine and host mailbox: the sparse file
// $PLATSIM_ROOT/mainstore (main-store address A is byte A of the file), and
// the table of DMA address ranges the host has granted. Internal to
// libplatsim.
#pragma once

#include <cstdint>
#include <string>

#include "platform/trace.h"

namespace platsim {
namespace detail {

std::string mainStorePath();
// Size of the main store in bytes; 0 when the file is missing.
uint64_t mainStoreSize();
// Copies length bytes at address to buffer: 0, or ENOENT (no main store),
// ERANGE (beyond its end) or the read's errno.
int readMainStore(uint64_t address, void* buffer, uint32_t length);

// Maps [address, address + length) at a fresh DMA address; false when the
// range is larger than the host's DMA window. The table keeps the most
// recent grants of the current root.
bool grantDmaRange(uint64_t address, uint32_t length, uint32_t& dma);
// Drops every grant made for ranges starting at address.
void releaseDmaRanges(uint64_t address);
// The main-store address behind [dma, dma + length), which must lie in one
// grant; false when it does not.
bool resolveDmaRange(uint32_t dma, uint32_t length, uint64_t& address);

// The simulated services' trace buffers ("mbox", "dmae").
trace_desc_t serviceTrace(const char* name);

}  // namespace detail
}  // namespace platsim
