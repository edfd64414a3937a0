// One run of each command through the real executable.
#include "agreement/clientlist.h"
#include "agreement/filledagreement.h"
#include "agreement/particulars.h"
#include "agreement/tagtemplate.h"
#include "cli/commandline.h"
#include "doc/fileio.h"
#include "product/product.h"
#include "render/pictures.h"
#include "support/clientlistrows.h"
#include "support/docxbuilder.h"
#include "support/sampleparticulars.h"
#include "support/testsystem.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

#include <cerrno>
#include <cstring>

namespace
{

struct Run {
    int status;
    QString out;
    QString err;
    QByteArray outBytes;
};

// outFile, when given, takes standard output.
Run brindlewick(const QStringList& args, const QString& outFile = {})
{
    QProcess process;
    if (!outFile.isEmpty())
        process.setStandardOutputFile(outFile);
    process.start(QStringLiteral(BRINDLEWICK_EXECUTABLE), args);
    // A program that did not start, or did not end by itself, says why in err.
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return {-1, {}, process.errorString(), {}};
    // Lines end as the system ends them on a console: CRLF on Windows.
    const auto text = [](const QByteArray& bytes) {
        return QString::fromUtf8(bytes).replace(QLatin1String("\r\n"), QLatin1String("\n"));
    };
    const QByteArray out = process.readAllStandardOutput();
    return {process.exitCode(), text(out), text(process.readAllStandardError()), out};
}

// What fill is given: the sample with the work on two lines.
const agreement::Particulars kGiven = [] {
    agreement::Particulars p = kSample;
    p[agreement::Field::WorkPerformed] = QStringLiteral("Roof\nGutters");
    return p;
}();
const QString kSigned = QStringLiteral("2027-03-01");

// fill's options: one for each particular of kGiven, an amount given as the bare number it
// shows; the signing date and the locale kSample is shown in.
const QStringList kParticulars = [] {
    QStringList out;
    for (const agreement::Particular& row : agreement::kParticulars) {
        out << QStringLiteral("--") + QLatin1String(row.plain)
            << (row.kind == agreement::Kind::Date     ? agreement::dateText(kGiven.agreementDate)
                : row.kind == agreement::Kind::Amount ? QLatin1String(row.sample)
                                                      : kGiven[row.field]);
    }
    return out + QStringList{QStringLiteral("--") + QLatin1String(agreement::kSigningDateName), kSigned,
                             QStringLiteral("--locale"), QStringLiteral("en_US")};
}();

// An own .docx template (DocxBuilder::splitTagBody), written once a run.
QString ownDocx()
{
    static const QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("own") +
                                      QLatin1String(agreement::extension(agreement::DocumentFormat::Docx)));
    if (!QFileInfo::exists(path))
        DocxBuilder::write(path, DocxBuilder::package(DocxBuilder::splitTagBody()));
    return path;
}

// The summary line without its time.
QString counts(int made, int skipped, int failed)
{
    const QString summary = QString::fromLatin1(cli::Text::kSummary).arg(made).arg(skipped).arg(failed);
    return summary.left(summary.indexOf(QLatin1String("%4")));
}

// The commands that write PDFs: fill with kGiven, merge with the row's particulars.
enum class PdfWriter { Fill, Merge };

// What a PDF's XMP metadata (stored unfiltered, as PDF/A has it) says: the Dublin Core entries' texts and the
// PDF/A identification, by their local names.
QMap<QString, QString> xmpOf(const QString& pdf)
{
    QFile file(pdf);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    const qsizetype begin = bytes.indexOf("<x:xmpmeta");
    const QByteArray endTag = "</x:xmpmeta>";
    const qsizetype end = bytes.indexOf(endTag, begin);
    if (begin < 0 || end < 0)
        return {};
    const QString dublinCore = QStringLiteral("http://purl.org/dc/elements/1.1/");
    const QString pdfA = QStringLiteral("http://www.aiim.org/pdfa/ns/id/");
    QXmlStreamReader xml(bytes.mid(begin, end + endTag.size() - begin));
    QMap<QString, QString> said;
    QString entry;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        for (const QXmlStreamAttribute& attribute : xml.attributes())
            if (attribute.namespaceUri() == pdfA)
                said[attribute.name().toString()] = attribute.value().toString();
        if (xml.namespaceUri() == dublinCore)
            entry = xml.name().toString();
        else if (xml.namespaceUri() == pdfA)
            said[xml.name().toString()] = xml.readElementText();
        else if (xml.name() == QLatin1String("li") && !entry.isEmpty())
            said[entry] = xml.readElementText();
    }
    return said;
}

} // namespace

