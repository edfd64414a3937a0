#pragma once

#include <QLocale>
#include <QString>

#include <optional>

// The contract price's money form under one locale's number and currency conventions.
namespace Currency
{

// The amount a text stands for, or nothing when it is no amount. Accepts the locale's
// currency symbol before or after the number, digit grouping, the decimal separator, a
// sign, brackets for a negative amount and blanks around each part. Empty, blank and
// non-finite texts are no amount.
std::optional<double> parse(const QString& text, const QLocale& locale);

// The amount with the locale's symbol, placement, negative style and grouping and exactly
// two decimals; never a negative zero.
QString format(double amount, const QLocale& locale);

// An amount that rounds to zero cents as zero, so that no text of it shows a negative zero.
double withoutNegativeZero(double amount);

} // namespace Currency
