// Shared pieces of the simulated machine's own tests: loading a description and
// building the requests a driver client would send, byte by byte.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "discovery/byte_io.h"
#include "platform/text_encoding.h"
#include "platform/win_constants.h"
#include "sim/machine_loader.h"
#include "sim/sim_machine.h"
#include "sim/wire_layouts.h"

namespace qir::testing {

inline std::unique_ptr<sim::SimMachine> load(const std::string& description) {
    std::string error;
    auto m = sim::loadMachine(description, &error);
    EXPECT_TRUE(m) << error;
    return m;
}

inline std::u16string u16(const std::string& s) {
    return text::fromUtf8(s);
}

inline platform::Handle openRw(sim::SimMachine& m, const std::u16string& path) {
    return m.createFile(path, win::GENERIC_READ | win::GENERIC_WRITE,
                        win::FILE_SHARE_READ | win::FILE_SHARE_WRITE, win::OPEN_EXISTING, 0);
}

struct Reply {
    bool ok = false;
    uint32_t error = 0;
    uint32_t returned = 0;
};

inline Reply call(sim::SimMachine& m, platform::Handle h, uint32_t code, std::vector<uint8_t>& buf,
                  uint32_t outSize = 0) {
    Reply r;
    uint32_t out = outSize ? outSize : static_cast<uint32_t>(buf.size());
    r.ok = m.deviceIoControl(h, code, buf.data(), static_cast<uint32_t>(buf.size()), buf.data(),
                             out, &r.returned);
    r.error = r.ok ? 0 : m.getLastError();
    return r;
}

inline void putHeader(std::vector<uint8_t>& buf, const char* signature, uint32_t controlCode,
                      uint32_t returnCode = 0) {
    putU32(buf.data(), 0, 28);
    std::memcpy(buf.data() + 4, signature, 8);
    putU32(buf.data(), 12, 30);
    putU32(buf.data(), 16, controlCode);
    putU32(buf.data(), 20, returnCode);
    putU32(buf.data(), 24, static_cast<uint32_t>(buf.size()) - 28);
}

inline uint32_t returnCode(const std::vector<uint8_t>& buf) {
    return getU32(buf.data(), 20);
}

// The inbox "FIRMWARE" request: header, FIRMWARE_REQUEST_BLOCK, data area at 52.
inline std::vector<uint8_t> firmwareRequest(uint32_t function, uint32_t pieceSize = 4096) {
    std::vector<uint8_t> buf(pieceSize + 76, 0);
    putHeader(buf, "FIRMWARE", 0x1B0780);
    putU32(buf.data(), 28, 1);
    putU32(buf.data(), 32, 24);
    putU32(buf.data(), 36, function);
    putU32(buf.data(), 40, 1);
    putU32(buf.data(), 44, 52);
    putU32(buf.data(), 48, static_cast<uint32_t>(buf.size()) - 52);
    return buf;
}

inline std::vector<uint8_t> downloadRequest(uint64_t offset, const uint8_t* data, uint32_t size,
                                            uint32_t pieceSize = 4096) {
    std::vector<uint8_t> buf = firmwareRequest(2, pieceSize);
    putU32(buf.data(), 52, 1);
    putU32(buf.data(), 56, 24);
    putU64(buf.data(), 60, offset);
    putU64(buf.data(), 68, size);
    std::memcpy(buf.data() + 76, data, size);
    return buf;
}

inline std::vector<uint8_t> activateRequest(uint8_t slot) {
    std::vector<uint8_t> buf = firmwareRequest(3);
    putU32(buf.data(), 52, 1);
    putU32(buf.data(), 56, 12);
    putU8(buf.data(), 60, slot);
    return buf;
}

// An image of `size` bytes with a recognisable pattern and the revision at 0x3020.
inline std::vector<uint8_t> testImage(const std::string& revision, uint32_t size = 2359296) {
    std::vector<uint8_t> image(size);
    for (uint32_t i = 0; i < size; ++i)
        image[i] = static_cast<uint8_t>((i * 131u) ^ (i >> 9));
    for (size_t i = 0; i < 8 && 0x3020 + i < size; ++i)
        image[0x3020 + i] = static_cast<uint8_t>(revision[i]);
    return image;
}

// Sends the whole image through the inbox driver in pieces; the first refused piece's
// ReturnCode, or 0.
inline uint32_t inboxDownload(sim::SimMachine& m, platform::Handle h,
                              const std::vector<uint8_t>& image, uint32_t piece) {
    for (uint64_t off = 0; off < image.size(); off += piece) {
        uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(piece, image.size() - off));
        std::vector<uint8_t> buf = downloadRequest(off, image.data() + off, n, piece);
        Reply r = call(m, h, 0x4D008, buf);
        EXPECT_TRUE(r.ok);
        if (returnCode(buf) != 0)
            return returnCode(buf);
    }
    return 0;
}

} // namespace qir::testing
