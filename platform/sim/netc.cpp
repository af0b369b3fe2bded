// Console exchanges on the host. An address is valid for a session of the
// table (netcSim.h) and socket type 1; netcSendRecv records each request in
// sim/netc/exchanges and answers with the bytes of sim/netc/reply.<index>
// as the response's data (component, class, type and flags of the request,
// status 0); without a reply file the console does not answer and the call
// fails with ETIMEDOUT. Faults: NetcAddress (the constructor), netcConnect,
// netcSendRecv, netcClose (subject "session[<index>]"; errno=N).
#include "platform/netc.h"

#include <errno.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "netcSim.h"
#include "platform/errlEntry.h"

using platsim::detail::fault;
using platsim::detail::netcError;
using platsim::detail::sessionSubject;

namespace {

enum : uint16_t {
    REASON_ADDRESS = 0x1C11,
    REASON_CONNECT = 0x1C12,
    REASON_SEND = 0x1C13,
    REASON_CLOSE = 0x1C14,
};

// Null when session index is in the table, else the failure.
ErrlEntry* sessionMissing(uint16_t reason, const char* what, unsigned index) {
    platsim::detail::ConsoleSession session;
    int err = platsim::detail::findConsoleSession(index, session);
    if (err == 0) return nullptr;
    return netcError(reason, std::string(what) + " (no such session)", sessionSubject(index),
                     err == ENOENT ? ECONNREFUSED : err);
}

std::string hex(const std::vector<uint8_t>& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (uint8_t b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 0xF];
    }
    return out;
}

void recordExchange(const NetcAddress& address, const NetcMessage& request) {
    platsim::detail::makeHostDirs(platsim::detail::netcFile(""));
    std::ofstream log(platsim::detail::netcFile("exchanges"), std::ios::app);
    log << unsigned(address.getSessionIndex()) << ' ' << address.getSocketType() << ' '
        << address.getTimeout() << ' ' << hex(request.flatten()) << '\n';
}

}  // namespace

NetcAddress::NetcAddress(uint8_t sessionIndex, ErrlEntry*& errl, uint32_t socketType)
    : iv_index(sessionIndex), iv_socketType(socketType) {
    std::string subject = sessionSubject(sessionIndex);
    errl = nullptr;
    if (auto f = fault("NetcAddress", subject)) {
        errl = netcError(REASON_ADDRESS, "session address", subject, 0, &*f);
        return;
    }
    if (socketType != NETC_SOCKET_STREAM) {
        errl = netcError(REASON_ADDRESS, "session address (socket type " +
                                             std::to_string(socketType) + " not supported)",
                         subject, EPROTONOSUPPORT);
        return;
    }
    errl = sessionMissing(REASON_ADDRESS, "session address", sessionIndex);
    iv_valid = errl == nullptr;
}

NetcAddress::~NetcAddress() = default;

ErrlEntry* netcConnect(NetcAddress& address) {
    std::string subject = sessionSubject(address.getSessionIndex());
    if (auto f = fault("netcConnect", subject))
        return netcError(REASON_CONNECT, "connect", subject, 0, &*f);
    if (!address.isValid())
        return netcError(REASON_CONNECT, "connect (address not valid)", subject, EDESTADDRREQ);
    if (address.isConnected())
        return netcError(REASON_CONNECT, "connect (already connected)", subject, EISCONN);
    if (ErrlEntry* e = sessionMissing(REASON_CONNECT, "connect", address.getSessionIndex()))
        return e;
    address.iv_connected = true;
    return nullptr;
}

ErrlEntry* netcSendRecv(NetcAddress& address, const NetcMessage& request, NetcMessage& response) {
    unsigned index = address.getSessionIndex();
    std::string subject = sessionSubject(index);
    if (auto f = fault("netcSendRecv", subject))
        return netcError(REASON_SEND, "send and receive", subject, 0, &*f);
    if (!address.isConnected())
        return netcError(REASON_SEND, "send and receive (not connected)", subject, ENOTCONN);
    recordExchange(address, request);
    std::string reply;
    if (!platsim::detail::readHostFile(platsim::detail::netcFile("reply." + std::to_string(index)),
                                       reply))
        return netcError(REASON_SEND,
                         "send and receive (no reply within " +
                             std::to_string(address.getTimeout()) + " s)",
                         subject, ETIMEDOUT);
    response.setComponent(request.getComponent());
    response.setMessageClass(request.getMessageClass());
    response.setMessageType(request.getMessageType());
    response.setFlags(request.getFlags());
    response.setStatus(0);
    response.setData(reply.data(), static_cast<uint32_t>(reply.size()));
    return nullptr;
}

ErrlEntry* netcClose(NetcAddress& address) {
    std::string subject = sessionSubject(address.getSessionIndex());
    if (auto f = fault("netcClose", subject))
        return netcError(REASON_CLOSE, "close", subject, 0, &*f);
    if (!address.isConnected())
        return netcError(REASON_CLOSE, "close (not connected)", subject, ENOTCONN);
    address.iv_connected = false;
    return nullptr;
}
