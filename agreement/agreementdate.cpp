#include "agreement/agreementdate.h"

#include "agreement/particulars.h"
#include "agreement/shortdate.h"

namespace AgreementDate
{

QDate first()
{
    return QDate(1601, 1, 1);
}

QDate last()
{
    return QDate(9999, 12, 31);
}

bool inRange(QDate date)
{
    return date >= first() && date <= last();
}

Reading read(const QString& text, const QLocale& locale, DateOrder order)
{
    const QDate iso = QDate::fromString(text.trimmed(), QLatin1String(agreement::kDateFormat));
    if (iso.isValid())
        return {iso, {}};
    const QDate shortForm = ShortDate::fromText(text, locale);
    if (!shortForm.isValid() || order == DateOrder::OfTheLocale)
        return {shortForm, {}};
    const QDate swapped = ShortDate::fromTextDayMonthSwapped(text, locale);
    return {shortForm, swapped != shortForm ? swapped : QDate()};
}

} // namespace AgreementDate
