#include "capture/hex_text.h"

namespace qir::capture {

namespace {

// Shorter runs read better as they are: a run token costs about as much as eight digits.
constexpr size_t kShortestRun = 8;

int digitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

} // namespace

std::string compactHexOf(const uint8_t* bytes, size_t size) {
    std::string text;
    size_t plainFrom = 0;
    auto piece = [&](const std::string& p) {
        if (!text.empty())
            text += ' ';
        text += p;
    };
    for (size_t at = 0; at < size;) {
        size_t end = at + 1;
        while (end < size && bytes[end] == bytes[at])
            ++end;
        if (end - at >= kShortestRun) {
            if (plainFrom < at)
                piece(hexOf(bytes + plainFrom, at - plainFrom));
            piece(hexOf(bytes + at, 1) + "*" + std::to_string(end - at));
            plainFrom = end;
        }
        at = end;
    }
    if (plainFrom < size)
        piece(hexOf(bytes + plainFrom, size - plainFrom));
    return text;
}

bool readHexText(const std::string& text, size_t limit, std::vector<uint8_t>* bytes,
                 std::string* why) {
    bytes->clear();
    auto fail = [&](const char* reason) {
        *why = reason;
        return false;
    };
    for (size_t at = 0; at < text.size();) {
        if (text[at] == ' ') {
            if (at == 0 || at + 1 == text.size() || text[at + 1] == ' ')
                return fail("not a hexadecimal byte string");
            ++at;
            continue;
        }
        int hi = digitValue(text[at]);
        int lo = at + 1 < text.size() ? digitValue(text[at + 1]) : -1;
        if (hi < 0)
            return fail("not a hexadecimal byte string");
        if (lo < 0)
            return fail(at + 1 < text.size() && text[at + 1] != ' ' && text[at + 1] != '*'
                            ? "not a hexadecimal byte string"
                            : "odd number of hexadecimal digits");
        uint8_t value = static_cast<uint8_t>(hi * 16 + lo);
        at += 2;
        uint64_t count = 1;
        if (at < text.size() && text[at] == '*') {
            // A run stands alone between blanks, so "00*4x" cannot be read two ways.
            if (at != 2 && text[at - 3] != ' ')
                return fail("not a hexadecimal byte string");
            count = 0;
            size_t digits = 0;
            for (++at; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at, ++digits) {
                count = count * 10 + static_cast<uint64_t>(text[at] - '0');
                if (count > limit)
                    return fail("more bytes than any call holds");
            }
            if (digits == 0 || count == 0 || (at < text.size() && text[at] != ' '))
                return fail("not a hexadecimal byte string");
        }
        if (bytes->size() + count > limit)
            return fail("more bytes than any call holds");
        bytes->insert(bytes->end(), static_cast<size_t>(count), value);
    }
    return true;
}

bool readTypedHex(const std::string& text, std::vector<uint8_t>* bytes, std::string* why) {
    std::string digits;
    digits.reserve(text.size());
    for (char c : text) {
        if (c == '*') {
            *why = "not a hexadecimal byte string";
            return false;
        }
        if (c != ' ')
            digits += c >= 'A' && c <= 'F' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return readHexText(digits, digits.size() / 2, bytes, why);
}

} // namespace qir::capture
