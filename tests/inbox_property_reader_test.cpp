#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "discovery/property_reader.h"
#include "platform/win_constants.h"
#include "sim/sim_machine.h"

namespace {

// Property answers the way a driver or a misbehaving platform might give them: the
// value's raw bytes, the size reported for them, and what it answers without a buffer.
class PropertyScript : public qir::sim::SimMachine {
  public:
    std::vector<uint8_t> value;
    uint32_t reportedSize = 0;
    bool answerWithoutBuffer = false;
    bool alwaysTooSmall = false;
    std::vector<uint32_t> askedSizes;

    bool getDeviceProperty(qir::platform::DevInfoSet, const qir::platform::DeviceInfoData*,
                           const qir::platform::DevPropKey&, uint32_t* type, uint8_t* buffer,
                           uint32_t size, uint32_t* required) override {
        askedSizes.push_back(size);
        if (type)
            *type = qir::win::DEVPROP_TYPE_STRING;
        if (required)
            *required = reportedSize;
        if (!buffer && answerWithoutBuffer)
            return true;
        if (!buffer || alwaysTooSmall || size < value.size()) {
            error = qir::win::ERROR_INSUFFICIENT_BUFFER;
            return false;
        }
        std::memcpy(buffer, value.data(), value.size());
        return true;
    }
    uint32_t getLastError() override { return error; }
    uint32_t error = 0;
};

std::vector<uint8_t> utf16Bytes(const std::u16string& text, bool terminated = true) {
    std::vector<uint8_t> bytes;
    for (char16_t c : text) {
        bytes.push_back(static_cast<uint8_t>(c));
        bytes.push_back(static_cast<uint8_t>(c >> 8));
    }
    if (terminated)
        bytes.insert(bytes.end(), {0, 0});
    return bytes;
}

class PropertyReaderTest : public ::testing::Test {
  protected:
    void SetUp() override { qir::platform::setPlatform(&script); }
    void TearDown() override { qir::platform::setPlatform(nullptr); }
    bool readParent(std::u16string& text) {
        qir::platform::DeviceInfoData info{};
        info.cbSize = 32;
        uint32_t type = 0;
        return qir::readParentId(1, &info, &type, text);
    }
    PropertyScript script;
};

TEST_F(PropertyReaderTest, AsksAgainWithTwiceTheReportedSize) {
    script.value = utf16Bytes(u"PCI\\VEN_1D7A&DEV_0100\\4&1");
    script.reportedSize = static_cast<uint32_t>(script.value.size());
    std::u16string text = u"old";
    ASSERT_TRUE(readParent(text));
    EXPECT_EQ(text, u"PCI\\VEN_1D7A&DEV_0100\\4&1");
    EXPECT_EQ(script.askedSizes, (std::vector<uint32_t>{0, 2 * script.reportedSize}));
}

TEST_F(PropertyReaderTest, KeepsDoublingWhileThePlatformUnderReports) {
    script.value = utf16Bytes(u"PCI\\VEN_1D7A&DEV_0100\\4&1"); // 52 bytes
    script.reportedSize = 10;
    std::u16string text;
    // 20 bytes is still too small; the platform then reports the same size again, so
    // the reader gives up with what its buffer holds rather than looping.
    EXPECT_TRUE(readParent(text));
    EXPECT_EQ(script.askedSizes.size(), 9u);
    EXPECT_EQ(text, u"");
}

TEST_F(PropertyReaderTest, ValueWithoutSizeOrThatNeedsNoBufferIsNoValue) {
    std::u16string text = u"kept";
    script.answerWithoutBuffer = true;
    EXPECT_FALSE(readParent(text));
    script.answerWithoutBuffer = false;
    script.reportedSize = 0; // too small, yet no size to grow to
    EXPECT_FALSE(readParent(text));
    EXPECT_EQ(text, u"kept");
}

TEST_F(PropertyReaderTest, ValueWithoutTerminatorOrOfOddLengthIsReadUpToTheBufferEnd) {
    script.alwaysTooSmall = false;
    // Exactly the reported size, no terminator: the doubled buffer supplies the zeros,
    // and an odd byte count leaves the half character out.
    script.value = utf16Bytes(u"ABC", false);
    script.value.push_back('D');
    script.reportedSize = static_cast<uint32_t>(script.value.size());
    std::u16string text;
    ASSERT_TRUE(readParent(text));
    EXPECT_EQ(text.substr(0, 3), u"ABC");
    EXPECT_LE(text.size(), 4u);
}

TEST_F(PropertyReaderTest, LongOrNonAsciiValuesKeepWholeCharactersWithin256Bytes) {
    struct Case {
        std::u16string value;
        std::u16string expected;
    };
    std::u16string longId(300, u'A');
    std::u16string accented = std::u16string(255, u'B') + u"\u00e9"; // 255 + 2 bytes
    Case cases[] = {
        {u"SCSI\\DISK&VEN_NVME\\5&1", u"SCSI\\DISK&VEN_NVME\\5&1"},
        {longId, std::u16string(256, u'A')},
        {accented, std::u16string(255, u'B')},
        {u"\u00e9\u4e2d\U0001F600", u"\u00e9\u4e2d\U0001F600"},
    };
    for (const Case& c : cases) {
        script.value = utf16Bytes(c.value);
        script.reportedSize = static_cast<uint32_t>(script.value.size());
        std::u16string text;
        qir::platform::DeviceInfoData info{};
        info.cbSize = 32;
        uint32_t type = 0;
        ASSERT_TRUE(qir::readInstanceId(1, &info, &type, text));
        EXPECT_EQ(text, c.expected);
        text.clear();
        ASSERT_TRUE(readParent(text));
        EXPECT_EQ(text, c.expected);
    }
}

} // namespace
