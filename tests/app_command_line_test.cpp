#include "tests/support/app_test_support.h"

#include <vector>

#include "app/command_line.h"
#include "app/process_state.h"
#include "app/run_options.h"

namespace qir {
namespace {

using qir::testing::kUsage;
using qir::testing::readFileBytes;
using qir::testing::wide;

class CommandLineTest : public qir::testing::ShellTest {
  protected:
    int parse(std::vector<std::u16string> args) {
        testing::ArgumentVector argv(u"C:\\tools\\qir.exe", std::move(args));
        silentMode = false;
        return parseCommandLine(options, argv.argc(), argv.argv());
    }
    RunOptions options;
};

TEST_F(CommandLineTest, UsageTextIsExact) {
    printUsage();
    EXPECT_EQ(console.text, kUsage);
}

TEST_F(CommandLineTest, ArgumentsDecideValiditySilenceAndUsage) {
    struct Case {
        std::vector<std::u16string> args;
        int valid;
        bool silent;
        bool usage;
    };
    std::vector<Case> cases = {
        {{}, 1, false, false},
        {{u"/s"}, 1, true, false},
        {{u"/s", u"/s"}, 1, true, false},
        {{u"/"}, 1, true, false},
        {{u""}, 1, true, false},
        {{u"/S"}, 0, false, true},
        {{u"/s1"}, 0, false, true},
        {{u"s"}, 0, false, true},
        {{u"/log"}, 0, false, true},
        {{u"/log:file"}, 0, false, true},
        {{u"/LOG=x"}, 0, false, true},
        {{u"/log="}, 0, false, true},
        {{u"/s", u"/x", u"/y"}, 0, true, true},
        {{u"report.txt"}, 0, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args.size()) + " args, first " +
                     (c.args.empty() ? "-" : text::toUtf8(c.args[0])));
        console.text.clear();
        options = RunOptions();
        EXPECT_EQ(parse(c.args), c.valid);
        EXPECT_EQ(silentMode, c.silent);
        EXPECT_EQ(console.text, c.usage ? kUsage : "");
        EXPECT_TRUE(options.logPath.empty());
    }
}

TEST_F(CommandLineTest, InputCommandRepeatsEveryArgumentWithTrailingBlanks) {
    EXPECT_EQ(parse({u"/s", u"/bad", u"/never-looked-at"}), 0);
    EXPECT_EQ(options.inputCommand, u"C:\\tools\\qir.exe /s /bad /never-looked-at ");
    options = RunOptions();
    EXPECT_EQ(parse({}), 1);
    EXPECT_EQ(options.inputCommand, u"C:\\tools\\qir.exe ");
}

TEST_F(CommandLineTest, EveryLogPathIsCreatedEmptyAndTheLastOneWins) {
    std::filesystem::path a = dir / "a.txt", b = dir / "b.txt";
    {
        std::ofstream old(a, std::ios::binary);
        old << "earlier run";
    }
    EXPECT_EQ(parse({u"/log=" + wide(a), u"/s", u"/log=" + wide(b)}), 1);
    EXPECT_TRUE(silentMode);
    EXPECT_EQ(options.logPath, wide(b));
    ASSERT_TRUE(std::filesystem::exists(a));
    ASSERT_TRUE(std::filesystem::exists(b));
    EXPECT_EQ(std::filesystem::file_size(a), 0u);
    EXPECT_EQ(std::filesystem::file_size(b), 0u);
    EXPECT_EQ(console.text, "");
}

TEST_F(CommandLineTest, LogFileCreatedBeforeALaterBadArgument) {
    std::filesystem::path out = dir / "out.txt";
    EXPECT_EQ(parse({u"/log=" + wide(out), u"/x"}), 0);
    ASSERT_TRUE(std::filesystem::exists(out));
    EXPECT_EQ(std::filesystem::file_size(out), 0u);
    EXPECT_EQ(console.text, kUsage);
}

TEST_F(CommandLineTest, UnwritablePathsGiveTheInvalidPathLine) {
    std::filesystem::path readOnly = dir / "locked.txt";
    {
        std::ofstream f(readOnly, std::ios::binary);
        f << "keep me";
    }
    std::filesystem::permissions(readOnly, std::filesystem::perms::owner_read |
                                               std::filesystem::perms::group_read |
                                               std::filesystem::perms::others_read);
    std::filesystem::path folder = dir / "folder";
    std::filesystem::create_directories(folder);
    std::vector<std::filesystem::path> paths = {dir / "missing" / "x.txt", folder, readOnly};
    for (const std::filesystem::path& path : paths) {
        SCOPED_TRACE(path.string());
        console.text.clear();
        options = RunOptions();
        EXPECT_EQ(parse({u"/log=" + wide(path), u"/s"}), 0);
        EXPECT_EQ(console.text, "[ERROR] " + path.string() + " is invalid file path.\n");
        // Validation stops at the bad path: the "/s" after it is not looked at.
        EXPECT_FALSE(silentMode);
    }
    EXPECT_EQ(readFileBytes(readOnly), "keep me");
    EXPECT_FALSE(std::filesystem::exists(dir / "missing"));
}

TEST_F(CommandLineTest, NullArgumentEntryReadsAsEmptySilentOption) {
    const char16_t* argv[] = {u"qir.exe", nullptr};
    EXPECT_EQ(parseCommandLine(options, 2, argv), 1);
    EXPECT_TRUE(silentMode);
    EXPECT_EQ(options.inputCommand, u"qir.exe  ");
}

} // namespace
} // namespace qir
