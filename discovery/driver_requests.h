// Every request this tool sends to a storage driver: control codes, signatures,
// request sizes and the byte offsets of each field of each request and reply.
// Buffers are built and read with the helpers of byte_io.h at these offsets, so the
// bytes are the same on every host. Nothing else in the tool spells out a number
// that a driver interprets.
#pragma once

#include <cstdint>

namespace qir::req {

// ---- Control codes -------------------------------------------------------------
inline constexpr uint32_t IOCTL_STORAGE_GET_DEVICE_NUMBER = 0x002D1080;
inline constexpr uint32_t IOCTL_STORAGE_QUERY_PROPERTY = 0x002D1400;
inline constexpr uint32_t IOCTL_SCSI_MINIPORT = 0x0004D008;
// The storage stack's own firmware and pass-through requests. The tool sends none of
// them; they stand here so that the scan's guard can refuse them too.
inline constexpr uint32_t IOCTL_STORAGE_FIRMWARE_DOWNLOAD = 0x002DDC04;
inline constexpr uint32_t IOCTL_STORAGE_FIRMWARE_ACTIVATE = 0x002DDC08;
inline constexpr uint32_t IOCTL_STORAGE_PROTOCOL_COMMAND = 0x002DD3C0;

// ---- STORAGE_DEVICE_NUMBER (reply of IOCTL_STORAGE_GET_DEVICE_NUMBER) -----------
namespace device_number {
inline constexpr uint32_t kSize = 12;
inline constexpr uint32_t kDeviceType = 0;
inline constexpr uint32_t kDeviceNumber = 4;
inline constexpr uint32_t kPartitionNumber = 8;
static_assert(kSize == kPartitionNumber + 4, "the reply ends with PartitionNumber");
} // namespace device_number

// ---- NVMe Identify Controller data (4096 bytes) -----------------------------------
namespace identify {
inline constexpr uint32_t kSize = 4096;
inline constexpr uint32_t kVendorId = 0; // u16
inline constexpr uint32_t kSerial = 4;
inline constexpr uint32_t kSerialLength = 20;
inline constexpr uint32_t kModel = 24;
inline constexpr uint32_t kModelLength = 40;
inline constexpr uint32_t kFirmware = 64;
inline constexpr uint32_t kFirmwareLength = 8;
inline constexpr uint32_t kVersionMinor = 81;       // VER bits 15:8
inline constexpr uint32_t kVersionMajor = 82;       // VER bits 31:16, u16
inline constexpr uint32_t kFirmwareSlotInfo = 260;  // FRMW
inline constexpr uint32_t kUpdateGranularity = 319; // FWUG
inline constexpr uint8_t kOpcode = 0x06;
inline constexpr uint32_t kCnsController = 1;
} // namespace identify

// ---- IOCTL_STORAGE_QUERY_PROPERTY: NVMe Identify Controller ----------------------
// STORAGE_PROPERTY_QUERY with STORAGE_PROTOCOL_SPECIFIC_DATA as its parameters; the
// reply is a STORAGE_PROTOCOL_DATA_DESCRIPTOR in the same buffer.
namespace storage_query {
inline constexpr uint32_t kSize = 4144;
inline constexpr uint32_t kPropertyId = 0;
inline constexpr uint32_t kQueryType = 4;
inline constexpr uint32_t kProtocolType = 8;
inline constexpr uint32_t kDataType = 12;
inline constexpr uint32_t kRequestValue = 16;
inline constexpr uint32_t kRequestSubValue = 20;
inline constexpr uint32_t kDataOffset = 24;
inline constexpr uint32_t kDataLength = 28;
inline constexpr uint32_t kIdentifyData = 48; // in the reply: 8 + ProtocolDataOffset

inline constexpr uint32_t StorageAdapterProtocolSpecificProperty = 49;
inline constexpr uint32_t PropertyStandardQuery = 0;
inline constexpr uint32_t ProtocolTypeNvme = 3;
inline constexpr uint32_t NVMeDataTypeIdentify = 1;
inline constexpr uint32_t kProtocolDataOffsetValue = 40;
inline constexpr uint32_t kProtocolDataLengthValue = 4096;
// The descriptor's protocol data (Identify) follows its 8-byte head and fills the rest.
static_assert(kIdentifyData == 8 + kProtocolDataOffsetValue);
static_assert(kProtocolDataLengthValue == identify::kSize);
static_assert(kSize == kIdentifyData + kProtocolDataLengthValue);
} // namespace storage_query

// ---- SRB_IO_CONTROL: the first 28 bytes of every miniport request ---------------
namespace srb {
inline constexpr uint32_t kHeaderSize = 28;
inline constexpr uint32_t kHeaderLength = 0;
inline constexpr uint32_t kSignature = 4; // 8 bytes, no terminator
inline constexpr uint32_t kTimeout = 12;
inline constexpr uint32_t kControlCode = 16;
inline constexpr uint32_t kReturnCode = 20;
inline constexpr uint32_t kLength = 24;
static_assert(kHeaderSize == kLength + 4, "Length is the header's last field");
} // namespace srb

// ---- FIRMWARE_REQUEST_BLOCK and the structures of its data area ------------------
// The inbox and the IRST firmware requests carry the same block, each at a base of its
// own, with the data area right behind it. Offsets count from the start of the request.
template <uint32_t Base> struct FirmwareRequestBlock {
    static constexpr uint32_t kVersion = Base;
    static constexpr uint32_t kSize = Base + 4;
    static constexpr uint32_t kFunction = Base + 8;
    static constexpr uint32_t kFlags = Base + 12;
    static constexpr uint32_t kDataBufferOffset = Base + 16;
    static constexpr uint32_t kDataBufferLength = Base + 20;
    static constexpr uint32_t kData = Base + 24;
    static constexpr uint32_t kVersionValue = 1;
    static constexpr uint32_t kSizeValue = 24;
    static constexpr uint32_t kDataBufferOffsetValue = kData;
    // STORAGE_FIRMWARE_DOWNLOAD, either version, at kData
    static constexpr uint32_t kDownloadVersion = kData;
    static constexpr uint32_t kDownloadSize = kData + 4;
    static constexpr uint32_t kDownloadOffset = kData + 8;      // u64
    static constexpr uint32_t kDownloadBufferSize = kData + 16; // u64
    // STORAGE_FIRMWARE_ACTIVATE, at kData
    static constexpr uint32_t kActivateVersion = kData;
    static constexpr uint32_t kActivateSize = kData + 4;
    static constexpr uint32_t kActivateSlot = kData + 8; // u8
    static constexpr uint32_t kActivateVersionValue = 1;
    static constexpr uint32_t kActivateSizeValue = 12;

    static_assert(kSizeValue == kData - Base, "the block's own size reaches its data area");
    static_assert(kDownloadBufferSize == kDownloadOffset + 8);
    // Slot is followed by three reserved bytes.
    static_assert(kActivateSizeValue == kActivateSlot + 4 - kData);
};

// ---- Inbox driver firmware request: "FIRMWARE" + FIRMWARE_REQUEST_BLOCK ----------
namespace inbox_fw {
inline constexpr char kSignature[9] = "FIRMWARE";
inline constexpr uint32_t kControlCode = 0x001B0780; // IOCTL_SCSI_MINIPORT_FIRMWARE
inline constexpr uint32_t kTimeout = 30;
inline constexpr uint32_t kOverhead = 76; // request size = piece size + 76
using Block = FirmwareRequestBlock<srb::kHeaderSize>;
// STORAGE_FIRMWARE_DOWNLOAD (version 1)
inline constexpr uint32_t kDownloadImage = Block::kData + 24;
inline constexpr uint32_t kDownloadVersionValue = 1;
inline constexpr uint32_t kDownloadSizeValue = 24;
// STORAGE_FIRMWARE_INFO (version 1), relative to its start in the reply
inline constexpr uint32_t kInfoUpgradeSupport = 8;
inline constexpr uint32_t kInfoSlotCount = 9;
inline constexpr uint32_t kInfoActiveSlot = 10;
inline constexpr uint32_t kInfoPendingSlot = 11;
inline constexpr uint8_t kNoPendingSlot = 0xFF; // STORAGE_FIRMWARE_INFO_INVALID_SLOT
inline constexpr uint32_t kInfoHeaderSize = 16;
inline constexpr uint32_t kInfoSlotSize = 16;
inline constexpr uint32_t kSlotNumber = 0; // within a slot record
inline constexpr uint32_t kSlotReadOnly = 1;
inline constexpr uint32_t kSlotRevision = 8; // 8 bytes
static_assert(kDownloadSizeValue == Block::kDownloadBufferSize + 8 - Block::kData);
static_assert(kDownloadImage == Block::kData + kDownloadSizeValue);
static_assert(kOverhead == kDownloadImage, "the piece is the request's last field");
static_assert(kInfoHeaderSize == kInfoPendingSlot + 5); // then reserved bytes to 16
static_assert(kInfoSlotSize == kSlotRevision + 8);
} // namespace inbox_fw

// FIRMWARE_REQUEST_BLOCK functions and flags, shared by the inbox and IRST requests.
inline constexpr uint32_t FIRMWARE_FUNCTION_GET_INFO = 1;
inline constexpr uint32_t FIRMWARE_FUNCTION_DOWNLOAD = 2;
inline constexpr uint32_t FIRMWARE_FUNCTION_ACTIVATE = 3;
inline constexpr uint32_t FIRMWARE_REQUEST_FLAG_CONTROLLER = 1;

// FIRMWARE_STATUS values (ReturnCode of the firmware requests).
inline constexpr uint32_t FIRMWARE_STATUS_SUCCESS = 0x0;
inline constexpr uint32_t FIRMWARE_STATUS_ERROR = 0x1;
inline constexpr uint32_t FIRMWARE_STATUS_ILLEGAL_REQUEST = 0x2;
inline constexpr uint32_t FIRMWARE_STATUS_INVALID_PARAMETER = 0x3;
inline constexpr uint32_t FIRMWARE_STATUS_INPUT_BUFFER_TOO_BIG = 0x4;
inline constexpr uint32_t FIRMWARE_STATUS_OUTPUT_BUFFER_TOO_SMALL = 0x5;
inline constexpr uint32_t FIRMWARE_STATUS_INVALID_SLOT = 0x6;
inline constexpr uint32_t FIRMWARE_STATUS_INVALID_IMAGE = 0x7;
inline constexpr uint32_t FIRMWARE_STATUS_CONTROLLER_ERROR = 0x10;
inline constexpr uint32_t FIRMWARE_STATUS_POWER_CYCLE_REQUIRED = 0x20;
inline constexpr uint32_t FIRMWARE_STATUS_DEVICE_ERROR = 0x40;

// ---- CSMI RAID configuration: "CSMIARY", CC_CSMI_SAS_GET_RAID_CONFIG --------------
namespace csmi {
inline constexpr char kSignature[9] = "CSMIARY\0";
inline constexpr uint32_t kControlCode = 11; // CC_CSMI_SAS_GET_RAID_CONFIG
inline constexpr uint32_t kTimeout = 30;
inline constexpr uint32_t kFixedSize = 64; // header + CSMI_SAS_RAID_CONFIG
inline constexpr uint32_t kDriveRecordSize = 136;
inline constexpr uint32_t kDefaultDriveRecords = 2;
inline constexpr uint32_t kSize = kFixedSize + kDefaultDriveRecords * kDriveRecordSize; // 336
inline constexpr uint32_t kRaidSetIndex = 28;
inline constexpr uint32_t kDriveCount = 43; // u8
inline constexpr uint32_t kDrives = 64;
inline constexpr uint32_t kDrivePort = 90; // byte 2 of bSASAddress within a drive record
static_assert(kDrives == kFixedSize, "the drive records follow the fixed part");
static_assert(kDriveCount < kFixedSize && kRaidSetIndex + 4 <= kDriveCount);
} // namespace csmi

// ---- RstNvmeRequest: "IntelNvm" NVMe pass-through of the IRST driver -------------
namespace rst_nvme {
inline constexpr char kSignature[9] = "IntelNvm";
inline constexpr uint32_t kControlCode = 0xF0002808;
inline constexpr uint32_t kTimeout = 10;
inline constexpr uint32_t kSize = 4260;
inline constexpr uint32_t kVersion = 28; // u8
inline constexpr uint32_t kPathId = 29;  // u8
inline constexpr uint32_t kTargetId = 30;
inline constexpr uint32_t kLun = 31;
inline constexpr uint32_t kCommandDword0 = 32;
inline constexpr uint32_t kNamespaceId = 36;
inline constexpr uint32_t kCommandDword10 = 72;
inline constexpr uint32_t kCommandDword11 = 76;
inline constexpr uint32_t kCommandSet = 96; // u8, 0 = admin
inline constexpr uint32_t kDataOffset = 116;
inline constexpr uint32_t kDataLength = 120;
inline constexpr uint32_t kData = 164;
inline constexpr uint32_t kDataOffsetValue = 164;
inline constexpr uint32_t kDataLengthValue = 4096;
static_assert(kDataOffsetValue == kData);
static_assert(kDataLengthValue == identify::kSize);
static_assert(kSize == kData + kDataLengthValue, "the Identify data is the request's last field");
} // namespace rst_nvme

// ---- RstFirmwareRequest: "IntelFw " download and activate of the IRST driver -----
namespace rst_fw {
inline constexpr char kSignature[9] = "IntelFw ";
inline constexpr uint32_t kControlCode = 0xF0000040;
inline constexpr uint32_t kTimeout = 30;
inline constexpr uint32_t kVersion = 28; // u8
inline constexpr uint32_t kPathId = 29;  // u8
inline constexpr uint32_t kTargetId = 30;
inline constexpr uint32_t kLun = 31;
using Block = FirmwareRequestBlock<32>;
// STORAGE_FIRMWARE_DOWNLOAD_V2
inline constexpr uint32_t kDownloadOverhead = 88;            // request size = piece size + 88
inline constexpr uint32_t kDownloadSlot = Block::kData + 24; // u8
inline constexpr uint32_t kDownloadImageSize = Block::kData + 28;
inline constexpr uint32_t kDownloadImage = Block::kData + 32;
inline constexpr uint32_t kDownloadVersionValue = 2;
inline constexpr uint32_t kDownloadSizeValue = 32;
inline constexpr uint8_t kDownloadSlotValue = 0xFF;
// STORAGE_FIRMWARE_ACTIVATE
inline constexpr uint32_t kActivateRequestSize = 68;
inline constexpr uint8_t kActivateSlotValue = 2;
static_assert(kDownloadImageSize == kDownloadSlot + 4); // slot then three reserved bytes
static_assert(kDownloadImage == kDownloadImageSize + 4);
static_assert(kDownloadSizeValue == kDownloadImage - Block::kData);
static_assert(kDownloadOverhead == kDownloadImage, "the piece is the request's last field");
static_assert(kActivateRequestSize == Block::kData + Block::kActivateSizeValue);
} // namespace rst_fw

// ---- "NvmeRAID" requests of the VROC driver ---------------------------------------
namespace vroc {
inline constexpr char kSignature[9] = "NvmeRAID";
inline constexpr uint32_t kEnumerationTimeout = 40;
inline constexpr uint32_t kFirmwareTimeout = 30;
inline constexpr uint32_t kPayload = 28; // first payload u32 after the header

inline constexpr uint32_t kRaidCountCode = 0xE0002014;
inline constexpr uint32_t kRaidCountSize = 32;
inline constexpr uint32_t kVolumeInfoCode = 0xE0002018;
inline constexpr uint32_t kVolumeInfoSize = 132;
inline constexpr uint32_t kVolumeMemberCount = 128;
inline constexpr uint32_t kMemberListCode = 0xE000201C;
inline constexpr uint32_t kMemberListOverhead = 40; // n * 108 + 40
inline constexpr uint32_t kMemberListLength = 32;   // u32 = n * 108
inline constexpr uint32_t kMemberListEntries = 36;
inline constexpr uint32_t kNonRaidCountCode = 0xE0002028;
inline constexpr uint32_t kNonRaidCountSize = 32;
inline constexpr uint32_t kNonRaidListCode = 0xE000202C;
inline constexpr uint32_t kNonRaidListOverhead = 36; // m * 108 + 36
inline constexpr uint32_t kNonRaidListEntries = 32;
inline constexpr uint32_t kSelectedVolume = 1;
static_assert(kRaidCountSize == kPayload + 4);
static_assert(kNonRaidCountSize == kPayload + 4);
static_assert(kVolumeInfoSize == kVolumeMemberCount + 4);
static_assert(kMemberListEntries == kMemberListLength + 4);

// Member entry (108 bytes, in both lists)
inline constexpr uint32_t kEntrySize = 108;
inline constexpr uint32_t kEntryDiskId = 0;
inline constexpr uint32_t kEntryModel = 4;
inline constexpr uint32_t kEntryModelLength = 40;
inline constexpr uint32_t kEntrySerial = 52;
inline constexpr uint32_t kEntrySerialSpace = 48; // up to the address value
inline constexpr uint32_t kEntryAddress = 100;
static_assert(kEntryModel + kEntryModelLength <= kEntrySerial);
static_assert(kEntrySerialSpace == kEntryAddress - kEntrySerial);
static_assert(kEntrySize == kEntryAddress + 8, "the address (u64) ends the entry");

// NvmeRaidRequest (NVME_PASS_THROUGH_IOCTL)
inline constexpr uint32_t kPassThroughCode = 0xE0002000;
inline constexpr uint32_t kVendorSpecific = 28; // 6 x u32
inline constexpr uint32_t kCommand = 52;        // 64-byte submission entry
inline constexpr uint32_t kCommandOpcode = 52;  // low byte of dword 0
inline constexpr uint32_t kCommandNamespace = 56;
inline constexpr uint32_t kCommandDword10 = 92;
inline constexpr uint32_t kCommandDword11 = 96;
inline constexpr uint32_t kCompletion = 116;       // 4 x u32
inline constexpr uint32_t kCompletionDword3 = 128; // status in bits 31:17
inline constexpr uint32_t kCompletionStatusShift = 17;
inline constexpr uint32_t kDirection = 132;
inline constexpr uint32_t kQueueId = 136;
inline constexpr uint32_t kDataBufferLen = 140;
inline constexpr uint32_t kMetaDataLen = 144;
inline constexpr uint32_t kReturnBufferLen = 148;
inline constexpr uint32_t kDataBuffer = 152;
inline constexpr uint32_t kDirectionToDevice = 1;
inline constexpr uint32_t kDirectionFromDevice = 2;

inline constexpr uint32_t kIdentifySize = 4252;
inline constexpr uint32_t kIdentifyFillEnd = 4248; // 0x55 fill covers 152..4247
inline constexpr uint8_t kIdentifyFill = 0x55;
inline constexpr uint32_t kPieceOverhead = 160; // request size = piece size + 160
inline constexpr uint32_t kReplySize = 153;     // header part plus one data byte
inline constexpr uint32_t kCommitSize = 153;
inline constexpr uint8_t kFirmwareDownloadOpcode = 0x11;
inline constexpr uint8_t kFirmwareCommitOpcode = 0x10;
inline constexpr uint32_t kCommitSlot2ReplaceActivateAtReset = 0x0000000A;
static_assert(kCommand == kVendorSpecific + 6 * 4);
static_assert(kCommandOpcode == kCommand);
static_assert(kCommandNamespace == kCommand + 4);
static_assert(kCommandDword10 == kCommand + 10 * 4);
static_assert(kCommandDword11 == kCommandDword10 + 4);
static_assert(kCompletion == kCommand + 64, "the completion follows the 64-byte command");
static_assert(kCompletionDword3 == kCompletion + 3 * 4);
static_assert(kDirection == kCompletion + 4 * 4);
static_assert(kQueueId == kDirection + 4);
static_assert(kDataBufferLen == kQueueId + 4);
static_assert(kMetaDataLen == kDataBufferLen + 4);
static_assert(kReturnBufferLen == kMetaDataLen + 4);
static_assert(kDataBuffer == kReturnBufferLen + 4);
static_assert(kIdentifyFillEnd == kDataBuffer + identify::kSize);
static_assert(kReplySize == kDataBuffer + 1 && kCommitSize == kDataBuffer + 1);
} // namespace vroc

// SCSI port devices of the VROC driver: "\\.\Scsi" + N + ":".
inline constexpr char16_t kScsiPortPrefix[] = u"\\\\.\\Scsi";
inline constexpr int kScsiPortCount = 16;

} // namespace qir::req
