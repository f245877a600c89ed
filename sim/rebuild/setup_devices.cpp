#include "sim/rebuild/setup_devices.h"

#include "platform/guid_text.h"
#include "platform/text_encoding.h"
#include "platform/win_constants.h"
#include "sim/rebuild/reply_bytes.h"

namespace qir::sim::rebuild {

using nlohmann::ordered_json;

SetupEntry setupEntry(uint32_t devInst, Device d, const DeviceOrder& order) {
    bool disk = order.disks.count(devInst), port = order.ports.count(devInst);
    // A disk or port no walk of its interface class reached is known by its setup class,
    // and has no interface: one standing in could only come between the devices a walk met.
    bool byClass = !disk && !port && d.setupClass &&
                   (*d.setupClass == win::GUID_DEVCLASS_DISKDRIVE ||
                    *d.setupClass == win::GUID_DEVCLASS_SCSIADAPTER);
    if (byClass) {
        disk = *d.setupClass == win::GUID_DEVCLASS_DISKDRIVE;
        port = !disk;
    }
    SetupEntry entry;
    entry.deviceClass = disk   ? DeviceClass::Disk
                        : port ? DeviceClass::StoragePort
                               : DeviceClass::Other;
    ordered_json& j = entry.device;
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
        return entry;
    // A device of an interface class is in that class's set only with a path; one the tool
    // never asked for stands in under a name of its own.
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
    if (d.interfacePath)
        entry.keys.push_back(upper(*d.interfacePath));
    return entry;
}

} // namespace qir::sim::rebuild
