#include "agreementmodel.h"
#include "doc/error.h"
#include "pdftools.h"
#include "render/pagelayout.h"
#include "render/pdfexport.h"
#include "render/pictures.h"
#include "support/testsystem.h"

#include <QDir>
#include <QGlyphRun>
#include <QPageRanges>
#include <QPainter>
#include <QPrinter>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTextLayout>
#include <QtTest>

#include <cerrno>
#include <cstring>

enum class Failure { FolderAtName, UnwritableFolder, FullDisk };
Q_DECLARE_METATYPE(Failure)

class tst_PdfExport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void exportAndPrint();
    void printedPages_data();
    void printedPages();
    void particularsReadBackAsTyped_data();
    void particularsReadBackAsTyped();
    void writtenTogether();
    void failedExportLeavesNothing_data();
    void failedExportLeavesNothing();
    void printThroughQueue();

private:
    QTemporaryDir mDir;
};

void tst_PdfExport::initTestCase()
{
    if (!pdftools::available())
        QSKIP("needs poppler-utils (pdftotext, pdffonts)");
    QVERIFY(mDir.isValid());
}

void tst_PdfExport::exportAndPrint()
{
    // The agreement twice over, on A4 with margins of its own.
    doc::ReadModel model = testmodel::agreement();
    const std::vector<doc::Paragraph> once = model.paragraphs;
    model.paragraphs.insert(model.paragraphs.end(), once.begin(), once.end());
    // Last, a picture the page cannot draw: its frame shows its name.
    model.paragraphs.push_back(testmodel::paragraph(u"\x01", doc::Paragraph::Alignment::Left));
    model.paragraphs.back().pictures = {{0, 0}};
    model.pictures = {{doc::Picture::Format::Unknown, {}, 2880, 720, {}}};
    testmodel::paragraphsAsBody(model);
    model.section() = {11906, 16838, 1134, 1134, 1701, 1440, 720, 720, 720};
    const QString exported = mDir.filePath(QStringLiteral("exported.pdf"));
    const QString title = QStringLiteral("Agreement – Zoë");
    render::exportPdf(model, exported.toStdString(), {title, {}, {}});
    // The print dialog's "Pages from 2 to 2", two copies, to a PDF file, which makes no copies itself.
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(mDir.filePath(QStringLiteral("printed.pdf")));
    printer.setPrintRange(QPrinter::PageRange);
    printer.setFromTo(2, 2);
    printer.setCopyCount(2);
    render::printDocument(model, printer);

    const QString text = pdftools::pdfText(exported);
    QCOMPARE(text.count(u'\f'), 2);
    // The name shows in the frame, as outlines: no text of the document.
    QVERIFY(!text.contains(render::pictureName(doc::Picture::Format::Unknown)));
    const render::PageLayout layout = render::layoutDocument(model);
    QCOMPARE(layout.images.size(), std::size_t(1));
    const render::PageImage& frame = layout.images.front();
    QImage sheet(layout.size(frame.page), QImage::Format_RGB32);
    QPainter painter(&sheet);
    render::paintPage(painter, layout, frame.page);
    painter.end();
    const QImage inside = sheet.copy(frame.rect.toAlignedRect().adjusted(2, 2, -2, -2));
    int ink = 0;
    for (int y = 0; y < inside.height(); ++y)
        for (int x = 0; x < inside.width(); ++x)
            ink += qGray(inside.pixel(x, y)) < 128 ? 1 : 0;
    QVERIFY(ink > 20);
    QCOMPARE(pdftools::pdfText(printer.outputFileName()), (text.section(u'\f', 1, 1) + u'\f').repeated(2));
    const QRegularExpressionMatch info =
        QRegularExpression(QStringLiteral("^Title: +(.*)$"), QRegularExpression::MultilineOption)
            .match(pdftools::run(QStringLiteral("pdfinfo"), {exported}));
    QCOMPARE(info.captured(1), title);

    // In points, twips / 20: the page to the whole point, the first line below the top margin, the first
    // left-aligned word on the left margin.
    const QString boxes = pdftools::pdfText(exported, {QStringLiteral("-bbox")});
    const QRegularExpressionMatch page =
        QRegularExpression(
            QString::fromLatin1(
                R"re(<page width="([\d.]+)" height="([\d.]+)">\s*<word [^>]*yMin="([\d.]+)")re"))
            .match(boxes);
    const QRegularExpressionMatch word =
        QRegularExpression(QString::fromLatin1(R"re(<word xMin="([\d.]+)"[^>]*>THIS<)re")).match(boxes);
    QVERIFY2(page.hasMatch() && word.hasMatch(), qPrintable(boxes.left(2000)));
    QVERIFY(std::abs(page.captured(1).toDouble() - model.section().pageWidth / 20.0) < 1);
    QVERIFY(std::abs(page.captured(2).toDouble() - model.section().pageHeight / 20.0) < 1);
    const double belowTopMargin = page.captured(3).toDouble() - model.section().marginTop / 20.0;
    QVERIFY2(belowTopMargin >= 0 && belowTopMargin < 3, qPrintable(page.captured(3)));
    QVERIFY(std::abs(word.captured(1).toDouble() - model.section().marginLeft / 20.0) < 0.5);

    const QStringList fonts =
        pdftools::run(QStringLiteral("pdffonts"), {exported}).split(u'\n', Qt::SkipEmptyParts).mid(2);
    QCOMPARE(fonts.size(), 2);        // regular and bold
    for (const QString& font : fonts) // name type encoding emb sub uni object generation
        QCOMPARE(font.section(u' ', -5, -5, QString::SectionSkipEmpty), QStringLiteral("yes"));
}

