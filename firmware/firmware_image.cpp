#include "firmware/firmware_image.h"

#include <cstring>

extern "C" const unsigned char qir_firmware_image_data[];
extern "C" const unsigned char qir_firmware_image_end[];

namespace qir {

namespace {
// Zero-initialised storage, filled from the embedded image at each start.
uint8_t workingCopyBytes[kFirmwareImageSize];
} // namespace

std::u16string imageRevision;

const uint8_t* firmwareImage() { return qir_firmware_image_data; }

const uint8_t* workingCopy() { return workingCopyBytes; }

void loadWorkingCopy() {
    std::memcpy(workingCopyBytes, qir_firmware_image_data, kFirmwareImageSize);
    imageRevision.clear();
    for (uint32_t i = 0; i < kImageRevisionLength; ++i)
        imageRevision += static_cast<char16_t>(workingCopyBytes[kImageRevisionOffset + i]);
}

} // namespace qir
