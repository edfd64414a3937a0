#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

// The figures every benchmark prints, worked out one way for all of them.
namespace benchstats
{

// The middle value, or the mean of the two middle ones; NaN for no values.
inline double median(std::vector<double> values)
{
    if (values.empty())
        return NAN;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2.0;
}

// The nearest-rank percentile: of fewer than ten values, p90 is the largest. NaN for no values.
inline double percentile(std::vector<double> values, double fraction)
{
    if (values.empty())
        return NAN;
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<std::size_t>(std::ceil(fraction * static_cast<double>(values.size())));
    return values[std::max<std::size_t>(rank, 1) - 1];
}

} // namespace benchstats
