#include "app/storedvalue.h"

#include "agreement/agreementdate.h"
#include "agreement/currency.h"
#include "agreement/particulars.h"

#include <cmath>

namespace StoredValue
{

namespace
{

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
    return agreement::dateText(date);
}

QDate readDate(const QString& text, const QLocale& locale)
{
    const AgreementDate::Reading reading =
        AgreementDate::read(text, locale, AgreementDate::DateOrder::Unsure);
    return reading.other.isValid() ? QDate() : reading.date;
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
