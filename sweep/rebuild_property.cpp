#include "sweep/rebuild_property.h"

#include <fstream>
#include <memory>
#include <sstream>
#include <vector>

#include "app/console.h"
#include "capture/capture_file.h"
#include "capture/hex_text.h"
#include "platform/platform.h"
#include "platform/text_encoding.h"
#include "scan/scan_main.h"
#include "sim/capture_rebuild.h"
#include "sim/machine_loader.h"
#include "sim/sim_machine.h"

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

} // namespace

RebuildVerdict checkRebuild(const std::string& description, const std::string& folder) {
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
    else
        v.held = true;
    return v;
}

} // namespace qir::sweep
