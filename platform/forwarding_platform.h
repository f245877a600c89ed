// A platform that hands every call to another one: the base of a decorator that changes
// or watches a few calls and lets the rest through unchanged.
#pragma once

#include "platform/platform.h"

namespace qir::platform {

// Each call of the interface (named as its method), as a watcher that only notes calls
// sees it.
enum class PlatformCall {
    getClassDevs,
    enumDeviceInfo,
    enumDeviceInterfaces,
    getDeviceInterfaceDetail,
    getDeviceRegistryProperty,
    getDeviceProperty,
    destroyDeviceInfoList,
    createFile,
    deviceIoControl,
    closeHandle,
    getLastError,
    messageBox,
    getModuleHandle,
    getCommandLine,
    frameworkStartup,
    localTime,
    takeLock,
    releaseLock,
    getSystemPowerStatus,
};

class ForwardingPlatform : public Platform {
  public:
    explicit ForwardingPlatform(Platform& inner) : inner_(inner) {}

    QIR_PLATFORM_OVERRIDES;

  protected:
    Platform& inner() { return inner_; }
    // Called by each call passed on here, before it goes to the inner platform: a watcher
    // that counts or times calls overrides this alone, and a call added to the interface
    // reaches it without a change to the watcher.
    virtual void noted(PlatformCall) {}

  private:
    Platform& inner_;
};

} // namespace qir::platform
