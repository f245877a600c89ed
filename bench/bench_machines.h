// Simulated machines of a chosen shape, as machine descriptions for the sim's loader.
#pragma once

#include <string>

namespace qir::bench {

struct MachineShape {
    int inboxDisks = 0;
    // Drives behind an RST controller: members of one RAID volume, and pass-through disks.
    int rstRaidMembers = 0;
    int rstPassThrough = 0;
    // Drives behind a VROC controller: members of one RAID volume or non-RAID drives,
    // never both (a machine has either an RST or a VROC controller).
    int vrocRaidMembers = 0;
    int vrocNonRaid = 0;
    // Devices of no interest to the tool, spread evenly between the disks, so that a walk
    // of the whole device tree meets the disks all along it.
    int otherDevices = 0;
    // Whether the drives carry a revision the image replaces.
    bool eligible = true;
};

int driveCountOf(const MachineShape& shape);
// Every device of the description: controllers, disks, ports and the others.
int deviceCountOf(const MachineShape& shape);

// The description, or "" for a shape no machine can have (both controllers, RAID and
// non-RAID drives on VROC, more drives than a controller can address).
std::string machineDescription(const MachineShape& shape);

} // namespace qir::bench
