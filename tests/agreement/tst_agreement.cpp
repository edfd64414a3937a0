// The agreement as a value: its twelve insertions, reading a filled agreement back, and the
// client lists a batch is made from.
#include "agreement/agreementdate.h"
#include "agreement/agreementtemplate.h"
#include "agreement/clientlist.h"
#include "agreement/currency.h"
#include "agreement/filledagreement.h"
#include "agreement/insertions.h"
#include "agreement/readback.h"
#include "agreement/shortdate.h"
#include "doc/error.h"
#include "support/clientlistrows.h"
#include "support/docxbuilder.h"

#include <QRandomGenerator>
#include <QtTest>

using namespace agreement;

Q_DECLARE_METATYPE(agreement::DocumentFormat)

namespace
{

// By Field; the date's text is none.
const Particulars kSample = {
    QDate(2021, 6, 5),
    {{QString(), QStringLiteral("Corwin Ashdale Jr."), QStringLiteral("Tobias Quenby"),
      QStringLiteral("Birchwood st"), QStringLiteral("Build a tree house\nand paint it"),
      QStringLiteral("$74.00"), QStringLiteral("Half before, half after.")}},
    {}};

QString show(std::u16string_view text)
{
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

doc::WordDocument filled(const Particulars& p, QDate signing, const QLocale& locale)
{
    return fill(Template::document(), insertions(p, signing, locale));
}

// The outcome of every record of a client list, or of its header: "row N ok",
// "row N: COLUMN: REASON", "header: REASON".
QStringList outcomes(const QByteArray& csv, const QString& nameColumn = {},
                     const Wanted& wanted = Wanted::everyField())
{
    CsvReader reader(csv);
    CsvReader::Record record;
    QStringList out;
    if (!reader.next(record))
        return {QStringLiteral("header: ") + QLatin1String(ClientList::Text::kEmpty)};
    ClientList::Columns columns;
    try {
        columns = ClientList::columns(record.fields, nameColumn, wanted);
    } catch (const ClientList::BadHeader& e) {
        return {QStringLiteral("header: ") + QString::fromUtf8(e.what())};
    }
    const std::vector<QString> header = record.fields;
    for (const QString& unknown : columns.unknown)
        out << QStringLiteral("unknown ") + unknown;
    while (reader.next(record)) {
        const auto result = ClientList::particulars(record, columns, header, QLocale(QLocale::English),
                                                    AgreementDate::DateOrder::Unsure);
        if (const auto* problem = std::get_if<ClientList::RowProblem>(&result))
            out << QStringLiteral("row %1: %2: %3").arg(record.row).arg(problem->column, problem->reason);
        else
            out << QStringLiteral("row %1 ok").arg(record.row);
    }
    return out;
}

QString reason(const char* text, qsizetype value)
{
    return QString::fromLatin1(text).arg(value);
}

QByteArray utf16(const QString& text, QSysInfo::Endian order)
{
    QByteArray bytes = order == QSysInfo::LittleEndian ? QByteArray("\xFF\xFE") : QByteArray("\xFE\xFF");
    for (const QChar c : text) {
        const auto low = static_cast<char>(c.unicode() & 0xFF);
        const auto high = static_cast<char>(c.unicode() >> 8);
        bytes += order == QSysInfo::LittleEndian ? low : high;
        bytes += order == QSysInfo::LittleEndian ? high : low;
    }
    return bytes;
}

} // namespace

class tst_Agreement : public QObject
{
    Q_OBJECT

private slots:
    void insertionsLandAfterTheirAnchors_data();
    void insertionsLandAfterTheirAnchors();
    void readsBackWhatWasFilled();
    void readsBackLeadingByteOrderMarks();
    void docxOnlyOfTheCarriedText();
    void propertiesCarryTheParticulars_data();
    void propertiesCarryTheParticulars();
    void refusesWhatIsNoAgreement_data();
    void refusesWhatIsNoAgreement();
    void csvRecords_data();
    void csvRecords();
    void clientList_data();
    void clientList();
    void clientListForATemplate_data();
    void clientListForATemplate();
    void setFromText_data();
    void setFromText();
    void fileNames_data();
    void fileNames();
    void safeFileName_data();
    void safeFileName();
};

void tst_Agreement::insertionsLandAfterTheirAnchors_data()
{
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QDate>("signing");
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("work");
    QTest::addColumn<QString>("day");
    QTest::addColumn<QString>("month");
    QTest::addColumn<QString>("signingDay");
    QTest::newRow("5 June 2021") << QDate(2021, 6, 5) << QDate(2022, 4, 23) << "en_US"
                                 << "tree house"
                                 << " 5th "
                                 << " June, 2021"
                                 << " 23rd ";
    QTest::newRow("1 March, a CR LF counts once") << QDate(2022, 3, 1) << QDate(2022, 4, 1) << "en_US"
                                                  << "a\r\nb"
                                                  << " 1st "
                                                  << " March, 2022"
                                                  << " 1st ";
    QTest::newRow("31 December 999") << QDate(999, 12, 31) << QDate(2022, 11, 22) << "en_US"
                                     << ""
                                     << " 31st "
                                     << " December, 999"
                                     << " 22nd ";
    QTest::newRow("German month name") << QDate(2021, 3, 12) << QDate(2021, 3, 13) << "de_DE"
                                       << "Dach"
                                       << " 12th "
                                       << " März, 2021"
                                       << " 13th ";
}

// Each text stands at its position in the filled agreement, right after the template's text
// that its base follows, whatever was typed before it.
void tst_Agreement::insertionsLandAfterTheirAnchors()
{
    QFETCH(QDate, date);
    QFETCH(QDate, signing);
    QFETCH(QString, locale);
    QFETCH(QString, work);
    QFETCH(QString, day);
    QFETCH(QString, month);
    QFETCH(QString, signingDay);
    Particulars p = kSample;
    p.agreementDate = date;
    p[Field::WorkPerformed] = work;
    const auto planned = insertions(p, signing, QLocale(locale));
    QCOMPARE(planned[0].text, day);
    QCOMPARE(planned[1].text, month);
    QCOMPARE(planned[8].text, signingDay);
    QCOMPARE(planned[2].text, QLatin1Char(' ') + p[Field::Contractor]);
    QCOMPARE(planned[11].text, planned[2].text);
    QCOMPARE(planned[10].text, QLatin1Char(' ') + p[Field::Owner]);

    const std::u16string text = fill(Template::document(), planned).mainText();
    std::uint32_t typedBefore = 0;
    for (std::size_t k = 0; k < planned.size(); ++k) {
        const Insertion& insertion = planned[k];
        QCOMPARE(insertion.position, Template::insertionSlots()[k].base + typedBefore);
        const std::u16string typed = doc::normalizeTypedText(insertion.text.toStdU16String());
        QCOMPARE(insertion.typedLength, typed.size());
        QCOMPARE(show(std::u16string_view(text).substr(insertion.position, typed.size())), show(typed));
        const std::u16string_view before = std::u16string_view(text).substr(0, insertion.position);
        QVERIFY2(before.ends_with(Template::insertionSlots()[k].after) ||
                     (k > 0 && planned[k - 1].position + planned[k - 1].typedLength == insertion.position),
                 qPrintable(QStringLiteral("insertion %1").arg(k + 1)));
        typedBefore += insertion.typedLength;
    }
}

// For random particulars, reading back what was filled gives them again: names with the
// template's own sentences and the signing line's tabs in them included.
void tst_Agreement::readsBackWhatWasFilled()
{
    QRandomGenerator random(20270315);
    const QStringList pieces = {
        QStringLiteral("Ash"),
        QStringLiteral(" "),
        QStringLiteral("\t"),
        QStringLiteral("\n"),
        QStringLiteral("Łódź 张伟 €"),
        QStringLiteral("\"q\", c"),
        QStringLiteral(", Hereafter called the Contractor and"),
        QStringLiteral(", hereinafter called the Owner"),
        QStringLiteral("day of, June, 2021"),
        QStringLiteral("\t\t\t\t\t\t\t\tContractor "),
        QStringLiteral("Owner "),
        QStringLiteral(" 5th "),
    };
    const QStringList locales = {QStringLiteral("en_US"), QStringLiteral("de_DE"), QStringLiteral("fr_FR"),
                                 QStringLiteral("ja_JP")};
    const auto text = [&] {
        QString t;
        for (int n = random.bounded(5); n > 0; --n)
            t += pieces[random.bounded(pieces.size())];
        return t;
    };
    const auto date = [&] { return QDate(1601, 1, 1).addDays(random.bounded(3000000)); };
    for (int round = 0; round < 300; ++round) {
        Particulars p{date(), {}, {}};
        for (QString& typed : p.texts)
            typed = text();
        p[Field::AgreementDate].clear();
        const QDate signing = date();
        const QLocale locale(locales[random.bounded(locales.size())]);
        try {
            const ReadBack back = readBack(filled(p, signing, locale), locale);
            QCOMPARE(back.signingDate, signing);
            QVERIFY2(back.particulars == p, qPrintable(QStringLiteral("round %1").arg(round)));
        } catch (const NotAnAgreement& e) {
            QFAIL(qPrintable(QStringLiteral("round %1: %2").arg(round).arg(QString::fromUtf8(e.what()))));
        }
    }
}

// The main text is no UTF-16 stream: a particular that starts with a byte order mark, or
// with one swapped, reads back as it was typed.
void tst_Agreement::readsBackLeadingByteOrderMarks()
{
    Particulars p = kSample;
    p[Field::Contractor] = QStringLiteral(" \uFEFFCorwin");
    p[Field::WorkPerformed] = QStringLiteral("\uFFFEBuild");
    const QLocale locale(QLocale::English);
    QVERIFY(readBack(filled(p, kSample.agreementDate, locale), locale).particulars == p);
}

// The standard agreement is written as .docx too only from a working template that says what the carried
// one says: the carried .docx would leave out a change made after the last place.
void tst_Agreement::docxOnlyOfTheCarriedText()
{
    doc::WordDocument changed = Template::document();
    changed.replaceText(static_cast<std::uint32_t>(changed.mainText().size() - 1), 0, u" Initials: ____");
    QVERIFY(Template::fits(changed));
    const QLocale locale(QLocale::English);
    QVERIFY(FilledAgreement(Template::document(), kSample, QDate(2027, 3, 1), locale).formats() ==
            FilledAgreement::formatsOf(nullptr));
    QVERIFY(FilledAgreement(changed, kSample, QDate(2027, 3, 1), locale).formats() ==
            std::vector{DocumentFormat::Doc});
}

void tst_Agreement::refusesWhatIsNoAgreement_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("reason"); // empty: the engine refuses the file itself
    const QString doc = QStringLiteral("agreement") + QLatin1String(extension(DocumentFormat::Doc));
    const QString docx = QStringLiteral("agreement") + QLatin1String(extension(DocumentFormat::Docx));

