#include "insertionplan.h"

#include "errorreport.h"
#include "ordinal.h"

#include <limits>

namespace InsertionPlan {

QString dayText(const QDate& date)
{
    return QLatin1Char(' ') + fnDay(QString::number(date.day())) + QLatin1Char(' ');
}

QString monthText(const QDate& date, const QLocale& locale)
{
    return QLatin1Char(' ') + locale.standaloneMonthName(date.month(), QLocale::LongFormat) + QStringLiteral(", ") +
           QString::number(date.year());
}

std::array<QString, 12> texts(const Particulars& p, const QDate& signingDate, const QLocale& locale)
{
    const QString space(QLatin1Char(' '));
    return {dayText(p.agreementDate),
            monthText(p.agreementDate, locale),
            space + p.contractor,
            space + p.owner,
            space + p.location,
            p.workPerformed,
            p.contractPrice,
            p.paymentProgress,
            dayText(signingDate),
            monthText(signingDate, locale),
            space + p.owner,
            space + p.contractor};
}

} // namespace InsertionPlan

std::int16_t Counter16::add(int a, int b)
{
    const long long sum = static_cast<long long>(a) + b;
    if (sum > std::numeric_limits<std::int16_t>::max() || sum < std::numeric_limits<std::int16_t>::min())
        throw StepFailure(QStringLiteral("Overflow"));
    return static_cast<std::int16_t>(sum);
}
