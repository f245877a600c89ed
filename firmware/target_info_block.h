// The block every update route prints before it touches the drive, so that each target
// shows up on the console even when its device cannot be opened.
#pragma once

#include "discovery/target_disk.h"

namespace qir {

// Driver line from the kind ("Inbox Driver" for InboxNvme, "IRST Driver" otherwise) and
// the Raid line ("Yes" for RstRaid).
void printTargetInfoBlock(const TargetDisk& target);
// The VROC form: "VROC Driver" and no Raid line.
void printVrocTargetInfoBlock(const TargetDisk& target);

} // namespace qir