    const std::vector<std::uint8_t> saved =
        filled(kSample, QDate(2022, 4, 23), QLocale(QLocale::English)).serialize();
    const QByteArray agreementBytes(reinterpret_cast<const char*>(saved.data()),
                                    static_cast<qsizetype>(saved.size()));
    QTest::newRow("truncated") << agreementBytes.left(agreementBytes.size() / 2) << doc << QString();
    QTest::newRow("a .doc named .docx") << agreementBytes << docx << QString();
    const QByteArray macros =
        DocxBuilder::package(DocxBuilder::splitTagBody(), DocxBuilder::kMacroEnabledType);
    QTest::newRow("a .docm named .docx") << macros << docx << QString();
    const QByteArray ownDocx = DocxBuilder::package(DocxBuilder::splitTagBody());
    QTest::newRow("a .docx named .doc") << ownDocx << doc << QString();
    QTest::newRow("a .docx not made from a template")
        << ownDocx << docx
        << QString::fromLatin1(ReadBackText::kParagraphCount).arg(1).arg(Template::paragraphs().size());

    QFile foreign(QFINDTESTDATA("../data/word-features.doc"));
    QVERIFY(foreign.open(QIODevice::ReadOnly));
    const QByteArray foreignBytes = foreign.readAll();
    const std::u16string foreignText =
        doc::WordDocument::parse(std::span(reinterpret_cast<const std::uint8_t*>(foreignBytes.constData()),
                                           static_cast<std::size_t>(foreignBytes.size())))
            .mainText();
    QTest::newRow("a foreign document") << foreignBytes << doc
                                        << QString::fromLatin1(ReadBackText::kParagraphCount)
                                               .arg(std::count(foreignText.begin(), foreignText.end(), u'\r'))
                                               .arg(Template::paragraphs().size());

