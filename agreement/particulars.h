#pragma once

#include <QDate>
#include <QList>
#include <QLocale>
#include <QString>
#include <QStringList>

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

namespace agreement
{

// The particulars of an agreement, in the form's order, which is also its keyboard order.
enum class Field {
    AgreementDate,
    Contractor,
    Owner,
    Location,
    WorkPerformed,
    ContractPrice,
    PaymentProgress
};

// What a particular holds and how it is typed: a date picker, an amount checked and shown in the
// locale's currency, one line, or several lines.
enum class Kind { Date, Amount, Line, Lines };

// How a particular stands in the filled agreement, which reading it back undoes: as its day and
// month texts, behind a space of its own (so never empty there), or as typed.
enum class Typing { DayAndMonth, AfterSpace, AsTyped };

// Where the form shows a particular, in twips inside its frame; its caption stands at
// captionLeft, level with the text inside the control.
struct Place {
    int left;
    int top;
    int width;
    int height;
    int captionLeft;
};

struct Particular {
    Field field;
    // The settings key, equal to the control's name.
    const char* key;
    // What the command line's options, a client list's columns and a read agreement's lines call it.
    const char* plain;
    const char* caption;
    Kind kind;
    // The example agreement's value; an amount's is its number, and the date's is today.
    const char* sample;
    Typing typing;
    Place place;
};

// Every particular, in Field's order. Adding one is adding its row here and its Field above.
inline constexpr std::array<Particular, 7> kParticulars{{
    {Field::AgreementDate,
     "dtpAgreementDate",
     "date",
     "Agreement Date:",
     Kind::Date,
     "",
     Typing::DayAndMonth,
     {2025, 300, 1515, 345, 240}},
    {Field::Contractor,
     "txtContractor",
     "contractor",
     "Contractor's Name:",
     Kind::Line,
     "Corwin Ashdale Jr.",
     Typing::AfterSpace,
     {2025, 750, 6015, 345, 240}},
    {Field::Owner,
     "txtOwnerName",
     "owner",
     "Owner's Name:",
     Kind::Line,
     "Tobias Quenby",
     Typing::AfterSpace,
     {2025, 1200, 6015, 345, 240}},
    {Field::Location,
     "txtLocation",
     "location",
     "Location:",
     Kind::Line,
     "Birchwood st",
     Typing::AfterSpace,
     {2025, 1650, 6015, 345, 240}},
    {Field::WorkPerformed,
     "txtWorkPerformed",
     "work",
     " Work Performed:",
     Kind::Lines,
     "Build a tree house",
     Typing::AsTyped,
     {2025, 2100, 6015, 1635, 200}},
    {Field::ContractPrice,
     "txtContractPrice",
     "price",
     "Contract Price:",
     Kind::Amount,
     "74",
     Typing::AsTyped,
     {2025, 3840, 6015, 345, 240}},
    {Field::PaymentProgress,
     "txtPaymentProgress",
     "payments",
     "Progress Payments:",
     Kind::Lines,
     "One half would be payed before work start, and rest after work is finished.",
     Typing::AsTyped,
     {2025, 4275, 6015, 1095, 240}},
}};
inline constexpr std::size_t kFieldCount = kParticulars.size();

constexpr std::size_t indexOf(Field field)
{
    return static_cast<std::size_t>(field);
}
constexpr const Particular& particular(Field field)
{
    return kParticulars[indexOf(field)];
}
constexpr const char* key(Field field)
{
    return particular(field).key;
}
constexpr const char* plainName(Field field)
{
    return particular(field).plain;
}

// Rows in Field's order, and one date, the agreement's: Particulars holds no other.
constexpr bool soundTable()
{
    for (std::size_t i = 0; i < kFieldCount; ++i) {
        if (indexOf(kParticulars[i].field) != i ||
            (kParticulars[i].kind == Kind::Date) != (kParticulars[i].field == Field::AgreementDate))
            return false;
    }
    return true;
}
static_assert(soundTable());

// The signing date, which the form does not hold: the day the agreement is made.
inline constexpr char kSigningDateName[] = "signed";

// A particular of the user's own template beyond the table's: free text under the template's name for it.
struct Extra {
    QString name;
    QString value;

    friend bool operator==(const Extra&, const Extra&) = default;
};

// One agreement's particulars as the form shows them: line breaks as '\n', the price as its
// shown text. The date is a date; every other particular is its text, by Field.
struct Particulars {
    QDate agreementDate;
    std::array<QString, kFieldCount> texts; // the date's is unused
    QList<Extra> extras;                    // in the template's order

    QString& operator[](Field field) { return texts[indexOf(field)]; }
    const QString& operator[](Field field) const { return texts[indexOf(field)]; }

    friend bool operator==(const Particulars&, const Particulars&) = default;
};

// The field a settings key or plain name stands for, compared without regard to case.
std::optional<Field> fieldNamed(QStringView name);

// A name as a template's tags and extra particulars are compared: without spaces and without
// regard to case.
QString matchingName(QStringView name);

// What a template asks to be given: which of the table's particulars, and its own by name.
struct Wanted {
    std::array<bool, kFieldCount> fields{};
    QStringList extras;

    // The standard template's: every particular of the table.
    static Wanted everyField()
    {
        Wanted all;
        all.fields.fill(true);
        return all;
    }
};

// The example agreement, dated today, its amounts in the locale's currency.
Particulars example(QDate today, const QLocale& locale);

// Dates are written as ISO 8601 ("2027-03-15"), which every locale reads alike.
inline constexpr char kDateFormat[] = "yyyy-MM-dd";
QString dateText(QDate date);

} // namespace agreement
