// The system manager on the host. An IPL-type request is answered with the
// reply word held in sim/smgr_reply (decimal or 0x-hex text; absent: 2, the
// request is accepted) and logged to sim/smgr.log as
// "<request %08X> <component %04X> -> <reply>" (or "-> error=RRRR").
// Fault smgrIplTypeRequest (subject: the request as %08X).
#include "platform/smgr.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/errlEntry.h"
#include "simCore.h"

namespace {

enum : uint16_t {
    RC_REQUEST = 0x2301,
};

constexpr uint32_t kDefaultReply = 2;

uint32_t configuredReply() {
    std::string text;
    if (!platsim::detail::readHostFile(platsim::detail::root() + "/sim/smgr_reply", text))
        return kDefaultReply;
    return static_cast<uint32_t>(std::strtoul(text.c_str(), nullptr, 0));
}

void record(uint32_t request, uint16_t component, const std::string& outcome) {
    char line[64];
    std::snprintf(line, sizeof line, "%08X %04X -> %s", request, component, outcome.c_str());
    platsim::detail::appendHostLine(platsim::detail::root() + "/sim/smgr.log", line);
}

}  // namespace

ErrlEntry* smgrIplTypeRequest(uint32_t request, uint16_t component, uint32_t* reply) {
    char subject[16];
    std::snprintf(subject, sizeof subject, "%08X", request);
    auto f = platsim::detail::fault("smgrIplTypeRequest", subject);
    if (f || !reply) {
        ErrlEntry* e = platsim::detail::platformError(
            platsim::detail::COMP_SMGR, RC_REQUEST, 1, "IPL type request", subject, 0,
            f ? &*f : nullptr);
        char reason[16];
        std::snprintf(reason, sizeof reason, "error=%04X", e->getSRC(0)->reasonCode());
        record(request, component, reason);
        return e;
    }
    *reply = configuredReply();
    record(request, component, std::to_string(*reply));
    return nullptr;
}
