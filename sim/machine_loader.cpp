#include "sim/machine_loader.h"

#include <cstdlib>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <sstream>

#include "capture/hex_text.h"
#include "capture/json_fields.h"

namespace qir::sim {

namespace {

using nlohmann::json;

using capture::JsonFields;
using capture::JsonRefusal;

[[noreturn]] void refuse(const std::string& where, const std::string& what) {
    capture::refuseJson(where, what);
}

int64_t integer(const json& value, const std::string& where, int64_t low, int64_t high) {
    return capture::jsonInteger(value, where, low, high);
}

// A record of exactly these two keys, both given.
void pairRecord(const json& record, const std::string& where, const char* first,
                const char* second) {
    JsonFields fields(record, where, {first, second});
    if (!fields.has(first) || !fields.has(second))
        refuse(where, std::string("needs \"") + first + "\" and \"" + second + "\"");
}

std::vector<uint8_t> hexBytes(const json& value, const std::string& where) {
    std::vector<uint8_t> bytes;
    std::string why;
    if (!capture::readTypedHex(capture::jsonString(value, where), &bytes, &why))
        refuse(where, why);
    return bytes;
}

platform::LocalTime parseClock(const std::string& value, const std::string& where) {
    platform::LocalTime t{};
    char tail = 0;
    if (std::sscanf(value.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &t.year, &t.month, &t.day, &t.hour,
                    &t.minute, &t.second, &tail) != 6 ||
        t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31 || t.hour > 23 || t.minute > 59 ||
        t.second > 59 || t.hour < 0 || t.minute < 0 || t.second < 0)
        refuse(where, "expected \"YYYY-MM-DD hh:mm:ss\"");
    return t;
}

uint8_t byteValue(const json& value, const std::string& where) {
    return static_cast<uint8_t>(integer(value, where, 0, 255));
}

GetInfoReply parseGetInfo(const json& j, const std::string& where) {
    JsonFields f(
        j, where,
        {"offset", "upgrade_support", "slot_count", "active_slot", "pending_slot", "records"});
    GetInfoReply g;
    if (const json* v = f.find("offset"))
        g.offset = static_cast<uint32_t>(integer(*v, where + ".offset", 0, 0x7FFFFFFF));
    if (const json* v = f.find("upgrade_support"))
        g.upgradeSupport = byteValue(*v, where + ".upgrade_support");
    if (const json* v = f.find("slot_count"))
        g.slotCount = byteValue(*v, where + ".slot_count");
    if (const json* v = f.find("active_slot"))
        g.activeSlot = byteValue(*v, where + ".active_slot");
    if (const json* v = f.find("pending_slot"))
        g.pendingSlot = byteValue(*v, where + ".pending_slot");
    if (const json* v = f.find("records")) {
        if (!v->is_array() || v->size() > 255)
            refuse(where + ".records", "must be an array of at most 255 records");
        g.records.emplace();
        for (size_t i = 0; i < v->size(); ++i) {
            std::string w = where + ".records[" + std::to_string(i) + "]";
            pairRecord((*v)[i], w, "number", "read_only");
            g.records->push_back(
                SlotRecordBytes{byteValue((*v)[i]["number"], w + ".number"),
                                byteValue((*v)[i]["read_only"], w + ".read_only")});
        }
    }
    return g;
}

DriveConfig parseDrive(const json& j, const std::string& where) {
    JsonFields f(j, where,
                 {"id", "vendor_id", "serial", "model", "firmware", "version", "fwug", "frmw",
                  "slots", "upgrade_support", "image_size", "activation", "detect_overlap",
                  "identify_bytes", "get_info", "staged"});
    DriveConfig c;
    const json* id = f.find("id");
    if (!id)
        refuse(where, "needs an \"id\"");
    c.id = capture::jsonString(*id, where + ".id");
    if (const json* v = f.find("vendor_id"))
        c.vendorId = static_cast<uint16_t>(integer(*v, where + ".vendor_id", 0, 0xFFFF));
    if (const json* v = f.find("serial"))
        c.serial = capture::jsonString(*v, where + ".serial");
    if (const json* v = f.find("model"))
        c.model = capture::jsonString(*v, where + ".model");
    if (const json* v = f.find("version")) {
        std::string s = capture::jsonString(*v, where + ".version");
        unsigned major = 0, minor = 0, tertiary = 0;
        char tail = 0;
        if (std::sscanf(s.c_str(), "%u.%u.%u%c", &major, &minor, &tertiary, &tail) != 3 ||
            major > 255 || minor > 255 || tertiary > 255)
            refuse(where + ".version", "expected \"major.minor.tertiary\"");
        c.versionMajor = static_cast<uint8_t>(major);
        c.versionMinor = static_cast<uint8_t>(minor);
        c.versionTertiary = static_cast<uint8_t>(tertiary);
    }
    if (const json* v = f.find("fwug"))
        c.fwug = static_cast<uint8_t>(integer(*v, where + ".fwug", 0, 255));
    if (const json* v = f.find("frmw"))
        c.frmw = static_cast<uint8_t>(integer(*v, where + ".frmw", 0, 255));
    c.slotCount = 1;
    if (const json* slots = f.find("slots")) {
        std::string w = where + ".slots";
        JsonFields sf(*slots, w,
                      {"count", "slot1_read_only", "revisions", "active", "pending", "digests"});
        if (const json* v = sf.find("revisions")) {
            if (!v->is_array())
                refuse(w + ".revisions", "must be an array");
            for (size_t i = 0; i < v->size(); ++i)
                c.revisions.push_back(
                    capture::jsonString((*v)[i], w + ".revisions[" + std::to_string(i) + "]"));
            c.slotCount = static_cast<int>(std::max<size_t>(1, c.revisions.size()));
        }
        if (const json* v = sf.find("count"))
            c.slotCount = static_cast<int>(integer(*v, w + ".count", 1, 7));
        if (c.revisions.size() > static_cast<size_t>(c.slotCount))
            refuse(w + ".revisions", "more revisions than slots");
        if (const json* v = sf.find("slot1_read_only"))
            c.slot1ReadOnly = capture::jsonFlag(*v, w + ".slot1_read_only");
        if (const json* v = sf.find("active"))
            c.activeSlot = static_cast<int>(integer(*v, w + ".active", 1, c.slotCount));
        if (const json* v = sf.find("pending"); v && !v->is_null())
            c.pendingSlot = static_cast<int>(integer(*v, w + ".pending", 1, c.slotCount));
        if (const json* v = sf.find("digests")) {
            if (!v->is_array() || v->size() > static_cast<size_t>(c.slotCount))
                refuse(w + ".digests", "must be an array of at most one digest per slot");
            for (size_t i = 0; i < v->size(); ++i)
                c.digests.push_back(
                    capture::jsonString((*v)[i], w + ".digests[" + std::to_string(i) + "]"));
        }
    }
    c.revisions.resize(static_cast<size_t>(c.slotCount));
    if (const json* v = f.find("firmware"))
        c.revisions[static_cast<size_t>(c.activeSlot - 1)] =
            capture::jsonString(*v, where + ".firmware");
    if (const json* v = f.find("upgrade_support"))
        c.upgradeSupport = capture::jsonFlag(*v, where + ".upgrade_support");
    if (const json* v = f.find("image_size"))
        c.imageSize = static_cast<uint32_t>(integer(*v, where + ".image_size", 4, 0x10000000));
    if (const json* v = f.find("activation")) {
        std::string a = capture::jsonString(*v, where + ".activation");
        if (a == "immediate")
            c.activation = Activation::Immediate;
        else if (a == "reset")
            c.activation = Activation::Reset;
        else if (a == "power_cycle")
            c.activation = Activation::PowerCycle;
        else
            refuse(where + ".activation", "expected \"immediate\", \"reset\" or \"power_cycle\"");
    }
    if (const json* v = f.find("detect_overlap"))
        c.detectOverlap = capture::jsonFlag(*v, where + ".detect_overlap");
    if (const json* v = f.find("identify_bytes")) {
        if (!v->is_array())
            refuse(where + ".identify_bytes", "must be an array");
        for (size_t i = 0; i < v->size(); ++i) {
            std::string w = where + ".identify_bytes[" + std::to_string(i) + "]";
            const json& e = (*v)[i];
            pairRecord(e, w, "offset", "hex");
            uint32_t offset = static_cast<uint32_t>(integer(e["offset"], w + ".offset", 0, 4095));
            std::vector<uint8_t> bytes = hexBytes(e["hex"], w + ".hex");
            if (offset + bytes.size() > 4096)
                refuse(w, "reaches past the 4096 bytes of Identify data");
            c.identifyBytes.emplace_back(offset, bytes);
        }
    }
    if (const json* v = f.find("get_info"))
        c.getInfo = parseGetInfo(*v, where + ".get_info");
    if (const json* v = f.find("staged")) {
        if (!v->is_array())
            refuse(where + ".staged", "must be an array");
        for (size_t i = 0; i < v->size(); ++i) {
            std::string w = where + ".staged[" + std::to_string(i) + "]";
            const json& e = (*v)[i];
            pairRecord(e, w, "offset", "size");
            uint64_t offset =
                static_cast<uint64_t>(integer(e["offset"], w + ".offset", 0, c.imageSize - 1));
            uint64_t size =
                static_cast<uint64_t>(integer(e["size"], w + ".size", 1, c.imageSize - offset));
            c.staged.emplace_back(offset, offset + size);
        }
    }
    return c;
}

// The power source as GetSystemPowerStatus would report it.
platform::PowerStatus parsePower(const json& j, const std::string& where) {
    JsonFields f(j, where, {"ac_line", "battery_present", "battery_percent"});
    platform::PowerStatus p{1, 128, 255};
    if (const json* v = f.find("ac_line")) {
        std::string line = capture::jsonString(*v, where + ".ac_line");
        if (line == "online")
            p.acLineStatus = 1;
        else if (line == "offline")
            p.acLineStatus = 0;
        else if (line == "unknown")
            p.acLineStatus = 255;
        else
            refuse(where + ".ac_line", "expected \"online\", \"offline\" or \"unknown\"");
    }
    bool battery = false;
    if (const json* v = f.find("battery_present"); v && v->is_null())
        p.batteryFlag = 255; // Windows cannot tell whether there is one
    else if (v)
        battery = capture::jsonFlag(*v, where + ".battery_present");
    std::optional<int> percent;
    if (const json* v = f.find("battery_percent"); v && !v->is_null())
        percent = static_cast<int>(integer(*v, where + ".battery_percent", 0, 100));
    if (percent && !battery)
        refuse(where + ".battery_percent", "only a battery that is present has a charge");
    if (battery) {
        // Windows sets the charge level's flag beside the percentage (0 between low and
        // high, and where it does not know the charge).
        p.batteryFlag = !percent ? 0 : *percent > 66 ? 1 : *percent < 5 ? 4 : *percent < 33 ? 2 : 0;
        p.batteryLifePercent = percent ? static_cast<uint8_t>(*percent) : 255;
    }
    return p;
}

struct Loader {
    SimMachine& m;
    std::map<std::string, int> driveIndex;