void tst_PdfExport::printedPages_data()
{
    QTest::addColumn<QString>("ranges"); // as the print dialog's "Pages" box takes them
    QTest::addColumn<bool>("lastFirst");
    QTest::addColumn<int>("copies");
    QTest::addColumn<bool>("collate");
    QTest::addColumn<QList<int>>("printed");
    QTest::newRow("every page") << "" << false << 1 << true << QList<int>{1, 2, 3};
    QTest::newRow("from 2 to 2") << "2" << false << 1 << true << QList<int>{2};
    QTest::newRow("pages 1 and 3") << "1,3" << false << 1 << true << QList<int>{1, 3};
    QTest::newRow("range past the end") << "2-5" << false << 1 << true << QList<int>{2, 3};
    QTest::newRow("no page of the document") << "4-5" << false << 1 << true << QList<int>{};
    QTest::newRow("last first") << "" << true << 1 << true << QList<int>{3, 2, 1};
    QTest::newRow("two copies collated") << "1-2" << false << 2 << true << QList<int>{1, 2, 1, 2};
    QTest::newRow("two copies uncollated") << "1-2" << false << 2 << false << QList<int>{1, 1, 2, 2};
}

void tst_PdfExport::printedPages()
{
    QFETCH(QString, ranges);
    QFETCH(bool, lastFirst);
    QFETCH(int, copies);
    QFETCH(bool, collate);
    QFETCH(QList<int>, printed);
    const std::vector<int> pages =
        render::printedPages(3, QPageRanges::fromString(ranges), lastFirst, copies, collate);
    QCOMPARE(QList<int>(pages.begin(), pages.end()), printed);
}

// Qt's PDF engine alone reads 山田 back as the Kangxi radicals ⼭⽥ (where the font shares their glyphs, as
// Noto CJK does) and characters beyond U+FFFF as nothing.
void tst_PdfExport::particularsReadBackAsTyped_data()
{
    QTest::addColumn<QString>("particular");
    QTest::newRow("CJK") << QStringLiteral("山田");
    QTest::newRow("accents") << QStringLiteral("Zoë Brontë-Ångström");
    QTest::newRow("beyond the BMP") << QStringLiteral("😀");
    QTest::newRow("Arabic, joined") << QStringLiteral("رانيا حداد");
}

void tst_PdfExport::particularsReadBackAsTyped()
{
    QFETCH(QString, particular);
    doc::ReadModel model = testmodel::agreement();
    const QFont font = render::layoutDocument(model).styles.front().font;
    QTextLayout drawn(particular, font);
    drawn.beginLayout();
    drawn.createLine();
    drawn.endLayout();
    for (const QGlyphRun& run : drawn.glyphRuns())
        if (run.glyphIndexes().contains(0))
            QSKIP("no font on this system draws it");
    const QString line = QStringLiteral("Owner ") + particular;
    model.paragraphs.push_back(testmodel::paragraph(line.toStdU16String(), doc::Paragraph::Alignment::Left));
    testmodel::paragraphsAsBody(model);
    const QString exported = mDir.filePath(QStringLiteral("particulars.pdf"));
    render::exportPdf(model, exported.toStdString());
    // pdftotext marks right-to-left text with embedding controls of its own.
    const auto readBack = [](const QString& pdf) {
        return pdftools::pdfText(pdf).remove(QRegularExpression(QStringLiteral("[\\x{202A}-\\x{202E}]")));
    };
    const QString text = readBack(exported);
    QVERIFY2(text.contains(line), qPrintable(text.right(200)));
    // The print dialog's "Print to File" writes the same.
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(mDir.filePath(QStringLiteral("printed particulars.pdf")));
    render::printDocument(model, printer);
    QCOMPARE(readBack(printer.outputFileName()), text);
}

