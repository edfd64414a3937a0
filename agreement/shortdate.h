#pragma once

#include <QDate>
#include <QLocale>
#include <QString>

// A locale's short date form: the form spreadsheets export dates in, and the form an earlier
// version stored the agreement date in, with the year always written in four digits so that
// reading it back never moved it a century.
namespace ShortDate
{

// The locale's short format with any two-digit year widened to four ("M/d/yy" -> "M/d/yyyy").
QString storedFormat(const QLocale& locale);

QString toText(QDate date, const QLocale& locale);

// Reads the stored form; also the locale's own two-digit-year form, whose years 00-29 are
// taken as 2000-2029 and 30-99 as 1930-1999. An invalid QDate when neither fits.
QDate fromText(const QString& text, const QLocale& locale);

// What fromText() would make of the text if day and month traded places in the locale's
// format: the reading of a locale with the other order ("12/10/2026" is 10 December in one,
// 12 October in the other). An invalid QDate when it does not read so, and for year-first
// formats and named months, whose order no common locale turns round.
QDate fromTextDayMonthSwapped(const QString& text, const QLocale& locale);

} // namespace ShortDate
