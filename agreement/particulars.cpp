#include "agreement/particulars.h"

#include <cassert>

namespace agreement
{

std::optional<Field> fieldNamed(QStringView name)
{
    for (const FieldName& f : kFields) {
        if (name.compare(QLatin1String(f.key), Qt::CaseInsensitive) == 0 ||
            name.compare(QLatin1String(f.plain), Qt::CaseInsensitive) == 0)
            return f.field;
    }
    return std::nullopt;
}

const char* plainName(Field field)
{
    return kFields[static_cast<std::size_t>(field)].plain;
}

QString& text(Particulars& particulars, Field field)
{
    return const_cast<QString&>(text(std::as_const(particulars), field));
}

const QString& text(const Particulars& particulars, Field field)
{
    switch (field) {
    case Field::Contractor:
        return particulars.contractor;
    case Field::Owner:
        return particulars.owner;
    case Field::Location:
        return particulars.location;
    case Field::WorkPerformed:
        return particulars.workPerformed;
    case Field::ContractPrice:
        return particulars.contractPrice;
    case Field::PaymentProgress:
        return particulars.paymentProgress;
    case Field::AgreementDate:
        break;
    }
    assert(!"the agreement date is no text");
    return particulars.contractor;
}

QString dateText(QDate date)
{
    return date.toString(QLatin1String(kDateFormat));
}

} // namespace agreement
