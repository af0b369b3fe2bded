// NetcMessage: header fields, data and byte image.
#include "platform/netcMessage.h"

#include <algorithm>

#include "platform/bigEndian.h"


NetcMessage::NetcMessage() = default;
NetcMessage::~NetcMessage() = default;
NetcMessage::NetcMessage(const NetcMessage&) = default;
NetcMessage& NetcMessage::operator=(const NetcMessage&) = default;

void NetcMessage::setData(const void* data, uint32_t length) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    if (p)
        iv_data.assign(p, p + length);
    else
        iv_data.clear();
}

std::vector<uint8_t> NetcMessage::flatten() const {
    std::vector<uint8_t> image(HEADER_SIZE + iv_data.size());
    uint8_t* p = image.data();
    be::putU32(p, 0, iv_component);
    be::putU16(p, 4, iv_class);
    be::putU16(p, 6, iv_type);
    be::putU8(p, 8, iv_flags);
    be::putU8(p, 9, 0);
    be::putU16(p, 10, iv_status);
    be::putU32(p, 12, static_cast<uint32_t>(iv_data.size()));
    if (!iv_data.empty()) std::copy(iv_data.begin(), iv_data.end(), image.begin() + HEADER_SIZE);
    return image;
}

bool NetcMessage::unflatten(const uint8_t* p, uint32_t size) {
    if (!p || size < HEADER_SIZE) return false;
    uint32_t length = be::getU32(p, 12);
    if (length > size - HEADER_SIZE) return false;
    iv_component = be::getU32(p, 0);
    iv_class = be::getU16(p, 4);
    iv_type = be::getU16(p, 6);
    iv_flags = be::getU8(p, 8);
    iv_status = be::getU16(p, 10);
    iv_data.assign(p + HEADER_SIZE, p + HEADER_SIZE + length);
    return true;
}
