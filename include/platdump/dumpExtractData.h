// DumpExtractData: the read operation of a dump offload. An offload
// application calls ExtractDump again and again, each time for the next
// piece of one dump, and receives the dump's bytes in offload-stream order:
// dump file header, summary section, hardware data, and (when asked for and
// present) the hypervisor data read from the managed server's main store.
//
// Every call is self-contained: it holds the system-wide extraction
// semaphore ("dump", key 3) for its whole length, reopens the dump's
// summary, checks that the dump may be read in the current system state,
// builds the block list and copies the requested range. Nothing is cached
// between calls, so a dump deleted or changed between two calls is seen at
// the next one. Main-store read failures are counted in the dump's summary;
// when they persist in the right state a checkstop IPL is requested once.
//
// One process-wide setting survives calls: whether main store is read
// through host-granted DMA addresses (TCE) or straight by the DMA engine. It
// is chosen from the system state by each call that reads a system dump
// holding main store; constructing a DumpExtractData resets it to the
// engine. The object holds no data of its own.
//
// Ownership: the caller keeps the DMA engine handle (zero-filled before its
// first call) from call to call; a returned ErrlEntry* belongs to the caller.
#pragma once

#include <cstdint>

#include "dumpDataBlock.h"
#include "dumpExport.h"

class DumpSummary;
class ErrlEntry;

class PLATDUMP_EXPORT DumpExtractData {
public:
    DumpExtractData();
    ~DumpExtractData();
    DumpExtractData(const DumpExtractData&) = delete;
    DumpExtractData& operator=(const DumpExtractData&) = delete;

    // Copies up to length bytes of dump dumpId's stream from offset (0
    // starts an offload) to buffer, which holds at least length bytes.
    // length comes back as the bytes placed in buffer: all of them on
    // success; after a failed block read those of the blocks before it; 0
    // when the call fails before reading. A request running past the end
    // of the stream delivers the bytes up to the end and fails.
    // includeMainStore adds the hypervisor data to the stream; handle must
    // be valid whenever main store can be read.
    ErrlEntry* ExtractDump(unsigned int dumpId, unsigned long long offset, unsigned int& length,
                           char* buffer, bool includeMainStore, dumpDMAEhandle* handle);

private:
    // Steps run while the extraction semaphore is held: open the summary,
    // check permission, build the list, copy.
    ErrlEntry* extractHeld(unsigned int dumpId, unsigned long long offset, unsigned int& length,
                           char* buffer, bool includeMainStore, dumpDMAEhandle* handle);
    // A failed block read (entry e, the read begun at inBlock of block):
    // counted for main-store blocks, and turned into what the caller sees.
    ErrlEntry* readFailed(ErrlEntry* e, const DumpDataBlock& block, uint32_t inBlock,
                          DumpSummary& summary, uint8_t operatingMode, uint32_t stateCode);
    // Whether the dump may be read now: null, or an informational entry
    // (severity 0) saying why not. Sets the process-wide TCE choice for a
    // system dump holding main store. stateCode and mainStoreWord come from
    // the system state record.
    ErrlEntry* checkExtractPermitted(DumpSummary& summary, uint8_t operatingMode,
                                     uint32_t stateCode, uint32_t mainStoreWord);
    // After persistent DMA-engine failures: 0 when entry (the failed
    // read's, possibly changed) describes the outcome and is returned; 1
    // when the failed read is to be reported as an unreachable main store.
    int requestCheckstopIpl(ErrlEntry* entry, DumpSummary& summary, uint32_t stateCode);
};
