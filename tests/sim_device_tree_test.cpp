// SetupAPI behaviour and opens of the simulated machine.
#include "tests/support/sim_test_support.h"

namespace {

using namespace qir;
using namespace qir::testing;
using platform::DeviceInfoData;
using platform::DeviceInterfaceData;

const char* kTree = R"({
  "drives": [{"id": "a", "firmware": "VDL7W2QA"}],
  "devices": [
    {"class": "disk", "instance_id": "SCSI\\DISK&VEN_NVME\\1", "parent_id": "PCI\\VEN_1D7A&DEV_1\\1",
     "hardware_ids": ["SCSI\\DiskNVMe_A", "GenDisk"], "interface_path": "\\\\?\\scsi#disk#1#{53f56307}",
     "device_number": 1, "driver": "inbox", "drive": "a"},
    {"class": "storage_port", "instance_id": "PCI\\VEN_8086&DEV_2822\\3",
     "interface_path": "\\\\?\\pci#ven_8086#3#{2accfe60}", "driver_desc": "Intel RST Controller"},
    {"class": "other", "instance_id": "ROOT\\X\\0", "location_info": "Bus Number 3, Target Id 0, LUN 0"},
    {"class": "disk", "instance_id": "SCSI\\DISK\\2", "interface_path": "\\\\?\\scsi#disk#2",
     "device_number": 4, "missing": ["parent_id", "hardware_ids"], "open_error": 5},
    {"class": "scsi_port", "scsi_port": 2, "driver": "vroc"}
  ]})";

DeviceInfoData infoRecord() {
    DeviceInfoData info{};
    info.cbSize = 32;
    return info;
}

DeviceInterfaceData interfaceRecord() {
    DeviceInterfaceData iface{};
    iface.cbSize = 32;
    return iface;
}

uint32_t setSize(sim::SimMachine& m, platform::DevInfoSet set) {
    DeviceInfoData info = infoRecord();
    uint32_t n = 0;
    while (m.enumDeviceInfo(set, n, &info))
        ++n;
    EXPECT_EQ(m.getLastError(), win::ERROR_NO_MORE_ITEMS);
    return n;
}

TEST(SimDeviceTree, SetsHoldTheDevicesOfTheirClassInFileOrder) {
    auto m = load(kTree);
    auto disks = m->getClassDevs(&win::GUID_DEVINTERFACE_DISK, 0x12);
    auto ports = m->getClassDevs(&win::GUID_DEVINTERFACE_STORAGEPORT, 0x12);
    auto all = m->getClassDevs(nullptr, win::DIGCF_PRESENT | win::DIGCF_ALLCLASSES);
    EXPECT_EQ(setSize(*m, disks), 2u);
    EXPECT_EQ(setSize(*m, ports), 1u);
    EXPECT_EQ(setSize(*m, all), 5u);
    EXPECT_EQ(m->openDeviceInfoSets, 3);

    // The second disk of the disk set is the fourth device: its instance handle says so
    // in every set, which is how a device is found again in the all-classes set.
    DeviceInfoData second = infoRecord();
    ASSERT_TRUE(m->enumDeviceInfo(disks, 1, &second));
    DeviceInfoData fourth = infoRecord();
    ASSERT_TRUE(m->enumDeviceInfo(all, 3, &fourth));
    EXPECT_EQ(second.devInst, fourth.devInst);

    for (auto set : {disks, ports, all})
        EXPECT_TRUE(m->destroyDeviceInfoList(set));
    EXPECT_EQ(m->openDeviceInfoSets, 0);
    EXPECT_FALSE(m->destroyDeviceInfoList(disks));
    EXPECT_EQ(m->getLastError(), win::ERROR_INVALID_HANDLE);
}

