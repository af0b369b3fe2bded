// The management-console service on the host. Its view is read from
// $PLATSIM_ROOT/sim/kelx/managedInfo, words key=value (decimal or 0x-hex):
// managed, consoles, master, changes, reserved; absent keys keep their
// defaults (0, and master 0xFFFFFFFF), an absent file means no console
// manages the system. An unknown word or number is a failure. Fault:
// kelxQueryKelManagedInfo (rc=N, reason=N).
#include "platform/kelx.h"

#include <errno.h>

#include <cstdlib>
#include <map>
#include <sstream>
#include <string>

#include "platform/bigEndian.h"
#include "platform/errlEntry.h"
#include "simCore.h"

using platsim::detail::fault;
using platsim::detail::platformError;

namespace {

enum : uint16_t { REASON_QUERY = 0x1B01 };

enum : size_t {
    OFF_MANAGED = 0,
    OFF_CONSOLES = 4,
    OFF_MASTER = 8,
    OFF_CHANGES = 12,
    OFF_RESERVED = 16,
};

const char* const SUBJECT = "managed info";

ErrlEntry* queryError(const std::string& what, int err,
                      const platsim::detail::Fault* injected = nullptr) {
    return platformError(platsim::detail::COMP_KELX, REASON_QUERY, 1, what, SUBJECT, err,
                         injected);
}

// Applies one key=value word to info; false when it is not one of ours.
bool applyWord(const std::string& word, KelxManagedInfo& info) {
    static const std::map<std::string, uint32_t KelxManagedInfo::*> fields = {
        {"managed", &KelxManagedInfo::managed},     {"consoles", &KelxManagedInfo::consoleCount},
        {"master", &KelxManagedInfo::masterSession}, {"changes", &KelxManagedInfo::changeCount},
        {"reserved", &KelxManagedInfo::reserved},
    };
    size_t eq = word.find('=');
    if (eq == std::string::npos) return false;
    auto field = fields.find(word.substr(0, eq));
    std::string value = word.substr(eq + 1);
    if (field == fields.end() || value.empty()) return false;
    char* end = nullptr;
    errno = 0;
    unsigned long long v = std::strtoull(value.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || v > 0xFFFFFFFFull) return false;
    info.*(field->second) = static_cast<uint32_t>(v);
    return true;
}

}  // namespace

void KelxManagedInfo::flatten(uint8_t* image) const {
    be::putU32(image, OFF_MANAGED, managed);
    be::putU32(image, OFF_CONSOLES, consoleCount);
    be::putU32(image, OFF_MASTER, masterSession);
    be::putU32(image, OFF_CHANGES, changeCount);
    be::putU32(image, OFF_RESERVED, reserved);
}

ErrlEntry* kelxQueryKelManagedInfo(KelxManagedInfo& info, bool) {
    if (auto f = fault("kelxQueryKelManagedInfo", SUBJECT))
        return queryError("query managed info", 0, &*f);
    KelxManagedInfo result;
    std::string text;
    if (platsim::detail::readHostFile(platsim::detail::root() + "/sim/kelx/managedInfo", text)) {
        std::istringstream in(text);
        std::string word;
        while (in >> word)
            if (!applyWord(word, result))
                return queryError("query managed info (malformed word '" + word + "')", EBADMSG);
    }
    info = result;
    return nullptr;
}
