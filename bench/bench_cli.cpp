// The command line as a person runs it: fill as a whole process (.doc and .docx), read of a saved
// agreement, and merge of a 1,000-row client list into .doc and .docx files and into PDF, from the
// standard template and from a template of tags; and the filling in the engine of a long own template
// and of the standard agreement's .docx.
#include "agreement/agreementtemplate.h"
#include "agreement/insertions.h"
#include "agreement/particulars.h"
#include "agreement/readback.h"
#include "agreement/tagtemplate.h"
#include "benchstats.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace
{

using benchstats::median;

// Milliseconds of one run of the program with these arguments.
double runMs(const QString& program, const QStringList& args)
{
    QElapsedTimer clock;
    clock.start();
    QProcess process;
    process.start(program, args);
    process.waitForFinished(600000);
    const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    if (process.exitCode() != 0)
        std::fprintf(stderr, "%s\n", process.readAllStandardError().constData());
    return ms;
}

// A particular's value in agreement number i: the table's sample made a little longer, the
// several-line ones on two lines, the price different for each.
QString valueOf(const agreement::Particular& row, int i)
{
    const QString sample = QString::fromUtf8(row.sample);
    switch (row.kind) {
    case agreement::Kind::Date:
        return QStringLiteral("2027-03-15");
    case agreement::Kind::Amount:
        return QString::number(10000 + i);
    case agreement::Kind::Line:
        return QStringLiteral("%1 %2").arg(sample).arg(i);
    case agreement::Kind::Lines:
        return sample + QStringLiteral("\r\n") + sample;
    }
    return sample;
}

QString csvCell(QString text)
{
    return QLatin1Char('"') + text.replace(QLatin1Char('"'), QLatin1String("\"\"")) + QLatin1Char('"');
}

void writeClientList(const QString& path, int rows, const QStringList& extras = {})
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return;
    QStringList header{QStringLiteral("client")};
    for (const agreement::Particular& row : agreement::kParticulars)
        header << QLatin1String(row.plain);
    for (const QString& extra : extras)
        header << csvCell(extra);
    file.write(header.join(QLatin1Char(',')).toUtf8() + "\r\n");
    for (int i = 0; i < rows; ++i) {
        QStringList cells{QStringLiteral("Client %1").arg(i)};
        for (const agreement::Particular& row : agreement::kParticulars)
            cells << csvCell(valueOf(row, i));
        for (const QString& extra : extras)
            cells << csvCell(QStringLiteral("%1 %2").arg(extra).arg(i));
        file.write(cells.join(QLatin1Char(',')).toUtf8() + "\r\n");
    }
}

