// Symbol visibility of the platform interfaces. The platform libraries (on
// the host: libplatsim) are built with hidden symbols; every declaration in
// this directory that callers may use carries PLATFORM_EXPORT.
#pragma once

#define PLATFORM_EXPORT __attribute__((visibility("default")))
