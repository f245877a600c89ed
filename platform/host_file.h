// The host's own files (the log file), reached by a 16-bit path. These are files of
// the machine the tool runs on, also when its devices are simulated.
#pragma once

#include <cstdio>
#include <string>

namespace qir::host {

// Opens for writing, binary, creating the file or truncating it to zero length, with
// other processes allowed to read and write it meanwhile. nullptr when it cannot be
// opened (a missing folder, a folder, no permission, a read-only file).
std::FILE* openForWriting(const std::u16string& path);

// Replaces the file's content with `content`, through openForWriting. False when the file
// cannot be opened, or not all of it reaches the file.
inline bool writeWholeFile(const std::u16string& path, const std::string& content) {
    std::FILE* file = openForWriting(path);
    if (!file)
        return false;
    const bool written = std::fwrite(content.data(), 1, content.size(), file) == content.size();
    return std::fclose(file) == 0 && written;
}

} // namespace qir::host
