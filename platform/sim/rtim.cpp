// The time service on the host. The clock stands at the second held in
// $PLATSIM_ROOT/sim/clock (decimal text) when that file exists, else it is
// the host clock. Faults: rtim_GetTimeOfDay, rtim_ConvertBCDtoTimeVal,
// rtim_ConvertTimeValToBCD (status=N sets the status returned, default 1).
#include "platform/rtim.h"

#include <time.h>

#include <cstdlib>
#include <string>

#include "platform/errlEntry.h"
#include "simCore.h"

using platsim::detail::fault;
using platsim::detail::platformError;

namespace {

enum : uint16_t {
    RC_CLOCK = 0x1401,
    RC_BCD = 0x1402,
    RC_TIMEVAL = 0x1403,
};

uint8_t toBcd(unsigned v) { return static_cast<uint8_t>(((v / 10) % 10) << 4 | (v % 10)); }

bool fromBcd(uint8_t b, unsigned& v) {
    if ((b >> 4) > 9 || (b & 0xF) > 9) return false;
    v = (b >> 4) * 10 + (b & 0xF);
    return true;
}

ErrlEntry* timeError(uint16_t reason, const char* what, uint32_t& status, uint32_t code,
                     const platsim::detail::Fault* injected) {
    status = injected ? static_cast<uint32_t>(injected->num("status", code)) : code;
    return platformError(platsim::detail::COMP_RTIM, reason, 1, what, "time of day", 0,
                         injected, status);
}

}  // namespace

ErrlEntry* rtim_GetTimeOfDay(BCD_time8_t& time, uint32_t& status, bool, bool, bool, bool) {
    if (auto f = fault("rtim_GetTimeOfDay", ""))
        return timeError(RC_CLOCK, "time of day", status, 1, &*f);
    timeval tv{};
    std::string text;
    if (platsim::detail::readHostFile(platsim::detail::root() + "/sim/clock", text)) {
        tv.tv_sec = static_cast<time_t>(std::strtoll(text.c_str(), nullptr, 10));
    } else {
        gettimeofday(&tv, nullptr);
    }
    status = 0;
    uint32_t ignored = 0;
    ErrlEntry* e = rtim_ConvertTimeValToBCD(tv, time, RTIM_CONVERT_UTC, ignored);
    if (e) {
        status = ignored;
        return e;
    }
    time.hundredths = toBcd(static_cast<unsigned>(tv.tv_usec / 10000));
    return nullptr;
}

ErrlEntry* rtim_ConvertBCDtoTimeVal(const BCD_time8_t& time, uint16_t& hundredths, timeval& tv,
                                    uint32_t& status, bool, ErrlEntry*) {
    if (auto f = fault("rtim_ConvertBCDtoTimeVal", ""))
        return timeError(RC_BCD, "BCD to timeval", status, 2, &*f);
    unsigned yh, yl, mon, day, hour, min, sec, hs;
    bool ok = fromBcd(time.year[0], yh) && fromBcd(time.year[1], yl) &&
              fromBcd(time.month, mon) && fromBcd(time.day, day) && fromBcd(time.hour, hour) &&
              fromBcd(time.minute, min) && fromBcd(time.second, sec) &&
              fromBcd(time.hundredths, hs) && mon >= 1 && mon <= 12 && day >= 1 && day <= 31 &&
              hour < 24 && min < 60 && sec < 61;
    if (!ok) return timeError(RC_BCD, "BCD to timeval (not a valid BCD time)", status, 3, nullptr);
    struct tm t = {};
    t.tm_year = static_cast<int>(yh * 100 + yl) - 1900;
    t.tm_mon = static_cast<int>(mon) - 1;
    t.tm_mday = static_cast<int>(day);
    t.tm_hour = static_cast<int>(hour);
    t.tm_min = static_cast<int>(min);
    t.tm_sec = static_cast<int>(sec);
    tv.tv_sec = timegm(&t);
    tv.tv_usec = static_cast<suseconds_t>(hs) * 10000;
    hundredths = static_cast<uint16_t>(hs);
    status = 0;
    return nullptr;
}

ErrlEntry* rtim_ConvertTimeValToBCD(const timeval& tv, BCD_time8_t& time, uint32_t kind,
                                    uint32_t& status) {
    if (auto f = fault("rtim_ConvertTimeValToBCD", ""))
        return timeError(RC_TIMEVAL, "timeval to BCD", status, 4, &*f);
    struct tm t = {};
    time_t secs = tv.tv_sec;
    if (kind != RTIM_CONVERT_UTC || !gmtime_r(&secs, &t) || t.tm_year + 1900 > 9999 ||
        t.tm_year + 1900 < 0)
        return timeError(RC_TIMEVAL, "timeval to BCD (unsupported)", status, 5, nullptr);
    unsigned year = static_cast<unsigned>(t.tm_year + 1900);
    time.year[0] = toBcd(year / 100);
    time.year[1] = toBcd(year % 100);
    time.month = toBcd(static_cast<unsigned>(t.tm_mon + 1));
    time.day = toBcd(static_cast<unsigned>(t.tm_mday));
    time.hour = toBcd(static_cast<unsigned>(t.tm_hour));
    time.minute = toBcd(static_cast<unsigned>(t.tm_min));
    time.second = toBcd(static_cast<unsigned>(t.tm_sec));
    time.hundredths = 0;
    status = 0;
    return nullptr;
}
