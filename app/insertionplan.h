#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

// Where "Start Creating Template" reports a failure while it types the insertions.
namespace InsertionPlan
{

// The error-report line numbers of insertion k (0-based): where its position is computed,
// where the running length grows, and where its text is typed.
struct Lines {
    int position;
    int runningLength;
    int typeText;
};

// The report numbers lines for twelve insertions; the steps after the typing begin at 254.
// A template with more places reports each further insertion at the twelfth's lines, so
// its steps never take the numbers of the steps after the typing.
inline constexpr std::size_t kNumberedInsertions = 12;
inline constexpr int kFirstLineAfterTyping = 254;

constexpr Lines lines(std::size_t k)
{
    // The first insertion resets the running length at 130 and places its text at the
    // base directly (134); the n-th insertion after it (n = k + 1, counted from 1) takes
    // lines 122 + 10n to 130 + 10n, so the twelfth ends at 250.
    if (k == 0)
        return {130, 132, 140};
    const int first = 122 + 10 * static_cast<int>(std::min(k, kNumberedInsertions - 1) + 1);
    return {first, first + 2, first + 8};
}
static_assert(lines(kNumberedInsertions - 1).typeText < kFirstLineAfterTyping);

} // namespace InsertionPlan

// A 16-bit signed counter as the position arithmetic uses it: a sum above 32,767
// (or below -32,768) fails with "Overflow" and leaves the counter as it was.
class Counter16
{
public:
    static std::int16_t add(int a, int b);
};
