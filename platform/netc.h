// Exchanges with a session of the network layer (a management console):
// an address names the session by its index, and a request message is
// sent and its response awaited within the address's timeout. Each call
// returns null or the failure, which the caller owns.
#pragma once

#include <cstdint>

#include "netcMessage.h"
#include "platformExport.h"

class ErrlEntry;
class NetcAddress;

PLATFORM_EXPORT ErrlEntry* netcConnect(NetcAddress& address);
// Sends request on a connected address and fills response with the reply.
PLATFORM_EXPORT ErrlEntry* netcSendRecv(NetcAddress& address, const NetcMessage& request,
                                        NetcMessage& response);
PLATFORM_EXPORT ErrlEntry* netcClose(NetcAddress& address);

// Socket types of an address.
enum : uint32_t { NETC_SOCKET_STREAM = 1 };

class PLATFORM_EXPORT NetcAddress {
public:
    static constexpr uint32_t DEFAULT_TIMEOUT = 30;  // seconds

    // The address of session sessionIndex. errl is set to null, or to the
    // failure (no such session, unsupported socket type); a failed address
    // cannot connect.
    NetcAddress(uint8_t sessionIndex, ErrlEntry*& errl, uint32_t socketType);
    ~NetcAddress();
    NetcAddress(const NetcAddress&) = delete;
    NetcAddress& operator=(const NetcAddress&) = delete;

    // How long netcSendRecv waits for the response.
    void setTimeout(uint32_t seconds) { iv_timeout = seconds; }
    uint32_t getTimeout() const { return iv_timeout; }
    uint8_t getSessionIndex() const { return iv_index; }
    uint32_t getSocketType() const { return iv_socketType; }
    bool isValid() const { return iv_valid; }
    bool isConnected() const { return iv_connected; }

private:
    friend ErrlEntry* netcConnect(NetcAddress&);
    friend ErrlEntry* netcClose(NetcAddress&);

    uint8_t iv_index;
    uint32_t iv_socketType;
    uint32_t iv_timeout = DEFAULT_TIMEOUT;
    bool iv_valid = false;
    bool iv_connected = false;
};
