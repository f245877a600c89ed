#include "sim/machine_generator.h"

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <set>
#include <vector>

#include "platform/guid_text.h"
#include "platform/win_constants.h"

namespace qir::sim {

namespace {

using nlohmann::ordered_json;

// splitmix64: a generator whose every step is spelled out here, so that a series is the
// same on every compiler and standard library (the standard distributions are not).
class Draw {
  public:
    explicit Draw(uint64_t seed) : state_(seed) {}

    uint64_t next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    uint32_t below(uint32_t n) { return n ? static_cast<uint32_t>(next() % n) : 0; }
    uint32_t between(uint32_t low, uint32_t high) { return low + below(high - low + 1); }
    bool chance(uint32_t percent) { return below(100) < percent; }
    template <typename T, size_t N> const T& pick(const T (&list)[N]) { return list[below(N)]; }
    template <typename T> const T& pick(const std::vector<T>& list) {
        return list[below(static_cast<uint32_t>(list.size()))];
    }

  private:
    uint64_t state_;
};

std::string hex4(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%X", static_cast<unsigned>(value));
    return text;
}

// An interface path as Windows makes one of an instance id: lower case, '#' for '\\'.
std::string pathOf(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        else if (c == '\\')
            c = '#';
    return text;
}

const std::string kDiskClass = platform::guidPathText(win::GUID_DEVINTERFACE_DISK);
const std::string kPortClass = platform::guidPathText(win::GUID_DEVINTERFACE_STORAGEPORT);

class Generator {
  public:
    Generator(uint64_t seed, uint64_t index, const GeneratorOptions& options)
        : draw_(seed * 0x100000001B3ull ^ (index + 1) * 0x9E3779B97F4A7C15ull),
          wine_(options.profile == GeneratorProfile::Wine) {}

    ordered_json machine() {
        ordered_json m;
        char clock[32];
        std::snprintf(clock, sizeof clock, "%04u-%02u-%02u %02u:%02u:%02u",
                      draw_.between(2025, 2030), draw_.between(1, 12), draw_.between(1, 28),
                      draw_.below(24), draw_.below(60), draw_.below(60));
        m["clock"] = clock;
        uint32_t others = draw_.below(3);
        for (uint32_t i = 0; i < others; ++i)
            other();
        bool rst = draw_.chance(35), vroc = draw_.chance(30);
        if (rst && vroc && draw_.chance(50))
            std::swap(rst, vroc), vrocFirst_ = true;
        if (vrocFirst_) {
            vrocMachine();
            rstMachine();
        } else {
            if (rst)
                rstMachine();
            if (vroc)
                vrocMachine();
        }
        uint32_t inbox = draw_.below(rst || vroc ? 3 : 5);
        for (uint32_t i = 0; i < inbox; ++i)
            inboxDisk();
        if (draw_.chance(20))
            other();
        faults();
        if (!wine_ && draw_.chance(15))
            ownInstances();
        m["devices"] = devices_;
        m["drives"] = drives_;
        m["faults"] = faults_;
        return m;
    }

  private:
    // ---- Drives ------------------------------------------------------------------------

