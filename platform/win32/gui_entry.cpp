// Entry of qir.exe: the runtime's wide GUI entry. The parameters Windows passes here are
// not used; the arguments come from the runtime's own parsed wide vector, as typed.
#include <windows.h>

#include <stdlib.h>
#include <string>
#include <vector>

#include "app/main_routine.h"
#include "platform/entry.h"
#include "platform/win32/win32_platform.h"
#include "platform/win32/win32_wide.h"

int qir::programMain(int argc, const char16_t* const* argv) {
    static qir::win32::Win32Platform platform;
    qir::platform::setPlatform(&platform);
    return qir::mainRoutine(argc, argv);
}

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    int argc = __argc;
    std::vector<std::u16string> args;
    for (int i = 0; i < argc; ++i)
        args.push_back(qir::win32::fromWide(__wargv ? __wargv[i] : nullptr));
    std::vector<const char16_t*> pointers;
    for (const auto& a : args)
        pointers.push_back(a.c_str());
    pointers.push_back(nullptr);
    return qir::programMain(argc, pointers.data());
}