// Documents written together each read back as written alone, with their own pages, text and metadata;
// shaped text (Arabic) among them too.
void tst_PdfExport::writtenTogether()
{
    std::vector<doc::ReadModel> models;
    for (const QString& owner :
         {QStringLiteral("Zoë Brontë-Ångström"), QStringLiteral("山田 😀"), QStringLiteral("رانيا حداد")}) {
        doc::ReadModel& model = models.emplace_back(testmodel::agreement());
        model.paragraphs.push_back(
            testmodel::paragraph(owner.toStdU16String(), doc::Paragraph::Alignment::Left));
        testmodel::paragraphsAsBody(model);
    }
    // One of two pages, on A4.
    doc::ReadModel& twice = models.emplace_back(testmodel::agreement());
    const std::vector<doc::Paragraph> once = twice.paragraphs;
    twice.paragraphs.insert(twice.paragraphs.end(), once.begin(), once.end());
    testmodel::paragraphsAsBody(twice);
    twice.section() = {11906, 16838, 1134, 1134, 1701, 1440, 720, 720, 720};

    const auto saved = [this](const QString& name, const QByteArray& bytes) {
        QFile file(mDir.filePath(name));
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() ? file.fileName()
                                                                                    : QString();
    };
    for (const std::vector<std::size_t>& batch : {std::vector<std::size_t>{0, 1, 3}, {1, 2, 0}}) {
        std::vector<render::PdfDocument> documents;
        for (const std::size_t i : batch)
            documents.push_back({&models[i],
                                 {QStringLiteral("Agreement %1").arg(i), QStringLiteral("Author %1").arg(i),
                                  QStringLiteral("Subject %1").arg(i)}});
        const std::vector<render::WrittenPdf> written = render::pdfBytes(documents);
        QCOMPARE(written.size(), documents.size());
        for (std::size_t i = 0; i < documents.size(); ++i) {
            const QString together = saved(QStringLiteral("together %1.pdf").arg(i), written[i].bytes);
            const QString alone = saved(QStringLiteral("alone %1.pdf").arg(i),
                                        render::pdfBytes(*documents[i].model, documents[i].metadata));
            QCOMPARE(pdftools::pdfText(together), pdftools::pdfText(alone));
            const QString info = pdftools::run(QStringLiteral("pdfinfo"), {together});
            for (const QString& said :
                 {documents[i].metadata.title, documents[i].metadata.author, documents[i].metadata.subject})
                QVERIFY2(info.contains(said), qPrintable(info));
            QCOMPARE(written[i].undrawn, render::layoutDocument(*documents[i].model).undrawn);
        }
    }
}

void tst_PdfExport::failedExportLeavesNothing_data()
{
    QTest::addColumn<Failure>("failure");
    QTest::addColumn<int>("reason"); // the errno the message names; 0 for none
    // Refused before the system is asked, so no system reason is named.
    QTest::newRow("a folder at the name") << Failure::FolderAtName << 0;
    QTest::newRow("unwritable folder") << Failure::UnwritableFolder << EACCES;
    QTest::newRow("full disk") << Failure::FullDisk << ENOSPC;
}

