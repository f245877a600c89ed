// The request and reply layouts the simulated drivers parse and answer, written from the
// published Windows, NVMe, CSMI and Intel driver definitions. They are kept apart from
// the tool's own request catalogue on purpose: if both sides shared one table, a wrong
// offset would be wrong on both sides and no test would notice.
#pragma once

#include <cstdint>

namespace qir::sim::wire {

// ---- Control codes (CTL_CODE values) ----------------------------------------------
inline constexpr uint32_t kGetDeviceNumber = 0x002D1080; // IOCTL_STORAGE_GET_DEVICE_NUMBER
inline constexpr uint32_t kQueryProperty = 0x002D1400;   // IOCTL_STORAGE_QUERY_PROPERTY
inline constexpr uint32_t kScsiMiniport = 0x0004D008;    // IOCTL_SCSI_MINIPORT

// ---- STORAGE_DEVICE_NUMBER ------------------------------------------------------------
inline constexpr uint32_t kDeviceNumberSize = 12;
inline constexpr uint32_t kFileDeviceDisk = 7;

// ---- STORAGE_PROPERTY_QUERY + STORAGE_PROTOCOL_SPECIFIC_DATA ---------------------------
namespace query {
inline constexpr uint32_t kPropertyId = 0;
inline constexpr uint32_t kQueryType = 4;
inline constexpr uint32_t kSpecific = 8; // STORAGE_PROTOCOL_SPECIFIC_DATA
// Offsets inside STORAGE_PROTOCOL_SPECIFIC_DATA.
inline constexpr uint32_t kProtocolType = 0;
inline constexpr uint32_t kDataType = 4;
inline constexpr uint32_t kRequestValue = 8;
inline constexpr uint32_t kRequestSubValue = 12;
inline constexpr uint32_t kDataOffset = 16; // from the start of the specific data
inline constexpr uint32_t kDataLength = 20;
inline constexpr uint32_t kFixedReturnData = 24;
inline constexpr uint32_t kSpecificSize = 40;
inline constexpr uint32_t kAdapterProtocolSpecific = 49;
inline constexpr uint32_t kDeviceProtocolSpecific = 50;
inline constexpr uint32_t kStandardQuery = 0;
inline constexpr uint32_t kProtocolNvme = 3;
inline constexpr uint32_t kNvmeIdentify = 1;
// STORAGE_PROTOCOL_DATA_DESCRIPTOR: Version, Size, then the specific data.
inline constexpr uint32_t kDescriptorSize = 48;
} // namespace query

// ---- SRB_IO_CONTROL --------------------------------------------------------------------
namespace srb {
inline constexpr uint32_t kHeaderLength = 0;
inline constexpr uint32_t kSignature = 4;
inline constexpr uint32_t kTimeout = 12;
inline constexpr uint32_t kControlCode = 16;
inline constexpr uint32_t kReturnCode = 20;
inline constexpr uint32_t kLength = 24;
inline constexpr uint32_t kSize = 28;
} // namespace srb

// ---- Windows miniport firmware request ("FIRMWARE") ------------------------------------
namespace fw {
inline constexpr uint32_t kControlCode = 0x001B0780; // IOCTL_SCSI_MINIPORT_FIRMWARE
// FIRMWARE_REQUEST_BLOCK, relative to its start.
inline constexpr uint32_t kVersion = 0;
inline constexpr uint32_t kSize = 4;
inline constexpr uint32_t kFunction = 8;
inline constexpr uint32_t kFlags = 12;
inline constexpr uint32_t kDataBufferOffset = 16;
inline constexpr uint32_t kDataBufferLength = 20;
inline constexpr uint32_t kBlockSize = 24;
inline constexpr uint32_t kFunctionGetInfo = 1;
inline constexpr uint32_t kFunctionDownload = 2;
inline constexpr uint32_t kFunctionActivate = 3;
inline constexpr uint32_t kFlagController = 1;
// STORAGE_FIRMWARE_DOWNLOAD (v1) and _V2, relative to the data area.
inline constexpr uint32_t kDlVersion = 0;
inline constexpr uint32_t kDlSize = 4;
inline constexpr uint32_t kDlOffset = 8;
inline constexpr uint32_t kDlBufferSize = 16;
inline constexpr uint32_t kDlV1Image = 24;
inline constexpr uint32_t kDlV2Slot = 24;
inline constexpr uint32_t kDlV2ImageSize = 28;
inline constexpr uint32_t kDlV2Image = 32;
// STORAGE_FIRMWARE_ACTIVATE.
inline constexpr uint32_t kActVersion = 0;
inline constexpr uint32_t kActSize = 4;
inline constexpr uint32_t kActSlot = 8;
inline constexpr uint32_t kActStructSize = 12;
// STORAGE_FIRMWARE_INFO (v1).
inline constexpr uint32_t kInfoVersion = 0;
inline constexpr uint32_t kInfoSize = 4;
inline constexpr uint32_t kInfoUpgradeSupport = 8;
inline constexpr uint32_t kInfoSlotCount = 9;
inline constexpr uint32_t kInfoActiveSlot = 10;
inline constexpr uint32_t kInfoPendingSlot = 11;
inline constexpr uint32_t kInfoSlots = 16;
inline constexpr uint32_t kSlotRecordSize = 16;
inline constexpr uint32_t kSlotNumber = 0;
inline constexpr uint32_t kSlotReadOnly = 1;
inline constexpr uint32_t kSlotRevision = 8;
inline constexpr uint8_t kNoPendingSlot = 0xFF;
} // namespace fw

// FIRMWARE_STATUS values.
namespace fw_status {
inline constexpr uint32_t kSuccess = 0;
inline constexpr uint32_t kError = 1;
inline constexpr uint32_t kIllegalRequest = 2;
inline constexpr uint32_t kInvalidParameter = 3;
inline constexpr uint32_t kInputBufferTooBig = 4;
inline constexpr uint32_t kOutputBufferTooSmall = 5;
inline constexpr uint32_t kInvalidSlot = 6;
inline constexpr uint32_t kInvalidImage = 7;
inline constexpr uint32_t kControllerError = 0x10;
inline constexpr uint32_t kPowerCycleRequired = 0x20;
inline constexpr uint32_t kDeviceError = 0x40;
} // namespace fw_status

// ---- CSMI RAID configuration ("CSMIARY", CC_CSMI_SAS_GET_RAID_CONFIG) -----------------
namespace csmi {
inline constexpr uint32_t kGetRaidConfig = 11;
inline constexpr uint32_t kRaidSetIndex = 28;
inline constexpr uint32_t kCapacity = 32;
inline constexpr uint32_t kStripeSize = 36;
inline constexpr uint32_t kRaidType = 40;
inline constexpr uint32_t kStatus = 41;
inline constexpr uint32_t kDriveCount = 43;
inline constexpr uint32_t kDrives = 64;
inline constexpr uint32_t kDriveRecordSize = 136;
inline constexpr uint32_t kDriveModel = 0;
inline constexpr uint32_t kDriveFirmware = 40;
inline constexpr uint32_t kDriveSerial = 48;
inline constexpr uint32_t kDriveSasAddress = 88;
inline constexpr uint32_t kDriveStatus = 104;
inline constexpr uint32_t kDriveUsage = 105;
inline constexpr uint32_t kStatusSuccess = 0;
inline constexpr uint32_t kStatusBadControlCode = 2;
inline constexpr uint32_t kRaidSetOutOfRange = 1000;
} // namespace csmi

// ---- Intel RST requests, addressed by the byte after the header --------------------------
namespace rst {
inline constexpr uint32_t kNvmControlCode = 0xF0002808; // "IntelNvm"
inline constexpr uint32_t kFwControlCode = 0xF0000040;  // "IntelFw "
inline constexpr uint32_t kVersion = 28;
inline constexpr uint32_t kPathId = 29;
inline constexpr uint32_t kTargetId = 30;
inline constexpr uint32_t kLun = 31;
// "IntelNvm": the submission entry at 32, the data area given by offset/length.
inline constexpr uint32_t kCommand = 32;
inline constexpr uint32_t kCommandSet = 96;
inline constexpr uint32_t kDataOffset = 116;
inline constexpr uint32_t kDataLength = 120;
inline constexpr uint32_t kNvmHeaderEnd = 124;
// "IntelFw ": FIRMWARE_REQUEST_BLOCK at 32.
inline constexpr uint32_t kFwBlock = 32;
inline constexpr uint32_t kFwHeaderEnd = 56;
} // namespace rst

// ---- NVME_PASS_THROUGH_IOCTL ("NvmeRAID") ---------------------------------------------------
namespace nvme_pt {
inline constexpr uint32_t kPassThroughCode = 0xE0002000;
inline constexpr uint32_t kRaidCount = 0xE0002014;
inline constexpr uint32_t kVolumeInfo = 0xE0002018;
inline constexpr uint32_t kMemberList = 0xE000201C;
inline constexpr uint32_t kNonRaidCount = 0xE0002028;
inline constexpr uint32_t kNonRaidList = 0xE000202C;
inline constexpr uint32_t kCommand = 52;
inline constexpr uint32_t kCompletion = 116;
inline constexpr uint32_t kCompletionDw3 = 128;
inline constexpr uint32_t kDirection = 132;
inline constexpr uint32_t kQueueId = 136;
inline constexpr uint32_t kDataBufferLen = 140;
inline constexpr uint32_t kMetaDataLen = 144;
inline constexpr uint32_t kReturnBufferLen = 148;
inline constexpr uint32_t kDataBuffer = 152;
inline constexpr uint32_t kDirectionToDevice = 1;
inline constexpr uint32_t kDirectionFromDevice = 2;
// Driver status values in ReturnCode.
inline constexpr uint32_t kInvalidIoctlCode = 1;
inline constexpr uint32_t kInsufficientInBuffer = 3;
inline constexpr uint32_t kInsufficientOutBuffer = 4;
inline constexpr uint32_t kUnsupportedAdminCmd = 5;
inline constexpr uint32_t kInvalidDirection = 11;
inline constexpr uint32_t kInvalidMetaBufferLength = 12;
inline constexpr uint32_t kInvalidPathTargetId = 14;
// The enumeration requests.
inline constexpr uint32_t kCountValue = 28;
inline constexpr uint32_t kVolumeSelect = 28;
inline constexpr uint32_t kVolumeMemberCount = 128;
inline constexpr uint32_t kVolumeInfoSize = 132;
inline constexpr uint32_t kMemberListBytes = 32;
inline constexpr uint32_t kMemberListEntries = 36;
inline constexpr uint32_t kNonRaidListBytes = 28;
inline constexpr uint32_t kNonRaidListEntries = 32;
inline constexpr uint32_t kEntrySize = 108;
inline constexpr uint32_t kEntryDiskId = 0;
inline constexpr uint32_t kEntryModel = 4;
inline constexpr uint32_t kEntrySerial = 52;
inline constexpr uint32_t kEntrySerialMax = 48;
inline constexpr uint32_t kEntryAddress = 100;
} // namespace nvme_pt

// ---- NVMe -----------------------------------------------------------------------------------
namespace nvme {
inline constexpr uint8_t kOpIdentify = 0x06;
inline constexpr uint8_t kOpFirmwareCommit = 0x10;
inline constexpr uint8_t kOpFirmwareDownload = 0x11;
// Submission entry dwords, as byte offsets from its start.
inline constexpr uint32_t kCdw0 = 0;
inline constexpr uint32_t kNsid = 4;
inline constexpr uint32_t kCdw10 = 40;
inline constexpr uint32_t kCdw11 = 44;
inline constexpr uint32_t kIdentifySize = 4096;
// Identify Controller fields.
inline constexpr uint32_t kVid = 0;
inline constexpr uint32_t kSsvid = 2;
inline constexpr uint32_t kSn = 4;
inline constexpr uint32_t kSnLength = 20;
inline constexpr uint32_t kMn = 24;
inline constexpr uint32_t kMnLength = 40;
inline constexpr uint32_t kFr = 64;
inline constexpr uint32_t kFrLength = 8;
inline constexpr uint32_t kVer = 80;
inline constexpr uint32_t kFrmw = 260;
inline constexpr uint32_t kFwug = 319;
// Status code types and codes.
inline constexpr uint8_t kTypeGeneric = 0;
inline constexpr uint8_t kTypeCommandSpecific = 1;
inline constexpr uint8_t kInvalidOpcode = 0x01;
inline constexpr uint8_t kInvalidField = 0x02;
inline constexpr uint8_t kInvalidSlot = 0x06;
inline constexpr uint8_t kInvalidImage = 0x07;
inline constexpr uint8_t kConventionalResetRequired = 0x0B;
inline constexpr uint8_t kSubsystemResetRequired = 0x10;
inline constexpr uint8_t kControllerResetRequired = 0x11;
inline constexpr uint8_t kActivationProhibited = 0x13;
inline constexpr uint8_t kOverlappingRange = 0x14;
inline constexpr uint32_t kRevisionOffset = 0x3020;
} // namespace nvme

} // namespace qir::sim::wire
