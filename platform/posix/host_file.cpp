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
    // Non-blocking for the open alone: a named pipe without a reader would otherwise hold
    // the run at the open for good; this way it is refused like any unwritable path.
    int fd = ::open(bytes.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0)
        return nullptr;
    int flags = ::fcntl(fd, F_GETFL);
    std::FILE* file = nullptr;
    if (flags != -1 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != -1)
        file = ::fdopen(fd, "wb");
    if (!file)
        ::close(fd);
    return file;
}

} // namespace qir::host