    int driveRef(const json& value, const std::string& where) {
        std::string id = capture::jsonString(value, where);
        auto it = driveIndex.find(id);
        if (it == driveIndex.end())
            refuse(where, "no drive with id \"" + id + "\"");
        return it->second;
    }

    VrocEntry vrocEntry(const json& j, const std::string& where) {
        JsonFields f(j, where, {"drive", "disk_id", "address", "model", "serial", "bytes"});
        VrocEntry e;
        if (const json* v = f.find("drive"))
            e.drive = driveRef(*v, where + ".drive");
        if (const json* v = f.find("bytes")) {
            if (f.find("disk_id") || f.find("address") || f.find("model") || f.find("serial"))
                refuse(where, "\"bytes\" holds the whole entry: no \"disk_id\", \"address\", "
                              "\"model\" or \"serial\" beside it");
            e.bytes = hexBytes(*v, where + ".bytes");
            if (e.bytes->size() != 108)
                refuse(where + ".bytes", "an entry is 108 bytes");
            e.diskId = static_cast<uint32_t>((*e.bytes)[0] | (*e.bytes)[1] << 8 |
                                             (*e.bytes)[2] << 16 | uint32_t{(*e.bytes)[3]} << 24);
            return e;
        }
        if (const json* v = f.find("disk_id"))
            e.diskId = static_cast<uint32_t>(integer(*v, where + ".disk_id", 0, 0xFFFFFFFF));
        if (const json* v = f.find("address"))
            e.address = static_cast<uint32_t>(integer(*v, where + ".address", 0, 0xFFFFFFFF));
        if (const json* v = f.find("model"))
            e.model = capture::jsonString(*v, where + ".model");
        if (const json* v = f.find("serial"))
            e.serial = capture::jsonString(*v, where + ".serial");
        return e;
    }

