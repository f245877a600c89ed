// The forms a machine description holds for what a capture can show and the rest of the
// description cannot: a device's own instance number, an interface whose detail fails,
// a get-info reply of any shape, VROC list entries of any bytes or of no drive, and a
// control request's recorded reply.
#include <gtest/gtest.h>

#include "tests/support/sim_test_support.h"

namespace {

using namespace qir;
using namespace qir::testing;

const char* const kDisk = R"({"class": "disk", "interface_path": "\\\\?\\d#1", "device_number": 3,
    "driver": "inbox", "drive": "d")";
const char* const kDrive = R"({"id": "d", "slots": {"count": 2, "slot1_read_only": true}})";

std::string oneDisk(const std::string& diskExtra, const std::string& driveExtra = "") {
    std::string drive = kDrive;
    drive.insert(drive.size() - 1, driveExtra);
    return std::string(R"({"devices": [)") + kDisk + diskExtra + "}], \"drives\": [" + drive + "]}";
}

TEST(SimCapturedForms, ADeviceAnswersToItsOwnInstanceNumber) {
    auto m = load(R"({"devices": [{"class": "other", "location_info": "Bus Number 1"},
                                   {"class": "other", "dev_inst": 4242, "location_info": "Bus Number 2"}]})");
    platform::DevInfoSet all = m->getClassDevs(nullptr, win::DIGCF_PRESENT | win::DIGCF_ALLCLASSES);
    platform::DeviceInfoData info{};
    info.cbSize = 32;
    ASSERT_TRUE(m->enumDeviceInfo(all, 1, &info));
    EXPECT_EQ(info.devInst, 4242u);
    uint32_t type = 0, required = 0;
    uint8_t buffer[64] = {};
    EXPECT_TRUE(m->getDeviceProperty(all, &info, win::DEVPKEY_Device_LocationInfo, &type, buffer,
                                     sizeof buffer, &required));
    EXPECT_EQ(buffer[22], '2');
    m->destroyDeviceInfoList(all);

    std::string error;
    EXPECT_FALSE(sim::loadMachine(R"({"devices": [{"class": "other", "dev_inst": 2},
                                                   {"class": "other"}]})",
                                  &error));
    EXPECT_NE(error.find("devices[1]: duplicate dev_inst 2"), std::string::npos) << error;
}

TEST(SimCapturedForms, AnInterfaceWhoseDetailFailsIsStillInItsClassSet) {
    auto m = load(R"({"devices": [{"class": "disk", "interface_detail_error": 13}]})");
    platform::DevInfoSet set = m->getClassDevs(&win::GUID_DEVINTERFACE_DISK,
                                               win::DIGCF_PRESENT | win::DIGCF_DEVICEINTERFACE);
    platform::DeviceInterfaceData iface{};
    iface.cbSize = 32;
    ASSERT_TRUE(m->enumDeviceInterfaces(set, nullptr, win::GUID_DEVINTERFACE_DISK, 0, &iface));
    uint32_t required = 0;
    EXPECT_FALSE(m->getDeviceInterfaceDetail(set, &iface, nullptr, 0, &required, nullptr));
    EXPECT_EQ(m->getLastError(), 13u);
    m->destroyDeviceInfoList(set);
}

TEST(SimCapturedForms, APropertyFailsWithTheErrorItIsGiven) {
    auto m = load(R"({"devices": [{"class": "other", "parent_id": "P", "hardware_ids": ["H"],
                                   "property_errors": {"parent_id": 13, "hardware_ids": 1784}}]})");
    platform::DevInfoSet all = m->getClassDevs(nullptr, win::DIGCF_PRESENT | win::DIGCF_ALLCLASSES);
    platform::DeviceInfoData info{};
    info.cbSize = 32;
    ASSERT_TRUE(m->enumDeviceInfo(all, 0, &info));
    uint32_t type = 0, required = 0;
    EXPECT_FALSE(
        m->getDeviceProperty(all, &info, win::DEVPKEY_Device_Parent, &type, nullptr, 0, &required));
    EXPECT_EQ(m->getLastError(), 13u);
    EXPECT_FALSE(m->getDeviceRegistryProperty(all, &info, win::SPDRP_HARDWAREID, &type, nullptr, 0,
                                              &required));
    EXPECT_EQ(m->getLastError(), 1784u);
    m->destroyDeviceInfoList(all);

    std::string error;
    EXPECT_FALSE(sim::loadMachine(
        R"({"devices": [{"class": "other", "property_errors": {"colour": 1}}]})", &error));
    EXPECT_NE(error.find("unknown property \"colour\""), std::string::npos) << error;
}

