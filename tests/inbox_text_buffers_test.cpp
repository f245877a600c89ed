#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "discovery/sized_read.h"

namespace {

std::vector<uint8_t> utf16Bytes(const std::u16string& text) {
    std::vector<uint8_t> bytes;
    for (char16_t c : text) {
        bytes.push_back(static_cast<uint8_t>(c));
        bytes.push_back(static_cast<uint8_t>(c >> 8));
    }
    return bytes;
}

TEST(InboxTextBuffers, MultiStringEndsAtItsTerminatorsOrAtTheBufferEnd) {
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        std::vector<std::u16string> expected;
    };
    std::u16string whole(u"SCSI\\DiskNVMe\0GenDisk\0\0Ignored\0\0", 32);
    std::vector<uint8_t> oddTail = utf16Bytes(u"AB");
    oddTail.push_back('C');
    Case cases[] = {
        {"terminated", utf16Bytes(whole), {u"SCSI\\DiskNVMe", u"GenDisk"}},
        {"no list terminator", utf16Bytes(std::u16string(u"One\0Two\0", 8)), {u"One", u"Two"}},
        {"no terminator at all", utf16Bytes(u"NVMe"), {u"NVMe"}},
        {"odd trailing byte", oddTail, {u"AB"}},
        {"empty list", utf16Bytes(std::u16string(u"\0\0", 2)), {}},
        {"single byte", {0x41}, {}},
        {"nothing", {}, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(qir::multiStringAt(c.bytes.data(), c.bytes.size()), c.expected) << c.name;
}

TEST(InboxTextBuffers, TextAtAnOffsetStopsAtZeroOrAtTheEnd) {
    std::vector<uint8_t> detail = {8, 0, 0, 0};
    std::vector<uint8_t> path = utf16Bytes(u"\\\\?\\disk#1");
    detail.insert(detail.end(), path.begin(), path.end());
    EXPECT_EQ(qir::utf16At(detail.data(), detail.size(), 4), u"\\\\?\\disk#1");
    detail.push_back(0x41); // half a character
    EXPECT_EQ(qir::utf16At(detail.data(), detail.size(), 4), u"\\\\?\\disk#1");
    EXPECT_EQ(qir::utf16At(detail.data(), detail.size(), 100), u"");
    std::vector<uint8_t> nonAscii = utf16Bytes(u"\u00e9\u4e2d");
    EXPECT_EQ(qir::utf16At(nonAscii.data(), nonAscii.size(), 0), u"\u00e9\u4e2d");
}

} // namespace
