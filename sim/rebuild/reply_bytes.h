// Reading the bytes of a recorded reply: fields that may lie beyond a short reply, texts of
// 16-bit characters, blank-padded texts, and paths compared as Windows compares them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qir::sim::rebuild {

std::u16string upper(std::u16string text);
std::u16string utf16Text(const std::vector<uint8_t>& bytes, size_t offset);
bool printable(const std::string& text);
std::string bytesText(const uint8_t* bytes, size_t size);
// A blank-padded field as the text that pads back to it, when there is one.
std::optional<std::string> paddedText(const uint8_t* bytes, size_t size);
// 0 when the reply is too short to hold the field.
uint32_t u32At(const std::vector<uint8_t>& bytes, size_t offset);

} // namespace qir::sim::rebuild
