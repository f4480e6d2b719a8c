// Every double-to-integer step of the engine: toward zero, and 0 for a value with no
// finite result (the logarithm of 0 or of a negative number carried through).
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace varnolt {

inline std::int32_t TruncateToInt32(double value) {
    if (!std::isfinite(value)) return 0;
    // No stage produces a finite value outside this range; clamping keeps the cast defined.
    if (value >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
    if (value <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(value);
}

}  // namespace varnolt
