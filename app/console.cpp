#include "app/console.h"

#include "platform/text_encoding.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace qir {

namespace {

class StdoutSink : public ByteSink {
  public:
    void write(const char* data, size_t size) override { std::fwrite(data, 1, size, stdout); }
    void flush() override { std::fflush(stdout); }
};

StdoutSink stdoutSink;
ByteSink* currentSink = &stdoutSink;
NarrowStream narrowStream;
WideStream wideStream;

void emit(const std::string& bytes) {
    currentSink->write(bytes.data(), bytes.size());
}

std::string vformat(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    int needed = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (needed <= 0)
        return std::string();
    std::vector<char> buffer(static_cast<size_t>(needed) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, args);
    return std::string(buffer.data(), static_cast<size_t>(needed));
}

} // namespace

ByteSink& standardOutputSink() {
    return stdoutSink;
}
void setConsoleSink(ByteSink* sink) {
    currentSink = sink ? sink : &stdoutSink;
}
ByteSink& consoleSink() {
    return *currentSink;
}

std::string toConsoleBytes(const std::u16string& text) {
    return text::toUtf8(text);
}

NarrowStream& NarrowStream::operator<<(const char* text) {
    emit(text);
    return *this;
}

NarrowStream& NarrowStream::operator<<(const std::string& text) {
    emit(text);
    return *this;
}

NarrowStream& NarrowStream::operator<<(char c) {
    currentSink->write(&c, 1);
    return *this;
}

NarrowStream& NarrowStream::number(bool negative, uint64_t magnitude) {
    const char* digits = "0123456789abcdef";
    unsigned base = hex_ ? 16 : 10;
    char buffer[24];
    size_t pos = sizeof buffer;
    do {
        buffer[--pos] = digits[magnitude % base];
        magnitude /= base;
    } while (magnitude != 0);
    // A hex stream shows the two's-complement bits, as a standard stream does; only a
    // decimal one carries a sign.
    if (negative && !hex_)
        buffer[--pos] = '-';
    currentSink->write(buffer + pos, sizeof buffer - pos);
    return *this;
}

NarrowStream& NarrowStream::operator<<(EndLine) {
    currentSink->write("\n", 1);
    currentSink->flush();
    return *this;
}

NarrowStream& NarrowStream::operator<<(HexNext) {
    hex_ = true;
    return *this;
}

NarrowStream& NarrowStream::operator<<(DecBase) {
    hex_ = false;
    return *this;
}

WideStream& WideStream::operator<<(const char16_t* text) {
    emit(toConsoleBytes(text));
    return *this;
}

WideStream& WideStream::operator<<(const std::u16string& text) {
    emit(toConsoleBytes(text));
    return *this;
}

WideStream& WideStream::operator<<(int32_t v) {
    numbers_ << v;
    return *this;
}
WideStream& WideStream::operator<<(uint32_t v) {
    numbers_ << v;
    return *this;
}
WideStream& WideStream::operator<<(int64_t v) {
    numbers_ << v;
    return *this;
}
WideStream& WideStream::operator<<(uint64_t v) {
    numbers_ << v;
    return *this;
}
WideStream& WideStream::operator<<(EndLine) {
    numbers_ << endl;
    return *this;
}
WideStream& WideStream::operator<<(HexNext) {
    numbers_ << hex;
    return *this;
}
WideStream& WideStream::operator<<(DecBase) {
    numbers_ << dec;
    return *this;
}

NarrowStream& narrowOut() {
    return narrowStream;
}
WideStream& wideOut() {
    return wideStream;
}

void resetConsoleStreams() {
    narrowStream << dec;
    wideStream << dec;
}

void formattedOut(const char16_t* format, ...) {
    // The tool's formats are ASCII, so the narrowed format gives the same conversions.
    std::string narrowFormat;
    for (const char16_t* p = format; *p; ++p)
        narrowFormat += static_cast<char>(*p);
    va_list args;
    va_start(args, format);
    emit(vformat(narrowFormat.c_str(), args));
    va_end(args);
}

void narrowFormattedOut(const char* format, ...) {
    va_list args;
    va_start(args, format);
    emit(vformat(format, args));
    va_end(args);
}

} // namespace qir
