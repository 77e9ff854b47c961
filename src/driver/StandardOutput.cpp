#include "driver/StandardOutput.h"

#include <cstdio>

SinkBuffer::int_type SinkBuffer::overflow(int_type byte)
{
    if (!traits_type::eq_int_type(byte, traits_type::eof())) {
        const char text = traits_type::to_char_type(byte);
        sink.write({&text, 1});
    }
    return traits_type::not_eof(byte);
}

std::streamsize SinkBuffer::xsputn(const char* text, std::streamsize size)
{
    sink.write({text, static_cast<std::size_t>(size)});
    return size;
}

int SinkBuffer::sync()
{
    sink.flush();
    return 0;
}

void StandardOutput::write(std::string_view text) { std::fwrite(text.data(), 1, text.size(), stdout); }

void StandardOutput::flush() { std::fflush(stdout); }

std::ostream& StandardOutput::stream()
{
    if (!lines) {
        buffer.emplace(*this);
        lines.emplace(&*buffer);
    }
    return *lines;
}

bool StandardOutput::finish() { return std::fflush(stdout) == 0 && !std::ferror(stdout); }