Q_DECLARE_METATYPE(PdfWriter)

class tst_CommandLine : public QObject
{
    Q_OBJECT

private slots:
    void fillThenRead();
    void fillRefuses_data();
    void fillRefuses();
    void mergeMakesTheGoodRows();
    void pdfsNameTheirAgreement_data();
    void pdfsNameTheirAgreement();
    void ownTemplate();
    void helpVersionAndUnknownOptions();
    void startRemovesWhatACrashedSaveLeft();
};

void tst_CommandLine::fillThenRead()
{
    QTemporaryDir dir;
    const QString doc = dir.filePath(QStringLiteral("a.doc"));
    const QString pdf = dir.filePath(QStringLiteral("a.pdf"));
    QCOMPARE(brindlewick(QStringList{QStringLiteral("fill")} + kParticulars +
                         QStringList{QStringLiteral("-o"), doc})
                 .status,
             cli::kOk);
    QCOMPARE(brindlewick(QStringList{QStringLiteral("fill")} + kParticulars +
                         QStringList{QStringLiteral("-o"), pdf})
                 .status,
             cli::kOk);
    QFile pdfFile(pdf);
    QVERIFY(pdfFile.open(QIODevice::ReadOnly));
    QVERIFY(pdfFile.read(5) == "%PDF-");
    // Standard output gets the file's bytes; a full disk is named as such.
    const QStringList toOutput = QStringList{QStringLiteral("fill")} + kParticulars +
                                 QStringList{QStringLiteral("-o"), QStringLiteral("-")};
    const Run piped = brindlewick(toOutput);
    QCOMPARE(piped.status, cli::kOk);
    QFile docFile(doc);
    QVERIFY(docFile.open(QIODevice::ReadOnly));
    QVERIFY(piped.outBytes == docFile.readAll());
#ifdef Q_OS_LINUX
    const Run full = brindlewick(toOutput, QStringLiteral("/dev/full"));
    QCOMPARE(full.status, cli::kFailed);
    QVERIFY2(full.err.contains(QString::fromLatin1(cli::Text::kStandardOutputFailed)
                                   .arg(QString::fromLocal8Bit(std::strerror(ENOSPC)))),
             qPrintable(full.err));
#endif

    const Run read =
        brindlewick({QStringLiteral("read"), doc, QStringLiteral("--locale"), QStringLiteral("en_US")});
    QCOMPARE(read.status, cli::kOk);
    // A line for each particular as the form shows it, line breaks escaped, and the signing date.
    QString expected;
    for (const agreement::Particular& row : agreement::kParticulars) {
        const QString value =
            row.kind == agreement::Kind::Date ? agreement::dateText(kGiven.agreementDate) : kGiven[row.field];
        expected += QLatin1String(row.plain) + QLatin1Char('=') +
                    QString(value).replace(QLatin1Char('\n'), QLatin1String("\\n")) + QLatin1Char('\n');
    }
    expected += QLatin1String(agreement::kSigningDateName) + QLatin1Char('=') + kSigned + QLatin1Char('\n');
    QCOMPARE(read.out, expected);
    QCOMPARE(brindlewick({QStringLiteral("read"), pdf}).status, cli::kFailed);

    // The same agreement as a .docx reads back the same.
    const QString docx = dir.filePath(QStringLiteral("a") +
                                      QLatin1String(agreement::extension(agreement::DocumentFormat::Docx)));
    QCOMPARE(brindlewick(QStringList{QStringLiteral("fill")} + kParticulars +
                         QStringList{QStringLiteral("-o"), docx})
                 .status,
             cli::kOk);
    const Run readDocx =
        brindlewick({QStringLiteral("read"), docx, QStringLiteral("--locale"), QStringLiteral("en_US")});
    QCOMPARE(readDocx.status, cli::kOk);
    QCOMPARE(readDocx.out, expected);
}

