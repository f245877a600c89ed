#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "app/main_routine.h"
#include "firmware/firmware_image.h"
#include "fuzz/fuzz_platform.h"
#include "fuzz/fuzz_targets.h"
#include "platform/platform.h"
#include "sim/sim_machine.h"

namespace qir::fuzz {

namespace {

std::string privateFolder;

void removeFolderContents() {
    DIR* dir = opendir(privateFolder.c_str());
    if (!dir)
        return;
    while (dirent* entry = readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
            continue;
        std::string path = privateFolder + "/" + entry->d_name;
        std::remove(path.c_str());
    }
    closedir(dir);
}

void leavePrivateFolder() {
    removeFolderContents();
    if (chdir("/") == 0)
        rmdir(privateFolder.c_str());
}

// Every log file the runs create lands in a folder of this process's own, which is the
// current folder from the first run on and is removed at exit. It lies under $TMPDIR
// when set: a campaign puts it in memory, where creating and removing a file per run
// costs far less than on disk.
void enterPrivateFolder() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/qir-fuzz-cmdline-XXXXXX";
    if (!mkdtemp(pattern.data()) || chdir(pattern.c_str()) != 0) {
        std::perror("fuzz_command_line: private folder");
        std::abort();
    }
    privateFolder = pattern;
    std::atexit(leavePrivateFolder);
}

} // namespace

std::vector<std::u16string> splitArguments(const uint8_t* data, size_t size) {
    std::vector<std::u16string> args(1);
    for (size_t i = 0; i < size; ++i) {
        uint8_t b = data[i];
        if (b == '\n') {
            args.emplace_back();
        } else if (b == 0xFE && i + 2 < size) {
            args.back() += static_cast<char16_t>(data[i + 1] | (data[i + 2] << 8));
            i += 2;
        } else {
            args.back() += static_cast<char16_t>(b);
        }
    }
    if (size == 0)
        args.clear();
    return args;
}

std::u16string confineLogPath(const std::u16string& argument) {
    size_t eq = argument.find(u'=');
    if (eq == std::u16string::npos)
        return argument;
    std::u16string path = argument.substr(eq + 1);
    // The core reads an argument only up to its first NUL; so does this check.
    size_t nul = path.find(u'\0');
    if (nul != std::u16string::npos)
        path.resize(nul);
    for (char16_t& c : path)
        if (c == u'/' || c == u'\\' || c == u':')
            c = u'_';
    if (path == u"." || path == u"..")
        path.insert(path.begin(), u'_');
    return argument.substr(0, eq + 1) + path;
}

int runCommandLineInput(const uint8_t* data, size_t size) {
    prepareOnce(enterPrivateFolder);
    std::vector<std::u16string> args = splitArguments(data, size);
    if (args.size() > 64)
        args.resize(64);
    std::vector<std::u16string> owned;
    owned.push_back(u"qir.exe");
    for (const std::u16string& a : args)
        owned.push_back(confineLogPath(a));
    std::vector<const char16_t*> argv;
    for (const std::u16string& a : owned)
        argv.push_back(a.c_str());
    argv.push_back(nullptr);

    sim::SimMachine machine;
    platform::setPlatform(&machine);
    int32_t code = mainRoutine(static_cast<int>(owned.size()), argv.data());
    platform::setPlatform(nullptr);
    if (code != 0 && code != 1 && code != 1602) {
        std::fprintf(stderr, "fuzz_command_line: exit code %d\n", code);
        std::abort();
    }
    if (machine.openHandles != 0 || machine.openDeviceInfoSets != 0) {
        std::fprintf(stderr, "fuzz_command_line: %d handles and %d sets left open\n",
                     machine.openHandles, machine.openDeviceInfoSets);
        std::abort();
    }
    removeFolderContents();
    return 0;
}

} // namespace qir::fuzz