    std::vector<VrocEntry> vrocEntries(const json& j, const std::string& where) {
        if (!j.is_array())
            refuse(where, "must be an array");
        std::vector<VrocEntry> list;
        for (size_t i = 0; i < j.size(); ++i)
            list.push_back(vrocEntry(j[i], where + "[" + std::to_string(i) + "]"));
        return list;
    }

    RstController rst(const json& j, const std::string& where) {
        JsonFields f(j, where, {"ports", "raid_members"});
        RstController c;
        std::set<int64_t> seen;
        if (const json* ports = f.find("ports")) {
            if (!ports->is_array())
                refuse(where + ".ports", "must be an array");
            for (size_t i = 0; i < ports->size(); ++i) {
                std::string w = where + ".ports[" + std::to_string(i) + "]";
                const json& p = (*ports)[i];
                pairRecord(p, w, "path_id", "drive");
                int64_t pathId = integer(p["path_id"], w + ".path_id", 0, 255);
                if (!seen.insert(pathId).second)
                    refuse(w, "duplicate path_id " + std::to_string(pathId));
                c.ports.push_back(
                    RstPort{static_cast<uint8_t>(pathId), driveRef(p["drive"], w + ".drive")});
            }
        }
        if (const json* members = f.find("raid_members")) {
            if (!members->is_array())
                refuse(where + ".raid_members", "must be an array");
            for (size_t i = 0; i < members->size(); ++i)
                c.raidMembers.push_back(static_cast<uint8_t>(integer(
                    (*members)[i], where + ".raid_members[" + std::to_string(i) + "]", 0, 255)));
            if (c.raidMembers.size() > 255)
                refuse(where + ".raid_members", "more than 255 members");
        }
        return c;
    }

