// The repository as `platdump check` reads it, without the library's
// objects (opening a dump through DumpSummary may remove a damaged summary
// and sweep the repository): the directory listed through the platform,
// the dumps found in it by the listings' own rule, and each dump's summary
// file read and decoded as the library's open would see it. What the
// library's orphan sweep would make of it is worked out here too.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "decode/summaryFile.h"
#include "platdump/dumpSummary.h"

namespace platdump {
namespace check {

struct CheckedDump {
    unsigned int id = 0;
    DumpSummary::typeOfSummary_t kind = DumpSummary::SYS;
    std::string summaryPath;  // the summary file the library opens for the id
    bool read = false;        // false: the summary file could not be read
    uint64_t size = 0;        // bytes of the summary file
    // The first 4372 bytes, zero beyond the file's end: what the library's
    // open reads into its zeroed image.
    std::vector<uint8_t> image;
    decode::SummaryFile decoded;  // of image
    // The library's open succeeds: the file is read and its summary
    // eye-catcher is one of the three kinds'. Only such a dump claims
    // files in the sweep; the library removes any other summary it opens.
    bool opens = false;
    // What the sweep counts as claimed by the dump (empty when it does
    // not open): its recorded summaryFileName, every intermediate file
    // name, its status log and its MDST file.
    std::vector<std::string> claimed;

    bool complete() const;
    const decode::FileNamesRegion& fileNames() const { return *decoded.fileNames; }
};

struct CheckedRepository {
    std::vector<std::string> entries;  // full paths, in listing order
    std::set<std::string> directories;  // those of entries that are subdirectories
    std::vector<CheckedDump> dumps;    // system, hardware-unit, resource dumps, each in listing order
    // Each claimed path and the first dump (in the sweep's order) claiming it.
    std::map<std::string, unsigned int> claimants;
};

// Lists and reads the repository; false with why set when the directory
// cannot be listed. Summary files that cannot be read are noted in
// unreadable (each with its reason).
bool readRepository(CheckedRepository& repository, std::vector<std::string>& unreadable, std::string& why);

// Whether path names a file of the repository itself: "/plat_dump/" and
// one name, which the listing and the sweep can see.
bool inRepository(const std::string& path);

}  // namespace check
}  // namespace platdump
