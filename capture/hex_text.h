// Bytes and numbers as hexadecimal text, the way the capture, the machine description
// rebuilt from it and the scan's report and JSON all write them, so that one reader of
// any of them reads the others' alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace qir::capture {

// A number as Windows tools show codes and errors: "0x" and upper-case digits.
inline std::string hexText(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(value));
    return text;
}

// A byte block: two lower-case digits a byte, nothing between them.
inline std::string hexOf(const uint8_t* bytes, size_t size) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(size * 2);
    for (size_t i = 0; i < size; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    return text;
}

inline std::string hexOf(const std::vector<uint8_t>& bytes) {
    return hexOf(bytes.data(), bytes.size());
}

// A byte block with its long runs of one byte written short, so that the zero-filled
// buffers of driver requests stay readable: blank-separated pieces, each either plain
// hexadecimal or "HH*N" for N bytes HH (N in decimal), e.g. "31000000 00*4088 0a0b".
std::string compactHexOf(const uint8_t* bytes, size_t size);
inline std::string compactHexOf(const std::vector<uint8_t>& bytes) {
    return compactHexOf(bytes.data(), bytes.size());
}

// Reads either form (plain, or compact with blanks between pieces) into `bytes`; false and
// the reason when the text is neither or holds more than `limit` bytes.
bool readHexText(const std::string& text, size_t limit, std::vector<uint8_t>* bytes,
                 std::string* why);

// Reads a byte block a person typed into a machine description: digits of either letter
// case, blanks anywhere and ignored, no runs. The same reasons as readHexText.
bool readTypedHex(const std::string& text, std::vector<uint8_t>* bytes, std::string* why);

} // namespace qir::capture
