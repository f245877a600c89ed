#include "discovery/csmi_query.h"

#include "app/console.h"
#include "discovery/byte_io.h"
#include "discovery/driver_requests.h"
#include "discovery/identification.h"
#include "discovery/request_buffer.h"
#include "platform/win_constants.h"
#include "raid/miniport.h"

namespace qir {

namespace {

namespace c = req::csmi;

uint32_t csmiRequestSize(uint32_t driveRecords) {
    return c::kFixedSize + driveRecords * c::kDriveRecordSize;
}

// A volume with more members than the first buffer holds: ask again with room for all of
// them, so that no member of the volume is left on its old firmware. Returns the buffer
// of the repeated request when it answered with the same count, else an empty buffer.
RequestBuffer askForAllMembers(platform::Handle controller, uint8_t driveCount) {
    const uint32_t size = csmiRequestSize(driveCount);
    RequestBuffer buffer(size);
    if (!buffer)
        return buffer;
    buildCsmiRaidConfigRequest(buffer.data(), size);
    uint32_t returned = 0;
    if (sendMiniportRequest(controller, buffer.data(), size, size, &returned) &&
        getU32(buffer.data(), req::srb::kReturnCode) == 0 &&
        getU8(buffer.data(), c::kDriveCount) == driveCount)
        return buffer;
    return RequestBuffer();
}

void identifyMembers(const TargetDisk& volume, const uint8_t* reply, uint32_t members,
                     DiskList& identifiedDisks) {
    for (uint32_t i = 0; i < members; ++i) {
        TargetDisk member;
        member.devicePath = volume.devicePath;
        member.driverKind = RstRaid;
        member.pathId = getU8(reply, c::kDrives + i * c::kDriveRecordSize + c::kDrivePort);
        identifyRstDisk(member, identifiedDisks);
    }
}

} // namespace

void buildCsmiRaidConfigRequest(uint8_t* buffer, uint32_t requestSize) {
    buildSrbIoControl(buffer, c::kSignature, c::kTimeout, c::kControlCode, requestSize);
    putU32(buffer, c::kRaidSetIndex, 0);
}

void queryCsmiRaidConfig(TargetDisk volume, DiskList& identifiedDisks) {
    RequestBuffer buffer(c::kSize);
    if (!buffer)
        return;
    buildCsmiRaidConfigRequest(buffer.data(), c::kSize);
    platform::Platform& os = platform::os();
    const platform::Handle controller = os.createFile(
        volume.devicePath, win::GENERIC_READ | win::GENERIC_WRITE, 0, win::OPEN_EXISTING, 0);
    if (controller == platform::kInvalidHandle)
        return;
    uint32_t returned = 0;
    if (!sendMiniportRequest(controller, buffer.data(), c::kSize, c::kSize, &returned)) {
        formattedOut(u"  [ERROR] CSMI GET RAID CONFIG IOCTL failed: 0x%X\n\n", os.getLastError());
    } else if (const uint32_t returnCode = getU32(buffer.data(), req::srb::kReturnCode);
               returnCode != 0) {
        narrowOut() << "  [ERROR] CSMI GET RAID CONFIG ReturnCode: 0x" << hex << returnCode << dec
                    << endl
                    << endl;
    } else {
        const uint8_t driveCount = getU8(buffer.data(), c::kDriveCount);
        if (driveCount <= c::kDefaultDriveRecords) {
            identifyMembers(volume, buffer.data(), driveCount, identifiedDisks);
        } else if (RequestBuffer all = askForAllMembers(controller, driveCount)) {
            identifyMembers(volume, all.data(), driveCount, identifiedDisks);
        } else {
            identifyMembers(volume, buffer.data(), c::kDefaultDriveRecords, identifiedDisks);
        }
    }
    os.closeHandle(controller);
}

} // namespace qir
