#include <gtest/gtest.h>

#include "app/console.h"
#include "tests/support/console_capture.h"

namespace {

class ConsoleTest : public ::testing::Test {
  protected:
    qir::testing::ConsoleCapture sink;
};

TEST_F(ConsoleTest, ChannelsInterleaveInProgramOrder) {
    qir::narrowOut() << "a";
    qir::wideOut() << u"b";
    qir::formattedOut(u"c%d", 1);
    qir::narrowFormattedOut("d%s", "e");
    qir::wideOut() << qir::endl;
    EXPECT_EQ(sink.text, "abc1de\n");
    EXPECT_EQ(sink.flushes, 1);
}

TEST_F(ConsoleTest, HexAppliesUntilSwitchedBack) {
    qir::narrowOut() << "0x" << qir::hex << uint32_t{5} << qir::dec << " " << uint32_t{26};
    qir::narrowOut() << " 0x" << qir::hex << uint32_t{0x1A} << qir::dec;
    qir::formattedOut(u" 0x%08x 0x%X", 5u, 31u);
    EXPECT_EQ(sink.text, "0x5 26 0x1a 0x00000005 0x1F");
}

TEST_F(ConsoleTest, WideTextBecomesUtf8AndNumbersKeepTheirSign) {
    qir::wideOut() << std::u16string(u"\u00e9\uff80") << int32_t{-3} << uint64_t{1602};
    EXPECT_EQ(sink.text, "\xc3\xa9\xef\xbe\x80-31602");
}

} // namespace
