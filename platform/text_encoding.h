// UTF-8 and 16-bit text, for the console bytes and for host paths and arguments.
#pragma once

#include <string>

namespace qir::text {

// Surrogate pairs are combined; every other code unit, a lone surrogate included, is
// encoded on its own, so no 16-bit value is ever lost.
std::string toUtf8(const std::u16string& text);
// Malformed input becomes U+FFFD rather than being dropped.
std::u16string fromUtf8(const std::string& text);

} // namespace qir::text