    doc::WordDocument edited = filled(kSample, QDate(2022, 4, 23), QLocale(QLocale::English));
    edited.insertText(static_cast<std::uint32_t>(edited.mainText().find(u"WITNESSETH")) + 2, u"x");
    const std::vector<std::uint8_t> editedBytes = edited.serialize();
    QTest::newRow("the witness paragraph edited")
        << QByteArray(reinterpret_cast<const char*>(editedBytes.data()),
                      static_cast<qsizetype>(editedBytes.size()))
        << doc << QString::fromLatin1(ReadBackText::kParagraphChanged).arg(7);

    Particulars early = kSample;
    early.agreementDate = AgreementDate::first().addDays(-1);
    const std::vector<std::uint8_t> earlyBytes =
        filled(early, QDate(2022, 4, 23), QLocale(QLocale::English)).serialize();
    QTest::newRow("dated before the window's range")
        << QByteArray(reinterpret_cast<const char*>(earlyBytes.data()),
                      static_cast<qsizetype>(earlyBytes.size()))
        << doc << QString::fromLatin1(ReadBackText::kDateUnreadable);
}

void tst_Agreement::refusesWhatIsNoAgreement()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, fileName);
    QFETCH(QString, reason);
    const QString expected = QLatin1String(ReadBackText::kNotOurs) + QStringLiteral(": ") + reason;
    try {
        const AgreementDocument document =
            AgreementDocument::fromBytes(std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                                   static_cast<std::size_t>(bytes.size())),
                                         fileName);
        readBack(document, QLocale(QLocale::English));
        QFAIL("read back");
    } catch (const NotAnAgreement& e) {
        QVERIFY2(!reason.isEmpty(), e.what());
        QCOMPARE(QString::fromUtf8(e.what()), expected);
    } catch (const doc::Error& e) {
        QVERIFY2(reason.isEmpty(), e.what());
    }
}

