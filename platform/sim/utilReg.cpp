// The registry on the host: one file per key, <side>/registry/<key>,
// holding the value's raw bytes. Faults: UtilReg.read, UtilReg.write,
// UtilReg.path (match= compares with the key).
#include "platform/utilReg.h"

#include <errno.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/errlEntry.h"
#include "simCore.h"

using platsim::detail::fault;
using platsim::detail::platformError;

namespace {

enum : uint16_t {
    RC_MISSING = 0x1201,
    RC_TOO_LONG = 0x1202,
    RC_WRITE = 0x1203,
    RC_PATH = 0x1204,
};

std::string keyPath(const char* key) { return std::string("/registry/") + (key ? key : ""); }

ErrlEntry* regError(uint16_t reason, const char* what, const char* key, int err,
                    const platsim::detail::Fault* injected) {
    return platformError(platsim::detail::COMP_UTIL_REG, reason, 1, what, key ? key : "", err,
                         injected);
}

}  // namespace

ErrlEntry* UtilReg::read(const char* key, void* buffer, uint32_t& size, bool, ErrlEntry*) {
    const auto& root = platsim::detail::currentRoot();
    if (auto f = fault(root, "UtilReg.read", key ? key : "")) {
        size = 0;
        return regError(RC_MISSING, "registry read", key, 0, &*f);
    }
    // Kept from call to call: a value is read without the heap once one
    // as long has been.
    static thread_local std::string value;
    if (!key || !platsim::detail::readHostFile(
                    platsim::detail::joinedPath(root.sideDir(root.side()), "/registry/", key).c_str(), value)) {
        int err = errno;
        size = 0;
        return regError(RC_MISSING, "registry read", key, err, nullptr);
    }
    uint32_t length = static_cast<uint32_t>(value.size());
    if (!buffer) {
        size = length;
        return nullptr;
    }
    if (length > size) {
        size = length;
        return regError(RC_TOO_LONG, "registry read (value longer than buffer)", key, 0, nullptr);
    }
    std::memcpy(buffer, value.data(), length);
    size = length;
    return nullptr;
}

ErrlEntry* UtilReg::write(const char* key, const void* buffer, uint32_t size) {
    if (auto f = fault("UtilReg.write", key ? key : ""))
        return regError(RC_WRITE, "registry write", key, 0, &*f);
    std::string value(static_cast<const char*>(buffer), size);
    if (!key || !platsim::detail::writeHostFile(platsim::detail::hostPath(keyPath(key)), value))
        return regError(RC_WRITE, "registry write", key, errno, nullptr);
    return nullptr;
}

ErrlEntry* UtilReg::path(const char* const*, uint32_t, const char* key, char*& outPath,
                         uint32_t& outLength) {
    outPath = nullptr;
    outLength = 0;
    if (auto f = fault("UtilReg.path", key ? key : ""))
        return regError(RC_PATH, "registry path", key, 0, &*f);
    if (!key) return regError(RC_PATH, "registry path", key, EINVAL, nullptr);
    std::string p = keyPath(key);
    outPath = static_cast<char*>(std::malloc(p.size() + 1));
    if (!outPath) std::abort();
    std::memcpy(outPath, p.c_str(), p.size() + 1);
    outLength = static_cast<uint32_t>(p.size());
    return nullptr;
}
