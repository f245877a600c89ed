#include "sim/sim_machine.h"

#include <cstdio>
#include <cstring>

#include "app/console.h"
#include "discovery/byte_io.h"
#include "platform/text_encoding.h"
#include "platform/win_constants.h"
#include "sim/drivers.h"
#include "sim/request_kinds.h"
#include "sim/wire_layouts.h"

namespace qir::sim {

using namespace qir::platform;

namespace {

char16_t upper(char16_t c) {
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c;
}

bool sameIgnoringCase(const std::u16string& a, const std::u16string& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (upper(a[i]) != upper(b[i]))
            return false;
    return true;
}

// "\\.\PREFIX<decimal><suffix>" in any letter case; the number or -1.
long numberedPath(const std::u16string& path, const std::u16string& prefix,
                  const std::u16string& suffix) {
    if (path.size() <= prefix.size() + suffix.size())
        return -1;
    if (!sameIgnoringCase(path.substr(0, prefix.size()), prefix))
        return -1;
    if (!sameIgnoringCase(path.substr(path.size() - suffix.size()), suffix))
        return -1;
    std::u16string digits = path.substr(prefix.size(), path.size() - prefix.size() - suffix.size());
    if (digits.empty() || digits.size() > 9 || (digits.size() > 1 && digits[0] == u'0'))
        return -1;
    long n = 0;
    for (char16_t c : digits) {
        if (c < u'0' || c > u'9')
            return -1;
        n = n * 10 + (c - u'0');
    }
    return n;
}

std::string hexText(uint64_t v) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(v));
    return text;
}

} // namespace

SimDevice& IoRequest::device() const {
    return machine.devices[static_cast<size_t>(deviceIndex)];
}

void IoRequest::note(const std::string& text) {
    detail += ' ';
    // Signatures and names from the wire may hold any byte; the trace stays one line.
    for (char c : text)
        detail += (c >= 0x20 && c < 0x7F) ? c : '.';
}

void IoRequest::noteHex(const char* name, uint64_t value) {
    note(std::string(name) + "=" + hexText(value));
}

void IoRequest::noteDec(const char* name, uint64_t value) {
    note(std::string(name) + "=" + std::to_string(value));
}

SimMachine::SimMachine() = default;
SimMachine::~SimMachine() = default;

bool SimMachine::fail(uint32_t error) {
    lastError_ = error;
    return false;
}

const NvmeDrive* SimMachine::drive(const std::string& id) const {
    for (const NvmeDrive& d : drives)
        if (d.id() == id)
            return &d;
    return nullptr;
}

NvmeDrive* SimMachine::drive(const std::string& id) {
    for (NvmeDrive& d : drives)
        if (d.id() == id)
            return &d;
    return nullptr;
}

int SimMachine::requestCount(const std::string& kind) const {
    std::optional<RequestKind> named = requestKindNamed(kind);
    auto it = named ? requestCounts_.find(*named) : requestCounts_.end();
    return it == requestCounts_.end() ? 0 : it->second;
}

void SimMachine::addTrace(const std::string& line) {
    trace_.push_back("#" + std::to_string(trace_.size() + 1) + " " + line);
}

const SimFault* SimMachine::takeFault(IoRequest& r) {
    ++requestCounts_[r.kind];
    const SimFault* chosen = nullptr;
    for (SimFault& f : faults) {
        if (f.kind != r.kind)
            continue;
        if (f.path && !sameIgnoringCase(*f.path, r.file.path))
            continue;
        ++f.seen;
        if (!f.every && f.seen != f.occurrence)
            continue;
        if (f.effect == FaultEffect::Fields)
            r.fieldFaults.push_back(&f);
        else if (!chosen)
            chosen = &f;
    }
    if (chosen && (chosen->effect == FaultEffect::Kill || chosen->effect == FaultEffect::PowerCut))
        interrupt(r, chosen->effect);
    return chosen;
}

bool SimMachine::preempt(IoRequest& r, IoAnswer* answer) {
    const SimFault* f = takeFault(r);
    if (!f)
        return false;
    switch (f->effect) {
    case FaultEffect::Error:
        *answer = IoAnswer{false, f->value};
        r.note("fault=error");
        return true;
    case FaultEffect::ReturnCode:
        if (r.buf.size() >= wire::srb::kSize)
            putU32(r.buf.data(), wire::srb::kReturnCode, f->value);
        r.returned = r.outSize;
        *answer = IoAnswer{};
        r.note("fault=return_code");
        return true;
    case FaultEffect::CompletionStatus:
        if (r.buf.size() >= wire::nvme_pt::kCompletionDw3 + 4) {
            putU32(r.buf.data(), wire::srb::kReturnCode, 0);
            putU32(r.buf.data(), wire::nvme_pt::kCompletionDw3, (f->value << 17) | (1u << 16));
        }
        r.returned = r.outSize;
        *answer = IoAnswer{};
        r.note("fault=completion_status");
        return true;
    case FaultEffect::Fields:
    case FaultEffect::Kill:
    case FaultEffect::PowerCut:
        break;
    }
    return false;
}

