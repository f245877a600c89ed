#include "discovery/rst_enumeration.h"

#include <unordered_map>

#include "discovery/byte_io.h"
#include "discovery/property_reader.h"
#include "discovery/request_buffer.h"
#include "discovery/sized_read.h"
#include "platform/win_constants.h"

namespace qir {

namespace {

using platform::DeviceInfoData;
using platform::DeviceInterfaceData;
using platform::DevInfoSet;

bool contains(const std::u16string& text, const char16_t* word) {
    return text.find(word) != std::u16string::npos;
}

std::u16string upperCased(std::u16string text) {
    for (char16_t& c : text)
        if (c >= u'a' && c <= u'z')
            c = static_cast<char16_t>(c - u'a' + u'A');
    return text;
}

DeviceInfoData emptyInfo() {
    DeviceInfoData info{};
    info.cbSize = win::kDeviceInfoDataSize;
    return info;
}

DeviceInterfaceData emptyInterface() {
    DeviceInterfaceData iface{};
    iface.cbSize = win::kDeviceInterfaceDataSize;
    return iface;
}

// The path in an SP_DEVICE_INTERFACE_DETAIL_DATA_W, up to its terminator and never past
// the end of the buffer.
std::u16string interfacePathOf(const RequestBuffer& detail) {
    return utf16At(detail.data(), detail.size(), win::kInterfaceDetailPathOffset);
}

// A detail buffer of exactly the size the platform asks for, with the fixed size field
// that 64-bit Windows expects. Too small a size cannot even hold that field.
RequestBuffer detailBuffer(uint32_t requiredSize) {
    if (requiredSize < win::kInterfaceDetailFixedSize)
        return RequestBuffer();
    RequestBuffer detail(requiredSize);
    if (detail)
        putU32(detail.data(), 0, win::kInterfaceDetailFixedSize);
    return detail;
}

// Reads the interface detail of a disk, and the device record that comes with it, with
// the platform's sizing rule.
bool readDiskInterfaceDetail(DevInfoSet set, const DeviceInterfaceData& iface,
                             RequestBuffer& detail, DeviceInfoData& info) {
    platform::Platform& os = platform::os();
    const SizedReadResult read = readExact(
        [&](uint8_t* data, uint32_t size, uint32_t* required) {
            if (!data)
                return os.getDeviceInterfaceDetail(set, &iface, nullptr, 0, required, nullptr);
            putU32(data, 0, win::kInterfaceDetailFixedSize);
            info = emptyInfo();
            return os.getDeviceInterfaceDetail(set, &iface, data, size, required, &info);
        },
        detail, win::kInterfaceDetailFixedSize);
    return read.answered;
}

// Driver descriptions of the RST premium and RAID controllers; an AHCI controller of the
// same maker names neither RST nor RAID.
bool isRstControllerDescription(const std::u16string& description) {
    return contains(description, u"Intel") && contains(description, u"Controller") &&
           (contains(description, u"RST") || contains(description, u"RAID"));
}

// Reads "Bus Number 3, Target Id 0, LUN 0": the number after the second blank, up to the
// first comma. -1 when the text carries no number there.
int64_t busNumberOf(std::u16string text) {
    if (!contains(text, u"Bus Number "))
        return -1;
    const size_t comma = text.find(u',');
    if (comma != std::u16string::npos)
        text.resize(comma);
    const size_t firstBlank = text.find(u' ');
    const size_t secondBlank =
        firstBlank == std::u16string::npos ? firstBlank : text.find(u' ', firstBlank + 1);
    if (secondBlank == std::u16string::npos)
        return -1;
    size_t at = secondBlank;
    while (at < text.size() && text[at] == u' ')
        ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == u'-' || text[at] == u'+'))
        negative = text[at++] == u'-';
    if (at >= text.size() || text[at] < u'0' || text[at] > u'9')
        return -1;
    int64_t value = 0;
    for (; at < text.size() && text[at] >= u'0' && text[at] <= u'9'; ++at)
        if (value < INT32_MAX)
            value = value * 10 + (text[at] - u'0');
    if (value > INT32_MAX)
        value = INT32_MAX;
    return negative ? -value : value;
}

