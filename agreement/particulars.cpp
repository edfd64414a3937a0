#include "agreement/particulars.h"

#include "agreement/currency.h"

namespace agreement
{

std::optional<Field> fieldNamed(QStringView name)
{
    for (const Particular& p : kParticulars) {
        if (name.compare(QLatin1String(p.key), Qt::CaseInsensitive) == 0 ||
            name.compare(QLatin1String(p.plain), Qt::CaseInsensitive) == 0)
            return p.field;
    }
    return std::nullopt;
}

QString matchingName(QStringView name)
{
    QString out;
    out.reserve(name.size());
    for (const QChar c : name)
        if (!c.isSpace())
            out.append(c);
    return out.toCaseFolded();
}

Particulars example(QDate today, const QLocale& locale)
{
    Particulars out;
    for (const Particular& p : kParticulars) {
        switch (p.kind) {
        case Kind::Date:
            out.agreementDate = today;
            break;
        case Kind::Amount:
            out[p.field] = Currency::format(QString::fromUtf8(p.sample).toDouble(), locale);
            break;
        case Kind::Line:
        case Kind::Lines:
            out[p.field] = QString::fromUtf8(p.sample);
            break;
        }
    }
    return out;
}

QString dateText(QDate date)
{
    return date.toString(QLatin1String(kDateFormat));
}

} // namespace agreement
