#include "app/log_file.h"

#include <cstdio>

#include "platform/host_file.h"

namespace qir {

std::string narrowLowBytes(const std::u16string& text) {
    std::string narrow;
    narrow.reserve(text.size());
    for (char16_t c : text)
        narrow += static_cast<char>(static_cast<unsigned char>(c & 0xFF));
    return narrow;
}

bool testLogPath(const std::u16string& path) {
    std::FILE* file = host::openForWriting(path);
    if (!file)
        return false;
    std::fclose(file);
    return true;
}

void writeLogFile(const std::u16string& path, const std::string& logText) {
    if (path.empty())
        return;
    // The file is opened in binary and the line ends are made here, so that the bytes
    // are the same whichever host writes them.
    std::string bytes;
    bytes.reserve(logText.size() + logText.size() / 16);
    for (char c : logText) {
        if (c == '\n')
            bytes += '\r';
        bytes += c;
    }
    host::writeWholeFile(path, bytes);
}

} // namespace qir
