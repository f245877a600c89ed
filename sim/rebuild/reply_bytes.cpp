#include "sim/rebuild/reply_bytes.h"

#include <algorithm>

#include "discovery/byte_io.h"

namespace qir::sim::rebuild {

std::u16string upper(std::u16string text) {
    for (char16_t& c : text)
        if (c >= u'a' && c <= u'z')
            c = static_cast<char16_t>(c - 32);
    return text;
}

std::u16string utf16Text(const std::vector<uint8_t>& bytes, size_t offset) {
    std::u16string text;
    for (size_t at = offset; at + 1 < bytes.size(); at += 2) {
        char16_t c = static_cast<char16_t>(bytes[at] | bytes[at + 1] << 8);
        if (c == 0)
            break;
        text += c;
    }
    return text;
}

bool printable(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
}

std::string bytesText(const uint8_t* bytes, size_t size) {
    return std::string(reinterpret_cast<const char*>(bytes), size);
}

std::optional<std::string> paddedText(const uint8_t* bytes, size_t size) {
    std::string text = bytesText(bytes, size);
    if (!printable(text))
        return std::nullopt;
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

uint32_t u32At(const std::vector<uint8_t>& bytes, size_t offset) {
    return offset + 4 <= bytes.size() ? getU32(bytes.data(), offset) : 0;
}

} // namespace qir::sim::rebuild