void tst_Agreement::csvRecords_data()
{
    QTest::addColumn<QByteArray>("csv");
    QTest::addColumn<int>("encoding");
    QTest::addColumn<QStringList>("records"); // "ROW: FIELD|FIELD", or "ROW: ERROR"
    const auto utf8 = static_cast<int>(CsvReader::Encoding::Utf8);
    const auto utf16Encoding = static_cast<int>(CsvReader::Encoding::Utf16);
    QTest::newRow("UTF-16 LE, tabs") << utf16(QStringLiteral("a\tb,c\td\r\n\u5f20\tx\ty\r\n"),
                                              QSysInfo::LittleEndian)
                                     << utf16Encoding
                                     << QStringList{QStringLiteral("1: a|b,c|d"),
                                                    QStringLiteral("2: \u5f20|x|y")};
    QTest::newRow("UTF-16 BE") << utf16(QStringLiteral("a,\u00e9"), QSysInfo::BigEndian) << utf16Encoding
                               << QStringList{QStringLiteral("1: a|\u00e9")};
    QTest::newRow("no UTF-8: Windows-1252")
        << QByteArray("a;b\r\n\x80 5;\xE9\x81\r\n") << static_cast<int>(CsvReader::Encoding::Windows1252)
        << QStringList{QStringLiteral("1: a|b"), QStringLiteral("2: \u20ac 5|\u00e9\u0081")};
    QTest::newRow("the header's separator, quoted ones not counted")
        << QByteArray("\r\n\"w;x;y;z\",a,b\n1;2,3\n") << utf8
        << QStringList{QStringLiteral("2: w;x;y;z|a|b"), QStringLiteral("3: 1;2|3")};
    QTest::newRow("rows of empty cells are none")
        << QByteArray("a;b\r\n;\r\n\"\";\r\nc;d\r\n;\r\n") << utf8
        << QStringList{QStringLiteral("1: a|b"), QStringLiteral("4: c|d")};
    QTest::newRow("a stray quote spoils its own row alone")
        << QByteArray("a,b\n\"x,y\nc,d\ne,\"f\"\n") << utf8
        << QStringList{QStringLiteral("1: a|b"), QStringLiteral("2: ") + reason(CsvText::kUnclosedQuote, 1),
                       QStringLiteral("3: c|d"), QStringLiteral("4: e|f")};
}