// The carried template of tags, lengthened to about thirty pages (90,000 characters) and two hundred
// tags by paragraphs that each hold one.
agreement::TagTemplate longTemplate(const QString& path)
{
    doc::WordDocument document = doc::WordDocument::load(std::filesystem::path(path.toStdU16String()));
    std::u16string paragraph;
    while (paragraph.size() < 440)
        paragraph += u"The Contractor will keep the work area safe and tidy and protect the property. ";
    std::u16string text;
    for (int i = 0; i < 180; ++i)
        text += paragraph + u"Agreed by {{Owner}}.\r";
    document.insertText(0, text);
    const std::vector<std::uint8_t> bytes = document.serialize();
    return agreement::TagTemplate::fromBytes(QStringLiteral("long"), bytes);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_cli PATH/TO/brindlewick [rows]\n");
        return 1;
    }
    QCoreApplication app(argc, argv);
    const QString program = QString::fromLocal8Bit(argv[1]);
    const int rows = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1000;
    QTemporaryDir dir;
    const QString saved = dir.filePath(QStringLiteral("saved.doc"));
    const QString savedDocx = dir.filePath(QStringLiteral("saved.docx"));
    QStringList fill = {QStringLiteral("fill")};
    for (const agreement::Particular& row : agreement::kParticulars)
        fill << QStringLiteral("--") + QLatin1String(row.plain) << valueOf(row, 0);
    // Taken in turns, so that the two meet the same load.
    std::vector<double> fillMs;
    std::vector<double> fillDocxMs;
    for (int i = 0; i < 20; ++i) {
        fillMs.push_back(runMs(program, fill + QStringList{QStringLiteral("-o"), saved}));
        fillDocxMs.push_back(runMs(program, fill + QStringList{QStringLiteral("-o"), savedDocx}));
    }
    std::printf("fill, whole process: median %.1f ms of 20; into .docx %.1f ms (%.2f times)\n",
                median(fillMs), median(fillDocxMs), median(fillDocxMs) / median(fillMs));

    std::vector<double> readUs;
    for (int i = 0; i < 200; ++i) {
        QElapsedTimer clock;
        clock.start();
        (void)agreement::readBackFile(std::filesystem::path(saved.toStdU16String()), QLocale());
        readUs.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e3);
    }
    std::printf("read of a saved agreement (file to particulars): median %.0f us of 200\n", median(readUs));
    std::printf("read, whole process: %.1f ms\n", runMs(program, {QStringLiteral("read"), saved}));

    const QString list = dir.filePath(QStringLiteral("clients.csv"));
    writeClientList(list, rows);
    for (const QString& format : {QStringLiteral("doc"), QStringLiteral("docx"), QStringLiteral("pdf")}) {
        const QString out = dir.filePath(format);
        QDir().mkdir(out);
        const QStringList args = {QStringLiteral("merge"),    list,
                                  QStringLiteral("--out"),    out,
                                  QStringLiteral("--name"),   QStringLiteral("client"),
                                  QStringLiteral("--format"), format};
        const double ms = runMs(program, args);
        std::printf("merge of %d rows into .%s: %.0f ms, %.0f agreements a second\n", rows,
                    qPrintable(format), ms, rows * 1000.0 / ms);
    }

    const QString own = QStringLiteral(BRINDLEWICK_SOURCE_DIR "/resources/home-improvement.doc");
    const QString ownList = dir.filePath(QStringLiteral("own.csv"));
    writeClientList(ownList, rows, agreement::TagTemplate::fromFile(own).wanted().extras);
    const QString ownOut = dir.filePath(QStringLiteral("own"));
    QDir().mkdir(ownOut);
    const double ownMs = runMs(program, {QStringLiteral("merge"), ownList, QStringLiteral("--out"), ownOut,
                                         QStringLiteral("--name"), QStringLiteral("client"),
                                         QStringLiteral("--template"), own});
    std::printf("merge --template of %d rows into .doc: %.0f ms\n", rows, ownMs);

    const agreement::TagTemplate tags = longTemplate(own);
    agreement::Particulars particulars = agreement::example(QDate(2027, 3, 15), QLocale());
    for (const QString& extra : tags.wanted().extras)
        particulars.extras.append({extra, extra});
    std::vector<double> tagFillUs;
    for (int i = 0; i < 50; ++i) {
        QElapsedTimer clock;
        clock.start();
        const agreement::AgreementDocument filled = tags.fill(particulars, QDate(2027, 3, 16), QLocale());
        tagFillUs.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e3);
    }
    std::printf("fill of a %zu-character template with %zu tags in the engine: median %.0f us of 50\n",
                tags.fill(particulars, QDate(2027, 3, 16), QLocale()).text().size(), tags.tagCount(),
                median(tagFillUs));

    // The standard agreement's .docx filled at its places and written, as fill -o .docx does.
    const agreement::Insertions typed = agreement::insertions(particulars, QDate(2027, 3, 16), QLocale());
    std::vector<double> docxFillUs;
    for (int i = 0; i < 200; ++i) {
        QElapsedTimer clock;
        clock.start();
        const agreement::AgreementDocument filled =
            agreement::fillAtAnchors(agreement::Template::docxDocument(), typed);
        const std::vector<std::uint8_t> bytes = filled.serialize();
        docxFillUs.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e3);
    }
    std::printf("fill of the standard .docx in the engine, written: median %.0f us of 200\n",
                median(docxFillUs));
    return 0;
}
