#pragma once

#include <QDate>
#include <QLocale>
#include <QString>

// The agreement date as every way in takes it: the forms its text is read in and the dates it
// may be. The window, a client list and the command line all keep to this one range, so that
// an agreement made any way opens in the window as it was made.
namespace AgreementDate
{

// The date picker's range (a Windows date picker's, 1601 to 9999).
QDate first();
QDate last();
bool inRange(QDate date);

// Whether the locale's order of day and month is known to be the writer's: a locale the user
// named is; the system's own may not be the one a file was written under.
enum class DateOrder { OfTheLocale, Unsure };

struct Reading {
    QDate date;  // what the text stands for; invalid when it is no date
    QDate other; // valid when the text stands as well for this date: then it reads two ways
};

// ISO 8601 ("2027-03-15") or the locale's short form (ShortDate::fromText). When the order is
// Unsure, a short form that reads as a date with day and month traded too reads two ways: the
// text may have been written under a locale with the other order ("03/04/2027"). The range is
// not checked.
Reading read(const QString& text, const QLocale& locale, DateOrder order);

} // namespace AgreementDate
