// The opens of a capture as the rebuild accounts for them: a device takes the opens of its
// paths (its own open error when all failed alike, else a fault per failed open, counted
// among every open of the path), and only the opens no device took become faults last.
#include <gtest/gtest.h>

#include "platform/win_constants.h"
#include "sim/rebuild/call_index.h"
#include "sim/rebuild/open_faults.h"

namespace {

using namespace qir;
using capture::CapturedCall;
using capture::Op;
using sim::rebuild::DeviceEntry;

CapturedCall openOf(const std::u16string& path, uint32_t error) {
    CapturedCall c;
    c.op = Op::CreateFile;
    c.text = path;
    c.ok = error == 0;
    c.error = error;
    c.result = error == 0 ? 0x100 : -1;
    return c;
}

TEST(RebuildOpenFaultsTest, ADeviceTakesItsOpensAndOnlyTheOthersBecomeFaults) {
    capture::CallList calls = {openOf(u"\\\\.\\PhysicalDrive0", 0),
                               openOf(u"\\\\.\\PHYSICALDRIVE0", win::ERROR_ACCESS_DENIED),
                               openOf(u"\\\\.\\Other", win::ERROR_ACCESS_DENIED),
                               openOf(u"\\\\.\\Gone", win::ERROR_FILE_NOT_FOUND)};
    sim::rebuild::CallIndex index = sim::rebuild::indexCalls(calls);
    ASSERT_EQ(index.opens.size(), 3u);

    // Named twice, the path's opens count once: one success, then the second open's fault.
    DeviceEntry disk;
    std::vector<std::u16string> keys = {u"\\\\.\\PHYSICALDRIVE0", u"\\\\.\\PHYSICALDRIVE0"};
    sim::rebuild::accountForOpens(disk, index.opens, keys, calls);
    EXPECT_FALSE(disk.device.contains("open_error"));
    ASSERT_EQ(disk.faults.size(), 1u);
    EXPECT_EQ(disk.faults[0]["occurrence"], 2);
    EXPECT_EQ(disk.faults[0]["path"], "\\\\.\\PHYSICALDRIVE0");
    EXPECT_EQ(disk.opensUsed, keys);

    // Every open failed alike: the device's own error, no fault.
    DeviceEntry other;
    sim::rebuild::accountForOpens(other, index.opens, {u"\\\\.\\OTHER"}, calls);
    EXPECT_EQ(other.device["open_error"], win::ERROR_ACCESS_DENIED);
    EXPECT_TRUE(other.faults.empty());

    // What no device took: a missing path fails as on any machine, any other failure is
    // the path's fault; the opens the devices took are not faulted twice.
    sim::rebuild::RequestsByPath unclaimed = index.opens;
    for (const std::u16string& key : disk.opensUsed)
        unclaimed.erase(key);
    nlohmann::ordered_json left = sim::rebuild::faultsOfUnclaimedOpens(unclaimed, calls);
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0]["path"], "\\\\.\\Other");
    for (const std::u16string& key : other.opensUsed)
        unclaimed.erase(key);
    EXPECT_TRUE(sim::rebuild::faultsOfUnclaimedOpens(unclaimed, calls).empty());

    // An open that succeeded on a path no device answers to cannot be rebuilt.
    EXPECT_THROW(sim::rebuild::faultsOfUnclaimedOpens(index.opens, calls),
                 sim::rebuild::RebuildError);
}

} // namespace
