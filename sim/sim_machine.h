// A simulated Windows machine: answers the platform calls the way Windows and its
// storage drivers do, from an in-memory description, and records what it was asked.
// docs/simulator.md describes the machine description and this interface.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "sim/nvme_drive.h"
#include "sim/recorded_answers.h"
#include "sim/request_kinds.h"

namespace qir::sim {

struct ShownMessageBox {
    std::u16string text;
    std::u16string caption;
    uint32_t type = 0;
};

enum class DeviceClass { Disk, StoragePort, ScsiPort, Other };
enum class DriverType { None, Inbox, Rst, Vroc };

struct RstPort {
    uint8_t pathId = 0;
    int drive = -1; // index into SimMachine::drives
};

struct RstController {
    std::vector<RstPort> ports;
    std::vector<uint8_t> raidMembers; // ports of RAID set 0, in drive-record order
};

struct VrocEntry {
    int drive = -1; // -1: the disk id answers no drive
    uint32_t diskId = 0;
    uint32_t address = 0;
    std::optional<std::string> model;
    std::optional<std::string> serial;
    // The whole 108-byte entry as the driver lists it, in place of the fields above.
    std::optional<std::vector<uint8_t>> bytes;
};

struct VrocVolume {
    std::vector<VrocEntry> members;
};

struct VrocController {
    std::vector<VrocVolume> raidVolumes;
    std::vector<VrocEntry> nonRaid;
};

struct SimDevice {
    DeviceClass deviceClass = DeviceClass::Other;
    std::optional<std::u16string> instanceId;
    std::optional<std::u16string> parentId;
    std::optional<std::vector<std::u16string>> hardwareIds;
    std::optional<std::u16string> interfacePath;
    std::optional<std::u16string> driverDesc;
    std::optional<std::u16string> locationInfo;
    std::optional<uint32_t> deviceNumber;
    std::optional<int> scsiPort;
    std::optional<uint32_t> devInst; // else its place in the tree, from 1
    uint32_t interfaceDetailError = 0;
    // Properties that fail with an error of their own, by their description names.
    std::map<std::string, uint32_t> propertyErrors;
    uint32_t openError = 0;
    DriverType driver = DriverType::None;
    int drive = -1; // the inbox disk's drive, index into SimMachine::drives
    RstController rst;
    VrocController vroc;
};

// The string property `key` names on the device, and the name a description gives it
// ("parent_id"); nullptr when the machine holds no property of that key.
std::optional<std::u16string>* stringProperty(SimDevice& d, const platform::DevPropKey& key,
                                              const char** name);
const std::optional<std::u16string>*
stringProperty(const SimDevice& d, const platform::DevPropKey& key, const char** name);

// The setup class of the device (GUID_DEVCLASS_DISKDRIVE for a disk, ...).
const platform::Guid& setupClassOf(const SimDevice& d);

// Kill and PowerCut end the program at the request, before it reaches the machine.
enum class FaultEffect { Error, ReturnCode, CompletionStatus, Fields, Kill, PowerCut };

struct SimFault {
    RequestKind kind = RequestKind::Unknown;
    uint32_t occurrence = 1; // 1-based
    bool every = false;
    std::optional<std::u16string> path;
    FaultEffect effect = FaultEffect::Error;
    uint32_t value = 0;
    std::vector<std::pair<std::string, int64_t>> fields;
    uint32_t seen = 0; // matching requests so far
};

struct OpenFile {
    std::u16string path;
    int device = -1;
    uint32_t access = 0;
    uint32_t flags = 0;
};

class SimMachine;

// One DeviceIoControl call as a driver sees it: METHOD_BUFFERED, so one system buffer of
// max(in, out) bytes holding the input; what the driver leaves in its first `returned`
// bytes (at most the output size) is copied back on success.
struct IoRequest {
    IoRequest(SimMachine& m, int device, const OpenFile& f, uint32_t code, uint32_t in,
              uint32_t out)
        : machine(m), deviceIndex(device), file(f), controlCode(code), inSize(in), outSize(out) {}

