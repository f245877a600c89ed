// A zero-filled buffer for one driver request, and the only way the tool holds one. It is
// released on every way out of the operation that owns it, and a failed allocation is an
// ordinary result the caller tests: the buffer is then empty.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

namespace qir {

class RequestBuffer {
  public:
    RequestBuffer() = default;
    explicit RequestBuffer(size_t size) {
        // Sizes come from drivers and from SetupAPI; memory that cannot be had ends the
        // request here, and the exception goes no further.
        try {
            data_ = std::make_unique<uint8_t[]>(size);
            size_ = size;
        } catch (const std::bad_alloc&) {
            data_.reset();
        }
    }

    explicit operator bool() const { return data_ != nullptr; }
    uint8_t* data() { return data_.get(); }
    const uint8_t* data() const { return data_.get(); }
    size_t size() const { return size_; }
    void zero() {
        if (data_)
            std::memset(data_.get(), 0, size_);
    }

  private:
    std::unique_ptr<uint8_t[]> data_;
    size_t size_ = 0;
};

} // namespace qir