    std::string drive() {
        std::string id = "d" + std::to_string(drives_.size() + 1);
        ordered_json d;
        d["id"] = id;
        bool maker = draw_.chance(88);
        if (!maker)
            d["vendor_id"] = draw_.chance(50) ? "0x144D" : "0x8086";
        static const char* const kModels[] = {"KORVANE TX7Q3 1TB", "KORVANE TX7Q3 2TB",
                                              "KORVANE TX7Q3 512GB", "KORVANE TX9 4TB"};
        d["model"] = maker ? draw_.pick(kModels) : "OTHER NVMe SSD 970";
        static const char* const kSerials[] = {"KV24", "KV25", "S5GX", "KV\xc3\xa9", "KV\x01 "};
        d["serial"] = std::string(draw_.pick(kSerials)) + std::to_string(draw_.between(1000, 9999));
        static const char* const kRevisions[] = {"VDL7W2QA", "VDL4J9QB", "VDL9K2QC", "VDL7W2QA",
                                                 "VDL4J9QB", "VDL9X1QZ", "2B2QEXM7", "VDL7W2"};
        d["firmware"] = draw_.pick(kRevisions);
        static const char* const kVersions[] = {"1.3.0", "1.3.0", "1.4.0", "1.2.1", "1.0.0"};
        d["version"] = draw_.pick(kVersions);
        static const uint32_t kGranularities[] = {8, 8, 1, 0, 16, 255, 3};
        d["fwug"] = draw_.pick(kGranularities);
        uint32_t count = draw_.between(1, 7);
        ordered_json slots = {{"count", count}, {"slot1_read_only", draw_.chance(60)}};
        if (draw_.chance(20))
            slots["active"] = draw_.between(1, count);
        d["slots"] = slots;
        static const char* const kActivations[] = {"reset", "reset", "immediate", "power_cycle"};
        d["activation"] = draw_.pick(kActivations);
        if (draw_.chance(10))
            d["upgrade_support"] = false;
        if (draw_.chance(15))
            d["get_info"] = getInfo(count);
        if (draw_.chance(10)) {
            static const uint32_t kOffsets[] = {0x104, 0x105, 0x13F, 0x200, 0xC00};
            std::string hex;
            for (uint32_t k = draw_.between(1, 4); k > 0; --k)
                hex += hex4(0x100 | draw_.below(256)).substr(1);
            d["identify_bytes"] = {{{"offset", draw_.pick(kOffsets)}, {"hex", hex}}};
        }
        midRollout(d, count);
        drives_.push_back(d);
        return id;
    }

    // What an earlier run may have left in the drive: an image waiting for a restart in
    // one of its slots, pieces downloaded and never committed, and the drive's way with
    // pieces that overlap those.
    void midRollout(ordered_json& d, uint32_t count) {
        if (count >= 2 && draw_.chance(12)) {
            uint32_t pending = draw_.between(2, count);
            std::vector<std::string> revisions(count);
            static const char* const kWritten[] = {"VDL9K2QC", "VDL9K2QC", "VDL4J9QB"};
            revisions[pending - 1] = draw_.pick(kWritten);
            d["slots"]["revisions"] = revisions;
            d["slots"]["pending"] = pending;
        }
        if (draw_.chance(8))
            d["staged"] = {{{"offset", 0}, {"size", 4096 * draw_.between(1, 64)}}};
        if (draw_.chance(20))
            d["detect_overlap"] = true;
    }

    ordered_json getInfo(uint32_t count) {
        ordered_json g;
        if (draw_.chance(30))
            g["offset"] = draw_.pick({56u, 64u, 72u, 4000u});
        if (draw_.chance(30))
            g["upgrade_support"] = draw_.pick({0u, 2u, 255u});
        if (draw_.chance(30))
            g["slot_count"] = draw_.pick({0u, 1u, 7u, 9u, 255u});
        if (draw_.chance(25))
            g["active_slot"] = draw_.pick({0u, 2u, 255u});
        if (draw_.chance(25))
            g["pending_slot"] = draw_.pick({1u, 2u, 0u});
        if (g.empty() || draw_.chance(30)) {
            ordered_json records = ordered_json::array();
            for (uint32_t k = draw_.between(0, std::min<uint32_t>(count + 1, 7)); k > 0; --k)
                records.push_back(
                    {{"number", draw_.between(0, 8)}, {"read_only", draw_.chance(40) ? 1 : 0}});
            g["records"] = records;
        }
        return g;
    }

    static uint32_t pickOf(Draw& d, std::initializer_list<uint32_t> list) {
        return *(list.begin() + d.below(static_cast<uint32_t>(list.size())));
    }

    // ---- Devices -----------------------------------------------------------------------

    std::string tag() { return hex4(0x1000000 + draw_.below(0xFFFFFF)).substr(1); }

