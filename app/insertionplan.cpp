#include "app/insertionplan.h"

#include "shell/errorreport.h"

#include <limits>

std::int16_t Counter16::add(int a, int b)
{
    const long long sum = static_cast<long long>(a) + b;
    if (sum > std::numeric_limits<std::int16_t>::max() || sum < std::numeric_limits<std::int16_t>::min())
        throw StepFailure(QStringLiteral("Overflow"));
    return static_cast<std::int16_t>(sum);
}