void tst_CommandLine::fillRefuses_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("value");    // for -o, a name in the test's folder
    QTest::addColumn<QString>("message");  // %1 the option, or the -o name
    QTest::addColumn<QStringList>("more"); // further arguments
    QTest::newRow("a bad price") << "--price"
                                 << "lots"
                                 << QString::fromLatin1(cli::Text::kBadValue)
                                        .arg(QStringLiteral("%1"),
                                             QLatin1String(agreement::ClientList::Text::kBadPrice))
                                 << QStringList();
    QTest::newRow("an extension the program does not write")
        << "-o"
        << "a.odt" << QString::fromLatin1(cli::Text::kUnwrittenFormat) << QStringList();
    QTest::newRow("an own .docx template's agreement as .doc")
        << "-o"
        << "a.doc"
        << QString::fromLatin1(cli::Text::kBadValue)
               .arg(QStringLiteral("%1"),
                    QString::fromUtf8(agreement::FilledAgreement::kOnlyFormat)
                        .arg(agreement::TagTemplate::fromFile(ownDocx()).name(),
                             QLatin1String(agreement::extension(agreement::DocumentFormat::Docx))))
        << QStringList{QStringLiteral("--template"), ownDocx()};
}

// A usage error; nothing is written.
void tst_CommandLine::fillRefuses()
{
    QFETCH(QString, option);
    QFETCH(QString, value);
    QFETCH(QString, message);
    QFETCH(QStringList, more);
    QTemporaryDir dir;
    QStringList args = QStringList{QStringLiteral("fill")} + kParticulars +
                       QStringList{QStringLiteral("-o"), dir.filePath(QStringLiteral("a.doc"))} + more;
    const bool out = option == QLatin1String("-o");
    args[args.indexOf(option) + 1] = out ? dir.filePath(value) : value;
    const Run run = brindlewick(args);
    QCOMPARE(run.status, cli::kUsage);
    // The text up to what the message lists after the name.
    const QString expected =
        message.arg(out ? dir.filePath(value) : option).section(QLatin1String("%2"), 0, 0);
    QVERIFY2(run.err.contains(expected), qPrintable(run.err));
    QVERIFY(QDir(dir.path()).isEmpty());
}

