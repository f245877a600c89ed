// How every route cuts the image: pieces of updateGranularity x 4 KiB in ascending
// order; when the piece size does not divide the image, one shorter last piece carries
// exactly the bytes that remain, so the whole image and nothing past it is sent.
#pragma once

#include <cstdint>

namespace qir {

inline uint32_t pieceSizeOf(uint32_t updateGranularity) { return updateGranularity * 4096u; }

inline uint32_t pieceCountOf(uint32_t imageSize, uint32_t pieceSize) {
    return imageSize / pieceSize + (imageSize % pieceSize != 0 ? 1u : 0u);
}

// Length of the piece that starts at offset (offset < imageSize).
inline uint32_t pieceLengthAt(uint32_t offset, uint32_t pieceSize, uint32_t imageSize) {
    uint32_t remaining = imageSize - offset;
    return remaining < pieceSize ? remaining : pieceSize;
}

} // namespace qir
