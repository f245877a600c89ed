#include "fuzz/fuzz_platform.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

#include "app/console.h"
#include "discovery/byte_io.h"
#include "discovery/driver_requests.h"
#include "platform/win_constants.h"

namespace qir::fuzz {

using namespace qir::platform;

uint8_t InputReader::byte() {
    return pos_ < size_ ? data_[pos_++] : 0;
}

uint16_t InputReader::u16() {
    uint16_t lo = byte();
    return static_cast<uint16_t>(lo | (byte() << 8));
}

uint32_t InputReader::u32() {
    uint32_t lo = u16();
    return lo | (static_cast<uint32_t>(u16()) << 16);
}

void InputReader::bytes(uint8_t* out, size_t n) {
    for (size_t i = 0; i < n; ++i)
        out[i] = byte();
}

namespace {

[[noreturn]] void violation(const char* what, long long value) {
    std::fprintf(stderr, "fuzz platform: %s (0x%llx)\n", what, value);
    std::abort();
}

// The errors a real call fails with, weighted towards those the core tells apart.
const uint32_t kErrors[] = {
    win::ERROR_GEN_FAILURE,       win::ERROR_INVALID_FUNCTION,
    win::ERROR_ACCESS_DENIED,     win::ERROR_FILE_NOT_FOUND,
    win::ERROR_IO_DEVICE,         win::ERROR_NOT_SUPPORTED,
    win::ERROR_INVALID_PARAMETER, win::ERROR_INSUFFICIENT_BUFFER,
    win::ERROR_NOT_FOUND,         win::ERROR_INVALID_DATA,
    win::ERROR_NO_MORE_ITEMS,     win::ERROR_SHARING_VIOLATION,
    win::ERROR_NOT_ENOUGH_MEMORY, 0,
    win::ERROR_INVALID_HANDLE,
};
constexpr size_t kErrorCount = sizeof(kErrors) / sizeof(kErrors[0]);

// Texts the core looks for, so that short inputs reach past the identifier tests.
const char* const kParentIds[] = {
    "PCI\\VEN_1D7A&DEV_0100&SUBSYS_00011D7A\\4&1",
    "PCI\\VEN_8086&DEV_2822&SUBSYS_00008086\\3&1",
    "PCI\\VEN_1d7a&DEV_0100\\4&1",
    "VEN_1D7A",
    "ROOT\\NONE",
};
const char* const kInstanceIds[] = {
    "SCSI\\DISK&VEN_NVME&PROD_KORVANE_TX7Q3\\5&1",
    "SCSI\\DISK&VEN_INTEL&PROD_RAID_VOLUME\\4&2",
    "PCI\\VEN_8086&DEV_2822\\3&1",
    "SCSI\\DISK&VEN_INTEL&PROD_SSD\\4&3",
};
const char* const kDriverDescs[] = {
    "Intel(R) Chipset SATA/PCIe RST Premium Controller",
    "Intel(R) Virtual RAID on CPU Controller",
    "Intel(R) SATA AHCI Controller",
    "intel rst controller",
};
const char* const kLocations[] = {
    "Bus Number 3, Target Id 0, LUN 0",
    "Bus Number 0, Target Id 0, LUN 0",
    "Bus Number 99999999999999999999, Target Id 0, LUN 0",
    "Bus Number -7,",
    "Bus Number ",
    "PCI bus 2, device 0, function 0",
};
const char* const kHardwareIds[] = {
    "SCSI\\DiskNVMe____KORVANE_TX7Q3\nSCSI\\DiskNVMe____\nGenDisk",
    "GenDisk",
    "NVMe\nNVMe",
    "SCSI\\DiskIntel___RAID",
};
const char* const kInterfacePaths[] = {
    "\\\\?\\scsi#disk&ven_nvme&prod_korvane#5&1#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}",
    "\\\\?\\pci#ven_8086&dev_2822#3&1#{2accfe60-c130-11d2-b082-00a0c91efb8b}",
    "\\\\?\\PCI#VEN_8086&DEV_A77F#3&2#{2accfe60-c130-11d2-b082-00a0c91efb8b}",
    "\\\\?\\x",
};

template <size_t N> constexpr size_t countOf(const char* const (&)[N]) {
    return N;
}

const char* const kRevisions[] = {"VDL7W2QA", "VDL4J9QB", "VDL8A1QC"};
const uint8_t kGranularities[] = {1, 8, 0, 0xFF, 2, 3, 64, 7};

bool sameSignature(const uint8_t* header, const char (&sig)[9]) {
    return std::memcmp(header + req::srb::kSignature, sig, 8) == 0;
}

// Writes bytes at an offset of a reply, never past its end.
void putClipped(uint8_t* buf, uint32_t size, uint32_t offset, const void* src, size_t n) {
    if (offset >= size)
        return;
    size_t room = size - offset;
    std::memcpy(buf + offset, src, n < room ? n : room);
}

void putU32Clipped(uint8_t* buf, uint32_t size, uint32_t offset, uint32_t v) {
    uint8_t le[4];
    putU32(le, 0, v);
    putClipped(buf, size, offset, le, 4);
}

void requireRoom(uint32_t size, uint32_t needed, uint32_t controlCode) {
    if (size < needed)
        violation("reply does not fit the out buffer the core gave", controlCode);
}

} // namespace

uint32_t FuzzPlatform::drawError() {
    uint8_t pick = in_.byte();
    if (pick == 0xFF)
        return in_.u32();
    return kErrors[pick % kErrorCount];
}

bool FuzzPlatform::fail(uint32_t error) {
    lastError_ = error;
    return false;
}

FuzzPlatform::DeviceSet& FuzzPlatform::liveSet(DevInfoSet set, const char* call) {
    auto it = sets_.find(set);
    if (it == sets_.end()) {
        std::fprintf(stderr, "fuzz platform: %s on a device information set that is not open\n",
                     call);
        violation(closedSets_.count(set) ? "set used after destroy" : "unknown set", set);
    }
    return it->second;
}

void FuzzPlatform::finishRun() {
    if (!handles_.empty())
        violation("handles left open at the end of the run", *handles_.begin());
    if (!sets_.empty())
        violation("device information sets left open at the end of the run", sets_.begin()->first);
}

// ---- SetupAPI ----------------------------------------------------------------------

DevInfoSet FuzzPlatform::getClassDevs(const Guid*, uint32_t) {
    ++calls_;
    if (in_.byte() % 8 == 0) {
        fail(drawError());
        return kInvalidDevInfoSet;
    }
    DeviceSet s;
    s.deviceCount = in_.byte() % (kMaxDevicesPerSet + 1);
    for (uint32_t i = 0; i < s.deviceCount; ++i)
        s.devInst.push_back(1 + in_.byte() % 8);
    DevInfoSet id = nextSet_++;
    sets_[id] = s;
    return id;
}

bool FuzzPlatform::enumDeviceInfo(DevInfoSet set, uint32_t index, DeviceInfoData* info) {
    ++calls_;
    DeviceSet& s = liveSet(set, "SetupDiEnumDeviceInfo");
    if (!info || info->cbSize != win::kDeviceInfoDataSize)
        return fail(win::ERROR_INVALID_USER_BUFFER);
    if (index >= s.deviceCount)
        return fail(win::ERROR_NO_MORE_ITEMS);
    info->classGuid = Guid{};
    info->devInst = s.devInst[index];
    info->reserved = index + 1;
    return true;
}

bool FuzzPlatform::enumDeviceInterfaces(DevInfoSet set, const DeviceInfoData*,
                                        const Guid& interfaceClass, uint32_t index,
                                        DeviceInterfaceData* iface) {
    ++calls_;
    DeviceSet& s = liveSet(set, "SetupDiEnumDeviceInterfaces");
    if (!iface || iface->cbSize != win::kDeviceInterfaceDataSize)
        return fail(win::ERROR_INVALID_USER_BUFFER);
    if (index >= s.deviceCount || in_.byte() % 8 == 0)
        return fail(win::ERROR_NO_MORE_ITEMS);
    iface->interfaceClassGuid = interfaceClass;
    iface->flags = 1;
    iface->reserved = index + 1;
    return true;
}

FuzzPlatform::Value FuzzPlatform::drawString(const char* const* dictionary, size_t count,
                                             bool multiString) {
    Value v;
    uint8_t mode = in_.byte();
    if (mode & 0x80) {
        v.firstAskLies = true;
        v.firstAskSize = in_.byte();
    }
    std::string text;
    bool terminate = true;
    switch (mode % 8) {
    case 0: {
        // Any error but ERROR_INSUFFICIENT_BUFFER: that one promises a size.
        uint32_t e = drawError();
        v.failsWithError = true;
        v.error = e == win::ERROR_INSUFFICIENT_BUFFER ? win::ERROR_NOT_FOUND : e;
        return v;
    }
    case 1: {
        // Raw bytes, odd lengths and lone surrogates included.
        size_t n = in_.byte() % (kMaxPropertyBytes / 4 + 1);
        v.bytes.resize(n);
        in_.bytes(v.bytes.data(), n);
        return v;
    }
    case 2:
        terminate = false;
        text = dictionary[in_.byte() % count];
        break;
    case 3:
        break;
    default:
        text = dictionary[in_.byte() % count];
        break;
    }
    for (char c : text) {
        char16_t u = (multiString && c == '\n') ? u'\0' : static_cast<char16_t>(c);
        v.bytes.push_back(static_cast<uint8_t>(u));
        v.bytes.push_back(static_cast<uint8_t>(u >> 8));
    }
    if (terminate) {
        v.bytes.insert(v.bytes.end(), multiString ? 4 : 2, 0);
    }
    return v;
}

bool FuzzPlatform::answerValue(Value& value, uint8_t* buffer, uint32_t bufferSize,
                               uint32_t* requiredSize) {
    if (value.failsWithError)
        return fail(value.error);
    uint32_t need = static_cast<uint32_t>(value.bytes.size());
    if (!value.firstAskDone) {
        value.firstAskDone = true;
        if (value.firstAskLies) {
            if (requiredSize)
                *requiredSize = value.firstAskSize;
            return fail(win::ERROR_INSUFFICIENT_BUFFER);
        }
    }
    if (requiredSize)
        *requiredSize = need;
    if (!buffer || bufferSize < need)
        return fail(win::ERROR_INSUFFICIENT_BUFFER);
    if (need)
        std::memcpy(buffer, value.bytes.data(), need);
    return true;
}

bool FuzzPlatform::getDeviceInterfaceDetail(DevInfoSet set, const DeviceInterfaceData* iface,
                                            uint8_t* detail, uint32_t detailSize,
                                            uint32_t* requiredSize, DeviceInfoData* info) {
    ++calls_;
    DeviceSet& s = liveSet(set, "SetupDiGetDeviceInterfaceDetailW");
    if (!iface || iface->reserved == 0 || iface->reserved > s.deviceCount)
        return fail(win::ERROR_INVALID_PARAMETER);
    uint32_t index = static_cast<uint32_t>(iface->reserved - 1);
    auto key = std::make_pair(set, index);
    if (!paths_.count(key)) {
        Value v = drawString(kInterfacePaths, countOf(kInterfacePaths), false);
        // The record's fixed part stands before the path.
        v.bytes.insert(v.bytes.begin(), win::kInterfaceDetailPathOffset, 0);
        paths_[key] = v;
    }
    Value& v = paths_[key];
    if (detail && detailSize >= 4 && getU32(detail, 0) != win::kInterfaceDetailFixedSize)
        return fail(win::ERROR_INVALID_USER_BUFFER);
    if (info && info->cbSize != win::kDeviceInfoDataSize)
        return fail(win::ERROR_INVALID_USER_BUFFER);
    std::vector<uint8_t> keepHeader;
    if (detail && detailSize >= 4)
        keepHeader.assign(detail, detail + 4);
    if (!answerValue(v, detail, detailSize, requiredSize))
        return false;
    // The cbSize the caller set stays as it was.
    if (!keepHeader.empty())
        std::memcpy(detail, keepHeader.data(), 4);
    if (info) {
        info->devInst = s.devInst[index];
        info->reserved = index + 1;
    }
    return true;
}

bool FuzzPlatform::getDeviceRegistryProperty(DevInfoSet set, const DeviceInfoData* info,
                                             uint32_t property, uint32_t* regType, uint8_t* buffer,
                                             uint32_t bufferSize, uint32_t* requiredSize) {
    ++calls_;
    liveSet(set, "SetupDiGetDeviceRegistryPropertyW");
    if (!info || info->cbSize != win::kDeviceInfoDataSize)
        return fail(win::ERROR_INVALID_USER_BUFFER);
    auto key = std::make_pair(set, (info->reserved << 32) | property);
    if (!values_.count(key))
        values_[key] = drawString(kHardwareIds, countOf(kHardwareIds), true);
    if (regType)
        *regType = win::REG_MULTI_SZ;
    return answerValue(values_[key], buffer, bufferSize, requiredSize);
}

bool FuzzPlatform::getDeviceProperty(DevInfoSet set, const DeviceInfoData* info,
                                     const DevPropKey& key, uint32_t* propType, uint8_t* buffer,
                                     uint32_t bufferSize, uint32_t* requiredSize) {
    ++calls_;
    liveSet(set, "SetupDiGetDevicePropertyW");
    if (!info || info->cbSize != win::kDeviceInfoDataSize)
        return fail(win::ERROR_INVALID_USER_BUFFER);
    auto mapKey = std::make_pair(set, (info->reserved << 32) | (1ull << 31) | key.pid);
    if (!values_.count(mapKey)) {
        if (key == win::DEVPKEY_Device_Parent)
            values_[mapKey] = drawString(kParentIds, countOf(kParentIds), false);
        else if (key == win::DEVPKEY_Device_InstanceId)
            values_[mapKey] = drawString(kInstanceIds, countOf(kInstanceIds), false);
        else if (key == win::DEVPKEY_Device_DriverDesc)
            values_[mapKey] = drawString(kDriverDescs, countOf(kDriverDescs), false);
        else
            values_[mapKey] = drawString(kLocations, countOf(kLocations), false);
    }
    if (propType)
        *propType = win::DEVPROP_TYPE_STRING;
    return answerValue(values_[mapKey], buffer, bufferSize, requiredSize);
}

bool FuzzPlatform::destroyDeviceInfoList(DevInfoSet set) {
    ++calls_;
    if (sets_.erase(set) == 0)
        violation(closedSets_.count(set) ? "device information set destroyed twice"
                                         : "destroy of a set that was never made",
                  set);
    closedSets_.insert(set);
    return true;
}

// ---- Device I/O -----------------------------------------------------------------

Handle FuzzPlatform::createFile(const std::u16string&, uint32_t, uint32_t, uint32_t, uint32_t) {
    ++calls_;
    if (in_.exhausted()) {
        fail(win::ERROR_FILE_NOT_FOUND);
        return kInvalidHandle;
    }
    if (in_.byte() % 4 == 0) {
        fail(drawError());
        return kInvalidHandle;
    }
    Handle h = nextHandle_;
    nextHandle_ += 4;
    handles_.insert(h);
    return h;
}

bool FuzzPlatform::closeHandle(Handle handle) {
    ++calls_;
    if (handles_.erase(handle) == 0)
        violation(closedHandles_.count(handle) ? "handle closed twice"
                                               : "close of a handle that was never opened",
                  handle);
    closedHandles_.insert(handle);
    return true;
}

namespace {

void writeIdentify(InputReader& in, uint8_t* buf, uint32_t size, uint32_t at) {
    uint8_t id[req::identify::kSize] = {};
    putU16(id, req::identify::kVendorId, 0x1D7A);
    putU16(id, 2, 0x1D7A);
    char serial[21];
    std::snprintf(serial, sizeof serial, "SN%-18u", static_cast<unsigned>(in.byte()));
    std::memcpy(id + req::identify::kSerial, serial, req::identify::kSerialLength);
    char model[41];
    std::snprintf(model, sizeof model, "%-40s", "KORVANE TX7Q3 1TB");
    std::memcpy(id + req::identify::kModel, model, req::identify::kModelLength);
    uint8_t pick = in.byte() % 4;
    if (pick < 3)
        std::memcpy(id + req::identify::kFirmware, kRevisions[pick], 8);
    else
        in.bytes(id + req::identify::kFirmware, 8);
    putU8(id, req::identify::kVersionMinor, in.byte() % 2 ? 3 : 2);
    putU16(id, req::identify::kVersionMajor, 1);
    putU8(id, req::identify::kFirmwareSlotInfo, 0x07);
    putU8(id, req::identify::kUpdateGranularity, kGranularities[in.byte() % 8]);
    putClipped(buf, size, at, id, sizeof id);
}

void writeMemberEntries(InputReader& in, uint8_t* buf, uint32_t size, uint32_t first) {
    for (uint32_t j = 0; first + (j + 1) * req::vroc::kEntrySize <= size && j < 64; ++j) {
        uint32_t e = first + j * req::vroc::kEntrySize;
        putU32(buf, e + req::vroc::kEntryDiskId, j + 1);
        char model[41];
        std::snprintf(model, sizeof model, "%-40s", "KORVANE TX7Q3 1TB");
        std::memcpy(buf + e + req::vroc::kEntryModel, model, req::vroc::kEntryModelLength);
        char serial[16];
        std::snprintf(serial, sizeof serial, "SVR%u", static_cast<unsigned>(in.byte()));
        std::memcpy(buf + e + req::vroc::kEntrySerial, serial, std::strlen(serial) + 1);
        putU32(buf, e + req::vroc::kEntryAddress, j * 0x10000);
    }
}

} // namespace

// A well-formed answer to the request in buf, with a few values drawn from the input.
void FuzzPlatform::fillReply(uint32_t controlCode, uint8_t* buf, uint32_t size) {
    if (controlCode == req::IOCTL_STORAGE_GET_DEVICE_NUMBER) {
        requireRoom(size, req::device_number::kSize, controlCode);
        putU32(buf, req::device_number::kDeviceType, 7);
        putU32(buf, req::device_number::kDeviceNumber, in_.byte() % 4);
        putU32(buf, req::device_number::kPartitionNumber, 0);
        return;
    }
    if (controlCode == req::IOCTL_STORAGE_QUERY_PROPERTY) {
        requireRoom(size, req::storage_query::kSize, controlCode);
        putU32(buf, 0, 40);
        putU32(buf, 4, 40);
        writeIdentify(in_, buf, size, req::storage_query::kIdentifyData);
        return;
    }
    if (controlCode != req::IOCTL_SCSI_MINIPORT || size < req::srb::kHeaderSize)
        return;
    putU32(buf, req::srb::kReturnCode, 0);
    uint32_t code = getU32(buf, req::srb::kControlCode);
    if (sameSignature(buf, req::inbox_fw::kSignature)) {
        uint32_t function = size >= 40 ? getU32(buf, req::inbox_fw::Block::kFunction) : 0;
        if (function == req::FIRMWARE_FUNCTION_GET_INFO) {
            uint32_t at = req::inbox_fw::Block::kDataBufferOffsetValue;
            putU32Clipped(buf, size, req::inbox_fw::Block::kDataBufferOffset, at);
            uint8_t info[req::inbox_fw::kInfoHeaderSize + 7 * req::inbox_fw::kInfoSlotSize] = {};
            uint8_t slots = 1 + in_.byte() % 4;
            putU32(info, 0, 1);
            putU32(info, 4, sizeof info);
            info[req::inbox_fw::kInfoUpgradeSupport] = 1;
            info[req::inbox_fw::kInfoSlotCount] = slots;
            info[req::inbox_fw::kInfoActiveSlot] = 1;
            info[req::inbox_fw::kInfoPendingSlot] = 0xFF;
            for (uint8_t i = 0; i < slots; ++i) {
                uint8_t* slot = info + req::inbox_fw::kInfoHeaderSize + i * 16;
                slot[req::inbox_fw::kSlotNumber] = static_cast<uint8_t>(i + 1);
                slot[req::inbox_fw::kSlotReadOnly] = i == 0 ? (in_.byte() & 1) : 0;
                std::memcpy(slot + req::inbox_fw::kSlotRevision, kRevisions[0], 8);
            }
            putClipped(buf, size, at, info, sizeof info);
        } else if (function == req::FIRMWARE_FUNCTION_ACTIVATE && in_.byte() % 4 == 0) {
            putU32(buf, req::srb::kReturnCode, req::FIRMWARE_STATUS_POWER_CYCLE_REQUIRED);
        }
    } else if (sameSignature(buf, req::csmi::kSignature)) {
        uint8_t count = in_.byte() % 4;
        putClipped(buf, size, req::csmi::kDriveCount, &count, 1);
        for (uint32_t i = 0; i < count; ++i) {
            uint8_t port = static_cast<uint8_t>(2 * i);
            putClipped(buf, size, req::csmi::kDrivePort + i * req::csmi::kDriveRecordSize, &port,
                       1);
        }
    } else if (sameSignature(buf, req::rst_nvme::kSignature)) {
        requireRoom(size, req::rst_nvme::kSize, controlCode);
        writeIdentify(in_, buf, size, req::rst_nvme::kData);
    } else if (sameSignature(buf, req::rst_fw::kSignature)) {
        uint32_t function = size >= 44 ? getU32(buf, req::rst_fw::Block::kFunction) : 0;
        if (function == req::FIRMWARE_FUNCTION_ACTIVATE && in_.byte() % 4 == 0)
            putU32(buf, req::srb::kReturnCode, req::FIRMWARE_STATUS_POWER_CYCLE_REQUIRED);
    } else if (sameSignature(buf, req::vroc::kSignature)) {
        if (code == req::vroc::kRaidCountCode || code == req::vroc::kNonRaidCountCode) {
            requireRoom(size, req::vroc::kRaidCountSize, code);
            putU32(buf, req::vroc::kPayload, in_.byte() % 3);
        } else if (code == req::vroc::kVolumeInfoCode) {
            requireRoom(size, req::vroc::kVolumeInfoSize, code);
            putU32(buf, req::vroc::kVolumeMemberCount, in_.byte() % 3);
        } else if (code == req::vroc::kMemberListCode) {
            writeMemberEntries(in_, buf, size, req::vroc::kMemberListEntries);
        } else if (code == req::vroc::kNonRaidListCode) {
            writeMemberEntries(in_, buf, size, req::vroc::kNonRaidListEntries);
        } else if (code == req::vroc::kPassThroughCode) {
            putU32Clipped(buf, size, req::vroc::kCompletionDword3, 0);
            if (size > req::vroc::kCommandOpcode &&
                buf[req::vroc::kCommandOpcode] == req::identify::kOpcode) {
                requireRoom(size, req::vroc::kDataBuffer + req::identify::kSize, code);
                writeIdentify(in_, buf, size, req::vroc::kDataBuffer);
            }
        }
    }
}

void FuzzPlatform::patchReply(uint8_t* buf, uint32_t size) {
    if (size == 0)
        return;
    int patches = 1 + in_.byte() % 8;
    for (int p = 0; p < patches; ++p) {
        uint32_t at = in_.u16() % size;
        uint32_t n = 1 + in_.byte() % 8;
        for (uint32_t i = 0; i < n && at + i < size; ++i)
            buf[at + i] = in_.byte();
    }
}

bool FuzzPlatform::deviceIoControl(Handle handle, uint32_t controlCode, void* inBuffer,
                                   uint32_t inSize, void* outBuffer, uint32_t outSize,
                                   uint32_t* bytesReturned) {
    ++calls_;
    if (!handles_.count(handle))
        violation(closedHandles_.count(handle) ? "request on a closed handle"
                                               : "request on a handle that was never opened",
                  handle);
    if (outSize && !outBuffer)
        violation("out size without an out buffer", outSize);
    // The drivers answer in place; a separate input is first taken over as they would.
    uint8_t* out = static_cast<uint8_t*>(outBuffer);
    if (inBuffer && out && inBuffer != outBuffer)
        std::memmove(out, inBuffer, inSize < outSize ? inSize : outSize);

    bool repeating = repeatLeft_ > 0 && repeatCode_ == controlCode;
    if (!repeating && in_.exhausted())
        return fail(win::ERROR_GEN_FAILURE);
    uint8_t mode = repeating ? 4 : in_.byte();
    if (repeating)
        --repeatLeft_;
    uint32_t returned = outSize;
    switch (mode % 8) {
    case 0:
        return fail(drawError());
    case 1:
        break;
    case 2:
        fillReply(controlCode, out, outSize);
        patchReply(out, outSize);
        break;
    case 3:
        in_.bytes(out, outSize);
        break;
    case 7:
        repeatCode_ = controlCode;
        repeatLeft_ = (in_.byte() + 1u) * 8u;
        if (repeatLeft_ > kMaxRepeat)
            repeatLeft_ = kMaxRepeat;
        fillReply(controlCode, out, outSize);
        break;
    default:
        fillReply(controlCode, out, outSize);
        break;
    }
    if (!repeating && (mode & 0x80))
        returned = in_.u32() % (outSize + 1ull);
    if (bytesReturned)
        *bytesReturned = returned;
    return true;
}

int FuzzPlatform::messageBox(const std::u16string&, const std::u16string&, uint32_t) {
    ++calls_;
    return win::IDOK;
}

namespace {
class DiscardSink : public ByteSink {
  public:
    void write(const char*, size_t) override {}
    void flush() override {}
};
} // namespace

void discardConsoleOutput() {
    static DiscardSink sink;
    setConsoleSink(&sink);
}

uint32_t FuzzPlatform::getLastError() {
    return lastError_;
}

std::uintptr_t FuzzPlatform::getModuleHandle() {
    return 0x400000;
}

std::u16string FuzzPlatform::getCommandLine() {
    return u"qir.exe";
}

bool FuzzPlatform::frameworkStartup(std::uintptr_t, const std::u16string&, int) {
    return true;
}

platform::LocalTime FuzzPlatform::localTime() {
    return {2026, 12, 7, 2, 40, 52};
}

// The inputs drive the drivers' answers; the lock and the power source stay those of a
// machine where nothing else runs.
platform::LockResult FuzzPlatform::takeLock(const std::u16string&, platform::Handle* lock) {
    *lock = kLockHandle;
    return platform::LockResult::Taken;
}

bool FuzzPlatform::releaseLock(platform::Handle) {
    return true;
}

bool FuzzPlatform::getSystemPowerStatus(platform::PowerStatus* status) {
    *status = platform::PowerStatus{1, 128, 255};
    return true;
}

void prepareOnce(void (*setUp)()) {
    static std::set<void (*)()> done;
    if (!done.insert(setUp).second)
        return;
    discardConsoleOutput();
    if (setUp)
        setUp();
}

} // namespace qir::fuzz