    // The odd answers any device may give: properties absent or failing, opens refused.
    void odd(ordered_json& d, bool interfaced) {
        static const char* const kNames[] = {"parent_id", "instance_id", "driver_desc",
                                             "location_info", "hardware_ids"};
        if (draw_.chance(10)) {
            std::string name = draw_.pick(kNames);
            d["missing"] = {name};
            // Wine's SetupAPI names a device by its instance id, answered or not.
            if (d.contains(name) && !wine_)
                d.erase(name);
        }
        if (!wine_ && draw_.chance(5))
            d["property_errors"] = {{draw_.pick(kNames), draw_.pick({13u, 31u, 87u, 1168u})}};
        // Wine's kernel lets a driver refuse no open: only a path that is not there (2) or
        // that leads nowhere (3) fails there.
        if (draw_.chance(6))
            d["open_error"] = wine_ ? draw_.pick({2u, 3u, 2u, 3u}) : draw_.pick({5u, 32u, 2u, 21u});
        if (!wine_ && interfaced && draw_.chance(4)) {
            d["interface_detail_error"] = draw_.pick({13u, 87u, 31u});
            if (draw_.chance(50))
                d.erase("interface_path");
        }
    }

    void other() {
        ordered_json d = {{"class", "other"}};
        if (draw_.chance(60))
            // Wine lists only ids of three parts.
            d["instance_id"] = "ACPI\\PNP" + tag() + (wine_ ? "\\0" : "");
        if (draw_.chance(50))
            d["location_info"] =
                "Bus Number " + std::to_string(draw_.below(8)) + ", Target Id 0, LUN 0";
        odd(d, false);
        devices_.push_back(d);
    }

    uint32_t deviceNumber() {
        uint32_t n = draw_.chance(90) ? nextNumber_++ : draw_.between(8, 40);
        while (!numbers_.insert(n).second)
            n = nextNumber_++;
        return n;
    }

    ordered_json disk(const std::string& vendor, const std::string& instance,
                      const std::string& parent, const std::string& product) {
        ordered_json d = {{"class", "disk"}, {"instance_id", instance}, {"parent_id", parent}};
        d["hardware_ids"] = {"SCSI\\Disk" + vendor + "____" + product, "GenDisk"};
        d["interface_path"] = "\\\\?\\" + pathOf(instance) + "#" + kDiskClass;
        if (draw_.chance(95))
            d["device_number"] = deviceNumber();
        return d;
    }

    void inboxDisk() {
        bool maker = draw_.chance(80);
        std::string parent = maker ? "PCI\\VEN_1D7A&DEV_5017&SUBSYS_50171D7A\\6&" + tag()
                                   : "PCI\\VEN_144D&DEV_A808\\4&" + tag();
        ordered_json d =
            disk("NVMe", "SCSI\\DISK&VEN_NVME&PROD_KORVANE\\5&" + tag(), parent, "KORVANE_TX7Q3");
        if (draw_.chance(92)) {
            d["driver"] = "inbox";
            d["drive"] = drive();
        } else {
            d["driver"] = nullptr;
        }
        odd(d, true);
        devices_.push_back(d);
    }

    ordered_json intelPort(const std::string& description) {
        std::string instance =
            "PCI\\VEN_8086&DEV_" + hex4(draw_.between(0x2800, 0x28FF)) + "\\3&" + tag();
        ordered_json d = {{"class", "storage_port"},
                          {"instance_id", instance},
                          {"interface_path", "\\\\?\\" + pathOf(instance) + "#" + kPortClass},
                          {"driver_desc", description}};
        return d;
    }

