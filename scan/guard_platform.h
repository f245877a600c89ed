// The platform the scan runs on: every call goes through to the real one, except a request
// that could write firmware to a drive or make a drive take it, which is refused and
// recorded. The scan never means to send one, so a refused attempt is a bug of the tool.
// It also notes every open and request that failed, with the Windows error, for the
// scan's list of problems.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/forwarding_platform.h"

namespace qir::scan {

struct DeviceCall {
    std::u16string path; // the path opened, or the one the handle was opened with
    std::string request; // "open", or the request's name (requestName)
    uint32_t error = 0;  // the Windows error of a failure
    uint32_t controlCode = 0;
};

// The name a problem line gives a request: the control code's published name, for a
// miniport request also its signature and function or NVMe opcode.
std::string requestName(uint32_t controlCode, const void* in, uint32_t inSize);

// True when the request could download, activate or commit firmware: the inbox driver's
// and IRST's firmware requests other than get info, an NVMe pass-through (IRST or VROC)
// carrying Firmware Image Download or Firmware Commit, and the storage stack's own
// firmware and protocol-command requests. A miniport request too short to tell counts.
bool isFirmwareWriteRequest(uint32_t controlCode, const void* in, uint32_t inSize);

class GuardPlatform : public platform::ForwardingPlatform {
  public:
    // The error a refused request fails with, until the next device call.
    static constexpr uint32_t kRefusalError = 5; // ERROR_ACCESS_DENIED

    explicit GuardPlatform(platform::Platform& inner) : ForwardingPlatform(inner) {}

    const std::vector<DeviceCall>& refused() const { return refused_; }
    const std::vector<DeviceCall>& failures() const { return failures_; }

    platform::Handle createFile(const std::u16string& path, uint32_t access, uint32_t shareMode,
                                uint32_t disposition, uint32_t flagsAndAttributes) override;
    bool deviceIoControl(platform::Handle handle, uint32_t controlCode, void* inBuffer,
                         uint32_t inSize, void* outBuffer, uint32_t outSize,
                         uint32_t* bytesReturned) override;
    bool closeHandle(platform::Handle handle) override;
    uint32_t getLastError() override;

  private:
    std::map<platform::Handle, std::u16string> paths_;
    std::vector<DeviceCall> refused_;
    std::vector<DeviceCall> failures_;
    bool refusedLast_ = false;
};

} // namespace qir::scan
