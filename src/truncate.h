#pragma once

#include <cstdint>
#include <limits>

// A float position converted to whole pixels, truncated toward zero (12.99 is
// 12, -3.7 is -3). Positions beyond the 32-bit range (something that has
// flown very far off screen after a long stall) saturate instead of
// overflowing, and NaN gives 0.
inline int32_t truncateToInt32(float value) {
    constexpr float lowest = static_cast<float>(std::numeric_limits<int32_t>::min());
    constexpr float highest = static_cast<float>(std::numeric_limits<int32_t>::max());
    if (!(value > lowest)) {
        return value != value ? 0 : std::numeric_limits<int32_t>::min();
    }
    if (value >= highest) {
        return std::numeric_limits<int32_t>::max();
    }
    return static_cast<int32_t>(value);
}