    void rstMachine() {
        static const char* const kDescriptions[] = {
            "Intel(R) Chipset SATA/PCIe RST Premium Controller",
            "Intel(R) Chipset SATA/PCIe RST Premium Controller", "Intel(R) RAID Controller",
            "Intel(R) Standard SATA AHCI Controller"};
        ordered_json port = intelPort(draw_.pick(kDescriptions));
        std::string parent = port["instance_id"];
        port["driver"] = "rst";
        ordered_json ports = ordered_json::array();
        std::vector<uint32_t> pathIds;
        for (uint32_t k = draw_.between(0, 5); k > 0; --k) {
            uint32_t pathId = draw_.below(8);
            if (std::find(pathIds.begin(), pathIds.end(), pathId) != pathIds.end())
                continue;
            pathIds.push_back(pathId);
            ports.push_back({{"path_id", pathId}, {"drive", drive()}});
        }
        ordered_json members = ordered_json::array();
        std::vector<uint32_t> shuffled = pathIds;
        for (size_t k = shuffled.size(); k > 1; --k)
            std::swap(shuffled[k - 1], shuffled[draw_.below(static_cast<uint32_t>(k))]);
        uint32_t memberCount = draw_.below(static_cast<uint32_t>(shuffled.size()) + 1);
        for (uint32_t k = 0; k < memberCount; ++k)
            members.push_back(shuffled[k]);
        if (draw_.chance(5))
            members.push_back(draw_.below(8)); // a member the controller has no drive for
        port["rst"] = {{"ports", ports}, {"raid_members", members}};
        odd(port, true);
        devices_.push_back(port);
        if (!members.empty())
            devices_.push_back(disk("Intel", "SCSI\\DISK&VEN_INTEL&PROD_RAID_1_VOLUME\\4&" + tag(),
                                    parent, "Raid_1_Volume"));
        for (uint32_t pathId : pathIds) {
            if (std::find(members.begin(), members.end(), pathId) != members.end() ||
                draw_.chance(15))
                continue;
            ordered_json d =
                disk("NVMe", "SCSI\\DISK&VEN_NVME&PROD_KORVANE\\4&" + tag(), parent, "KORVANE");
            d["location_info"] = "Bus Number " + std::to_string(draw_.chance(90) ? pathId : 9) +
                                 ", Target Id 0, LUN 0";
            odd(d, true);
            devices_.push_back(d);
        }
    }

    ordered_json vrocEntry(uint32_t diskId) {
        ordered_json e;
        if (draw_.chance(88))
            e["drive"] = drive();
        if (draw_.chance(8)) {
            std::string bytes = hex4(0x100 | diskId).substr(1) + "000000";
            for (size_t k = 4; k < 108; ++k)
                bytes += draw_.chance(70) ? "00" : hex4(0x100 | draw_.below(256)).substr(1);
            e["bytes"] = bytes;
            return e;
        }
        e["disk_id"] = diskId;
        e["address"] = draw_.below(0x40000);
        if (draw_.chance(8))
            e["serial"] = draw_.chance(50) ? "override"
                                           : "S\xc3\xbf"
                                             "1";
        if (draw_.chance(5))
            e["model"] = "VROC  MODEL ";
        return e;
    }

    void vrocMachine() {
        ordered_json port = intelPort("Intel(R) Virtual RAID on CPU Controller");
        port["driver"] = "vroc";
        std::string parent = port["instance_id"];
        odd(port, true);
        devices_.push_back(port);
        bool volume = false;
        for (uint32_t n = 0, ports = draw_.between(1, 3); n < 16 && ports > 0; ++n) {
            if (!draw_.chance(n == 0 ? 60 : 25))
                continue;
            --ports;
            ordered_json d = {{"class", "scsi_port"}, {"scsi_port", n}};
            if (draw_.chance(50))
                d["instance_id"] = "ROOT\\SCSIPORT\\" + std::to_string(n);
            uint32_t kind = draw_.below(10);
            if (kind == 0) {
                d["driver"] = nullptr;
            } else if (kind == 1) {
                d["open_error"] = wine_ ? 3u : draw_.pick({5u, 32u, 21u});
            } else {
                d["driver"] = "vroc";
                uint32_t diskId = draw_.between(0, 3);
                ordered_json raid = ordered_json::array();
                for (uint32_t v = draw_.between(0, 2); v > 0; --v) {
                    ordered_json members = ordered_json::array();
                    for (uint32_t k = draw_.between(0, 3); k > 0; --k)
                        members.push_back(vrocEntry(diskId++));
                    raid.push_back({{"members", members}});
                    volume = true;
                }
                ordered_json nonRaid = ordered_json::array();
                for (uint32_t k = draw_.between(0, 3); k > 0; --k)
                    nonRaid.push_back(vrocEntry(diskId += draw_.between(1, 2)));
                d["vroc"] = {{"raid_volumes", raid}, {"non_raid", nonRaid}};
            }
            scsiPorts_.push_back(n);
            devices_.push_back(d);
        }
        // The tool turns to the VROC ports only for a disk below the controller.
        if (volume)
            devices_.push_back(disk("Intel", "SCSI\\DISK&VEN_INTEL&PROD_RAID_1_VOLUME\\4&" + tag(),
                                    parent, "Raid_1_Volume"));
        else if (draw_.chance(75))
            devices_.push_back(
                disk("NVMe", "SCSI\\DISK&VEN_NVME&PROD_KORVANE\\4&" + tag(), parent, "KORVANE"));
    }

