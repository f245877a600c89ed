#include "platform/host_file.h"

#include <share.h>
#include <stdio.h>
#include <windows.h>

#include "platform/win32/win32_wide.h"

namespace qir::host {

std::FILE* openForWriting(const std::u16string& path) {
    // A NUL inside the path would silently open a shorter name than the one asked for.
    if (path.empty() || path.find(u'\0') != std::u16string::npos)
        return nullptr;
    std::wstring widePath = win32::toWide(path);
    // Windows refuses to write a read-only file by itself; asking first keeps that true
    // where the file system below would let an administrator through (Wine as root).
    DWORD attributes = GetFileAttributesW(widePath.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
        !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return nullptr;
    // Binary: the log text carries its own CR LF line ends, so the file is the same bytes
    // as on every other platform. _SH_DENYNO lets other processes read and write it
    // meanwhile.
    return _wfsopen(widePath.c_str(), L"wb", _SH_DENYNO);
}

} // namespace qir::host
