#include "bench/free_download_platform.h"

#include <cstring>
#include <memory>

#include "app/main_routine.h"
#include "discovery/byte_io.h"
#include "discovery/driver_requests.h"
#include "sim/machine_loader.h"
#include "sim/sim_machine.h"

namespace qir::bench {

namespace {

bool isInboxFirmwareTransfer(const uint8_t* request, uint32_t size) {
    using namespace req::inbox_fw;
    if (size < kOverhead || std::memcmp(request + req::srb::kSignature, kSignature, 8) != 0)
        return false;
    const uint32_t function = getU32(request, Block::kFunction);
    return function == req::FIRMWARE_FUNCTION_DOWNLOAD ||
           function == req::FIRMWARE_FUNCTION_ACTIVATE;
}

} // namespace

bool FreeDownloadPlatform::deviceIoControl(platform::Handle handle, uint32_t controlCode,
                                           void* inBuffer, uint32_t inSize, void* outBuffer,
                                           uint32_t outSize, uint32_t* bytesReturned) {
    auto* request = static_cast<uint8_t*>(inBuffer);
    if (controlCode != req::IOCTL_SCSI_MINIPORT || !isInboxFirmwareTransfer(request, inSize))
        return CountingPlatform::deviceIoControl(handle, controlCode, inBuffer, inSize, outBuffer,
                                                 outSize, bytesReturned);
    ++freeRequests;
    putU32(request, req::srb::kReturnCode, req::FIRMWARE_STATUS_SUCCESS);
    if (bytesReturned)
        *bytesReturned = outSize;
    return true;
}

int runWithFreeDownloads(const std::string& description) {
    std::string error;
    std::unique_ptr<sim::SimMachine> machine = sim::loadMachine(description, &error);
    if (!machine)
        return 2;
    FreeDownloadPlatform free(*machine);
    platform::setPlatform(&free);
    const char16_t* argv[] = {u"qir.exe", u"/s", nullptr};
    const int result = mainRoutine(2, argv);
    platform::setPlatform(nullptr);
    return result;
}

} // namespace qir::bench
