// The log file: only the run report goes there, written whole at the end of the run.
#pragma once

#include <string>

namespace qir {

// Keeps the low 8 bits of each 16-bit character; a NUL stays a zero byte.
std::string narrowLowBytes(const std::u16string& text);

// Opens the file for writing (creating it, or truncating it to empty) and closes it
// again; false when it cannot be opened.
bool testLogPath(const std::u16string& path);

// Replaces the file's content with logText, each "\n" written as CR LF. Failures are
// silent: the log is a record of the run, not part of its outcome.
void writeLogFile(const std::u16string& path, const std::string& logText);

} // namespace qir