// template lists and refuses, fill and merge fill an own template with its extra particulars, read
// gives them back.
void tst_CommandLine::ownTemplate()
{
    const QString plain = QStringLiteral(BRINDLEWICK_TEST_DATA "/own-plain.doc");
    const QString faulty = QStringLiteral(BRINDLEWICK_TEST_DATA "/own-faulty.doc");
    const agreement::TagTemplate tagTemplate = agreement::TagTemplate::fromFile(plain);
    // A file, or the carried template by its name; a picture the preview cannot draw is named after.
    const QString pictures = QStringLiteral(BRINDLEWICK_TEST_DATA "/layout-pictures.doc");
    const agreement::TagTemplate withPictures = agreement::TagTemplate::fromFile(pictures);
    const agreement::TagTemplate docxTemplate = agreement::TagTemplate::fromFile(ownDocx());
    const QString metafile =
        QStringLiteral("brindlewick: ") + QString::fromUtf8(cli::Text::kUndrawnPicture)
                                              .arg(pictures)
                                              .arg(5)
                                              .arg(agreement::TagTemplateText::kInMain)
                                              .arg(16)
                                              .arg(render::pictureName(doc::Picture::Format::Wmf));
    for (const auto& [name, listed, undrawn] :
         {std::tuple{plain, &tagTemplate, QString()},
          std::tuple{QString::fromLatin1(agreement::HomeImprovement::kName),
                     &agreement::HomeImprovement::get(), QString()},
          std::tuple{pictures, &withPictures, metafile + QLatin1Char('\n')},
          std::tuple{ownDocx(), &docxTemplate, QString()}}) {
        QString names;
        for (const agreement::TemplateParticular& p : listed->particulars())
            names += agreement::plainName(p) + QLatin1Char('\n');
        const Run run = brindlewick({QStringLiteral("template"), name});
        QCOMPARE(run.status, cli::kOk);
        QCOMPARE(run.out, names);
        QCOMPARE(run.err, undrawn);
    }
    const Run refused = brindlewick({QStringLiteral("template"), faulty});
    QCOMPARE(refused.status, cli::kFailed);
    try {
        agreement::TagTemplate::fromFile(faulty);
        QFAIL("the faulty template was taken");
    } catch (const agreement::TemplateRefused& e) {
        QCOMPARE(refused.err.count(faulty + QStringLiteral(": ")), e.faults().size());
    }

    QTemporaryDir dir;
    const QStringList extras = tagTemplate.wanted().extras;
    QVERIFY(extras.size() >= 2);
    QStringList fill = QStringList{QStringLiteral("fill"), QStringLiteral("--template"), plain} +
                       kParticulars +
                       QStringList{QStringLiteral("-o"), dir.filePath(QStringLiteral("own.doc"))};
    const Run lacking = brindlewick(fill);
    QCOMPARE(lacking.status, cli::kUsage);
    QVERIFY2(lacking.err.contains(QString::fromLatin1(cli::Text::kMissingField).arg(extras.front())),
             qPrintable(lacking.err));
    for (const QString& extra : extras)
        fill << QStringLiteral("--field") << QStringLiteral("%1=%2 given").arg(extra.toUpper(), extra);
    fill << QStringLiteral("--field=Nowhere=x");
    const Run filled = brindlewick(fill);
    QCOMPARE(filled.status, cli::kOk);
    QVERIFY2(
        filled.err.contains(QString::fromLatin1(cli::Text::kUnknownField).arg(QStringLiteral("Nowhere"))),
        qPrintable(filled.err));
    const Run read = brindlewick(
        {QStringLiteral("read"), dir.filePath(QStringLiteral("own.doc")), QStringLiteral("--json")});
    QCOMPARE(read.status, cli::kOk);
    for (const QString& extra : extras)
        QVERIFY2(read.out.contains(QStringLiteral("\"%1\": \"%1 given\"").arg(extra)), qPrintable(read.out));

    // merge: the extras' columns by name; a row that leaves one empty is named with its column.
    QFile csv(dir.filePath(QStringLiteral("clients.csv")));
    QVERIFY(csv.open(QIODevice::WriteOnly));
    const QByteArrayList extraColumns = [&] {
        QByteArrayList out;
        for (const QString& extra : extras)
            out << extra.toUtf8();
        return out;
    }();
    QByteArrayList emptyExtra(extraColumns.size(), "given");
    emptyExtra.front() = "";
    csv.write((ClientListRows::header() + extraColumns).join(',') + "\n" +
              (ClientListRows::cells() + QByteArrayList(extraColumns.size(), "given")).join(',') + "\n" +
              (ClientListRows::cells() + emptyExtra).join(',') + "\n");
    csv.close();
    const Run merged =
        brindlewick({QStringLiteral("merge"), csv.fileName(), QStringLiteral("--out"),
                     dir.filePath(QStringLiteral("out")), QStringLiteral("--template"), plain});
    QCOMPARE(merged.status, cli::kFailed);
    QVERIFY2(merged.out.contains(counts(1, 0, 1)), qPrintable(merged.out));
    QVERIFY2(merged.err.contains(QString::fromLatin1(cli::Text::kRowColumnProblem)
                                     .arg(QStringLiteral("3"), extras.front(),
                                          QLatin1String(agreement::ClientList::Text::kNoValue))),
             qPrintable(merged.err));

    // An own .docx template: its tag split over runs filled, the agreement written as .docx by fill and by
    // merge, and read back.
    const QString docxSuffix = QLatin1String(agreement::extension(agreement::DocumentFormat::Docx));
    const QString ownAgreement = dir.filePath(QStringLiteral("own") + docxSuffix);
    QCOMPARE(brindlewick(QStringList{QStringLiteral("fill"), QStringLiteral("--template"), ownDocx()} +
                         kParticulars + QStringList{QStringLiteral("-o"), ownAgreement})
                 .status,
             cli::kOk);
    const Run readDocx = brindlewick({QStringLiteral("read"), ownAgreement});
    QCOMPARE(readDocx.status, cli::kOk);
    QVERIFY2(readDocx.out.contains(QLatin1String(agreement::plainName(agreement::Field::Owner)) +
                                   QLatin1Char('=') + kGiven[agreement::Field::Owner]),
             qPrintable(readDocx.out));
    const QString docxFolder = dir.filePath(QStringLiteral("docx"));
    const Run mergedDocx = brindlewick({QStringLiteral("merge"), csv.fileName(), QStringLiteral("--out"),
                                        docxFolder, QStringLiteral("--template"), ownDocx()});
    QVERIFY2(mergedDocx.out.contains(counts(2, 0, 0)), qPrintable(mergedDocx.out + mergedDocx.err));
    QCOMPARE(QDir(docxFolder).entryList({QLatin1Char('*') + docxSuffix}, QDir::Files).size(), 2);
}

