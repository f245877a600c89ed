#include "app/updater/disk_updater.h"
#include "discovery/raid_controller.h"
#include "firmware/firmware_image.h"
#include "fuzz/fuzz_platform.h"
#include "fuzz/fuzz_targets.h"
#include "platform/platform.h"

namespace qir::fuzz {

namespace {

const char16_t* const kDevicePaths[] = {
    u"\\\\.\\PHYSICALDRIVE1",
    u"\\\\?\\pci#ven_8086&dev_2822#3&1#{2accfe60-c130-11d2-b082-00a0c91efb8b}",
    u"",
};

// A record as discovery could have left it, its fields drawn from the input within what
// discovery can make: the granularity is FWUG (1 to 255) or 1, the path id any bus
// number a location text can carry, the disk id any value a VROC list can carry.
TargetDisk drawRecord(InputReader& in) {
    TargetDisk d;
    d.devicePath = kDevicePaths[in.byte() % 3];
    uint8_t kind = in.byte();
    d.driverKind = static_cast<DriverKind>(kind % 6);
    d.pathId = (kind & 0x80) ? static_cast<int64_t>(in.u32()) - 0x80000000ll : in.byte() % 4;
    d.modelNumber = u"KORVANE TX7Q3 1TB";
    d.serialNumber = u"SN1";
    d.firmwareRevision = u"VDL7W2QA";
    uint8_t g = in.byte();
    d.updateGranularity = g == 0 ? 1 : g;
    d.vrocDiskId = in.byte();
    return d;
}

} // namespace

int runRoutesInput(const uint8_t* data, size_t size) {
    prepareOnce(loadWorkingCopy);
    if (size < 8)
        return 0;
    // The first bytes choose the operation and the record; the platform answers from
    // the rest.
    InputReader head(data, 8);
    uint8_t op = head.byte();
    TargetDisk record = drawRecord(head);
    FuzzPlatform machine(data + 8, size - 8);
    platform::setPlatform(&machine);
    const DiskUpdaterOps& ops = productionDiskUpdaterOps();
    uint32_t imageSize = kFirmwareImageSize;
    DiskList list;
    switch (op % 10) {
    case 0: {
        RaidController controller;
        if (ops.findRstController(controller))
            ops.enumerateRstDisks(controller, list);
        break;
    }
    case 1:
        ops.enumerateNvmeDisks(list);
        break;
    case 2:
        ops.identifyRstDisk(record, list);
        break;
    case 3:
        ops.queryCsmiRaidConfig(record, list);
        break;
    case 4: {
        int32_t port = -1;
        ops.enumerateVrocDisks(record, list, &port);
        break;
    }
    case 5:
        ops.identifyInboxDisk(record, list);
        break;
    case 6:
        ops.updateInboxDisk(record, &imageSize);
        break;
    case 7:
        ops.updateIrstDisk(record, &imageSize);
        break;
    case 8:
        ops.updateVrocDisk(record, &imageSize, static_cast<int32_t>(record.vrocDiskId % 17) - 1);
        break;
    default: {
        RaidController controller;
        controller.interfacePath = record.devicePath;
        ops.enumerateRstDisks(controller, list);
        break;
    }
    }
    machine.finishRun();
    platform::setPlatform(nullptr);
    return 0;
}

} // namespace qir::fuzz
