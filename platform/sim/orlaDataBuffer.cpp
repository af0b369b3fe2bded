// The bit buffer on the host: bytes plus a bit length. memCopyOut can be
// made to fail with the fault orlaDataBuffer.memCopyOut (subject: the byte
// count in decimal); its rc=N is the result (default RC_COPY_OUT_FAILED).
#include "platform/orlaDataBuffer.h"

#include <cstring>
#include <string>

#include "simCore.h"

namespace {

constexpr uint32_t kBitsPerByte = 8;
constexpr uint32_t RC_COPY_OUT_FAILED = 0x0C010002;

uint32_t bytesFor(uint32_t bits) { return bits / kBitsPerByte + (bits % kBitsPerByte ? 1 : 0); }

}  // namespace

orlaDataBuffer::orlaDataBuffer() : iv_bitLength(0) {}

orlaDataBuffer::orlaDataBuffer(uint32_t bitLength)
    : iv_bitLength(bitLength), iv_bytes(bytesFor(bitLength), 0) {}

orlaDataBuffer::orlaDataBuffer(const void* bytes, uint32_t bitLength) : orlaDataBuffer(bitLength) {
    if (bytes && !iv_bytes.empty()) std::memcpy(iv_bytes.data(), bytes, iv_bytes.size());
}

orlaDataBuffer::~orlaDataBuffer() = default;
orlaDataBuffer::orlaDataBuffer(const orlaDataBuffer&) = default;
orlaDataBuffer& orlaDataBuffer::operator=(const orlaDataBuffer&) = default;

uint32_t orlaDataBuffer::getBitLength() const { return iv_bitLength; }

uint32_t orlaDataBuffer::getByteLength() const { return static_cast<uint32_t>(iv_bytes.size()); }

void orlaDataBuffer::setBitLength(uint32_t bitLength) {
    iv_bitLength = bitLength;
    iv_bytes.resize(bytesFor(bitLength), 0);
}

uint8_t orlaDataBuffer::getByte(uint32_t index) const {
    return index < iv_bytes.size() ? iv_bytes[index] : 0;
}

void orlaDataBuffer::setByte(uint32_t index, uint8_t value) {
    if (index < iv_bytes.size()) iv_bytes[index] = value;
}

uint32_t orlaDataBuffer::memCopyOut(uint32_t* buffer, uint32_t byteCount) const {
    if (auto f = platsim::detail::fault("orlaDataBuffer.memCopyOut", std::to_string(byteCount)))
        return static_cast<uint32_t>(f->num("rc", RC_COPY_OUT_FAILED));
    if (!buffer || byteCount > iv_bytes.size()) return RC_COPY_OUT_RANGE;
    if (byteCount) std::memcpy(buffer, iv_bytes.data(), byteCount);
    return 0;
}
