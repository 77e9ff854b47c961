#pragma once

#include <string>
#include <string_view>

// Where a run's text goes: written in order, and passed on to its reader at each flush.
// A sink costs nothing to set up, where a C++ standard stream first builds every facet
// of the classic locale, a cost every run would pay.
struct TextSink {
    virtual void write(std::string_view text) = 0;
    virtual void flush() = 0;

protected:
    ~TextSink() = default;
};

// A sink that keeps the text.
struct TextBuffer final : TextSink {
    std::string text;

    void write(std::string_view more) override { text += more; }
    void flush() override {}
};
