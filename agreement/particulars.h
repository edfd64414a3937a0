#pragma once

#include <QDate>
#include <QString>

#include <array>
#include <optional>
#include <string_view>

// The settings keys of the seven agreement particulars, equal to their controls' names.
namespace SettingsKey
{
inline constexpr char dtpAgreementDate[] = "dtpAgreementDate";
inline constexpr char txtContractor[] = "txtContractor";
inline constexpr char txtOwnerName[] = "txtOwnerName";
inline constexpr char txtLocation[] = "txtLocation";
inline constexpr char txtWorkPerformed[] = "txtWorkPerformed";
inline constexpr char txtContractPrice[] = "txtContractPrice";
inline constexpr char txtPaymentProgress[] = "txtPaymentProgress";
} // namespace SettingsKey

namespace agreement
{

// One agreement's particulars as the form shows them: line breaks as '\n', the price as its
// shown text.
struct Particulars {
    QDate agreementDate;
    QString contractor;
    QString owner;
    QString location;
    QString workPerformed;
    QString contractPrice;
    QString paymentProgress;

    friend bool operator==(const Particulars&, const Particulars&) = default;
};

enum class Field {
    AgreementDate,
    Contractor,
    Owner,
    Location,
    WorkPerformed,
    ContractPrice,
    PaymentProgress
};

// Each particular's settings key and its plain name, which the command line's options, the
// columns of a client list and the lines of a read agreement are named by.
struct FieldName {
    Field field;
    const char* key;
    const char* plain;
};
inline constexpr std::array<FieldName, 7> kFields{{
    {Field::AgreementDate, SettingsKey::dtpAgreementDate, "date"},
    {Field::Contractor, SettingsKey::txtContractor, "contractor"},
    {Field::Owner, SettingsKey::txtOwnerName, "owner"},
    {Field::Location, SettingsKey::txtLocation, "location"},
    {Field::WorkPerformed, SettingsKey::txtWorkPerformed, "work"},
    {Field::ContractPrice, SettingsKey::txtContractPrice, "price"},
    {Field::PaymentProgress, SettingsKey::txtPaymentProgress, "payments"},
}};
// The signing date, which the form does not hold: the day the agreement is made.
inline constexpr char kSigningDateName[] = "signed";

// The field a settings key or plain name stands for, compared without regard to case.
std::optional<Field> fieldNamed(QStringView name);
const char* plainName(Field field);

// A text particular's value; the date is no text.
QString& text(Particulars& particulars, Field field);
const QString& text(const Particulars& particulars, Field field);

// Dates are written as ISO 8601 ("2027-03-15"), which every locale reads alike.
inline constexpr char kDateFormat[] = "yyyy-MM-dd";
QString dateText(QDate date);

} // namespace agreement
