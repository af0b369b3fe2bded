// The platform time service: the time of day as an 8-byte BCD stamp, and
// conversions between that stamp and seconds since the epoch (UTC).
//
// BCD_time8_t: year as four BCD digits in bytes 0-1, then month, day, hour,
// minute, second and hundredths, one BCD byte each. 2026-12-05 20:30:15 is
// 20 26 12 05 20 30 15 00. It is stored byte for byte wherever it is kept.
#pragma once

#include <sys/time.h>

#include <cstdint>

#include "platformExport.h"

class ErrlEntry;

struct BCD_time8_t {
    uint8_t year[2];
    uint8_t month;
    uint8_t day;
    uint8_t hour;
    uint8_t minute;
    uint8_t second;
    uint8_t hundredths;
};
static_assert(sizeof(BCD_time8_t) == 8, "BCD_time8_t is eight bytes");

// Conversion kinds of rtim_ConvertTimeValToBCD.
enum : uint32_t { RTIM_CONVERT_UTC = 1 };

// status: 0 on success, else the service's failure code.
PLATFORM_EXPORT ErrlEntry* rtim_GetTimeOfDay(BCD_time8_t& time, uint32_t& status,
                                             bool utc, bool a2, bool a3, bool a4);
PLATFORM_EXPORT ErrlEntry* rtim_ConvertBCDtoTimeVal(const BCD_time8_t& time,
                                                    uint16_t& hundredths, timeval& tv,
                                                    uint32_t& status, bool utc,
                                                    ErrlEntry* parent);
PLATFORM_EXPORT ErrlEntry* rtim_ConvertTimeValToBCD(const timeval& tv, BCD_time8_t& time,
                                                    uint32_t kind, uint32_t& status);
