// The dump status log: one appended line per event, mirrored to the
// backup; every failure is traced and dropped.
#include "platdump/dumpStatusLogger.h"

#include <sys/time.h>

#include <cstdio>
#include <cstring>

#include "dump/repository/repositoryPaths.h"
#include "dump/support/dumpTrace.h"
#include "dump/support/report.h"
#include "platdump/dumpUtilFile.h"
#include "platform/errlEntry.h"
#include "platform/rtim.h"

namespace {

// A line is formatted into this many bytes and cut there.
constexpr size_t LINE_BUFFER_SIZE = 64;
// Longest path the log's name is expected to have.
constexpr size_t MAX_PATH_LENGTH = 47;
constexpr size_t PHASE_KEYWORD_SIZE = 48;

// Traces why an event line is lost and drops the entry.
void dropFailure(const char* step, const std::string& path, ErrlEntry*& errl) {
    dump::trace("DumpStatusLogger: %s failed for %s, line not written", step, path.c_str());
    dump::discard(errl);
}

// The time of day in seconds, as the status log writes it; false when the
// time service fails (the entry is traced and dropped).
bool secondsNow(const std::string& path, timeval& tv) {
    BCD_time8_t now;
    std::memset(&now, 0, sizeof now);
    uint32_t status = 0;
    ErrlEntry* errl = rtim_GetTimeOfDay(now, status, true, false, false, false);
    if (errl) {
        dropFailure("rtim_GetTimeOfDay", path, errl);
        return false;
    }
    uint16_t hundredths = 0;
    errl = rtim_ConvertBCDtoTimeVal(now, hundredths, tv, status, true, nullptr);
    if (errl) {
        dropFailure("rtim_ConvertBCDtoTimeVal", path, errl);
        return false;
    }
    return true;
}

// Writes line at the end of the open log; a failure is traced and left on
// the file. A failed seek would leave the position at the start, where the
// line would overwrite earlier ones: the line is dropped instead.
void appendLine(DumpUtilFile& file, const char* line) {
    if (file.seek(0, UtilStream::END) < 0) {
        dump::trace("DumpStatusLogger: seek to the end of %s failed", file.getFileName());
        return;
    }
    uint32_t length = static_cast<uint32_t>(std::strlen(line));
    uint32_t written = file.write(line, length);
    if (file.hasError() || written != length)
        dump::trace("DumpStatusLogger: %u of %u bytes written to %s", written, length,
                    file.getFileName());
}

}  // namespace

DumpStatusLogger::DumpStatusLogger(unsigned int dumpId) {
    iv_logFile = dump::statusLogPath(dumpId);
    // The name has a fixed width (eight hex digits), well inside the limit.
    if (iv_logFile.size() > MAX_PATH_LENGTH)  // GCOVR_EXCL_BR_LINE
        dump::trace("DumpStatusLogger: log path %s longer than %zu", iv_logFile.c_str(), MAX_PATH_LENGTH);  // GCOVR_EXCL_LINE
}

DumpStatusLogger::~DumpStatusLogger() {}

bool DumpStatusLogger::RemoveFile() {
    DumpUtilFile file(iv_logFile.c_str());
    ErrlEntry* errl = file.remove();
    if (errl) {
        dump::trace("DumpStatusLogger: removing %s failed", iv_logFile.c_str());
        dump::discard(errl);
    }
    return true;
}

void DumpStatusLogger::logEvent(const char* keyword) {
    DumpUtilFile file(iv_logFile.c_str());
    timeval tv;
    std::memset(&tv, 0, sizeof tv);
    if (!secondsNow(iv_logFile, tv)) return;

    char line[LINE_BUFFER_SIZE];
    std::memset(line, 0, sizeof line);
    std::snprintf(line, sizeof line, "%s,%d\n", keyword, static_cast<int>(tv.tv_sec));

    ErrlEntry* errl = file.open(file.exists() ? "r+" : "w+");
    if (errl) {
        dropFailure("open", iv_logFile, errl);
        return;
    }
    appendLine(file, line);
    file.clearError();
    file.Close();
    file.clearError();
}

void DumpStatusLogger::logPhase(const char* edge, unsigned int phase) {
    char keyword[PHASE_KEYWORD_SIZE];
    std::snprintf(keyword, sizeof keyword, "HWCOLLECTION_PHASE%d_%s", static_cast<int>(phase), edge);
    logEvent(keyword);
}

void DumpStatusLogger::setCheckstopIPLCompleted() { logEvent("CHECKSTOPIPL_COMPLETED"); }
void DumpStatusLogger::setCheckstopIPLCalled() { logEvent("CHECKSTOPIPL_CALLED"); }
void DumpStatusLogger::AbortDump() { logEvent("ABORT_DUMP"); }
void DumpStatusLogger::setTransitionFileCalled() { logEvent("TRANSITION_FILE_CALLED"); }
void DumpStatusLogger::setMainStoreCollectionDone() { logEvent("MS_COLLECT_DONE"); }
void DumpStatusLogger::setMainStoreCollectionStarted() { logEvent("MS_COLLECT_START"); }
void DumpStatusLogger::setMemoryPreservingIPLRequested() { logEvent("MEM_PRESERVE_IPL_REQ"); }
void DumpStatusLogger::setSystemCollectionDone() { logEvent("SYS_COLLECT_END"); }
void DumpStatusLogger::setSystemCollectionStarted() { logEvent("SYS_COLLECT_START"); }
void DumpStatusLogger::setHardwareCollectionDone() { logEvent("HW_COLLECT_DONE"); }
void DumpStatusLogger::setEndCollectionPhase(unsigned int phase) {
    logPhase("END", phase);
}
void DumpStatusLogger::setStartCollectionPhase(unsigned int phase) {
    logPhase("START", phase);
}
void DumpStatusLogger::setHardwareCollectionStarted() { logEvent("HW_COLLECT_START"); }
void DumpStatusLogger::setHeaderCollection() { logEvent("HEADER_COLLECTION"); }
void DumpStatusLogger::setSystemDumpRequested() { logEvent("SYSTEM_DUMP_REQ"); }
void DumpStatusLogger::setHardwareUnitDumpRequested() { logEvent("HARDWARE_UNIT_DUMP_REQ"); }
void DumpStatusLogger::setWaitingState() { logEvent("WAITING_STATE"); }
