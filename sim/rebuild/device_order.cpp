#include "sim/rebuild/device_order.h"

#include <algorithm>

namespace qir::sim::rebuild {

namespace {

// One walk of each kind of set: the longest, every other walk of the kind a prefix.
std::vector<uint32_t> walkOf(const std::map<size_t, DeviceSet>& sets, SetKind kind,
                             bool* complete) {
    std::vector<uint32_t> walk;
    std::optional<size_t> end;
    for (const auto& [id, set] : sets) {
        if (set.kind != kind)
            continue;
        std::vector<uint32_t> seen = set.devInsts;
        while (!seen.empty() && seen.back() == 0)
            seen.pop_back();
        for (size_t k = 0; k < seen.size(); ++k) {
            if (seen[k] == 0)
                throw RebuildError("devices: a set walked with a gap");
            if (k < walk.size() && walk[k] != seen[k])
                throw RebuildError("devices: two walks of one class list different devices");
        }
        if (seen.size() > walk.size())
            walk = seen;
        if (set.end)
            end = set.end;
    }
    if (end && walk.size() > *end)
        throw RebuildError("devices: a walk of one class goes on past where another ended");
    *complete = end.has_value() && walk.size() == *end;
    return walk;
}

} // namespace

DeviceOrder deviceOrder(const std::map<size_t, DeviceSet>& sets) {
    DeviceOrder result;
    bool allComplete = false;
    std::vector<uint32_t> all = walkOf(sets, SetKind::All, &allComplete);
    bool diskComplete = false, portComplete = false;
    std::vector<uint32_t> disks = walkOf(sets, SetKind::Disk, &diskComplete);
    std::vector<uint32_t> ports = walkOf(sets, SetKind::Port, &portComplete);
    for (uint32_t d : disks) {
        if (std::find(ports.begin(), ports.end(), d) != ports.end())
            throw RebuildError("devices: one device is both a disk and a storage port");
        result.disks.insert(d);
    }
    result.ports.insert(ports.begin(), ports.end());
    std::vector<uint32_t>& order = result.devices;
    order = all;
    std::set<uint32_t> placed(all.begin(), all.end());
    // The devices the walk of all classes reached stand first, in its order; every disk and
    // port it reached must come before those it did not.
    for (const std::vector<uint32_t>* walk : {&disks, &ports}) {
        bool past = false;
        std::vector<uint32_t> inAll;
        for (uint32_t d : *walk) {
            if (placed.count(d)) {
                if (past)
                    throw RebuildError("devices: the walk of all classes and a walk of one "
                                       "class disagree on the order");
                inAll.push_back(d);
            } else {
                past = true;
            }
        }
        std::vector<uint32_t> ofAll;
        for (uint32_t d : all)
            if (std::find(walk->begin(), walk->end(), d) != walk->end())
                ofAll.push_back(d);
        if (ofAll != inAll)
            throw RebuildError("devices: the walk of all classes and a walk of one class "
                               "disagree on the order");
    }
    for (const std::vector<uint32_t>* walk : {&disks, &ports})
        for (uint32_t d : *walk)
            if (placed.insert(d).second) {
                if (allComplete)
                    throw RebuildError("devices: a device the walk of all classes missed");
                order.push_back(d);
            }
    for (uint32_t d : order)
        result.nextDevInst = std::max(result.nextDevInst, d + 1);
    return result;
}

} // namespace qir::sim::rebuild
