// The DMA engine on the host: reads the simulated main store (mainStore.h)
// at a main-store address, or in TCE mode at a DMA address the mailbox
// granted. Setup writes the handle's words: 0 the engine, 1 the engine and
// queue depth with the top bit set, 2 a session number (never 0), 3 the
// TCE mode. Traced to "dmae".
//
// Faults: dmaeSetup (subject: empty), dmaeRawRead (subject: the address as
// %016llX). Without a fault a read fails when the handle is not set up
// (reason 0x2102), a DMA address lies outside every grant (0x2103) or the
// range lies beyond the main store (0x2104, errno ERANGE).
#include "platform/dmae.h"

#include <errno.h>

#include <atomic>
#include <cstdio>
#include <string>

#include "mainStore.h"
#include "platform/errlEntry.h"
#include "simCore.h"

using platsim::detail::Fault;

namespace {

enum : uint16_t {
    RC_SETUP = 0x2101,
    RC_NOT_SET_UP = 0x2102,
    RC_UNMAPPED = 0x2103,
    RC_READ = 0x2104,
};

constexpr uint32_t kSetUpMark = 0x80000000;

std::string hex64(uint64_t v) {
    char text[20];
    std::snprintf(text, sizeof text, "%016llX", static_cast<unsigned long long>(v));
    return text;
}

ErrlEntry* engineError(uint16_t reason, const char* what, const std::string& subject, int err,
                       const Fault* injected, uint32_t length = 0) {
    trace_adal_write_all(platsim::detail::serviceTrace("dmae"), "%s failed: %s", what,
                         subject.c_str());
    return platsim::detail::platformError(platsim::detail::COMP_DMAE, reason, 1, what, subject,
                                          err, injected, length);
}

bool isSetUp(const fdal_t& handle) { return handle.word[1] != 0 || handle.word[2] != 0; }

}  // namespace

ErrlEntry* dmaeSetup(bool& tceMode, unsigned int engine, int depth, bool, fdal_t& handle, bool) {
    if (auto f = platsim::detail::fault("dmaeSetup", ""))
        return engineError(RC_SETUP, "dmaeSetup", "engine", 0, &*f);
    static std::atomic<uint32_t> sessions{0};
    handle.word[0] = engine;
    handle.word[1] = kSetUpMark | (engine << 16) | (static_cast<uint32_t>(depth) & 0xFFFF);
    handle.word[2] = ++sessions;
    if (handle.word[2] == 0) handle.word[2] = ++sessions;
    handle.word[3] = tceMode ? 1 : 0;
    trace_adal_write_all(platsim::detail::serviceTrace("dmae"),
                         "dmaeSetup engine=%u depth=%d tce=%d session=%u", engine, depth,
                         tceMode ? 1 : 0, handle.word[2]);
    return nullptr;
}

ErrlEntry* dmaeRawRead(hdatMsAddr_t& address, void* buffer, unsigned int length, bool tceMode,
                       unsigned int, char const* owner, fdal_t& handle, bool) {
    uint64_t requested = (static_cast<uint64_t>(address.hi) << 32) | address.lo;
    std::string subject = hex64(requested);
    if (auto f = platsim::detail::fault("dmaeRawRead", subject))
        return engineError(RC_READ, "dmaeRawRead", subject, EIO, &*f, length);
    if (!isSetUp(handle))
        return engineError(RC_NOT_SET_UP, "dmaeRawRead (engine not set up)", subject, EINVAL,
                           nullptr, length);
    uint64_t mainStore = requested;
    if (tceMode && (address.hi != 0 || !platsim::detail::resolveDmaRange(address.lo, length,
                                                                         mainStore)))
        return engineError(RC_UNMAPPED, "dmaeRawRead (DMA address not granted)", subject,
                           EFAULT, nullptr, length);
    if (int err = platsim::detail::readMainStore(mainStore, buffer, length))
        return engineError(RC_READ, "dmaeRawRead", subject, err, nullptr, length);
    trace_adal_write_all(platsim::detail::serviceTrace("dmae"),
                         "dmaeRawRead %s tce=%d ms=%016llX len=%08X for %s", subject.c_str(),
                         tceMode ? 1 : 0, static_cast<unsigned long long>(mainStore), length,
                         owner ? owner : "?");
    return nullptr;
}
