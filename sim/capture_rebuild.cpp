#include "sim/capture_rebuild.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <stdexcept>

#include "capture/capture_file.h"
#include "capture/hex_text.h"
#include "discovery/byte_io.h"
#include "platform/guid_text.h"
#include "platform/text_encoding.h"
#include "platform/win_constants.h"
#include "sim/capture_answers.h"
#include "sim/machine_loader.h"
#include "sim/power_source.h"
#include "sim/request_kinds.h"
#include "sim/wire_layouts.h"

namespace qir::sim {

namespace {

using capture::CapturedCall;
using capture::hexOf;
using capture::Op;
using nlohmann::ordered_json;
using namespace wire;

struct RebuildError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

[[noreturn]] void refuse(size_t entry, const std::string& why) {
    throw RebuildError("calls[" + std::to_string(entry) + "]: " + why);
}

std::u16string upper(std::u16string text) {
    for (char16_t& c : text)
        if (c >= u'a' && c <= u'z')
            c = static_cast<char16_t>(c - 32);
    return text;
}

std::u16string utf16Text(const std::vector<uint8_t>& bytes, size_t offset) {
    std::u16string text;
    for (size_t at = offset; at + 1 < bytes.size(); at += 2) {
        char16_t c = static_cast<char16_t>(bytes[at] | bytes[at + 1] << 8);
        if (c == 0)
            break;
        text += c;
    }
    return text;
}

bool printable(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
}

std::string bytesText(const uint8_t* bytes, size_t size) {
    return std::string(reinterpret_cast<const char*>(bytes), size);
}

// A blank-padded field as the text that pads back to it, when there is one.
std::optional<std::string> paddedText(const uint8_t* bytes, size_t size) {
    std::string text = bytesText(bytes, size);
    if (!printable(text))
        return std::nullopt;
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

uint32_t u32At(const std::vector<uint8_t>& bytes, size_t offset) {
    return offset + 4 <= bytes.size() ? getU32(bytes.data(), offset) : 0;
}

RequestKind kindOf(const CapturedCall& c) {
    return requestKindOf(c.number, c.in.data(), c.in.size());
}

enum class SetKind { Disk, Port, All, Other };

struct DeviceSet {
    SetKind kind = SetKind::Other;
    std::vector<uint32_t> devInsts; // by index
    std::optional<size_t> end;      // the index that answered "no more items"
    std::optional<uint32_t> iface;  // device of the interface last enumerated
};

// A device as the simulated machine holds it, and the properties it answered as absent.
struct Device : SimDevice {
    std::set<std::string> missing;
    std::optional<platform::Guid> setupClass; // as the walk of all classes answered it
};

struct Request {
    size_t entry;
    const CapturedCall* call;
    RequestKind kind;
    std::u16string path;
    uint32_t occurrence; // among requests of its kind on its path
};

struct Drive {
    std::string id;
    std::vector<uint8_t> identify; // 4096 bytes
    const CapturedCall* getInfo = nullptr;
};

class Rebuild {
  public:
    explicit Rebuild(const capture::CallList& calls) : calls_(calls) {}

    ordered_json run() {
        for (size_t i = 0; i < calls_.size(); ++i)
            take(i, calls_[i]);
        ordered_json machine;
        if (clock_)
            machine["clock"] = *clock_;
        if (updateRunning_)
            machine["update_running"] = true;
        if (power_)
            machine["power"] = *power_;
        std::vector<uint32_t> order = treeOrder();
        ordered_json devices = ordered_json::array();
        for (uint32_t devInst : order)
            devices.push_back(setupDevice(devInst));
        for (auto& [port, requests] : scsiPorts_)
            devices.push_back(scsiPortDevice(port, requests));
        // Opens of paths no device answers to: a path that is not there fails as on any
        // machine; any other outcome is the path's own.
        for (const auto& [key, opens] : opens_)
            for (const Request& r : opens) {
                if (r.call->ok)
                    refuse(r.entry, "an open of a path no captured device answers to succeeded");
                if (r.call->error != win::ERROR_FILE_NOT_FOUND)
                    openFault(r);
            }
        ordered_json drives = ordered_json::array();
        for (const Drive& d : drives_)
            drives.push_back(driveOf(d));
        machine["devices"] = devices;
        machine["drives"] = drives;
        machine["faults"] = faults_;
        return machine;
    }

  private:
    // ---- Reading the calls in order -----------------------------------------------------

    void take(size_t i, const CapturedCall& c) {
        switch (c.op) {
        case Op::GetClassDevs:
            return classDevs(i, c);
        case Op::EnumDeviceInfo:
            return enumInfo(i, c);
        case Op::EnumDeviceInterfaces:
            return enumInterfaces(i, c);
        case Op::GetInterfaceDetail:
            return detail(i, c);
        case Op::GetRegistryProperty:
        case Op::GetDeviceProperty:
            return property(i, c);
        case Op::CreateFile:
            return open(i, c);
        case Op::DeviceIoControl:
            return request(i, c);
        case Op::CloseHandle:
            if (c.ok)
                handles_.erase(c.target);
            return;
        case Op::TakeLock:
            // Held by another process when the capture was made: the rebuilt machine
            // has it held for the whole run, so that it scans the same.
            updateRunning_ = updateRunning_ || c.lock == platform::LockResult::HeldElsewhere;
            return;
        case Op::GetPowerStatus:
            if (c.ok && !power_)
                power_ = powerDescription(c.power);
            return;
        case Op::LocalTime:
            if (!clock_) {
                char text[40];
                std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", c.time.year,
                              c.time.month, c.time.day, c.time.hour, c.time.minute, c.time.second);
                clock_ = text;
            }
            return;
        default:
            return;
        }
    }

    void classDevs(size_t i, const CapturedCall& c) {
        ++classDevsCalls_;
        if (!c.ok) {
            faults_.push_back({{"kind", requestKindName(RequestKind::GetClassDevs)},
                               {"occurrence", classDevsCalls_},
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
        const size_t made = sets_.size();
        sets_[made] = set;
        setOfValue_[c.result] = made;
    }

    DeviceSet& setOf(size_t i, int64_t id) {
        auto it = setOfValue_.find(id);
        if (it == setOfValue_.end())
            refuse(i, "a device set the capture never opened");
        return sets_[it->second];
    }

    void enumInfo(size_t i, const CapturedCall& c) {
        DeviceSet& set = setOf(i, c.target);
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
        Device& d = devices_[at];
        if (c.outGuid)
            d.setupClass = *c.outGuid;
    }

    void enumInterfaces(size_t i, const CapturedCall& c) {
        DeviceSet& set = setOf(i, c.target);
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

    void detail(size_t i, const CapturedCall& c) {
        DeviceSet& set = setOf(i, c.target);
        if (!set.iface)
            refuse(i, "an interface detail without its interface");
        Device& d = devices_[*set.iface];
        if (c.ok && c.buffer) {
            d.interfacePath = utf16Text(c.out, win::kInterfaceDetailPathOffset);
            if (d.interfacePath->empty())
                refuse(i, "an empty interface path");
        } else if (!c.ok && c.error != win::ERROR_INSUFFICIENT_BUFFER) {
            d.interfaceDetailError = c.error;
        }
    }

    void property(size_t i, const CapturedCall& c) {
        if (!c.devInst)
            refuse(i, "a property of no device");
        Device& d = devices_[*c.devInst];
        if (c.op == Op::GetRegistryProperty) {
            if (c.number != win::SPDRP_HARDWAREID)
                refuse(i, "a registry property the simulated machine does not hold");
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
            return;
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

    void open(size_t i, const CapturedCall& c) {
        if (c.text.empty())
            refuse(i, "an open of an empty path");
        opens_[upper(c.text)].push_back({i, &c, RequestKind::Open, c.text, 0});
        if (std::optional<int> port = scsiPortOf(upper(c.text));
            port && (c.ok || c.error != win::ERROR_FILE_NOT_FOUND))
            scsiPorts_[*port];
        if (c.ok)
            handles_[c.result] = c.text;
    }

    void request(size_t i, const CapturedCall& c) {
        auto handle = handles_.find(c.target);
        if (handle == handles_.end()) {
            if (!c.ok && c.error == win::ERROR_INVALID_HANDLE)
                return;
            refuse(i, "a request on a handle the capture never opened");
        }
        RequestKind kind = kindOf(c);
        std::u16string key = upper(handle->second);
        uint32_t occurrence = ++seen_[requestKindName(kind) + ("|" + text::toUtf8(key))];
        Request r{i, &c, kind, handle->second, occurrence};
        requests_[key].push_back(r);
        if (std::optional<int> port = scsiPortOf(key))
            scsiPorts_[*port].push_back(r);
    }

    // N of "\\.\ScsiN:", the VROC driver's ports.
    static std::optional<int> scsiPortOf(const std::u16string& key) {
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

    // ---- The device tree ---------------------------------------------------------------

    // One walk of each kind of set: the longest, every other walk of the kind a prefix.
    std::vector<uint32_t> walkOf(SetKind kind, bool* complete) {
        std::vector<uint32_t> walk;
        std::optional<size_t> end;
        for (const auto& [id, set] : sets_) {
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

    std::vector<uint32_t> treeOrder() {
        bool allComplete = false;
        std::vector<uint32_t> all = walkOf(SetKind::All, &allComplete);
        bool diskComplete = false, portComplete = false;
        std::vector<uint32_t> disks = walkOf(SetKind::Disk, &diskComplete);
        std::vector<uint32_t> ports = walkOf(SetKind::Port, &portComplete);
        for (uint32_t d : disks) {
            if (std::find(ports.begin(), ports.end(), d) != ports.end())
                throw RebuildError("devices: one device is both a disk and a storage port");
            disks_.insert(d);
        }
        ports_.insert(ports.begin(), ports.end());
        std::vector<uint32_t> order = all;
        std::set<uint32_t> placed(all.begin(), all.end());
        // The devices the walk of all classes reached stand first, in its order; every
        // disk and port it reached must come before those it did not.
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
            nextDevInst_ = std::max(nextDevInst_, d + 1);
        return order;
    }

    // The requests made on any path that reaches the device.
    std::vector<Request> requestsOn(const std::vector<std::u16string>& keys) const {
        std::vector<Request> all;
        for (const std::u16string& key : keys) {
            auto it = requests_.find(key);
            if (it != requests_.end())
                all.insert(all.end(), it->second.begin(), it->second.end());
        }
        std::sort(all.begin(), all.end(),
                  [](const Request& a, const Request& b) { return a.entry < b.entry; });
        return all;
    }

    void fault(const Request& r, const char* effect, uint32_t value) {
        faults_.push_back({{"kind", requestKindName(r.kind)},
                           {"occurrence", r.occurrence},
                           {"path", text::toUtf8(r.path)},
                           {effect, value}});
    }

    // The open outcomes of the paths that reach a device: its own open error when every
    // open failed alike, else one fault per failed open.
    void opensOf(ordered_json& device, const std::vector<std::u16string>& keys) {
        std::vector<Request> all;
        for (const std::u16string& key : keys) {
            auto it = opens_.find(key);
            if (it != opens_.end())
                all.insert(all.end(), it->second.begin(), it->second.end());
            opens_.erase(key);
        }
        if (all.empty())
            return;
        uint32_t first = all.front().call->ok ? 0 : all.front().call->error;
        bool alike = std::all_of(all.begin(), all.end(), [&](const Request& r) {
            return (r.call->ok ? 0 : r.call->error) == first;
        });
        if (alike) {
            if (first)
                device["open_error"] = first;
            return;
        }
        for (const Request& r : all)
            if (!r.call->ok)
                openFault(r);
    }

    // Opens are counted over every open of the path, failed or not.
    void openFault(const Request& r) {
        uint32_t n = 0;
        for (const Request& o : openList(r.path)) {
            ++n;
            if (o.entry == r.entry)
                break;
        }
        faults_.push_back({{"kind", requestKindName(RequestKind::Open)},
                           {"occurrence", n},
                           {"path", text::toUtf8(r.path)},
                           {"error", r.call->error}});
    }

    std::vector<Request> openList(const std::u16string& path) const {
        std::vector<Request> list;
        for (const CapturedCall& c : calls_)
            if (c.op == Op::CreateFile && upper(c.text) == upper(path))
                list.push_back({0, &c, RequestKind::Open, c.text, 0});
        for (size_t i = 0, k = 0; i < calls_.size(); ++i)
            if (calls_[i].op == Op::CreateFile && upper(calls_[i].text) == upper(path))
                list[k++].entry = i;
        return list;
    }

    ordered_json setupDevice(uint32_t devInst) {
        Device& d = devices_[devInst];
        bool disk = disks_.count(devInst), port = ports_.count(devInst);
        // A disk or port no walk of its interface class reached is known by its setup class,
        // and has no interface: one standing in could only come between the devices a walk
        // met.
        bool byClass = !disk && !port && d.setupClass &&
                       (*d.setupClass == win::GUID_DEVCLASS_DISKDRIVE ||
                        *d.setupClass == win::GUID_DEVCLASS_SCSIADAPTER);
        if (byClass) {
            disk = *d.setupClass == win::GUID_DEVCLASS_DISKDRIVE;
            port = !disk;
        }
        ordered_json j;
        j["class"] = disk ? "disk" : port ? "storage_port" : "other";
        j["dev_inst"] = devInst;
        auto put = [&](const char* key, const std::optional<std::u16string>& v) {
            if (v)
                j[key] = text::toUtf8(*v);
        };
        put("instance_id", d.instanceId);
        put("parent_id", d.parentId);
        if (d.hardwareIds) {
            ordered_json ids = ordered_json::array();
            for (const std::u16string& id : *d.hardwareIds)
                ids.push_back(text::toUtf8(id));
            j["hardware_ids"] = ids;
        }
        put("driver_desc", d.driverDesc);
        put("location_info", d.locationInfo);
        if (!d.missing.empty())
            j["missing"] = d.missing;
        if (!d.propertyErrors.empty())
            j["property_errors"] = d.propertyErrors;
        if (!disk && !port)
            return j;
        // A device of an interface class is in that class's set only with a path; one the
        // tool never asked for stands in under a name of its own.
        if (!d.interfacePath && !d.interfaceDetailError && !byClass)
            d.interfacePath =
                u"\\\\?\\captured#" +
                text::fromUtf8(std::to_string(devInst) + "#" +
                               platform::guidPathText(disk ? win::GUID_DEVINTERFACE_DISK
                                                           : win::GUID_DEVINTERFACE_STORAGEPORT));
        if (d.interfacePath)
            j["interface_path"] = text::toUtf8(*d.interfacePath);
        if (d.interfaceDetailError)
            j["interface_detail_error"] = d.interfaceDetailError;
        std::vector<std::u16string> keys;
        if (d.interfacePath)
            keys.push_back(upper(*d.interfacePath));
        return disk ? diskDevice(j, keys) : portDevice(j, keys);
    }

    ordered_json diskDevice(ordered_json& j, std::vector<std::u16string> keys) {
        std::optional<uint32_t> number;
        for (const Request& r : requestsOn(keys))
            if (r.kind == RequestKind::GetDeviceNumber) {
                if (r.call->ok && r.call->out.size() >= 8 && !number)
                    number = u32At(r.call->out, 4);
                else if (!r.call->ok)
                    fault(r, "error", r.call->error);
            }
        // A number another disk holds, or one no disk can have, is an answer of this disk
        // alone: kept as recorded, while \\.\PHYSICALDRIVEn stays the other's.
        if (number && (*number > INT32_MAX || !deviceNumbers_.insert(*number).second))
            number.reset();
        if (number) {
            j["device_number"] = *number;
            keys.push_back(
                upper(u"\\\\.\\PHYSICALDRIVE" + text::fromUtf8(std::to_string(*number))));
        }
        opensOf(j, keys);
        std::vector<Request> requests = requestsOn(keys);
        bool inbox = false;
        Drive drive;
        for (const Request& r : requests) {
            const CapturedCall& c = *r.call;
            if (r.kind == RequestKind::GetDeviceNumber || writesFirmware(r.kind))
                continue;
            if (r.kind == RequestKind::Other || (!c.ok && c.error == win::ERROR_INVALID_FUNCTION))
                continue;
            inbox = true;
            if (r.kind == RequestKind::StorageQuery) {
                if (c.ok && c.out.size() >= 48 + nvme::kIdentifySize && drive.identify.empty())
                    drive.identify.assign(c.out.begin() + 48, c.out.begin() + 48 + 4096);
                else if (!c.ok && c.error != win::ERROR_IO_DEVICE)
                    fault(r, "error", c.error);
            } else if (r.kind == RequestKind::InboxGetInfo) {
                uint32_t rc = u32At(c.out, srb::kReturnCode);
                if (!c.ok)
                    fault(r, "error", c.error);
                else if (rc != fw_status::kSuccess)
                    fault(r, "return_code", rc);
                else if (!drive.getInfo)
                    drive.getInfo = &c;
            }
        }
        // A disk that answers only the requests it does not know has no driver of the tool's.
        for (const Request& r : requests)
            if (inbox && r.kind != RequestKind::Other && r.kind != RequestKind::GetDeviceNumber &&
                !r.call->ok && r.call->error == win::ERROR_INVALID_FUNCTION)
                fault(r, "error", r.call->error);
        if (inbox) {
            j["driver"] = "inbox";
            if (!drive.identify.empty()) {
                drive.id = "disk" + (number ? std::to_string(*number)
                                            : std::to_string(j["dev_inst"].get<uint32_t>()));
                // Two disks may answer one device number; each keeps a drive of its own.
                for (const Drive& other : drives_)
                    if (other.id == drive.id)
                        drive.id += "-" + std::to_string(j["dev_inst"].get<uint32_t>());
                j["drive"] = drive.id;
                drives_.push_back(drive);
            } else if (drive.getInfo) {
                throw RebuildError("devices: a disk that answered get info but no Identify");
            }
        }
        return j;
    }

    ordered_json portDevice(ordered_json& j, const std::vector<std::u16string>& keys) {
        opensOf(j, keys);
        bool rst = false;
        std::map<uint8_t, std::string> drives;
        std::vector<uint8_t> members;
        std::vector<Request> csmiReplies;
        for (const Request& r : requestsOn(keys)) {
            const CapturedCall& c = *r.call;
            if (r.kind == RequestKind::Other || writesFirmware(r.kind))
                continue;
            if (!c.ok && c.error == win::ERROR_INVALID_FUNCTION)
                continue;
            rst = true;
            uint32_t rc = u32At(c.out, srb::kReturnCode);
            if (r.kind == RequestKind::Csmi) {
                if (!c.ok)
                    fault(r, "error", c.error);
                else if (rc != csmi::kStatusSuccess && rc != csmi::kRaidSetOutOfRange)
                    fault(r, "return_code", rc);
                else if (rc == csmi::kStatusSuccess)
                    csmiReplies.push_back(r);
            } else if (r.kind == RequestKind::RstIdentify) {
                uint8_t pathId = c.in.size() > rst::kPathId ? c.in[rst::kPathId] : 0;
                uint32_t dataOffset = u32At(c.in, rst::kDataOffset);
                if (!c.ok) {
                    if (c.error != win::ERROR_IO_DEVICE)
                        fault(r, "error", c.error);
                } else if (rc != 0) {
                    fault(r, "return_code", rc);
                } else if (!drives.count(pathId) &&
                           uint64_t{dataOffset} + nvme::kIdentifySize <= c.out.size()) {
                    Drive d;
                    d.id = "rst-port" + std::to_string(pathId);
                    d.identify.assign(c.out.begin() + dataOffset,
                                      c.out.begin() + dataOffset + nvme::kIdentifySize);
                    drives[pathId] = d.id;
                    drives_.push_back(d);
                }
            } else if (!c.ok) {
                fault(r, "error", c.error);
            }
        }
        // A port that knows none of the RST requests is the VROC driver's storage port,
        // which says so for each of them.
        // The member list comes from the reply that held the most records; the driver
        // counts every member in each, so one of them must hold them all.
        const Request* fullest = nullptr;
        for (const Request& r : csmiReplies)
            if (!fullest || r.call->out.size() > fullest->call->out.size())
                fullest = &r;
        if (fullest) {
            const std::vector<uint8_t>& out = fullest->call->out;
            size_t count = out.size() > csmi::kDriveCount ? out[csmi::kDriveCount] : 0;
            size_t records = out.size() < csmi::kDrives
                                 ? 0
                                 : (out.size() - csmi::kDrives) / csmi::kDriveRecordSize;
            // A count beyond the records is the driver's answer, kept as recorded; the
            // members are the ones the records show.
            for (size_t k = 0; k < std::min(count, records); ++k)
                members.push_back(
                    out[csmi::kDrives + k * csmi::kDriveRecordSize + csmi::kDriveSasAddress + 2]);
        }
        if (!rst) {
            if (!requestsOn(keys).empty())
                j["driver"] = "vroc";
            return j;
        }
        j["driver"] = "rst";
        ordered_json ports = ordered_json::array();
        for (const auto& [pathId, id] : drives)
            ports.push_back({{"path_id", pathId}, {"drive", id}});
        j["rst"] = {{"ports", ports}, {"raid_members", members}};
        return j;
    }

    // ---- VROC ----------------------------------------------------------------------------

    ordered_json entryOf(const uint8_t* e) {
        ordered_json j;
        uint32_t diskId = getU32(e, nvme_pt::kEntryDiskId);
        std::optional<std::string> model = paddedText(e + nvme_pt::kEntryModel, 40);
        std::string serialBytes = bytesText(e + nvme_pt::kEntrySerial, nvme_pt::kEntrySerialMax);
        std::string serial = serialBytes.substr(0, serialBytes.find('\0'));
        bool serialFits = printable(serial) &&
                          serialBytes.find_first_not_of('\0', serial.size()) == std::string::npos;
        // The model text pads back with blanks only when it has no trailing blanks of its
        // own that the padding would swallow: the bytes are then the same either way.
        auto drive = vrocDrives_.find(diskId);
        if (drive != vrocDrives_.end())
            j["drive"] = drive->second;
        if (model && serialFits) {
            j["disk_id"] = diskId;
            j["address"] = getU32(e, nvme_pt::kEntryAddress);
            j["model"] = *model;
            j["serial"] = serial;
        } else {
            j["bytes"] = hexOf(e, nvme_pt::kEntrySize);
        }
        return j;
    }

    // The entries a list reply holds, and the disk ids they give.
    ordered_json entries(const CapturedCall& c, uint32_t first, uint32_t count,
                         std::set<uint32_t>* ids) {
        ordered_json list = ordered_json::array();
        for (uint32_t k = 0; k < count; ++k) {
            uint64_t at = first + uint64_t{nvme_pt::kEntrySize} * k;
            if (at + nvme_pt::kEntrySize > c.out.size())
                break;
            list.push_back(entryOf(c.out.data() + at));
            ids->insert(getU32(c.out.data(), static_cast<size_t>(at) + nvme_pt::kEntryDiskId));
        }
        return list;
    }

    ordered_json scsiPortDevice(int port, const std::vector<Request>& requests) {
        ordered_json j;
        j["class"] = "scsi_port";
        j["scsi_port"] = port;
        j["dev_inst"] = nextDevInst_++;
        opensOf(j, {upper(u"\\\\.\\Scsi" + text::fromUtf8(std::to_string(port)) + u":")});
        bool vroc = false;
        std::optional<uint32_t> raidCount, memberCount, nonRaidCount;
        const CapturedCall* memberList = nullptr;
        const CapturedCall* nonRaidList = nullptr;
        std::vector<const Request*> counts;
        std::set<uint32_t> identified; // disk ids a drive answered on this port
        for (const Request& r : requests) {
            const CapturedCall& c = *r.call;
            if (r.kind == RequestKind::Other || writesFirmware(r.kind))
                continue;
            if (!c.ok && c.error == win::ERROR_INVALID_FUNCTION)
                continue;
            vroc = true;
            if (!c.ok) {
                fault(r, "error", c.error);
                continue;
            }
            uint32_t rc = u32At(c.out, srb::kReturnCode);
            if (r.kind == RequestKind::VrocIdentify) {
                uint32_t diskId = u32At(c.in, srb::kReturnCode);
                uint32_t status = (u32At(c.out, nvme_pt::kCompletionDw3) >> 17) & 0x7FFF;
                if (rc == nvme_pt::kInvalidPathTargetId)
                    continue;
                if (rc != 0)
                    fault(r, "return_code", rc);
                else if (status != 0)
                    fault(r, "completion_status", status);
                else if (c.out.size() >= nvme_pt::kDataBuffer + nvme::kIdentifySize &&
                         identified.insert(diskId).second && !vrocDrives_.count(diskId)) {
                    Drive d;
                    d.id = "vroc-disk" + std::to_string(diskId);
                    d.identify.assign(c.out.begin() + nvme_pt::kDataBuffer,
                                      c.out.begin() + nvme_pt::kDataBuffer + nvme::kIdentifySize);
                    vrocDrives_[diskId] = d.id;
                    drives_.push_back(d);
                }
            } else if (r.kind == RequestKind::VrocRaidCount && !raidCount) {
                raidCount = u32At(c.out, nvme_pt::kCountValue);
                counts.push_back(&r);
            } else if (r.kind == RequestKind::VrocVolumeInfo && !memberCount) {
                memberCount = u32At(c.out, nvme_pt::kVolumeMemberCount);
                counts.push_back(&r);
            } else if (r.kind == RequestKind::VrocNonRaidCount && !nonRaidCount) {
                nonRaidCount = u32At(c.out, nvme_pt::kCountValue);
                counts.push_back(&r);
            } else if (r.kind == RequestKind::VrocMemberList && !memberList) {
                memberList = &c;
            } else if (r.kind == RequestKind::VrocNonRaidList && !nonRaidList) {
                nonRaidList = &c;
            }
        }
        if (!vroc)
            return j;
        j["driver"] = "vroc";
        ordered_json controller;
        // Only the first volume is ever listed; the others stand in empty. A count beyond
        // any controller is the driver's answer, kept as such.
        uint32_t volumes = raidCount.value_or(0);
        // The ids the port's lists show: the first volume's members stand only when there is
        // a volume.
        std::set<uint32_t> listedIds, unlisted;
        ordered_json members =
            memberList ? entries(*memberList, nvme_pt::kMemberListEntries, memberCount.value_or(0),
                                 volumes ? &listedIds : &unlisted)
                       : ordered_json::array();
        ordered_json raid = ordered_json::array();
        for (uint32_t v = 0; v < std::min<uint32_t>(volumes, 16); ++v)
            raid.push_back(v == 0 ? ordered_json{{"members", members}}
                                  : ordered_json{{"members", ordered_json::array()}});
        int32_t nonRaid = static_cast<int32_t>(nonRaidCount.value_or(0));
        ordered_json listed = nonRaidList && nonRaid > 0
                                  ? entries(*nonRaidList, nvme_pt::kNonRaidListEntries,
                                            static_cast<uint32_t>(nonRaid), &listedIds)
                                  : ordered_json::array();
        // A drive that answered Identify on this port by a disk id its lists do not show
        // (a list that failed, say) takes the update's pieces by that id all the same: it
        // stands in a volume after the first, which the tool never lists.
        for (uint32_t diskId : identified) {
            if (listedIds.count(diskId))
                continue;
            while (raid.size() < 2)
                raid.push_back({{"members", ordered_json::array()}});
            raid[1]["members"].push_back({{"drive", vrocDrives_[diskId]}, {"disk_id", diskId}});
        }
        controller["raid_volumes"] = raid;
        controller["non_raid"] = listed;
        j["vroc"] = controller;
        for (const Request* r : counts) {
            if (r->kind == RequestKind::VrocRaidCount && volumes > 16)
                faults_.push_back({{"kind", requestKindName(r->kind)},
                                   {"occurrence", r->occurrence},
                                   {"path", text::toUtf8(r->path)},
                                   {"fields", {{"count", volumes}}}});
            if (r->kind == RequestKind::VrocVolumeInfo && memberCount &&
                *memberCount != members.size())
                faults_.push_back({{"kind", requestKindName(r->kind)},
                                   {"occurrence", r->occurrence},
                                   {"path", text::toUtf8(r->path)},
                                   {"fields", {{"member_count", *memberCount}}}});
            if (r->kind == RequestKind::VrocNonRaidCount && nonRaidCount &&
                static_cast<int64_t>(nonRaid) != static_cast<int64_t>(listed.size()))
                faults_.push_back({{"kind", requestKindName(r->kind)},
                                   {"occurrence", r->occurrence},
                                   {"path", text::toUtf8(r->path)},
                                   {"fields", {{"count", nonRaid}}}});
        }
        return j;
    }

    // ---- Drives ----------------------------------------------------------------------------

    ordered_json driveOf(const Drive& d) {
        const uint8_t* id = d.identify.data();
        ordered_json j;
        j["id"] = d.id;
        j["vendor_id"] = getU16(id, nvme::kVid);
        if (auto v = paddedText(id + nvme::kSn, nvme::kSnLength))
            j["serial"] = *v;
        if (auto v = paddedText(id + nvme::kMn, nvme::kMnLength))
            j["model"] = *v;
        uint32_t ver = getU32(id, nvme::kVer);
        if ((ver >> 16) <= 255)
            j["version"] = std::to_string(ver >> 16) + "." + std::to_string((ver >> 8) & 0xFF) +
                           "." + std::to_string(ver & 0xFF);
        j["fwug"] = id[nvme::kFwug];
        uint8_t frmw = id[nvme::kFrmw];
        int count = std::max(1, (frmw >> 1) & 7);
        bool slot1ReadOnly = frmw & 1;
        ordered_json slots;
        std::vector<std::string> revisions(static_cast<size_t>(count));
        int active = 1, pending = 0;
        ordered_json getInfo;
        if (d.getInfo)
            readGetInfo(*d.getInfo, &count, &slot1ReadOnly, &revisions, &active, &pending,
                        &getInfo);
        slots["count"] = count;
        slots["slot1_read_only"] = slot1ReadOnly;
        revisions.resize(static_cast<size_t>(count));
        slots["revisions"] = revisions;
        slots["active"] = active;
        if (pending)
            slots["pending"] = pending;
        j["slots"] = slots;
        if (auto v = paddedText(id + nvme::kFr, nvme::kFrLength))
            j["firmware"] = *v;
        if (frmw & 0x10)
            j["activation"] = "immediate";
        if (getInfo.contains("upgrade_support") && getInfo["upgrade_support"] == 0) {
            j["upgrade_support"] = false;
            getInfo.erase("upgrade_support");
        }
        if (!getInfo.empty())
            j["get_info"] = getInfo;
        // Whatever the fields above do not give back byte for byte is written as it was.
        std::string error;
        ordered_json probe = {{"drives", {j}}};
        std::unique_ptr<SimMachine> m = loadMachine(probe.dump(), &error);
        if (!m)
            throw RebuildError("drives: " + error);
        auto modelled = m->drives[0].identifyController();
        ordered_json bytes = ordered_json::array();
        for (size_t at = 0; at < modelled.size();) {
            if (modelled[at] == id[at]) {
                ++at;
                continue;
            }
            size_t end = at;
            while (end < modelled.size() &&
                   (modelled[end] != id[end] ||
                    (end + 1 < modelled.size() && modelled[end + 1] != id[end + 1])))
                ++end;
            bytes.push_back({{"offset", at}, {"hex", hexOf(id + at, end - at)}});
            at = end;
        }
        if (!bytes.empty())
            j["identify_bytes"] = bytes;
        return j;
    }

    void readGetInfo(const CapturedCall& c, int* count, bool* slot1ReadOnly,
                     std::vector<std::string>* revisions, int* active, int* pendingSlot,
                     ordered_json* told) {
        const std::vector<uint8_t>& b = c.out;
        uint32_t dataOffset = u32At(c.in, srb::kSize + fw::kDataBufferOffset);
        uint32_t base = u32At(b, srb::kSize + fw::kDataBufferOffset);
        if (uint64_t{base} + fw::kInfoSlots > b.size())
            return;
        uint8_t upgrade = b[base + fw::kInfoUpgradeSupport];
        uint8_t slots = b[base + fw::kInfoSlotCount];
        uint8_t activeSlot = b[base + fw::kInfoActiveSlot];
        uint8_t pending = b[base + fw::kInfoPendingSlot];
        size_t records =
            std::min<size_t>(slots, (b.size() - base - fw::kInfoSlots) / fw::kSlotRecordSize);
        // The slot count covers what Identify's FRMW, the reply's SlotCount and the slot
        // numbers of its records name.
        if (slots >= 1 && slots <= 7)
            *count = std::max<int>(*count, slots);
        std::vector<std::pair<uint8_t, uint8_t>> bytes;
        for (size_t k = 0; k < records; ++k) {
            size_t rec = base + fw::kInfoSlots + fw::kSlotRecordSize * k;
            bytes.emplace_back(b[rec + fw::kSlotNumber], b[rec + fw::kSlotReadOnly]);
        }
        // The update commits to the first slot the records call writable: every slot they
        // name is the drive's, and slot 1 is read-only as they say (writable when any
        // record says so), else as Identify's FRMW says. No other slot of an NVMe drive
        // can be read-only.
        bool slot1Named = false, slot1Writable = false;
        for (auto [number, readOnly] : bytes) {
            if (number >= 1 && number <= 7)
                *count = std::max<int>(*count, number);
            if (number == 1) {
                slot1Named = true;
                slot1Writable = slot1Writable || readOnly == 0;
            }
        }
        if (slot1Named)
            *slot1ReadOnly = !slot1Writable;
        revisions->assign(static_cast<size_t>(*count), "");
        for (size_t k = 0; k < records && k < revisions->size(); ++k) {
            size_t rec = base + fw::kInfoSlots + fw::kSlotRecordSize * k;
            std::string revision = bytesText(b.data() + rec + fw::kSlotRevision, 8);
            if (printable(revision))
                (*revisions)[k] = revision;
        }
        if (activeSlot >= 1 && activeSlot <= *count)
            *active = activeSlot;
        if (base != ((dataOffset + 7) & ~7u))
            (*told)["offset"] = base;
        if (upgrade > 1)
            (*told)["upgrade_support"] = upgrade;
        if (upgrade == 0)
            (*told)["upgrade_support"] = 0;
        if (slots != *count || records != slots)
            (*told)["slot_count"] = slots;
        if (activeSlot != *active)
            (*told)["active_slot"] = activeSlot;
        // A slot of the drive's that waits for a reset is the drive's own state, so that a
        // restart of the rebuilt machine activates it as it would the recorded one.
        if (pending >= 1 && pending <= *count)
            *pendingSlot = pending;
        else if (pending != fw::kNoPendingSlot)
            (*told)["pending_slot"] = pending;
        bool plain = bytes.size() == static_cast<size_t>(*count);
        for (size_t k = 0; plain && k < bytes.size(); ++k)
            plain =
                bytes[k].first == k + 1 && bytes[k].second == (k == 0 && *slot1ReadOnly ? 1 : 0);
        if (!plain) {
            ordered_json list = ordered_json::array();
            for (auto [number, readOnly] : bytes)
                list.push_back({{"number", number}, {"read_only", readOnly}});
            (*told)["records"] = list;
        }
    }

    const capture::CallList& calls_;
    std::map<size_t, DeviceSet> sets_;
    std::map<int64_t, size_t> setOfValue_;
    std::map<uint32_t, Device> devices_;
    std::set<uint32_t> disks_, ports_;
    std::map<int64_t, std::u16string> handles_;
    std::map<std::u16string, std::vector<Request>> opens_;
    std::map<std::u16string, std::vector<Request>> requests_;
    std::map<int, std::vector<Request>> scsiPorts_;
    std::map<std::string, uint32_t> seen_;
    std::map<uint32_t, std::string> vrocDrives_;
    std::vector<Drive> drives_;
    ordered_json faults_ = ordered_json::array();
    std::optional<std::string> clock_;
    bool updateRunning_ = false;
    std::optional<ordered_json> power_;
    uint32_t classDevsCalls_ = 0;
    std::set<uint32_t> deviceNumbers_;
    uint32_t nextDevInst_ = 1;
};

} // namespace

namespace {

// The clock a header tells, when it is one a machine can run on: the machine's own, else
// the UTC time of the recording.
std::optional<std::string> clockOf(const capture::CaptureHeader& header) {
    std::string utc = header.time;
    if (utc.size() == 20 && utc[10] == 'T' && utc[19] == 'Z')
        utc = utc.substr(0, 10) + " " + utc.substr(11, 8);
    for (const std::string& clock : {header.localTime, utc}) {
        ordered_json probe = {{"clock", clock}};
        std::string ignored;
        if (!clock.empty() && loadMachine(probe.dump(), &ignored))
            return clock;
    }
    return std::nullopt;
}

std::string rebuiltMachine(const capture::CallList& calls, const capture::CaptureHeader* header,
                           std::string* error) {
    try {
        ordered_json machine = Rebuild(calls).run();
        if (header && !machine.contains("clock"))
            if (std::optional<std::string> clock = clockOf(*header)) {
                // The clock leads the description, as it does in every written one.
                ordered_json ordered = {{"clock", *clock}};
                ordered.update(machine);
                machine = ordered;
            }
        std::string refused;
        if (!keepRecordedAnswers(calls, &machine, &refused))
            throw RebuildError("the rebuilt machine is refused: " + refused);
        std::string text = machine.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
        if (!loadMachine(text, &refused))
            throw RebuildError("the rebuilt machine is refused: " + refused);
        return text + "\n";
    } catch (const RebuildError& e) {
        if (error)
            *error = std::string("capture cannot be rebuilt: ") + e.what();
    } catch (const nlohmann::json::exception& e) {
        if (error)
            *error = std::string("capture cannot be rebuilt: ") + e.what();
    }
    return {};
}

} // namespace

std::string machineFromCapture(const capture::CallList& calls, std::string* error) {
    return rebuiltMachine(calls, nullptr, error);
}

std::string machineFromCapture(const capture::Capture& capture, std::string* error) {
    return rebuiltMachine(capture.calls, &capture.header, error);
}

std::string machineOfCaptureFile(const std::string& path, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    if (!in || in.bad()) {
        if (error)
            *error = "cannot read capture " + path;
        return {};
    }
    std::string reason;
    std::string machine;
    if (std::optional<capture::Capture> capture = capture::readWholeCapture(content.str(), &reason))
        machine = machineFromCapture(*capture, &reason);
    if (machine.empty() && error)
        *error = path + ": " + reason;
    return machine;
}

} // namespace qir::sim
