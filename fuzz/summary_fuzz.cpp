// Fuzzer of a dump's summary file: the input is the file's bytes, put in
// place of the resident dump's summary. The dump is opened through the
// opening constructor; every getter and state query reads it, the flush
// measures the files it names and rewrites the derived sizes, and the
// block list built from it (main store included) is read block by block,
// as an offload would. A summary the constructor refuses is removed with
// every file no summary claims: the resident dump's files are put back.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/blockReads.h"
#include "fuzz/fuzzRoot.h"
#include "fuzz/residentDump.h"
#include "platdump/platdump.h"
#include "platform/srciSrc.h"

namespace {

using namespace fuzzsupport;

// The blocks read: every block a summary names itself (file header,
// summary, four files of each of ten node groups, the system pair, the
// MDRT: at most 45) and the first regions of its MDRT. A summary that
// names another file as its MDRT gets up to 32768 regions, each read the
// same way and costing a mailbox exchange; reading them all made one input
// take a second. The regions are the MDRT fuzzer's.
constexpr size_t kBlocksRead = 45 + 32;

void readEveryField(DumpSummary& s) {
    volatile uint64_t sink = 0;
    sink = sink + s.getTotalDumpSize() + s.getSystemLogId() + s.getFileHeaderSize() + s.getDumpFlags() +
           s.getHWErrorFlags() + s.getMemoryDumpErrorFlags() + s.getHWDumpTotalSize() + s.getMDRTTableSize() +
           s.getMDRTAddress() + s.getMSDataSize() + s.getContentType() + s.getFailingUnitId() +
           s.GetPrivateFlags() + s.GetHardwareDumpProgress() + s.GetDumpProgress() + s.isDumpComplete();
    std::string name;
    s.getResourceDumpFileName(name);
    s.getSummaryFileName(name);
    _dumpstate state{};
    state.size = sizeof state;
    s.PopulateDumpState(&state);
    std::vector<std::string> files;
    s.getIntermediateFileNames(files);
    DumpClientRecord_t* client = s.GetDumpClientRecord();
    sink = sink + (client ? client->toolType : 0);
    if (SrciSrc* src = s.getSrc()) sink = sink + src->reasonCode() + src->getAsciiString().size();
}

}  // namespace

// One setup a process: the resident dump, then the logs to /dev/null.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    residentDump();
    discardLogs();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const ResidentDump& dump = residentDump();
    writeWhole(dump.summary.hostPath, data, size);
    ErrlEntry* errl = nullptr;
    {
        DumpSummary summary(kResidentId, errl);
        if (!errl) {
            readEveryField(summary);
            delete summary.flush();
            DumpList* list = summary.buildDumpList(1, true);
            dumpDMAEhandle handle{};
            readBlocks(*list, handle, nullptr, kBlocksRead);
            delete list;
        }
    }
    if (errl) {
        delete errl;
        dump.restore();
    }
    return 0;
}
