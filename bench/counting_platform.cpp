#include "bench/counting_platform.h"

namespace qir::bench {

using platform::PlatformCall;

void CountingPlatform::startClock() {
    start_ = std::chrono::steady_clock::now();
    firstRequestNanos_ = -1;
}

platform::DevInfoSet CountingPlatform::getClassDevs(const platform::Guid* classGuid,
                                                    uint32_t flags) {
    if (!classGuid)
        ++counts_.allClassesSets;
    return ForwardingPlatform::getClassDevs(classGuid, flags);
}

void CountingPlatform::noted(PlatformCall call) {
    switch (call) {
    case PlatformCall::getClassDevs:
        ++counts_.deviceSets;
        return;
    case PlatformCall::enumDeviceInfo:
    case PlatformCall::enumDeviceInterfaces:
        ++counts_.setWalkSteps;
        return;
    case PlatformCall::getDeviceInterfaceDetail:
    case PlatformCall::getDeviceRegistryProperty:
    case PlatformCall::getDeviceProperty:
        ++counts_.propertyReads;
        return;
    case PlatformCall::createFile:
        ++counts_.opens;
        return;
    case PlatformCall::deviceIoControl:
        if (counts_.deviceRequests++ == 0)
            firstRequestNanos_ = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                     std::chrono::steady_clock::now() - start_)
                                     .count();
        return;
    default:
        ++counts_.other;
        return;
    }
}

} // namespace qir::bench
