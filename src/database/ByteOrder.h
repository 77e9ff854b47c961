#pragma once

// Fixed-width little-endian integers, as every file the program keeps stores them.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

// The file's byte order is that of a little-endian machine, which copies a whole
// field at once; any other machine takes it apart byte by byte.
constexpr bool littleEndianHost = std::endian::native == std::endian::little;

// Writes the low bytes of value, least significant first, and returns their end.
inline char* putLittleEndian(char* out, std::uint64_t value, std::size_t bytes)
{
    if constexpr (littleEndianHost) {
        std::memcpy(out, &value, bytes);
    } else {
        for (std::size_t i = 0; i < bytes; ++i)
            out[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
    return out + bytes;
}

inline std::uint64_t getLittleEndian(const char* in, std::size_t bytes)
{
    std::uint64_t value = 0;
    if constexpr (littleEndianHost) {
        std::memcpy(&value, in, bytes);
    } else {
        for (std::size_t i = bytes; i > 0; --i)
            value = (value << 8) | static_cast<unsigned char>(in[i - 1]);
    }
    return value;
}
