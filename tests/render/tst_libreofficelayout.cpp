#include "doc/worddocument.h"
#include "docx/docxdocument.h"
#include "pdftools.h"
#include "render/pagelayout.h"
#include "render/pdfexport.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <map>
#include <utility>
#include <vector>

// Lays out Word documents (.doc and .docx) and checks every line against LibreOffice's own layout of the same
// file: LibreOffice prints the document to PDF, pdftotext reads the lines back, and each of our lines must
// end with the same word as LibreOffice's line, on the page picture's first page and on every page of our
// PDF. Over the corpus of whole pages (headers, tables, pictures, lists, sections, look, text boxes, fonts)
// our PDF must have LibreOffice's pages, nearly all of each page's lines and the pictures on the same pages.
namespace
{

const QString kTemplate = QStringLiteral(BRINDLEWICK_SOURCE_DIR "/resources/template.doc");
const QString kSample = QStringLiteral(BRINDLEWICK_SOURCE_DIR "/tests/render/data/layout-sample.doc");
const QString kCorpus = QStringLiteral(BRINDLEWICK_SOURCE_DIR "/tests/data/");
const QString kResources = QStringLiteral(BRINDLEWICK_SOURCE_DIR "/resources/");
const QString kDoc = QStringLiteral(".doc");
const QString kDocx = QStringLiteral(".docx");

// The share of a page's lines ours must have as LibreOffice has them: the rest is left to small differences
// in the fonts' widths.
constexpr double kSameLines = 0.95;

QByteArray readAll(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

doc::WordDocument parse(const QByteArray& bytes)
{
    return doc::WordDocument::parse(std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                              static_cast<std::size_t>(bytes.size())));
}

// The read model of a document in either format, chosen by its bytes as the program chooses.
doc::ReadModel readModel(const QByteArray& bytes)
{
    const std::span data(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                         static_cast<std::size_t>(bytes.size()));
    return docx::looksLikeZip(data) ? docx::DocxDocument::parse(data).readModel() : parse(bytes).readModel();
}

// Where the corpus copy of a row's document stands, without its extension: a .docx takes a name of its own,
// so that LibreOffice's PDF of it and of the .doc from the same source do not meet.
QString corpusBase(const QString& dir, const QString& name)
{
    return dir + u'/' + (name.endsWith(kDocx) ? name.chopped(kDocx.size()) + QStringLiteral("-docx") : name);
}

// Types text after the first occurrence of anchor, as the template filling does.
void typeAfter(doc::WordDocument& document, std::u16string_view anchor, std::u16string_view text)
{
    const std::u16string main = document.mainText();
    const std::size_t at = main.find(anchor);
    QVERIFY2(at != std::u16string::npos, "anchor text missing from the template");
    document.insertText(static_cast<std::uint32_t>(at + anchor.size()), text);
}

// Letters and digits only: what survives justification, tabs, leaders and line ends.
QString lettersOf(const QString& text)
{
    QString letters;
    for (const QChar c : text)
        if (c.isLetterOrNumber())
            letters += c;
    return letters;
}

// The last word of every line that shows any; pdftotext joins tab leader dots to the words beside them.
QStringList lastWords(const QStringList& lines)
{
    static const QRegularExpression separator(QStringLiteral("\\s+|\\.{3,}"));
    QStringList words;
    for (const QString& line : lines) {
        const QString trimmed = line.trimmed();
        if (!trimmed.isEmpty())
            words << trimmed.section(separator, -1);
    }
    return words;
}

// LibreOffice printing documents to PDF in outdir, with a profile of its own so that two can run at once.
void startOffice(QProcess& office, const QString& soffice, const QString& outdir,
                 const QStringList& documents)
{
    office.start(soffice, QStringList{QStringLiteral("--headless"), QStringLiteral("--norestore"),
                                      QStringLiteral("-env:UserInstallation=file://%1/profile").arg(outdir),
                                      QStringLiteral("--convert-to"), QStringLiteral("pdf"),
                                      QStringLiteral("--outdir"), outdir} +
                              documents);
}

// Every page's text lines as pdftotext lays them out, runs of spaces collapsed and blank lines left out.
QList<QStringList> pageLines(const QString& pdf)
{
    QList<QStringList> pages;
    const QStringList texts = pdftools::pdfText(pdf).split(u'\f');
    for (qsizetype page = 0; page + 1 < texts.size(); ++page) {
        QStringList lines;
        for (const QString& line : texts[page].split(u'\n'))
            if (const QString simple = line.simplified(); !simple.isEmpty())
                lines << simple;
        pages << lines;
    }
    return pages;
}

// The share of theirs that ours holds too, each of our lines matching one of theirs at most.
double sharedLines(const QStringList& theirs, const QStringList& ours)
{
    if (theirs.isEmpty())
        return ours.isEmpty() ? 1.0 : 0.0;
    std::map<QString, int> left;
    for (const QString& line : ours)
        ++left[line];
    int shared = 0;
    for (const QString& line : theirs)
        if (int& count = left[line]; count > 0) {
            --count;
            ++shared;
        }
    return double(shared) / double(theirs.size());
}

} // namespace