    // ---- Faults ------------------------------------------------------------------------

    std::vector<std::string> pathsOf(const char* deviceClass) const {
        std::vector<std::string> paths;
        for (const ordered_json& d : devices_) {
            if (d["class"] != deviceClass)
                continue;
            if (d.contains("interface_path"))
                paths.push_back(d["interface_path"]);
            if (d.contains("device_number"))
                paths.push_back("\\\\.\\PHYSICALDRIVE" +
                                std::to_string(d["device_number"].get<int>()));
            if (d.contains("scsi_port"))
                paths.push_back("\\\\.\\Scsi" + std::to_string(d["scsi_port"].get<int>()) + ":");
        }
        return paths;
    }

    void faults() {
        std::vector<std::string> disks = pathsOf("disk"), ports = pathsOf("storage_port"),
                                 scsi = pathsOf("scsi_port");
        for (uint32_t k = draw_.between(0, 4); k > 0; --k) {
            ordered_json f;
            const std::vector<std::string>* paths = &disks;
            switch (draw_.below(wine_ ? 9 : 10)) {
            case 0:
                f = {{"kind", "open"}, {"error", pickOf(draw_, {5, 32, 2})}};
                paths = draw_.chance(50) ? &disks : &scsi;
                break;
            case 1:
                f = {{"kind", "get_device_number"}};
                if (draw_.chance(40))
                    f["error"] = pickOf(draw_, {31, 1, 1117});
                else
                    f["fields"] = {{draw_.chance(50) ? "DeviceNumber" : "DeviceType",
                                    pickOf(draw_, {0xFFFFFFFF, 0, 1, 2, 7})}};
                break;
            case 2:
                f = {{"kind", "storage_query"}};
                if (draw_.chance(40))
                    f["error"] = pickOf(draw_, {31, 1117, 1, 122});
                else if (draw_.chance(50))
                    f["fields"] = {
                        {draw_.chance(50) ? "Version" : "Size", pickOf(draw_, {0, 8, 4096})}};
                else
                    f["fields"] = {
                        {"identify:" + std::to_string(pickOf(draw_, {64, 71, 260, 319, 4})),
                         draw_.below(256)}};
                break;
            case 3:
                f = {{"kind", "inbox.get_info"}};
                if (draw_.chance(30))
                    f["error"] = pickOf(draw_, {31, 1, 122});
                else if (draw_.chance(30))
                    f["return_code"] = pickOf(draw_, {1, 7, 0x20});
                else
                    f["fields"] = {
                        {draw_.pick({"DataBufferOffset", "DataBufferLength", "UpgradeSupport",
                                     "SlotCount", "ActiveSlot", "PendingActivateSlot"}),
                         pickOf(draw_, {0, 1, 255, 4000, 0xFFFFFFFF})}};
                break;
            case 4:
                f = {{"kind", "csmi"}};
                paths = &ports;
                if (draw_.chance(35))
                    f["error"] = pickOf(draw_, {1, 31, 1117});
                else if (draw_.chance(25))
                    f["return_code"] = pickOf(draw_, {1, 0x3E8, 3});
                else
                    f["fields"] = {{"bDriveCount", pickOf(draw_, {0, 1, 2, 3, 33, 255})}};
                break;
            case 5:
                f = {{"kind", "rst.identify"}};
                paths = &ports;
                if (draw_.chance(40))
                    f["error"] = pickOf(draw_, {1117, 31, 1});
                else if (draw_.chance(40))
                    f["return_code"] = pickOf(draw_, {1, 2});
                else
                    f["fields"] = {{"identify:" + std::to_string(pickOf(draw_, {64, 260, 319})),
                                    draw_.below(256)}};
                break;
            case 6: {
                static const char* const kCounts[] = {"vroc.raid_count", "vroc.non_raid_count"};
                f = {{"kind", draw_.pick(kCounts)}};
                paths = &scsi;
                if (draw_.chance(25))
                    f["error"] = pickOf(draw_, {1, 31});
                else
                    f["fields"] = {{"count", static_cast<int64_t>(static_cast<int32_t>(pickOf(
                                                 draw_, {0xFFFFFFFF, 0, 1, 2, 255, 0x7FFFFFFF})))}};
                break;
            }
            case 7:
                f = {{"kind",
                      draw_.pick({"vroc.volume_info", "vroc.member_list", "vroc.non_raid_list"})}};
                paths = &scsi;
                if (f["kind"] == "vroc.volume_info" && draw_.chance(70))
                    f["fields"] = {{"member_count", pickOf(draw_, {0, 1, 3, 255, 0xFFFFFFFF})}};
                else if (draw_.chance(40))
                    f["error"] = pickOf(draw_, {1, 31});
                else if (f["kind"] != "vroc.volume_info")
                    f["fields"] = {{"ReturnCode", pickOf(draw_, {1, 14})}};
                else
                    f["error"] = 31;
                break;
            case 8:
                f = {{"kind", "vroc.identify"}};
                paths = &scsi;
                if (draw_.chance(30))
                    f["error"] = pickOf(draw_, {1, 31});
                else if (draw_.chance(30))
                    f["return_code"] = pickOf(draw_, {1, 14});
                else if (draw_.chance(50))
                    f["completion_status"] = pickOf(draw_, {0x2, 0x6, 0x10B});
                else
                    f["fields"] = {{"identify:" + std::to_string(pickOf(draw_, {64, 260, 319})),
                                    draw_.below(256)}};
                break;
            default:
                f = {{"kind", "get_class_devs"}, {"error", 13}};
                paths = nullptr;
                break;
            }
            uint32_t occurrence = draw_.below(10);
            if (occurrence == 0)
                f["occurrence"] = "every";
            else if (occurrence > 6)
                f["occurrence"] = occurrence - 5;
            if (paths && !paths->empty() && draw_.chance(70))
                f["path"] = draw_.pick(*paths);
            // Under Wine an open can only be made to fail for good, before it reaches the
            // driver, on a path of its own.
            if (wine_ && f["kind"] == "open") {
                if (!f.contains("path"))
                    continue;
                f["occurrence"] = "every";
                f["error"] = f["error"] == 5 ? 3 : 2;
            }
            faults_.push_back(f);
        }
    }

