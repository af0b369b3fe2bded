// Byte layouts of the system section's items, all big-endian: the console
// connections (ConnectionInfo_t, 812 bytes, with its 88-byte connection
// records) and the registry pair record (a name and a value, each padded
// to whole words). One encoder per record; the callers own every buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platdump/dumpSystemNodal.h"

namespace dump {
namespace sysnodal {

// ConnectionInfo_t image.
namespace info {
constexpr uint32_t SIZE = 812;
constexpr size_t MANAGED_INFO = 0;  // KelxManagedInfo image, 20 bytes
constexpr size_t CONNECTIONS = 20;  // MAX_CONNECTIONS connection records
}  // namespace info

// Connection record image.
namespace conn {
constexpr uint32_t SIZE = 88;
constexpr size_t TYPE = 0;  // 4 characters, not terminated
constexpr size_t TYPE_WIDTH = 4;
constexpr size_t NAME = 4;  // NUL-terminated within the width
constexpr size_t NAME_WIDTH = 32;
constexpr size_t REPLY = 36;  // NUL-terminated within the width
constexpr size_t REPLY_WIDTH = 48;
constexpr size_t STATE = 84;  // u8; bytes 85-87 reserved, zero
}  // namespace conn

static_assert(info::CONNECTIONS + ConnectionInfo_t::MAX_CONNECTIONS * conn::SIZE == info::SIZE,
              "the records fill the connection info");
static_assert(conn::STATE + 4 == conn::SIZE, "state, then three reserved bytes");

// Writes conn::SIZE bytes. Text is cut to its field's width less one, so
// it always ends in a NUL.
void encodeConnectionRecord(const ConnectionRecord_t& record, uint8_t* image);
// Writes info::SIZE bytes.
void encodeConnectionInfo(const ConnectionInfo_t& connections, uint8_t* image);

// The registry pair record: u32 name area size n at 0, the name
// NUL-terminated and zero-filled to n bytes at 4, u32 value length at
// 4 + n, the value zero-filled to whole words at 8 + n.
class RegistryPairRecord {
public:
    static constexpr uint32_t WORD = 4;
    static constexpr size_t NAME_AREA_SIZE = 0;
    static constexpr size_t NAME = 4;

    // The zero-filled record of name with a value of valueLength bytes,
    // the value left zero for the caller to fill through value(). False
    // when the record would not fit a 32-bit size or cannot be allocated.
    bool build(const char* name, uint64_t valueLength);

    uint8_t* value() { return iv_image.get() + iv_valueAt; }
    uint32_t valueLength() const { return iv_valueLength; }
    uint32_t size() const { return iv_size; }
    char* data() { return reinterpret_cast<char*>(iv_image.get()); }

private:
    std::unique_ptr<uint8_t[]> iv_image;
    uint32_t iv_size = 0;
    uint32_t iv_valueAt = 0;
    uint32_t iv_valueLength = 0;
};

}  // namespace sysnodal
}  // namespace dump
