// qir-sim as a process: its options, its exit codes and what it writes where.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct SimRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string scratch(const std::string& name) {
    return ::testing::TempDir() + "qir_sim_runner_" + std::to_string(getpid()) + "_" + name;
}

SimRun runSim(const std::string& args) {
    std::string outFile = scratch("stdout"), errFile = scratch("stderr");
    std::string command = std::string(QIR_SIM_EXE) + " " + args + " >" + outFile + " 2>" + errFile;
    int status = std::system(command.c_str());
    SimRun r;
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = slurp(outFile);
    r.err = slurp(errFile);
    std::remove(outFile.c_str());
    std::remove(errFile.c_str());
    return r;
}

std::string writeMachine(const std::string& name, const std::string& json) {
    std::string path = scratch(name);
    std::ofstream(path) << json;
    return path;
}

TEST(SimRunner, RefusedDescriptionsExitWithTwoBeforeTheToolRuns) {
    struct Case {
        const char* name;
        std::string args;
        const char* mentions;
    };
    std::string badJson = writeMachine("bad.json", "{\"devices\": [");
    std::string unknownKey = writeMachine("unknown.json", "{\"drivez\": []}");
    const Case cases[] = {
        {"unreadable", "--machine /nonexistent/m.json", "cannot read"},
        {"bad json", "--machine " + badJson, "not valid JSON"},
        {"unknown key", "--machine " + unknownKey, "unknown key"},
        {"missing file name", "--machine", "needs a file name"},
    };
    for (const Case& c : cases) {
        SimRun r = runSim(c.args);
        EXPECT_EQ(r.exitCode, 2) << c.name;
        EXPECT_EQ(r.out, "") << c.name << ": the tool must not have run";
        EXPECT_NE(r.err.find(c.mentions), std::string::npos) << c.name << ": " << r.err;
    }
    std::remove(badJson.c_str());
    std::remove(unknownKey.c_str());
}

TEST(SimRunner, ExitCodeIsTheToolsAndTheStateRecordsIt) {
    std::string state = scratch("state.json"), trace = scratch("trace.txt");
    SimRun r = runSim("--state " + state + " --trace " + trace + " -- /s");
    std::string dump = slurp(state);
    ASSERT_FALSE(dump.empty());
    EXPECT_NE(dump.find("\"result_code\": " + std::to_string(r.exitCode)), std::string::npos)
        << dump;
    EXPECT_NE(dump.find("\"open_handles\": 0"), std::string::npos);
    EXPECT_NE(dump.find("\"open_device_info_sets\": 0"), std::string::npos);
    EXPECT_NE(dump.find("\"message_box\": null"), std::string::npos) << "/s shows no box";
    EXPECT_EQ(r.out.find("qir-sim"), std::string::npos) << "runner text on standard output";
    std::remove(state.c_str());
    std::remove(trace.c_str());
}

TEST(SimRunner, ArgumentsAfterTheOptionsGoToTheTool) {
    // An option the tool does not know ends in its usage text and exit code 1, whether
    // it follows "--" or simply the runner's own options.
    SimRun separated = runSim("-- /nonsense");
    SimRun direct = runSim("/nonsense");
    EXPECT_EQ(separated.exitCode, 1);
    EXPECT_EQ(direct.exitCode, 1);
    EXPECT_EQ(separated.out, direct.out);
    // "--state" after the first tool argument is the tool's, not the runner's.
    std::string state = scratch("not_written.json");
    SimRun passed = runSim("/nonsense --state " + state);
    EXPECT_EQ(passed.exitCode, 1);
    EXPECT_EQ(slurp(state), "");
}

TEST(SimRunner, RunsAreRepeatable) {
    std::string s1 = scratch("s1.json"), s2 = scratch("s2.json");
    SimRun a = runSim("--state " + s1 + " /s");
    SimRun b = runSim("--state " + s2 + " /s");
    EXPECT_EQ(a.exitCode, b.exitCode);
    EXPECT_EQ(a.out, b.out);
    EXPECT_EQ(slurp(s1), slurp(s2));
    std::remove(s1.c_str());
    std::remove(s2.c_str());
}

} // namespace