// ---- Files -------------------------------------------------------------------------

int SimMachine::resolvePath(const std::u16string& path) const {
    for (size_t i = 0; i < devices.size(); ++i)
        if (devices[i].interfacePath && sameIgnoringCase(*devices[i].interfacePath, path))
            return static_cast<int>(i);
    long drive = numberedPath(path, u"\\\\.\\PHYSICALDRIVE", u"");
    if (drive >= 0) {
        for (size_t i = 0; i < devices.size(); ++i)
            if (devices[i].deviceClass == DeviceClass::Disk && devices[i].deviceNumber &&
                *devices[i].deviceNumber == static_cast<uint32_t>(drive))
                return static_cast<int>(i);
    }
    long port = numberedPath(path, u"\\\\.\\Scsi", u":");
    if (port >= 0) {
        for (size_t i = 0; i < devices.size(); ++i)
            if (devices[i].deviceClass == DeviceClass::ScsiPort && devices[i].scsiPort &&
                *devices[i].scsiPort == port)
                return static_cast<int>(i);
    }
    return -1;
}

Handle SimMachine::createFile(const std::u16string& path, uint32_t access, uint32_t shareMode,
                              uint32_t disposition, uint32_t flagsAndAttributes) {
    std::string line = "open path=" + text::toUtf8(path) + " access=" + hexText(access) +
                       " share=" + std::to_string(shareMode) +
                       " disposition=" + std::to_string(disposition) +
                       " flags=" + hexText(flagsAndAttributes);
    OpenFile file{path, -1, access, flagsAndAttributes};
    IoRequest probe(*this, -1, file, 0, 0, 0);
    probe.kind = RequestKind::Open;
    const SimFault* fault = takeFault(probe);
    uint32_t error = 0;
    int device = resolvePath(path);
    if (fault)
        error = fault->value;
    else if (disposition != win::OPEN_EXISTING)
        error = win::ERROR_INVALID_PARAMETER;
    else if (device < 0)
        error = win::ERROR_FILE_NOT_FOUND;
    else if (devices[static_cast<size_t>(device)].openError)
        error = devices[static_cast<size_t>(device)].openError;
    if (error) {
        addTrace(line + " -> fail err=" + std::to_string(error));
        lastError_ = error;
        return kInvalidHandle;
    }
    Handle h = nextHandle_;
    nextHandle_ += 4;
    file.device = device;
    files_.emplace(h, file);
    ++openHandles;
    addTrace(line + " -> handle=" + hexText(static_cast<uint64_t>(h)));
    lastError_ = 0;
    return h;
}

bool SimMachine::closeHandle(Handle handle) {
    auto it = files_.find(handle);
    if (it == files_.end())
        return fail(win::ERROR_INVALID_HANDLE);
    files_.erase(it);
    --openHandles;
    return true;
}

bool SimMachine::deviceIoControl(Handle handle, uint32_t controlCode, void* inBuffer,
                                 uint32_t inSize, void* outBuffer, uint32_t outSize,
                                 uint32_t* bytesReturned) {
    auto it = files_.find(handle);
    if (it == files_.end())
        return fail(win::ERROR_INVALID_HANDLE);
    const OpenFile& file = it->second;
    std::string head = "path=" + text::toUtf8(file.path) + " code=" + hexText(controlCode) +
                       " in=" + std::to_string(inSize) + " out=" + std::to_string(outSize);
    // A machine without recorded answers (any but a rebuilt one) need not name the request.
    const RecordedAnswer* recorded =
        answers.list.empty()
            ? nullptr
            : answers.take(file.path,
                           requestKindOf(controlCode, static_cast<const uint8_t*>(inBuffer),
                                         inBuffer ? inSize : 0));
    if (!bytesReturned)
        recorded = nullptr;
    auto refuse = [&](const char* why, uint32_t error) {
        if (recorded)
            return answerAsRecorded(*recorded, "call " + head, outBuffer, outSize, bytesReturned);
        addTrace("call " + head + " -> fail err=" + std::to_string(error) + " (" + why + ")");
        return fail(error);
    };
    // A synchronous call needs somewhere to put the count, and a handle opened for
    // overlapped I/O cannot be used without an OVERLAPPED structure.
    if (!bytesReturned)
        return refuse("no bytes-returned", win::ERROR_INVALID_PARAMETER);
    if (file.flags & win::FILE_FLAG_OVERLAPPED)
        return refuse("overlapped handle", win::ERROR_INVALID_PARAMETER);
    if ((inSize && !inBuffer) || (outSize && !outBuffer))
        return refuse("no buffer", win::ERROR_INVALID_PARAMETER);
    // IOCTL_SCSI_MINIPORT is defined with read and write access.
    if (controlCode == wire::kScsiMiniport &&
        (file.access & (win::GENERIC_READ | win::GENERIC_WRITE)) !=
            (win::GENERIC_READ | win::GENERIC_WRITE))
        return refuse("access", win::ERROR_ACCESS_DENIED);

    IoRequest r(*this, file.device, file, controlCode, inSize, outSize);
    r.buf.assign(std::max(inSize, outSize), 0);
    if (inSize)
        std::memcpy(r.buf.data(), inBuffer, inSize);

    IoAnswer answer{false, win::ERROR_INVALID_FUNCTION};
    const SimDevice& dev = devices[static_cast<size_t>(file.device)];
    if (controlCode == wire::kGetDeviceNumber && dev.deviceClass == DeviceClass::Disk) {
        answer = diskDeviceNumberRequest(r);
    } else {
        switch (dev.driver) {
        case DriverType::Inbox:
            answer = inboxDriverRequest(r);
            break;
        case DriverType::Rst:
            answer = rstDriverRequest(r);
            break;
        case DriverType::Vroc:
            answer =
                dev.deviceClass == DeviceClass::ScsiPort ? vrocScsiRequest(r) : vrocPortRequest(r);
            break;
        case DriverType::None:
            break;
        }
    }
    std::string line = requestKindName(r.kind) + (" " + head) + r.detail;
    if (recorded)
        return answerAsRecorded(*recorded, line, outBuffer, outSize, bytesReturned);
    if (!answer.ok) {
        *bytesReturned = 0;
        addTrace(line + " -> fail err=" + std::to_string(answer.error));
        return fail(answer.error);
    }
    uint32_t copied = std::min(r.returned, outSize);
    if (copied)
        std::memcpy(outBuffer, r.buf.data(), copied);
    *bytesReturned = copied;
    std::string tail = " -> ok returned=" + std::to_string(copied);
    if (controlCode == wire::kScsiMiniport && r.buf.size() >= wire::srb::kSize)
        tail += " rc=" + hexText(getU32(r.buf.data(), wire::srb::kReturnCode));
    addTrace(line + tail);
    lastError_ = 0;
    return true;
}