    VrocController vroc(const json& j, const std::string& where) {
        JsonFields f(j, where, {"raid_volumes", "non_raid"});
        VrocController c;
        if (const json* volumes = f.find("raid_volumes")) {
            if (!volumes->is_array())
                refuse(where + ".raid_volumes", "must be an array");
            for (size_t i = 0; i < volumes->size(); ++i) {
                std::string w = where + ".raid_volumes[" + std::to_string(i) + "]";
                JsonFields vf((*volumes)[i], w, {"members"});
                VrocVolume volume;
                if (const json* members = vf.find("members"))
                    volume.members = vrocEntries(*members, w + ".members");
                c.raidVolumes.push_back(volume);
            }
        }
        if (const json* list = f.find("non_raid"))
            c.nonRaid = vrocEntries(*list, where + ".non_raid");
        return c;
    }

    SimDevice device(const json& j, const std::string& where) {
        JsonFields f(j, where,
                     {"class", "instance_id", "parent_id", "hardware_ids", "interface_path",
                      "device_number", "driver_desc", "location_info", "missing", "open_error",
                      "driver", "drive", "rst", "scsi_port", "vroc", "dev_inst",
                      "interface_detail_error", "property_errors"});
        SimDevice d;
        const json* cls = f.find("class");
        if (!cls)
            refuse(where, "needs a \"class\"");
        std::string c = capture::jsonString(*cls, where + ".class");
        if (c == "disk")
            d.deviceClass = DeviceClass::Disk;
        else if (c == "storage_port")
            d.deviceClass = DeviceClass::StoragePort;
        else if (c == "scsi_port")
            d.deviceClass = DeviceClass::ScsiPort;
        else if (c == "other")
            d.deviceClass = DeviceClass::Other;
        else
            refuse(where + ".class",
                   "expected \"disk\", \"storage_port\", \"scsi_port\" or \"other\"");
        if (const json* v = f.find("instance_id"))
            d.instanceId = capture::jsonWide(*v, where + ".instance_id");
        if (const json* v = f.find("parent_id"))
            d.parentId = capture::jsonWide(*v, where + ".parent_id");
        if (const json* v = f.find("hardware_ids")) {
            if (!v->is_array())
                refuse(where + ".hardware_ids", "must be an array");
            d.hardwareIds.emplace();
            for (size_t i = 0; i < v->size(); ++i)
                d.hardwareIds->push_back(
                    capture::jsonWide((*v)[i], where + ".hardware_ids[" + std::to_string(i) + "]"));
        }
        if (const json* v = f.find("interface_path"))
            d.interfacePath = capture::jsonWide(*v, where + ".interface_path");
        if (const json* v = f.find("device_number"))
            d.deviceNumber =
                static_cast<uint32_t>(integer(*v, where + ".device_number", 0, 0x7FFFFFFF));
        if (const json* v = f.find("driver_desc"))
            d.driverDesc = capture::jsonWide(*v, where + ".driver_desc");
        if (const json* v = f.find("location_info"))
            d.locationInfo = capture::jsonWide(*v, where + ".location_info");
        if (const json* v = f.find("dev_inst"))
            d.devInst = static_cast<uint32_t>(integer(*v, where + ".dev_inst", 0, 0xFFFFFFFF));
        if (const json* v = f.find("interface_detail_error")) {
            if (d.deviceClass != DeviceClass::Disk && d.deviceClass != DeviceClass::StoragePort)
                refuse(where + ".interface_detail_error", "only disks and storage ports have one");
            d.interfaceDetailError = static_cast<uint32_t>(
                integer(*v, where + ".interface_detail_error", 1, 0xFFFFFFFF));
        }
        if (const json* v = f.find("open_error"))
            d.openError = static_cast<uint32_t>(integer(*v, where + ".open_error", 1, 0xFFFFFFFF));
        if (const json* v = f.find("missing")) {
            if (!v->is_array())
                refuse(where + ".missing", "must be an array");
            for (size_t i = 0; i < v->size(); ++i) {
                std::string name =
                    capture::jsonString((*v)[i], where + ".missing[" + std::to_string(i) + "]");
                if (name == "parent_id")
                    d.parentId.reset();
                else if (name == "instance_id")
                    d.instanceId.reset();
                else if (name == "driver_desc")
                    d.driverDesc.reset();
                else if (name == "location_info")
                    d.locationInfo.reset();
                else if (name == "hardware_ids")
                    d.hardwareIds.reset();
                else
                    refuse(where + ".missing", "unknown property \"" + name + "\"");
            }
        }
        if (const json* v = f.find("property_errors")) {
            std::string w = where + ".property_errors";
            if (!v->is_object())
                refuse(w, "must be an object");
            for (auto it = v->begin(); it != v->end(); ++it) {
                static const std::set<std::string> names = {
                    "parent_id", "instance_id", "driver_desc", "location_info", "hardware_ids"};
                if (!names.count(it.key()))
                    refuse(w, "unknown property \"" + it.key() + "\"");
                d.propertyErrors[it.key()] =
                    static_cast<uint32_t>(integer(it.value(), w + "." + it.key(), 1, 0xFFFFFFFF));
            }
        }
        if (const json* v = f.find("driver"); v && !v->is_null()) {
            std::string driver = capture::jsonString(*v, where + ".driver");
            if (driver == "inbox")
                d.driver = DriverType::Inbox;
            else if (driver == "rst")
                d.driver = DriverType::Rst;
            else if (driver == "vroc")
                d.driver = DriverType::Vroc;
            else
                refuse(where + ".driver", "expected \"inbox\", \"rst\", \"vroc\" or null");
        }
        if (const json* v = f.find("drive")) {
            if (d.driver != DriverType::Inbox || d.deviceClass != DeviceClass::Disk)
                refuse(where + ".drive", "only a disk of the inbox driver has a drive");
            d.drive = driveRef(*v, where + ".drive");
        }
        if (const json* v = f.find("rst")) {
            if (d.driver != DriverType::Rst || d.deviceClass != DeviceClass::StoragePort)
                refuse(where + ".rst", "only a storage port of the rst driver has a controller");
            d.rst = rst(*v, where + ".rst");
        }
        if (const json* v = f.find("scsi_port")) {
            if (d.deviceClass != DeviceClass::ScsiPort)
                refuse(where + ".scsi_port", "only a scsi_port device has a port number");
            d.scsiPort = static_cast<int>(integer(*v, where + ".scsi_port", 0, 255));
        } else if (d.deviceClass == DeviceClass::ScsiPort) {
            refuse(where, "a scsi_port device needs its \"scsi_port\" number");
        }
        if (const json* v = f.find("vroc")) {
            if (d.driver != DriverType::Vroc || d.deviceClass != DeviceClass::ScsiPort)
                refuse(where + ".vroc", "only a scsi_port of the vroc driver has a controller");
            d.vroc = vroc(*v, where + ".vroc");
        }
        return d;
    }

