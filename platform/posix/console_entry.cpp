// Entry of the Linux executables: arguments arrive as UTF-8 bytes and are handed on as
// 16-bit strings.
#include <string>
#include <vector>

#include "platform/entry.h"
#include "platform/text_encoding.h"

int main(int argc, char** argv) {
    std::vector<std::u16string> args;
    for (int i = 0; i < argc; ++i)
        args.push_back(qir::text::fromUtf8(argv[i]));
    std::vector<const char16_t*> pointers;
    for (const auto& a : args)
        pointers.push_back(a.c_str());
    pointers.push_back(nullptr);
    return qir::programMain(argc, pointers.data());
}
