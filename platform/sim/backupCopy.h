// The backup's copies of this processor's files, for the simulated
// redundancy manager: a range or the whole file copied from the primary
// tree to the backup tree. A range sync keeps the descriptors of the last
// few file pairs it copied, so that mirroring a summary region opens
// nothing; a pair is opened again when either file has lost its name since
// (removed, or replaced by a new file of that name). Internal to libplatsim.
#pragma once

#include <cstdint>
#include <string>

namespace platsim {
namespace detail {

// Makes the backup's copy of spPath hold this processor's bytes of
// [offset, offset + length), creating the copy (and its directories) when
// missing; where the local file ends inside the range, or before an empty
// one, the copy ends there too. 0, or the errno of the failure.
int syncRange(const std::string& spPath, uint64_t offset, uint64_t length);

// Makes the backup's copy of spPath the whole local file. 0 or the errno.
int syncWhole(const std::string& spPath);

}  // namespace detail
}  // namespace platsim
