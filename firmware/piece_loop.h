// The loop every route sends the image with: the piece plan of piece_plan.h, each piece
// taken from the working copy into a request of its own, sent, and judged; the first
// piece that is not taken ends the download.
#pragma once

#include <cstdint>
#include <functional>

#include "discovery/request_buffer.h"
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

// The same loop in a buffer the route already holds, when that buffer has room for a piece
// and its request (false, nothing sent, when it has not). A route that keeps one
// piece-sized buffer for all its requests then holds no second one: at the largest
// granularity each is a quarter of a megabyte, and taking and zeroing a fresh one on every
// update costs far more than the copies of the image themselves.
bool sendImagePieces(platform::Handle handle, RequestBuffer& request, uint32_t updateGranularity,
                     uint32_t imageSize, const PieceRoute& route);

} // namespace qir