void tst_CommandLine::mergeMakesTheGoodRows()
{
    QTemporaryDir dir;
    QFile csv(dir.filePath(QStringLiteral("clients.csv")));
    QVERIFY(csv.open(QIODevice::WriteOnly));
    // As a spreadsheet exports it in Europe: semicolons, Windows-1252.
    const auto line = [](const QByteArray& name, const QByteArrayList& cells) {
        return name + ';' + cells.join(';') + "\r\n";
    };
    csv.write(line("client", ClientListRows::header()) +
              line("Ellison/1", ClientListRows::cells(agreement::Field::Owner, "Bj\xF6rk")) +
              line("bad", ClientListRows::cells(agreement::Field::ContractPrice, "lots")) +
              line("", ClientListRows::cells()));
    csv.close();
    const QString out = dir.filePath(QStringLiteral("out"));
    const QStringList args = {QStringLiteral("merge"),  csv.fileName(),          QStringLiteral("--out"), out,
                              QStringLiteral("--name"), QStringLiteral("client")};
    // The folder is made, not the one above it.
    const QString deeper = dir.filePath(QStringLiteral("no/out"));
    const Run noParent =
        brindlewick({QStringLiteral("merge"), csv.fileName(), QStringLiteral("--out"), deeper});
    QVERIFY2(noParent.err.contains(QString::fromLatin1(cli::Text::kNoFolder).arg(QFileInfo(deeper).path())),
             qPrintable(noParent.err));
    QVERIFY(!QFileInfo::exists(QFileInfo(deeper).path()));
    const Run first = brindlewick(args);
    QCOMPARE(first.status, cli::kFailed);
    QCOMPARE(first.err.count(QString::fromLatin1(cli::Text::kReadAsWindows1252)), 1);
    QCOMPARE(QDir(out).entryList(QDir::Files),
             (QStringList{QStringLiteral("Ellison_1.doc"), QStringLiteral("row-4.doc")}));
    QVERIFY2(first.out.contains(counts(2, 0, 1)), qPrintable(first.out));
    // Made again, the files are there already and are left.
    QVERIFY(brindlewick(args).out.contains(counts(0, 2, 1)));
    // --format names the other Word format; the same names take its extension.
    const QString docx = QLatin1String(agreement::extension(agreement::DocumentFormat::Docx));
    QVERIFY(brindlewick(args + QStringList{QStringLiteral("--format"), docx.mid(1)})
                .out.contains(counts(2, 0, 1)));
    QCOMPARE(QDir(out).entryList({QLatin1Char('*') + docx}, QDir::Files),
             (QStringList{QStringLiteral("Ellison_1") + docx, QStringLiteral("row-4") + docx}));

    // A PDF whose owner no installed font draws is made, and the owner named; the PDF made with it is not.
    const QString noFont = QString::fromUcs4(U"\U0010FFFD"); // private use: no font has it
    QFile boxed(dir.filePath(QStringLiteral("boxed.csv")));
    QVERIFY(boxed.open(QIODevice::WriteOnly));
    boxed.write(
        ClientListRows::header().join(',') + '\n' + ClientListRows::cells().join(',') + '\n' +
        ClientListRows::cells(agreement::Field::Owner, (QLatin1Char('B') + noFont).toUtf8()).join(',') +
        '\n');
    boxed.close();
    const QString pdfs = dir.filePath(QStringLiteral("pdfs"));
    const Run pdf = brindlewick(
        {QStringLiteral("merge"), boxed.fileName(), QStringLiteral("--out"), pdfs, QStringLiteral("--pdf")});
    QCOMPARE(pdf.status, cli::kOk);
    const QString where = QString::fromLatin1(agreement::FilledAgreement::kUndrawnWhere)
                              .arg(QLatin1String(agreement::plainName(agreement::Field::Owner)), noFont);
    QVERIFY2(pdf.err.contains(QString::fromLatin1(cli::Text::kUndrawn)
                                  .arg(QDir(pdfs).filePath(QStringLiteral("row-3.pdf")), where)),
             qPrintable(pdf.err));
    QVERIFY2(!pdf.err.contains(QStringLiteral("row-2.pdf")), qPrintable(pdf.err));
}