    // Instance numbers of the description's own, in any order but unique.
    void ownInstances() {
        std::vector<uint32_t> numbers;
        for (size_t k = 0; k < devices_.size(); ++k)
            numbers.push_back(static_cast<uint32_t>(k + 1) * draw_.between(1, 3) + 100);
        std::sort(numbers.begin(), numbers.end());
        numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
        for (size_t k = numbers.size(); k > 1; --k)
            std::swap(numbers[k - 1], numbers[draw_.below(static_cast<uint32_t>(k))]);
        for (size_t k = 0; k < devices_.size() && k < numbers.size(); ++k)
            devices_[k]["dev_inst"] = numbers[k];
    }

    Draw draw_;
    bool wine_;
    bool vrocFirst_ = false;
    ordered_json devices_ = ordered_json::array();
    ordered_json drives_ = ordered_json::array();
    ordered_json faults_ = ordered_json::array();
    std::set<uint32_t> numbers_;
    uint32_t nextNumber_ = 0;
    std::vector<uint32_t> scsiPorts_;
};

} // namespace

std::string generatedMachine(uint64_t seed, uint64_t index, const GeneratorOptions& options) {
    return Generator(seed, index, options).machine().dump(1) + "\n";
}

bool generatorProfileNamed(const std::string& name, GeneratorProfile* profile) {
    if (name == "full")
        *profile = GeneratorProfile::Full;
    else if (name == "wine")
        *profile = GeneratorProfile::Wine;
    else
        return false;
    return true;
}

} // namespace qir::sim
