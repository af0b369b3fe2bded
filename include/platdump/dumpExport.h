// Symbol visibility of the dump library: it is built with hidden symbols,
// and only declarations marked PLATDUMP_EXPORT form its interface.
#pragma once

#define PLATDUMP_EXPORT __attribute__((visibility("default")))
