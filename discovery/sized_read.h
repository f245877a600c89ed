// The platform's way of handing out data of unknown size (ask without a buffer, then
// with a bigger one while the answer is ERROR_INSUFFICIENT_BUFFER), and safe reading of
// the UTF-16 text that comes back in such buffers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "discovery/request_buffer.h"

namespace qir {

// One call of the platform: fill `buffer` of `size` bytes (nullptr and 0 to learn the
// size), report the size it needs in `required`.
using SizedAsk = std::function<bool(uint8_t* buffer, uint32_t size, uint32_t* required)>;

struct SizedReadResult {
    bool answeredWithoutBuffer = false; // the first call, without a buffer, succeeded
    bool haveBuffer = false;            // a buffer was allocated and asked with
    bool answered = false;              // the last call, with that buffer, succeeded
    bool allocationFailed = false;
    uint32_t firstReportedSize = 0;
};

// Buffers are zero-filled and twice the reported size each round.
SizedReadResult readDoubling(const SizedAsk& ask, RequestBuffer& buffer);

// Buffers are zero-filled and exactly the reported size each round.
SizedReadResult readExact(const SizedAsk& ask, RequestBuffer& buffer, uint32_t minimumSize);

// Little-endian UTF-16 text from `offset` up to its first zero character or the end of
// the bytes, whichever comes first; a trailing odd byte is not part of any character.
std::u16string utf16At(const uint8_t* bytes, size_t size, size_t offset);

// The strings of a multi-string (each ended by a zero character, the list by an empty
// one). A list that runs to the end of the bytes without its terminators ends there.
std::vector<std::u16string> multiStringAt(const uint8_t* bytes, size_t size);

} // namespace qir
