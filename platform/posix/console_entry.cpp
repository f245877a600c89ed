// Entry of the Linux executables: arguments arrive as UTF-8 bytes and are handed on as
// 16-bit strings.
#include <csignal>
#include <string>
#include <vector>

#include "platform/entry.h"
#include "platform/text_encoding.h"

int main(int argc, char** argv) {
    // A reader that goes away (`| head`) must cost the run its console output only, as a
    // broken pipe does on Windows, not end it halfway through an update and its report.
    std::signal(SIGPIPE, SIG_IGN);
    std::vector<std::u16string> args;
    for (int i = 0; i < argc; ++i)
        args.push_back(qir::text::fromUtf8(argv[i]));
    std::vector<const char16_t*> pointers;
    for (const auto& a : args)
        pointers.push_back(a.c_str());
    pointers.push_back(nullptr);
    return qir::programMain(argc, pointers.data());
}