TEST(SimDeviceTree, RecordSizesAreChecked) {
    auto m = load(kTree);
    auto set = m->getClassDevs(&win::GUID_DEVINTERFACE_DISK, 0x12);
    DeviceInfoData info{};
    info.cbSize = 28;
    EXPECT_FALSE(m->enumDeviceInfo(set, 0, &info));
    EXPECT_EQ(m->getLastError(), win::ERROR_INVALID_USER_BUFFER);
    DeviceInterfaceData iface{};
    iface.cbSize = 0;
    EXPECT_FALSE(m->enumDeviceInterfaces(set, nullptr, win::GUID_DEVINTERFACE_DISK, 0, &iface));
    EXPECT_EQ(m->getLastError(), win::ERROR_INVALID_USER_BUFFER);
    iface.cbSize = 32;
    EXPECT_TRUE(m->enumDeviceInterfaces(set, nullptr, win::GUID_DEVINTERFACE_DISK, 1, &iface));
    EXPECT_FALSE(m->enumDeviceInterfaces(set, nullptr, win::GUID_DEVINTERFACE_DISK, 2, &iface));
    EXPECT_EQ(m->getLastError(), win::ERROR_NO_MORE_ITEMS);
    // The disk set has no storage-port interfaces.
    EXPECT_FALSE(
        m->enumDeviceInterfaces(set, nullptr, win::GUID_DEVINTERFACE_STORAGEPORT, 0, &iface));
    m->destroyDeviceInfoList(set);
}

