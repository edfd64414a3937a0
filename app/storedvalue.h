#pragma once

#include <QDate>
#include <QLocale>
#include <QString>

#include <optional>

// The stored forms of the agreement date and the contract price's amount, which read back as
// the same date and amount under every locale, and the reading of what an earlier version
// stored in the forms of the locale of its day.
namespace StoredValue
{

// ISO 8601: "2026-12-10".
QString dateText(QDate date);

// The ISO form; else the locale's short date as an earlier version wrote it, unless day and
// month could trade places in it: the store may have been written under a locale with the
// other order, and a guess would change the date. An invalid QDate when it cannot be read.
QDate readDate(const QString& text, const QLocale& locale);

// A plain decimal with a point and two places: "1234.50", "-5.00".
QString amountText(double amount);

// The price from the plain decimal stored beside it or, when that is missing or no plain
// decimal, from the shown currency text read under the locale, which is all an earlier
// version stored. Nothing when neither reads.
std::optional<double> readPrice(const QString& amount, const QString& shown, const QLocale& locale);

} // namespace StoredValue
