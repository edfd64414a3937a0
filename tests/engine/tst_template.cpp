// The committed template against the agreement's paragraph table and insertion bases, and
// the twelve insertions typed into it the way "Start Creating Template" types them.
#include "wordtestsupport.h"

#include <QtTest>

using namespace wordtest;
using doc::WordDocument;

namespace
{

struct ParagraphRow {
    std::uint32_t start;
    std::u16string text;
};

const std::vector<ParagraphRow> kParagraphs = {
    {0, u"\x08"
        u"Contractor Agreement"},
    {22, std::u16string(93, u'_')},
    {116, u""},
    {117, u""},
    {118, u"THIS AGREEMENT made theday of,, by and between, Hereafter called the Contractor and, hereinafter "
          u"called the Owner"},
    {232, u""},
    {233, u"WITNESSETH that the Contractor and the Owner for the considerations named agree as follows:"},
    {325, u""},
    {326, u"Scope of Work"},
    {340, u""},
    {341, u"      The Contractor shall furnish all materials and perform all of the work on the property at"},
    {437, u""},
    {438, u""},
    {439, u"Work Performed"},
    {454, u""},
    {455, u" "},
    {457, u""},
    {458, u""},
    {459, u""},
    {460, u"Contract Price"},
    {475, u"The Owner shall pay the contractor for material and labor to be performed under the sum of "},
    {567, u""},
    {568, u"Progress Payments"},
    {586, u"Payments of Contract Price shall be made as follows "},
    {639, u""},
    {640, u""},
    {641, u""},
    {642, u""},
    {643, u""},
    {644, u"Signed thisday of"},
    {662, u""},
    {663, u"Owner " + std::u16string(8, u'\t') + u"Contractor "},
    {689, u" "},
    {691, u""},
    {692, u""},
};

constexpr std::array<std::uint32_t, 12> kBases = {141, 148, 164, 201, 436, 456, 566, 638, 655, 661, 669, 687};

struct Particulars {
    std::u16string day, month, contractor, owner, location, work, price, payments, signDay, signMonth;
};

// The twelve texts in typing order.
std::array<std::u16string, 12> insertions(const Particulars& p)
{
    return {p.day,   p.month,    u" " + p.contractor, u" " + p.owner, u" " + p.location, p.work,
            p.price, p.payments, p.signDay,           p.signMonth,    u" " + p.owner,    u" " + p.contractor};
}

const Particulars kSample = {u" 5th ",
                             u" June, 2021",
                             u"Corwin Ashdale Jr.",
                             u"Tobias Quenby",
                             u"Birchwood st",
                             u"Build a tree house",
                             u"$74.00",
                             u"One half would be payed before work start, and rest after work is finished.",
                             u" 23rd ",
                             u" April, 2022"};

// Types the insertions at base + running length, with the running length counting what
// the document actually took.
WordDocument filled(const Particulars& p, WordDocument document = WordDocument::load(fsPath(templatePath())))
{
    std::uint32_t running = 0;
    const auto texts = insertions(p);
    for (std::size_t k = 0; k < texts.size(); ++k)
        running += document.insertText(kBases[k] + running, texts[k]);
    return document;
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

} // namespace

class tst_Template : public QObject
{
    Q_OBJECT

private slots:
    void mainTextMatchesParagraphTable();
    void sampleParticulars();
    void emptyParticulars();
    void multiLineWorkText();
    void filledFileReadsBack();
    void antiwordReadsFilledFile();
    void filledFileKeepsWordStructure_data();
    void filledFileKeepsWordStructure();
    void pageShapeStaysAnchoredAtTheTitle();
};

void tst_Template::mainTextMatchesParagraphTable()
{
    const WordDocument document = WordDocument::load(fsPath(templatePath()));
    QCOMPARE(document.mainTextLength(), 693u);
    const std::u16string text = document.mainText();
    const auto model = document.readModel();
    QCOMPARE(model.paragraphs.size(), kParagraphs.size());
    for (std::size_t i = 0; i < kParagraphs.size(); ++i) {
        const auto& row = kParagraphs[i];
        QCOMPARE(show(model.paragraphs[i].text), show(row.text));
        QCOMPARE(show(text.substr(row.start, row.text.size())), show(row.text));
        QCOMPARE(text[row.start + row.text.size()], u'\r');
    }
}

void tst_Template::sampleParticulars()
{
    const auto p = paragraphs(filled(kSample));
    QCOMPARE(p.size(), kParagraphs.size());
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
    Particulars empty = kSample;
    empty.contractor = empty.owner = empty.location = empty.work = empty.price = empty.payments = u"";
    const WordDocument document = filled(empty);
    // Five single spaces and the four date texts.
    std::uint32_t dates = 0;
    for (const auto* s : {&empty.day, &empty.month, &empty.signDay, &empty.signMonth})
        dates += std::uint32_t(s->size());
    QCOMPARE(document.mainTextLength(), 693u + 5u + dates);
    const auto p = paragraphs(document);
    QCOMPARE(show(p[4]),
             show(u"THIS AGREEMENT made the 5th day of, June, 2021, by and between , Hereafter called the "
                  u"Contractor and , hereinafter called the Owner"));
    QCOMPARE(show(p[15]), show(u" "));
    QCOMPARE(show(p[31]), show(u"Owner  " + std::u16string(8, u'\t') + u"Contractor  "));
}

void tst_Template::multiLineWorkText()
{
    Particulars multi = kSample;
    multi.work = u"Build a tree house\r\nPaint it green\nand red\rDone";
    const auto p = paragraphs(filled(multi));
    QCOMPARE(p.size(), kParagraphs.size());
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
        {"sample", kSample.work},
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
    Particulars particulars = kSample;
    particulars.work = work.toStdU16String();
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

QTEST_GUILESS_MAIN(tst_Template)
#include "tst_template.moc"
