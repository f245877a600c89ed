// A GUID as Windows writes it, in braces and upper-case hexadecimal
// ({53F56307-B6BF-11D0-94F2-00A0C91EFB8B}).
#pragma once

#include <cstdio>
#include <string>

#include "platform/platform.h"

namespace qir::platform {

inline std::string guidText(const Guid& g) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(g.data1), g.data2, g.data3, g.data4[0], g.data4[1],
                  g.data4[2], g.data4[3], g.data4[4], g.data4[5], g.data4[6], g.data4[7]);
    return text;
}

// The same in lower case, as an interface path ends with its class
// (...#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}).
inline std::string guidPathText(const Guid& g) {
    std::string text = guidText(g);
    for (char& c : text)
        if (c >= 'A' && c <= 'F')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

} // namespace qir::platform
