// A platform whose every answer comes from a byte string: which call fails and with
// what error, every reply byte, every count. The fuzzers run the real core on it, so a
// parser that trusts a driver reply too far is reached through the code that uses it.
//
// The platform itself is strict about the rules a real system enforces silently: it
// never writes past the buffer size it was handed, and it aborts the run when the core
// closes something twice, uses something it already closed, or leaves a handle or a
// device information set open at the end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace qir::fuzz {

// Reads decisions from the input front to back; past the end every read gives 0 and
// the platform answers as a machine with nothing more to offer would.
class InputReader {
  public:
    InputReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool exhausted() const { return pos_ >= size_; }
    uint8_t byte();
    uint16_t u16();
    uint32_t u32();
    // Copies up to n input bytes into out, zero-filling what the input cannot supply.
    void bytes(uint8_t* out, size_t n);
    size_t consumed() const { return pos_; }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

// Bounds that keep one run short whatever the input says.
inline constexpr uint32_t kMaxDevicesPerSet = 6;
inline constexpr uint32_t kMaxPropertyBytes = 1024;
inline constexpr uint32_t kMaxRepeat = 2048;

class FuzzPlatform : public platform::Platform {
  public:
    FuzzPlatform(const uint8_t* data, size_t size) : in_(data, size) {}

    // Aborts when a handle or a device information set is still open.
    void finishRun();

    size_t openHandleCount() const { return handles_.size(); }
    size_t openSetCount() const { return sets_.size(); }
    uint64_t callCount() const { return calls_; }

    QIR_PLATFORM_OVERRIDES;

  private:
    static constexpr platform::Handle kLockHandle = 0x7000;
    struct DeviceSet {
        uint32_t deviceCount = 0;
        std::vector<uint32_t> devInst;
    };
    // A property value is drawn once and then answered the same way on every later
    // ask, as SetupAPI would; only the first answer may misstate the size.
    struct Value {
        std::vector<uint8_t> bytes;
        bool failsWithError = false;
        uint32_t error = 0;
        bool firstAskDone = false;
        bool firstAskLies = false;
        uint32_t firstAskSize = 0;
    };

    uint32_t drawError();
    bool fail(uint32_t error);
    DeviceSet& liveSet(platform::DevInfoSet set, const char* call);
    Value drawString(const char* const* dictionary, size_t count, bool multiString);
    bool answerValue(Value& value, uint8_t* buffer, uint32_t bufferSize, uint32_t* requiredSize);
    void fillReply(uint32_t controlCode, uint8_t* buf, uint32_t size);
    void patchReply(uint8_t* buf, uint32_t size);

    InputReader in_;
    uint32_t lastError_ = 0;
    uint64_t calls_ = 0;
    platform::DevInfoSet nextSet_ = 0x1000;
    platform::Handle nextHandle_ = 0x100;
    std::map<platform::DevInfoSet, DeviceSet> sets_;
    std::set<platform::Handle> handles_;
    std::set<platform::DevInfoSet> closedSets_;
    std::set<platform::Handle> closedHandles_;
    std::map<std::pair<platform::DevInfoSet, uint64_t>, Value> values_;
    std::map<std::pair<platform::DevInfoSet, uint32_t>, Value> paths_;
    uint32_t repeatCode_ = 0;
    uint32_t repeatLeft_ = 0;
};

// A console sink that drops everything: fuzz runs print a great deal.
void discardConsoleOutput();

// What a fuzz target does before its first input, once per process: drops the console's
// output and runs `setUp` (nothing more when it is null).
void prepareOnce(void (*setUp)() = nullptr);

} // namespace qir::fuzz
