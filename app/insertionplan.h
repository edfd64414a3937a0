#pragma once

#include <QDate>
#include <QLocale>
#include <QString>

#include <array>
#include <cstdint>

// The twelve texts typed into the template, each at a base position of the untouched
// template; a base shifts by everything typed before it.
namespace InsertionPlan
{

inline constexpr std::array<int, 12> kBases = {141, 148, 164, 201, 436, 456, 566, 638, 655, 661, 669, 687};

// " 5th " for 5 June; the ordinal comes from fnDay.
QString dayText(const QDate& date);
// " June, 2021": the full month name in the locale's language and every digit of the year.
QString monthText(const QDate& date, const QLocale& locale);

// The error-report line numbers of insertion k (0-based): where its position is computed,
// where the running length grows, and the three automation calls that type it.
struct Lines {
    int position;
    int runningLength;
    int select;
    int selection;
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