    SimFault fault(const json& j, const std::string& where) {
        JsonFields in(j, where,
                      {"kind", "occurrence", "path", "error", "return_code", "completion_status",
                       "fields", "interrupt"});
        SimFault f;
        if (!in.find("kind"))
            refuse(where, "needs a \"kind\"");
        const std::string kindName = capture::jsonString(j["kind"], where + ".kind");
        std::optional<RequestKind> kind = requestKindNamed(kindName);
        if (!kind || !faultable(*kind))
            refuse(where + ".kind", "unknown request kind \"" + kindName + "\"");
        f.kind = *kind;
        if (const json* v = in.find("occurrence")) {
            if (v->is_string() && v->get<std::string>() == "every")
                f.every = true;
            else
                f.occurrence =
                    static_cast<uint32_t>(integer(*v, where + ".occurrence", 1, 0xFFFFFFFF));
        }
        if (const json* v = in.find("path"))
            f.path = capture::jsonWide(*v, where + ".path");
        int effects = 0;
        if (const json* v = in.find("error")) {
            f.effect = FaultEffect::Error;
            f.value = static_cast<uint32_t>(integer(*v, where + ".error", 1, 0xFFFFFFFF));
            ++effects;
        }
        if (const json* v = in.find("return_code")) {
            f.effect = FaultEffect::ReturnCode;
            f.value =
                static_cast<uint32_t>(integer(*v, where + ".return_code", INT32_MIN, 0xFFFFFFFF));
            ++effects;
        }
        if (const json* v = in.find("completion_status")) {
            f.effect = FaultEffect::CompletionStatus;
            f.value = static_cast<uint32_t>(integer(*v, where + ".completion_status", 0, 0x7FFF));
            ++effects;
        }
        if (const json* v = in.find("fields")) {
            f.effect = FaultEffect::Fields;
            if (!v->is_object() || v->empty())
                refuse(where + ".fields", "must be an object naming reply fields");
            for (auto it = v->begin(); it != v->end(); ++it) {
                bool known = false;
                for (const std::string& name : replyFieldsOf(f.kind))
                    known = known || name == it.key() ||
                            (name == "identify:" && it.key().rfind(name, 0) == 0);
                if (!known)
                    refuse(where + ".fields",
                           "\"" + it.key() + "\" is not a reply field of " + kindName);
                f.fields.emplace_back(it.key(), integer(it.value(), where + ".fields." + it.key(),
                                                        INT64_MIN, INT64_MAX));
            }
            ++effects;
        }
        if (const json* v = in.find("interrupt")) {
            std::string how = capture::jsonString(*v, where + ".interrupt");
            if (how == "kill")
                f.effect = FaultEffect::Kill;
            else if (how == "power_cut")
                f.effect = FaultEffect::PowerCut;
            else
                refuse(where + ".interrupt", "expected \"kill\" or \"power_cut\"");
            ++effects;
        }
        if (effects != 1)
            refuse(where, "needs exactly one of \"error\", \"return_code\", \"completion_status\", "
                          "\"fields\", \"interrupt\"");
        if ((f.kind == RequestKind::Open || f.kind == RequestKind::GetClassDevs) &&
            f.effect != FaultEffect::Error && f.effect != FaultEffect::Kill &&
            f.effect != FaultEffect::PowerCut)
            refuse(where, kindName + " faults can only be an \"error\"");
        if (f.effect == FaultEffect::ReturnCode &&
            (f.kind == RequestKind::GetDeviceNumber || f.kind == RequestKind::StorageQuery))
            refuse(where, kindName + " has no ReturnCode; use \"error\" or \"fields\"");
        if (f.effect == FaultEffect::CompletionStatus && kindName.rfind("vroc.", 0) != 0)
            refuse(where, "a completion status belongs to a VROC pass-through request");
        return f;
    }

