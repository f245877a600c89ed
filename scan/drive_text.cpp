#include "scan/drive_text.h"

#include <cstdio>

#include "app/log_file.h"
#include "capture/hex_text.h"
#include "platform/text_encoding.h"

namespace qir::scan {

std::string escapedText(const std::u16string& text) {
    std::string escaped;
    for (char16_t c : text) {
        if (c == u'\\') {
            escaped += "\\\\";
        } else if (c >= 0x20 && c < 0x7F) {
            escaped += static_cast<char>(c);
        } else {
            char byte[8];
            std::snprintf(byte, sizeof byte, "\\x%02X", static_cast<unsigned>(c & 0xFF));
            escaped += byte;
        }
    }
    return escaped;
}

std::string rawBytesHex(const std::u16string& text) {
    const std::string bytes = narrowLowBytes(text);
    return capture::hexOf(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

namespace {

struct StackNames {
    DriverKind kind;
    const char* text;
    const char* key;
};

const StackNames kStacks[] = {
    {InboxNvme, "inbox", "inbox"},
    {RstRaid, "IRST RAID member", "irst_raid_member"},
    {RstNonRaid, "IRST pass-through", "irst_pass_through"},
    {VrocRaid, "VROC RAID member", "vroc_raid_member"},
    {VrocNonRaid, "VROC non-RAID", "vroc_non_raid"},
};

const StackNames* stackOf(DriverKind kind) {
    for (const StackNames& stack : kStacks)
        if (stack.kind == kind)
            return &stack;
    return nullptr;
}

} // namespace

std::string stackText(DriverKind kind) {
    const StackNames* stack = stackOf(kind);
    return stack ? stack->text : "unknown";
}

std::string stackKey(DriverKind kind) {
    const StackNames* stack = stackOf(kind);
    return stack ? stack->key : "unknown";
}

std::string addressText(const TargetDisk& disk) {
    const std::string path = text::toUtf8(disk.devicePath);
    switch (disk.driverKind) {
    case RstRaid:
    case RstNonRaid:
        return "path id " + std::to_string(disk.pathId) + " on " + path;
    case VrocRaid:
    case VrocNonRaid:
        return "VROC disk id " + std::to_string(disk.vrocDiskId);
    default:
        return path;
    }
}

std::string verdictText(const ScannedDrive& drive, const std::u16string& imageRevision) {
    switch (drive.verdict) {
    case Verdict::WillBeUpdated:
        return "will be updated to " + escapedText(imageRevision);
    case Verdict::AlreadyCurrent:
        return "already runs " + escapedText(imageRevision);
    case Verdict::WouldBeRefused:
        return "eligible but would be refused: " + drive.reason;
    case Verdict::RestartPending:
        return "the new firmware is written and becomes active with the next restart";
    case Verdict::NotEligible:
        break;
    }
    return "not eligible (revision " + escapedText(drive.disk.firmwareRevision) + ")";
}

std::string verdictKey(Verdict verdict) {
    switch (verdict) {
    case Verdict::WillBeUpdated:
        return "will_be_updated";
    case Verdict::AlreadyCurrent:
        return "already_current";
    case Verdict::WouldBeRefused:
        return "would_be_refused";
    case Verdict::RestartPending:
        return "restart_pending";
    case Verdict::NotEligible:
        break;
    }
    return "not_eligible";
}

} // namespace qir::scan
