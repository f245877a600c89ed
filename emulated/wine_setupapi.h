// What Wine's SetupAPI can hold of a machine description, and the description as Wine
// then lists it: the machine installer (emulated/win32) refuses what it cannot put there,
// and writes the order in which Wine's sets list the devices so that qir-sim can be run
// on the same machine in the same order (docs/emulated-windows.md).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/sim_machine.h"

namespace qir::emulated {

// The name the installer gives each device of the description (its text) in Wine's
// SetupAPI: its instance id, or for a device without one a made-up id
// (ROOT\QIR_DEVICE\n) that the device does not answer. Empty when the text is no
// description.
std::vector<std::u16string> deviceNames(const std::string& descriptionJson);

// The interface class of the devices of a class that can have one (disks and storage
// ports), else nullptr.
const platform::Guid* interfaceClassOf(sim::DeviceClass deviceClass);

// The interface path Wine's SetupAPI makes for a device of that name in that interface
// class (it keeps no path of its own): \\?\ and the name in lower case with '#' for '\',
// then '#' and the class in braces.
std::u16string wineInterfacePath(const std::u16string& name, const platform::Guid& interfaceClass);

// One entry per thing of the description that Wine's SetupAPI or Wine's kernel cannot
// hold, naming the entry ("devices[2].property_errors: ..."); empty when it holds it all.
std::vector<std::string> refusals(const sim::SimMachine& machine,
                                  const std::vector<std::u16string>& names);

// A device as Wine's all-classes set lists it: its name, its instance number there (Wine
// numbers a device anew in every set, unlike Windows), and the description's device it is
// (-1 for a device of Wine's own).
struct ListedDevice {
    std::u16string name;
    uint32_t devInst = 0;
    int device = -1;
};

// Finds the description's device of each listed one, by name.
void matchListed(const std::vector<std::u16string>& names, std::vector<ListedDevice>& listed);

// Refusals of Wine's order: every device of the description is listed once, and each
// interface class's set (names in Wine's order: the disks', then the storage ports')
// lists the devices of that class that have an interface path, in the order of the
// all-classes set, and nothing else.
std::vector<std::string> orderRefusals(const sim::SimMachine& machine,
                                       const std::vector<std::u16string>& names,
                                       const std::vector<ListedDevice>& listed,
                                       const std::vector<std::u16string>& diskSet,
                                       const std::vector<std::u16string>& storagePortSet);

// The description with its devices in Wine's all-classes order, Wine's own devices among
// them as devices of class "other" that answer no
// property, and the location of every disk with an interface missing: Wine numbers a
// device anew in each set, so the location a walk of the all-classes set would find by
// a disk's number is never found (docs/emulated-windows.md). With `hostPower`, the
// power source is the one Wine reports, which is the host's whatever the description says.
std::string inWineOrder(const std::string& descriptionJson, const std::vector<ListedDevice>& listed,
                        const platform::PowerStatus* hostPower = nullptr);

} // namespace qir::emulated
