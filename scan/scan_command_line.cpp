#include "scan/scan_command_line.h"

#include <set>

#include "platform/text_encoding.h"

namespace qir::scan {

namespace {

struct OptionRow {
    const char16_t* name; // up to the "="
    const char* valueName;
    const char* help;
    std::u16string ScanOptions::*value;
};

const OptionRow kOptions[] = {
    {u"/json", "FILEPATH", "Also write the scan as JSON to that file (created at start).",
     &ScanOptions::jsonPath},
    {u"/capture", "FILEPATH",
     "Also record every platform call and its answer to that file (created at start).",
     &ScanOptions::capturePath},
};

const OptionRow* rowOf(const std::u16string& arg, std::u16string* value) {
    for (const OptionRow& row : kOptions) {
        const std::u16string prefix = std::u16string(row.name) + u"=";
        if (arg.compare(0, prefix.size(), prefix) == 0) {
            *value = arg.substr(prefix.size());
            return &row;
        }
    }
    return nullptr;
}

} // namespace

bool parseScanCommandLine(int argc, const char16_t* const* argv, ScanOptions* options) {
    std::set<const OptionRow*> seen;
    for (int i = 1; i < argc; ++i) {
        const std::u16string arg = argv && argv[i] ? argv[i] : u"";
        std::u16string value;
        const OptionRow* row = rowOf(arg, &value);
        if (!row || value.empty() || !seen.insert(row).second)
            return false;
        options->*(row->value) = value;
    }
    return true;
}

std::string scanUsageText() {
    std::string usage = "\nUsage: qir-scan.exe";
    for (const OptionRow& row : kOptions)
        usage += " [" + text::toUtf8(row.name) + "=<" + row.valueName + ">]";
    usage += "\n\n";
    for (const OptionRow& row : kOptions) {
        std::string option = text::toUtf8(row.name) + "=<" + row.valueName + ">";
        option.resize(option.size() < 20 ? 20 : option.size() + 1, ' ');
        usage += option + row.help + "\n";
    }
    usage += "\nExit codes: 0 nothing to update, 1 at least one drive would be updated,\n"
             "2 bad command line, 3 scan incomplete, 4 a firmware request was attempted (a bug).\n";
    return usage;
}

} // namespace qir::scan
