// One simulated NVMe drive: its Identify Controller data, its firmware slots, and the
// staging area that Firmware Image Download fills and Firmware Commit consumes. Every
// driver of the machine reaches the same model, so a route that sends a wrong piece is
// refused the way a real drive refuses it, whichever stack it goes through.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qir::sim {

enum class Activation { Immediate, Reset, PowerCycle };

// What the inbox driver's get-info reply says where it departs from the drive's own
// state: each field present takes the place of what the driver would write.
struct SlotRecordBytes {
    uint8_t number = 0;
    uint8_t readOnly = 0;
};

struct GetInfoReply {
    std::optional<uint32_t> offset; // where the information starts in the request
    std::optional<uint8_t> upgradeSupport;
    std::optional<uint8_t> slotCount;
    std::optional<uint8_t> activeSlot;
    std::optional<uint8_t> pendingSlot;
    std::optional<std::vector<SlotRecordBytes>> records;
};

struct DriveConfig {
    std::string id;
    uint16_t vendorId = 0x1D7A;
    std::string serial = "SIM0000000000001";
    std::string model = "KORVANE TX7Q3 1TB";
    uint8_t versionMajor = 1;
    uint8_t versionMinor = 3;
    uint8_t versionTertiary = 0;
    uint8_t fwug = 0;
    std::optional<uint8_t> frmw;
    int slotCount = 1;
    bool slot1ReadOnly = false;
    std::vector<std::string> revisions; // per slot, index 0 = slot 1
    int activeSlot = 1;
    bool upgradeSupport = true;
    uint32_t imageSize = 2359296;
    Activation activation = Activation::Reset;
    bool detectOverlap = false;
    std::vector<std::pair<uint32_t, std::vector<uint8_t>>> identifyBytes;
    GetInfoReply getInfo;
    // What a drive carries from an earlier run: the slot waiting for activation (0:
    // none), each slot's image digest, and the pieces staged but not committed.
    int pendingSlot = 0;
    std::vector<std::string> digests;
    std::vector<std::pair<uint64_t, uint64_t>> staged; // [begin, end)
};

// An NVMe completion status: type, code and the Do Not Retry bit.
struct NvmeStatus {
    uint8_t type = 0;
    uint8_t code = 0;
    bool doNotRetry = false;
    bool ok() const { return type == 0 && code == 0; }
    // The 15-bit status field as it stands in bits 31:17 of completion dword 3.
    uint16_t field() const {
        return static_cast<uint16_t>(code | (type << 8) | (doNotRetry ? 0x4000 : 0));
    }
};

NvmeStatus nvmeFailure(uint8_t type, uint8_t code);

// What a commit did besides its status.
enum class CommitOutcome { Refused, Stored, Pending, PendingPowerCycle, Activated };

struct CommitResult {
    NvmeStatus status;
    CommitOutcome outcome = CommitOutcome::Refused;
};

struct FirmwareSlot {
    bool readOnly = false;
    std::string revision;        // 8 bytes, or empty for an empty slot
    std::string committedDigest; // digest of the image committed to it here
};

class NvmeDrive {
  public:
    explicit NvmeDrive(DriveConfig config);

    const DriveConfig& config() const { return config_; }
    const std::string& id() const { return config_.id; }

    std::array<uint8_t, 4096> identifyController() const;
    // Firmware Image Download of `size` bytes at byte `offset`.
    NvmeStatus download(uint64_t offset, const uint8_t* data, uint64_t size);
    // Firmware Commit: slot 0 lets the drive choose; action 0..3 as NVMe defines them.
    CommitResult commit(uint8_t slot, uint8_t action);

    int slotCount() const { return static_cast<int>(slots_.size()); }
    int activeSlot() const { return activeSlot_; }
    int pendingSlot() const { return pendingSlot_; } // 0: none
    bool slotReadOnly(int slot) const;
    std::string slotRevision(int slot) const;
    std::string slotDigest(int slot) const;
    const std::string& committedDigest() const { return committedDigest_; }
    const std::vector<uint64_t>& downloadSizes() const { return downloadSizes_; }
    const std::vector<uint64_t>& downloadOffsets() const { return downloadOffsets_; }
    int commitCount() const { return commitCount_; }
    uint64_t stagedBytes() const;
    const std::vector<std::pair<uint64_t, uint64_t>>& stagedRanges() const { return stagedRanges_; }

    // Between runs (drive_events.cpp): a controller reset, and the loss of power.
    void controllerReset();
    void powerCycle();
    bool upgradeSupport() const { return config_.upgradeSupport; }
    Activation activation() const { return config_.activation; }

  private:
    bool stagedImageComplete() const;

    DriveConfig config_;
    std::vector<FirmwareSlot> slots_;
    int activeSlot_ = 1;
    int pendingSlot_ = 0;
    std::vector<uint8_t> staging_;
    std::vector<std::pair<uint64_t, uint64_t>> stagedRanges_; // [begin, end)
    std::vector<uint64_t> downloadSizes_;
    std::vector<uint64_t> downloadOffsets_;
    std::string committedDigest_;
    int commitCount_ = 0;
};

// FNV-1a 64 of the bytes, as 16 lower-case hexadecimal digits.
std::string imageDigest(const uint8_t* data, size_t size);

} // namespace qir::sim
