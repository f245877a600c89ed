// Odd log paths and odd arguments, through the whole main routine on the simulated
// machine: what the file system makes of them, and that the run always ends with a
// result code and the right console text.
#include "tests/support/app_test_support.h"

#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <vector>

#include "app/command_line.h"
#include "app/main_routine.h"
#include "app/process_state.h"
#include "app/run_options.h"

namespace qir {
namespace {

namespace fs = std::filesystem;
using qir::testing::kUsage;
using qir::testing::oneInboxDisk;
using qir::testing::readFileBytes;
using qir::testing::wide;

mode_t modeOf(const fs::path& p) {
    struct stat st {};
    EXPECT_EQ(::stat(p.c_str(), &st), 0) << p;
    return st.st_mode & 07777;
}

class HostLogPathTest : public qir::testing::ShellTest {
  protected:
    int32_t run(std::vector<std::u16string> args, const DiskUpdaterOps* ops = nullptr) {
        console.text.clear();
        return runMain(std::move(args), ops);
    }
    // What follows the four banner lines.
    std::string afterBanner() const {
        size_t at = 0;
        for (int i = 0; i < 4 && at != std::string::npos; ++i)
            at = console.text.find('\n', at) + 1;
        return console.text.substr(at);
    }
    std::string errorLine(const std::string& path) const {
        return "[ERROR] " + path + " is invalid file path.\n";
    }
};

TEST_F(HostLogPathTest, NonAsciiNameIsCreatedAsUtf8AndLoggedAsLowBytes) {
    const std::u16string name = u"Pr\u00fcfbericht-\u65e5\u672c.txt";
    fs::path log = dir / fs::u8path(text::toUtf8(name));
    EXPECT_EQ(run({u"/s", u"/log=" + wide(dir) + u"/" + name}), 1);
    ASSERT_TRUE(fs::is_regular_file(log));
    std::string report = readFileBytes(log);
    // The report keeps the low 8 bits of every character of the input command:
    // u+00FC is one byte 0xFC, U+65E5 and U+672C become 0xE5 and 0x2C.
    std::string narrowName = "Pr\xfc"
                             "fbericht-\xe5\x2c.txt";
    EXPECT_NE(
        report.find("Input Command : qir.exe /s /log=" + dir.string() + "/" + narrowName + " \r\n"),
        std::string::npos);
    EXPECT_NE(report.find("Result Details : Unable to update firmware.\r\n"), std::string::npos);
    // Nothing else was created beside it under a mangled name.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

TEST_F(HostLogPathTest, LongPathsAreCreatedOrRefusedButNeverCrash) {
    // A 300-character path made of components the file system takes is a file like any
    // other; a single 300-character name is longer than a Linux name may be, so it is
    // refused as an invalid path.
    fs::path deep = dir / std::string(200, 'd');
    fs::create_directories(deep);
    std::string tail(300 - deep.string().size() - 1, 'f');
    fs::path longFile = deep / tail;
    ASSERT_EQ(longFile.string().size(), 300u);
    EXPECT_EQ(run({u"/s", u"/log=" + wide(longFile)}), 1);
    EXPECT_NE(readFileBytes(longFile).find("[Final Result]\r\n"), std::string::npos);

    std::string longName = (dir / std::string(300, 'n')).string();
    EXPECT_EQ(run({u"/s", u"/log=" + text::fromUtf8(longName)}), 1);
    EXPECT_EQ(afterBanner(), errorLine(longName));

    // 32,000 characters of path: the same line, the whole path echoed.
    std::string hugeName = dir.string() + "/" + std::string(32000, 'h');
    EXPECT_EQ(run({u"/log=" + text::fromUtf8(hugeName)}), 1);
    EXPECT_EQ(afterBanner(), errorLine(hugeName));
    EXPECT_FALSE(machine.messageBoxShown.has_value());
}

TEST_F(HostLogPathTest, PathsThatCannotBeWrittenAreRefusedAndLeftAlone) {
    fs::path folder = dir / "a_folder";
    fs::create_directories(folder);
    fs::path readOnly = dir / "read_only.txt";
    { std::ofstream(readOnly, std::ios::binary) << "keep\r\nthis"; }
    fs::permissions(readOnly, fs::perms::owner_read | fs::perms::group_read);
    fs::path fifo = dir / "a_fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);

    struct Case {
        const char* why;
        fs::path path;
    };
    for (const Case& c : std::vector<Case>{
             {"a folder", folder},
             {"a folder, with a trailing slash", fs::path(folder.string() + "/")},
             {"a read-only file", readOnly},
             {"a missing folder", dir / "no_such_folder" / "x.txt"},
             // Nobody reads the pipe: waiting for a reader would hang the run for good.
             {"a pipe without a reader", fifo},
         }) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(run({u"/s", u"/log=" + wide(c.path)}), 1);
        EXPECT_EQ(afterBanner(), errorLine(c.path.string()));
    }
    EXPECT_EQ(readFileBytes(readOnly), "keep\r\nthis");
    EXPECT_EQ(modeOf(readOnly), 0440u);
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_TRUE(fs::is_empty(folder));
}

TEST_F(HostLogPathTest, LogFileChangedDuringTheRunKeepsTheResultCode) {
    fs::path log = dir / "sub" / "fw.txt";
    struct Case {
        const char* why;
        std::function<void()> during;
        uint32_t code;
        int32_t exit;
        // What the log path holds after the run.
        enum { Report, Empty, Nothing, Folder } after;
    };
    const fs::path folderOfLog = log.parent_path();
    for (const Case& c : std::vector<Case>{
             // The final write creates the file anew in the folder that is still there.
             {"removed", [&] { fs::remove(log); }, 1602, 1602, Case::Report},
             {"made read-only", [&] { fs::permissions(log, fs::perms::owner_read); }, 0, 0,
              Case::Empty},
             {"removed with its folder", [&] { fs::remove_all(folderOfLog); }, 0, 0, Case::Nothing},
             {"replaced by a folder",
              [&] {
                  fs::remove(log);
                  fs::create_directory(log);
              },
              5, 1, Case::Folder},
             {"replaced by a pipe without a reader",
              [&] {
                  fs::remove(log);
                  ASSERT_EQ(::mkfifo(log.c_str(), 0644), 0);
              },
              1602, 1602, Case::Nothing},
         }) {
        SCOPED_TRACE(c.why);
        fs::remove_all(folderOfLog);
        fs::create_directories(folderOfLog);
        DiskUpdaterOps ops = oneInboxDisk(c.code, c.during);
        EXPECT_EQ(run({u"/s", u"/log=" + wide(log)}, &ops), c.exit);
        EXPECT_NE(
            console.text.find(" >> QIR Ended (Return Code : " + std::to_string(c.exit) + ")\n\n"),
            std::string::npos);
        switch (c.after) {
        case Case::Report:
            EXPECT_NE(readFileBytes(log).find(
                          "[Final Result]\r\nReturn Code : " + std::to_string(c.exit) + "\r\n"),
                      std::string::npos);
            break;
        case Case::Empty:
            EXPECT_TRUE(fs::is_regular_file(log));
            EXPECT_EQ(readFileBytes(log), "");
            EXPECT_EQ(modeOf(log), 0400u);
            break;
        case Case::Nothing:
            EXPECT_FALSE(fs::is_regular_file(log));
            break;
        case Case::Folder:
            EXPECT_TRUE(fs::is_directory(log));
            EXPECT_TRUE(fs::is_empty(log));
            break;
        }
    }
}

TEST_F(HostLogPathTest, ArgumentOf32000CharactersIsUsageAndRecordedWhole) {
    const std::u16string huge(32000, u'x');
    fs::path log = dir / "x.txt";

    // Through the main routine: the earlier log path is created empty, then the usage
    // text, and the report never reaches the file.
    EXPECT_EQ(run({u"/log=" + wide(log), huge}), 1);
    EXPECT_EQ(afterBanner(), kUsage);
    ASSERT_TRUE(fs::is_regular_file(log));
    EXPECT_EQ(readFileBytes(log), "");

    // The recorded command line holds every character of it.
    RunOptions options;
    std::u16string logArg = u"/log=" + wide(log);
    std::vector<const char16_t*> argv = {u"qir.exe", logArg.c_str(), huge.c_str()};
    EXPECT_EQ(parseCommandLine(options, 3, argv.data()), 0);
    EXPECT_EQ(options.inputCommand, u"qir.exe " + logArg + u" " + huge + u" ");
}

} // namespace
} // namespace qir
