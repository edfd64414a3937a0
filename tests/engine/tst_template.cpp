// The template's paragraphs and places as the program reads them, and the twelve insertions
// typed into it the way "Start Creating Template" types them; templates of the user's own, marked
// with tags, listed, filled and read back.
#include "agreement/agreementtemplate.h"
#include "agreement/insertions.h"
#include "agreement/readback.h"
#include "agreement/tagtemplate.h"
#include "doc/cfb.h"
#include "support/sampleparticulars.h"
#include "wordtestsupport.h"

#include <QtTest>

using namespace wordtest;
using doc::WordDocument;

using agreement::Field;

namespace
{

namespace Template = agreement::Template;

const QDate kSigned(2022, 4, 23);

WordDocument filled(const agreement::Particulars& p,
                    WordDocument document = WordDocument::load(fsPath(templatePath())))
{
    return agreement::fill(std::move(document), agreement::insertions(p, kSigned, QLocale(QLocale::English)));
}

std::vector<std::u16string> paragraphs(const WordDocument& document)
{
    std::vector<std::u16string> out;
    for (const auto& p : document.readModel().paragraphs)
        out.push_back(p.text);
    return out;
}

QString show(const std::u16string& s)
{
    return QString::fromStdU16String(s);
}

const QRegularExpression kTag(QStringLiteral("\\{\\{([^{}]*)\\}\\}"));

// The words of a text, in order.
QStringList words(const QString& text)
{
    return text.split(QRegularExpression(QStringLiteral("[^\\w]+")), Qt::SkipEmptyParts);
}

// The names a template's source tags, each once, as they compare: read from the LibreOffice
// document it was made from, an independent record of what it holds.
QStringList sourceTagNames(const QString& fodt)
{
    QFile file(fodt);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QString text = QString::fromUtf8(file.readAll());
    text.remove(QRegularExpression(QStringLiteral("<[^>]*>")));
    QStringList names;
    for (const QRegularExpressionMatch& m : kTag.globalMatch(text))
        names << agreement::matchingName(m.captured(1));
    names.removeDuplicates();
    names.sort();
    return names;
}

// The value each of a template's particulars is filled with, as the agreement writes it.
QString writtenValue(const agreement::TemplateParticular& p, const agreement::Particulars& particulars,
                     const QLocale& locale)
{
    using Source = agreement::TemplateParticular::Source;
    switch (p.source) {
    case Source::Field:
        return p.field == Field::AgreementDate ? agreement::dateInWords(particulars.agreementDate, locale)
                                               : particulars[p.field];
    case Source::Day:
        return agreement::dayText(particulars.agreementDate).trimmed();
    case Source::Month:
        return locale.standaloneMonthName(particulars.agreementDate.month());
    case Source::Year:
        return QString::number(particulars.agreementDate.year());
    case Source::Signed:
        return agreement::dateInWords(kSigned, locale);
    case Source::Extra:
        break;
    }
    return p.name + QStringLiteral(" given");
}

} // namespace

class tst_Template : public QObject
{
    Q_OBJECT

private slots:
    void paragraphsAndPlacesStayPut();
    void sampleParticulars();
    void emptyParticulars();
    void multiLineWorkText();
    void filledFileReadsBack();
    void antiwordReadsFilledFile();
    void filledFileKeepsWordStructure_data();
    void filledFileKeepsWordStructure();
    void pageShapeStaysAnchoredAtTheTitle();
    void tagNames_data();
    void tagNames();
    void ownTemplatesFillAndReadBack_data();
    void ownTemplatesFillAndReadBack();
    void refusedTemplates_data();
    void refusedTemplates();
    void manyAndLongTags();
};

