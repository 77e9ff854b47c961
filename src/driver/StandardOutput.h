#pragma once

#include "base/TextSink.h"

#include <optional>
#include <ostream>
#include <streambuf>

// A stream buffer that hands every byte to a sink at once: a flush of its stream
// flushes the sink.
class SinkBuffer final : public std::streambuf {
public:
    explicit SinkBuffer(TextSink& sink) : sink(sink) {}

private:
    int_type overflow(int_type byte) override;
    std::streamsize xsputn(const char* text, std::streamsize size) override;
    int sync() override;

    TextSink& sink;
};

// The process's standard output: the C library's buffered stream, through which every
// byte a run prints goes. The pattern's text is written to it as it is; the help page,
// the list and the messages through a C++ stream over it, made only for a run that has
// one of them to print.
class StandardOutput final : public TextSink {
public:
    void write(std::string_view text) override;
    void flush() override;
    std::ostream& stream();
    // Flushes; whether everything written has reached the output.
    bool finish();

private:
    std::optional<SinkBuffer> buffer;
    std::optional<std::ostream> lines;
};
