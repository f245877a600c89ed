#include "bench/bench_machines.h"

#include <vector>

namespace qir::bench {

namespace {

// The RST driver addresses a drive by a one-byte PathId and VROC reaches at most this
// many drives per list in the sim's description.
constexpr int kMaxControllerDrives = 255;

std::string number(int n) {
    return std::to_string(n);
}

std::string drive(const std::string& id, bool eligible, int fwug) {
    return R"({"id": ")" + id + R"(", "serial": "KVB)" + id +
           R"(", "model": "KORVANE TX7Q3 1TB",)" + R"( "firmware": ")" +
           (eligible ? "VDL7W2QA" : "VDL9X1QZ") + R"(", "fwug": )" + number(fwug) +
           R"(, "slots": {"count": 2, "slot1_read_only": true}})";
}

std::string diskInterface(const std::string& tag) {
    return R"(\\\\?\\scsi#disk&ven_nvme&prod_korvane#)" + tag +
           R"(#{53f56307-b6bf-11d0-94f2-00a0c91efb8b})";
}

std::string inboxDisk(int n, int deviceNumber) {
    const std::string tag = "5&" + number(n) + "&0";
    return R"({"class": "disk", "instance_id": "SCSI\\DISK&VEN_NVME&PROD_KORVANE\\)" + tag +
           R"(", "parent_id": "PCI\\VEN_1D7A&DEV_5017\\6&)" + number(n) +
           R"(", "hardware_ids": ["SCSI\\DiskNVMe____KORVANE", "GenDisk"], "interface_path": ")" +
           diskInterface(tag) + R"(", "device_number": )" + number(deviceNumber) +
           R"(, "driver": "inbox", "drive": "inbox)" + number(n) + R"("})";
}

const char kIntelParent[] = R"(PCI\\VEN_8086&DEV_2822\\3&1)";

std::string raidVolumeDisk(int deviceNumber) {
    return R"({"class": "disk", "instance_id": "SCSI\\DISK&VEN_INTEL&PROD_RAID_1_VOLUME\\4&1&0",)"
           R"( "parent_id": ")" +
           std::string(kIntelParent) + R"(", "interface_path": ")" + diskInterface("4&1&0") +
           R"(", "device_number": )" + number(deviceNumber) + "}";
}

std::string passThroughDisk(int pathId, int deviceNumber) {
    const std::string tag = "4&2&" + number(pathId);
    return R"({"class": "disk", "instance_id": "SCSI\\DISK&VEN_NVME&PROD_KORVANE\\)" + tag +
           R"(", "parent_id": ")" + kIntelParent + R"(", "interface_path": ")" +
           diskInterface(tag) + R"(", "location_info": "Bus Number )" + number(pathId) +
           R"(, Target Id 0, LUN 0", "device_number": )" + number(deviceNumber) + "}";
}

std::string storagePort(const std::string& description, const std::string& driver,
                        const std::string& rst) {
    return R"({"class": "storage_port", "instance_id": ")" + std::string(kIntelParent) +
           R"(", "interface_path": "\\\\?\\pci#ven_8086&dev_2822#3&1#{2accfe60-c130-11d2-b082-00a0c91efb8b}",)"
           R"( "driver_desc": ")" +
           description + R"(", "driver": ")" + driver + "\"" + rst + "}";
}

std::string otherDevice(int n) {
    return R"({"class": "other", "instance_id": "ROOT\\OTHER\\)" + number(n) +
           R"(", "parent_id": "ROOT\\)" + number(n) + R"("})";
}

std::string joined(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items)
        text += (text.empty() ? "\n    " : ",\n    ") + item;
    return text;
}

} // namespace

int driveCountOf(const MachineShape& s) {
    return s.inboxDisks + s.rstRaidMembers + s.rstPassThrough + s.vrocRaidMembers + s.vrocNonRaid;
}