// The one record of the agreement's fixed figures: the main text's length, where its
// paragraphs start and the twelve places, as read from the template.
void tst_Template::paragraphsAndPlacesStayPut()
{
    const WordDocument document = WordDocument::load(fsPath(templatePath()));
    const QStringList problems = Template::check(document);
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
    WordDocument edited = document; // "made thxe": the first place is gone, the others stay
    edited.insertText(Template::insertionSlots().front().base - 1, u"x");
    QCOMPARE(Template::check(edited).size(), 1);
    QCOMPARE(show(Template::mainText()), show(document.mainText()));
    QCOMPARE(Template::mainText().size(), std::size_t{693});

    std::vector<std::uint32_t> starts;
    for (const auto& p : Template::paragraphs())
        starts.push_back(p.start);
    QCOMPARE(starts, (std::vector<std::uint32_t>{0,   22,  116, 117, 118, 232, 233, 325, 326, 340, 341, 437,
                                                 438, 439, 454, 455, 457, 458, 459, 460, 475, 567, 568, 586,
                                                 639, 640, 641, 642, 643, 644, 662, 663, 689, 691, 692}));
    std::vector<std::uint32_t> bases;
    for (const auto& slot : Template::insertionSlots()) {
        bases.push_back(slot.base);
        QVERIFY(slot.base - Template::paragraphs()[slot.paragraph].start <=
                Template::paragraphs()[slot.paragraph].text.size());
    }
    QCOMPARE(bases, (std::vector<std::uint32_t>{141, 148, 164, 201, 436, 456, 566, 638, 655, 661, 669, 687}));
}

void tst_Template::sampleParticulars()
{
    const auto p = paragraphs(filled(kSample));
    QCOMPARE(p.size(), Template::paragraphs().size());
    QCOMPARE(show(p[4]),
             show(u"THIS AGREEMENT made the 5th day of, June, 2021, by and between Corwin Ashdale Jr., "
                  u"Hereafter called the Contractor and Tobias Quenby, hereinafter called the Owner"));
    QCOMPARE(show(p[10]),
             show(u"      The Contractor shall furnish all materials and perform all of the work on the "
                  u"property at Birchwood st"));
    QCOMPARE(show(p[15]), show(u" Build a tree house"));
    QCOMPARE(show(p[20]),
             show(u"The Owner shall pay the contractor for material and labor to be performed under the "
                  u"sum of $74.00"));
    QCOMPARE(show(p[23]),
             show(u"Payments of Contract Price shall be made as follows One half would be payed before "
                  u"work start, and rest after work is finished."));
    QCOMPARE(show(p[29]), show(u"Signed this 23rd day of April, 2022"));
    QCOMPARE(show(p[31]),
             show(u"Owner  Tobias Quenby" + std::u16string(8, u'\t') + u"Contractor Corwin Ashdale Jr. "));
}

void tst_Template::emptyParticulars()
{
    agreement::Particulars empty = kSample;
    for (QString& text : empty.texts)
        text.clear();
    const WordDocument document = filled(empty);
    // Five single spaces and the four date texts.
    const QLocale english(QLocale::English);
    const auto dates = agreement::dayText(empty.agreementDate).size() +
                       agreement::monthText(empty.agreementDate, english).size() +
                       agreement::dayText(kSigned).size() + agreement::monthText(kSigned, english).size();
    QCOMPARE(std::size_t(document.mainTextLength()), Template::mainText().size() + 5 + std::size_t(dates));
    const auto p = paragraphs(document);
    QCOMPARE(show(p[4]),
             show(u"THIS AGREEMENT made the 5th day of, June, 2021, by and between , Hereafter called the "
                  u"Contractor and , hereinafter called the Owner"));
    QCOMPARE(show(p[15]), show(u" "));
    QCOMPARE(show(p[31]), show(u"Owner  " + std::u16string(8, u'\t') + u"Contractor  "));
}

void tst_Template::multiLineWorkText()
{
    agreement::Particulars multi = kSample;
    multi[Field::WorkPerformed] = QStringLiteral("Build a tree house\r\nPaint it green\nand red\rDone");
    const auto p = paragraphs(filled(multi));
    QCOMPARE(p.size(), Template::paragraphs().size());
    QCOMPARE(show(p[15]), show(u" Build a tree house\vPaint it green\vand red\vDone"));
    // Later insertions still land after their anchor texts.
    QVERIFY(show(p[20]).endsWith(QStringLiteral(" sum of $74.00")));
    QCOMPARE(show(p[29]), show(u"Signed this 23rd day of April, 2022"));
}

void tst_Template::filledFileReadsBack()
{
    const WordDocument document = filled(kSample);
    const WordDocument reread = WordDocument::parse(document.serialize());
    QCOMPARE(show(reread.mainText()), show(document.mainText()));
    QCOMPARE(paragraphs(reread), paragraphs(document));
    const auto title = reread.readModel().paragraphs[0];
    QVERIFY(title.runs.back().bold);
}

