#include "discovery/identification.h"

#include "app/console.h"
#include "discovery/byte_io.h"
#include "discovery/driver_requests.h"
#include "discovery/request_buffer.h"
#include "platform/platform.h"
#include "platform/win_constants.h"
#include "raid/miniport.h"

namespace qir {

namespace {

// Bytes are widened as signed values, the way the drive's text has always been shown.
char16_t widen(uint8_t byte) {
    return static_cast<char16_t>(static_cast<int16_t>(static_cast<int8_t>(byte)));
}

// The inbox driver's text fields end at their first zero byte.
std::u16string textUpToZero(const uint8_t* field, size_t width) {
    std::u16string text;
    for (size_t i = 0; i < width && field[i] != 0; ++i)
        text += widen(field[i]);
    return text;
}

// The RST driver's text fields are taken whole, zero bytes included.
std::u16string wholeText(const uint8_t* field, size_t width) {
    std::u16string text;
    for (size_t i = 0; i < width; ++i)
        text += widen(field[i]);
    return text;
}

using TextReader = std::u16string (*)(const uint8_t*, size_t);

void takeIdentity(TargetDisk& disk, const uint8_t* identifyData, TextReader read) {
    disk.serialNumber = read(identifyData + req::identify::kSerial, req::identify::kSerialLength);
    disk.modelNumber = read(identifyData + req::identify::kModel, req::identify::kModelLength);
    disk.firmwareRevision =
        read(identifyData + req::identify::kFirmware, req::identify::kFirmwareLength);
    disk.updateGranularity = updateGranularityOf(identifyData);
}

platform::Handle openShared(const std::u16string& path) {
    return platform::os().createFile(path, win::GENERIC_READ | win::GENERIC_WRITE,
                                     win::FILE_SHARE_READ | win::FILE_SHARE_WRITE,
                                     win::OPEN_EXISTING, 0);
}

void buildStorageQuery(uint8_t* query) {
    using namespace req::storage_query;
    putU32(query, kPropertyId, StorageAdapterProtocolSpecificProperty);
    putU32(query, kQueryType, PropertyStandardQuery);
    putU32(query, kProtocolType, ProtocolTypeNvme);
    putU32(query, kDataType, NVMeDataTypeIdentify);
    putU32(query, kRequestValue, req::identify::kCnsController);
    putU32(query, kRequestSubValue, 0);
    putU32(query, kDataOffset, kProtocolDataOffsetValue);
    putU32(query, kDataLength, kProtocolDataLengthValue);
}

void buildRstIdentify(uint8_t* request, int64_t pathId) {
    using namespace req::rst_nvme;
    buildSrbIoControl(request, kSignature, kTimeout, kControlCode, kSize);
    putU8(request, kVersion, 1);
    putU8(request, kPathId, static_cast<uint8_t>(pathId & 0xFF));
    putU8(request, kTargetId, 0);
    putU8(request, kLun, 0);
    putU32(request, kCommandDword0, req::identify::kOpcode);
    putU32(request, kNamespaceId, 0);
    putU32(request, kCommandDword10, req::identify::kCnsController);
    putU8(request, kCommandSet, 0);
    putU32(request, kDataOffset, kDataOffsetValue);
    putU32(request, kDataLength, kDataLengthValue);
}

} // namespace

uint32_t updateGranularityOf(const uint8_t* identifyData) {
    double minor = getU8(identifyData, req::identify::kVersionMinor);
    double major = getU16(identifyData, req::identify::kVersionMajor);
    double version = minor / 10 + major;
    uint8_t fwug = getU8(identifyData, req::identify::kUpdateGranularity);
    if (version > 1.2 && fwug != 0)
        return fwug;
    return 1;
}

int identifyInboxDisk(TargetDisk disk, DiskList& identifiedDisks) {
    platform::Handle handle = openShared(disk.devicePath);
    if (handle == platform::kInvalidHandle) {
        uint32_t error = platform::os().getLastError();
        narrowOut() << "  [ERROR] Failed to get disk handle: 0x" << hex << error << endl
                    << endl
                    << dec;
        return 2;
    }
    RequestBuffer query(req::storage_query::kSize);
    if (!query) {
        platform::os().closeHandle(handle);
        return 5;
    }
    buildStorageQuery(query.data());
    uint32_t returned = 0;
    bool answered = platform::os().deviceIoControl(
        handle, req::IOCTL_STORAGE_QUERY_PROPERTY, query.data(), req::storage_query::kSize,
        query.data(), req::storage_query::kSize, &returned);
    int result = 5;
    if (answered) {
        takeIdentity(disk, query.data() + req::storage_query::kIdentifyData, textUpToZero);
        disk.pathId = -1;
        identifiedDisks.push_back(disk);
        result = 0;
    }
    platform::os().closeHandle(handle);
    return result;
}

int identifyRstDisk(TargetDisk disk, DiskList& identifiedDisks) {
    RequestBuffer request(req::rst_nvme::kSize);
    if (!request)
        return 8;
    buildRstIdentify(request.data(), disk.pathId);
    platform::Handle handle = openShared(disk.devicePath);
    if (handle == platform::kInvalidHandle)
        return 8;
    uint32_t returned = 0;
    int result = 5;
    if (sendMiniportRequest(handle, request.data(), req::rst_nvme::kSize, req::rst_nvme::kSize,
                            &returned)) {
        takeIdentity(disk, request.data() + req::rst_nvme::kData, wholeText);
        identifiedDisks.push_back(disk);
        result = 0;
    }
    platform::os().closeHandle(handle);
    return result;
}

} // namespace qir
