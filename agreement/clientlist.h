#pragma once

#include "agreement/agreementdate.h"
#include "agreement/csvreader.h"
#include "agreement/particulars.h"

#include <QDate>
#include <QLocale>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>
#include <stdexcept>
#include <variant>

// A client list: a CSV file whose header names the particulars, one agreement per row.
namespace agreement::ClientList
{

namespace Text
{
inline constexpr char kEmpty[] = "the file holds no header row";
// %1 is the column's name.
inline constexpr char kMissingColumn[] = "no column for %1";
inline constexpr char kDuplicateColumn[] = "two columns for %1";
inline constexpr char kNoNameColumn[] = "no column named %1 to name the files by";
// %1 and %2 are counts.
inline constexpr char kFieldCount[] = "%1 fields where the header has %2";
// %1 and %2 are kExampleDate written in ISO form and in the locale's short form.
inline constexpr char kBadDate[] = "not a date of the form %1 or %2";
// %1 and %2 are the two dates the text stands for, in the form that reads one way.
inline constexpr char kTwoWayDate[] =
    "reads two ways, as %1 or %2: write the one meant in that form, or name the locale it was written in";
// %1 and %2 are the first and last date an agreement may have.
inline constexpr char kDateOutOfRange[] = "not a date from %1 to %2";
inline constexpr char kBadPrice[] = "not a valid amount";
// %1 is the locale's grouping mark.
inline constexpr char kMisgroupedPrice[] = "not a valid amount: a grouping mark (%1) out of place";
// %1 is the largest amount, as the price shows it.
inline constexpr char kPriceTooLarge[] = "more than %1, the largest amount held to the cent";
inline constexpr char kNoValue[] = "no value";
} // namespace Text

// The date kBadDate shows.
inline const QDate kExampleDate{2027, 3, 15};

// A header that cannot be used; no row can be read without it.
class BadHeader : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

struct Columns {
    std::array<qsizetype, kFieldCount> of{}; // the column of each Field; -1 for one not wanted and absent
    QList<qsizetype> extras;                 // the column of each extra particular wanted, in its order
    QStringList extraNames;
    qsizetype name = -1; // the column files are named by; -1 names them by row number
    qsizetype count = 0;
    QStringList unknown; // columns that name no particular, left unread
};

// nameColumn, when not empty, names any column of the header, without regard to case. Every
// particular wanted needs a column; an extra one's is found as matchingName() compares.
Columns columns(const std::vector<QString>& header, const QString& nameColumn,
                const Wanted& wanted = Wanted::everyField());

struct RowProblem {
    QString column; // as the header names it; empty when the row as a whole is wrong
    QString reason;
};

// A date as a row's cell or the command line gives it (AgreementDate::read): ISO or the
// locale's short form, one way only, inside AgreementDate's range. Else the reason it is no
// such date, made from Text.
std::variant<QDate, QString> dateFromText(const QString& text, const QLocale& locale,
                                          AgreementDate::DateOrder order);

// Sets one particular from its text, as a row's cell or the command line gives it: the date
// read by dateFromText, the price checked and shown as the form shows it. Nothing when it is
// set, else the reason it is not, made from Text.
std::optional<QString> setFromText(Particulars& particulars, Field field, const QString& value,
                                   const QLocale& locale, AgreementDate::DateOrder order);

// The row's particulars, each set as setFromText sets it; a particular without a column is left empty
// (the date unset), an extra one may not be empty.
std::variant<Particulars, RowProblem> particulars(const CsvReader::Record& row, const Columns& columns,
                                                  const std::vector<QString>& header, const QLocale& locale,
                                                  AgreementDate::DateOrder order);

// A file name from a text that every common file system takes: no separators, reserved or
// control characters, no trailing dot or blank, no device name, at most kMaxNameBytes of UTF-8.
// Empty when nothing of the text is left.
QString safeFileName(const QString& text);
inline constexpr int kMaxNameBytes = 200;

struct NamedRow {
    qsizetype row = 0;
    QString name; // as safeFileName makes it; empty names the file by its row
};

// The file name of each row, without extension: the name it asks for, else "row-N". A row that
// asks for the name of an earlier one, case not counted, is given "NAME-N" (N its row), or
// "NAME-N-2" and on, free of every name the rows ask for or are given, so no file is made twice.
std::vector<QString> fileNames(const std::vector<NamedRow>& rows);

} // namespace agreement::ClientList
