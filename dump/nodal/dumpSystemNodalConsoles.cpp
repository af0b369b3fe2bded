// DumpSystemNodal::GetKELInfo: the management consoles connected to the
// system. The console service's view, then, with the session table
// locked, one record per console session, each with the console's answer
// to a status request. Nothing here is reported: a failure leaves its
// part of the record empty and the scan goes on.
#include <cstring>

#include "dump/support/dumpTrace.h"
#include "dump/support/report.h"
#include "platdump/dumpSystemNodal.h"
#include "platform/errlEntry.h"
#include "platform/netc.h"
#include "platform/netcSession.h"
#include "platform/utilFile.h"

using namespace dump;

namespace {

// The status request every console is asked.
constexpr uint32_t kRequestComponent = 0xD000;
constexpr uint16_t kRequestClass = 7;
constexpr uint16_t kRequestType = 0x1002;
constexpr uint8_t kRequestFlags = 0x08;
constexpr uint32_t kRequestTimeout = 2;  // seconds

// Sessions looked at: indexes 0 to 8.
constexpr uint8_t kSessionCount = ConnectionInfo_t::MAX_CONNECTIONS;
constexpr char kConsoleType[] = "KEL ";
constexpr uint8_t kConsoleStates[] = {1, 2, 4};
// The reply's text starts at this byte of its data.
constexpr uint32_t kReplyTextAt = 4;

// Text from `from` (read no further than available bytes, up to its first
// NUL) into a zeroed field of width bytes, at most width - 1 characters.
void copyText(char* to, size_t width, const char* from, size_t available) {
    std::memcpy(to, from, strnlen(from, available < width - 1 ? available : width - 1));
}

bool isConsole(const NetcSessionEntry& session) {
    if (std::memcmp(session.getType(), kConsoleType, NetcSessionEntry::TYPE_SIZE) != 0) return false;
    for (uint8_t state : kConsoleStates)
        if (session.getState() == state) return true;
    return false;
}

// Traces and deletes a failure of step on session index; true when there
// was one.
bool failed(ErrlEntry* e, const char* step, unsigned index) {
    if (!e) return false;
    trace("DumpSystemNodal: %s of session %u failed, rc 0x%X", step, index, e->getRC());
    discard(e);
    return true;
}

NetcMessage statusRequest() {
    NetcMessage request;
    request.setComponent(kRequestComponent);
    request.setMessageClass(kRequestClass);
    request.setMessageType(kRequestType);
    request.setFlags(kRequestFlags);
    return request;
}

// Asks the console of session index; its reply text goes to text (at
// most width - 1 characters, NUL-terminated), which stays empty when any
// step fails. Each step runs only while the previous ones succeeded.
void askConsole(uint8_t index, const NetcMessage& request, char* text, size_t width) {
    ErrlEntry* e = nullptr;
    NetcAddress address(index, e, NETC_SOCKET_STREAM);
    if (failed(e, "address", index)) return;
    address.setTimeout(kRequestTimeout);
    NetcMessage response;
    if (failed(netcConnect(address), "connect", index)) return;
    if (failed(netcSendRecv(address, request, response), "exchange", index)) return;
    if (failed(netcClose(address), "close", index)) return;
    uint32_t length = response.getDataLength();
    if (length <= kReplyTextAt) {
        trace("DumpSystemNodal: reply of session %u holds %u bytes, no text", index, length);
        return;
    }
    copyText(text, width, reinterpret_cast<const char*>(response.getData()) + kReplyTextAt,
             length - kReplyTextAt);
}

}  // namespace

ErrlEntry* DumpSystemNodal::GetKELInfo(ConnectionInfo_t* info) {
    if (!info) {
        trace("DumpSystemNodal: GetKELInfo without a record");
        return nullptr;
    }
    *info = ConnectionInfo_t{};
    info->managedInfo.masterSession = 0;  // all 812 bytes start zero
    if (ErrlEntry* e = kelxQueryKelManagedInfo(info->managedInfo, true)) {
        trace("DumpSystemNodal: managed info query failed, rc 0x%X", e->getRC());
        discard(e);
    }

    UtilFile lock;
    if (ErrlEntry* e = netcSessionEntryFileLock(lock)) {
        trace("DumpSystemNodal: session table lock failed, rc 0x%X, no sessions", e->getRC());
        discard(e);
        return nullptr;
    }
    const NetcMessage request = statusRequest();
    unsigned int found = 0;
    for (uint8_t index = 0; index < kSessionCount; ++index) {
        NetcSessionEntry session;
        if (failed(session.FindSessionEntry(index), "lookup", index) || !isConsole(session)) continue;
        ConnectionRecord_t& record = info->connections[found++];
        std::memcpy(record.connectionType, kConsoleType, sizeof record.connectionType);
        copyText(record.sessionName, sizeof record.sessionName, session.getName(),
                 NetcSessionEntry::NAME_SIZE);
        record.sessionState = session.getState();
        askConsole(index, request, record.replyText, sizeof record.replyText);
    }
    if (ErrlEntry* e = netcSessionEntryFileUnLock(lock)) {
        trace("DumpSystemNodal: session table unlock failed, rc 0x%X", e->getRC());
        discard(e);
    }
    trace("DumpSystemNodal: %u console sessions, managed %u", found, info->managedInfo.managed);
    return nullptr;
}
