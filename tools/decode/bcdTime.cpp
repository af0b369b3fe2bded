#include "bcdTime.h"

#include <cstdio>

namespace decode {

namespace {

constexpr size_t kStampLength = 8;
constexpr size_t kYearHigh = 0, kYearLow = 1, kMonth = 2, kDay = 3, kHour = 4, kMinute = 5, kSecond = 6,
                 kHundredths = 7;

// The two-digit value of a BCD byte, or -1 when a nibble is not a digit.
int bcd(uint8_t b) {
    int high = b >> 4, low = b & 0x0F;
    if (high > 9 || low > 9) return -1;
    return high * 10 + low;
}

bool within(int v, int low, int high) { return v >= low && v <= high; }

}  // namespace

BcdTime decodeBcdTime(const uint8_t* stamp) {
    BcdTime t;
    for (size_t i = 0; i < kStampLength; ++i) {
        t.raw[i] = stamp[i];
        if (stamp[i] != 0) t.set = true;
    }
    if (!t.set) return t;

    int v[kStampLength];
    for (size_t i = 0; i < kStampLength; ++i) v[i] = bcd(stamp[i]);
    bool digits = true;
    for (int x : v) digits = digits && x >= 0;
    t.valid = digits && within(v[kMonth], 1, 12) && within(v[kDay], 1, 31) && within(v[kHour], 0, 23) &&
              within(v[kMinute], 0, 59) && within(v[kSecond], 0, 59);

    char buf[128];
    if (t.valid)
        std::snprintf(buf, sizeof buf, "%02d%02d-%02d-%02d %02d:%02d:%02d.%02d", v[kYearHigh], v[kYearLow],
                      v[kMonth], v[kDay], v[kHour], v[kMinute], v[kSecond], v[kHundredths]);
    else
        std::snprintf(buf, sizeof buf, "%02X%02X%02X%02X%02X%02X%02X%02X", stamp[0], stamp[1], stamp[2],
                      stamp[3], stamp[4], stamp[5], stamp[6], stamp[7]);
    t.text = buf;
    return t;
}

}  // namespace decode
