// The one firmware image the tool carries, and the working copy every route sends from.
#pragma once

#include <cstdint>
#include <string>

namespace qir {

inline constexpr uint32_t kFirmwareImageSize = 0x240000;
inline constexpr uint32_t kImageRevisionOffset = 0x3020;
inline constexpr uint32_t kImageRevisionLength = 8;

// The image as embedded at build time (read only).
const uint8_t* firmwareImage();

// Process-wide writable copy, filled by loadWorkingCopy().
const uint8_t* workingCopy();
void loadWorkingCopy();

// Every route sends from the working copy, so none takes a size past it; no size at all
// is refused the same way.
inline bool fitsWorkingCopy(const uint32_t* imageSize) {
    return imageSize != nullptr && *imageSize <= kFirmwareImageSize;
}

// The 8 characters at kImageRevisionOffset of the working copy, each byte zero-extended.
extern std::u16string imageRevision;

} // namespace qir
