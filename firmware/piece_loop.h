// The loop every route sends the image with: the piece plan of piece_plan.h, each piece
// taken from the working copy into a request of its own, sent, and judged; the first
// piece that is not taken ends the download.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/platform.h"

namespace qir {

// The sizes one piece request goes out with: its own length and the room for the reply.
struct PieceRequestSize {
    uint32_t in = 0;
    uint32_t out = 0;
};

// What a route brings to the loop: the bytes a piece request holds besides the piece, how
// the request for a piece is written into the zero-filled buffer, and whether the answer
// lets the next piece follow (`sent` false: the request itself failed, and the Windows
// error is still to be read). The judge prints whatever the route says about a refusal.
struct PieceRoute {
    uint32_t overhead = 0;
    std::function<PieceRequestSize(uint8_t* request, uint32_t offset, const uint8_t* piece,
                                   uint32_t length)>
        build;
    std::function<bool(bool sent, const uint8_t* reply)> accepted;
};

// Sends the first `imageSize` bytes of the working copy to the device behind `handle`.
// True when every piece was taken; false at the first refused piece, and when the
// granularity gives no piece size or the request buffer cannot be had.
bool sendImagePieces(platform::Handle handle, uint32_t updateGranularity, uint32_t imageSize,
                     const PieceRoute& route);

} // namespace qir
