// Checks of the real Win32 platform, run under Wine by win32_platform_test.sh. It
// prints one line per failed check and a closing count; its exit code is the number of
// failures. With "--echo" it serves the Wine runner's own test instead. (windows.h stays out: its
// macros would clash with our own constant names.)
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <cwchar>
#include <direct.h>
#include <io.h>
#include <string>
#include <sys/stat.h>
#include <thread>

#include "app/log_file.h"
#include "platform/host_file.h"
#include "platform/text_encoding.h"
#include "platform/win32/win32_platform.h"
#include "platform/win32/win32_wide.h"
#include "platform/win_constants.h"

namespace {

int passed = 0;
int failed = 0;

void check(bool ok, const char* what) {
    if (ok) {
        ++passed;
    } else {
        ++failed;
        std::printf("FAIL: %s\n", what);
    }
}

using qir::platform::kInvalidDevInfoSet;
using qir::platform::kInvalidHandle;
namespace win = qir::win;

void checkWideConversion() {
    // A pair, a lone high and a lone low surrogate, and a unit above 0xFF80.
    const std::u16string units = {u'a', 0xD83D, 0xDE00, 0xD800, u'b', 0xDC00, 0xFF80};
    std::wstring wide = qir::win32::toWide(units);
    check(wide.size() == units.size(), "toWide keeps the number of units");
    check(qir::win32::fromWide(wide.c_str()) == units, "fromWide(toWide(x)) == x");
    check(qir::win32::fromWide(nullptr).empty(), "fromWide(nullptr) is empty");
}

void checkDeviceSets(qir::win32::Win32Platform& os) {
    qir::platform::DevInfoSet set = os.getClassDevs(
        &win::GUID_DEVINTERFACE_DISK, win::DIGCF_PRESENT | win::DIGCF_DEVICEINTERFACE);
    check(set != kInvalidDevInfoSet, "getClassDevs gives a set for the disk interface class");
    if (set == kInvalidDevInfoSet)
        return;
    // Walk to the end: the walk must stop with ERROR_NO_MORE_ITEMS, read back through
    // getLastError, and never run away.
    qir::platform::DeviceInterfaceData iface{};
    uint32_t index = 0;
    for (;; ++index) {
        iface.cbSize = win::kDeviceInterfaceDataSize;
        if (!os.enumDeviceInterfaces(set, nullptr, win::GUID_DEVINTERFACE_DISK, index, &iface))
            break;
        if (index > 4096)
            break;
        uint32_t required = 0;
        bool sized = os.getDeviceInterfaceDetail(set, &iface, nullptr, 0, &required, nullptr);
        check(!sized && os.getLastError() == win::ERROR_INSUFFICIENT_BUFFER &&
                  required > win::kInterfaceDetailFixedSize,
              "an interface detail without a buffer asks for a larger one");
    }
    check(index <= 4096 && os.getLastError() == win::ERROR_NO_MORE_ITEMS,
          "the interface walk ends with ERROR_NO_MORE_ITEMS");
    qir::platform::DeviceInfoData info{};
    info.cbSize = win::kDeviceInfoDataSize;
    check(!os.enumDeviceInfo(set, 100000, &info) && os.getLastError() == win::ERROR_NO_MORE_ITEMS,
          "enumDeviceInfo past the end gives ERROR_NO_MORE_ITEMS");
    check(os.destroyDeviceInfoList(set), "destroyDeviceInfoList releases the set");
}

void checkFiles(qir::win32::Win32Platform& os) {
    qir::platform::Handle missing =
        os.createFile(u"C:\\NoSuchFolder\\NoSuchFile.bin", win::GENERIC_READ, win::FILE_SHARE_READ,
                      win::OPEN_EXISTING, 0);
    uint32_t error = os.getLastError();
    check(missing == kInvalidHandle, "createFile of a missing path fails");
    check(error == win::ERROR_PATH_NOT_FOUND || error == win::ERROR_FILE_NOT_FOUND,
          "createFile's error survives the call");

    std::FILE* f = qir::host::openForWriting(u"device.bin");
    check(f != nullptr, "openForWriting creates a file in the current folder");
    if (f)
        std::fclose(f);
    qir::platform::Handle h =
        os.createFile(u"device.bin", win::GENERIC_READ | win::GENERIC_WRITE,
                      win::FILE_SHARE_READ | win::FILE_SHARE_WRITE, win::OPEN_EXISTING, 0);
    check(h != kInvalidHandle, "createFile opens an existing file");
    if (h != kInvalidHandle) {
        uint8_t out[16] = {};
        uint32_t returned = 0xDEADBEEF;
        bool ok = os.deviceIoControl(h, 0x00220000u | (0x7FF << 2), nullptr, 0, out, sizeof out,
                                     &returned);
        check(!ok && os.getLastError() != win::ERROR_SUCCESS,
              "an unknown control code on a file fails with an error");
        check(returned == 0, "bytesReturned is written also on failure");
        check(os.closeHandle(h), "closeHandle closes an open handle");
    }
    // -1 is the process's own pseudo handle to CloseHandle, so a never-opened value it is.
    check(!os.closeHandle(0x7FFF0000) && os.getLastError() == win::ERROR_INVALID_HANDLE,
          "closeHandle of a handle never opened fails with ERROR_INVALID_HANDLE");
}

void checkHostFile() {
    // The log path is a 16-bit path: a name outside ASCII and outside the BMP must reach
    // the file system unchanged.
    std::FILE* f = qir::host::openForWriting(u"l\u00F6g_\U0001F600.txt");
    check(f != nullptr, "openForWriting takes a name outside ASCII");
    if (f) {
        std::fputs("a\r\nb\n", f);
        std::fclose(f);
    }
    check(qir::host::openForWriting(u"") == nullptr, "openForWriting refuses an empty path");
    check(qir::host::openForWriting(std::u16string(u"ab\0cd", 5)) == nullptr,
          "openForWriting refuses a path holding a NUL");
    check(qir::host::openForWriting(u".") == nullptr, "openForWriting refuses a folder");
}

std::string fileBytes(const wchar_t* path) {
    std::string bytes;
    if (std::FILE* f = _wfopen(path, L"rb")) {
        char buffer[256];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
            bytes.append(buffer, n);
        std::fclose(f);
    }
    return bytes;
}

// -1 when the path does not exist.
int modeOf(const wchar_t* path) {
    struct _stat st;
    return _wstat(path, &st) == 0 ? static_cast<int>(st.st_mode) : -1;
}

// Between the test of the log path and the final write, the run goes on for minutes, and
// someone may remove the file, make it read-only or take its folder away. The final write
// then writes what it can and never fails the run.
void checkLogFileChangedMeanwhile() {
    const std::string report = "Return Code : 0\n";

    check(qir::testLogPath(u"made_read_only.txt"), "testLogPath creates a log file");
    _wchmod(L"made_read_only.txt", _S_IREAD);
    qir::writeLogFile(u"made_read_only.txt", report);
    check(fileBytes(L"made_read_only.txt").empty(), "a log made read-only meanwhile stays empty");
    check((modeOf(L"made_read_only.txt") & _S_IWRITE) == 0,
          "a log made read-only meanwhile stays read-only");
    _wchmod(L"made_read_only.txt", _S_IREAD | _S_IWRITE);

    check(qir::testLogPath(u"removed.txt"), "testLogPath creates removed.txt");
    _wunlink(L"removed.txt");
    qir::writeLogFile(u"removed.txt", report);
    check(fileBytes(L"removed.txt") == "Return Code : 0\r\n",
          "a log removed meanwhile is created again with the report");

    _wmkdir(L"gone");
    check(qir::testLogPath(u"gone\\x.txt"), "testLogPath creates gone\\x.txt");
    _wunlink(L"gone\\x.txt");
    _wrmdir(L"gone");
    qir::writeLogFile(u"gone\\x.txt", report);
    check(modeOf(L"gone") == -1, "a log whose folder went away meanwhile is not written");

    check(qir::testLogPath(u"turned.txt"), "testLogPath creates turned.txt");
    _wunlink(L"turned.txt");
    _wmkdir(L"turned.txt");
    qir::writeLogFile(u"turned.txt", report);
    check((modeOf(L"turned.txt") & _S_IFDIR) != 0,
          "a log replaced by a folder meanwhile is left a folder");
}

void checkProcess(qir::win32::Win32Platform& os) {
    check(os.getModuleHandle() != 0, "getModuleHandle gives the executable's handle");
    check(os.frameworkStartup(os.getModuleHandle(), os.getCommandLine(), 0),
          "frameworkStartup succeeds");
    std::u16string line = os.getCommandLine();
    check(line.find(u"win32_platform_check") != std::u16string::npos ||
              line.find(u"qir-platform-check") != std::u16string::npos,
          "getCommandLine names the program");
    qir::platform::LocalTime t = os.localTime();
    std::time_t seconds = std::time(nullptr);
    const std::tm* now = std::localtime(&seconds);
    check(now && t.year == now->tm_year + 1900 && t.month >= 1 && t.month <= 12 && t.day >= 1 &&
              t.day <= 31 && t.hour >= 0 && t.hour <= 23 && t.minute >= 0 && t.minute <= 59 &&
              t.second >= 0 && t.second <= 60,
          "localTime gives a calendar date and clock time");
}

// The update lock's four answers, with threads standing for the other holders: a mutex
// is held by a thread, and one whose thread ended without letting go is abandoned.
void checkLock(qir::win32::Win32Platform& os) {
    using qir::platform::LockResult;
    const std::u16string name = u"Global\\QIR-platform-check-lock";
    qir::platform::Handle mine = kInvalidHandle;
    check(os.takeLock(name, &mine) == LockResult::Taken && mine != kInvalidHandle,
          "takeLock takes a free mutex");
    LockResult other = LockResult::Taken;
    qir::platform::Handle theirs = 0;
    std::thread([&] { other = os.takeLock(name, &theirs); }).join();
    check(other == LockResult::HeldElsewhere && theirs == kInvalidHandle,
          "takeLock from another thread finds it held, with no handle");
    check(os.releaseLock(mine), "releaseLock lets go of a taken mutex");

    std::thread([&] { other = os.takeLock(name, &theirs); }).join();
    check(other == LockResult::Taken, "another thread takes it and ends without letting go");
    check(os.takeLock(name, &mine) == LockResult::TakenOverAbandoned,
          "takeLock takes over a mutex whose holder ended");
    check(os.releaseLock(mine), "releaseLock lets go of a mutex taken over");
    check(os.closeHandle(theirs), "the ended thread's handle closes");
    check(os.takeLock(name, &mine) == LockResult::Taken && os.releaseLock(mine),
          "let go properly, the mutex is an ordinary one again");

    qir::platform::PowerStatus power;
    power.acLineStatus = 77;
    check(os.getSystemPowerStatus(&power) &&
              (power.acLineStatus == 0 || power.acLineStatus == 1 || power.acLineStatus == 255),
          "getSystemPowerStatus tells the AC line as online, offline or unknown");
}

} // namespace

// "--echo CODE ARGS...": prints each argument as "[text]" on a line of its own and
// exits with CODE, so the Wine runner's argument passing and exit codes can be checked.
int echoArguments(int argc, wchar_t** argv) {
    for (int i = 3; i < argc; ++i)
        std::printf("[%s]\n", qir::text::toUtf8(qir::win32::fromWide(argv[i])).c_str());
    return static_cast<int>(std::wcstol(argv[2], nullptr, 10));
}

int wmain(int argc, wchar_t** argv) {
    if (argc >= 3 && std::wstring(argv[1]) == L"--echo")
        return echoArguments(argc, argv);
    qir::win32::Win32Platform os;
    checkWideConversion();
    checkDeviceSets(os);
    checkFiles(os);
    checkHostFile();
    checkLogFileChangedMeanwhile();
    checkProcess(os);
    checkLock(os);
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed;
}
