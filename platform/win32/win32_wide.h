// The one place where the core's 16-bit strings meet wchar_t. On Windows both are
// UTF-16 code units, so the conversion is a copy that keeps every unit as it is.
#pragma once

#include <string>

namespace qir::win32 {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide characters are 16-bit");

inline std::wstring toWide(const std::u16string& text) {
    return std::wstring(text.begin(), text.end());
}

inline std::u16string fromWide(const wchar_t* text) {
    std::u16string out;
    if (text)
        for (; *text; ++text)
            out += static_cast<char16_t>(*text);
    return out;
}

} // namespace qir::win32
