#include "app/command_line.h"

#include "app/console.h"
#include "app/log_file.h"
#include "app/process_state.h"

namespace qir {

namespace {

// A missing vector entry reads as an empty argument rather than a null dereference.
std::u16string argumentText(const char16_t* const* argv, int index) {
    const char16_t* arg = argv ? argv[index] : nullptr;
    return arg ? std::u16string(arg) : std::u16string();
}

bool isSilentOption(const RunOptions& options, const std::u16string& arg) {
    // Any leading part of the option counts, the empty one and "/" included.
    return arg.size() <= options.silentOption.size() &&
           options.silentOption.compare(0, arg.size(), arg) == 0;
}

bool isLogOption(const RunOptions& options, const std::u16string& arg) {
    size_t n = options.logOption.size();
    return arg.size() > n && arg.compare(0, n, options.logOption) == 0 && arg[n] == u'=';
}

std::string padded(const char* option, size_t width) {
    std::string text(option);
    if (text.size() < width)
        text.append(width - text.size(), ' ');
    return text;
}

} // namespace

void printUsage() {
    narrowOut() << endl;
    narrowOut() << "Allowed Behaviors:" << endl;
    narrowOut() << padded("/s", 20)
                << "Execute update package in silently without user intervention." << endl;
    narrowOut() << padded("/log=<FILEPATH>", 20) << "Write installation log to a specified file."
                << endl;
}

int parseCommandLine(RunOptions& options, int argc, const char16_t* const* argv) {
    for (int i = 0; i < argc; ++i)
        options.inputCommand += argumentText(argv, i) + u" ";

    for (int i = 1; i < argc; ++i) {
        std::u16string arg = argumentText(argv, i);
        if (isSilentOption(options, arg)) {
            silentMode = true;
            continue;
        }
        if (isLogOption(options, arg)) {
            options.logPath = arg.substr(options.logOption.size() + 1);
            if (options.logPath.empty()) {
                printUsage();
                return 0;
            }
            if (!testLogPath(options.logPath)) {
                wideOut() << u"[ERROR] " << options.logPath << u" is invalid file path." << endl;
                return 0;
            }
            continue;
        }
        printUsage();
        return 0;
    }
    return 1;
}

} // namespace qir
