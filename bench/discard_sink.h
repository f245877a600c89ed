// Console output of the routes goes nowhere while they are measured.
#pragma once

#include "app/console.h"

namespace qir::bench {

class DiscardSink : public ByteSink {
  public:
    void write(const char*, size_t size) override { bytes += size; }
    void flush() override {}
    size_t bytes = 0;
};

} // namespace qir::bench