class tst_LibreOfficeLayout : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void sameLineEnds_data();
    void sameLineEnds();
    void samePages_data();
    void samePages();

private:
    QTemporaryDir mDir;
    QString mCorpusDir;
    QStringList mDocuments;
    bool mHaveOffice = false;
};

void tst_LibreOfficeLayout::initTestCase()
{
    if (!pdftools::available())
        QSKIP("needs poppler-utils (pdftotext)");
    QVERIFY(mDir.isValid());

    QFile::copy(kSample, mDir.filePath(QStringLiteral("sample.doc")));
    QFile::copy(kTemplate, mDir.filePath(QStringLiteral("template.doc")));

    // The corpus prints in a LibreOffice of its own while the documents below are made and printed.
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    mHaveOffice = !soffice.isEmpty();
    QVERIFY(QDir(mDir.path()).mkdir(QStringLiteral("corpus")));
    mCorpusDir = mDir.filePath(QStringLiteral("corpus"));
    QStringList corpus;
    QStringList sources;
    for (const char* name : {"layout-headers", "layout-tables", "layout-pictures", "layout-lists",
                             "layout-sections", "layout-look", "layout-textboxes", "layout-fonts"})
        sources << kCorpus + QLatin1String(name) + kDoc << kCorpus + QLatin1String(name) + kDocx;
    for (const char* name : {"template", "home-improvement"})
        sources << kResources + QLatin1String(name) + kDoc << kResources + QLatin1String(name) + kDocx;
    for (const QString& source : sources) {
        const QFileInfo file(source);
        const bool docx = source.endsWith(kDocx);
        corpus << corpusBase(mCorpusDir, docx ? file.fileName() : file.completeBaseName()) +
                      (docx ? kDocx : kDoc);
        QVERIFY2(QFile::copy(source, corpus.last()), qPrintable(source));
    }
    QProcess corpusOffice;
    if (mHaveOffice)
        startOffice(corpusOffice, soffice, mCorpusDir, corpus);

    // Each list runs from the end of the template backwards, so every anchor is still where it was.
    using Typing = std::vector<std::pair<std::u16string, std::u16string>>;
    auto saveFilled = [&](const QString& name, const Typing& typing) {
        doc::WordDocument document = parse(readAll(kTemplate));
        for (const auto& [anchor, text] : typing)
            typeAfter(document, anchor, text);
        document.save(std::filesystem::path(mDir.filePath(name + QStringLiteral(".doc")).toStdU16String()));
    };
    saveFilled(
        QStringLiteral("filled"),
        {{u"Contractor ", u"Northwind Building Services LLC"},
         {u"Owner ", u"Margaret Ellison-Whitfield"},
         {u"Signed this", u" 14th "},
         {u"as follows ",
          u"one third on signing, one third when the old roof is off and the deck has been inspected and "
          u"found sound,\r\nand the balance within ten days of completion and the final inspection."},
         {u"under the sum of ", u"$18,450.00 (eighteen thousand four hundred fifty dollars)"},
         {u"Work Performed\r\r ",
          u"Remove the existing asphalt shingles down to the deck, replace any damaged sheathing, install "
          u"ice and water shield along the eaves and in the valleys, and lay new architectural shingles "
          u"with continuous ridge venting.\nHaul away all debris and leave the site broom clean."},
         {u"property at", u" 1187 Juniper Hollow Road, Cedar Falls, Iowa 50613"},
         {u"Contractor and", u" Margaret Ellison-Whitfield of Cedar Falls"},
         {u"by and between", u" Northwind Building Services LLC, a roofing company licensed in Iowa"},
         {u"day of", u" March"},
         {u"made the", u" 14th "}});
    // The program's own example agreement, as "Load Sample/Example Data" leaves the form.
    Typing example{
        {u"Contractor ", u" Corwin Ashdale Jr."},
        {u"Owner ", u" Tobias Quenby"},
        {u"Signed thisday of", u" December, 2026"},
        {u"Signed this", u" 7th "},
        {u"as follows ", u"One half would be payed before work start, and rest after work is finished."},
        {u"under the sum of ", u"$74.00"},
        {u"Work Performed\r\r ", u"Build a tree house"},
        {u"property at", u" Birchwood st"},
        {u"Contractor and", u" Tobias Quenby"},
        {u"by and between", u" Corwin Ashdale Jr."},
        {u"day of,", u" June, 2021"},
        {u"made the", u" 5th "}};
    saveFilled(QStringLiteral("agreement"), example);
    // Long work descriptions: many lines in one left-aligned paragraph, and then many pages.
    auto stages = [](std::size_t length) {
        std::u16string work;
        for (int i = 0; work.size() < length; ++i)
            work +=
                u"Stage " + std::u16string(1, char16_t(u'A' + i % 26)) +
                u": prepare the ground, set the posts in concrete, frame the platform and fit the railings. ";
        return work;
    };
    saveFilled(QStringLiteral("longwork"), {{u"Work Performed\r\r ", stages(1100)}});
    for (auto& [anchor, text] : example)
        if (anchor.starts_with(u"Work Performed"))
            text = stages(30000);
    saveFilled(QStringLiteral("longagreement"), example);

    mDocuments = {QStringLiteral("sample"),    QStringLiteral("template"), QStringLiteral("filled"),
                  QStringLiteral("agreement"), QStringLiteral("longwork"), QStringLiteral("longagreement")};
    for (const QString& name : mDocuments) {
        const doc::WordDocument document = parse(readAll(mDir.filePath(name + QStringLiteral(".doc"))));
        render::exportPdf(document.readModel(),
                          mDir.filePath(name + QStringLiteral("-ours.pdf")).toStdString());
    }

    if (!mHaveOffice)
        return;
    QStringList documents;
    for (const QString& name : mDocuments)
        documents << mDir.filePath(name + QStringLiteral(".doc"));
    QProcess office;
    startOffice(office, soffice, mDir.path(), documents);
    QVERIFY(office.waitForFinished(300000));
    QVERIFY(corpusOffice.waitForFinished(300000));
    for (const QString& document : documents + corpus) {
        const QString pdf = QFileInfo(document).path() + u'/' + QFileInfo(document).completeBaseName() +
                            QStringLiteral(".pdf");
        QVERIFY2(QFile::exists(pdf), qPrintable(pdf));
    }
}