// The devices of all classes, as one set for a whole enumeration. Each pass-through disk
// is looked up by its device instance; the walk of the set goes on from where the last
// lookup left it, and every device met on the way is remembered, so that a machine of
// many devices and many disks is walked once rather than once per disk. The first
// device of an instance is the one that counts, as in a walk from the start.
class AllClassesDevices {
  public:
    AllClassesDevices() = default;
    AllClassesDevices(const AllClassesDevices&) = delete;
    AllClassesDevices& operator=(const AllClassesDevices&) = delete;
    ~AllClassesDevices() {
        if (set_ != platform::kInvalidDevInfoSet)
            platform::os().destroyDeviceInfoList(set_);
    }

    // Sets busNumber from the device's location text (-1 when it has none); leaves it
    // untouched when the device is not in the set or the set cannot be had, in which
    // case the next lookup asks for the set again.
    void readBusNumber(uint32_t devInst, int64_t* busNumber) {
        DeviceInfoData* info = find(devInst);
        if (!info)
            return;
        uint32_t propertyType = 0;
        std::u16string location;
        *busNumber =
            readDeviceString(set_, info, win::DEVPKEY_Device_LocationInfo, &propertyType, location)
                ? busNumberOf(location)
                : -1;
    }

  private:
    DeviceInfoData* find(uint32_t devInst) {
        platform::Platform& os = platform::os();
        if (set_ == platform::kInvalidDevInfoSet) {
            set_ = os.getClassDevs(nullptr, win::DIGCF_PRESENT | win::DIGCF_ALLCLASSES);
            if (set_ == platform::kInvalidDevInfoSet)
                return nullptr;
        }
        auto known = met_.find(devInst);
        if (known != met_.end())
            return &known->second;
        while (!walked_) {
            DeviceInfoData info = emptyInfo();
            if (!os.enumDeviceInfo(set_, next_++, &info)) {
                walked_ = true;
                break;
            }
            auto added = met_.emplace(info.devInst, info);
            if (info.devInst == devInst)
                return &added.first->second;
        }
        return nullptr;
    }

    DevInfoSet set_ = platform::kInvalidDevInfoSet;
    uint32_t next_ = 0;
    bool walked_ = false;
    std::unordered_map<uint32_t, DeviceInfoData> met_;
};

} // namespace

bool findRstController(RaidController& controller) {
    platform::Platform& os = platform::os();
    const DevInfoSet set = os.getClassDevs(&win::GUID_DEVINTERFACE_STORAGEPORT,
                                           win::DIGCF_PRESENT | win::DIGCF_DEVICEINTERFACE);
    if (set == platform::kInvalidDevInfoSet)
        return false;
    bool found = false;
    for (uint32_t index = 0;; ++index) {
        DeviceInfoData info = emptyInfo();
        if (!os.enumDeviceInfo(set, index, &info))
            break;
        DeviceInterfaceData iface = emptyInterface();
        if (!os.enumDeviceInterfaces(set, nullptr, win::GUID_DEVINTERFACE_STORAGEPORT, index,
                                     &iface))
            continue;
        uint32_t required = 0;
        const bool sized = os.getDeviceInterfaceDetail(set, &iface, nullptr, 0, &required, nullptr);
        if (required == 0 || (!sized && os.getLastError() != win::ERROR_INSUFFICIENT_BUFFER))
            break;
        RequestBuffer detail = detailBuffer(required);
        if (!detail)
            break;
        DeviceInfoData portInfo = emptyInfo();
        if (!os.getDeviceInterfaceDetail(set, &iface, detail.data(), required, &required,
                                         &portInfo))
            break;
        const std::u16string path = interfacePathOf(detail);
        const std::u16string upperPath = upperCased(path);
        if (upperPath.size() < 8 || !contains(upperPath, u"VEN_8086"))
            continue;
        uint32_t propertyType = 0;
        std::u16string description;
        if (!readDeviceString(set, &portInfo, win::DEVPKEY_Device_DriverDesc, &propertyType,
                              description) ||
            !isRstControllerDescription(description))
            continue;
        // Only the first matching port is ever tried: it must be usable, or there is no
        // RST controller to work with.
        const platform::Handle port =
            os.createFile(path, win::GENERIC_READ | win::GENERIC_WRITE,
                          win::FILE_SHARE_READ | win::FILE_SHARE_WRITE, win::OPEN_EXISTING,
                          win::FILE_ATTRIBUTE_NORMAL | win::FILE_FLAG_OVERLAPPED);
        if (port == platform::kInvalidHandle)
            break;
        controller.interfacePath = path;
        std::u16string instanceId;
        if (readDeviceString(set, &portInfo, win::DEVPKEY_Device_InstanceId, &propertyType,
                             instanceId)) {
            controller.instanceId = instanceId;
            found = true;
        }
        os.closeHandle(port);
        break;
    }
    os.destroyDeviceInfoList(set);
    return found;
}

