#include "firmware/piece_loop.h"

#include "discovery/request_buffer.h"
#include "firmware/firmware_image.h"
#include "firmware/piece_plan.h"
#include "raid/miniport.h"

namespace qir {

bool sendImagePieces(platform::Handle handle, uint32_t updateGranularity, uint32_t imageSize,
                     const PieceRoute& route) {
    const uint32_t pieceSize = pieceSizeOf(updateGranularity);
    if (pieceSize == 0)
        return false;
    RequestBuffer request(static_cast<size_t>(pieceSize) + route.overhead);
    return sendImagePieces(handle, request, updateGranularity, imageSize, route);
}

bool sendImagePieces(platform::Handle handle, RequestBuffer& request, uint32_t updateGranularity,
                     uint32_t imageSize, const PieceRoute& route) {
    const uint32_t pieceSize = pieceSizeOf(updateGranularity);
    if (pieceSize == 0 || !request ||
        request.size() < static_cast<size_t>(pieceSize) + route.overhead)
        return false;
    const uint8_t* image = workingCopy();
    uint32_t length = 0;
    for (uint32_t offset = 0; offset < imageSize; offset += length) {
        length = pieceLengthAt(offset, pieceSize, imageSize);
        request.zero();
        const PieceRequestSize size = route.build(request.data(), offset, image + offset, length);
        uint32_t returned = 0;
        const bool sent = sendMiniportRequest(handle, request.data(), size.in, size.out, &returned);
        if (!route.accepted(sent, request.data()))
            return false;
    }
    return true;
}

} // namespace qir
