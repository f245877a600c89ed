#include "discovery/nvme_enumeration.h"

#include <string>
#include <vector>

#include "discovery/byte_io.h"
#include "discovery/driver_requests.h"
#include "discovery/property_reader.h"
#include "discovery/sized_read.h"
#include "platform/platform.h"
#include "platform/win_constants.h"

namespace qir {

namespace {

const char16_t kVendorToken[] = u"VEN_1D7A";
const char16_t kNvmeToken[] = u"NVMe";
constexpr size_t kMinParentIdLength = 8;

// The set is released however the walk ends.
struct DeviceSetGuard {
    platform::DevInfoSet set;
    ~DeviceSetGuard() { platform::os().destroyDeviceInfoList(set); }
};

bool contains(const std::u16string& text, const char16_t* token) {
    return text.find(token) != std::u16string::npos;
}

std::u16string physicalDrivePath(int32_t deviceNumber) {
    std::u16string path = u"\\\\.\\PHYSICALDRIVE";
    std::string digits = std::to_string(deviceNumber);
    path.append(digits.begin(), digits.end());
    return path;
}

std::vector<std::u16string> readHardwareIds(platform::DevInfoSet set,
                                            platform::DeviceInfoData* info) {
    RequestBuffer buffer;
    uint32_t regType = 0;
    SizedReadResult read = readDoubling(
        [&](uint8_t* data, uint32_t size, uint32_t* required) {
            return platform::os().getDeviceRegistryProperty(set, info, win::SPDRP_HARDWAREID,
                                                            &regType, data, size, required);
        },
        buffer);
    if (!read.haveBuffer || read.firstReportedSize <= 1)
        return {};
    return multiStringAt(buffer.data(), buffer.size());
}

// The path of the disk interface that has the device's own index in the set; empty
// when the device has no interface or no detail can be had.
std::u16string diskInterfacePath(platform::DevInfoSet set, uint32_t index) {
    platform::DeviceInterfaceData iface{};
    iface.cbSize = win::kDeviceInterfaceDataSize;
    if (!platform::os().enumDeviceInterfaces(set, nullptr, win::GUID_DEVINTERFACE_DISK, index,
                                             &iface))
        return {};
    RequestBuffer detail;
    SizedReadResult read = readExact(
        [&](uint8_t* data, uint32_t size, uint32_t* required) {
            if (data)
                putU32(data, 0, win::kInterfaceDetailFixedSize);
            return platform::os().getDeviceInterfaceDetail(set, &iface, data, size, required,
                                                           nullptr);
        },
        detail, win::kInterfaceDetailPathOffset + 2);
    if (!read.haveBuffer)
        return {};
    return utf16At(detail.data(), detail.size(), win::kInterfaceDetailPathOffset);
}

enum class DiskOutcome { Appended, Dropped, OpenFailed };

DiskOutcome addDiskAt(const std::u16string& interfacePath, DiskList& foundDisks) {
    platform::Handle handle = platform::os().createFile(
        interfacePath, win::GENERIC_READ | win::GENERIC_WRITE,
        win::FILE_SHARE_READ | win::FILE_SHARE_WRITE, win::OPEN_EXISTING, 0);
    if (handle == platform::kInvalidHandle)
        return DiskOutcome::OpenFailed;
    uint8_t number[req::device_number::kSize] = {};
    uint32_t returned = 0;
    bool answered = platform::os().deviceIoControl(handle, req::IOCTL_STORAGE_GET_DEVICE_NUMBER,
                                                   nullptr, 0, number, sizeof number, &returned);
    DiskOutcome outcome = DiskOutcome::Dropped;
    if (answered) {
        TargetDisk disk;
        disk.devicePath = physicalDrivePath(
            static_cast<int32_t>(getU32(number, req::device_number::kDeviceNumber)));
        disk.pathId = -1;
        disk.driverKind = InboxNvme;
        foundDisks.push_back(disk);
        outcome = DiskOutcome::Appended;
    }
    platform::os().closeHandle(handle);
    return outcome;
}

} // namespace

int enumerateNvmeDisks(DiskList& foundDisks) {
    platform::DevInfoSet set = platform::os().getClassDevs(
        &win::GUID_DEVINTERFACE_DISK, win::DIGCF_PRESENT | win::DIGCF_DEVICEINTERFACE);
    if (set == platform::kInvalidDevInfoSet)
        return 0;
    DeviceSetGuard guard{set};

    for (uint32_t index = 0;; ++index) {
        platform::DeviceInfoData info{};
        info.cbSize = win::kDeviceInfoDataSize;
        if (!platform::os().enumDeviceInfo(set, index, &info))
            break;
        std::u16string parentId;
        uint32_t propertyType = 0;
        readParentId(set, &info, &propertyType, parentId);
        if (parentId.size() < kMinParentIdLength || !contains(parentId, kVendorToken))
            continue;

        for (const std::u16string& hardwareId : readHardwareIds(set, &info)) {
            if (!contains(hardwareId, kNvmeToken))
                continue;
            std::u16string instanceId;
            if (!readInstanceId(set, &info, &propertyType, instanceId))
                continue;
            std::u16string path = diskInterfacePath(set, index);
            if (path.empty())
                continue;
            if (addDiskAt(path, foundDisks) == DiskOutcome::OpenFailed)
                return 0;
            break;
        }
    }
    return 1;
}

} // namespace qir
