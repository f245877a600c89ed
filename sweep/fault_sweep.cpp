// qir-fault-sweep: runs the tool on each example machine, then once more for every
// request of that run and every fault class, with that one fault injected, and judges
// every run. Exit code 0 when no run gave a finding, 1 otherwise, 2 on a usage error.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include <nlohmann/json.hpp>

#include "app/console.h"
#include "app/main_routine.h"
#include "firmware/firmware_image.h"
#include "platform/platform.h"
#include "platform/text_encoding.h"
#include "sim/machine_loader.h"
#include "sim/sim_machine.h"
#include "sweep/fault_plan.h"
#include "sweep/run_judge.h"

namespace {

using namespace qir;
using namespace qir::sweep;

// Keeps only the end of what the console receives: the closing line is all the judge
// reads, and a long download prints a line per piece.
class TailSink : public ByteSink {
  public:
    void write(const char* data, size_t size) override {
        text_.append(data, size);
        if (text_.size() > 8192)
            text_.erase(0, text_.size() - 4096);
    }
    void flush() override {}
    const std::string& text() const { return text_; }

  private:
    std::string text_;
};

// What the process was doing, for the message of a crash.
char gCurrentCase[512] = "start-up";

extern "C" void onCrash(int signal) {
    std::fputs("qir-fault-sweep: crashed (signal ", stderr);
    std::fputs(std::to_string(signal).c_str(), stderr);
    std::fputs(") in ", stderr);
    std::fputs(gCurrentCase, stderr);
    std::fputs("\n", stderr);
    std::_Exit(3);
}

void setCurrentCase(const std::string& text) {
    std::snprintf(gCurrentCase, sizeof gCurrentCase, "%s", text.c_str());
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct RunResult {
    bool loaded = false;
    std::string loadError;
    std::vector<std::string> trace;
    int getClassDevs = 0;
    bool faultTookEffect = false;
    std::vector<std::string> findings;
};

// One run of the tool on a fresh machine from `description`.
RunResult runOnce(const std::string& description, const std::string& logPath) {
    RunResult result;
    std::unique_ptr<sim::SimMachine> machine = sim::loadMachine(description, &result.loadError);
    if (!machine)
        return result;
    result.loaded = true;
    std::vector<DriveBefore> before = drivesBefore(*machine);

    std::remove(logPath.c_str());
    const std::u16string logArg = u"/log=" + text::fromUtf8(logPath);
    const char16_t* argv[] = {u"qir-fault-sweep", u"/s", logArg.c_str()};
    TailSink console;
    platform::setPlatform(machine.get());
    setConsoleSink(&console);
    RunOutcome outcome;
    outcome.exitCode = mainRoutine(3, argv);
    setConsoleSink(nullptr);
    platform::setPlatform(nullptr);
    outcome.logText = readFile(logPath);
    outcome.consoleTail = console.text();

    static const std::string image = sim::imageDigest(firmwareImage(), kFirmwareImageSize);
    result.findings = judgeRun(outcome, *machine, before, image);
    result.trace = machine->trace();
    result.getClassDevs = machine->requestCount("get_class_devs");
    for (const sim::SimFault& f : machine->faults)
        result.faultTookEffect = result.faultTookEffect || f.seen >= f.occurrence;
    return result;
}

struct Figures {
    size_t requests = 0;
    size_t swept = 0;
    size_t faults = 0;
    size_t notTaken = 0;
    size_t runs = 0;
    size_t findings = 0;
};

std::string baseName(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool sweepMachine(const std::string& path, uint32_t seed, const std::string& logPath,
                  Figures& total, size_t maxFindingsShown) {
    const std::string name = baseName(path);
    nlohmann::json base = nlohmann::json::parse(readFile(path), nullptr, false);
    if (base.is_discarded() || !base.is_object()) {
        std::fprintf(stderr, "qir-fault-sweep: %s is no machine description\n", path.c_str());
        return false;
    }
    Figures f;
    setCurrentCase(name + " undisturbed run");
    RunResult plain = runOnce(base.dump(), logPath);
    if (!plain.loaded) {
        std::fprintf(stderr, "qir-fault-sweep: %s: %s\n", path.c_str(), plain.loadError.c_str());
        return false;
    }
    ++f.runs;
    auto report = [&](const std::string& label, const std::vector<std::string>& findings) {
        for (const std::string& finding : findings) {
            if (f.findings < maxFindingsShown)
                std::printf("FINDING %s: %s: %s\n", name.c_str(), label.c_str(), finding.c_str());
            ++f.findings;
        }
    };
    report("no fault", plain.findings);

    std::vector<TracedRequest> requests = faultableRequests(plain.trace);
    for (int i = 1; i <= plain.getClassDevs; ++i)
        requests.insert(requests.begin() + (i - 1), TracedRequest{sim::RequestKind::GetClassDevs,
                                                                  static_cast<uint32_t>(i), "", 0});
    f.requests = requests.size();
    std::vector<TracedRequest> swept = requestsToSweep(requests, seed);
    f.swept = swept.size();

    for (const TracedRequest& r : swept) {
        for (const FaultCase& c : faultCasesFor(r)) {
            nlohmann::json description = base;
            description["faults"] = nlohmann::json::array({nlohmann::json::parse(c.json)});
            setCurrentCase(name + " " + c.label);
            RunResult run = runOnce(description.dump(), logPath);
            if (!run.loaded) {
                std::fprintf(stderr, "qir-fault-sweep: %s %s refused: %s\n", name.c_str(),
                             c.label.c_str(), run.loadError.c_str());
                return false;
            }
            ++f.runs;
            ++f.faults;
            if (!run.faultTookEffect) {
                // The driver turned the request down before any fault could stand in
                // for it (a VROC port answers no RST request, for one). Shown so that
                // a sweep that tests nothing cannot pass unnoticed.
                std::printf("not reached %s: %s\n", name.c_str(), c.label.c_str());
                ++f.notTaken;
            }
            report(c.label, run.findings);
        }
    }
    std::printf("%s: %zu requests, %zu swept, %zu faults (%zu never reached), %zu runs, "
                "%zu findings\n",
                name.c_str(), f.requests, f.swept, f.faults, f.notTaken, f.runs, f.findings);
    total.requests += f.requests;
    total.swept += f.swept;
    total.faults += f.faults;
    total.notTaken += f.notTaken;
    total.runs += f.runs;
    total.findings += f.findings;
    return true;
}

int usage() {
    std::fputs("usage: qir-fault-sweep [--seed N] [--log FILE] [--show N] MACHINE.json...\n",
               stderr);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    for (int s : {SIGSEGV, SIGABRT, SIGFPE, SIGILL})
        std::signal(s, onCrash);

    uint32_t seed = 20261208;
    std::string logPath;
    size_t show = 50;
    std::vector<std::string> machines;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if ((a == "--seed" || a == "--log" || a == "--show") && i + 1 < argc) {
            std::string v = argv[++i];
            if (a == "--seed")
                seed = static_cast<uint32_t>(std::strtoul(v.c_str(), nullptr, 0));
            else if (a == "--log")
                logPath = v;
            else
                show = std::strtoul(v.c_str(), nullptr, 0);
        } else if (!a.empty() && a[0] == '-') {
            return usage();
        } else {
            machines.push_back(a);
        }
    }
    if (machines.empty())
        return usage();
    // Without --log the runs' log lives in a folder of this process's own, so that two
    // sweeps started from the same folder never write the same file.
    std::string privateFolder;
    if (logPath.empty()) {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "qir-fault-sweep-XXXXXX").string();
        if (!mkdtemp(pattern.data())) {
            std::perror("qir-fault-sweep: no private folder for the log");
            return 2;
        }
        privateFolder = pattern;
        logPath = privateFolder + "/run.log";
    }

    auto started = std::chrono::steady_clock::now();
    Figures total;
    bool allRead = true;
    for (const std::string& m : machines)
        allRead = sweepMachine(m, seed, logPath, total, show) && allRead;
    std::remove(logPath.c_str());
    if (!privateFolder.empty())
        rmdir(privateFolder.c_str());
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("total: %zu machines, %zu requests, %zu swept, %zu faults (%zu never reached), "
                "%zu runs, %zu findings, seed %u, %.1f s\n",
                machines.size(), total.requests, total.swept, total.faults, total.notTaken,
                total.runs, total.findings, seed, seconds);
    return allRead && total.findings == 0 ? 0 : 1;
}
