#include "platform/host_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/text_encoding.h"

namespace qir::host {

std::FILE* openForWriting(const std::u16string& path) {
    std::string bytes = text::toUtf8(path);
    if (bytes.empty() || bytes.find('\0') != std::string::npos)
        return nullptr;
    // A file without any write permission is read-only, as a file with the read-only
    // attribute is on Windows, even for an administrator.
    struct stat st;
    if (::stat(bytes.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        errno = EACCES;
        return nullptr;
    }
    return std::fopen(bytes.c_str(), "wb");
}


} // namespace qir::host
