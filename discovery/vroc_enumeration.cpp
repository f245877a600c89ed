#include "discovery/vroc_enumeration.h"

#include <string>

#include "app/console.h"
#include "discovery/byte_io.h"
#include "discovery/driver_requests.h"
#include "discovery/request_buffer.h"
#include "discovery/scsi_port_path.h"
#include "platform/win_constants.h"
#include "raid/miniport.h"
#include "raid/nvme_raid_request.h"

namespace qir {

namespace {

namespace v = req::vroc;

enum class PortOutcome { NothingListed, Listed, OutOfMemory };

// The counts come from the driver, so the list size is computed wide and refused when a
// request could not carry it; a refused size ends the enumeration like a failed
// allocation.
RequestBuffer listBuffer(uint64_t entries, uint32_t overhead, uint32_t* requestSize) {
    const uint64_t size = entries * v::kEntrySize + overhead;
    if (size > UINT32_MAX)
        return RequestBuffer();
    *requestSize = static_cast<uint32_t>(size);
    return RequestBuffer(static_cast<size_t>(size));
}

void sendEnumerationRequest(platform::Handle port, uint8_t* request, uint32_t controlCode,
                            uint32_t size) {
    buildSrbIoControl(request, v::kSignature, v::kEnumerationTimeout, controlCode, size);
    uint32_t returned = 0;
    sendMiniportRequest(port, request, size, size, &returned);
}

void printLastError() {
    const uint32_t error = platform::os().getLastError();
    if (error != 0)
        narrowFormattedOut("dwError: %lu\n", static_cast<unsigned long>(error));
}

uint32_t countAt(platform::Handle port, uint32_t controlCode) {
    uint8_t request[v::kRaidCountSize] = {};
    putU32(request, v::kPayload, 0);
    sendEnumerationRequest(port, request, controlCode, sizeof request);
    return getU32(request, v::kPayload);
}

// The serial text ends at its first zero byte, and in any case before the entry's
// address value, so a driver that leaves no terminator cannot lead the print astray.
std::string serialTextOf(const uint8_t* entry) {
    std::string serial;
    for (uint32_t i = 0; i < v::kEntrySerialSpace && entry[v::kEntrySerial + i] != 0; ++i)
        serial += static_cast<char>(entry[v::kEntrySerial + i]);
    return serial;
}

std::u16string zeroExtended(const uint8_t* bytes, uint32_t length) {
    std::u16string text;
    for (uint32_t i = 0; i < length; ++i)
        text += static_cast<char16_t>(bytes[i]);
    return text;
}

std::u16string signExtended(const uint8_t* bytes, uint32_t length) {
    std::u16string text;
    for (uint32_t i = 0; i < length; ++i)
        text += static_cast<char16_t>(static_cast<int16_t>(static_cast<int8_t>(bytes[i])));
    return text;
}

void identifyEntry(platform::Handle port, const uint8_t* entry, RequestBuffer& identify,
                   TargetDisk& record, DiskList& identifiedDisks) {
    const uint32_t diskId = getU32(entry, v::kEntryDiskId);
    identify.zero();
    buildVrocIdentifyRequest(identify.data(), diskId);
    uint32_t returned = 0;
    sendMiniportRequest(port, identify.data(), v::kIdentifySize, v::kIdentifySize, &returned);
    printLastError();
    const uint8_t* data = identify.data() + v::kDataBuffer;
    record.firmwareRevision =
        zeroExtended(data + req::identify::kFirmware, req::identify::kFirmwareLength);
    record.serialNumber = zeroExtended(data + req::identify::kSerial, req::identify::kSerialLength);
    record.pathId = getU32(entry, v::kEntryAddress);
    record.vrocDiskId = diskId;
    record.modelNumber = signExtended(entry + v::kEntryModel, v::kEntryModelLength);
    identifiedDisks.push_back(record);
}

PortOutcome listRaidMembers(platform::Handle port, TargetDisk& record, DiskList& identifiedDisks) {
    uint8_t volume[v::kVolumeInfoSize] = {};
    putU32(volume, v::kPayload, v::kSelectedVolume);
    sendEnumerationRequest(port, volume, v::kVolumeInfoCode, sizeof volume);
    printLastError();
    const uint32_t members = getU32(volume, v::kVolumeMemberCount);
    narrowFormattedOut("Number of NVMe RAID volume member disks: %lu\n",
                       static_cast<unsigned long>(members));

    uint32_t listSize = 0;
    RequestBuffer list = listBuffer(members, v::kMemberListOverhead, &listSize);
    if (!list)
        return PortOutcome::OutOfMemory;
    putU32(list.data(), v::kPayload, v::kSelectedVolume);
    putU32(list.data(), v::kMemberListLength, members * v::kEntrySize);
    sendEnumerationRequest(port, list.data(), v::kMemberListCode, listSize);
    printLastError();

    RequestBuffer identify(v::kIdentifySize);
    if (!identify)
        return PortOutcome::OutOfMemory;
    for (uint32_t j = 0; j < members; ++j) {
        const uint8_t* entry = list.data() + v::kMemberListEntries + size_t{j} * v::kEntrySize;
        narrowFormattedOut("\nSerial: %s\nvrocDiskId:%lx\n", serialTextOf(entry).c_str(),
                           static_cast<unsigned long>(getU32(entry, v::kEntryDiskId)));
        record.driverKind = VrocRaid;
        wideOut() << u"RaidVROC" << endl;
        identifyEntry(port, entry, identify, record, identifiedDisks);
    }
    return PortOutcome::Listed;
}

PortOutcome listNonRaidDisks(platform::Handle port, TargetDisk& record, DiskList& identifiedDisks) {
    const int32_t disks = static_cast<int32_t>(countAt(port, v::kNonRaidCountCode));
    if (disks <= 0)
        return PortOutcome::NothingListed;

    uint32_t listSize = 0;
    RequestBuffer list =
        listBuffer(static_cast<uint64_t>(disks), v::kNonRaidListOverhead, &listSize);
    if (!list)
        return PortOutcome::OutOfMemory;
    putU32(list.data(), v::kPayload, static_cast<uint32_t>(disks) * v::kEntrySize);
    sendEnumerationRequest(port, list.data(), v::kNonRaidListCode, listSize);

    RequestBuffer identify(v::kIdentifySize);
    if (!identify)
        return PortOutcome::OutOfMemory;
    for (int32_t j = 0; j < disks; ++j) {
        const uint8_t* entry =
            list.data() + v::kNonRaidListEntries + static_cast<size_t>(j) * v::kEntrySize;
        record.driverKind = VrocNonRaid;
        wideOut() << u"NonRaidVROC" << endl;
        identifyEntry(port, entry, identify, record, identifiedDisks);
    }
    return PortOutcome::Listed;
}

} // namespace

void enumerateVrocDisks(TargetDisk found, DiskList& identifiedDisks, int32_t* vrocPort) {
    platform::Platform& os = platform::os();
    for (int32_t n = 0; n < req::kScsiPortCount; ++n) {
        const platform::Handle port =
            os.createFile(scsiPortPath(n), win::GENERIC_READ | win::GENERIC_WRITE,
                          win::FILE_SHARE_READ | win::FILE_SHARE_WRITE, win::OPEN_EXISTING,
                          win::FILE_ATTRIBUTE_NORMAL);
        if (port == platform::kInvalidHandle)
            continue;
        const PortOutcome outcome = countAt(port, v::kRaidCountCode) > 0
                                        ? listRaidMembers(port, found, identifiedDisks)
                                        : listNonRaidDisks(port, found, identifiedDisks);
        os.closeHandle(port);
        if (outcome == PortOutcome::OutOfMemory)
            return;
        if (outcome == PortOutcome::Listed) {
            *vrocPort = n;
            return;
        }
    }
}

} // namespace qir
