#pragma once

#include <QLocale>
#include <QString>

#include <optional>
#include <variant>

// The contract price's money form under one locale's number and currency conventions.
namespace Currency
{

// The largest amount a price holds exactly to the cent: fifteen significant digits, all a
// double keeps of a decimal.
inline constexpr double kLargest = 9'999'999'999'999.99;

// Why a text is no amount.
enum class Refusal {
    NotAnAmount,
    Misgrouped, // a grouping mark where the locale's grouping puts none
    TooLarge,   // past kLargest once rounded to the cent
};

// The amount a text stands for. Accepts the locale's currency symbol before or after the
// number, the locale's grouping, its decimal separator, a sign, brackets for a negative
// amount and blanks around each part. Empty, blank and non-finite texts, exponents and words
// are no amount.
std::variant<double, Refusal> read(const QString& text, const QLocale& locale);

// read()'s amount, or nothing when it refuses the text.
std::optional<double> parse(const QString& text, const QLocale& locale);

// The amount with the locale's symbol, placement, negative style and grouping and exactly
// two decimals; never a negative zero.
QString format(double amount, const QLocale& locale);

// An amount that rounds to zero cents as zero, so that no text of it shows a negative zero.
double withoutNegativeZero(double amount);

} // namespace Currency
