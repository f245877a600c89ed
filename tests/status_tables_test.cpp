#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "console_capture.h"
#include "raid/status_tables.h"

namespace {

struct StatusRow {
    uint32_t returnCode;
    const char* message;
    uint32_t result;
};

const char kActivateError[] = "  [ERROR] Firmware activate failed: error returned\n\n";

const StatusRow kActivationRows[] = {
    {0, "  [PASS] Firmware activation succeeded.\n\n", 0},
    {1, kActivateError, 1},
    {2, "  [ERROR] Firmware activate parameter error: srbControl->ReturnCode 2\n\n", 1},
    {3, "  [ERROR] Firmware activate parameter error: srbControl->ReturnCode 3\n\n", 1},
    {4, "  [ERROR] Firmware activate parameter error: srbControl->ReturnCode 4\n\n", 1},
    // An output buffer that is too small is not a parameter error of ours.
    {5, "  [ERROR] Firmware activate failed: unexpected error, srbControl->ReturnCode 5\n\n", 1},
    {6, "  [ERROR] Firmware activate failed: invalid slot number\n\n", 1},
    {7, "  [ERROR] Firmware activate failed: invalid firmware image\n\n", 1},
    {8, "  [ERROR] Firmware activate failed: unexpected error, srbControl->ReturnCode 8\n\n", 1},
    {15, "  [ERROR] Firmware activate failed: unexpected error, srbControl->ReturnCode 15\n\n", 1},
    {16, kActivateError, 1},
    {17, "  [ERROR] Firmware activate failed: unexpected error, srbControl->ReturnCode 17\n\n", 1},
    {31, "  [ERROR] Firmware activate failed: unexpected error, srbControl->ReturnCode 31\n\n", 1},
    {32, "  [PASS] Firmware activate succeeded. PLEASE SHUTDOWN COMPUTER.\n\n\n", 1602},
    {33, "  [ERROR] Firmware activate failed: unexpected error, srbControl->ReturnCode 33\n\n", 1},
    {0x40, "  [ERROR] Firmware activate failed: unexpected error, srbControl->ReturnCode 64\n\n",
     1},
    {0xFFFFFFFF,
     "  [ERROR] Firmware activate failed: unexpected error, srbControl->ReturnCode -1\n\n", 1},
};

TEST(ActivationStatusTable, EveryRowPrintsItsMessageAndGivesItsResult) {
    for (const StatusRow& row : kActivationRows) {
        qir::testing::ConsoleCapture console;
        EXPECT_EQ(qir::reportActivationStatus(row.returnCode), row.result)
            << "ReturnCode " << row.returnCode;
        EXPECT_EQ(console.text, row.message) << "ReturnCode " << row.returnCode;
    }
}

const StatusRow kCommitRows[] = {
    {1, "  [ERROR] NVME_IOCTL_INVALID_IOCTL_CODE\n\n", 1},
    {2, "  [ERROR] NVME_IOCTL_INVALID_SIGNATURE\n\n", 1},
    {3, "  [ERROR] NVME_IOCTL_INSUFFICIENT_IN_BUFFER\n\n", 1},
    {4, "  [ERROR] NVME_IOCTL_INSUFFICIENT_OUT_BUFFER\n\n", 1},
    {5, "  [ERROR] NVME_IOCTL_UNSUPPORTED_ADMIN_CMD\n\n", 1},
    {6, "  [ERROR] NVME_IOCTL_UNSUPPORTED_NVM_CMD\n\n", 1},
    {7, "  [ERROR] NVME_IOCTL_INVALID_ADMIN_VENDOR_SPECIFIC_OPCODE\n\n", 1},
    {8, "  [ERROR] NVME_IOCTL_INVALID_NVM_VENDOR_SPECIFIC_OPCODE\n\n", 1},
    {9, "  [ERROR] NVME_IOCTL_ADMIN_VENDOR_SPECIFIC_NOT_SUPPORTED\n\n", 1},
    {10, "  [ERROR] NVME_IOCTL_NVM_VENDOR_SPECIFIC_NOT_SUPPORTED\n\n", 1},
    {11, "  [ERROR] NVME_IOCTL_INVALID_DIRECTION_SPECIFIED\n\n", 1},
    {12, "  [ERROR] NVME_IOCTL_INVALID_META_BUFFER_LENGTH\n\n", 1},
    {13, "  [ERROR] NVME_IOCTL_PRP_TRANSLATION_ERROR\n\n", 1},
    {14, "  [ERROR] NVME_IOCTL_INVALID_PATH_TARGET_ID\n\n", 1},
    {15, "  [ERROR] NVME_IOCTL_FORMAT_NVM_PENDING\n\n", 1},
    {16, "  [ERROR] Firmware activate failed: unexpected error, srbControl->ReturnCode 16\n\n", 1},
    {255, "  [ERROR] Firmware activate failed: unexpected error, srbControl->ReturnCode 255\n\n",
     1},
};

TEST(CommitStatusTable, EveryDriverStatusPrintsItsMessageAndFails) {
    for (const StatusRow& row : kCommitRows) {
        qir::testing::ConsoleCapture console;
        // The drive's status plays no part once the driver has refused the command.
        EXPECT_EQ(qir::reportCommitStatus(row.returnCode, 7), row.result)
            << "ReturnCode " << row.returnCode;
        EXPECT_EQ(console.text, row.message) << "ReturnCode " << row.returnCode;
    }
}

TEST(CommitStatusTable, TheDrivesCompletionStatusDecidesWhenTheDriverAccepted) {
    struct Case {
        uint32_t completionStatus;
        const char* message;
        uint32_t result;
    };
    const Case cases[] = {
        {0, "  [PASS] Firmware activation succeeded. Please reboot computer.\n\n", 0},
        {1,
         "  [ERROR] Firmware activation failed: Completion Queue Entry Status Value: "
         "0x00000001\n",
         5},
        {0x10B,
         "  [ERROR] Firmware activation failed: Completion Queue Entry Status Value: "
         "0x0000010b\n",
         5},
        {0x7FFF,
         "  [ERROR] Firmware activation failed: Completion Queue Entry Status Value: "
         "0x00007fff\n",
         5},
    };
    for (const Case& c : cases) {
        qir::testing::ConsoleCapture console;
        EXPECT_EQ(qir::reportCommitStatus(0, c.completionStatus), c.result);
        EXPECT_EQ(console.text, c.message);
    }
}

} // namespace
