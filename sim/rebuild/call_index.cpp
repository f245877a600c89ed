#include "sim/rebuild/call_index.h"

#include <algorithm>
#include <cstdio>

#include "platform/text_encoding.h"
#include "platform/win_constants.h"
#include "sim/power_source.h"
#include "sim/rebuild/reply_bytes.h"

namespace qir::sim::rebuild {

namespace {

using capture::CapturedCall;
using capture::Op;

// What reading the calls needs besides what it makes: which value names which set now,
// which handle which path, and how often each request was seen.
struct Reading {
    CallIndex index;
    std::map<int64_t, size_t> setOfValue;
    std::map<int64_t, std::u16string> handles;
    std::map<std::string, uint32_t> seen;
    uint32_t classDevsCalls = 0;
};

void classDevs(Reading& r, size_t i, const CapturedCall& c) {
    ++r.classDevsCalls;
    if (!c.ok) {
        r.index.faults.push_back({{"kind", requestKindName(RequestKind::GetClassDevs)},
                                  {"occurrence", r.classDevsCalls},
                                  {"error", c.error}});
        return;
    }
    DeviceSet set;
    if (c.number & win::DIGCF_ALLCLASSES)
        set.kind = SetKind::All;
    else if ((c.number & win::DIGCF_DEVICEINTERFACE) && c.guid &&
             *c.guid == win::GUID_DEVINTERFACE_DISK)
        set.kind = SetKind::Disk;
    else if ((c.number & win::DIGCF_DEVICEINTERFACE) && c.guid &&
             *c.guid == win::GUID_DEVINTERFACE_STORAGEPORT)
        set.kind = SetKind::Port;
    else
        refuse(i, "a device set of a class the simulated machine does not hold");
    // Windows hands out the value of a destroyed set again: each set is kept by the
    // order it was made in, its value names the last set made with it.
    const size_t made = r.index.sets.size();
    r.index.sets[made] = set;
    r.setOfValue[c.result] = made;
}

DeviceSet& setOf(Reading& r, size_t i, int64_t id) {
    auto it = r.setOfValue.find(id);
    if (it == r.setOfValue.end())
        refuse(i, "a device set the capture never opened");
    return r.index.sets[it->second];
}

void enumInfo(Reading& r, size_t i, const CapturedCall& c) {
    DeviceSet& set = setOf(r, i, c.target);
    if (!c.ok) {
        if (c.error != win::ERROR_NO_MORE_ITEMS)
            refuse(i, "the device walk failed with error " + std::to_string(c.error));
        if (set.end && *set.end != c.number)
            refuse(i, "the set ended at two different places");
        set.end = c.number;
        return;
    }
    if (!c.outDevInst)
        refuse(i, "a device record without its instance");
    if (c.number > 100000)
        refuse(i, "a device index beyond any machine");
    if (set.devInsts.size() <= c.number)
        set.devInsts.resize(c.number + 1, 0);
    uint32_t& at = set.devInsts[c.number];
    if (at != 0 && at != *c.outDevInst)
        refuse(i, "two devices at one index of a set");
    at = *c.outDevInst;
    if (at == 0)
        refuse(i, "a device instance 0");
    Device& d = r.index.devices[at];
    if (c.outGuid)
        d.setupClass = *c.outGuid;
}

void enumInterfaces(Reading& r, size_t i, const CapturedCall& c) {
    DeviceSet& set = setOf(r, i, c.target);
    set.iface.reset();
    if (!c.ok) {
        if (c.error != win::ERROR_NO_MORE_ITEMS)
            refuse(i, "the interface walk failed with error " + std::to_string(c.error));
        return;
    }
    uint32_t device = c.devInst                        ? *c.devInst
                      : c.number < set.devInsts.size() ? set.devInsts[c.number]
                                                       : 0;
    if (device == 0)
        refuse(i, "an interface of a device the capture did not walk to");
    set.iface = device;
}

void detail(Reading& r, size_t i, const CapturedCall& c) {
    DeviceSet& set = setOf(r, i, c.target);
    if (!set.iface)
        refuse(i, "an interface detail without its interface");
    Device& d = r.index.devices[*set.iface];
    if (c.ok && c.buffer) {
        d.interfacePath = utf16Text(c.out, win::kInterfaceDetailPathOffset);
        if (d.interfacePath->empty())
            refuse(i, "an empty interface path");
    } else if (!c.ok && c.error != win::ERROR_INSUFFICIENT_BUFFER) {
        d.interfaceDetailError = c.error;
    }
}

void hardwareIds(Device& d, const CapturedCall& c) {
    if (c.ok && c.buffer) {
        std::vector<std::u16string> ids;
        for (size_t at = 0; at + 1 < c.out.size();) {
            std::u16string id = utf16Text(c.out, at);
            if (id.empty())
                break;
            at += 2 * (id.size() + 1);
            ids.push_back(id);
        }
        d.hardwareIds = ids;
        d.missing.erase("hardware_ids");
    } else if (!c.ok && c.error == win::ERROR_INVALID_DATA) {
        d.hardwareIds.reset();
        d.missing.insert("hardware_ids");
    } else if (!c.ok && c.error != win::ERROR_INSUFFICIENT_BUFFER) {
        d.propertyErrors["hardware_ids"] = c.error;
    }
}

void property(Reading& r, size_t i, const CapturedCall& c) {
    if (!c.devInst)
        refuse(i, "a property of no device");
    Device& d = r.index.devices[*c.devInst];
    if (c.op == Op::GetRegistryProperty) {
        if (c.number != win::SPDRP_HARDWAREID)
            refuse(i, "a registry property the simulated machine does not hold");
        return hardwareIds(d, c);
    }
    const char* name = nullptr;
    std::optional<std::u16string>* value =
        stringProperty(d, {c.guid.value_or(platform::Guid{}), c.number}, &name);
    if (!value)
        refuse(i, "a device property the simulated machine does not hold");
    if (c.ok && c.buffer) {
        *value = utf16Text(c.out, 0);
        d.missing.erase(name);
    } else if (!c.ok && c.error == win::ERROR_NOT_FOUND) {
        value->reset();
        d.missing.insert(name);
    } else if (!c.ok && c.error != win::ERROR_INSUFFICIENT_BUFFER) {
        d.propertyErrors[name] = c.error;
    }
}

// N of "\\.\ScsiN:", the VROC driver's ports.
std::optional<int> scsiPortOf(const std::u16string& key) {
    const std::u16string prefix = u"\\\\.\\SCSI";
    if (key.size() < prefix.size() + 2 || key.compare(0, prefix.size(), prefix) != 0 ||
        key.back() != u':' || key.size() > prefix.size() + 4)
        return std::nullopt;
    int port = 0;
    for (size_t i = prefix.size(); i + 1 < key.size(); ++i) {
        if (key[i] < u'0' || key[i] > u'9')
            return std::nullopt;
        port = port * 10 + (key[i] - u'0');
    }
    return port <= 255 ? std::optional<int>(port) : std::nullopt;
}

void open(Reading& r, size_t i, const CapturedCall& c) {
    if (c.text.empty())
        refuse(i, "an open of an empty path");
    r.index.opens[upper(c.text)].push_back({i, &c, RequestKind::Open, c.text, 0});
    if (std::optional<int> port = scsiPortOf(upper(c.text));
        port && (c.ok || c.error != win::ERROR_FILE_NOT_FOUND))
        r.index.scsiPorts[*port];
    if (c.ok)
        r.handles[c.result] = c.text;
}

void request(Reading& r, size_t i, const CapturedCall& c) {
    auto handle = r.handles.find(c.target);
    if (handle == r.handles.end()) {
        if (!c.ok && c.error == win::ERROR_INVALID_HANDLE)
            return;
        refuse(i, "a request on a handle the capture never opened");
    }
    RequestKind kind = requestKindOf(c.number, c.in.data(), c.in.size());
    std::u16string key = upper(handle->second);
    uint32_t occurrence = ++r.seen[requestKindName(kind) + ("|" + text::toUtf8(key))];
    Request q{i, &c, kind, handle->second, occurrence};
    r.index.requests[key].push_back(q);
    if (std::optional<int> port = scsiPortOf(key))
        r.index.scsiPorts[*port].push_back(q);
}

void take(Reading& r, size_t i, const CapturedCall& c) {
    switch (c.op) {
    case Op::GetClassDevs:
        return classDevs(r, i, c);
    case Op::EnumDeviceInfo:
        return enumInfo(r, i, c);
    case Op::EnumDeviceInterfaces:
        return enumInterfaces(r, i, c);
    case Op::GetInterfaceDetail:
        return detail(r, i, c);
    case Op::GetRegistryProperty:
    case Op::GetDeviceProperty:
        return property(r, i, c);
    case Op::CreateFile:
        return open(r, i, c);
    case Op::DeviceIoControl:
        return request(r, i, c);
    case Op::CloseHandle:
        if (c.ok)
            r.handles.erase(c.target);
        return;
    case Op::TakeLock:
        // Held by another process when the capture was made: the rebuilt machine has it
        // held for the whole run, so that it scans the same.
        r.index.updateRunning =
            r.index.updateRunning || c.lock == platform::LockResult::HeldElsewhere;
        return;
    case Op::GetPowerStatus:
        if (c.ok && !r.index.power)
            r.index.power = powerDescription(c.power);
        return;
    case Op::LocalTime:
        if (!r.index.clock) {
            char text[40];
            std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", c.time.year,
                          c.time.month, c.time.day, c.time.hour, c.time.minute, c.time.second);
            r.index.clock = text;
        }
        return;
    default:
        return;
    }
}

} // namespace

CallIndex indexCalls(const capture::CallList& calls) {
    Reading r;
    for (size_t i = 0; i < calls.size(); ++i)
        take(r, i, calls[i]);
    return std::move(r.index);
}

std::vector<Request> requestsOn(const RequestsByPath& requests,
                                const std::vector<std::u16string>& keys) {
    std::vector<Request> all;
    for (const std::u16string& key : keys) {
        auto it = requests.find(key);
        if (it != requests.end())
            all.insert(all.end(), it->second.begin(), it->second.end());
    }
    std::sort(all.begin(), all.end(),
              [](const Request& a, const Request& b) { return a.entry < b.entry; });
    return all;
}

} // namespace qir::sim::rebuild
