// What `platdump mirror` compares and what it finds: the files of the
// repository (or of one dump) on this service processor against the backup
// service processor's copies, read through the redundancy manager's
// read-only view in bounded chunks, never a whole file at a time. Each
// difference carries the remedy that brings the copy in line. What the
// backup answers (names, lengths, bytes) is untrusted: a name that is not
// one plain file name is refused, a length only bounds what is compared,
// and a read that answers more than was asked is a problem, not a copy.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platdump {
namespace mirror {

enum class Remedy {
    CopyRange,  // bytes [offset, offset + length) of the copy differ or are missing
    Replace,    // the copy is longer than the file: deleted, then copied whole
    Create,     // the backup holds no copy: copied whole
    Delete,     // only the backup holds the file: its copy is deleted
};

struct Difference {
    Remedy remedy = Remedy::CopyRange;
    std::string path;
    std::optional<unsigned int> dump;  // the dump that claims the path, if any
    uint64_t offset = 0;
    uint64_t length = 0;    // CopyRange: the range's bytes; Create, Replace: the file's size here
    uint64_t hereSize = 0;  // this processor's file, as compared
    uint64_t copySize = 0;  // the backup's copy, as the backup gave it (0 when it has none)
};

struct Comparison {
    size_t files = 0;                     // paths compared (here, on the backup or both)
    std::vector<Difference> differences;  // in path order
    std::vector<std::string> problems;    // why a path could not be compared
    bool matches() const { return differences.empty() && problems.empty(); }
};

// Compares every file of the repository (with dump: the files of that
// dump, its summary first) with the backup's copies. False with why set
// when the repository cannot be listed or holds no such dump.
bool compareWithBackup(std::optional<unsigned int> dump, Comparison& result, std::string& why);

// "copy", "replace", "create", "delete".
const char* remedyName(Remedy remedy);
// What was found, for a person: "bytes 32 to 59 (28 bytes) differ ...".
std::string findingText(const Difference& d);

}  // namespace mirror
}  // namespace platdump