void tst_Agreement::csvRecords()
{
    QFETCH(QByteArray, csv);
    QFETCH(int, encoding);
    QFETCH(QStringList, records);
    CsvReader reader(csv);
    QCOMPARE(static_cast<int>(reader.encoding()), encoding);
    QStringList out;
    CsvReader::Record record;
    while (reader.next(record)) {
        QStringList fields(record.fields.begin(), record.fields.end());
        out << QStringLiteral("%1: %2")
                   .arg(record.row)
                   .arg(record.error.isEmpty() ? fields.join(QLatin1Char('|')) : record.error);
    }
    QCOMPARE(out, records);
}

void tst_Agreement::clientList_data()
{
    QTest::addColumn<QByteArray>("csv");
    QTest::addColumn<QStringList>("expected");
    using namespace ClientListRows;
    const auto line = [](const QByteArrayList& cells) { return cells.join(',') + "\r\n"; };
    const QByteArray header = line(ClientListRows::header());
    const QByteArray row = line(cells());
    QTest::newRow("empty file") << QByteArray()
                                << QStringList{QStringLiteral("header: ") +
                                               QLatin1String(ClientList::Text::kEmpty)};
    QByteArrayList lacking = ClientListRows::header();
    const QByteArray lacked = lacking.takeLast();
    QTest::newRow("a needed column missing")
        << line(lacking)
        << QStringList{QStringLiteral("header: ") +
                       QString::fromLatin1(ClientList::Text::kMissingColumn).arg(QLatin1String(lacked))};
    // Keys and plain names in the table's reverse order and in any case, an unknown column
    // among them; quoted cells that hold a comma, a line break and doubled quotes.
    QByteArrayList names;
    QByteArrayList quoted;
    for (auto it = kParticulars.rbegin(); it != kParticulars.rend(); ++it) {
        const auto k = std::distance(kParticulars.rbegin(), it);
        const QByteArray plain(it->plain);
        names << (k % 4 == 0   ? plain.left(1).toUpper() + plain.mid(1)
                  : k % 4 == 1 ? QByteArray(it->key).toLower()
                  : k % 4 == 2 ? QByteArray(it->key).toUpper()
                               : plain);
        quoted << (it->kind == Kind::Date     ? QByteArray("2027-03-15")
                   : it->kind == Kind::Amount ? QByteArray("\"1,250.50\"")
                   : it->kind == Kind::Lines  ? QByteArray("\"two\nlines\"")
                                              : QByteArray("\"say \"\"B\"\"\""));
        if (k == 1) {
            names << "Notes";
            quoted << "n";
        }
    }
    QTest::newRow("keys and names, any order and case, BOM, LF, an unknown column")
        << "\xEF\xBB\xBF" + names.join(',') + '\n' + quoted.join(',') + '\n'
        << QStringList{QStringLiteral("unknown Notes"), QStringLiteral("row 2 ok")};
    const QByteArrayList sound = cells();
    QTest::newRow("too few and too many fields")
        << header + line(sound.mid(0, sound.size() - 1)) + row + line(sound + QByteArrayList{"X"})
        << QStringList{
               QStringLiteral("row 2: : ") +
                   QString::fromLatin1(ClientList::Text::kFieldCount).arg(sound.size() - 1).arg(sound.size()),
               QStringLiteral("row 3 ok"),
               QStringLiteral("row 4: : ") + QString::fromLatin1(ClientList::Text::kFieldCount)
                                                 .arg(sound.size() + 1)
                                                 .arg(sound.size())};
    QTest::newRow("a bad price and a bad date")
        << header + line(cells(Field::ContractPrice, "lots")) +
               line(cells(Field::AgreementDate, "15.03.2027"))
        << QStringList{QStringLiteral("row 2: %1: ").arg(QLatin1String(plainName(Field::ContractPrice))) +
                           QLatin1String(ClientList::Text::kBadPrice),
                       QStringLiteral("row 3: %1: ").arg(QLatin1String(plainName(Field::AgreementDate))) +
                           QString::fromLatin1(ClientList::Text::kBadDate)
                               .arg(dateText(ClientList::kExampleDate),
                                    ShortDate::toText(ClientList::kExampleDate, QLocale(QLocale::English)))};
    QByteArrayList unclosed = cells();
    unclosed[column(Field::Contractor) - 1].prepend('"');
    QTest::newRow("an unclosed quote at the end")
        << header + row + line(unclosed)
        << QStringList{QStringLiteral("row 2 ok"),
                       QStringLiteral("row 3: : ") +
                           reason(CsvText::kUnclosedQuote, column(Field::Contractor))};
    QTest::newRow("a 10 MB field") << header + line(cells(Field::WorkPerformed, QByteArray(10 << 20, 'w'))) +
                                          row
                                   << QStringList{
                                          QStringLiteral("row 2: : ") +
                                              reason(CsvText::kFieldTooLong, CsvReader::kMaxFieldBytes),
                                          QStringLiteral("row 3 ok")};
    QTest::newRow("invalid UTF-8 under a UTF-8 mark")
        << "\xEF\xBB\xBF" + header + line(cells(Field::Owner, "B\xC3\x28")) + row
        << QStringList{QStringLiteral("row 2: : ") + reason(CsvText::kInvalidUtf8, column(Field::Owner)),
                       QStringLiteral("row 3 ok")};
    QTest::newRow("a NUL byte") << header + line(cells(Field::Owner, QByteArray("B\0", 2))) + row
                                << QStringList{QStringLiteral("row 2: : ") +
                                                   reason(CsvText::kNul, column(Field::Owner)),
                                               QStringLiteral("row 3 ok")};
    QTest::newRow("blank lines are no rows")
        << header + "\r\n\r\n" + row << QStringList{QStringLiteral("row 4 ok")};
}

