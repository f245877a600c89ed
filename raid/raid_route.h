// The course the IRST and the VROC route share once the target's block is printed: the
// image size checked, the device opened for this process alone, the image sent in pieces,
// and the activation only after a download that every piece went through.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "firmware/piece_loop.h"

namespace qir {

// The largest activation request of the RAID routes, with room to spare.
inline constexpr uint32_t kMaxActivateRequestSize = 256;

struct RaidRoute {
    std::u16string devicePath;
    uint32_t updateGranularity = 1;
    PieceRoute pieces;
    // The activation: a request of this many bytes, built into a zero-filled buffer, and
    // its reply turned into the route's result (printing what it says).
    uint32_t activateRequestSize = 0;
    std::function<void(uint8_t* request)> buildActivate;
    std::function<uint32_t(const uint8_t* reply)> judgeActivate;
};

// 0 or the activation's result; 1 when the download or the activate request failed, 5
// when the image size is refused or the device cannot be opened.
uint32_t runRaidRoute(const RaidRoute& route, const uint32_t* imageSize);

} // namespace qir
