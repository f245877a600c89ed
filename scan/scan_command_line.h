// The scan's command line: options of the form /name=<value>, case-sensitive, each at most
// once, read from one table so that an option is one more row.
#pragma once

#include <string>

namespace qir::scan {

struct ScanOptions {
    std::u16string jsonPath;    // empty: no JSON file
    std::u16string capturePath; // empty: no capture
};

// False on anything the table does not know, a value left empty, or an option given twice.
bool parseScanCommandLine(int argc, const char16_t* const* argv, ScanOptions* options);

// The usage text, the table's options with their help.
std::string scanUsageText();

} // namespace qir::scan