void tst_Template::antiwordReadsFilledFile()
{
    const auto text = readWith(Reader::Antiword, filled(kSample).serialize(), nullptr);
    if (!text)
        QSKIP("antiword is not installed");
    const QString flat = QString(*text).replace(QLatin1Char('\n'), QLatin1Char(' ')).simplified();
    QVERIFY2(flat.contains(
                 QStringLiteral("THIS AGREEMENT made the 5th day of, June, 2021, by and between Corwin "
                                "Ashdale Jr., Hereafter called the Contractor and Tobias Quenby, hereinafter "
                                "called the Owner")),
             qPrintable(flat));
    QVERIFY2(flat.contains(QStringLiteral("Signed this 23rd day of April, 2022")), qPrintable(flat));
}

// A work description of about `length` characters in lines of ten words, as typed in the
// multi-line box; `extra` is mixed in every seventh word.
std::u16string longWork(std::size_t length, const std::u16string& extra)
{
    static const std::array<std::u16string, 6> words = {u"remove",  u"the", u"old",
                                                        u"decking", u"and", u"joists"};
    std::u16string work;
    for (std::size_t i = 0; work.size() < length; ++i) {
        if (i > 0)
            work += i % 10 == 0 ? u"\r\n" : u" ";
        work += i % 7 == 3 && !extra.empty() ? extra : words[i % words.size()];
    }
    return work;
}

void tst_Template::filledFileKeepsWordStructure_data()
{
    QTest::addColumn<QString>("work");
    QTest::addColumn<int>("reader");
    QTest::addColumn<bool>("compressed");
    const std::array<std::pair<const char*, std::u16string>, 4> works = {{
        {"sample", kSample[Field::WorkPerformed].toStdU16String()},
        {"5,000 characters", longWork(5000, {})},
        {"30,000 characters", longWork(30000, {})},
        {"5,000 characters beyond Latin-1", longWork(5000, u"\u0141\u00f3d\u017a \u5f20\u4f1f \u20ac\u2013")},
    }};
    // Word's own files hold 8-bit pieces, where text beyond them must go to new UTF-16 pieces.
    for (const bool compressed : {false, true}) {
        for (const auto& [name, work] : works) {
            const char* shape = compressed ? "8-bit template" : "template";
            QTest::addRow("%s, %s, antiword", shape, name)
                << show(work) << int(Reader::Antiword) << compressed;
            QTest::addRow("%s, %s, wvText", shape, name) << show(work) << int(Reader::WvText) << compressed;
            QTest::addRow("%s, %s, LibreOffice", shape, name)
                << show(work) << int(Reader::LibreOffice) << compressed;
        }
    }
}

void tst_Template::filledFileKeepsWordStructure()
{
    QFETCH(QString, work);
    QFETCH(int, reader);
    QFETCH(bool, compressed);
    agreement::Particulars particulars = kSample;
    particulars[Field::WorkPerformed] = work;
    Bytes original = readFile(templatePath());
    if (compressed) {
        const auto rewritten = compressPieces(original, {});
        QVERIFY(rewritten);
        original = *rewritten;
    }
    const Bytes saved = filled(particulars, WordDocument::parse(original)).serialize();
    const QString fault = wordStructureFault(saved);
    QVERIFY2(fault.isEmpty(), qPrintable(fault));

    const auto text = readWith(Reader(reader), saved, nullptr);
    if (!text)
        QSKIP("reader not installed");
    const QString flat = QString(*text).simplified();
    const QString typed = work.simplified();
    QVERIFY2(flat.contains(typed.left(200)), qPrintable(flat.left(2000)));
    QVERIFY2(flat.contains(typed.right(200) + QStringLiteral(" Contract Price")),
             qPrintable(flat.right(2000)));
    QVERIFY2(flat.contains(QStringLiteral("Signed this 23rd day of April, 2022")),
             qPrintable(flat.right(2000)));
}

void tst_Template::pageShapeStaysAnchoredAtTheTitle()
{
    const auto xml = libreOfficeFlatXml(filled(kSample).serialize());
    if (!xml)
        QSKIP("LibreOffice is not installed");
    // The white page shape is still there, anchored in the title paragraph before its text.
    QVERIFY2(xml->contains(QRegularExpression(
                 QStringLiteral("<text:p [^>]*><draw:custom-shape [^>]*draw:name=\"Page\""))),
             qPrintable(*xml));
    QVERIFY2(xml->contains(QStringLiteral("</draw:custom-shape>Contractor Agreement</text:p>")),
             qPrintable(*xml));
}

