// The paths a machine description answers on the emulated Windows machine, each one a
// device object of the machine's driver with a symbolic link of its own.
#pragma once

#include <string>
#include <vector>

#include "sim/sim_machine.h"

namespace qir::emulated {

struct AnsweredPath {
    std::u16string path;
    // The error every open of the path fails with (the device's open error, or an open
    // fault of every occurrence on the path), 0 when an open reaches the machine.
    uint32_t openError = 0;
};

// Every interface path, \\.\PHYSICALDRIVEn of each numbered disk, \\.\ScsiN: of each SCSI
// port and the path of each open fault, once each (paths differing only in letter case
// are one, as they are to Windows), in that order.
std::vector<AnsweredPath> answeredPaths(const sim::SimMachine& machine);

// The object manager's name of the link a path opens (\\.\X and \\?\X are \DosDevices\X);
// empty for a path that names no device.
std::u16string linkNameOf(const std::u16string& path);

} // namespace qir::emulated