int deviceCountOf(const MachineShape& s) {
    const bool rst = s.rstRaidMembers + s.rstPassThrough > 0;
    const bool vroc = s.vrocRaidMembers + s.vrocNonRaid > 0;
    return s.inboxDisks + (rst || vroc ? 1 : 0) + (s.rstRaidMembers > 0 || vroc ? 1 : 0) +
           s.rstPassThrough + (vroc ? 1 : 0) + s.otherDevices;
}

std::string machineDescription(const MachineShape& s) {
    const bool rst = s.rstRaidMembers + s.rstPassThrough > 0;
    const bool vroc = s.vrocRaidMembers + s.vrocNonRaid > 0;
    // The VROC driver lists its non-RAID drives only on a port without RAID volumes.
    if ((rst && vroc) || (s.vrocRaidMembers > 0 && s.vrocNonRaid > 0) ||
        s.rstRaidMembers + s.rstPassThrough > kMaxControllerDrives ||
        s.vrocRaidMembers > kMaxControllerDrives || s.vrocNonRaid > kMaxControllerDrives)
        return "";

    std::vector<std::string> drives;
    std::vector<std::string> listed; // devices the tool looks at, in device tree order
    int deviceNumber = 0;
    if (rst) {
        std::string ports, members;
        for (int i = 0; i < s.rstRaidMembers + s.rstPassThrough; ++i) {
            const std::string id = "rst" + number(i);
            drives.push_back(drive(id, s.eligible, 8));
            ports += (i ? ", " : "") + std::string(R"({"path_id": )") + number(i) +
                     R"(, "drive": ")" + id + "\"}";
            if (i < s.rstRaidMembers)
                members += (i ? ", " : "") + number(i);
        }
        listed.push_back(storagePort("Intel(R) Chipset SATA/PCIe RST Premium Controller", "rst",
                                     R"(, "rst": {"ports": [)" + ports + R"(], "raid_members": [)" +
                                         members + "]}"));
        if (s.rstRaidMembers > 0)
            listed.push_back(raidVolumeDisk(deviceNumber++));
        for (int i = s.rstRaidMembers; i < s.rstRaidMembers + s.rstPassThrough; ++i)
            listed.push_back(passThroughDisk(i, deviceNumber++));
    }
    if (vroc) {
        std::string volume, nonRaid;
        for (int i = 0; i < s.vrocRaidMembers + s.vrocNonRaid; ++i) {
            const std::string id = "vroc" + number(i);
            // The VROC route sends 4 KiB pieces whatever the drive's granularity.
            drives.push_back(drive(id, s.eligible, 1));
            const std::string entry = R"({"drive": ")" + id + R"(", "disk_id": )" + number(i + 1) +
                                      R"(, "address": )" + number(i + 1) + "}";
            std::string& list = i < s.vrocRaidMembers ? volume : nonRaid;
            list += (list.empty() ? "" : ", ") + entry;
        }
        listed.push_back(storagePort("Intel(R) Virtual RAID on CPU Controller", "vroc", ""));
        listed.push_back(raidVolumeDisk(deviceNumber++));
        listed.push_back(
            R"({"class": "scsi_port", "scsi_port": 0, "instance_id": "PCI\\VEN_8086&DEV_201D\\VROC",)"
            R"( "driver": "vroc", "vroc": {"raid_volumes": [)" +
            (volume.empty() ? std::string() : R"({"members": [)" + volume + "]}") +
            R"(], "non_raid": [)" + nonRaid + "]}}");
    }
    for (int i = 0; i < s.inboxDisks; ++i) {
        drives.push_back(drive("inbox" + number(i), s.eligible, 8));
        listed.push_back(inboxDisk(i, deviceNumber++));
    }

    std::vector<std::string> devices;
    const size_t gaps = listed.size() + 1;
    int others = 0;
    for (size_t gap = 0; gap < gaps; ++gap) {
        const int upTo = static_cast<int>(s.otherDevices * (gap + 1) / gaps);
        while (others < upTo)
            devices.push_back(otherDevice(others++));
        if (gap < listed.size())
            devices.push_back(listed[gap]);
    }
    return "{\n  \"drives\": [" + joined(drives) + "],\n  \"devices\": [" + joined(devices) +
           "]\n}\n";
}

} // namespace qir::bench
