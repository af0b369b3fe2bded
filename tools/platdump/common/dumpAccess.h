// How the tool reaches a dump: it finds the summary file of an id in the
// repository before opening it (opening a dump that is not there would
// make the library sweep the repository for orphans when the handle is
// dropped), and reads repository files through the platform's file service,
// so the same code serves the simulation and the service processor.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platdump/dumpSummary.h"

namespace platdump {

// The kind of dump id: the first of SYS, HWU, RSC whose summary file
// exists; none when the repository holds no dump id.
std::optional<DumpSummary::typeOfSummary_t> findDumpKind(unsigned int id);
// "/plat_dump/SYSDUMP.0000001A.summary".
std::string summaryPath(unsigned int id, DumpSummary::typeOfSummary_t kind);
// "SYS", "HWU", "RSC".
const char* kindName(unsigned int kind);

// Opens dump id. When there is no such dump or the library refuses to open
// it, reports that (with the library's error log) for command and returns
// null.
std::unique_ptr<DumpSummary> openDump(unsigned int id, const std::string& command, std::ostream& err);

// Reads a whole repository file; false with why set when it is missing or
// cannot be read.
bool readRepositoryFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& why);
// The current size of a file; none when it is missing or cannot be opened.
std::optional<uint64_t> repositoryFileSize(const std::string& path);

}  // namespace platdump