// The driver has seen the request (its faults and counts run on as in the recorded run);
// the caller gets the recorded reply instead of the driver's.
bool SimMachine::answerAsRecorded(const RecordedAnswer& a, const std::string& line, void* outBuffer,
                                  uint32_t outSize, uint32_t* bytesReturned) {
    uint32_t copied = std::min<uint32_t>(static_cast<uint32_t>(a.out.size()), outSize);
    if (copied && outBuffer)
        std::memcpy(outBuffer, a.out.data(), copied);
    *bytesReturned = outBuffer ? copied : 0;
    if (a.error) {
        addTrace(line + " -> recorded fail err=" + std::to_string(a.error));
        return fail(a.error);
    }
    addTrace(line + " -> recorded ok returned=" + std::to_string(*bytesReturned));
    lastError_ = 0;
    return true;
}

uint32_t SimMachine::getLastError() {
    return lastError_;
}

// ---- User interface and start-up ------------------------------------------------------

int SimMachine::messageBox(const std::u16string& text, const std::u16string& caption,
                           uint32_t type) {
    messageBoxShown = ShownMessageBox{text, caption, type};
    // A simulated run must never block: the box goes to standard error instead.
    std::string shown = "[message box] " + toConsoleBytes(caption) + "\n" + toConsoleBytes(text);
    std::fputs(shown.c_str(), stderr);
    std::fputs("\n", stderr);
    return win::IDOK;
}

std::uintptr_t SimMachine::getModuleHandle() {
    return moduleHandleFails ? 0 : 0x140000000u;
}

std::u16string SimMachine::getCommandLine() {
    return commandLine;
}

bool SimMachine::frameworkStartup(std::uintptr_t, const std::u16string&, int) {
    return !frameworkStartupFails;
}

LocalTime SimMachine::localTime() {
    return clock;
}

// ---- Update lock and power source -----------------------------------------------------

namespace {
// Apart from the device handles, so that taking the lock shifts no handle in a trace.
constexpr Handle kLockHandle = 0x7000;
} // namespace

LockResult SimMachine::takeLock(const std::u16string& name, Handle* lock) {
    ++lockAttempts;
    *lock = kInvalidHandle;
    if (updateRunning)
        return LockResult::HeldElsewhere;
    if (freeLockAnswer != LockResult::Taken && freeLockAnswer != LockResult::TakenOverAbandoned) {
        fail(freeLockAnswer == LockResult::NotPermitted ? win::ERROR_ACCESS_DENIED
                                                        : win::ERROR_INVALID_HANDLE);
        return freeLockAnswer == LockResult::NotPermitted ? LockResult::NotPermitted
                                                          : LockResult::Failed;
    }
    lockHeld = name;
    *lock = kLockHandle;
    return freeLockAnswer;
}

bool SimMachine::releaseLock(Handle lock) {
    if (lock != kLockHandle || !lockHeld)
        return fail(win::ERROR_INVALID_HANDLE);
    lockHeld.reset();
    // Once let go properly, the lock is no longer abandoned.
    freeLockAnswer = LockResult::Taken;
    return true;
}

bool SimMachine::getSystemPowerStatus(PowerStatus* status) {
    *status = power;
    return true;
}

} // namespace qir::sim
