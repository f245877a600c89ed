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

} // namespace qir::host
