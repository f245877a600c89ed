#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/run_options.h"
#include "app/updater/disk_updater.h"

namespace qir {
namespace {

TargetDisk found(DriverKind kind, const std::u16string& path) {
    TargetDisk disk;
    disk.driverKind = kind;
    disk.devicePath = path;
    return disk;
}

TargetDisk identified(const TargetDisk& from, const std::u16string& revision) {
    TargetDisk disk = from;
    disk.modelNumber = u"MODEL";
    disk.serialNumber = u"SN-" + from.devicePath;
    disk.firmwareRevision = revision;
    return disk;
}

// A fake machine behind the updater's operations: lists what discovery finds, says
// which found records identify (and with which revision), and records every call.
struct FakeWorld {
    bool controllerPresent = false;
    DiskList rstDisks;
    DiskList nvmeDisks;
    // Revision given to a found record's identification, by devicePath; absent means
    // identification fails and appends nothing.
    std::vector<std::pair<std::u16string, std::u16string>> revisions;
    DiskList vrocDisks;
    int32_t vrocPortToReport = 7;
    std::vector<uint32_t> routeResults;

    std::vector<std::string> calls;
    std::vector<uint32_t> imageSizesSeen;
    std::vector<int32_t> vrocPortsSeen;

    const std::u16string* revisionOf(const TargetDisk& disk) const {
        for (const auto& entry : revisions)
            if (entry.first == disk.devicePath)
                return &entry.second;
        return nullptr;
    }

    void identify(const char* name, const TargetDisk& disk, DiskList& out) {
        calls.push_back(std::string(name) + ":" +
                        std::string(disk.devicePath.begin(), disk.devicePath.end()));
        if (const std::u16string* revision = revisionOf(disk))
            out.push_back(identified(disk, *revision));
    }

    uint32_t route(const char* name, const TargetDisk& disk, const uint32_t* imageSize) {
        calls.push_back(std::string(name) + ":" +
                        std::string(disk.serialNumber.begin(), disk.serialNumber.end()));
        imageSizesSeen.push_back(*imageSize);
        // A route that spoils the size it was handed must not affect the next target.
        *const_cast<uint32_t*>(imageSize) = 0x1234;
        size_t index = imageSizesSeen.size() - 1;
        return index < routeResults.size() ? routeResults[index] : 0;
    }

