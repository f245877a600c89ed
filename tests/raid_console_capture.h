// Captures what the console channels print during one test.
#pragma once

#include <string>

#include "app/console.h"

namespace qir::test {

class ConsoleCapture : public ByteSink {
  public:
    ConsoleCapture() {
        setConsoleSink(this);
        resetConsoleStreams();
    }
    ~ConsoleCapture() override { setConsoleSink(nullptr); }
    ConsoleCapture(const ConsoleCapture&) = delete;
    ConsoleCapture& operator=(const ConsoleCapture&) = delete;

    void write(const char* data, size_t size) override { text.append(data, size); }
    void flush() override {}

    // Everything printed so far; the capture starts again empty.
    std::string take() {
        std::string all;
        all.swap(text);
        return all;
    }

    std::string text;
};

} // namespace qir::test
