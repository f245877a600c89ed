#include "sim/rebuild/open_faults.h"

#include <algorithm>

#include "platform/text_encoding.h"
#include "platform/win_constants.h"
#include "sim/rebuild/reply_bytes.h"

namespace qir::sim::rebuild {

namespace {

using capture::CapturedCall;
using capture::Op;

std::vector<Request> openList(const capture::CallList& calls, const std::u16string& path) {
    std::vector<Request> list;
    for (const CapturedCall& c : calls)
        if (c.op == Op::CreateFile && upper(c.text) == upper(path))
            list.push_back({0, &c, RequestKind::Open, c.text, 0});
    for (size_t i = 0, k = 0; i < calls.size(); ++i)
        if (calls[i].op == Op::CreateFile && upper(calls[i].text) == upper(path))
            list[k++].entry = i;
    return list;
}

// Opens are counted over every open of the path, failed or not.
nlohmann::ordered_json openFault(const capture::CallList& calls, const Request& r) {
    uint32_t n = 0;
    for (const Request& o : openList(calls, r.path)) {
        ++n;
        if (o.entry == r.entry)
            break;
    }
    return {{"kind", requestKindName(RequestKind::Open)},
            {"occurrence", n},
            {"path", text::toUtf8(r.path)},
            {"error", r.call->error}};
}

} // namespace

void accountForOpens(DeviceEntry& entry, const RequestsByPath& opens,
                     const std::vector<std::u16string>& keys, const capture::CallList& calls) {
    entry.opensUsed = keys;
    std::vector<Request> all;
    for (size_t k = 0; k < keys.size(); ++k) {
        // A path named twice is accounted for once.
        if (std::find(keys.begin(), keys.begin() + static_cast<std::ptrdiff_t>(k), keys[k]) !=
            keys.begin() + static_cast<std::ptrdiff_t>(k))
            continue;
        auto it = opens.find(keys[k]);
        if (it != opens.end())
            all.insert(all.end(), it->second.begin(), it->second.end());
    }
    if (all.empty())
        return;
    uint32_t first = all.front().call->ok ? 0 : all.front().call->error;
    bool alike = std::all_of(all.begin(), all.end(), [&](const Request& r) {
        return (r.call->ok ? 0 : r.call->error) == first;
    });
    if (alike) {
        if (first)
            entry.device["open_error"] = first;
        return;
    }
    for (const Request& r : all)
        if (!r.call->ok)
            entry.faults.push_back(openFault(calls, r));
}

nlohmann::ordered_json faultsOfUnclaimedOpens(const RequestsByPath& opens,
                                              const capture::CallList& calls) {
    nlohmann::ordered_json faults = nlohmann::ordered_json::array();
    for (const auto& [key, list] : opens)
        for (const Request& r : list) {
            if (r.call->ok)
                refuse(r.entry, "an open of a path no captured device answers to succeeded");
            if (r.call->error != win::ERROR_FILE_NOT_FOUND)
                faults.push_back(openFault(calls, r));
        }
    return faults;
}

} // namespace qir::sim::rebuild
