// DumpStatusLogger: the writer of one dump's status log,
// /plat_dump/dumpstatus.<id as %08X>, a text file in which the applications
// driving a dump record its milestones. Each event operation appends one
// line "KEYWORD,<seconds>\n" (the time of day in seconds since the epoch)
// through the mirrored file class, so the backup keeps a copy. The log is
// never read back. Failures (time service, open, write, remove) are traced
// and swallowed: the caller never learns of them and a lost line stays
// lost. The object holds only the path; it may be made and dropped freely,
// and no lock is taken.
#pragma once

#include <string>

#include "dumpExport.h"

class PLATDUMP_EXPORT DumpStatusLogger {
public:
    explicit DumpStatusLogger(unsigned int dumpId);
    ~DumpStatusLogger();

    // Removes the log here and on the backup; always true.
    bool RemoveFile();

    void setCheckstopIPLCompleted();         // CHECKSTOPIPL_COMPLETED
    void setCheckstopIPLCalled();            // CHECKSTOPIPL_CALLED
    void AbortDump();                        // ABORT_DUMP
    void setTransitionFileCalled();          // TRANSITION_FILE_CALLED
    void setMainStoreCollectionDone();       // MS_COLLECT_DONE
    void setMainStoreCollectionStarted();    // MS_COLLECT_START
    void setMemoryPreservingIPLRequested();  // MEM_PRESERVE_IPL_REQ
    void setSystemCollectionDone();          // SYS_COLLECT_END
    void setSystemCollectionStarted();       // SYS_COLLECT_START
    void setHardwareCollectionDone();        // HW_COLLECT_DONE
    // HWCOLLECTION_PHASE<phase>_END / _START, the phase as a signed number.
    void setEndCollectionPhase(unsigned int phase);
    void setStartCollectionPhase(unsigned int phase);
    void setHardwareCollectionStarted();     // HW_COLLECT_START
    void setHeaderCollection();              // HEADER_COLLECTION
    void setSystemDumpRequested();           // SYSTEM_DUMP_REQ
    void setHardwareUnitDumpRequested();     // HARDWARE_UNIT_DUMP_REQ
    void setWaitingState();                  // WAITING_STATE

private:
    // Appends "keyword,<seconds>\n" to the log.
    void logEvent(const char* keyword);
    // Appends HWCOLLECTION_PHASE<phase>_<edge>.
    void logPhase(const char* edge, unsigned int phase);

    std::string iv_logFile;
};
