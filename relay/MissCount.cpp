#include "relay/MissCount.h"

#include <cmath>
#include <limits>

std::int32_t MissCountFromLossRate(double rate)
{
    if (rate == 0.0)
        return 0;
    const double period = 100.0 / rate;
    // Not a number: nothing to drop. Beyond 32 bits: the nearest 32-bit
    // value, so the drop rule still follows the sign.
    if (std::isnan(period))
        return 0;
    if (period >= 2147483647.0)
        return std::numeric_limits<std::int32_t>::max();
    if (period <= -2147483648.0)
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(period);  // truncates toward zero
}
