#include "app/timestamp.h"

#include <cstdio>

#include "platform/platform.h"

namespace qir {

std::string makeTimestamp() {
    platform::LocalTime t = platform::os().localTime();
    // Generous room: a clock that reports values outside their usual ranges gives a
    // longer text, never a cut or overrun one.
    char buffer[96];
    int n = std::snprintf(buffer, sizeof buffer, "%02d-%02d-%04d(%02d:%02d:%02d)", t.day, t.month,
                          t.year, t.hour, t.minute, t.second);
    if (n < 0)
        return std::string();
    return std::string(buffer, static_cast<size_t>(n) < sizeof buffer ? static_cast<size_t>(n)
                                                                      : sizeof buffer - 1);
}

std::u16string widenBytes(const std::string& text) {
    std::u16string wide;
    wide.reserve(text.size());
    for (char c : text)
        wide += static_cast<char16_t>(static_cast<unsigned char>(c));
    return wide;
}

} // namespace qir
