// Times as platdump prints them: the platform's BCD stamps as dates (null
// in JSON when the stamp is all zero), and seconds since the epoch as UTC
// dates.
#pragma once

#include <cstdint>
#include <string>

#include "decode/bcdTime.h"
#include "toolJson.h"

namespace platdump {

// "2026-12-05 20:30:15.00", or null for a stamp that was never set.
Json bcdDate(const decode::BcdTime& time);
// "2026-12-05 20:30:15 UTC".
std::string epochDate(int64_t seconds);

}  // namespace platdump
