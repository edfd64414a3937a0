#include "agreement/csvreader.h"

namespace agreement
{

namespace
{

// Where the first sequence that is not well-formed UTF-8 starts, or -1.
qsizetype invalidUtf8(QByteArrayView bytes)
{
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        const unsigned char c = s[i];
        int length = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            low = c == 0xE0 ? 0xA0 : 0x80;  // no overlong forms
            high = c == 0xED ? 0x9F : 0xBF; // no surrogates
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            low = c == 0xF0 ? 0x90 : 0x80;
            high = c == 0xF4 ? 0x8F : 0xBF; // nothing past U+10FFFF
        } else {
            return i;
        }
        if (i + length > n)
            return i;
        for (int k = 1; k < length; ++k) {
            const unsigned char b = s[i + k];
            if (b < (k == 1 ? low : 0x80) || b > (k == 1 ? high : 0xBF))
                return i;
        }
        i += length;
    }
    return -1;
}

} // namespace

CsvReader::CsvReader(QByteArrayView data) : mData(data)
{
    if (mData.startsWith("\xEF\xBB\xBF"))
        mAt = 3;
}

bool CsvReader::next(Record& record)
{
    const qsizetype n = mData.size();
    // Blank lines hold no record.
    while (mAt < n && (mData[mAt] == '\n' || mData[mAt] == '\r')) {
        mAt += mData[mAt] == '\r' && mAt + 1 < n && mData[mAt + 1] == '\n' ? 2 : 1;
        ++mRow;
    }
    if (mAt >= n)
        return false;
    record = Record{};
    record.row = ++mRow;

    const auto fail = [&record](const char* text, qsizetype value) {
        if (record.error.isEmpty())
            record.error = QString::fromLatin1(text).arg(value);
    };
    const qsizetype recordStart = mAt;
    QByteArray field;
    qsizetype fieldStart = mAt;
    const auto endField = [&] {
        if (record.error.isEmpty())
            record.fields.push_back(QString::fromUtf8(field));
        field.clear();
    };
    const auto add = [&](char c) {
        if (c == '\0')
            fail(CsvText::kNul, mAt);
        else if (field.size() >= kMaxFieldBytes)
            fail(CsvText::kFieldTooLong, kMaxFieldBytes);
        else if (record.error.isEmpty())
            field.append(c);
    };

    bool quoted = false;
    qsizetype quoteAt = 0;
    while (mAt < n) {
        const char c = mData[mAt];
        if (quoted) {
            if (c == '"' && mAt + 1 < n && mData[mAt + 1] == '"') {
                add('"');
                mAt += 2;
            } else if (c == '"') {
                quoted = false;
                ++mAt;
            } else if (c == '\r' || c == '\n') {
                add('\n');
                mAt += c == '\r' && mAt + 1 < n && mData[mAt + 1] == '\n' ? 2 : 1;
            } else {
                add(c);
                ++mAt;
            }
            continue;
        }
        if (c == '"' && mAt == fieldStart) {
            quoted = true;
            quoteAt = mAt++;
        } else if (c == ',') {
            endField();
            fieldStart = ++mAt;
        } else if (c == '\r' || c == '\n') {
            mAt += c == '\r' && mAt + 1 < n && mData[mAt + 1] == '\n' ? 2 : 1;
            break;
        } else {
            add(c);
            ++mAt;
        }
    }
    if (quoted)
        fail(CsvText::kUnclosedQuote, quoteAt);
    endField();
    // Quotes, commas and line breaks never occur inside a sequence, so the record is checked whole.
    if (const qsizetype bad = invalidUtf8(mData.sliced(recordStart, mAt - recordStart)); bad >= 0)
        fail(CsvText::kInvalidUtf8, recordStart + bad);
    return true;
}

} // namespace agreement