    DiskUpdaterOps ops() {
        DiskUpdaterOps o;
        o.findRstController = [this](RaidController& c) {
            calls.push_back("findRstController");
            c.interfacePath = u"\\\\?\\rst";
            return controllerPresent;
        };
        o.enumerateRstDisks = [this](const RaidController&, DiskList& list) {
            calls.push_back("enumerateRstDisks");
            list.insert(list.end(), rstDisks.begin(), rstDisks.end());
            return 0;
        };
        o.enumerateNvmeDisks = [this](DiskList& list) {
            calls.push_back("enumerateNvmeDisks");
            list.insert(list.end(), nvmeDisks.begin(), nvmeDisks.end());
            return 0;
        };
        o.identifyRstDisk = [this](TargetDisk d, DiskList& out) {
            identify("identifyRstDisk", d, out);
            return 0;
        };
        o.queryCsmiRaidConfig = [this](TargetDisk d, DiskList& out) {
            identify("queryCsmiRaidConfig", d, out);
        };
        o.enumerateVrocDisks = [this](TargetDisk d, DiskList& out, int32_t* port) {
            calls.push_back("enumerateVrocDisks:" +
                            std::string(d.devicePath.begin(), d.devicePath.end()));
            out.insert(out.end(), vrocDisks.begin(), vrocDisks.end());
            if (!vrocDisks.empty())
                *port = vrocPortToReport;
        };
        o.identifyInboxDisk = [this](TargetDisk d, DiskList& out) {
            identify("identifyInboxDisk", d, out);
            return 0;
        };
        o.updateInboxDisk = [this](const TargetDisk& d, const uint32_t* size) {
            return route("updateInboxDisk", d, size);
        };
        o.updateIrstDisk = [this](const TargetDisk& d, const uint32_t* size) {
            return route("updateIrstDisk", d, size);
        };
        o.updateVrocDisk = [this](const TargetDisk& d, const uint32_t* size, int32_t port) {
            vrocPortsSeen.push_back(port);
            return route("updateVrocDisk", d, size);
        };
        return o;
    }
};

std::vector<std::string> runUpdater(FakeWorld& world, RunOptions& options) {
    DiskUpdaterOps ops = world.ops();
    DiskUpdater updater(ops);
    updater.run(options);
    return world.calls;
}

TEST(DiskUpdater, RstDisksComeBeforeInboxDisksAndAreUpdatedInThatOrder) {
    FakeWorld world;
    world.controllerPresent = true;
    world.rstDisks = {found(RstNonRaid, u"rst0")};
    world.nvmeDisks = {found(InboxNvme, u"nvme0")};
    world.revisions = {{u"rst0", u"VDL7W2QA"}, {u"nvme0", u"VDL4J9QB"}};
    world.routeResults = {0, 1602};
    RunOptions options(world.ops());
    std::vector<std::string> calls = runUpdater(world, options);

    std::vector<std::string> expected = {"findRstController",       "enumerateRstDisks",
                                         "enumerateNvmeDisks",      "identifyRstDisk:rst0",
                                         "identifyInboxDisk:nvme0", "updateIrstDisk:SN-rst0",
                                         "updateInboxDisk:SN-nvme0"};
    EXPECT_EQ(calls, expected);
    ASSERT_EQ(options.targets.size(), 2u);
    EXPECT_EQ(options.targets[0].updateResult, 0u);
    EXPECT_EQ(options.targets[1].updateResult, 1602u);
}

TEST(DiskUpdater, NoControllerMeansNoRstListingAndNothingFoundMeansNoIdentification) {
    FakeWorld world;
    RunOptions options(world.ops());
    std::vector<std::string> calls = runUpdater(world, options);
    EXPECT_EQ(calls, (std::vector<std::string>{"findRstController", "enumerateNvmeDisks"}));
    EXPECT_TRUE(options.targets.empty());
}

TEST(DiskUpdater, VrocTestRunsAfterRstRecordsOnlyWhileNothingIsIdentified) {
    struct Case {
        const char* name;
        DiskList rst;
        DiskList nvme;
        std::vector<std::pair<std::u16string, std::u16string>> revisions;
        std::vector<std::string> vrocCalls;
    };
    std::vector<Case> cases = {
        {"volume fails, then non-RAID fails: VROC after both",
         {found(RstRaid, u"vol"), found(RstNonRaid, u"nr")},
         {},
         {},
         {"enumerateVrocDisks:vol", "enumerateVrocDisks:nr"}},
        {"first identified: later RST records do not trigger it",
         {found(RstNonRaid, u"a"), found(RstRaid, u"b"), found(RstNonRaid, u"c")},
         {},
         {{u"a", u"XXXXXXXX"}},
         {}},
        {"second identified: only the first triggers it",
         {found(RstNonRaid, u"a"), found(RstNonRaid, u"b"), found(RstRaid, u"c")},
         {},
         {{u"b", u"XXXXXXXX"}},
         {"enumerateVrocDisks:a"}},
        {"inbox records never trigger it",
         {},
         {found(InboxNvme, u"n0"), found(InboxNvme, u"n1")},
         {},
         {}},
        {"unknown kinds are skipped without a VROC test",
         {found(Unset, u"u"), found(VrocRaid, u"v")},
         {},
         {{u"u", u"VDL7W2QA"}, {u"v", u"VDL7W2QA"}},
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeWorld world;
        world.controllerPresent = true;
        world.rstDisks = c.rst;
        world.nvmeDisks = c.nvme;
        world.revisions = c.revisions;
        RunOptions options(world.ops());
        std::vector<std::string> vrocCalls;
        for (const std::string& call : runUpdater(world, options))
            if (call.rfind("enumerateVrocDisks", 0) == 0)
                vrocCalls.push_back(call);
        EXPECT_EQ(vrocCalls, c.vrocCalls);
        EXPECT_TRUE(options.targets.empty());
    }
}

TEST(DiskUpdater, EligibilityIsExactEightCharacterMatch) {
    struct Case {
        std::u16string revision;
        bool target;
    };
    std::vector<Case> cases = {
        {u"VDL7W2QA", true},   {u"VDL4J9QB", true},
        {u"VDL7W2QA ", false}, {u"vdl7w2qa", false},
        {u"VDL7W2Q", false},   {u" VDL4J9QB", false},
        {u"", false},          {std::u16string(u"VDL7W2Q\0", 8), false},
        {u"VDL9K2QC", false},  {u"VDL4J9QB\u0100", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.revision.begin(), c.revision.end()));
        FakeWorld world;
        world.nvmeDisks = {found(InboxNvme, u"n")};
        world.revisions = {{u"n", c.revision}};
        RunOptions options(world.ops());
        runUpdater(world, options);
        EXPECT_EQ(options.targets.size(), c.target ? 1u : 0u);
    }
}

TEST(DiskUpdater, DispatchByKindWithFreshImageSizeAndVrocPort) {
    FakeWorld world;
    world.controllerPresent = true;
    world.rstDisks = {found(RstRaid, u"vol")};
    world.nvmeDisks = {found(InboxNvme, u"n")};
    TargetDisk vrocRaid = identified(found(VrocRaid, u"vol"), u"VDL7W2QA");
    vrocRaid.serialNumber = u"VR";
    TargetDisk vrocNonRaid = identified(found(VrocNonRaid, u"vol"), u"VDL4J9QB");
    vrocNonRaid.serialNumber = u"VN";
    TargetDisk ignored = identified(found(VrocNonRaid, u"vol"), u"OLDREV00");
    world.vrocDisks = {vrocRaid, ignored, vrocNonRaid};
    world.revisions = {{u"n", u"VDL7W2QA"}};
    world.routeResults = {5, 1602, 1};
    RunOptions options(world.ops());
    std::vector<std::string> calls = runUpdater(world, options);

    std::vector<std::string> routes(calls.end() - 3, calls.end());
    EXPECT_EQ(routes, (std::vector<std::string>{"updateVrocDisk:VR", "updateVrocDisk:VN",
                                                "updateInboxDisk:SN-n"}));
    EXPECT_EQ(world.imageSizesSeen, (std::vector<uint32_t>{0x240000, 0x240000, 0x240000}));
    EXPECT_EQ(world.vrocPortsSeen, (std::vector<int32_t>{7, 7}));
    ASSERT_EQ(options.targets.size(), 3u);
    EXPECT_EQ(options.targets[0].updateResult, 5u);
    EXPECT_EQ(options.targets[1].updateResult, 1602u);
    EXPECT_EQ(options.targets[2].updateResult, 1u);
}

TEST(DiskUpdater, RstMembersGoToIrstRouteAndVrocPortStaysUnsetWithoutEnumeration) {
    FakeWorld world;
    world.controllerPresent = true;
    world.rstDisks = {found(RstRaid, u"vol"), found(RstNonRaid, u"nr")};
    world.revisions = {{u"vol", u"VDL7W2QA"}, {u"nr", u"VDL4J9QB"}};
    RunOptions options(world.ops());
    std::vector<std::string> calls = runUpdater(world, options);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "updateIrstDisk:SN-vol"), 1);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "updateIrstDisk:SN-nr"), 1);
    EXPECT_TRUE(world.vrocPortsSeen.empty());
}

} // namespace
} // namespace qir
