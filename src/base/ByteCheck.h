#pragma once

#include <cstdint>
#include <string_view>

// A 64-bit check of bytes (FNV-1a), carried on from a check of the bytes before them.
constexpr std::uint64_t byteCheckStart = 14695981039346656037u;
constexpr std::uint64_t byteCheck(std::string_view bytes, std::uint64_t check = byteCheckStart)
{
    for (const char c : bytes)
        check = (check ^ static_cast<unsigned char>(c)) * 1099511628211u;
    return check;
}
