// One platform call and its answer, as a capture holds it (docs/capture.md). A plain
// record for every kind of call: each kind fills the fields it has and leaves the rest
// at their defaults, so the recorder, the replay and the rebuild share one shape.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace qir::capture {

enum class Op {
    GetClassDevs,
    EnumDeviceInfo,
    EnumDeviceInterfaces,
    GetInterfaceDetail,
    GetRegistryProperty,
    GetDeviceProperty,
    DestroyDeviceInfoList,
    CreateFile,
    DeviceIoControl,
    CloseHandle,
    GetLastError,
    MessageBox,
    GetModuleHandle,
    GetCommandLine,
    FrameworkStartup,
    LocalTime,
    TakeLock,
    ReleaseLock,
    GetPowerStatus,
};

// The name a capture gives the kind of call ("create_file"); nullptr for none.
const char* opName(Op op);
std::optional<Op> opNamed(const std::string& name);

struct CapturedCall {
    Op op = Op::GetLastError;

    // What was asked.
    int64_t target = 0;                 // device information set or handle
    std::optional<platform::Guid> guid; // interface or setup class; property key
    uint32_t number = 0;                // flags, index, property, control code, access
    std::optional<uint32_t> devInst;    // the device record handed in
    uint32_t size = 0;                  // buffer size; output size of a control call
    bool buffer = false;                // a buffer was handed in
    bool info = false;                  // a device record was handed in to be filled
    uint32_t share = 0;
    uint32_t disposition = 0;
    uint32_t flags = 0;
    std::u16string text; // path, message text, command line
    std::u16string caption;
    std::vector<uint8_t> in; // input bytes of a control call
    uint32_t inSize = 0;

    // What came back.
    bool ok = false;
    int64_t result = 0;               // set, handle, module, message box answer
    uint32_t error = 0;               // last error right after a failed call
    std::optional<uint32_t> required; // required size, when asked for
    std::optional<uint32_t> type;     // property or registry type, when asked for
    std::vector<uint8_t> out;         // bytes the call left in the caller's buffer
    uint32_t returned = 0;
    std::optional<uint32_t> outDevInst; // device record filled in
    std::optional<platform::Guid> outGuid;
    uint32_t outFlags = 0;
    platform::LocalTime time{};
    platform::LockResult lock = platform::LockResult::Failed;
    platform::PowerStatus power{};
};

using CallList = std::vector<CapturedCall>;

} // namespace qir::capture
