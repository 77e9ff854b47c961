#pragma once

#include <cstdint>
#include <string>

// The quotient of total by divisor, rounded toward zero, in plain decimal digits.
std::string renderPlain(std::uint64_t total, std::uint64_t divisor);

// The same quotient with the user's thousands separators.
std::string renderGrouped(std::uint64_t total, std::uint64_t divisor);

// The total scaled to the largest binary unit it reaches (K, M, G, T), with 2, 1 or 0
// decimals by magnitude, in the user's number format, followed by the unit letter.
std::string renderAutomatic(std::uint64_t total);
