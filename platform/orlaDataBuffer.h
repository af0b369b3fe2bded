// The hardware-access library's bit buffer: a run of bits, stored as bytes
// from the most significant bit of byte 0 on. Hardware nodal sections copy
// a buffer's bytes into their data file; bits of the last byte beyond the
// bit length carry no data.
#pragma once

#include <cstdint>
#include <vector>

#include "platformExport.h"

class PLATFORM_EXPORT orlaDataBuffer {
public:
    // An empty buffer (0 bits).
    orlaDataBuffer();
    // bitLength bits, all zero.
    explicit orlaDataBuffer(uint32_t bitLength);
    // bitLength bits taken from the first (bitLength + 7) / 8 bytes at bytes.
    orlaDataBuffer(const void* bytes, uint32_t bitLength);
    ~orlaDataBuffer();
    orlaDataBuffer(const orlaDataBuffer&);
    orlaDataBuffer& operator=(const orlaDataBuffer&);

    uint32_t getBitLength() const;
    // Bytes that hold the bits: (bit length + 7) / 8.
    uint32_t getByteLength() const;
    // Sets the bit length; new bits are zero.
    void setBitLength(uint32_t bitLength);
    uint8_t getByte(uint32_t index) const;  // 0 beyond the buffer
    void setByte(uint32_t index, uint8_t value);  // ignored beyond the buffer

    // Copies the first byteCount bytes, in order, into the memory at
    // buffer. 0 on success; non-zero, and nothing copied, when byteCount
    // exceeds getByteLength() or buffer is null.
    uint32_t memCopyOut(uint32_t* buffer, uint32_t byteCount) const;

    // Result of memCopyOut for a request the buffer cannot serve.
    static constexpr uint32_t RC_COPY_OUT_RANGE = 0x0C010001;

private:
    uint32_t iv_bitLength;
    std::vector<uint8_t> iv_bytes;
};
