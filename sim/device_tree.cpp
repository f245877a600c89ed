// The SetupAPI side of the simulated machine: device information sets, interfaces and
// properties, with the sizing and validation rules of SetupAPI on 64-bit Windows.
#include <cstring>

#include "discovery/byte_io.h"
#include "platform/win_constants.h"
#include "sim/sim_machine.h"

namespace qir::sim {

using namespace qir::platform;

namespace {

constexpr uint32_t kSpintActive = 1;

// The interface class a device exposes, if it exposes one.
const Guid* interfaceClassOf(const SimDevice& d) {
    if (!d.interfacePath && !d.interfaceDetailError)
        return nullptr;
    if (d.deviceClass == DeviceClass::Disk)
        return &win::GUID_DEVINTERFACE_DISK;
    if (d.deviceClass == DeviceClass::StoragePort)
        return &win::GUID_DEVINTERFACE_STORAGEPORT;
    return nullptr;
}

// SetupAPI's check of a record the caller hands in: present, and with the size field
// of 64-bit Windows. 0 when it passes, else the error.
template <typename Record> uint32_t recordError(const Record* record, uint32_t expectedSize) {
    if (!record)
        return win::ERROR_INVALID_PARAMETER;
    return record->cbSize == expectedSize ? 0 : win::ERROR_INVALID_USER_BUFFER;
}

void putWide(uint8_t* buffer, const std::u16string& text, size_t offset) {
    for (size_t i = 0; i < text.size(); ++i)
        putU16(buffer, offset + 2 * i, text[i]);
    putU16(buffer, offset + 2 * text.size(), 0);
}

} // namespace

std::optional<std::u16string>* stringProperty(SimDevice& d, const DevPropKey& key,
                                              const char** name) {
    struct Named {
        const DevPropKey& key;
        std::optional<std::u16string> SimDevice::*value;
        const char* name;
    };
    const Named properties[] = {
        {win::DEVPKEY_Device_Parent, &SimDevice::parentId, "parent_id"},
        {win::DEVPKEY_Device_InstanceId, &SimDevice::instanceId, "instance_id"},
        {win::DEVPKEY_Device_DriverDesc, &SimDevice::driverDesc, "driver_desc"},
        {win::DEVPKEY_Device_LocationInfo, &SimDevice::locationInfo, "location_info"},
    };
    for (const Named& p : properties)
        if (p.key == key) {
            *name = p.name;
            return &(d.*p.value);
        }
    return nullptr;
}

const Guid& setupClassOf(const SimDevice& d) {
    return d.deviceClass == DeviceClass::Disk          ? win::GUID_DEVCLASS_DISKDRIVE
           : d.deviceClass == DeviceClass::StoragePort ? win::GUID_DEVCLASS_SCSIADAPTER
           : d.deviceClass == DeviceClass::ScsiPort    ? win::GUID_DEVCLASS_SCSIADAPTER
                                                       : win::GUID_DEVCLASS_SYSTEM;
}

const std::optional<std::u16string>* stringProperty(const SimDevice& d, const DevPropKey& key,
                                                    const char** name) {
    return stringProperty(const_cast<SimDevice&>(d), key, name);
}

DevInfoSet SimMachine::getClassDevs(const Guid* classGuid, uint32_t flags) {
    OpenFile none;
    IoRequest probe(*this, -1, none, 0, 0, 0);
    probe.kind = RequestKind::GetClassDevs;
    if (const SimFault* f = takeFault(probe)) {
        lastError_ = f->value;
        return kInvalidDevInfoSet;
    }
    DeviceSet set;
    if (flags & win::DIGCF_ALLCLASSES) {
        for (size_t i = 0; i < devices.size(); ++i)
            set.devices.push_back(static_cast<int>(i));
    } else if (flags & win::DIGCF_DEVICEINTERFACE) {
        if (!classGuid) {
            lastError_ = win::ERROR_INVALID_PARAMETER;
            return kInvalidDevInfoSet;
        }
        for (size_t i = 0; i < devices.size(); ++i) {
            const Guid* g = interfaceClassOf(devices[i]);
            if (g && *g == *classGuid)
                set.devices.push_back(static_cast<int>(i));
        }
    } else if (!classGuid) {
        lastError_ = win::ERROR_INVALID_PARAMETER;
        return kInvalidDevInfoSet;
    }
    DevInfoSet id = nextSet_++;
    sets_.emplace(id, set);
    ++openDeviceInfoSets;
    lastError_ = 0;
    return id;
}

const SimMachine::DeviceSet* SimMachine::findSet(DevInfoSet set) {
    auto it = sets_.find(set);
    if (it == sets_.end()) {
        lastError_ = win::ERROR_INVALID_HANDLE;
        return nullptr;
    }
    return &it->second;
}

void SimMachine::fillInfo(int device, DeviceInfoData* info) const {
    const SimDevice& d = devices[static_cast<size_t>(device)];
    info->classGuid = setupClassOf(d);
    info->devInst = devInstOf(device);
    info->reserved = 0;
}

uint32_t SimMachine::devInstOf(int device) const {
    const SimDevice& d = devices[static_cast<size_t>(device)];
    return d.devInst ? *d.devInst : static_cast<uint32_t>(device) + 1;
}

// The device an information record names, when it is a device of the set.
int SimMachine::deviceOfInfo(const DeviceSet& set, const DeviceInfoData* info) {
    if (!info || info->cbSize != win::kDeviceInfoDataSize) {
        lastError_ = win::ERROR_INVALID_PARAMETER;
        return -1;
    }
    for (int device : set.devices)
        if (devInstOf(device) == info->devInst)
            return device;
    lastError_ = win::ERROR_INVALID_PARAMETER;
    return -1;
}

bool SimMachine::enumDeviceInfo(DevInfoSet setId, uint32_t index, DeviceInfoData* info) {
    const DeviceSet* set = findSet(setId);
    if (!set)
        return false;
    if (uint32_t error = recordError(info, win::kDeviceInfoDataSize))
        return fail(error);
    if (index >= set->devices.size())
        return fail(win::ERROR_NO_MORE_ITEMS);
    fillInfo(set->devices[index], info);
    lastError_ = 0;
    return true;
}

bool SimMachine::enumDeviceInterfaces(DevInfoSet setId, const DeviceInfoData* info,
                                      const Guid& interfaceClass, uint32_t index,
                                      DeviceInterfaceData* iface) {
    const DeviceSet* set = findSet(setId);
    if (!set)
        return false;
    if (uint32_t error = recordError(iface, win::kDeviceInterfaceDataSize))
        return fail(error);
    std::vector<int> candidates;
    if (info) {
        int device = deviceOfInfo(*set, info);
        if (device < 0)
            return false;
        candidates.push_back(device);
    } else {
        candidates = set->devices;
    }
    std::vector<int> matching;
    for (int device : candidates) {
        const Guid* g = interfaceClassOf(devices[static_cast<size_t>(device)]);
        if (g && *g == interfaceClass)
            matching.push_back(device);
    }
    if (index >= matching.size())
        return fail(win::ERROR_NO_MORE_ITEMS);
    iface->interfaceClassGuid = interfaceClass;
    iface->flags = kSpintActive;
    iface->reserved = static_cast<uint64_t>(matching[index]) + 1;
    lastError_ = 0;
    return true;
}

bool SimMachine::getDeviceInterfaceDetail(DevInfoSet setId, const DeviceInterfaceData* iface,
                                          uint8_t* detail, uint32_t detailSize,
                                          uint32_t* requiredSize, DeviceInfoData* info) {
    const DeviceSet* set = findSet(setId);
    if (!set)
        return false;
    if (uint32_t error = recordError(iface, win::kDeviceInterfaceDataSize))
        return fail(error);
    int device = -1;
    for (int candidate : set->devices)
        if (static_cast<uint64_t>(candidate) + 1 == iface->reserved)
            device = candidate;
    if (device < 0 || !interfaceClassOf(devices[static_cast<size_t>(device)]))
        return fail(win::ERROR_INVALID_PARAMETER);
    if (info && info->cbSize != win::kDeviceInfoDataSize)
        return fail(win::ERROR_INVALID_USER_BUFFER);

    if (uint32_t error = devices[static_cast<size_t>(device)].interfaceDetailError)
        return fail(error);
    const std::u16string& path = *devices[static_cast<size_t>(device)].interfacePath;
    uint32_t required =
        win::kInterfaceDetailPathOffset + static_cast<uint32_t>((path.size() + 1) * 2);
    if (requiredSize)
        *requiredSize = required;
    if (!detail) {
        if (detailSize != 0)
            return fail(win::ERROR_INVALID_USER_BUFFER);
        if (info)
            fillInfo(device, info);
        return fail(win::ERROR_INSUFFICIENT_BUFFER);
    }
    if (detailSize < win::kInterfaceDetailFixedSize ||
        getU32(detail, 0) != win::kInterfaceDetailFixedSize)
        return fail(win::ERROR_INVALID_USER_BUFFER);
    if (detailSize < required) {
        if (info)
            fillInfo(device, info);
        return fail(win::ERROR_INSUFFICIENT_BUFFER);
    }
    putWide(detail, path, win::kInterfaceDetailPathOffset);
    if (info)
        fillInfo(device, info);
    lastError_ = 0;
    return true;
}

int SimMachine::deviceInSet(DevInfoSet setId, const DeviceInfoData* info) {
    const DeviceSet* set = findSet(setId);
    return set ? deviceOfInfo(*set, info) : -1;
}

// The text and its terminating zero, as a property is handed out: the size it needs
// always, the text only into a buffer that holds it all.
bool SimMachine::answerText(const std::u16string& text, uint8_t* buffer, uint32_t bufferSize,
                            uint32_t* requiredSize) {
    uint32_t required = static_cast<uint32_t>((text.size() + 1) * 2);
    if (requiredSize)
        *requiredSize = required;
    if (!buffer && bufferSize != 0)
        return fail(win::ERROR_INVALID_USER_BUFFER);
    if (bufferSize < required)
        return fail(win::ERROR_INSUFFICIENT_BUFFER);
    putWide(buffer, text, 0);
    lastError_ = 0;
    return true;
}

bool SimMachine::getDeviceRegistryProperty(DevInfoSet setId, const DeviceInfoData* info,
                                           uint32_t property, uint32_t* regType, uint8_t* buffer,
                                           uint32_t bufferSize, uint32_t* requiredSize) {
    int device = deviceInSet(setId, info);
    if (device < 0)
        return false;
    const SimDevice& d = devices[static_cast<size_t>(device)];
    if (auto e = d.propertyErrors.find("hardware_ids");
        property == win::SPDRP_HARDWAREID && e != d.propertyErrors.end())
        return fail(e->second);
    if (property != win::SPDRP_HARDWAREID || !d.hardwareIds)
        return fail(win::ERROR_INVALID_DATA);
    // Each identifier ends with a zero; answerText adds the one that ends the list.
    std::u16string multi;
    for (const std::u16string& id : *d.hardwareIds) {
        multi += id;
        multi += u'\0';
    }
    if (regType)
        *regType = win::REG_MULTI_SZ;
    return answerText(multi, buffer, bufferSize, requiredSize);
}

bool SimMachine::getDeviceProperty(DevInfoSet setId, const DeviceInfoData* info,
                                   const DevPropKey& key, uint32_t* propType, uint8_t* buffer,
                                   uint32_t bufferSize, uint32_t* requiredSize) {
    int device = deviceInSet(setId, info);
    if (device < 0)
        return false;
    if (!propType)
        return fail(win::ERROR_INVALID_USER_BUFFER);
    const SimDevice& d = devices[static_cast<size_t>(device)];
    const char* name = "";
    const std::optional<std::u16string>* value = stringProperty(d, key, &name);
    auto e = d.propertyErrors.find(name);
    const uint32_t error = e != d.propertyErrors.end() ? e->second
                           : !value || !*value         ? win::ERROR_NOT_FOUND
                                                       : 0;
    // A property the device does not have is of the type that says so, however the
    // description says it is absent.
    if (error == win::ERROR_NOT_FOUND)
        *propType = win::DEVPROP_TYPE_EMPTY;
    if (error)
        return fail(error);
    *propType = win::DEVPROP_TYPE_STRING;
    return answerText(**value, buffer, bufferSize, requiredSize);
}

bool SimMachine::destroyDeviceInfoList(DevInfoSet setId) {
    auto it = sets_.find(setId);
    if (it == sets_.end())
        return fail(win::ERROR_INVALID_HANDLE);
    sets_.erase(it);
    --openDeviceInfoSets;
    lastError_ = 0;
    return true;
}

} // namespace qir::sim