void tst_Agreement::clientList()
{
    QFETCH(QByteArray, csv);
    QFETCH(QStringList, expected);
    QCOMPARE(outcomes(csv), expected);
}

void tst_Agreement::propertiesCarryTheParticulars_data()
{
    QTest::addColumn<DocumentFormat>("format");
    QTest::addColumn<QString>("work");
    QTest::addColumn<QString>("extra");
    const QString piece(kPropertyPieceLength, QLatin1Char('w'));
    QTest::newRow("short") << DocumentFormat::Doc << QStringLiteral("Roof") << QStringLiteral("CSLB 1");
    QTest::newRow("empty") << DocumentFormat::Doc << QString() << QString();
    QTest::newRow("exactly one piece, and one more character")
        << DocumentFormat::Doc << piece << piece + QStringLiteral("x");
    // A character of two code units at a piece's end goes whole into the next piece.
    const QString longWork(100000, QLatin1Char('w'));
    const QString pairAtTheEnd = piece.left(kPropertyPieceLength - 1) + QStringLiteral("\U0001F3E0");
    QTest::newRow("100,000 characters, a surrogate pair across a piece's end")
        << DocumentFormat::Doc << longWork << pairAtTheEnd;
    QTest::newRow("a .docx, short") << DocumentFormat::Docx << QStringLiteral("Roof")
                                    << QStringLiteral("CSLB 1");
    QTest::newRow("a .docx, 100,000 characters") << DocumentFormat::Docx << longWork << pairAtTheEnd;
}

