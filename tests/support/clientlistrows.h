#pragma once

#include "agreement/particulars.h"

#include <QByteArray>
#include <QByteArrayList>

#include <optional>

// Client lists for tests, built from the particulars' table so that they name every column.
namespace ClientListRows
{

// A column for each particular, by its plain name, in the table's order.
inline QByteArrayList header()
{
    QByteArrayList names;
    for (const agreement::Particular& row : agreement::kParticulars)
        names << row.plain;
    return names;
}

// A sound cell for each particular, in the header's order; field's is value when one is named.
inline QByteArrayList cells(std::optional<agreement::Field> field = {}, const QByteArray& value = {})
{
    QByteArrayList out;
    for (const agreement::Particular& row : agreement::kParticulars) {
        out << (row.field == field                    ? value
                : row.kind == agreement::Kind::Date   ? QByteArray("2027-03-15")
                : row.kind == agreement::Kind::Amount ? QByteArray("12500")
                                                      : QByteArray("A"));
    }
    return out;
}

// The 1-based number of field's cell in a row.
inline qsizetype column(agreement::Field field)
{
    return static_cast<qsizetype>(agreement::indexOf(field)) + 1;
}

} // namespace ClientListRows
