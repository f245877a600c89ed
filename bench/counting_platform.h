// Wraps a platform and counts what the tool asks of it, so that the cost of discovery
// can be read as calls rather than as time on a noisy machine.
#pragma once

#include <chrono>
#include <cstdint>

#include "platform/forwarding_platform.h"

namespace qir::bench {

struct PlatformCallCounts {
    uint64_t deviceSets = 0;     // getClassDevs
    uint64_t allClassesSets = 0; // getClassDevs without a class, every device in it
    uint64_t setWalkSteps = 0;   // enumDeviceInfo and enumDeviceInterfaces
    uint64_t propertyReads = 0;  // interface details, registry and device properties
    uint64_t opens = 0;          // createFile
    uint64_t deviceRequests = 0; // deviceIoControl
    uint64_t other = 0;          // closes, releases, errors, start-up and time

    uint64_t total() const {
        return deviceSets + setWalkSteps + propertyReads + opens + deviceRequests + other;
    }
};

class CountingPlatform : public platform::ForwardingPlatform {
  public:
    explicit CountingPlatform(platform::Platform& inner) : ForwardingPlatform(inner) {}

    const PlatformCallCounts& counts() const { return counts_; }
    // Starts the clock that firstDeviceRequestNanos() is read against.
    void startClock();
    // Nanoseconds from startClock() to the first deviceIoControl; -1 if none came.
    int64_t firstDeviceRequestNanos() const { return firstRequestNanos_; }

    // Only a set without a class is a set of all classes; the call itself is noted.
    platform::DevInfoSet getClassDevs(const platform::Guid* classGuid, uint32_t flags) override;

  protected:
    void noted(platform::PlatformCall call) override;

  private:
    PlatformCallCounts counts_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    int64_t firstRequestNanos_ = -1;
};

} // namespace qir::bench
