// The repository directory. Every path the library builds in the
// repository starts with it; DumpCollections::MOUNT_POINT exports the same
// text. It lives here, below the file layer and the repository, so that
// both can name it without one reaching up to the other.
#pragma once

#define DUMP_MOUNT_POINT_TEXT "/plat_dump"

namespace dump {

inline constexpr char kMountPoint[] = DUMP_MOUNT_POINT_TEXT;

}  // namespace dump
