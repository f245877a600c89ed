// Expected request images written with plain offsets, so that a layout test compares
// every byte of a built request against numbers independent of the request catalogue.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace qir::testing {

struct ExpectedRequest {
    explicit ExpectedRequest(size_t size) : bytes(size, 0) {}

    ExpectedRequest& u8(size_t at, uint8_t v) {
        bytes.at(at) = v;
        return *this;
    }
    ExpectedRequest& u32(size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes.at(at + i) = static_cast<uint8_t>(v >> (8 * i));
        return *this;
    }
    ExpectedRequest& u64(size_t at, uint64_t v) {
        for (int i = 0; i < 8; ++i)
            bytes.at(at + i) = static_cast<uint8_t>(v >> (8 * i));
        return *this;
    }
    ExpectedRequest& text(size_t at, const std::string& s) {
        for (size_t i = 0; i < s.size(); ++i)
            bytes.at(at + i) = static_cast<uint8_t>(s[i]);
        return *this;
    }
    ExpectedRequest& fill(size_t at, size_t length, uint8_t v) {
        for (size_t i = 0; i < length; ++i)
            bytes.at(at + i) = v;
        return *this;
    }
    ExpectedRequest& copy(size_t at, const uint8_t* data, size_t length) {
        std::memcpy(&bytes.at(at), data, length);
        return *this;
    }
    // The SRB_IO_CONTROL header.
    ExpectedRequest& header(const std::string& signature, uint32_t timeout, uint32_t code,
                            uint32_t length, uint32_t returnCode = 0) {
        return u32(0, 28)
            .text(4, signature)
            .u32(12, timeout)
            .u32(16, code)
            .u32(20, returnCode)
            .u32(24, length);
    }

    std::vector<uint8_t> bytes;
};

// The first differing offset, or -1 when both are equal.
inline long firstDifference(const std::vector<uint8_t>& expected, const uint8_t* actual) {
    for (size_t i = 0; i < expected.size(); ++i)
        if (expected[i] != actual[i])
            return static_cast<long>(i);
    return -1;
}

// Builds a request as large as the expectation into a zero-filled buffer and holds it
// against the expectation byte for byte.
template <typename Build> void expectBuiltAs(const ExpectedRequest& expected, Build build) {
    std::vector<uint8_t> request(expected.bytes.size(), 0);
    build(request.data());
    EXPECT_EQ(firstDifference(expected.bytes, request.data()), -1);
}

} // namespace qir::testing