void tst_CommandLine::pdfsNameTheirAgreement_data()
{
    QTest::addColumn<PdfWriter>("writer");
    QTest::addColumn<QString>("contractor");
    QTest::addColumn<QString>("owner");
    QTest::addColumn<QString>("location");
    QTest::addColumn<QString>("subject");
    const auto subject = [](const QString& owner, const QString& location) {
        return QString::fromUtf8(agreement::FilledAgreement::kPdfSubject).arg(owner, location);
    };
    const auto sample = [](agreement::Field field) { return kGiven[field]; };
    using agreement::Field;
    QTest::newRow("fill -o") << PdfWriter::Fill << sample(Field::Contractor) << sample(Field::Owner)
                             << sample(Field::Location)
                             << subject(sample(Field::Owner), sample(Field::Location));
    QTest::newRow("merge, markup and accents")
        << PdfWriter::Merge << QStringLiteral("Zoë & <Sons>") << QStringLiteral("Björk")
        << QStringLiteral("山田 1") << subject(QStringLiteral("Björk"), QStringLiteral("山田 1"));
    QTest::newRow("merge, no location") << PdfWriter::Merge << sample(Field::Contractor)
                                        << sample(Field::Owner) << QString() << sample(Field::Owner);
}

// Every PDF declares PDF/A-1b and names its agreement, alike in its XMP metadata and its document
// information.
void tst_CommandLine::pdfsNameTheirAgreement()
{
    QFETCH(PdfWriter, writer);
    QFETCH(QString, contractor);
    QFETCH(QString, owner);
    QFETCH(QString, location);
    QFETCH(QString, subject);
    using agreement::Field;
    QTemporaryDir dir;
    QString pdf = dir.filePath(QStringLiteral("a.pdf"));
    if (writer == PdfWriter::Fill) {
        QCOMPARE(brindlewick(QStringList{QStringLiteral("fill")} + kParticulars +
                             QStringList{QStringLiteral("-o"), pdf})
                     .status,
                 cli::kOk);
    } else {
        QByteArrayList cells = ClientListRows::cells();
        for (const auto& [field, value] :
             {std::pair{Field::Contractor, contractor}, {Field::Owner, owner}, {Field::Location, location}})
            cells[ClientListRows::column(field) - 1] = value.toUtf8();
        QFile csv(dir.filePath(QStringLiteral("clients.csv")));
        QVERIFY(csv.open(QIODevice::WriteOnly));
        csv.write(ClientListRows::header().join(',') + '\n' + cells.join(',') + '\n');
        csv.close();
        const QString out = dir.filePath(QStringLiteral("out"));
        QCOMPARE(brindlewick({QStringLiteral("merge"), csv.fileName(), QStringLiteral("--out"), out,
                              QStringLiteral("--pdf")})
                     .status,
                 cli::kOk);
        const QStringList made = QDir(out).entryList(QDir::Files);
        QCOMPARE(made.size(), 1);
        pdf = QDir(out).filePath(made.constFirst());
    }

    const QMap<QString, QString> xmp = xmpOf(pdf);
    QCOMPARE(xmp.value(QStringLiteral("part")), QStringLiteral("1"));
    QCOMPARE(xmp.value(QStringLiteral("conformance")), QStringLiteral("B"));
    QCOMPARE(xmp.value(QStringLiteral("title")), QLatin1String(Product::kDocumentName));
    QCOMPARE(xmp.value(QStringLiteral("creator")), contractor);
    QCOMPARE(xmp.value(QStringLiteral("description")), subject);
    const QString pdfinfo = QStandardPaths::findExecutable(QStringLiteral("pdfinfo"));
    if (pdfinfo.isEmpty())
        return;
    QProcess info;
    info.start(pdfinfo, {pdf});
    QVERIFY(info.waitForFinished(60000));
    const QString said = QString::fromUtf8(info.readAllStandardOutput());
    const auto entry = [&said](const char* key) {
        return QRegularExpression(QStringLiteral("^%1: +(.*)$").arg(QLatin1String(key)),
                                  QRegularExpression::MultilineOption)
            .match(said)
            .captured(1);
    };
    QCOMPARE(entry("Title"), QLatin1String(Product::kDocumentName));
    QCOMPARE(entry("Author"), contractor);
    QCOMPARE(entry("Subject"), subject);
}

