#pragma once

#include "agreement/csvreader.h"
#include "agreement/particulars.h"

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
inline constexpr char kBadDate[] = "not a date of the form 2027-03-15";
inline constexpr char kBadPrice[] = "not a valid amount";
} // namespace Text

// A header that cannot be used; no row can be read without it.
class BadHeader : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

struct Columns {
    std::array<qsizetype, 7> of{}; // the column of each Field
    qsizetype name = -1;           // the column files are named by; -1 names them by row number
    qsizetype count = 0;
    QStringList unknown; // columns that name no particular, left unread
};

// nameColumn, when not empty, names any column of the header, without regard to case.
Columns columns(const std::vector<QString>& header, const QString& nameColumn);

struct RowProblem {
    QString column; // as the header names it; empty when the row as a whole is wrong
    QString reason;
};

// Sets one particular from its text, as a row's cell or the command line gives it: the date
// checked, the price checked and shown as the form shows it. nullptr when it is set, else the
// reason it is not (one of Text).
const char* setFromText(Particulars& particulars, Field field, const QString& value, const QLocale& locale);

// The row's particulars, each set as setFromText sets it.
std::variant<Particulars, RowProblem> particulars(const CsvReader::Record& row, const Columns& columns,
                                                  const std::vector<QString>& header, const QLocale& locale);

// A file name from a text that every common file system takes: no separators, reserved or
// control characters, no trailing dot or blank, no device name, at most kMaxNameBytes of UTF-8.
// Empty when nothing of the text is left.
QString safeFileName(const QString& text);
inline constexpr int kMaxNameBytes = 200;

} // namespace agreement::ClientList
