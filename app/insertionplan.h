#pragma once

#include <cstddef>
#include <cstdint>

// Where "Start Creating Template" reports a failure while it types the twelve insertions.
namespace InsertionPlan
{

// The error-report line numbers of insertion k (0-based): where its position is computed,
// where the running length grows, and where its text is typed.
struct Lines {
    int position;
    int runningLength;
    int typeText;
};
Lines lines(std::size_t k);

} // namespace InsertionPlan

// A 16-bit signed counter as the position arithmetic uses it: a sum above 32,767
// (or below -32,768) fails with "Overflow" and leaves the counter as it was.
class Counter16
{
public:
    static std::int16_t add(int a, int b);
};
