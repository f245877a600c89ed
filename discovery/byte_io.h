// Little-endian field access at explicit offsets, so that request buffers have the
// same bytes whatever the host's layout rules are.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qir {

inline void putU8(uint8_t* buf, size_t offset, uint8_t v) { buf[offset] = v; }

inline void putU16(uint8_t* buf, size_t offset, uint16_t v) {
    buf[offset] = static_cast<uint8_t>(v);
    buf[offset + 1] = static_cast<uint8_t>(v >> 8);
}

inline void putU32(uint8_t* buf, size_t offset, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        buf[offset + i] = static_cast<uint8_t>(v >> (8 * i));
}

inline void putU64(uint8_t* buf, size_t offset, uint64_t v) {
    for (int i = 0; i < 8; ++i)
        buf[offset + i] = static_cast<uint8_t>(v >> (8 * i));
}

inline uint8_t getU8(const uint8_t* buf, size_t offset) { return buf[offset]; }

inline uint16_t getU16(const uint8_t* buf, size_t offset) {
    return static_cast<uint16_t>(buf[offset] | (buf[offset + 1] << 8));
}

inline uint32_t getU32(const uint8_t* buf, size_t offset) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | buf[offset + i];
    return v;
}

inline uint64_t getU64(const uint8_t* buf, size_t offset) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = (v << 8) | buf[offset + i];
    return v;
}

// Copies an 8-byte signature (no terminator) into a header.
inline void putSignature(uint8_t* buf, size_t offset, const char (&sig)[9]) {
    for (int i = 0; i < 8; ++i)
        buf[offset + i] = static_cast<uint8_t>(sig[i]);
}

} // namespace qir
