#include "offloadCommand.h"

#include <memory>
#include <vector>

#include "atomicFile.h"
#include "dump/summary/summaryLayout.h"
#include "dump/support/codes.h"
#include "dumpAccess.h"
#include "dumpId.h"
#include "errorReport.h"
#include "exitCodes.h"
#include "platdump/dumpErrl.h"
#include "platdump/dumpExtractData.h"
#include "platform/errlEntry.h"
#include "progressBar.h"
#include "textFormat.h"

namespace platdump {

namespace {

// The extraction's reporting point of a request past the stream's end:
// the driver's module and its location there.
constexpr uint16_t kDriverModule = 0x0221;
constexpr uint8_t kPastTheEnd = 5;

constexpr uint32_t kMaxRequest = 64u << 20;

// The reason code the library gave a failure: that of the entry's first
// SRC of the dump component (a platform failure comes with the platform's
// SRC first).
uint16_t libraryReason(const ErrlEntry& e) {
    for (uint32_t i = 0; i < e.srcCount(); ++i)
        if (e.getSRC(i)->component() == DUMP_COMPONENT_ID) return e.getSRC(i)->reasonCode();
    return 0;
}

// Bytes the stream will hold from offset on, as the summary tells them now:
// the header and the hardware section, with main store the rest.
uint64_t expectedBytes(unsigned int id, bool mainStore, uint64_t offset) {
    auto kind = findDumpKind(id);
    if (!kind) return 0;
    ErrlEntry* errl = nullptr;
    DumpSummary summary(id, errl, *kind);
    if (errl) {
        delete errl;
        return 0;
    }
    uint64_t total = summary.getFileHeaderSize();
    const bool holdsMainStore = summary.getDumpFlags() & dump::layout::sum::mainstoreDumpExistsFlag;
    total += mainStore && holdsMainStore ? summary.getTotalDumpSize() : summary.getHWDumpTotalSize();
    return total > offset ? total - offset : 0;
}

}  // namespace

ExtractOutcome extractOutcome(const ErrlEntry& e) {
    // The driver's answer to a request that runs past the end of the stream.
    const SrciSrc* src = e.getSRC(0);
    if (e.getRC() == dump::RC_NO_DATA && src && src->reasonCode() == dump::REASON_NO_DATA &&
        src->userWord(1) == dumpCreateUniqueLocation(dump::REASON_NO_DATA, kDriverModule, kPastTheEnd))
        return ExtractOutcome::EndOfStream;
    if (e.getRC() == dump::RC_DUMP_INVALIDATED) return ExtractOutcome::Deleted;
    if (e.getRC() == dump::RC_SUMMARY_MISSING) return ExtractOutcome::NoSummary;
    switch (libraryReason(e)) {
        case dump::REASON_NOT_COMPLETE: return ExtractOutcome::NotComplete;
        case dump::REASON_MAIN_STORE: return ExtractOutcome::MainStoreUnreachable;
        case dump::REASON_REGISTRY: return ExtractOutcome::StateUnreadable;
        default: return ExtractOutcome::Failed;
    }
}

std::string failureText(const ErrlEntry& e, uint64_t offset) {
    const char* what = "the library cannot read the stream";
    switch (extractOutcome(e)) {
        case ExtractOutcome::Deleted: what = "the dump was deleted during the offload"; break;
        case ExtractOutcome::NoSummary: what = "the library finds no summary file of this id"; break;
        case ExtractOutcome::NotComplete: what = "the dump is not complete"; break;
        case ExtractOutcome::MainStoreUnreachable:
            what = "main store cannot be read in the system's present state";
            break;
        case ExtractOutcome::StateUnreadable: what = "the system state cannot be read from the registry"; break;
        default: break;
    }
    return std::string(what) + " (at stream offset " + std::to_string(offset) + ")";
}

CLI::App* addOffloadCommand(CLI::App& app, OffloadOptions& options) {
    CLI::App* cmd = app.add_subcommand("offload", "Read a dump's offload stream into a file");
    addDumpIdArgument(cmd, options.id);
    cmd->add_option("-o,--output", options.file, "The file to write (replaced only when the offload succeeds)")
        ->required();
    cmd->add_option("--request-size", options.requestSize, "Bytes asked of the library per request (default 1 MiB)")
        ->check(CLI::Range(1u, kMaxRequest));
    cmd->add_option("--offset", options.offset, "Start at this byte of the stream (to resume a transfer)");
    cmd->add_flag("--main-store", options.mainStore, "Include the hypervisor data: the MDRT and main store");
    return cmd;
}

bool offloadDump(const OffloadOptions& o, bool progress, std::ostream& err, uint64_t& bytes) {
    bytes = 0;
    if (!findDumpKind(o.id)) {
        reportFailure(err, "offload", "no dump " + idText(o.id) + " in the repository");
        return false;
    }
    std::string why;
    AtomicFile file(o.file);
    if (!file.open(why)) {
        reportFailure(err, "offload", why);
        return false;
    }
    ProgressBar bar(err, progress, "offload " + idText(o.id), expectedBytes(o.id, o.mainStore, o.offset));
    auto failed = [&](const std::string& what, ErrlEntry* e) {
        bar.stop();
        reportFailure(err, "offload", what + "; nothing was written to " + o.file, e);
        return false;
    };
    DumpExtractData extract;
    dumpDMAEhandle handle{};
    std::vector<char> buffer(o.requestSize);
    for (uint64_t offset = o.offset;;) {
        unsigned int length = o.requestSize;
        ErrlEntry* e = extract.ExtractDump(o.id, offset, length, buffer.data(), o.mainStore, &handle);
        if (length > 0 && !file.write(buffer.data(), length, why)) {
            delete e;
            return failed(why, nullptr);
        }
        offset += length;
        bytes = offset - o.offset;
        bar.update(bytes);
        if (!e && length == 0) return failed("the library delivered no bytes and reported no end of the stream", e);
        if (!e) continue;
        if (extractOutcome(*e) != ExtractOutcome::EndOfStream) return failed(failureText(*e, offset), e);
        if (bytes == 0)
            return failed("the stream ends before offset " + std::to_string(o.offset) + " (it is " +
                              std::to_string(e->getSRC(0)->userWord(3)) + " bytes)",
                          e);
        delete e;
        break;
    }
    if (!file.commit(why)) return failed(why, nullptr);
    bar.finish(bytes);
    return true;
}

int runOffload(const OffloadOptions& o, bool progress, std::ostream& out, std::ostream& err) {
    uint64_t bytes = 0;
    if (!offloadDump(o, progress, err, bytes)) return kExitFailed;
    out << "dump " << idText(o.id) << ": " << bytes << " bytes (" << byteSize(bytes) << ") of its stream from offset "
        << o.offset << (o.mainStore ? ", main store included," : "") << " written to " << o.file << "\n";
    return kExitOk;
}

}  // namespace platdump
