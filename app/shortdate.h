#pragma once

#include <QDate>
#include <QLocale>
#include <QString>

// The stored form of the agreement date: the locale's short date format with the year
// always written in four digits, so that reading it back never moves it a century.
namespace ShortDate
{

// The locale's short format with any two-digit year widened to four ("M/d/yy" -> "M/d/yyyy").
QString storedFormat(const QLocale& locale);

QString toText(QDate date, const QLocale& locale);

// Reads the stored form; also the locale's own two-digit-year form, whose years 00-29 are
// taken as 2000-2029 and 30-99 as 1930-1999. An invalid QDate when neither fits.
QDate fromText(const QString& text, const QLocale& locale);

} // namespace ShortDate
