#include "sim/sim_machine.h"

#include <cstdio>

#include "app/console.h"
#include "platform/win_constants.h"

namespace qir::sim {

using namespace qir::platform;

SimMachine::SimMachine() = default;

DevInfoSet SimMachine::getClassDevs(const Guid*, uint32_t) {
    ++openDeviceInfoSets;
    return nextSet_++;
}

bool SimMachine::enumDeviceInfo(DevInfoSet, uint32_t, DeviceInfoData*) {
    lastError_ = win::ERROR_NO_MORE_ITEMS;
    return false;
}

bool SimMachine::enumDeviceInterfaces(DevInfoSet, const DeviceInfoData*, const Guid&, uint32_t,
                                      DeviceInterfaceData*) {
    lastError_ = win::ERROR_NO_MORE_ITEMS;
    return false;
}

bool SimMachine::getDeviceInterfaceDetail(DevInfoSet, const DeviceInterfaceData*, uint8_t*,
                                          uint32_t, uint32_t*, DeviceInfoData*) {
    lastError_ = win::ERROR_INVALID_PARAMETER;
    return false;
}

bool SimMachine::getDeviceRegistryProperty(DevInfoSet, const DeviceInfoData*, uint32_t, uint32_t*,
                                           uint8_t*, uint32_t, uint32_t*) {
    lastError_ = win::ERROR_INVALID_DATA;
    return false;
}

bool SimMachine::getDeviceProperty(DevInfoSet, const DeviceInfoData*, const DevPropKey&,
                                   uint32_t*, uint8_t*, uint32_t, uint32_t*) {
    lastError_ = win::ERROR_NOT_FOUND;
    return false;
}

bool SimMachine::destroyDeviceInfoList(DevInfoSet) {
    --openDeviceInfoSets;
    return true;
}

Handle SimMachine::createFile(const std::u16string&, uint32_t, uint32_t, uint32_t, uint32_t) {
    lastError_ = win::ERROR_FILE_NOT_FOUND;
    return kInvalidHandle;
}

bool SimMachine::deviceIoControl(Handle, uint32_t, void*, uint32_t, void*, uint32_t, uint32_t*) {
    lastError_ = win::ERROR_INVALID_HANDLE;
    return false;
}

bool SimMachine::closeHandle(Handle) {
    lastError_ = win::ERROR_INVALID_HANDLE;
    return false;
}

uint32_t SimMachine::getLastError() { return lastError_; }

int SimMachine::messageBox(const std::u16string& text, const std::u16string& caption,
                           uint32_t type) {
    messageBoxShown = ShownMessageBox{text, caption, type};
    // A simulated run must never block: the box goes to standard error instead.
    std::string shown = "[message box] " + toConsoleBytes(caption) + "\n" + toConsoleBytes(text);
    std::fputs(shown.c_str(), stderr);
    std::fputs("\n", stderr);
    return win::IDOK;
}

std::uintptr_t SimMachine::getModuleHandle() { return moduleHandleFails ? 0 : 0x140000000u; }

std::u16string SimMachine::getCommandLine() { return commandLine; }

bool SimMachine::frameworkStartup(std::uintptr_t, const std::u16string&, int) {
    return !frameworkStartupFails;
}

LocalTime SimMachine::localTime() { return clock; }

} // namespace qir::sim
