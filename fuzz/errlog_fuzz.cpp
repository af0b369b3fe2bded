// Fuzzer of the tool's error-log decoder: the input is the text of the
// platform's error-log file, one entry a line, each line decoded and
// printed as `platdump errlog` does it (JSON and text). The same bytes,
// after a first byte that picks the section's class, are also decoded as
// one user-data section of an entry, so that the fixed layouts are reached
// without a detour through hex text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/nullStream.h"
#include "platdump/errlog/errlogJson.h"
#include "platdump/errlog/errlogText.h"
#include "platdump/common/toolJson.h"

namespace {

using platdump::Json;

const char* const kSectionClasses[] = {
    "DumpKeyValueStringInfo", "DumpMultiKeyValueStringsInfo", "DumpBufferDataInfo",
    "DumpUtilRegistryInfo",   "DumpTocEntryInfo",             "DumpClientRecordInfo",
    "DumpHwFacilityEntryInfo", "DumpRegistryInfo",            "platform",
};

void decodeAndPrint(size_t number, const std::string& line) {
    std::ostream& out = fuzzsupport::nullStream();
    Json entry = platdump::decodeCommittedLine(number, line);
    platdump::printJson(out, entry);
    platdump::printCommittedLog(out, entry);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    size_t number = 1;
    for (size_t start = 0; start < text.size(); ++number) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        decodeAndPrint(number, text.substr(start, end - start));
        start = end + 1;
    }
    if (size == 0) return 0;
    const char* type = kSectionClasses[data[0] % (sizeof kSectionClasses / sizeof kSectionClasses[0])];
    const std::vector<uint8_t> section(data + 1, data + size);
    Json record{{"plid", 1}, {"userData", Json::array({Json{{"type", type}, {"hex", platdump::hexText(section)}}})}};
    decodeAndPrint(number, record.dump());
    return 0;
}