void tst_LibreOfficeLayout::sameLineEnds_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("longestParagraph"); // at least this many lines in one paragraph
    QTest::addColumn<bool>("onePage");
    const QList<int> longest{4, 2, 4, 2, 10, 300};
    const QList<bool> onePage{true, true, true, true, false, false};
    for (qsizetype i = 0; i < mDocuments.size(); ++i)
        QTest::newRow(qPrintable(mDocuments[i])) << mDocuments[i] << longest[i] << onePage[i];
}

void tst_LibreOfficeLayout::sameLineEnds()
{
    QFETCH(QString, name);
    QFETCH(int, longestParagraph);
    QFETCH(bool, onePage);
    const doc::WordDocument document = parse(readAll(mDir.filePath(name + QStringLiteral(".doc"))));
    const doc::ReadModel model = document.readModel();

    // Our PDF holds the document's text as text, every paragraph of it, on as many pages as it needs.
    const QString ourPdf = pdftools::pdfText(mDir.filePath(name + QStringLiteral("-ours.pdf")));
    const QString ourLetters = lettersOf(ourPdf);
    for (const doc::Paragraph& paragraph : model.paragraphs) {
        const QString letters = lettersOf(QString::fromStdU16String(paragraph.text));
        QVERIFY2(ourLetters.contains(letters), qPrintable(letters));
    }
    QCOMPARE(ourPdf.count(u'\f') == 1, onePage);

    if (!mHaveOffice)
        QSKIP("needs LibreOffice (soffice) for its layout of the document");
    const QString theirPdf = mDir.filePath(name + QStringLiteral(".pdf"));
    const QStringList theirs =
        lastWords(pdftools::pdfText(theirPdf, {QStringLiteral("-f"), QStringLiteral("1"),
                                               QStringLiteral("-l"), QStringLiteral("1")})
                      .split(u'\n'));

    const render::PageLayout layout = render::layoutPage(model);
    QStringList lines;
    std::map<int, int> linesPerParagraph;
    for (const render::PageLine& line : layout.lines)
        lines << line.text;
    for (const render::PageLine& line : render::layoutDocument(model).lines)
        ++linesPerParagraph[line.paragraph];
    const QStringList ours = lastWords(lines);

    QVERIFY(ours.size() > 5);
    QVERIFY(std::max_element(linesPerParagraph.begin(), linesPerParagraph.end(), [](auto a, auto b) {
                return a.second < b.second;
            })->second >= longestParagraph);
    QCOMPARE(ours, theirs);
    const QString theirAll = pdftools::pdfText(theirPdf);
    QCOMPARE(lastWords(ourPdf.split(u'\n')), lastWords(theirAll.split(u'\n')));
    QCOMPARE(ourPdf.count(u'\f'), theirAll.count(u'\f'));
}

