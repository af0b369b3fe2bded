#include "timeText.h"

#include <ctime>

namespace platdump {

Json bcdDate(const decode::BcdTime& time) { return time.set ? Json(time.text) : Json(nullptr); }

std::string epochDate(int64_t seconds) {
    std::time_t t = static_cast<std::time_t>(seconds);
    std::tm parts{};
    char buf[64];
    if (!::gmtime_r(&t, &parts) || std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S UTC", &parts) == 0)
        return std::to_string(seconds) + " s";
    return buf;
}

}  // namespace platdump
