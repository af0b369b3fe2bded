// The checks `platdump check` runs: those of one dump, and those of the
// repository as a whole. Each adds what it finds to the report and reads
// files only through the platform, never writing. A dump's checks beyond
// its summary's own run only for a dump the library can open: any other is
// removed by the library with everything it names (see checkOrphans).
#pragma once

#include <cstddef>
#include <optional>

#include "checkReport.h"
#include "checkedRepository.h"

namespace platdump {
namespace check {

// summary-damaged: size, eye-catchers, header lengths, dump identifier
// against the file name, summaryFileName against the file's path.
void checkSummary(const CheckedDump& dump, Report& report);
// name-outside-repository, file-missing, and for a complete dump
// size-mismatch: the recorded sizes against the files and each other.
void checkNamedFiles(const CheckedDump& dump, Report& report);
// section-inconsistent: each named nodal TOC/data pair that the library's
// finalisation would change, with what it would do; items-misplaced: a
// pair whose items, as the finalisation leaves them, do not lie back to
// back from the start of the data file.
void checkSections(const CheckedDump& dump, Report& report);
// mdrt-damaged: the MDRT's length and its regions.
void checkMdrt(const CheckedDump& dump, Report& report);
// status-log-damaged: each line of the status log that does not parse.
void checkStatusLog(const CheckedDump& dump, Report& report);

// orphan: what the library's sweep would remove.
void checkOrphans(const CheckedRepository& repository, Report& report);
// mirror-missing, mirror-differs, backup-only: each file the dumps claim
// against the backup service processor's copy, and the backup's files
// without a primary copy.
void checkMirror(const CheckedRepository& repository, Report& report);

// Every check above: of each dump (or of dump one alone), the orphans and,
// with compareMirror, the mirror; the findings of dump one alone are kept,
// and they are grouped by dump. Returns the number of dumps checked.
size_t checkRepository(const CheckedRepository& repository, std::optional<unsigned int> one, bool compareMirror,
                       Report& report);

}  // namespace check
}  // namespace platdump
