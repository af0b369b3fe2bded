#include "errorReport.h"

#include "decode/findings.h"

#include "errlogJson.h"
#include "errlogText.h"
#include "platform/errlEntry.h"

namespace platdump {

namespace {

constexpr size_t kTraceLines = 12;  // of a failure's trace: the steps before it

}  // namespace

void reportFailure(std::ostream& err, const std::string& command, const std::string& message, ErrlEntry*& entry) {
    reportFailure(err, command, message);
    if (!entry) return;
    printErrorLog(err, decodeEntry(*entry), "  ", kTraceLines);
    delete entry;
    entry = nullptr;
}

void reportFailure(std::ostream& err, const std::string& command, const std::string& message) {
    err << "platdump " << command << ": " << message << "\n";
}

std::string briefError(const ErrlEntry& entry) {
    std::string text = "rc " + decode::hex(entry.getRC());
    if (const SrciSrc* src = entry.getSRC(0))
        text += ", SRC " + src->getAsciiString() + ", location word " + decode::hex(src->userWord(1), 8);
    return text;
}

}  // namespace platdump