// Whatever a template made of an earlier agreement carries, an agreement's properties give back its
// own particulars whole.
void tst_Agreement::propertiesCarryTheParticulars()
{
    QFETCH(DocumentFormat, format);
    QFETCH(QString, work);
    QFETCH(QString, extra);
    AgreementDocument document =
        format == DocumentFormat::Doc ? AgreementDocument(Template::document()) : Template::docxDocument();
    const auto stale = [](const QString& name) {
        return doc::WordDocument::Property{
            QString::fromLatin1(kParticularProperty).arg(name).toStdU16String(), u"stale"};
    };
    document.setProperties(
        {stale(QLatin1String(plainName(Field::WorkPerformed))),
         stale(QString::fromLatin1(kPropertyPiece)
                   .arg(QLatin1String(plainName(Field::WorkPerformed)), QStringLiteral("2"))),
         stale(QStringLiteral("Gone"))});
    Particulars particulars = kSample;
    particulars[Field::WorkPerformed] = work;
    particulars.extras = {{QStringLiteral("Licence number"), extra}};
    writeProperties(document, QStringLiteral("Mine"), particulars, QDate(2022, 4, 23));
    const ReadBack back = readBack(AgreementDocument::fromBytes(document.serialize()), QLocale());
    QCOMPARE(back.templateName, QStringLiteral("Mine"));
    QCOMPARE(back.signingDate, QDate(2022, 4, 23));
    QCOMPARE(back.particulars, particulars);
}

void tst_Agreement::clientListForATemplate_data()
{
    QTest::addColumn<QByteArray>("csv");
    QTest::addColumn<QStringList>("expected");
    const QString owner = QLatin1String(plainName(Field::Owner));
    const QString noColumn = QString::fromLatin1(ClientList::Text::kMissingColumn);
    QTest::newRow("only what it uses, its own by name in any case and spacing")
        << QByteArray("OWNER,licencenumber,Notes\nEllison,CSLB 1,n\n")
        << QStringList{"unknown Notes", "row 2 ok"};
    QTest::newRow("its own column missing")
        << QByteArray("owner\nEllison\n")
        << QStringList{QStringLiteral("header: ") + noColumn.arg("Licence number")};
    QTest::newRow("a particular it uses missing")
        << QByteArray("Licence number\nCSLB 1\n")
        << QStringList{QStringLiteral("header: ") + noColumn.arg(owner)};
    QTest::newRow("its own left empty")
        << QByteArray("owner,Licence number\nEllison, \n")
        << QStringList{QStringLiteral("row 2: Licence number: ") + QLatin1String(ClientList::Text::kNoValue)};
}

// A template of tags asks for the particulars it uses and for its own.
void tst_Agreement::clientListForATemplate()
{
    QFETCH(QByteArray, csv);
    QFETCH(QStringList, expected);
    Wanted wanted;
    wanted.fields[indexOf(Field::Owner)] = true;
    wanted.extras = QStringList{QStringLiteral("Licence number")};
    QCOMPARE(outcomes(csv, {}, wanted), expected);
}

void tst_Agreement::setFromText_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<bool>("named");    // by the user: then it settles the order of day and month
    QTest::addColumn<QString>("field"); // its plain name
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("value");  // the particular as set, a date in ISO form; empty when refused
    QTest::addColumn<QString>("reason"); // empty when set
    const QLocale us(QStringLiteral("en_US"));
    const QLocale de(QStringLiteral("de_DE"));
    const QString date = QStringLiteral("date");
    const QString price = QStringLiteral("price");

    QTest::newRow("ISO date") << us.name() << false << date << "2027-03-15"
                              << "2027-03-15" << QString();
    QTest::newRow("short form as a spreadsheet exports it") << us.name() << false << date << "03/15/2027"
                                                            << "2027-03-15" << QString();
    QTest::newRow("german short form, two-digit year") << de.name() << false << date << "15.03.27"
                                                       << "2027-03-15" << QString();
    QTest::newRow("day and month could trade")
        << us.name() << false << date << "03/04/2027" << QString()
        << QString::fromLatin1(ClientList::Text::kTwoWayDate).arg("2027-03-04", "2027-04-03");
    QTest::newRow("day and month in the named locale's order") << us.name() << true << date << "03/04/2027"
                                                               << "2027-03-04" << QString();
    QTest::newRow("day and month the same") << us.name() << false << date << "03/03/2027"
                                            << "2027-03-03" << QString();
    QTest::newRow("another locale's form")
        << de.name() << false << date << "03/15/2027" << QString()
        << QString::fromLatin1(ClientList::Text::kBadDate)
               .arg(dateText(ClientList::kExampleDate), ShortDate::toText(ClientList::kExampleDate, de));
    QTest::newRow("before the window's range")
        << us.name() << false << date << "0001-01-01" << QString()
        << QString::fromLatin1(ClientList::Text::kDateOutOfRange)
               .arg(dateText(AgreementDate::first()), dateText(AgreementDate::last()));

    QTest::newRow("amount as a spreadsheet exports it") << us.name() << false << price << "$48,250.75"
                                                        << "$48,250.75" << QString();
    QTest::newRow("not an amount") << us.name() << false << price << "lots" << QString()
                                   << QString::fromLatin1(ClientList::Text::kBadPrice);
    QTest::newRow("a grouping mark after a lone zero")
        << de.name() << false << price << "0.005" << QString()
        << QString::fromLatin1(ClientList::Text::kMisgroupedPrice).arg(de.groupSeparator());
    QTest::newRow("twenty digits") << us.name() << false << price << "12345678901234567890" << QString()
                                   << QString::fromLatin1(ClientList::Text::kPriceTooLarge)
                                          .arg(Currency::format(Currency::kLargest, us));
}