int enumerateRstDisks(const RaidController& controller, DiskList& foundDisks) {
    platform::Platform& os = platform::os();
    const DevInfoSet set = os.getClassDevs(&win::GUID_DEVINTERFACE_DISK,
                                           win::DIGCF_PRESENT | win::DIGCF_DEVICEINTERFACE);
    if (set == platform::kInvalidDevInfoSet)
        return 0;
    int result = 1;
    AllClassesDevices allDevices;
    for (uint32_t index = 0;; ++index) {
        DeviceInfoData info = emptyInfo();
        if (!os.enumDeviceInfo(set, index, &info))
            break;
        uint32_t propertyType = 0;
        std::u16string parentId;
        readParentId(set, &info, &propertyType, parentId);
        if (parentId.size() < 8 || !contains(parentId, u"VEN_8086"))
            continue;
        std::u16string instanceId;
        if (!readInstanceId(set, &info, &propertyType, instanceId))
            continue;
        if (contains(instanceId, u"VEN_INTEL") && contains(instanceId, u"PROD_RAID")) {
            TargetDisk volume;
            volume.devicePath = controller.interfacePath;
            volume.driverKind = RstRaid;
            foundDisks.push_back(volume);
            continue;
        }
        DeviceInterfaceData iface = emptyInterface();
        if (!os.enumDeviceInterfaces(set, nullptr, win::GUID_DEVINTERFACE_DISK, index, &iface))
            continue;
        RequestBuffer detail;
        DeviceInfoData diskInfo = emptyInfo();
        if (!readDiskInterfaceDetail(set, iface, detail, diskInfo))
            continue;
        // The disk's own path only proves that the disk is usable; every request goes to
        // the controller's port.
        const platform::Handle disk =
            os.createFile(interfacePathOf(detail), win::GENERIC_READ | win::GENERIC_WRITE,
                          win::FILE_SHARE_READ | win::FILE_SHARE_WRITE, win::OPEN_EXISTING, 0);
        if (disk == platform::kInvalidHandle) {
            result = 0;
            break;
        }
        int64_t busNumber = -1;
        allDevices.readBusNumber(diskInfo.devInst, &busNumber);
        TargetDisk passThrough;
        passThrough.devicePath = controller.interfacePath;
        passThrough.driverKind = RstNonRaid;
        passThrough.pathId = busNumber;
        foundDisks.push_back(passThrough);
        os.closeHandle(disk);
    }
    os.destroyDeviceInfoList(set);
    return result;
}

void readBusNumber(uint32_t devInst, int64_t* busNumber) {
    AllClassesDevices allDevices;
    allDevices.readBusNumber(devInst, busNumber);
}

} // namespace qir
