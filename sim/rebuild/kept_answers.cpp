#include "sim/rebuild/kept_answers.h"

#include <map>
#include <memory>
#include <vector>

#include "capture/hex_text.h"
#include "platform/text_encoding.h"
#include "sim/machine_loader.h"
#include "sim/recorded_answers.h"
#include "sim/request_kinds.h"
#include "sim/sim_machine.h"

namespace qir::sim {

namespace {

using capture::CapturedCall;
using capture::Op;
using nlohmann::ordered_json;

struct Differences {
    ordered_json answers = ordered_json::array();
    ordered_json openFaults = ordered_json::array();
};

// Asks the machine every open and control request of the capture, with the recorded
// bytes, and notes where it answers otherwise. Device sets are had and let go as recorded,
// so that a fault bound to the nth set still meets the same one.
Differences differencesOf(SimMachine& m, const capture::CallList& calls) {
    Differences found;
    std::map<int64_t, platform::Handle> handles;
    std::map<int64_t, std::u16string> paths;
    std::map<int64_t, platform::DevInfoSet> sets;
    std::map<std::string, uint32_t> opens, requests;
    for (const CapturedCall& c : calls) {
        switch (c.op) {
        case Op::GetClassDevs: {
            platform::DevInfoSet set = m.getClassDevs(c.guid ? &*c.guid : nullptr, c.number);
            if (set != platform::kInvalidDevInfoSet && c.ok)
                sets[c.result] = set;
            else if (set != platform::kInvalidDevInfoSet)
                m.destroyDeviceInfoList(set);
            break;
        }
        case Op::DestroyDeviceInfoList:
            if (auto it = sets.find(c.target); it != sets.end()) {
                m.destroyDeviceInfoList(it->second);
                sets.erase(it);
            }
            break;
        case Op::CreateFile: {
            platform::Handle h = m.createFile(c.text, c.number, c.share, c.disposition, c.flags);
            uint32_t error = h == platform::kInvalidHandle ? m.getLastError() : 0;
            uint32_t n = ++opens[pathKey(c.text)];
            if (!c.ok && (h != platform::kInvalidHandle || error != c.error))
                found.openFaults.push_back({{"kind", "open"},
                                            {"occurrence", n},
                                            {"path", text::toUtf8(c.text)},
                                            {"error", c.error}});
            if (c.ok && h != platform::kInvalidHandle) {
                handles[c.result] = h;
                paths[c.result] = c.text;
            } else if (h != platform::kInvalidHandle) {
                m.closeHandle(h);
            }
            break;
        }
        case Op::CloseHandle:
            if (auto it = handles.find(c.target); it != handles.end()) {
                m.closeHandle(it->second);
                handles.erase(it);
            }
            break;
        case Op::DeviceIoControl: {
            auto it = handles.find(c.target);
            if (it == handles.end())
                break;
            std::vector<uint8_t> in = c.in;
            in.resize(c.inSize);
            RequestKind kind =
                requestKindOf(c.number, c.buffer ? in.data() : nullptr, c.buffer ? in.size() : 0);
            uint32_t n = ++requests[pathKey(paths[c.target]) + "|" + requestKindName(kind)];
            std::vector<uint8_t> out(c.size);
            uint32_t returned = 0;
            bool ok = m.deviceIoControl(it->second, c.number, c.buffer ? in.data() : nullptr,
                                        c.inSize, c.size ? out.data() : nullptr, c.size, &returned);
            uint32_t error = ok ? 0 : m.getLastError();
            out.resize(std::min<size_t>(returned, out.size()));
            bool same =
                ok == c.ok && (ok || error == c.error) && returned == c.returned && out == c.out;
            if (same || writesFirmware(kind))
                break;
            ordered_json a = {{"path", text::toUtf8(paths[c.target])},
                              {"request", requestKindName(kind)},
                              {"occurrence", n}};
            if (!c.ok)
                a["error"] = c.error ? c.error : 31; // a failure that named no error
            if (!c.out.empty())
                a["out"] = capture::compactHexOf(c.out);
            found.answers.push_back(a);
            break;
        }
        default:
            break;
        }
    }
    for (auto& [recorded, h] : handles)
        m.closeHandle(h);
    for (auto& [recorded, set] : sets)
        m.destroyDeviceInfoList(set);
    return found;
}

} // namespace

bool keepRecordedAnswers(const capture::CallList& calls, ordered_json* machine,
                         std::string* error) {
    // An answer kept changes nothing the models see, but an open fault does: the requests
    // behind it are asked again on the next round. Each round keeps at least one answer
    // more, and a capture holds only so many.
    for (int round = 0; round < 8; ++round) {
        std::unique_ptr<SimMachine> m = loadMachine(
            machine->dump(-1, ' ', false, nlohmann::json::error_handler_t::replace), error);
        if (!m)
            return false;
        Differences d = differencesOf(*m, calls);
        if (d.answers.empty() && d.openFaults.empty())
            return true;
        ordered_json& answers = (*machine)["answers"];
        if (answers.is_null())
            answers = ordered_json::array();
        for (ordered_json& f : d.openFaults)
            (*machine)["faults"].push_back(f);
        // An open fault moves what the requests after it meet: their answers are asked
        // for again on the next round, with the open as recorded.
        if (!d.openFaults.empty())
            continue;
        size_t before = answers.size();
        for (ordered_json& a : d.answers) {
            bool kept = false;
            for (const ordered_json& k : answers)
                kept = kept ||
                       (k["request"] == a["request"] && k["occurrence"] == a["occurrence"] &&
                        pathKey(text::fromUtf8(k["path"])) == pathKey(text::fromUtf8(a["path"])));
            // One the machine cannot give back as recorded (a reply longer than its count,
            // say) stays as close as it came.
            if (!kept)
                answers.push_back(a);
        }
        if (answers.size() == before)
            return true;
    }
    return true;
}

} // namespace qir::sim
