#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <vector>

namespace agreement
{

// Why a record of a CSV file cannot be read. %1 is a field of the record, counted from 1.
namespace CsvText
{
inline constexpr char kInvalidUtf8[] = "invalid UTF-8 in field %1";
inline constexpr char kNul[] = "a NUL character in field %1";
inline constexpr char kUnclosedQuote[] = "the quote that opens field %1 is never closed";
// %1 is the limit in bytes.
inline constexpr char kFieldTooLong[] = "a field longer than %1 bytes";
} // namespace CsvText

// The records of a CSV file held whole in memory, as spreadsheets export them (RFC 4180):
// fields separated by commas, semicolons or tabs, whichever the header line holds most of;
// quoted or not, with separators, quotes and line breaks inside quoted fields; records ended
// by CR LF, LF or CR. The text is UTF-8 with or without a byte order mark, UTF-16 with one,
// or Windows-1252 when the bytes are no UTF-8. Blank lines and records of empty fields are
// no records. Line breaks inside a field come out as '\n'. A quote that is never closed
// spoils its own record alone: reading goes on at the line after the one it opens on.
class CsvReader
{
public:
    static constexpr qsizetype kMaxFieldBytes = qsizetype{1} << 20;
    static constexpr char kSeparators[] = {',', ';', '\t'}; // a tie goes to the first

    enum class Encoding { Utf8, Utf16, Windows1252 };

    struct Record {
        qsizetype row = 0; // counted from 1, the header being row 1, as a spreadsheet shows it
        std::vector<QString> fields;
        QString error; // why the record cannot be used; its fields are then incomplete
    };

    explicit CsvReader(QByteArrayView data);

    Encoding encoding() const { return mEncoding; }
    char separator() const { return mSeparator; }

    // The next record; false at the end of the data.
    bool next(Record& record);

private:
    bool readRecord(Record& record);
    qsizetype lineBreakAt(qsizetype at) const; // the length of the line break at at, or 0

    QByteArray mDecoded; // the text as UTF-8, when it came in another encoding
    QByteArrayView mData;
    Encoding mEncoding = Encoding::Utf8;
    char mSeparator = kSeparators[0];
    qsizetype mAt = 0;
    qsizetype mRow = 0;
};

} // namespace agreement