TEST(SimCapturedForms, AGetInfoReplyTakesEveryFieldItIsGiven) {
    auto m = load(oneDisk("", R"(, "get_info": {"offset": 64, "upgrade_support": 2,
        "slot_count": 9, "active_slot": 7, "pending_slot": 1,
        "records": [{"number": 1, "read_only": 5}, {"number": 6, "read_only": 0},
                    {"number": 2, "read_only": 0}]})"));
    platform::Handle h = openRw(*m, u"\\\\.\\PHYSICALDRIVE3");
    std::vector<uint8_t> buf = firmwareRequest(1);
    ASSERT_TRUE(call(*m, h, 0x4D008, buf).ok);
    EXPECT_EQ(returnCode(buf), 0u);
    EXPECT_EQ(getU32(buf.data(), 44), 64u);
    EXPECT_EQ(getU32(buf.data(), 48), buf.size() - 64);
    const uint8_t expected[] = {2, 9, 7, 1};
    EXPECT_TRUE(std::equal(expected, expected + 4, buf.begin() + 64 + 8));
    const uint8_t records[][2] = {{1, 5}, {6, 0}, {2, 0}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(buf[64 + 16 + 16 * i], records[i][0]) << i;
        EXPECT_EQ(buf[64 + 17 + 16 * i], records[i][1]) << i;
    }
    // Three records from 64 need more than the data area holds from there: too small.
    std::vector<uint8_t> small = firmwareRequest(1, 40);
    ASSERT_TRUE(call(*m, h, 0x4D008, small).ok);
    EXPECT_EQ(returnCode(small), 5u);
    m->closeHandle(h);
}

// A recorded answer takes the place of the driver's reply at its occurrence only, on its
// path only; the other requests of its kind are the driver's.
TEST(SimCapturedForms, ARecordedAnswerIsGivenToItsOwnRequest) {
    std::string machine = oneDisk("");
    machine.insert(machine.size() - 1, R"(, "answers": [
        {"path": "\\\\.\\physicaldrive3", "request": "inbox.get_info", "occurrence": 2,
         "out": "0102 ff*8"},
        {"path": "\\\\.\\PHYSICALDRIVE3", "request": "inbox.get_info", "occurrence": 3,
         "error": 1117}])");
    auto m = load(machine);
    platform::Handle h = openRw(*m, u"\\\\.\\PHYSICALDRIVE3");
    platform::Handle other = openRw(*m, u"\\\\?\\d#1");
    std::vector<uint8_t> buf = firmwareRequest(1);
    Reply driver = call(*m, other, 0x4D008, buf);
    EXPECT_TRUE(driver.ok && driver.returned == buf.size());
    EXPECT_TRUE(call(*m, h, 0x4D008, buf).ok);
    std::vector<uint8_t> recorded = firmwareRequest(1);
    Reply second = call(*m, h, 0x4D008, recorded);
    EXPECT_TRUE(second.ok);
    EXPECT_EQ(second.returned, 10u);
    EXPECT_EQ(recorded[0], 1u);
    EXPECT_EQ(recorded[9], 0xffu);
    EXPECT_EQ(recorded[10], firmwareRequest(1)[10]); // past the reply: as the caller left it
    Reply third = call(*m, h, 0x4D008, buf);
    EXPECT_FALSE(third.ok);
    EXPECT_EQ(third.error, 1117u);
    EXPECT_EQ(third.returned, 0u);
    EXPECT_TRUE(call(*m, h, 0x4D008, buf).ok);
    EXPECT_NE(m->trace()[m->trace().size() - 2].find("-> recorded fail err=1117"),
              std::string::npos);
    m->closeHandle(h);
    m->closeHandle(other);
}

TEST(SimCapturedForms, VrocEntriesOfAnyBytesAndOfNoDrive) {
    std::string raw(216, '0');
    raw.replace(0, 8, "07000000"); // disk id 7
    raw.replace(104, 6, "ff0041"); // serial bytes 0xFF, 0x00, 'A'
    auto m = load(R"({"devices": [{"class": "scsi_port", "scsi_port": 0, "driver": "vroc",
        "vroc": {"non_raid": [{"bytes": ")" +
                  raw + R"("},
                              {"disk_id": 9, "model": "M", "serial": "S"}]}}]})");
    platform::Handle h = openRw(*m, u"\\\\.\\Scsi0:");
    std::vector<uint8_t> list(32 + 2 * 108, 0);
    putHeader(list, "NvmeRAID", 0xE000202C);
    putU32(list.data(), 28, 2 * 108);
    ASSERT_TRUE(call(*m, h, 0x4D008, list).ok);
    EXPECT_EQ(getU32(list.data(), 32), 7u);
    EXPECT_EQ(list[32 + 52], 0xFF);
    EXPECT_EQ(list[32 + 53], 0x00);
    EXPECT_EQ(list[32 + 54], 'A');
    EXPECT_EQ(getU32(list.data(), 32 + 108), 9u);
    EXPECT_EQ(list[32 + 108 + 4], 'M');

    // Neither entry has a drive behind its disk id.
    for (uint32_t diskId : {7u, 9u}) {
        std::vector<uint8_t> identify(4252, 0);
        putHeader(identify, "NvmeRAID", 0xE0002000, diskId);
        identify[52] = 0x06;
        putU32(identify.data(), 92, 1);
        putU32(identify.data(), 132, 2);
        putU32(identify.data(), 148, 4252);
        ASSERT_TRUE(call(*m, h, 0x4D008, identify).ok);
        EXPECT_EQ(returnCode(identify), 14u) << diskId;
    }
    m->closeHandle(h);

    std::string error;
    EXPECT_FALSE(sim::loadMachine(R"({"devices": [{"class": "scsi_port", "scsi_port": 0,
        "driver": "vroc", "vroc": {"non_raid": [{"bytes": "00", "disk_id": 1}]}}]})",
                                  &error));
    EXPECT_NE(error.find("\"bytes\" holds the whole entry"), std::string::npos) << error;
}

} // namespace