    void load(const json& root) {
        JsonFields top(root, "machine",
                       {"clock", "command_line", "module_handle_fails", "framework_startup_fails",
                        "devices", "drives", "faults", "answers", "update_running", "power"});
        if (const json* v = top.find("clock"))
            m.clock = parseClock(capture::jsonString(*v, "clock"), "clock");
        if (const json* v = top.find("command_line"))
            m.commandLine = capture::jsonWide(*v, "command_line");
        if (const json* v = top.find("module_handle_fails"))
            m.moduleHandleFails = capture::jsonFlag(*v, "module_handle_fails");
        if (const json* v = top.find("framework_startup_fails"))
            m.frameworkStartupFails = capture::jsonFlag(*v, "framework_startup_fails");
        if (const json* v = top.find("update_running"))
            m.updateRunning = capture::jsonFlag(*v, "update_running");
        if (const json* v = top.find("power"))
            m.power = parsePower(*v, "power");
        if (const json* drives = top.find("drives")) {
            if (!drives->is_array())
                refuse("drives", "must be an array");
            for (size_t i = 0; i < drives->size(); ++i) {
                DriveConfig c = parseDrive((*drives)[i], "drives[" + std::to_string(i) + "]");
                if (!driveIndex.emplace(c.id, static_cast<int>(m.drives.size())).second)
                    refuse("drives[" + std::to_string(i) + "]",
                           "duplicate drive id \"" + c.id + "\"");
                m.drives.emplace_back(c);
            }
        }
        if (const json* devices = top.find("devices")) {
            if (!devices->is_array())
                refuse("devices", "must be an array");
            std::set<uint32_t> numbers;
            std::set<uint32_t> instances;
            std::set<int> ports;
            for (size_t i = 0; i < devices->size(); ++i) {
                std::string where = "devices[" + std::to_string(i) + "]";
                SimDevice d = device((*devices)[i], where);
                if (d.deviceNumber && d.deviceClass == DeviceClass::Disk &&
                    !numbers.insert(*d.deviceNumber).second)
                    refuse(where, "duplicate device number " + std::to_string(*d.deviceNumber));
                uint32_t devInst = d.devInst ? *d.devInst : static_cast<uint32_t>(i) + 1;
                if (!instances.insert(devInst).second)
                    refuse(where, "duplicate dev_inst " + std::to_string(devInst));
                if (d.scsiPort && !ports.insert(*d.scsiPort).second)
                    refuse(where, "duplicate scsi_port " + std::to_string(*d.scsiPort));
                m.devices.push_back(std::move(d));
            }
        }
        if (const json* faults = top.find("faults")) {
            if (!faults->is_array())
                refuse("faults", "must be an array");
            for (size_t i = 0; i < faults->size(); ++i)
                m.faults.push_back(fault((*faults)[i], "faults[" + std::to_string(i) + "]"));
        }
        std::string why;
        if (const json* answers = top.find("answers");
            answers && !readRecordedAnswers(*answers, &m.answers.list, &why))
            throw JsonRefusal(why);
    }
};

} // namespace

std::unique_ptr<SimMachine> loadMachine(const std::string& jsonText, std::string* error) {
    auto machine = std::make_unique<SimMachine>();
    try {
        json root = json::parse(jsonText);
        Loader{*machine, {}}.load(root);
    } catch (const json::exception& e) {
        if (error)
            *error = std::string("machine description is not valid JSON: ") + e.what();
        return nullptr;
    } catch (const JsonRefusal& e) {
        if (error)
            *error = std::string("machine description: ") + e.what();
        return nullptr;
    }
    return machine;
}

std::unique_ptr<SimMachine> loadMachineFile(const std::string& path, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error)
            *error = "cannot read machine description " + path;
        return nullptr;
    }
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad()) {
        if (error)
            *error = "cannot read machine description " + path;
        return nullptr;
    }
    std::unique_ptr<SimMachine> machine = loadMachine(content.str(), error);
    if (!machine && error)
        *error = path + ": " + *error;
    return machine;
}

} // namespace qir::sim
