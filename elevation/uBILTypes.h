#pragma once

// What several parts of the program share: the colour type, the error the
// core throws, and the 16-bit height range its tables are indexed by.

#include <cstdint>
#include <limits>
#include <stdexcept>

using TAlphaColor = uint32_t; // 0xAARRGGBB; stored blue, green, red, alpha

// A failure that no refusal foresees (a sample file that cannot be read, an
// image that cannot be written). what() names the file and the cause.
class BILError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Tables with one entry per 16-bit height are indexed by height + offset.
constexpr int BILHeightLowest = std::numeric_limits<int16_t>::min();
constexpr int BILHeightHighest = std::numeric_limits<int16_t>::max();
constexpr int BILHeightOffset = -BILHeightLowest;
constexpr int BILHeightCount = BILHeightHighest - BILHeightLowest + 1;