void tst_LibreOfficeLayout::samePages_data()
{
    // What our layout still lacks for each check, which then is expected to fail; empty when it holds.
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("pagesMissing");
    QTest::addColumn<QString>("linesMissing");
    QTest::addColumn<QString>("picturesMissing");
    auto row = [](const char* name, const char* pages, const char* lines, const char* pictures) {
        QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(pages)
                            << QString::fromLatin1(lines) << QString::fromLatin1(pictures);
    };
    row("layout-headers", "", "", "");
    row("layout-tables", "", "", "");
    row("layout-pictures", "", "", "");
    row("layout-lists", "", "", "");
    row("layout-sections", "", "", "");
    row("layout-look", "", "", "");
    row("layout-textboxes", "", "", "");
    row("layout-fonts", "", "", "");
    row("template", "", "", "");
    row("home-improvement", "", "", "");
    row("layout-headers.docx", "", "", "");
    row("layout-tables.docx", "", "", "");
    row("layout-pictures.docx", "", "", "");
    row("layout-lists.docx", "", "", "");
    row("layout-sections.docx", "", "", "");
    row("layout-look.docx", "", "", "");
    row("layout-textboxes.docx", "",
        "LibreOffice places a .docx's shape from its paragraph's own top, below the space after the "
        "paragraph "
        "before, where the layout measures from above that space as for the .doc",
        "");
    row("layout-fonts.docx", "", "", "");
    row("template.docx", "", "", "");
    row("home-improvement.docx", "", "", "");
}

void tst_LibreOfficeLayout::samePages()
{
    QFETCH(QString, name);
    QFETCH(QString, pagesMissing);
    QFETCH(QString, linesMissing);
    QFETCH(QString, picturesMissing);
    if (!mHaveOffice)
        QSKIP("needs LibreOffice (soffice) for its layout of the document");
    const QString base = corpusBase(mCorpusDir, name);
    const QString ourPdf = base + QStringLiteral("-ours.pdf");
    render::exportPdf(readModel(readAll(base + (name.endsWith(kDocx) ? kDocx : kDoc))), ourPdf.toStdString());

    const QList<QStringList> theirs = pageLines(base + QStringLiteral(".pdf"));
    const QList<QStringList> ours = pageLines(ourPdf);
    QStringList shares;
    double lowest = 1.0;
    for (qsizetype page = 0; page < theirs.size(); ++page) {
        const double share = sharedLines(theirs[page], page < ours.size() ? ours[page] : QStringList());
        lowest = std::min(lowest, share);
        shares << QStringLiteral("%1%").arg(qRound(share * 100));
    }
    qInfo("%s: %lld pages by LibreOffice, %lld ours; identical lines on each page: %s", qPrintable(name),
          qlonglong(theirs.size()), qlonglong(ours.size()), qPrintable(shares.join(u' ')));

    if (!pagesMissing.isEmpty())
        QEXPECT_FAIL("", qPrintable(pagesMissing), Continue);
    QCOMPARE(ours.size(), theirs.size());
    if (!linesMissing.isEmpty())
        QEXPECT_FAIL("", qPrintable(linesMissing), Continue);
    QVERIFY2(lowest >= kSameLines, qPrintable(shares.join(u' ')));
    if (!picturesMissing.isEmpty())
        QEXPECT_FAIL("", qPrintable(picturesMissing), Continue);
    QCOMPARE(pdftools::imagePages(ourPdf), pdftools::imagePages(base + QStringLiteral(".pdf")));
}

QTEST_MAIN(tst_LibreOfficeLayout)
#include "tst_libreofficelayout.moc"
