// How the repository's listings read a directory entry as the summary file
// of a dump: the rule DumpCollections lists the dumps of each kind by, and
// so the rule by which the orphan sweep finds the dumps that claim files.
// Shared with the platdump tool's read-only check, which must see exactly
// the dumps the sweep sees; header only, so that the check shares it
// without linking code that writes.
#pragma once

#include <errno.h>
#include <stdlib.h>

#include <cstddef>
#include <string>

#include "dump/summary/summaryLayout.h"

namespace dump {

// No listing but the hardware-unit one yields this id.
constexpr unsigned int SUMMARY_NO_DUMP_ID = 0xFFFFFFFF;

// The id that the directory entry name names for the kind whose prefix
// is given; false when the entry is not one of its summaries. An entry is
// one when the prefix and ".summary" both occur anywhere in it; the text
// from the prefix's length on is converted as the C library does, leading
// hexadecimal digits up to the first other character, so
// "SYSDUMP.1A.summary" names 0x1A. allOnes: whether 0xFFFFFFFF is an id.
inline bool summaryIdOfEntry(const char* prefix, bool allOnes, const std::string& name, unsigned int& id) {
    if (name.find(prefix) == std::string::npos || name.find(layout::SUMMARY_FILE_SUFFIX) == std::string::npos)
        return false;
    std::string digits = name.substr(layout::FILE_PREFIX_LENGTH, layout::FILE_ID_DIGITS);
    errno = 0;
    unsigned long value = strtoul(digits.c_str(), nullptr, 16);
    // Eight digits never overflow and the base is valid: a guard only.
    if (errno == EINVAL || errno == ERANGE) return false;  // GCOVR_EXCL_BR_LINE
    id = static_cast<unsigned int>(value);
    return allOnes || id != SUMMARY_NO_DUMP_ID;
}

}  // namespace dump
