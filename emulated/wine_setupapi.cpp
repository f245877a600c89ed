#include "emulated/wine_setupapi.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include <nlohmann/json.hpp>

#include "emulated/machine_paths.h"
#include "platform/guid_text.h"
#include "platform/text_encoding.h"
#include "platform/win_constants.h"
#include "sim/power_source.h"

namespace qir::emulated {

namespace {

using json = nlohmann::ordered_json;

char16_t lower(char16_t c) {
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

std::u16string lowered(std::u16string s) {
    std::transform(s.begin(), s.end(), s.begin(), lower);
    return s;
}

// Wine walks its device tree three levels deep, so only such ids are in its sets.
bool hasThreeParts(const std::u16string& id) {
    size_t first = id.find(u'\\');
    if (first == 0 || first == std::u16string::npos)
        return false;
    size_t second = id.find(u'\\', first + 1);
    return second != std::u16string::npos && second > first + 1 && second + 1 < id.size() &&
           id.find(u'\\', second + 1) == std::u16string::npos;
}

std::string where(size_t index) {
    return "devices[" + std::to_string(index) + "]";
}

} // namespace

const platform::Guid* interfaceClassOf(sim::DeviceClass deviceClass) {
    if (deviceClass == sim::DeviceClass::Disk)
        return &win::GUID_DEVINTERFACE_DISK;
    if (deviceClass == sim::DeviceClass::StoragePort)
        return &win::GUID_DEVINTERFACE_STORAGEPORT;
    return nullptr;
}

std::vector<std::u16string> deviceNames(const std::string& descriptionJson) {
    std::vector<std::u16string> names;
    const json description = json::parse(descriptionJson, nullptr, false);
    if (!description.is_object() || !description.contains("devices") ||
        !description["devices"].is_array())
        return names;
    for (const json& d : description["devices"]) {
        if (d.is_object() && d.contains("instance_id") && d["instance_id"].is_string()) {
            names.push_back(text::fromUtf8(d["instance_id"].get<std::string>()));
            continue;
        }
        char made[40];
        std::snprintf(made, sizeof made, "ROOT\\QIR_DEVICE\\%04zu", names.size());
        names.push_back(text::fromUtf8(made));
    }
    return names;
}

std::u16string wineInterfacePath(const std::u16string& name, const platform::Guid& interfaceClass) {
    std::u16string path = u"\\\\?\\" + lowered(name);
    std::replace(path.begin() + 4, path.end(), u'\\', u'#');
    return path + u"#" + lowered(text::fromUtf8(platform::guidText(interfaceClass)));
}

std::vector<std::string> refusals(const sim::SimMachine& machine,
                                  const std::vector<std::u16string>& names) {
    std::vector<std::string> out;
    if (machine.moduleHandleFails)
        out.push_back("module_handle_fails: the real process's module handle cannot fail");
    if (machine.frameworkStartupFails)
        out.push_back("framework_startup_fails: the real program's start-up cannot fail");
    if (names.size() != machine.devices.size()) {
        out.push_back("devices: cannot be read");
        return out;
    }
    std::map<std::u16string, size_t> seen;
    for (size_t i = 0; i < machine.devices.size(); ++i) {
        const sim::SimDevice& d = machine.devices[i];
        const std::u16string& name = names[i];
        if (!d.propertyErrors.empty())
            out.push_back(where(i) + ".property_errors: Wine's SetupAPI answers a property or not, "
                                     "it cannot fail one with an error of its own");
        if (d.interfaceDetailError)
            out.push_back(where(i) + ".interface_detail_error: Wine's SetupAPI cannot fail "
                                     "SetupDiGetDeviceInterfaceDetailW for one interface");
        if (d.devInst)
            out.push_back(where(i) + ".dev_inst: Wine's SetupAPI numbers its devices itself");
        if (!hasThreeParts(name))
            out.push_back(where(i) + ".instance_id: \"" + text::toUtf8(name) +
                          "\" is not ENUMERATOR\\DEVICE\\INSTANCE, the only form Wine lists");
        auto known = seen.emplace(lowered(name), i);
        if (!known.second)
            out.push_back(where(i) + ".instance_id: the same device as " +
                          where(known.first->second) + " to Wine's SetupAPI");
        const platform::Guid* iface = interfaceClassOf(d.deviceClass);
        if (iface && d.interfacePath && *d.interfacePath != wineInterfacePath(name, *iface))
            out.push_back(where(i) +
                          ".interface_path: Wine's SetupAPI makes it from the "
                          "instance id, as " +
                          text::toUtf8(wineInterfacePath(name, *iface)));
        if (d.openError && d.openError != 2 && d.openError != 3)
            out.push_back(where(i) + ".open_error: Wine's kernel opens a device whatever its "
                                     "driver answers; only 2 and 3 can be made");
        if (!iface && d.interfacePath && linkNameOf(*d.interfacePath).empty())
            out.push_back(where(i) + ".interface_path: names no device Wine's kernel can link");
    }
    for (size_t i = 0; i < machine.faults.size(); ++i) {
        const sim::SimFault& f = machine.faults[i];
        const std::string w = "faults[" + std::to_string(i) + "]";
        if (f.kind == sim::RequestKind::GetClassDevs)
            out.push_back(w + ": Wine's SetupAPI cannot be made to fail SetupDiGetClassDevsW");
        if (f.kind == sim::RequestKind::Open && !f.path)
            out.push_back(w + ": an open fault without a path counts opens that never reach "
                              "the machine's driver");
        else if (f.kind == sim::RequestKind::Open &&
                 (!f.every || f.effect != sim::FaultEffect::Error ||
                  (f.value != 2 && f.value != 3)))
            out.push_back(w + ": Wine's kernel opens a device whatever its driver answers; "
                              "only an open fault of every occurrence with error 2 or 3 can "
                              "be made");
        if (f.path && linkNameOf(*f.path).empty())
            out.push_back(w + ".path: names no device Wine's kernel can link");
    }
    return out;
}

void matchListed(const std::vector<std::u16string>& names, std::vector<ListedDevice>& listed) {
    for (ListedDevice& l : listed) {
        l.device = -1;
        for (size_t i = 0; i < names.size(); ++i)
            if (lowered(names[i]) == lowered(l.name))
                l.device = static_cast<int>(i);
    }
}

std::vector<std::string> orderRefusals(const sim::SimMachine& machine,
                                       const std::vector<std::u16string>& names,
                                       const std::vector<ListedDevice>& listed,
                                       const std::vector<std::u16string>& diskSet,
                                       const std::vector<std::u16string>& storagePortSet) {
    std::vector<std::string> out;
    std::vector<int> order; // the description's devices in Wine's order
    std::vector<int> times(names.size(), 0);
    for (const ListedDevice& l : listed)
        if (l.device >= 0) {
            order.push_back(l.device);
            ++times[static_cast<size_t>(l.device)];
        }
    for (size_t i = 0; i < names.size(); ++i)
        if (times[i] != 1)
            out.push_back(where(i) + ": Wine's all-classes set lists it " +
                          std::to_string(times[i]) + " times");
    auto check = [&](const std::vector<std::u16string>& set, sim::DeviceClass deviceClass,
                     const char* what) {
        std::vector<std::u16string> expected;
        for (int device : order) {
            const sim::SimDevice& d = machine.devices[static_cast<size_t>(device)];
            if (d.deviceClass == deviceClass && d.interfacePath)
                expected.push_back(lowered(names[static_cast<size_t>(device)]));
        }
        std::vector<std::u16string> got;
        for (const std::u16string& name : set)
            got.push_back(lowered(name));
        if (got != expected)
            out.push_back(std::string(what) +
                          ": Wine's set does not list the description's devices in the order "
                          "of its all-classes set");
    };
    check(diskSet, sim::DeviceClass::Disk, "disk interfaces");
    check(storagePortSet, sim::DeviceClass::StoragePort, "storage port interfaces");
    return out;
}

std::string inWineOrder(const std::string& descriptionJson, const std::vector<ListedDevice>& listed,
                        const platform::PowerStatus* hostPower) {
    json description = json::parse(descriptionJson, nullptr, false);
    if (!description.is_object())
        return {};
    if (hostPower)
        description["power"] = sim::powerDescription(*hostPower);
    json devices = json::array();
    for (const ListedDevice& l : listed) {
        json entry;
        if (l.device >= 0) {
            entry = description["devices"][static_cast<size_t>(l.device)];
            // Wine numbers a device anew in every set, so a disk of the disk interface set
            // is never found by its number in the all-classes set, and its location is
            // never read: the same as a disk that has none.
            if (entry.value("class", "") == "disk" && entry.contains("interface_path")) {
                json missing = entry.value("missing", json::array());
                missing.push_back("location_info");
                entry["missing"] = missing;
            }
        } else {
            entry["class"] = "other";
            entry["instance_id"] = text::toUtf8(l.name);
            entry["missing"] = json::array({"instance_id"});
        }
        devices.push_back(entry);
    }
    description["devices"] = devices;
    return description.dump(1) + "\n";
}

} // namespace qir::emulated
