#include "firmware/target_info_block.h"

#include "app/console.h"
#include "firmware/firmware_image.h"

namespace qir {

namespace {

const char16_t kRule[] = u"---------------------------------------------";

void printBlock(const TargetDisk& target, const char16_t* driver, bool withRaidLine) {
    WideStream& out = wideOut();
    out << endl;
    out << kRule << endl;
    out << u" Firmware Download | Target Disk Information " << endl;
    out << kRule << endl;
    out << u" Driver : " << driver << endl;
    if (withRaidLine)
        out << u" Raid : " << (target.driverKind == RstRaid ? u"Yes" : u"No") << endl;
    out << u" Model Number : " << target.modelNumber << endl;
    out << u" Serial Number : " << target.serialNumber << endl;
    out << u" Current FW : " << target.firmwareRevision << endl;
    out << u" Updated FW : " << imageRevision << endl;
    out << kRule << endl;
}

} // namespace

void printTargetInfoBlock(const TargetDisk& target) {
    printBlock(target, target.driverKind == InboxNvme ? u"Inbox Driver" : u"IRST Driver", true);
}

void printVrocTargetInfoBlock(const TargetDisk& target) {
    printBlock(target, u"VROC Driver", false);
}

} // namespace qir