void tst_CommandLine::helpVersionAndUnknownOptions()
{
    const Run help = brindlewick({QStringLiteral("--help")});
    QCOMPARE(help.status, cli::kOk);
    // fill takes an option for each particular.
    for (const agreement::Particular& p : agreement::kParticulars)
        QVERIFY2(help.out.contains(QStringLiteral("--%1 ").arg(QLatin1String(p.plain))), p.plain);
    QVERIFY(brindlewick({QStringLiteral("--version")}).out.startsWith(QStringLiteral("brindlewick ")));
    const Run unknown = brindlewick({QStringLiteral("read"), QStringLiteral("--bogus")});
    QCOMPARE(unknown.status, cli::kUsage);
    QVERIFY(
        unknown.err.contains(QString::fromLatin1(cli::Text::kUnknownOption).arg(QStringLiteral("--bogus"))));
}

// A save cut short where the file system has no anonymous files leaves a noted temporary
// beside its target; the next run of the command line removes it, as the window does.
void tst_CommandLine::startRemovesWhatACrashedSaveLeft()
{
    if (!TestSystem::kCrashesStaged)
        QSKIP(TestSystem::kNoCrashes);
    QTemporaryDir temp;
    QTemporaryDir folder;
    doc::fileio::keepTemporaryNotesIn(std::filesystem::path(temp.path().toStdU16String()));
    const bool crashed = TestSystem::crashWhileSaving(
        std::filesystem::path(folder.filePath(QStringLiteral("a.doc")).toStdU16String()), true);
    doc::fileio::keepTemporaryNotesIn({});
    QVERIFY(crashed);
    const auto left = [&] { return QDir(folder.path()).entryList(QDir::Files | QDir::Hidden); };
    QCOMPARE(left().size(), 1);
    // A day later.
    for (const QFileInfo& note : QDir(temp.path()).entryInfoList(QDir::Files | QDir::Hidden)) {
        QFile file(note.filePath());
        QVERIFY(file.open(QIODevice::ReadWrite) && file.setFileTime(QDateTime::currentDateTime().addDays(-1),
                                                                    QFileDevice::FileModificationTime));
    }
    const QByteArray oldTemp = qgetenv("TEMP");
    qputenv("TEMP", temp.path().toLocal8Bit());
    brindlewick({QStringLiteral("read"), folder.filePath(QStringLiteral("a.doc"))});
    qputenv("TEMP", oldTemp);
    QCOMPARE(left(), QStringList());
}

QTEST_GUILESS_MAIN(tst_CommandLine)
#include "tst_commandline.moc"
