// Every checked-in seed and every input that once found a fault runs through its fuzzer
// body here, so the normal and the sanitized test builds keep them fixed.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/fuzz_targets.h"

namespace qir::fuzz {
namespace {

std::vector<std::string> filesIn(const std::string& dir) {
    std::vector<std::string> files;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.')
                files.push_back(dir + "/" + e->d_name);
        closedir(d);
    }
    return files;
}

std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f),
                                std::istreambuf_iterator<char>());
}

struct Target {
    const char* name;
    int (*run)(const uint8_t*, size_t);
};

class Replay : public ::testing::TestWithParam<Target> {};

TEST_P(Replay, SeedsAndRegressionsRunClean) {
    if (std::string(GetParam().name) == "machine_loader" && !machineLoaderAvailable())
        GTEST_SKIP() << "no machine loader in this tree";
    size_t replayed = 0;
    for (const char* kind : {"corpus", "regressions"}) {
        for (const std::string& file :
             filesIn(std::string(QIR_FUZZ_DIR) + "/" + kind + "/" + GetParam().name)) {
            SCOPED_TRACE(file);
            std::vector<uint8_t> input = readFile(file);
            EXPECT_EQ(GetParam().run(input.data(), input.size()), 0);
            ++replayed;
        }
    }
    EXPECT_GT(replayed, 0u) << "no seed corpus for " << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(Fuzzers, Replay,
                         ::testing::Values(Target{"disk_updater", runDiskUpdaterInput},
                                           Target{"routes", runRoutesInput},
                                           Target{"command_line", runCommandLineInput},
                                           Target{"machine_loader", runMachineLoaderInput},
                                           Target{"capture_reader", runCaptureReaderInput}),
                         [](const auto& info) { return std::string(info.param.name); });

struct ConfineCase {
    std::u16string argument;
    std::u16string confined;
};

TEST(ConfineLogPath, NoPathLeavesTheCurrentFolder) {
    const ConfineCase cases[] = {
        {u"/s", u"/s"},
        {u"/log=report.txt", u"/log=report.txt"},
        {u"/log=../../etc/passwd", u"/log=.._.._etc_passwd"},
        {u"/log=/tmp/x", u"/log=_tmp_x"},
        {u"/log=C:\\Windows\\x.log", u"/log=C__Windows_x.log"},
        {u"/log=..", u"/log=_.."},
        {u"/log=.", u"/log=_."},
        {u"/log=a=b/c", u"/log=a=b_c"},
        {u"/LOG=/x", u"/LOG=_x"},
        {std::u16string(u"/log=ok\0/../x", 13), u"/log=ok"},
    };
    for (const ConfineCase& c : cases)
        EXPECT_EQ(confineLogPath(c.argument), c.confined)
            << std::string(c.argument.begin(), c.argument.end());
}

TEST(SplitArguments, LinesAndRawUnits) {
    const uint8_t input[] = {'/', 's', '\n', '/', 'l', 0xFE, 0x3D, 0xD8, 0xE9, '\n'};
    std::vector<std::u16string> args = splitArguments(input, sizeof input);
    ASSERT_EQ(args.size(), 3u);
    EXPECT_EQ(args[0], u"/s");
    EXPECT_EQ(args[1], std::u16string(u"/l\xD83D\x00E9"));
    EXPECT_EQ(args[2], u"");
    EXPECT_TRUE(splitArguments(input, 0).empty());
}

} // namespace
} // namespace qir::fuzz