void tst_Agreement::setFromText()
{
    QFETCH(QString, locale);
    QFETCH(bool, named);
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(QString, value);
    QFETCH(QString, reason);
    Particulars p;
    const Field f = *fieldNamed(field);
    const std::optional<QString> refused = ClientList::setFromText(
        p, f, text, QLocale(locale),
        named ? AgreementDate::DateOrder::OfTheLocale : AgreementDate::DateOrder::Unsure);
    QCOMPARE(refused.value_or(QString()), reason);
    QCOMPARE(f == Field::AgreementDate ? dateText(p.agreementDate) : p[f], value);
}

void tst_Agreement::fileNames_data()
{
    QTest::addColumn<QStringList>("asked"); // by rows 2, 3, ...
    QTest::addColumn<QStringList>("given");
    QTest::newRow("a later row asks for the name a duplicate would get")
        << QStringList{QStringLiteral("Smith"), QStringLiteral("Smith"), QStringLiteral("Smith-3")}
        << QStringList{QStringLiteral("Smith"), QStringLiteral("Smith-3-2"), QStringLiteral("Smith-3")};
    QTest::newRow("case not counted, rows without a name")
        << QStringList{QStringLiteral("Ann"), QStringLiteral("ann"), QString(), QStringLiteral("ROW-4")}
        << QStringList{QStringLiteral("Ann"), QStringLiteral("ann-3"), QStringLiteral("row-4"),
                       QStringLiteral("ROW-4-5")};
}

void tst_Agreement::fileNames()
{
    QFETCH(QStringList, asked);
    QFETCH(QStringList, given);
    std::vector<ClientList::NamedRow> rows;
    for (qsizetype i = 0; i < asked.size(); ++i)
        rows.push_back({i + 2, asked[i]});
    const std::vector<QString> names = ClientList::fileNames(rows);
    QCOMPARE(QStringList(names.begin(), names.end()), given);
}

void tst_Agreement::safeFileName_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("name");
    QTest::newRow("plain") << "Ashdale & Sons"
                           << "Ashdale & Sons";
    QTest::newRow("separators and reserved characters") << "a/b\\c:d*e?f\"g<h>i|j"
                                                        << "a_b_c_d_e_f_g_h_i_j";
    QTest::newRow("control characters") << "a\tb\nc"
                                        << "a_b_c";
    QTest::newRow("trailing dots and blanks") << " name. . "
                                              << "name";
    QTest::newRow("a device name") << "con"
                                   << "_con";
    QTest::newRow("a device name with an extension") << "LPT1.txt"
                                                     << "_LPT1.txt";
    QTest::newRow("hidden") << ".."
                            << "";
    QTest::newRow("nothing left") << "  "
                                  << "";
    QTest::newRow("too long, cut between characters")
        << QString(150, QChar(0x00e9)) << QString(100, QChar(0x00e9));
    QTest::newRow("a pair not cut") << QString(100, QChar(0x00e9)) + QString::fromUtf8("\xF0\x9F\x98\x80")
                                    << QString(100, QChar(0x00e9));
}

void tst_Agreement::safeFileName()
{
    QFETCH(QString, text);
    QFETCH(QString, name);
    QCOMPARE(ClientList::safeFileName(text), name);
}

QTEST_GUILESS_MAIN(tst_Agreement)
#include "tst_agreement.moc"
