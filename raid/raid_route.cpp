#include "raid/raid_route.h"

#include "discovery/result_codes.h"
#include "firmware/firmware_image.h"
#include "platform/platform.h"
#include "platform/win_constants.h"
#include "raid/miniport.h"
#include "raid/route_messages.h"

namespace qir {

namespace {

uint32_t activate(platform::Handle device, const RaidRoute& route) {
    uint8_t request[kMaxActivateRequestSize] = {};
    route.buildActivate(request);
    uint32_t returned = 0;
    if (!sendMiniportRequest(device, request, route.activateRequestSize, route.activateRequestSize,
                             &returned)) {
        printActivateIoctlFailure(platform::os().getLastError());
        return kResultFailed;
    }
    return route.judgeActivate(request);
}

} // namespace

uint32_t runRaidRoute(const RaidRoute& route, const uint32_t* imageSize) {
    if (!fitsWorkingCopy(imageSize))
        return kResultDeviceError;
    platform::Platform& os = platform::os();
    const platform::Handle device = os.createFile(
        route.devicePath, win::GENERIC_READ | win::GENERIC_WRITE, 0, win::OPEN_EXISTING, 0);
    if (device == platform::kInvalidHandle) {
        printOpenFailure(os.getLastError());
        return kResultDeviceError;
    }
    uint32_t result = finishFirmwareDownload(
        sendImagePieces(device, route.updateGranularity, *imageSize, route.pieces));
    if (result == kResultSuccess)
        result = activate(device, route);
    os.closeHandle(device);
    return result;
}

} // namespace qir
