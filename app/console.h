// The four console channels. They all end in one byte sink, in program order, so that
// narrow, wide and formatted output can never overtake one another. Wide text goes out
// as UTF-8 (ASCII unchanged); numbers are decimal unless a hex manipulator switches
// the stream for the next value only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qir {

class ByteSink {
  public:
    virtual ~ByteSink() = default;
    virtual void write(const char* data, size_t size) = 0;
    virtual void flush() = 0;
};

// Standard output (in text mode on Windows, so each newline reaches a file as CR LF).
ByteSink& standardOutputSink();
// Where the channels write; nullptr restores standard output.
void setConsoleSink(ByteSink* sink);
ByteSink& consoleSink();

// Manipulators shared by both streams.
struct EndLine {};
struct HexNext {};
struct DecBase {};
inline constexpr EndLine endl{};
inline constexpr HexNext hex{};
inline constexpr DecBase dec{};

// UTF-8 form of a 16-bit string as the console shows it (pairs combined; any other
// code unit, lone surrogates included, encoded on its own).
std::string toConsoleBytes(const std::u16string& text);

class NarrowStream {
  public:
    NarrowStream& operator<<(const char* text);
    NarrowStream& operator<<(const std::string& text);
    NarrowStream& operator<<(char c);
    NarrowStream& operator<<(int32_t v) { return number(v < 0, magnitude(v)); }
    NarrowStream& operator<<(uint32_t v) { return number(false, v); }
    NarrowStream& operator<<(int64_t v) { return number(v < 0, magnitude(v)); }
    NarrowStream& operator<<(uint64_t v) { return number(false, v); }
    NarrowStream& operator<<(EndLine);
    NarrowStream& operator<<(HexNext);
    NarrowStream& operator<<(DecBase);

  private:
    static uint64_t magnitude(int64_t v) {
        return v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
    }
    NarrowStream& number(bool negative, uint64_t magnitude);
    bool hex_ = false;
};

class WideStream {
  public:
    WideStream& operator<<(const char16_t* text);
    WideStream& operator<<(const std::u16string& text);
    WideStream& operator<<(int32_t v);
    WideStream& operator<<(uint32_t v);
    WideStream& operator<<(int64_t v);
    WideStream& operator<<(uint64_t v);
    WideStream& operator<<(EndLine);
    WideStream& operator<<(HexNext);
    WideStream& operator<<(DecBase);

  private:
    NarrowStream numbers_;
};

// The narrow and the wide console stream. Their number base is reset to decimal at the
// start of each run of the main routine.
NarrowStream& narrowOut();
WideStream& wideOut();
void resetConsoleStreams();

// printf-style output with a wide and with a narrow format string. The formats the tool
// uses are ASCII; their conversions follow printf exactly.
void formattedOut(const char16_t* format, ...);
void narrowFormattedOut(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

} // namespace qir