void tst_PdfExport::failedExportLeavesNothing()
{
    QFETCH(Failure, failure);
    QFETCH(int, reason);
    const QString folder = mDir.filePath(QString::fromLatin1(QTest::currentDataTag()));
    const QString target = folder + QStringLiteral("/agreement.pdf");
    QVERIFY(QDir().mkpath(failure == Failure::FolderAtName ? target : folder));
    bool mounted = false;
    const auto restore = qScopeGuard([&] {
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        if (mounted)
            TestSystem::unmount(folder);
    });
    if (failure == Failure::UnwritableFolder && !TestSystem::lockedFoldersStopWrites())
        QSKIP(TestSystem::kNoLockedFolders);
    if (failure == Failure::FullDisk) {
        mounted = TestSystem::mountSmallFileSystem(folder, 64);
        if (!mounted)
            QSKIP(TestSystem::kNoSmallFileSystem);
    }
    const QByteArray earlier("the earlier export");
    QFile file(target);
    if (failure != Failure::FolderAtName)
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(earlier) == earlier.size() && file.flush());
    file.close();
    if (failure == Failure::UnwritableFolder)
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
    QFile filler(folder + QStringLiteral("/filler"));
    if (failure == Failure::FullDisk && filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        while (filler.write(QByteArray(4096, 'x')) == 4096) {
        }

    const auto entries = [&] {
        return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    };
    const QStringList before = entries();
    try {
        render::exportPdf(testmodel::agreement(), target.toStdString());
        QFAIL("the export reported success");
    } catch (const doc::Error& error) {
        QCOMPARE(error.kind(), doc::Error::Kind::Io);
        const QString message = QString::fromStdString(error.what());
        QVERIFY2(message.contains(target) &&
                     (reason == 0 || message.contains(QString::fromLocal8Bit(std::strerror(reason)))),
                 error.what());
    }
    QCOMPARE(entries(), before);
    if (failure == Failure::FolderAtName) {
        QVERIFY(QFileInfo(target).isDir());
    } else {
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), earlier);
    }
}

QTEST_MAIN(tst_PdfExport)
#include "tst_pdfexport.moc"

namespace
{

// Each line's words as pdftotext -bbox-layout finds them, by the right edge of each word in
// points. The queue's PDF carries the fonts as Type 3 glyphs of other names and heights, so the
// words' texts and tops are not comparable; their right edges and the lines they stand in are.
QList<QList<double>> wordLines(const QString& pdf)
{
    static const QRegularExpression item(
        QString::fromLatin1(R"re(<line |<word xMin="[\d.]+" yMin="[\d.]+" xMax="([\d.]+)")re"));
    QList<QList<double>> lines;
    for (const QRegularExpressionMatch& m :
         item.globalMatch(pdftools::pdfText(pdf, {QStringLiteral("-bbox-layout")}))) {
        if (m.captured(1).isEmpty())
            lines.append(QList<double>());
        else if (!lines.isEmpty())
            lines.last().append(m.captured(1).toDouble());
    }
    return lines;
}

} // namespace

// Run by tools/check-print-queue.sh against a CUPS queue with a PDF printer that it starts:
// the printed agreement comes out of the queue with the exported PDF's lines and words.
void tst_PdfExport::printThroughQueue()
{
    const QString queue = qEnvironmentVariable("BRINDLEWICK_PRINT_QUEUE");
    const QDir output(qEnvironmentVariable("BRINDLEWICK_PRINT_OUTPUT"));
    if (queue.isEmpty())
        QSKIP("no print queue named (BRINDLEWICK_PRINT_QUEUE)");
    const doc::ReadModel model = testmodel::agreement();
    const QString reference = mDir.filePath(QStringLiteral("reference.pdf"));
    render::exportPdf(model, reference.toStdString());
    const QString title = QStringLiteral("brindlewick-check-%1").arg(QCoreApplication::applicationPid());
    QPrinter printer(QPrinter::HighResolution);
    printer.setPrinterName(queue);
    QCOMPARE(printer.printerName(), queue);
    printer.setDocName(title);
    render::printDocument(model, printer);
    QVERIFY(printer.printerState() != QPrinter::Error);

    const QStringList pattern{title + QStringLiteral("*.pdf")};
    QTRY_VERIFY_WITH_TIMEOUT(!output.entryList(pattern, QDir::Files).isEmpty(), 60000);
    const QString printed = output.filePath(output.entryList(pattern, QDir::Files).constFirst());
    const auto cleanup = qScopeGuard([&] { QFile::remove(printed); });
    QTRY_VERIFY(QFileInfo(printed).size() > 0 && pdftools::pdfText(printed).contains(u'\f'));
    const QList<QList<double>> expected = wordLines(reference);
    const QList<QList<double>> got = wordLines(printed);
    QCOMPARE(got.size(), expected.size());
    for (qsizetype line = 0; line < expected.size(); ++line) {
        QCOMPARE(got[line].size(), expected[line].size());
        for (qsizetype i = 0; i < expected[line].size(); ++i)
            QVERIFY2(std::abs(got[line][i] - expected[line][i]) < 1.5,
                     qPrintable(QStringLiteral("line %1, word %2").arg(line).arg(i)));
    }
}
