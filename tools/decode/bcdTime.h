// The platform's 8-byte BCD time stamp as a date: the year as four BCD
// digits in bytes 0-1, then month, day, hour, minute, second and
// hundredths, one BCD byte each, UTC.
#pragma once

#include <cstdint>
#include <string>

namespace decode {

struct BcdTime {
    uint8_t raw[8] = {};
    bool set = false;    // not all zero
    bool valid = false;  // set, and every digit and field in range
    // "2026-12-05 20:30:15.00"; "" when not set; the raw digits in hex
    // ("2026130520301500") when not valid.
    std::string text;
};

BcdTime decodeBcdTime(const uint8_t* stamp);

}  // namespace decode
