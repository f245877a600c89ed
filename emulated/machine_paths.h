// The paths a machine description answers on the emulated Windows machine, each one a
// device object of the machine's driver with a symbolic link of its own.
#pragma once

#include <string>
#include <vector>

#include "sim/sim_machine.h"

namespace qir::emulated {

// Every interface path, \\.\PHYSICALDRIVEn of each numbered disk, \\.\ScsiN: of each SCSI
// port and the path of each open fault, once each (paths differing only in letter case
// are one, as they are to Windows), in that order.
std::vector<std::u16string> answeredPaths(const sim::SimMachine& machine);

// The object manager's name of the link a path opens (\\.\X and \\?\X are \DosDevices\X);
// empty for a path that names no device.
std::u16string linkNameOf(const std::u16string& path);

} // namespace qir::emulated
