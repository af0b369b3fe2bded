// Big-endian encoding at a byte offset, shared by the platform layer and
// the library. Every on-disk and error-log byte layout is read and written
// only through these helpers, built from shifts, so the result never
// depends on the host's byte order or on struct padding.
#pragma once

#include <cstddef>
#include <cstdint>

namespace be {

inline void putU8(uint8_t* p, size_t off, uint8_t v) { p[off] = v; }

inline void putU16(uint8_t* p, size_t off, uint16_t v) {
    p[off] = static_cast<uint8_t>(v >> 8);
    p[off + 1] = static_cast<uint8_t>(v);
}

inline void putU32(uint8_t* p, size_t off, uint32_t v) {
    p[off] = static_cast<uint8_t>(v >> 24);
    p[off + 1] = static_cast<uint8_t>(v >> 16);
    p[off + 2] = static_cast<uint8_t>(v >> 8);
    p[off + 3] = static_cast<uint8_t>(v);
}

inline void putU64(uint8_t* p, size_t off, uint64_t v) {
    putU32(p, off, static_cast<uint32_t>(v >> 32));
    putU32(p, off + 4, static_cast<uint32_t>(v));
}

inline uint8_t getU8(const uint8_t* p, size_t off) { return p[off]; }

inline uint16_t getU16(const uint8_t* p, size_t off) {
    return static_cast<uint16_t>((p[off] << 8) | p[off + 1]);
}

inline uint32_t getU32(const uint8_t* p, size_t off) {
    return (static_cast<uint32_t>(p[off]) << 24) | (static_cast<uint32_t>(p[off + 1]) << 16) |
           (static_cast<uint32_t>(p[off + 2]) << 8) | static_cast<uint32_t>(p[off + 3]);
}

inline uint64_t getU64(const uint8_t* p, size_t off) {
    return (static_cast<uint64_t>(getU32(p, off)) << 32) | getU32(p, off + 4);
}

}  // namespace be
