// The Linux executable with its standard output on a pipe whose reader is gone.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/support/scratch_folder.h"

namespace {

namespace fs = std::filesystem;

TEST(HostConsolePipeTest, RunEndsWithItsReportWhenNobodyReadsTheOutput) {
    qir::testing::ScratchFolder scratch("qir_hostio_closed_pipe");
    fs::path log = scratch.path() / "report.txt";
    std::string logArg = "/log=" + log.string();

    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ::close(fds[0]);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[1]);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    // The child starts with the default action for a broken pipe, whatever this process has.
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF);

    std::string exe = QIR_SIM_EXE;
    std::string machineOption = "--machine";
    std::string machine = std::string(QIR_SOURCE_DIR) + "/sim/machines/default.json";
    std::string separator = "--";
    std::string silent = "/s";
    char* argv[] = {exe.data(),    machineOption.data(), machine.data(), separator.data(),
                    silent.data(), logArg.data(),        nullptr};
    pid_t pid = 0;
    int spawned = posix_spawn(&pid, exe.c_str(), &actions, &attr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    ::close(fds[1]);
    ASSERT_EQ(spawned, 0);

    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    // The default machine's run ends in 1602, of which a POSIX status keeps the low byte.
    EXPECT_EQ(WEXITSTATUS(status), 1602 & 0xFF);
    std::ifstream in(log, std::ios::binary);
    std::string report((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(report.find("[Final Result]\r\nReturn Code : 1602\r\n"), std::string::npos) << report;
}

} // namespace
