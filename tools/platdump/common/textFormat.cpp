#include "textFormat.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iomanip>

#include "decode/findings.h"

namespace platdump {

std::string fieldValue(const Json& v) {
    if (v.is_null()) return "-";
    if (v.is_string()) return v.get<std::string>();
    if (v.is_boolean()) return v.get<bool>() ? "yes" : "no";
    if (v.is_number_unsigned()) return decode::num(v.get<uint64_t>());
    if (v.is_array()) {
        std::string out;
        for (const Json& item : v) out += (out.empty() ? "" : ", ") + fieldValue(item);
        return out.empty() ? "-" : out;
    }
    return v.dump();
}

void printFields(std::ostream& out, const Json& object, std::initializer_list<const char*> skip,
                 const std::string& indent) {
    auto skipped = [&](const std::string& key) {
        return std::any_of(skip.begin(), skip.end(), [&](const char* s) { return key == s; });
    };
    size_t width = 0;
    for (auto& [key, v] : object.items())
        if (!skipped(key)) width = std::max(width, key.size());
    for (auto& [key, v] : object.items()) {
        if (skipped(key)) continue;
        out << indent << std::left << std::setw(static_cast<int>(width)) << key << "  " << fieldValue(v) << "\n";
    }
}

std::string fieldText(const char* field, size_t width) { return std::string(field, strnlen(field, width)); }

std::string byteSize(uint64_t bytes) {
    static const char* const kUnits[] = {"KiB", "MiB", "GiB", "TiB"};
    if (bytes < 1024) return std::to_string(bytes) + " B";
    double v = static_cast<double>(bytes) / 1024;
    size_t unit = 0;
    while (v >= 1024 && unit + 1 < sizeof kUnits / sizeof kUnits[0]) {
        v /= 1024;
        ++unit;
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f %s", v, kUnits[unit]);
    return buf;
}

}  // namespace platdump
