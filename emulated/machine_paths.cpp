#include "emulated/machine_paths.h"

#include <algorithm>

#include "platform/text_encoding.h"

namespace qir::emulated {

namespace {

char16_t upper(char16_t c) {
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

bool sameIgnoringCase(const std::u16string& a, const std::u16string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](char16_t x, char16_t y) { return upper(x) == upper(y); });
}

std::u16string numbered(const char* prefix, long number, const char* suffix) {
    return text::fromUtf8(std::string(prefix) + std::to_string(number) + suffix);
}

} // namespace

std::vector<AnsweredPath> answeredPaths(const sim::SimMachine& machine) {
    std::vector<AnsweredPath> paths;
    // A path the simulated machine takes to the first device it matches, as it does.
    auto add = [&](const std::u16string& path, const sim::SimDevice* device) {
        if (linkNameOf(path).empty())
            return;
        for (const AnsweredPath& known : paths)
            if (sameIgnoringCase(known.path, path))
                return;
        AnsweredPath p{path, device ? device->openError : 0};
        for (const sim::SimFault& f : machine.faults)
            if (f.kind == sim::RequestKind::Open && f.every && f.path &&
                sameIgnoringCase(*f.path, path)) {
                p.openError = f.value;
                break;
            }
        paths.push_back(p);
    };
    for (const sim::SimDevice& d : machine.devices)
        if (d.interfacePath)
            add(*d.interfacePath, &d);
    for (const sim::SimDevice& d : machine.devices)
        if (d.deviceClass == sim::DeviceClass::Disk && d.deviceNumber)
            add(numbered("\\\\.\\PHYSICALDRIVE", static_cast<long>(*d.deviceNumber), ""), &d);
    for (const sim::SimDevice& d : machine.devices)
        if (d.deviceClass == sim::DeviceClass::ScsiPort && d.scsiPort)
            add(numbered("\\\\.\\Scsi", *d.scsiPort, ":"), &d);
    for (const sim::SimFault& f : machine.faults)
        if (f.kind == sim::RequestKind::Open && f.path)
            add(*f.path, nullptr);
    return paths;
}

std::u16string linkNameOf(const std::u16string& path) {
    if (path.size() < 5 || path[0] != u'\\' || path[1] != u'\\' ||
        (path[2] != u'.' && path[2] != u'?') || path[3] != u'\\')
        return {};
    // A name with a further backslash would name something inside a device.
    if (path.find(u'\\', 4) != std::u16string::npos)
        return {};
    return u"\\DosDevices\\" + path.substr(4);
}

} // namespace qir::emulated
