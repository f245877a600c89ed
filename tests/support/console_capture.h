// Captures what the console channels print, from its construction to its end: the one
// console capture of every suite.
#pragma once

#include <cstddef>
#include <string>

#include "app/console.h"

namespace qir::testing {

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
    void flush() override { ++flushes; }

    // Everything printed so far; the capture starts again empty.
    std::string take() {
        std::string all;
        all.swap(text);
        return all;
    }

    std::string text;
    int flushes = 0;
};

} // namespace qir::testing
