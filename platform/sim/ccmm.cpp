// The code-maintenance manager on the host. The component holding the
// prevention is kept in $PLATSIM_ROOT/sim/ccmm/holder (a number, e.g.
// 0xF000; absent or empty: none), read and changed under an exclusive lock
// so that processes of one root share it. Preventing while another
// component holds it returns CCMM_RC_ALREADY_PREVENTED and the holder in
// the argument; preventing again for the holder returns the same code with
// the argument unchanged. Faults: ccmmPreventCcmFeatures (component=N also
// writes N into the caller's variable), ccmmAllowCcmFeatures; rc=N and
// reason=N set the entry's codes.
#include "platform/ccmm.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/errlEntry.h"
#include "simCore.h"

using platsim::detail::Fault;
using platsim::detail::fault;
using platsim::detail::platformError;

namespace {

enum : uint16_t {
    REASON_PREVENT = 0x1A01,
    REASON_ALLOW = 0x1A02,
    REASON_STATE = 0x1A03,
};

// Refused by default when a fault gives no rc=.
constexpr uint32_t RC_INJECTED_PREVENT = 0x11030301;
constexpr uint32_t RC_INJECTED_ALLOW = CCMM_RC_NOT_HOLDER;
constexpr uint32_t RC_STATE = 0x11000001;
constexpr uint32_t NO_HOLDER = 0x10000;  // outside the 16-bit component range

std::string componentText(unsigned component) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", component);
    return text;
}

ErrlEntry* ccmmError(uint16_t reason, uint32_t rc, const std::string& what, unsigned component,
                     int err = 0, const Fault* injected = nullptr) {
    return platformError(platsim::detail::COMP_CCMM, reason, rc, what, componentText(component),
                         err, injected);
}

// The holder file, open and exclusively locked for one read-modify-write.
class HolderFile {
public:
    HolderFile() {
        std::string dir = platsim::detail::root() + "/sim/ccmm";
        platsim::detail::makeHostDirs(dir);
        iv_fd = ::open((dir + "/holder").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (iv_fd >= 0 && ::flock(iv_fd, LOCK_EX) != 0) {
            ::close(iv_fd);
            iv_fd = -1;
        }
    }
    ~HolderFile() {
        if (iv_fd < 0) return;
        ::flock(iv_fd, LOCK_UN);
        ::close(iv_fd);
    }
    HolderFile(const HolderFile&) = delete;
    HolderFile& operator=(const HolderFile&) = delete;

    bool ok() const { return iv_fd >= 0; }

    uint32_t holder() const {
        char text[32] = {0};
        ssize_t n = ::pread(iv_fd, text, sizeof text - 1, 0);
        if (n <= 0) return NO_HOLDER;
        char* end = nullptr;
        unsigned long value = std::strtoul(text, &end, 0);
        return end == text ? NO_HOLDER : static_cast<uint32_t>(value & 0xFFFF);
    }

    bool set(uint32_t holder) {
        std::string text = holder == NO_HOLDER ? "" : componentText(holder) + "\n";
        if (::ftruncate(iv_fd, 0) != 0) return false;
        return ::pwrite(iv_fd, text.data(), text.size(), 0) == static_cast<ssize_t>(text.size());
    }

private:
    int iv_fd = -1;
};

}  // namespace

ErrlEntry* ccmmPreventCcmFeatures(unsigned short& component) {
    if (auto f = fault("ccmmPreventCcmFeatures", componentText(component))) {
        ErrlEntry* e = ccmmError(REASON_PREVENT, RC_INJECTED_PREVENT, "prevent code maintenance",
                                 component, 0, &*f);
        component = static_cast<unsigned short>(f->num("component", component));
        return e;
    }
    HolderFile file;
    if (!file.ok())
        return ccmmError(REASON_STATE, RC_STATE, "prevent code maintenance (state)", component,
                         errno);
    uint32_t holder = file.holder();
    if (holder != NO_HOLDER) {
        ErrlEntry* e = ccmmError(REASON_PREVENT, CCMM_RC_ALREADY_PREVENTED,
                                 "prevent code maintenance (already prevented)", component);
        component = static_cast<unsigned short>(holder);
        return e;
    }
    if (!file.set(component))
        return ccmmError(REASON_STATE, RC_STATE, "prevent code maintenance (state)", component,
                         errno);
    return nullptr;
}

ErrlEntry* ccmmAllowCcmFeatures(unsigned short component) {
    if (auto f = fault("ccmmAllowCcmFeatures", componentText(component)))
        return ccmmError(REASON_ALLOW, RC_INJECTED_ALLOW, "allow code maintenance", component, 0,
                         &*f);
    HolderFile file;
    if (!file.ok())
        return ccmmError(REASON_STATE, RC_STATE, "allow code maintenance (state)", component,
                         errno);
    uint32_t holder = file.holder();
    if (holder == NO_HOLDER)
        return ccmmError(REASON_ALLOW, CCMM_RC_NOT_PREVENTED,
                         "allow code maintenance (not prevented)", component);
    if (holder != component)
        return ccmmError(REASON_ALLOW, CCMM_RC_NOT_HOLDER,
                         "allow code maintenance (held by " + componentText(holder) + ")",
                         component);
    if (!file.set(NO_HOLDER))
        return ccmmError(REASON_STATE, RC_STATE, "allow code maintenance (state)", component,
                         errno);
    return nullptr;
}
