// qir-sim run as a process from a test: its exit code (or the signal that ended it), its
// standard output and error, and the files of the test's own scratch folder.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>

#include "tests/support/scratch_folder.h"

namespace qir::testing {

struct SimRun {
    int exitCode = -1; // -1 when a signal ended it
    int signal = 0;
    std::string out;
    std::string err;
};

inline std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// `args` as a shell would split them; the output goes through files of the folder.
inline SimRun runSimProcess(const ScratchFolder& folder, const std::string& args) {
    std::string outFile = folder.file("stdout"), errFile = folder.file("stderr");
    std::string command = std::string(QIR_SIM_EXE) + " " + args + " >" + outFile + " 2>" + errFile;
    int status = std::system(command.c_str());
    SimRun r;
    // The shell reports a child killed by signal n as its own exit code 128 + n.
    if (WIFEXITED(status) && WEXITSTATUS(status) > 128) {
        r.signal = WEXITSTATUS(status) - 128;
    } else if (WIFEXITED(status)) {
        r.exitCode = WEXITSTATUS(status);
    }
    r.out = slurp(outFile);
    r.err = slurp(errFile);
    std::remove(outFile.c_str());
    std::remove(errFile.c_str());
    return r;
}

} // namespace qir::testing