TEST(SimDeviceTree, InterfaceDetailFollowsTheSizingRule) {
    auto m = load(kTree);
    auto set = m->getClassDevs(&win::GUID_DEVINTERFACE_DISK, 0x12);
    DeviceInterfaceData iface = interfaceRecord();
    ASSERT_TRUE(m->enumDeviceInterfaces(set, nullptr, win::GUID_DEVINTERFACE_DISK, 0, &iface));
    const std::u16string path = u"\\\\?\\scsi#disk#1#{53f56307}";
    uint32_t required = 0;
    EXPECT_FALSE(m->getDeviceInterfaceDetail(set, &iface, nullptr, 0, &required, nullptr));
    EXPECT_EQ(m->getLastError(), win::ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(required, 4 + 2 * (path.size() + 1));

    std::vector<uint8_t> detail(required, 0xAA);
    putU32(detail.data(), 0, 6); // the 32-bit size
    EXPECT_FALSE(
        m->getDeviceInterfaceDetail(set, &iface, detail.data(), required, nullptr, nullptr));
    EXPECT_EQ(m->getLastError(), win::ERROR_INVALID_USER_BUFFER);
    putU32(detail.data(), 0, 8);
    EXPECT_FALSE(
        m->getDeviceInterfaceDetail(set, &iface, detail.data(), required - 2, nullptr, nullptr));
    EXPECT_EQ(m->getLastError(), win::ERROR_INSUFFICIENT_BUFFER);

    DeviceInfoData info = infoRecord();
    ASSERT_TRUE(m->getDeviceInterfaceDetail(set, &iface, detail.data(), required, nullptr, &info));
    std::u16string got;
    for (size_t i = 4; getU16(detail.data(), i) != 0; i += 2)
        got += static_cast<char16_t>(getU16(detail.data(), i));
    EXPECT_EQ(got, path);
    EXPECT_EQ(getU16(detail.data(), required - 2), 0);
    EXPECT_EQ(info.devInst, 1u);
    m->destroyDeviceInfoList(set);
}

struct PropertyCase {
    const char* name;
    platform::DevPropKey key;
    uint32_t deviceInAllSet;
    const char16_t* value; // nullptr: absent
};

class SimDeviceProperty : public ::testing::TestWithParam<PropertyCase> {};

TEST_P(SimDeviceProperty, AnswersWithSizeThenValue) {
    const PropertyCase& c = GetParam();
    auto m = load(kTree);
    auto set = m->getClassDevs(nullptr, 6);
    DeviceInfoData info = infoRecord();
    ASSERT_TRUE(m->enumDeviceInfo(set, c.deviceInAllSet, &info));
    uint32_t type = win::DEVPROP_TYPE_STRING, required = 0;
    EXPECT_FALSE(m->getDeviceProperty(set, &info, c.key, &type, nullptr, 0, &required));
    if (!c.value) {
        EXPECT_EQ(m->getLastError(), win::ERROR_NOT_FOUND);
        // As SetupAPI answers it on Windows (and under Wine): a property that is not there.
        EXPECT_EQ(type, win::DEVPROP_TYPE_EMPTY);
    } else {
        std::u16string value = c.value;
        EXPECT_EQ(m->getLastError(), win::ERROR_INSUFFICIENT_BUFFER);
        EXPECT_EQ(required, 2 * (value.size() + 1));
        std::vector<uint8_t> small(required - 1);
        EXPECT_FALSE(m->getDeviceProperty(set, &info, c.key, &type, small.data(),
                                          static_cast<uint32_t>(small.size()), &required));
        EXPECT_EQ(m->getLastError(), win::ERROR_INSUFFICIENT_BUFFER);
        std::vector<uint8_t> buf(required * 2, 0xFF);
        ASSERT_TRUE(m->getDeviceProperty(set, &info, c.key, &type, buf.data(),
                                         static_cast<uint32_t>(buf.size()), &required));
        EXPECT_EQ(type, win::DEVPROP_TYPE_STRING);
        for (size_t i = 0; i < value.size(); ++i)
            EXPECT_EQ(getU16(buf.data(), 2 * i), value[i]);
        EXPECT_EQ(getU16(buf.data(), 2 * value.size()), 0);
    }
    m->destroyDeviceInfoList(set);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SimDeviceProperty,
    ::testing::Values(
        PropertyCase{"parent", win::DEVPKEY_Device_Parent, 0, u"PCI\\VEN_1D7A&DEV_1\\1"},
        PropertyCase{"instance", win::DEVPKEY_Device_InstanceId, 1, u"PCI\\VEN_8086&DEV_2822\\3"},
        PropertyCase{"driver_desc", win::DEVPKEY_Device_DriverDesc, 1, u"Intel RST Controller"},
        PropertyCase{"location", win::DEVPKEY_Device_LocationInfo, 2,
                     u"Bus Number 3, Target Id 0, LUN 0"},
        PropertyCase{"missing_parent", win::DEVPKEY_Device_Parent, 3, nullptr},
        PropertyCase{"never_given", win::DEVPKEY_Device_DriverDesc, 0, nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SimDeviceTree, HardwareIdsAreAMultiString) {
    auto m = load(kTree);
    auto set = m->getClassDevs(&win::GUID_DEVINTERFACE_DISK, 0x12);
    DeviceInfoData info = infoRecord();
    ASSERT_TRUE(m->enumDeviceInfo(set, 0, &info));
    uint32_t type = 0, required = 0;
    EXPECT_FALSE(m->getDeviceRegistryProperty(set, &info, win::SPDRP_HARDWAREID, &type, nullptr, 0,
                                              &required));
    EXPECT_EQ(m->getLastError(), win::ERROR_INSUFFICIENT_BUFFER);
    std::u16string expected = u"SCSI\\DiskNVMe_A";
    expected += u'\0';
    expected += u"GenDisk";
    expected += u'\0';
    expected += u'\0';
    ASSERT_EQ(required, 2 * expected.size());
    std::vector<uint8_t> buf(required);
    ASSERT_TRUE(m->getDeviceRegistryProperty(set, &info, win::SPDRP_HARDWAREID, &type, buf.data(),
                                             required, &required));
    EXPECT_EQ(type, win::REG_MULTI_SZ);
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(getU16(buf.data(), 2 * i), expected[i]) << i;

    ASSERT_TRUE(m->enumDeviceInfo(set, 1, &info));
    EXPECT_FALSE(m->getDeviceRegistryProperty(set, &info, win::SPDRP_HARDWAREID, &type, nullptr, 0,
                                              &required));
    EXPECT_EQ(m->getLastError(), win::ERROR_INVALID_DATA);
    m->destroyDeviceInfoList(set);
}

struct OpenCase {
    const char* path;
    uint32_t error; // 0: opens
};

TEST(SimDeviceTree, OpensByInterfacePathDriveNumberAndScsiPort) {
    auto m = load(kTree);
    const OpenCase cases[] = {
        {"\\\\?\\SCSI#DISK#1#{53F56307}", 0}, // letter case does not matter
        {"\\\\.\\PHYSICALDRIVE1", 0},
        {"\\\\.\\PhysicalDrive1", 0},
        {"\\\\.\\PHYSICALDRIVE01", win::ERROR_FILE_NOT_FOUND},
        {"\\\\.\\PHYSICALDRIVE4", 5}, // the device's own open error
        {"\\\\.\\PHYSICALDRIVE2", win::ERROR_FILE_NOT_FOUND},
        {"\\\\.\\Scsi2:", 0},
        {"\\\\.\\Scsi3:", win::ERROR_FILE_NOT_FOUND},
        {"\\\\.\\Scsi2", win::ERROR_FILE_NOT_FOUND},
        {"C:\\nowhere", win::ERROR_FILE_NOT_FOUND},
    };
    for (const OpenCase& c : cases) {
        platform::Handle h = openRw(*m, u16(c.path));
        if (c.error == 0) {
            EXPECT_NE(h, platform::kInvalidHandle) << c.path;
            EXPECT_TRUE(m->closeHandle(h));
        } else {
            EXPECT_EQ(h, platform::kInvalidHandle) << c.path;
            EXPECT_EQ(m->getLastError(), c.error) << c.path;
        }
    }
    EXPECT_EQ(m->openHandles, 0);
    EXPECT_FALSE(m->closeHandle(0x100));
    EXPECT_EQ(m->getLastError(), win::ERROR_INVALID_HANDLE);
}

TEST(SimDeviceTree, MiniportRequestsNeedReadWriteAndASynchronousHandle) {
    auto m = load(kTree);
    std::vector<uint8_t> buf = firmwareRequest(1);
    platform::Handle readOnly =
        m->createFile(u"\\\\.\\PHYSICALDRIVE1", win::GENERIC_READ, 3, win::OPEN_EXISTING, 0);
    Reply r = call(*m, readOnly, 0x4D008, buf);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, win::ERROR_ACCESS_DENIED);
    platform::Handle overlapped =
        m->createFile(u"\\\\.\\PHYSICALDRIVE1", win::GENERIC_READ | win::GENERIC_WRITE, 3,
                      win::OPEN_EXISTING, win::FILE_FLAG_OVERLAPPED | 0x80);
    EXPECT_NE(overlapped, platform::kInvalidHandle);
    r = call(*m, overlapped, 0x4D008, buf);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, win::ERROR_INVALID_PARAMETER);
    m->closeHandle(readOnly);
    m->closeHandle(overlapped);
    EXPECT_EQ(m->openHandles, 0);
}

TEST(SimDeviceTree, OpenAndClassDevsFaultsByOccurrence) {
    auto m = load(R"({"devices": [{"class": "disk", "interface_path": "p", "device_number": 1}],
                      "faults": [{"kind": "open", "occurrence": 2, "error": 32},
                                 {"kind": "get_class_devs", "occurrence": 1, "error": 8}]})");
    EXPECT_EQ(m->getClassDevs(&win::GUID_DEVINTERFACE_DISK, 0x12), platform::kInvalidDevInfoSet);
    EXPECT_EQ(m->getLastError(), 8u);
    auto set = m->getClassDevs(&win::GUID_DEVINTERFACE_DISK, 0x12);
    EXPECT_NE(set, platform::kInvalidDevInfoSet);
    m->destroyDeviceInfoList(set);
    platform::Handle first = openRw(*m, u"p");
    EXPECT_NE(first, platform::kInvalidHandle);
    EXPECT_EQ(openRw(*m, u"p"), platform::kInvalidHandle);
    EXPECT_EQ(m->getLastError(), 32u);
    platform::Handle third = openRw(*m, u"p");
    EXPECT_NE(third, platform::kInvalidHandle);
    m->closeHandle(first);
    m->closeHandle(third);
    EXPECT_EQ(m->openHandles, 0);
    EXPECT_EQ(m->openDeviceInfoSets, 0);
}

} // namespace
