// Entry of the Windows console executables (qir-sim.exe): the wide arguments are handed
// on as 16-bit strings, unit for unit.
#include <string>
#include <vector>

#include "platform/entry.h"
#include "platform/win32/win32_wide.h"

int wmain(int argc, wchar_t** argv) {
    std::vector<std::u16string> args;
    for (int i = 0; i < argc; ++i)
        args.push_back(qir::win32::fromWide(argv[i]));
    std::vector<const char16_t*> pointers;
    for (const auto& a : args)
        pointers.push_back(a.c_str());
    pointers.push_back(nullptr);
    return qir::programMain(argc, pointers.data());
}
