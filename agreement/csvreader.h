#pragma once

#include <QByteArrayView>
#include <QString>

#include <vector>

namespace agreement
{

// Why a record of a CSV file cannot be read. %1 is a byte offset from the file's start.
namespace CsvText
{
inline constexpr char kInvalidUtf8[] = "invalid UTF-8 at byte offset %1";
inline constexpr char kNul[] = "a NUL byte at byte offset %1";
inline constexpr char kUnclosedQuote[] = "the quote opened at byte offset %1 is never closed";
// %1 is the limit in bytes.
inline constexpr char kFieldTooLong[] = "a field longer than %1 bytes";
} // namespace CsvText

// The records of a CSV file (RFC 4180) held whole in memory: fields quoted or not, commas,
// quotes and line breaks inside quoted fields, UTF-8 with or without a byte order mark,
// records ended by CR LF, LF or CR. Blank lines are no records. Line breaks inside a field
// come out as '\n'.
class CsvReader
{
public:
    static constexpr qsizetype kMaxFieldBytes = qsizetype{1} << 20;

    struct Record {
        qsizetype row = 0; // counted from 1, the header being row 1, as a spreadsheet shows it
        std::vector<QString> fields;
        QString error; // why the record cannot be used; its fields are then incomplete
    };

    explicit CsvReader(QByteArrayView data);

    // The next record; false at the end of the data.
    bool next(Record& record);

private:
    QByteArrayView mData;
    qsizetype mAt = 0;
    qsizetype mRow = 0;
};

} // namespace agreement
