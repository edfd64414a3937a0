#include "app/shortdate.h"

namespace ShortDate
{

namespace
{

constexpr int kTwoDigitPivot = 30; // two-digit years below it belong to the 2000s

} // namespace

QString storedFormat(const QLocale& locale)
{
    const QString format = locale.dateFormat(QLocale::ShortFormat);
    QString out;
    out.reserve(format.size() + 2);
    bool quoted = false;
    for (qsizetype i = 0; i < format.size();) {
        const QChar c = format[i];
        if (c == QLatin1Char('\'')) {
            quoted = !quoted;
            out += c;
            ++i;
            continue;
        }
        qsizetype run = 1;
        while (i + run < format.size() && format[i + run] == c)
            ++run;
        if (!quoted && c == QLatin1Char('y') && run < 4)
            out += QStringLiteral("yyyy");
        else
            out += format.mid(i, run);
        i += run;
    }
    return out;
}

QString toText(QDate date, const QLocale& locale)
{
    return locale.toString(date, storedFormat(locale));
}

QDate fromText(const QString& text, const QLocale& locale)
{
    const QString trimmed = text.trimmed();
    const QDate full = locale.toDate(trimmed, storedFormat(locale));
    if (full.isValid())
        return full;
    const QString shortFormat = locale.dateFormat(QLocale::ShortFormat);
    if (shortFormat == storedFormat(locale))
        return QDate();
    // Qt reads a two-digit year as 19yy.
    const QDate twoDigit = locale.toDate(trimmed, shortFormat);
    if (!twoDigit.isValid())
        return QDate();
    const int yy = twoDigit.year() % 100;
    return twoDigit.addYears((yy < kTwoDigitPivot ? 2000 : 1900) + yy - twoDigit.year());
}

} // namespace ShortDate
