#include "agreement/csvreader.h"

#include <QStringDecoder>

#include <algorithm>
#include <array>

namespace agreement
{

namespace
{

bool isUtf8(QByteArrayView bytes)
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
            return false;
        }
        if (i + length > n)
            return false;
        for (int k = 1; k < length; ++k) {
            const unsigned char b = s[i + k];
            if (b < (k == 1 ? low : 0x80) || b > (k == 1 ? high : 0xBF))
                return false;
        }
        i += length;
    }
    return true;
}

// What Windows-1252 has at 0x80 to 0x9F; the five bytes it leaves unassigned stand for the
// control characters of their own value, as Windows reads them. Elsewhere it is Latin-1.
constexpr std::array<char16_t, 32> kWindows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QString fromWindows1252(QByteArrayView bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (const char b : bytes) {
        const auto c = static_cast<unsigned char>(b);
        *out++ = QChar(c >= 0x80 && c < 0xA0 ? kWindows1252High[c - 0x80] : char16_t{c});
    }
    return text;
}

// The separator the first line that is not blank holds most of, quoted text not counted.
char separatorOf(QByteArrayView text)
{
    std::array<qsizetype, std::size(CsvReader::kSeparators)> counts{};
    bool quoted = false;
    bool started = false;
    for (const char c : text) {
        if (c == '"') {
            quoted = !quoted;
        } else if (!quoted && (c == '\r' || c == '\n')) {
            if (started)
                break;
            continue;
        } else if (!quoted) {
            const auto* found =
                std::find(std::begin(CsvReader::kSeparators), std::end(CsvReader::kSeparators), c);
            if (found != std::end(CsvReader::kSeparators))
                ++counts[static_cast<std::size_t>(found - std::begin(CsvReader::kSeparators))];
        }
        started = true;
    }
    return CsvReader::kSeparators[std::max_element(counts.begin(), counts.end()) - counts.begin()];
}

} // namespace

CsvReader::CsvReader(QByteArrayView data)
{
    if (data.startsWith("\xFF\xFE") || data.startsWith("\xFE\xFF")) {
        mEncoding = Encoding::Utf16;
        QStringDecoder decode(data.front() == '\xFF' ? QStringConverter::Utf16LE : QStringConverter::Utf16BE,
                              QStringConverter::Flag::Stateless);
        mDecoded = QString(decode(data.sliced(2))).toUtf8();
        mData = mDecoded;
    } else if (data.startsWith("\xEF\xBB\xBF")) {
        // Marked as UTF-8: a sequence that is not is a fault of its record.
        mData = data.sliced(3);
    } else if (!isUtf8(data)) {
        mEncoding = Encoding::Windows1252;
        mDecoded = fromWindows1252(data).toUtf8();
        mData = mDecoded;
    } else {
        mData = data;
    }
    mSeparator = separatorOf(mData);
}

qsizetype CsvReader::lineBreakAt(qsizetype at) const
{
    if (at >= mData.size() || (mData[at] != '\r' && mData[at] != '\n'))
        return 0;
    return mData[at] == '\r' && at + 1 < mData.size() && mData[at + 1] == '\n' ? 2 : 1;
}

bool CsvReader::next(Record& record)
{
    while (readRecord(record)) {
        if (!record.error.isEmpty() || std::any_of(record.fields.begin(), record.fields.end(),
                                                   [](const QString& f) { return !f.isEmpty(); }))
            return true;
    }
    return false;
}

bool CsvReader::readRecord(Record& record)
{
    const qsizetype n = mData.size();
    // Blank lines hold no record.
    for (qsizetype length = lineBreakAt(mAt); length > 0; length = lineBreakAt(mAt)) {
        mAt += length;
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
    QByteArray field;
    qsizetype fieldNumber = 1;
    qsizetype fieldStart = mAt;
    const auto endField = [&] {
        // Separators, quotes and line breaks never occur inside a sequence, so each field is checked whole.
        if (!isUtf8(field))
            fail(CsvText::kInvalidUtf8, fieldNumber);
        if (record.error.isEmpty())
            record.fields.push_back(QString::fromUtf8(field));
        field.clear();
    };
    const auto add = [&](char c) {
        if (c == '\0')
            fail(CsvText::kNul, fieldNumber);
        else if (field.size() >= kMaxFieldBytes)
            fail(CsvText::kFieldTooLong, kMaxFieldBytes);
        else if (record.error.isEmpty())
            field.append(c);
    };
    // The record ends with its fault; the lines after the quote's own are records again.
    const auto unclosed = [&](qsizetype quoteAt) {
        record.error = QString::fromLatin1(CsvText::kUnclosedQuote).arg(fieldNumber);
        mAt = quoteAt + 1;
        while (mAt < n && lineBreakAt(mAt) == 0)
            ++mAt;
        mAt += lineBreakAt(mAt);
        return true;
    };

    bool quoted = false;
    bool quoteSpansLines = false;
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
                // Text straight after a quote that closes a field of several lines: the quote
                // is the next field's opening one, and the quote that opened this field a stray.
                if (quoteSpansLines && mAt < n && mData[mAt] != mSeparator && lineBreakAt(mAt) == 0)
                    return unclosed(quoteAt);
            } else if (const qsizetype length = lineBreakAt(mAt); length > 0) {
                add('\n');
                quoteSpansLines = true;
                mAt += length;
            } else {
                add(c);
                ++mAt;
            }
            continue;
        }
        if (c == '"' && mAt == fieldStart) {
            quoted = true;
            quoteSpansLines = false;
            quoteAt = mAt++;
        } else if (c == mSeparator) {
            endField();
            ++fieldNumber;
            fieldStart = ++mAt;
        } else if (const qsizetype length = lineBreakAt(mAt); length > 0) {
            mAt += length;
            break;
        } else {
            add(c);
            ++mAt;
        }
    }
    if (quoted)
        return unclosed(quoteAt);
    endField();
    return true;
}

} // namespace agreement
