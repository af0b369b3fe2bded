// DumpCollections: the dump repository as a whole. The repository is the
// flat directory MOUNT_POINT; a dump exists exactly when its summary file
// is there, named from its kind's prefix (SYSDUMP, HWUDUMP, RESDUMP), the
// id as %08X and ".summary". Every other file of a dump is found through
// the names its summary records.
//
// The operations are static and keep no state: each call lists the
// directory afresh and opens every summary it needs, closing it again
// before it returns. Listings append to the caller's container and never
// clear it. An ErrlEntry* returned belongs to the caller.
//
// Deleting a dump (DeleteDump, DeleteDump_nolock) removes every file its
// summary names, here and on the backup, then its status log and its
// summary, and sweeps the repository for orphans.
#pragma once

#include <string>
#include <vector>

#include "dumpExport.h"

class DumpSummary;
class ErrlEntry;
struct _dumpstate;

class PLATDUMP_EXPORT DumpCollections {
public:
    // "/plat_dump": every path the library builds in the repository starts
    // with it.
    static const char MOUNT_POINT[11];
    // Summary-file prefixes: "SYSDUMP.", "HWUDUMP.", "RESDUMP.".
    static const char SYSDUMP[9];
    static const char HWUDUMP[9];
    static const char RESDUMP[9];

    // Appends "/plat_dump/<name>" for every directory entry but "." and
    // "..", files, directories and links alike, in the C library's
    // collating order. On failure paths is left as it was.
    static ErrlEntry* listFilenames(std::vector<std::string>& paths);

    // Append the ids of the summary files of one kind: every entry whose
    // name holds the prefix and ".summary" (each anywhere), the id being
    // the leading hexadecimal digits of the (at most) eight characters
    // after the prefix's length. System and resource ids come in directory
    // order (ascending for %08X names) and never include 0xFFFFFFFF; the
    // hardware-unit ids are kept whatever their value and come in
    // ascending order of bits 0 to 27, then bits 28 to 31.
    static ErrlEntry* listSYSDUMPIds(std::vector<unsigned int>& ids);
    static ErrlEntry* listHWUDUMPIds(std::vector<unsigned int>& ids);
    static ErrlEntry* listRESDUMPIds(std::vector<unsigned int>& ids);

    // System and hardware-unit dumps: how many, how many of them not
    // complete, and the id of the last listed dump set apart (dumpFlags bit
    // 0x0001; such a dump is counted nowhere else, 0 when there is none).
    // Resource dumps are not counted. False, all zero, when the repository
    // cannot be listed; a summary that cannot be opened is skipped.
    static bool CountDumps(unsigned int& sysDumps, unsigned int& sysDumpsIncomplete,
                           unsigned int& hwuDumps, unsigned int& hwuDumpsIncomplete,
                           unsigned int& setApartId);

    // Appends one 92-byte record per readable dump: system dumps, then
    // hardware-unit, then resource dumps. A listing failure is returned at
    // once; the records appended before it stay.
    static ErrlEntry* dumpSummarizeDumps(std::vector<_dumpstate>& states);

    // The current system dump: the lowest-numbered one not complete, else
    // the highest-numbered complete one; dumps set apart are never chosen.
    // False with id 0 when there is none or the repository cannot be read.
    static bool GetCurrentDumpID(unsigned int& id);

    // Removes, on this service processor only, every entry of the
    // repository that no readable summary claims (its own file, the files
    // it names, its status log and its MDST file, which may lie in the
    // repository). Entries are matched by their full path, so a name
    // recorded without "/plat_dump/" claims nothing. Failures are
    // committed; nothing is removed when the repository cannot be listed.
    // Inside a running sweep of the same thread (a summary found gone
    // while the sweep opens it) a nested call does nothing: the running
    // sweep covers it.
    static void removeOrphanedFiles();
};

extern "C" {

// Deletes the dump of an open summary while holding the extraction
// semaphore ("dump", key 3), so that no extraction of any process runs
// meanwhile. The caller keeps the summary object, which must then only be
// destroyed. The result of DeleteDump_nolock, or false when the semaphore
// could not be taken (that failure is committed).
PLATDUMP_EXPORT bool DeleteDump(DumpSummary* summary);

// The same for a caller already holding the extraction semaphore: removes
// the files the summary names (here and on the backup; failures ignored),
// the status log, the summary file, then sweeps for orphans. True when the
// dump named at least one file and its summary file was removed.
PLATDUMP_EXPORT bool DeleteDump_nolock(DumpSummary* summary);

}  // extern "C"
