#include "app/insertionplan.h"

#include "shell/errorreport.h"

#include <limits>

namespace InsertionPlan
{

Lines lines(std::size_t k)
{
    // The first insertion resets the running length at 130 and places its text at the
    // base directly (134); the n-th insertion after it (n = k + 1, counted from 1) takes
    // lines 122 + 10n to 130 + 10n, so the twelfth ends at 250.
    if (k == 0)
        return {130, 132, 140};
    const int first = 122 + 10 * static_cast<int>(k + 1);
    return {first, first + 2, first + 8};
}

} // namespace InsertionPlan

std::int16_t Counter16::add(int a, int b)
{
    const long long sum = static_cast<long long>(a) + b;
    if (sum > std::numeric_limits<std::int16_t>::max() || sum < std::numeric_limits<std::int16_t>::min())
        throw StepFailure(QStringLiteral("Overflow"));
    return static_cast<std::int16_t>(sum);
}
