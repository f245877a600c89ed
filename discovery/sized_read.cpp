#include "discovery/sized_read.h"

#include "discovery/byte_io.h"
#include "platform/platform.h"
#include "platform/win_constants.h"

namespace qir {

namespace {

// A driver that keeps asking for more would otherwise make the loop run for ever, or
// ask for memory the tool has no use for: device strings are a few hundred bytes.
constexpr int kMaxRounds = 8;
constexpr uint64_t kMaxBufferSize = 1u << 20;

SizedReadResult readGrowing(const SizedAsk& ask, RequestBuffer& buffer, uint32_t factor,
                            uint32_t minimumSize) {
    SizedReadResult result;
    buffer = RequestBuffer();
    uint32_t required = 0;
    if (ask(nullptr, 0, &required)) {
        result.answeredWithoutBuffer = true;
        return result;
    }
    result.firstReportedSize = required;
    uint32_t error = platform::os().getLastError();
    for (int round = 0; error == win::ERROR_INSUFFICIENT_BUFFER && round < kMaxRounds; ++round) {
        uint64_t size = uint64_t{factor} * required;
        if (size == 0 || size < minimumSize || size > kMaxBufferSize)
            break;
        buffer = RequestBuffer(static_cast<size_t>(size));
        if (!buffer) {
            result.haveBuffer = false;
            result.allocationFailed = true;
            return result;
        }
        result.haveBuffer = true;
        required = 0;
        result.answered = ask(buffer.data(), static_cast<uint32_t>(size), &required);
        if (result.answered)
            break;
        error = platform::os().getLastError();
    }
    if (!result.haveBuffer)
        buffer = RequestBuffer();
    return result;
}

} // namespace

SizedReadResult readDoubling(const SizedAsk& ask, RequestBuffer& buffer) {
    return readGrowing(ask, buffer, 2, 0);
}

SizedReadResult readExact(const SizedAsk& ask, RequestBuffer& buffer, uint32_t minimumSize) {
    return readGrowing(ask, buffer, 1, minimumSize);
}

std::u16string utf16At(const uint8_t* bytes, size_t size, size_t offset) {
    std::u16string text;
    for (size_t at = offset; at + 1 < size; at += 2) {
        char16_t c = static_cast<char16_t>(getU16(bytes, at));
        if (c == 0)
            break;
        text += c;
    }
    return text;
}

std::vector<std::u16string> multiStringAt(const uint8_t* bytes, size_t size) {
    std::vector<std::u16string> strings;
    size_t at = 0;
    while (at + 1 < size) {
        std::u16string s = utf16At(bytes, size, at);
        if (s.empty())
            break;
        at += 2 * (s.size() + 1);
        strings.push_back(std::move(s));
    }
    return strings;
}

} // namespace qir
