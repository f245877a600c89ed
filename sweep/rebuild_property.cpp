#include "sweep/rebuild_property.h"

#include <algorithm>
#include <fstream>
#include <memory>
#include <sstream>
#include <vector>

#include "app/console.h"
#include "app/main_routine.h"
#include "capture/capture_file.h"
#include "capture/hex_text.h"
#include "platform/platform.h"
#include "platform/text_encoding.h"
#include "scan/scan_main.h"
#include "sim/machine_loader.h"
#include "sim/rebuild/machine_from_capture.h"
#include "sim/sim_machine.h"
#include "sweep/unseen_facts.h"

namespace qir::sweep {

namespace {

class TextSink : public ByteSink {
  public:
    void write(const char* data, size_t size) override { text.append(data, size); }
    void flush() override {}
    std::string text;
};

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

struct ScanOutput {
    int exitCode = 0;
    std::string report, json, capture;
};

ScanOutput scanWithCapture(sim::SimMachine& machine, const std::string& folder) {
    std::string json = folder + "/scan.json", capture = folder + "/capture.json";
    std::remove(json.c_str());
    std::remove(capture.c_str());
    std::u16string jsonArg = u"/json=" + text::fromUtf8(json);
    std::u16string captureArg = u"/capture=" + text::fromUtf8(capture);
    const char16_t* argv[] = {u"qir-scan.exe", jsonArg.c_str(), captureArg.c_str(), nullptr};
    TextSink console;
    setConsoleSink(&console);
    resetConsoleStreams();
    platform::setPlatform(&machine);
    ScanOutput out;
    out.exitCode = scan::scanMain(3, argv);
    platform::setPlatform(nullptr);
    setConsoleSink(nullptr);
    out.report = console.text;
    out.json = slurp(json);
    out.capture = slurp(capture);
    return out;
}

// The capture without its first two lines (format and header), which differ from one
// recording to the next.
std::string bodyOf(const std::string& capture) {
    size_t at = capture.find('\n');
    at = at == std::string::npos ? at : capture.find('\n', at + 1);
    return at == std::string::npos ? std::string() : capture.substr(at + 1);
}

// The first line where two texts part, for the message.
std::string firstDifference(const std::string& a, const std::string& b) {
    std::istringstream x(a), y(b);
    std::string la, lb;
    for (int line = 1;; ++line) {
        bool ga = static_cast<bool>(std::getline(x, la)),
             gb = static_cast<bool>(std::getline(y, lb));
        if (!ga && !gb)
            return "(same lines)";
        if (!ga || !gb || la != lb)
            return "line " + std::to_string(line) + ": " + (ga ? la.substr(0, 300) : "(end)") +
                   "\n    became: " + (gb ? lb.substr(0, 300) : "(end)");
    }
}

struct UpdateOutput {
    int exitCode = 0;
    std::string out, log, committed;
};

// The run's times (DD-MM-YYYY(hh:mm:ss)) as #: a rebuilt machine's clock starts where the
// recording found it.
std::string timesMasked(std::string text) {
    for (size_t at = 0; at + 20 <= text.size(); ++at) {
        const char* p = text.c_str() + at;
        bool stamp = p[2] == '-' && p[5] == '-' && p[10] == '(' && p[13] == ':' && p[16] == ':' &&
                     p[19] == ')';
        for (size_t k = 0; stamp && k < 19; ++k)
            if (k != 2 && k != 5 && k != 10 && k != 13 && k != 16)
                stamp = p[k] >= '0' && p[k] <= '9';
        if (stamp)
            text.replace(at, 20, "##-##-####(##:##:##)");
    }
    return text;
}

// The drives that took the image, each named by the original drive it stands for, with
// the slot it went to and whether that slot runs or waits for a restart.
std::string committedDrives(const sim::SimMachine& m, const std::vector<int>& names) {
    std::vector<std::string> lines;
    for (size_t k = 0; k < m.drives.size(); ++k) {
        const sim::NvmeDrive& d = m.drives[k];
        if (d.committedDigest().empty())
            continue;
        int slot = 0;
        for (int s = 1; s <= d.slotCount() && !slot; ++s)
            slot = d.slotDigest(s) == d.committedDigest() ? s : 0;
        lines.push_back("drive " + std::to_string(names[k]) + ": slot " + std::to_string(slot) +
                        (d.pendingSlot() == slot  ? " waits for a restart"
                         : d.activeSlot() == slot ? " runs"
                                                  : "") +
                        "\n");
    }
    std::sort(lines.begin(), lines.end());
    std::string text;
    for (const std::string& line : lines)
        text += line;
    return text;
}

// The tool's update, `/s /log=`, on the machine; `names` names its drives.
UpdateOutput updateRun(sim::SimMachine& machine, const std::vector<int>& names,
                       const std::string& folder) {
    std::string log = folder + "/update.log";
    std::remove(log.c_str());
    std::u16string logArg = u"/log=" + text::fromUtf8(log);
    const char16_t* argv[] = {u"qir.exe", u"/s", logArg.c_str(), nullptr};
    TextSink console;
    setConsoleSink(&console);
    resetConsoleStreams();
    platform::setPlatform(&machine);
    UpdateOutput out;
    out.exitCode = mainRoutine(3, argv);
    platform::setPlatform(nullptr);
    setConsoleSink(nullptr);
    out.out = timesMasked(console.text);
    out.log = timesMasked(slurp(log));
    out.committed = committedDrives(machine, names);
    return out;
}

void measureBlocks(const capture::CallList& calls, RebuildVerdict* v) {
    for (const capture::CapturedCall& c : calls)
        for (const std::vector<uint8_t>* block : {&c.in, &c.out}) {
            if (block->empty())
                continue;
            size_t nonZero = 0;
            for (uint8_t b : *block)
                nonZero += b != 0;
            v->nonZeroBytes += nonZero;
            v->zeroBlocks += nonZero == 0;
            v->blockText += capture::compactHexOf(*block).size();
        }
}

// The update runs of the original and of the rebuilt machine with the unseen facts
// carried over: empty when they go alike, else what differed.
std::string updateDifference(const std::string& description, const sim::SimMachine& scanned,
                             const std::string& rebuilt, const capture::CallList& calls,
                             const std::vector<std::string>& unseenFacts,
                             const std::string& folder) {
    std::string error;
    std::string carried =
        withUnseenFacts(rebuilt, calls, description, scanned, unseenFacts, &error);
    std::unique_ptr<sim::SimMachine> original = sim::loadMachine(description, &error);
    std::unique_ptr<sim::SimMachine> again =
        carried.empty() ? nullptr : sim::loadMachine(carried, &error);
    if (!original || !again)
        return "the rebuilt machine with the unseen facts is refused: " + error;
    std::vector<int> names(original->drives.size());
    for (size_t k = 0; k < names.size(); ++k)
        names[k] = static_cast<int>(k);
    UpdateOutput first = updateRun(*original, names, folder);
    UpdateOutput second = updateRun(*again, originalDrives(*again, *original), folder);
    if (second.exitCode != first.exitCode)
        return "update exit code " + std::to_string(first.exitCode) + " became " +
               std::to_string(second.exitCode);
    if (second.out != first.out)
        return "update output " + firstDifference(first.out, second.out);
    if (second.log != first.log)
        return "update log " + firstDifference(first.log, second.log);
    if (second.committed != first.committed)
        return "update commits " + firstDifference(first.committed, second.committed);
    return {};
}

} // namespace

RebuildVerdict checkRebuild(const std::string& description, const std::string& folder) {
    return checkRebuild(description, folder, unseenFactNames());
}

RebuildVerdict checkRebuild(const std::string& description, const std::string& folder,
                            const std::vector<std::string>& unseenFacts) {
    RebuildVerdict v;
    std::string error;
    std::unique_ptr<sim::SimMachine> original = sim::loadMachine(description, &error);
    if (!original) {
        v.why = "the machine is refused: " + error;
        return v;
    }
    ScanOutput first = scanWithCapture(*original, folder);
    v.captureBytes = first.capture.size();
    std::optional<capture::Capture> capture = capture::readWholeCapture(first.capture, &error);
    if (!capture) {
        v.why = "its capture cannot be read: " + error;
        return v;
    }
    measureBlocks(capture->calls, &v);
    v.rebuilt = sim::machineFromCapture(*capture, &error);
    if (v.rebuilt.empty()) {
        v.why = "the rebuild refuses its capture: " + error;
        return v;
    }
    std::unique_ptr<sim::SimMachine> again = sim::loadMachine(v.rebuilt, &error);
    if (!again) {
        v.why = "the rebuilt machine is refused: " + error;
        return v;
    }
    ScanOutput second = scanWithCapture(*again, folder);
    if (second.exitCode != first.exitCode)
        v.why = "exit code " + std::to_string(first.exitCode) + " became " +
                std::to_string(second.exitCode);
    else if (second.report != first.report)
        v.why = "report " + firstDifference(first.report, second.report);
    else if (second.json != first.json)
        v.why = "JSON " + firstDifference(first.json, second.json);
    else if (bodyOf(second.capture) != bodyOf(first.capture))
        v.why = "capture " + firstDifference(bodyOf(first.capture), bodyOf(second.capture));
    else if ((v.why = updateDifference(description, *original, v.rebuilt, capture->calls,
                                       unseenFacts, folder))
                 .empty())
        v.held = true;
    else
        v.updateDiffered = true;
    return v;
}

} // namespace qir::sweep
