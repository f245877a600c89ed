// Time stamps of the run report.
#pragma once

#include <string>

namespace qir {

// The local time of the call as DD-MM-YYYY(hh:mm:ss).
std::string makeTimestamp();

// Each byte becomes one 16-bit character of the same value.
std::u16string widenBytes(const std::string& text);

} // namespace qir
