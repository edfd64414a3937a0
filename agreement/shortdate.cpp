#include "agreement/shortdate.h"

#include <optional>
#include <vector>

namespace ShortDate
{

namespace
{

constexpr int kTwoDigitPivot = 30; // two-digit years below it belong to the 2000s

// A run of one letter in a date format, or a quoted part (which is never a field).
struct Run {
    qsizetype begin;
    qsizetype length;
    QChar letter; // null for quoted text
};

std::vector<Run> runsOf(const QString& format)
{
    std::vector<Run> runs;
    for (qsizetype i = 0; i < format.size();) {
        if (format[i] == QLatin1Char('\'')) {
            const qsizetype close = format.indexOf(QLatin1Char('\''), i + 1);
            const qsizetype end = close < 0 ? format.size() : close + 1;
            runs.push_back({i, end - i, QChar()});
            i = end;
            continue;
        }
        qsizetype length = 1;
        while (i + length < format.size() && format[i + length] == format[i])
            ++length;
        runs.push_back({i, length, format[i]});
        i += length;
    }
    return runs;
}

QString widened(const QString& format)
{
    QString out;
    out.reserve(format.size() + 2);
    for (const Run& run : runsOf(format)) {
        if (run.letter == QLatin1Char('y') && run.length < 4)
            out += QStringLiteral("yyyy");
        else
            out += format.mid(run.begin, run.length);
    }
    return out;
}

QDate readWith(const QString& text, const QLocale& locale, const QString& shortFormat)
{
    const QString trimmed = text.trimmed();
    const QString fullFormat = widened(shortFormat);
    const QDate full = locale.toDate(trimmed, fullFormat);
    if (full.isValid() || shortFormat == fullFormat)
        return full;
    // Qt reads a two-digit year as 19yy.
    const QDate twoDigit = locale.toDate(trimmed, shortFormat);
    if (!twoDigit.isValid())
        return QDate();
    const int yy = twoDigit.year() % 100;
    return twoDigit.addYears((yy < kTwoDigitPivot ? 2000 : 1900) + yy - twoDigit.year());
}

// The format with its numeric day and month fields exchanged; empty when it has no such pair
// or puts the year first.
QString dayMonthSwapped(const QString& format)
{
    const std::vector<Run> runs = runsOf(format);
    std::optional<std::size_t> day;
    std::optional<std::size_t> month;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const QChar letter = runs[i].letter;
        if (letter == QLatin1Char('y') && !day && !month)
            return QString();
        if (letter != QLatin1Char('d') && letter != QLatin1Char('M'))
            continue;
        std::optional<std::size_t>& field = letter == QLatin1Char('d') ? day : month;
        if (field || runs[i].length > 2)
            return QString(); // a name of the day or month, or a second field
        field = i;
    }
    if (!day || !month)
        return QString();
    QString out;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const Run& taken = runs[i == *day ? *month : i == *month ? *day : i];
        out += format.mid(taken.begin, taken.length);
    }
    return out;
}

} // namespace

QString storedFormat(const QLocale& locale)
{
    return widened(locale.dateFormat(QLocale::ShortFormat));
}

QString toText(QDate date, const QLocale& locale)
{
    return locale.toString(date, storedFormat(locale));
}

QDate fromText(const QString& text, const QLocale& locale)
{
    return readWith(text, locale, locale.dateFormat(QLocale::ShortFormat));
}

QDate fromTextDayMonthSwapped(const QString& text, const QLocale& locale)
{
    const QString swapped = dayMonthSwapped(locale.dateFormat(QLocale::ShortFormat));
    return swapped.isEmpty() ? QDate() : readWith(text, locale, swapped);
}

} // namespace ShortDate