void tst_Template::tagNames_data()
{
    using Source = agreement::TemplateParticular::Source;
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("source");
    QTest::addColumn<int>("field");
    for (const agreement::Particular& row : agreement::kParticulars) {
        const QString plain = QLatin1String(row.plain);
        QTest::newRow(row.plain) << QStringLiteral(" %1 ").arg(plain.toUpper()) << int(Source::Field)
                                 << int(row.field);
        QTest::newRow(row.key) << QString::fromLatin1(row.key) << int(Source::Field) << int(row.field);
    }
    for (const agreement::DateName& date : agreement::kDateNames)
        QTest::newRow(date.name) << QString::fromLatin1(date.name).toUpper() << int(date.source) << 0;
    QTest::newRow("own, spaces inside") << QStringLiteral("Licence number") << int(Source::Extra) << 0;
}

void tst_Template::tagNames()
{
    QFETCH(QString, name);
    QFETCH(int, source);
    QFETCH(int, field);
    const agreement::TemplateParticular p = agreement::particularNamed(name);
    QCOMPARE(int(p.source), source);
    if (p.source == agreement::TemplateParticular::Source::Field)
        QCOMPARE(int(p.field), field);
    QCOMPARE(p.name, name);
}

void tst_Template::ownTemplatesFillAndReadBack_data()
{
    QTest::addColumn<QString>("name");
    for (const char* name : {"own-plain", "own-letterhead", "own-tables", "own-clauses", "own-halfbold"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

// Listed as the template's source names them, filled with every value in place and nothing
// else of the template changed, as LibreOffice and antiword read it; read back from the
// agreement's own properties.
void tst_Template::ownTemplatesFillAndReadBack()
{
    QFETCH(QString, name);
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const auto tagTemplate = agreement::TagTemplate::fromFile(dataPath(name + QStringLiteral(".doc")));
    QStringList listed;
    for (const agreement::TemplateParticular& p : tagTemplate.particulars())
        listed << agreement::matchingName(p.name);
    listed.sort();
    QCOMPARE(listed, sourceTagNames(dataPath(name + QStringLiteral(".fodt"))));

    agreement::Particulars particulars = kSample;
    particulars[Field::WorkPerformed] = QStringLiteral("Build a tree house\nand paint it");
    for (const QString& extra : tagTemplate.wanted().extras)
        particulars.extras.append({extra, extra + QStringLiteral(" given")});
    agreement::AgreementDocument document = tagTemplate.fill(particulars, kSigned, english);
    agreement::writeProperties(document, tagTemplate.name(), particulars, kSigned);
    const Bytes saved = document.serialize();
    const QString fault = wordStructureFault(saved);
    QVERIFY2(fault.isEmpty(), qPrintable(fault));

    const agreement::ReadBack back = agreement::readBack(WordDocument::parse(saved), english);
    QCOMPARE(back.templateName, name);
    QCOMPARE(back.signingDate, kSigned);
    QCOMPARE(back.particulars, particulars);

    const QString before =
        show(WordDocument::load(fsPath(dataPath(name + QStringLiteral(".doc")))).mainText());
    const QStringList kept = words(QString(before).remove(kTag));
    for (const Reader reader : {Reader::LibreOffice, Reader::Antiword}) {
        const auto text = readWith(reader, saved, nullptr);
        if (!text)
            QSKIP("reader not installed");
        const QString flat = text->simplified();
        QVERIFY2(!flat.contains(QStringLiteral("{{")), qPrintable(flat));
        for (const agreement::TemplateParticular& p : tagTemplate.particulars()) {
            const QString value = writtenValue(p, particulars, english).simplified();
            QVERIFY2(flat.contains(value), qPrintable(value + QStringLiteral(" not in ") + flat));
        }
        // Every word of the template's text, in order (a reader may add list numbers).
        const QStringList read = words(flat);
        qsizetype at = 0;
        for (const QString& word : kept) {
            at = read.indexOf(word, at);
            QVERIFY2(at >= 0, qPrintable(word + QStringLiteral(" missing from ") + flat));
            ++at;
        }
    }
}

void tst_Template::refusedTemplates_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("faults");
    const QString notWord = QLatin1String(agreement::TagTemplateText::kNotWord);
    QTest::newRow("text") << QByteArray("Dear {{Owner}},") << QStringList{notWord};
    QTest::newRow("RTF") << QByteArray("{\\rtf1\\ansi Dear {{Owner}}}") << QStringList{notWord};
    // A sound .docx under the name template.doc.
    QFile docx{QLatin1String(agreement::Template::kDocxResource)};
    QVERIFY(docx.open(QIODevice::ReadOnly));
    QTest::newRow(".docx named .doc")
        << docx.readAll()
        << QStringList{QString::fromLatin1(agreement::MisnamedDocument::kText)
                           .arg(QLatin1String(agreement::extension(agreement::DocumentFormat::Doc)),
                                QLatin1String(agreement::formatName(agreement::DocumentFormat::Docx).name))};
    QTest::newRow("past the size bound")
        << QByteArray(qsizetype(agreement::TagTemplate::kMaxBytes) + 1, '\0')
        << QStringList{QString::fromLatin1(agreement::TagTemplateText::kTooLarge)
                           .arg(agreement::TagTemplate::kMaxBytes >> 20)};
    // The Fib's encrypted flag set on a sound template.
    doc::CompoundFile file = doc::CompoundFile::parse(readFile(dataPath(QStringLiteral("own-plain.doc"))));
    auto wordStream = file.stream("WordDocument");
    wordStream[0x0B] |= 0x01;
    file.setStream("WordDocument", wordStream);
    const Bytes encrypted = file.serialize();
    QTest::newRow("encrypted") << QByteArray(reinterpret_cast<const char*>(encrypted.data()),
                                             qsizetype(encrypted.size()))
                               << QStringList{QLatin1String(agreement::TagTemplateText::kEncrypted)};
    const Bytes faulty = readFile(dataPath(QStringLiteral("own-faulty.doc")));
    const QStringList each = {
        QLatin1String(agreement::TagTemplateText::kUnclosed),
        QLatin1String(agreement::TagTemplateText::kEmpty),
        QLatin1String(agreement::TagTemplateText::kBrokenByParagraph),
        QString::fromLatin1(agreement::TagTemplateText::kTooLong).arg(doc::tags::kMaxNameLength),
        QLatin1String(agreement::TagTemplateText::kNested)};
    QTest::newRow("one of each fault")
        << QByteArray(reinterpret_cast<const char*>(faulty.data()), qsizetype(faulty.size())) << each;
}

// Each fault on a line of its own that ends saying what is wrong; a fault in the text names its
// paragraph.
void tst_Template::refusedTemplates()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, faults);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("template.doc"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    file.close();
    try {
        agreement::TagTemplate::fromFile(path);
        QFAIL("the template was taken");
    } catch (const agreement::TemplateRefused& e) {
        QCOMPARE(e.faults().size(), faults.size());
        for (qsizetype i = 0; i < faults.size(); ++i)
            QVERIFY2(e.faults()[i].endsWith(faults[i]), qPrintable(e.faults().join(QLatin1Char('\n'))));
    }
}

// Ten thousand tags fill in one pass; a name of 100,000 characters is a fault, a value of as
// many fills.
void tst_Template::manyAndLongTags()
{
    WordDocument document = WordDocument::load(fsPath(dataPath(QStringLiteral("own-plain.doc"))));
    std::u16string many;
    for (int i = 0; i < 10000; ++i)
        many += u"{{Note}} ";
    document.insertText(0, many);
    const Bytes bytes = document.serialize();
    const auto tagTemplate = agreement::TagTemplate::fromBytes(QStringLiteral("many"), bytes);
    agreement::Particulars particulars = kSample;
    const QString longValue(100000, QLatin1Char('v'));
    for (const QString& extra : tagTemplate.wanted().extras)
        particulars.extras.append({extra, extra == QLatin1String("Note") ? QStringLiteral("n") : longValue});
    const agreement::AgreementDocument filledDocument =
        tagTemplate.fill(particulars, kSigned, QLocale(QLocale::English));
    const std::u16string text = filledDocument.text();
    std::u16string notes;
    for (int i = 0; i < 10000; ++i)
        notes += u"n ";
    QVERIFY(text.starts_with(notes));
    QVERIFY(text.find(longValue.toStdU16String()) != std::u16string::npos);
    QVERIFY(text.find(u"{{") == std::u16string::npos);

    WordDocument longName = WordDocument::load(fsPath(dataPath(QStringLiteral("own-plain.doc"))));
    longName.insertText(0, u"{{" + std::u16string(100000, u'x') + u"}}");
    QVERIFY_THROWS_EXCEPTION(agreement::TemplateRefused,
                             agreement::TagTemplate::fromBytes(QStringLiteral("long"), longName.serialize()));
}

QTEST_GUILESS_MAIN(tst_Template)
#include "tst_template.moc"
