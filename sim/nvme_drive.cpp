#include "sim/nvme_drive.h"

#include <algorithm>
#include <cstdio>

#include "discovery/byte_io.h"
#include "sim/wire_layouts.h"

namespace qir::sim {

using namespace wire::nvme;

NvmeStatus nvmeFailure(uint8_t type, uint8_t code) {
    // A drive marks a refused firmware command as not worth retrying; a tool that masks
    // the status field wrongly then sees a value it cannot mistake for success.
    return NvmeStatus{type, code, true};
}

std::string imageDigest(const uint8_t* data, size_t size) {
    uint64_t hash = 0xcbf29ce484222325ull;
    for (size_t i = 0; i < size; ++i) {
        hash ^= data[i];
        hash *= 0x100000001b3ull;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

namespace {

void putText(uint8_t* data, uint32_t offset, uint32_t width, const std::string& text) {
    for (uint32_t i = 0; i < width; ++i)
        data[offset + i] = i < text.size() ? static_cast<uint8_t>(text[i]) : ' ';
}

std::string padRevision(const std::string& revision) {
    if (revision.empty())
        return revision;
    std::string padded = revision.substr(0, kFrLength);
    padded.resize(kFrLength, ' ');
    return padded;
}

} // namespace

NvmeDrive::NvmeDrive(DriveConfig config) : config_(std::move(config)) {
    int count = std::clamp(config_.slotCount, 1, 7);
    slots_.resize(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        if (static_cast<size_t>(i) < config_.revisions.size())
            slots_[i].revision = padRevision(config_.revisions[i]);
    }
    slots_[0].readOnly = config_.slot1ReadOnly;
    activeSlot_ = std::clamp(config_.activeSlot, 1, count);
    for (size_t i = 0; i < config_.digests.size() && i < slots_.size(); ++i)
        slots_[i].committedDigest = config_.digests[i];
    if (config_.pendingSlot >= 1 && config_.pendingSlot <= count)
        pendingSlot_ = config_.pendingSlot;
    // The bytes of pieces staged by an earlier run are not kept, only where they lie: a
    // route sends the whole image from offset 0 before it commits, so those bytes are
    // overwritten before any commit could take them.
    for (const auto& range : config_.staged) {
        if (staging_.empty())
            staging_.assign(config_.imageSize, 0);
        stagedRanges_.push_back(range);
    }
}

bool NvmeDrive::slotReadOnly(int slot) const {
    return slot >= 1 && slot <= slotCount() && slots_[slot - 1].readOnly;
}

std::string NvmeDrive::slotRevision(int slot) const {
    return slot >= 1 && slot <= slotCount() ? slots_[slot - 1].revision : std::string();
}

std::string NvmeDrive::slotDigest(int slot) const {
    return slot >= 1 && slot <= slotCount() ? slots_[slot - 1].committedDigest : std::string();
}

std::array<uint8_t, 4096> NvmeDrive::identifyController() const {
    std::array<uint8_t, 4096> data{};
    putU16(data.data(), kVid, config_.vendorId);
    putU16(data.data(), kSsvid, config_.vendorId);
    putText(data.data(), kSn, kSnLength, config_.serial);
    putText(data.data(), kMn, kMnLength, config_.model);
    putText(data.data(), kFr, kFrLength, slots_[activeSlot_ - 1].revision);
    putU32(data.data(), kVer,
           (static_cast<uint32_t>(config_.versionMajor) << 16) |
               (static_cast<uint32_t>(config_.versionMinor) << 8) | config_.versionTertiary);
    uint8_t frmw = static_cast<uint8_t>((config_.slot1ReadOnly ? 1 : 0) | (slotCount() << 1) |
                                        (config_.activation == Activation::Immediate ? 0x10 : 0));
    data[kFrmw] = config_.frmw ? *config_.frmw : frmw;
    data[kFwug] = config_.fwug;
    for (const auto& [offset, bytes] : config_.identifyBytes)
        for (size_t i = 0; i < bytes.size() && offset + i < data.size(); ++i)
            data[offset + i] = bytes[i];
    return data;
}

NvmeStatus NvmeDrive::download(uint64_t offset, const uint8_t* data, uint64_t size) {
    downloadSizes_.push_back(size);
    downloadOffsets_.push_back(offset);
    const uint64_t imageSize = config_.imageSize;
    if (size == 0 || size % 4 != 0 || offset % 4 != 0 || offset >= imageSize ||
        size > imageSize - offset)
        return nvmeFailure(kTypeGeneric, kInvalidField);
    // FWUG 0 gives no information and 0xFF no restriction: dword alignment is all the
    // drive then asks for. Before NVMe 1.3 the byte is reserved and restricts nothing.
    bool granularityDefined =
        config_.versionMajor > 1 || (config_.versionMajor == 1 && config_.versionMinor > 2);
    if (granularityDefined && config_.fwug != 0 && config_.fwug != 0xFF) {
        uint64_t granule = uint64_t{config_.fwug} * 4096;
        bool last = offset + size == imageSize;
        if (offset % granule != 0 || (size % granule != 0 && !last))
            return nvmeFailure(kTypeGeneric, kInvalidField);
    }
    uint64_t end = offset + size;
    if (config_.detectOverlap) {
        for (const auto& [b, e] : stagedRanges_)
            if (offset < e && b < end)
                return nvmeFailure(kTypeCommandSpecific, kOverlappingRange);
    }
    if (staging_.empty())
        staging_.assign(imageSize, 0);
    std::copy(data, data + size, staging_.begin() + static_cast<std::ptrdiff_t>(offset));
    stagedRanges_.emplace_back(offset, end);
    return NvmeStatus{};
}

uint64_t NvmeDrive::stagedBytes() const {
    uint64_t total = 0;
    for (const auto& [b, e] : stagedRanges_)
        total += e - b;
    return total;
}

bool NvmeDrive::stagedImageComplete() const {
    std::vector<std::pair<uint64_t, uint64_t>> ranges = stagedRanges_;
    std::sort(ranges.begin(), ranges.end());
    uint64_t covered = 0;
    for (const auto& [b, e] : ranges) {
        if (b > covered)
            return false;
        covered = std::max(covered, e);
    }
    return covered == config_.imageSize;
}

CommitResult NvmeDrive::commit(uint8_t slot, uint8_t action) {
    ++commitCount_;
    CommitResult result;
    if (action > 3) {
        result.status = nvmeFailure(kTypeGeneric, kInvalidField);
        return result;
    }
    if (slot == 0) {
        // The drive picks the first slot that can take an image.
        slot = 1;
        while (slot <= slotCount() && slots_[slot - 1].readOnly)
            ++slot;
    }
    if (slot > slotCount() || (action != 2 && slots_[slot - 1].readOnly)) {
        result.status = nvmeFailure(kTypeCommandSpecific, kInvalidSlot);
        stagedRanges_.clear();
        staging_.clear();
        return result;
    }
    FirmwareSlot& target = slots_[slot - 1];
    if (action == 2) {
        if (target.revision.empty()) {
            result.status = nvmeFailure(kTypeCommandSpecific, kInvalidImage);
            return result;
        }
        pendingSlot_ = slot;
        result.outcome = CommitOutcome::Pending;
        return result;
    }
    bool complete = stagedImageComplete();
    if (!complete) {
        stagedRanges_.clear();
        staging_.clear();
        result.status = nvmeFailure(kTypeCommandSpecific, kInvalidImage);
        return result;
    }
    std::string revision(kFrLength, ' ');
    for (uint32_t i = 0; i < kFrLength; ++i)
        if (kRevisionOffset + i < staging_.size())
            revision[i] = static_cast<char>(staging_[kRevisionOffset + i]);
    target.revision = revision;
    target.committedDigest = imageDigest(staging_.data(), staging_.size());
    committedDigest_ = target.committedDigest;
    stagedRanges_.clear();
    staging_.clear();

    if (action == 0) {
        result.outcome = CommitOutcome::Stored;
        return result;
    }
    if (action == 3 && config_.activation == Activation::Immediate) {
        activeSlot_ = slot;
        pendingSlot_ = 0;
        result.outcome = CommitOutcome::Activated;
        return result;
    }
    pendingSlot_ = slot;
    bool powerCycle = config_.activation == Activation::PowerCycle;
    result.outcome = powerCycle ? CommitOutcome::PendingPowerCycle : CommitOutcome::Pending;
    if (action == 3) {
        // Asked to activate now, a drive that cannot says which reset it needs; the image
        // is in the slot all the same.
        result.status.type = kTypeCommandSpecific;
        result.status.code = powerCycle ? kSubsystemResetRequired : kConventionalResetRequired;
    }
    return result;
}

} // namespace qir::sim
