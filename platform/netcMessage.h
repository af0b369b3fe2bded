// A message of the platform's network layer: a small header (component,
// message class, message type, flags, status) and a data part. Used for
// remote commands between the service processors and for console
// exchanges.
//
// Byte image (big-endian), as flatten writes it:
//   0 u32 component | 4 u16 message class | 6 u16 message type |
//   8 u8 flags | 9 u8 reserved | 10 u16 status | 12 u32 data length |
//   16 data
#pragma once

#include <cstdint>
#include <vector>

#include "platformExport.h"

class PLATFORM_EXPORT NetcMessage {
public:
    static constexpr uint32_t HEADER_SIZE = 16;

    NetcMessage();
    ~NetcMessage();
    NetcMessage(const NetcMessage&);
    NetcMessage& operator=(const NetcMessage&);

    uint32_t getComponent() const { return iv_component; }
    void setComponent(uint32_t component) { iv_component = component; }
    // The 16-bit word that precedes the message type in the header.
    uint16_t getMessageClass() const { return iv_class; }
    void setMessageClass(uint16_t value) { iv_class = value; }
    uint16_t getMessageType() const { return iv_type; }
    void setMessageType(uint16_t type) { iv_type = type; }
    // The flags byte that follows the message type.
    uint8_t getFlags() const { return iv_flags; }
    void setFlags(uint8_t flags) { iv_flags = flags; }
    uint16_t getStatus() const { return iv_status; }
    void setStatus(uint16_t status) { iv_status = status; }

    // The message keeps its own copy of the data.
    void setData(const void* data, uint32_t length);
    const uint8_t* getData() const { return iv_data.empty() ? nullptr : iv_data.data(); }
    uint32_t getDataLength() const { return static_cast<uint32_t>(iv_data.size()); }

    std::vector<uint8_t> flatten() const;
    // False when the image is shorter than its header says.
    bool unflatten(const uint8_t* image, uint32_t size);

private:
    uint32_t iv_component = 0;
    uint16_t iv_class = 0;
    uint16_t iv_type = 0;
    uint8_t iv_flags = 0;
    uint16_t iv_status = 0;
    std::vector<uint8_t> iv_data;
};
