#include "raid/status_tables.h"

#include "app/console.h"
#include "discovery/driver_requests.h"
#include "discovery/result_codes.h"

namespace qir {

namespace {

// Shared by both tables: a status the driver is not known to send.
const char16_t kUnexpected[] =
    u"  [ERROR] Firmware activate failed: unexpected error, srbControl->ReturnCode %d\n\n";
const char16_t kActivateError[] = u"  [ERROR] Firmware activate failed: error returned\n\n";
const char16_t kActivateParameter[] =
    u"  [ERROR] Firmware activate parameter error: srbControl->ReturnCode %d\n\n";

// Driver pass-through statuses 1 to 15, in code order.
const char16_t* const kCommitMessages[] = {
    u"  [ERROR] NVME_IOCTL_INVALID_IOCTL_CODE\n\n",
    u"  [ERROR] NVME_IOCTL_INVALID_SIGNATURE\n\n",
    u"  [ERROR] NVME_IOCTL_INSUFFICIENT_IN_BUFFER\n\n",
    u"  [ERROR] NVME_IOCTL_INSUFFICIENT_OUT_BUFFER\n\n",
    u"  [ERROR] NVME_IOCTL_UNSUPPORTED_ADMIN_CMD\n\n",
    u"  [ERROR] NVME_IOCTL_UNSUPPORTED_NVM_CMD\n\n",
    u"  [ERROR] NVME_IOCTL_INVALID_ADMIN_VENDOR_SPECIFIC_OPCODE\n\n",
    u"  [ERROR] NVME_IOCTL_INVALID_NVM_VENDOR_SPECIFIC_OPCODE\n\n",
    u"  [ERROR] NVME_IOCTL_ADMIN_VENDOR_SPECIFIC_NOT_SUPPORTED\n\n",
    u"  [ERROR] NVME_IOCTL_NVM_VENDOR_SPECIFIC_NOT_SUPPORTED\n\n",
    u"  [ERROR] NVME_IOCTL_INVALID_DIRECTION_SPECIFIED\n\n",
    u"  [ERROR] NVME_IOCTL_INVALID_META_BUFFER_LENGTH\n\n",
    u"  [ERROR] NVME_IOCTL_PRP_TRANSLATION_ERROR\n\n",
    u"  [ERROR] NVME_IOCTL_INVALID_PATH_TARGET_ID\n\n",
    u"  [ERROR] NVME_IOCTL_FORMAT_NVM_PENDING\n\n",
};

uint32_t reportUnexpected(uint32_t returnCode) {
    formattedOut(kUnexpected, static_cast<int32_t>(returnCode));
    return kResultFailed;
}

} // namespace

uint32_t reportActivationStatus(uint32_t returnCode) {
    switch (returnCode) {
    case req::FIRMWARE_STATUS_SUCCESS:
        formattedOut(u"  [PASS] Firmware activation succeeded.\n\n");
        return kResultSuccess;
    case req::FIRMWARE_STATUS_ERROR:
    case req::FIRMWARE_STATUS_CONTROLLER_ERROR:
        formattedOut(kActivateError);
        return kResultFailed;
    case req::FIRMWARE_STATUS_ILLEGAL_REQUEST:
    case req::FIRMWARE_STATUS_INVALID_PARAMETER:
    case req::FIRMWARE_STATUS_INPUT_BUFFER_TOO_BIG:
        formattedOut(kActivateParameter, static_cast<int32_t>(returnCode));
        return kResultFailed;
    case req::FIRMWARE_STATUS_INVALID_SLOT:
        formattedOut(u"  [ERROR] Firmware activate failed: invalid slot number\n\n");
        return kResultFailed;
    case req::FIRMWARE_STATUS_INVALID_IMAGE:
        formattedOut(u"  [ERROR] Firmware activate failed: invalid firmware image\n\n");
        return kResultFailed;
    case req::FIRMWARE_STATUS_POWER_CYCLE_REQUIRED:
        formattedOut(u"  [PASS] Firmware activate succeeded. PLEASE SHUTDOWN COMPUTER.\n\n\n");
        return kResultRebootRequired;
    default:
        return reportUnexpected(returnCode);
    }
}

uint32_t reportCommitStatus(uint32_t returnCode, uint32_t completionStatus) {
    if (returnCode == 0) {
        if (completionStatus != 0) {
            formattedOut(
                u"  [ERROR] Firmware activation failed: Completion Queue Entry Status Value: "
                u"0x%08x\n",
                completionStatus);
            return kResultDeviceError;
        }
        formattedOut(u"  [PASS] Firmware activation succeeded. Please reboot computer.\n\n");
        return kResultSuccess;
    }
    constexpr uint32_t kKnownCodes = sizeof(kCommitMessages) / sizeof(kCommitMessages[0]);
    if (returnCode <= kKnownCodes) {
        formattedOut(kCommitMessages[returnCode - 1]);
        return kResultFailed;
    }
    return reportUnexpected(returnCode);
}

} // namespace qir