    SimMachine& machine;
    int deviceIndex;
    const OpenFile& file;
    uint32_t controlCode;
    std::vector<uint8_t> buf;
    uint32_t inSize;
    uint32_t outSize;
    uint32_t returned = 0;
    RequestKind kind = RequestKind::Unknown;
    std::string detail;
    std::vector<const SimFault*> fieldFaults;

    SimDevice& device() const;
    void note(const std::string& text);
    void noteHex(const char* name, uint64_t value);
    void noteDec(const char* name, uint64_t value);
};

struct IoAnswer {
    bool ok = true;
    uint32_t error = 0;
};

class SimMachine : public platform::Platform {
  public:
    SimMachine();
    ~SimMachine() override;

    // Switches and fixed values of the machine.
    bool moduleHandleFails = false;
    bool frameworkStartupFails = false;
    platform::LocalTime clock = {2026, 12, 7, 2, 40, 52};
    std::u16string commandLine = u"qir.exe";
    // Another process holds the update lock for the whole run.
    bool updateRunning = false;
    // How the lock answers when no other process holds it: Taken, TakenOverAbandoned
    // (a holder was killed), NotPermitted (no right to create global objects) or Failed.
    platform::LockResult freeLockAnswer = platform::LockResult::Taken;
    platform::PowerStatus power = {1, 128, 255}; // on AC, no battery

    // The machine itself, in SetupAPI order.
    std::vector<SimDevice> devices;
    std::vector<NvmeDrive> drives;
    std::vector<SimFault> faults;
    RecordedAnswers answers;

    // What the machine saw.
    std::optional<ShownMessageBox> messageBoxShown;
    int openHandles = 0;
    int openDeviceInfoSets = 0;
    std::optional<int> resultCode;          // set by whoever ran the tool, for the state dump
    std::optional<std::u16string> lockHeld; // the name of the lock the tool holds now
    int lockAttempts = 0;

    // Called when a kill or power-cut fault is met; it must not return (the runner writes
    // what it was asked to and ends the process). Without one the process aborts.
    std::function<void(FaultEffect)> onInterrupt;

    // Events between runs (machine_events.cpp): a warm restart resets every drive's
    // controller; a power cycle takes the power from every drive.
    void reboot();
    void powerCycle();

    const NvmeDrive* drive(const std::string& id) const;
    NvmeDrive* drive(const std::string& id);
    const std::vector<std::string>& trace() const { return trace_; }
    int requestCount(const std::string& kind) const;
    std::string stateJson() const;

    // Used by the simulated drivers: the fault that takes the place of the request of
    // r.kind, if any (fields faults are collected into r.fieldFaults instead).
    const SimFault* takeFault(IoRequest& r);
    // Answers the request with a preempting fault when one is set; true when it did.
    bool preempt(IoRequest& r, IoAnswer* answer);

    QIR_PLATFORM_OVERRIDES;

  private:
    struct DeviceSet {
        std::vector<int> devices;
    };

    bool fail(uint32_t error);
    const DeviceSet* findSet(platform::DevInfoSet set);
    int deviceOfInfo(const DeviceSet& set, const platform::DeviceInfoData* info);
    // The device a record names in the set, or -1 with the error set.
    int deviceInSet(platform::DevInfoSet set, const platform::DeviceInfoData* info);
    bool answerText(const std::u16string& text, uint8_t* buffer, uint32_t bufferSize,
                    uint32_t* requiredSize);
    void fillInfo(int device, platform::DeviceInfoData* info) const;
    uint32_t devInstOf(int device) const;
    int resolvePath(const std::u16string& path) const;
    void addTrace(const std::string& line);
    [[noreturn]] void interrupt(const IoRequest& r, FaultEffect how);
    bool answerAsRecorded(const RecordedAnswer& a, const std::string& line, void* outBuffer,
                          uint32_t outSize, uint32_t* bytesReturned);

    uint32_t lastError_ = 0;
    platform::DevInfoSet nextSet_ = 0x1000;
    platform::Handle nextHandle_ = 0x100;
    std::map<platform::DevInfoSet, DeviceSet> sets_;
    std::map<platform::Handle, OpenFile> files_;
    std::vector<std::string> trace_;
    std::map<RequestKind, int> requestCounts_;
};

} // namespace qir::sim
