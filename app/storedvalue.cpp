#include "app/storedvalue.h"

#include "agreement/currency.h"
#include "app/shortdate.h"

#include <cmath>

namespace StoredValue
{

namespace
{

const QString kDateFormat = QStringLiteral("yyyy-MM-dd");

// Digits with an optional minus and an optional point between digits: no grouping, no
// exponent, no blanks, so no locale can read it another way.
std::optional<double> plainDecimal(const QString& text)
{
    qsizetype i = text.startsWith(QLatin1Char('-')) ? 1 : 0;
    const auto digits = [&] {
        const qsizetype from = i;
        while (i < text.size() && text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9'))
            ++i;
        return i > from;
    };
    if (!digits())
        return std::nullopt;
    if (i < text.size() && text[i] == QLatin1Char('.')) {
        ++i;
        if (!digits())
            return std::nullopt;
    }
    bool ok = false;
    const double value = QLocale::c().toDouble(text, &ok);
    if (i != text.size() || !ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

} // namespace

QString dateText(QDate date)
{
    return date.toString(kDateFormat);
}

QDate readDate(const QString& text, const QLocale& locale)
{
    const QDate iso = QDate::fromString(text.trimmed(), kDateFormat);
    if (iso.isValid())
        return iso;
    const QDate legacy = ShortDate::fromText(text, locale);
    const QDate swapped = ShortDate::fromTextDayMonthSwapped(text, locale);
    if (swapped.isValid() && swapped != legacy)
        return QDate();
    return legacy;
}

QString amountText(double amount)
{
    return QString::number(Currency::withoutNegativeZero(amount), 'f', 2);
}

std::optional<double> readPrice(const QString& amount, const QString& shown, const QLocale& locale)
{
    if (const std::optional<double> plain = plainDecimal(amount))
        return plain;
    return Currency::parse(shown, locale);
}

} // namespace StoredValue
