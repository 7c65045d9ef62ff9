#include "SnrMeter.h"

#include <cmath>
#include <limits>

double SnrMeter::decibels() const
{
    if (count == 0 || signalPower == 0)
        return std::numeric_limits<double>::quiet_NaN();
    const double noise = errorPower - errorSum * errorSum / count;
    if (noise <= 0)
        return std::numeric_limits<double>::infinity();
    return 10 * std::log10(signalPower / noise);
}
