// A second instance for the tests under Wine: holds the real update mutex, as another
// qir.exe would, until its standard input ends. Written against Windows itself rather
// than the tool's platform, so that it stands for any other program that takes the mutex.
//
//   qir-lock-holder.exe hold   take the mutex (without waiting); "held" once it is ours
//   qir-lock-holder.exe keep   open it without taking it, so that it outlives a holder
//                              that is killed (Windows then reports it abandoned); "kept"
//
// Either prints its word on a line of its own, then waits for the end of its standard
// input, lets go and ends with 0; 2 when the mutex could not be had.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdio>
#include <string>

#include "app/update_lock.h"

int wmain(int argc, wchar_t** argv) {
    const std::wstring mode = argc == 2 ? argv[1] : L"";
    if (mode != L"hold" && mode != L"keep") {
        std::fprintf(stderr, "usage: qir-lock-holder.exe hold|keep\n");
        return 2;
    }
    const std::u16string name16 = qir::kUpdateLockName;
    const std::wstring name(name16.begin(), name16.end());
    HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
    if (!mutex) {
        std::fprintf(stderr, "CreateMutexW failed with %lu\n", GetLastError());
        return 2;
    }
    if (mode == L"hold") {
        const DWORD wait = WaitForSingleObject(mutex, 0);
        if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) {
            std::fprintf(stderr, "the mutex is held elsewhere (wait %lu)\n", wait);
            CloseHandle(mutex);
            return 2;
        }
    }
    std::printf("%s\n", mode == L"hold" ? "held" : "kept");
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    if (mode == L"hold")
        ReleaseMutex(mutex);
    CloseHandle(mutex);
    return 0;
}
