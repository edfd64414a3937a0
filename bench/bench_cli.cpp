// The command line as a person runs it: fill as a whole process, read of a saved agreement,
// and merge of a 1,000-row client list into .doc files and into PDF.
#include "agreement/agreementtemplate.h"
#include "agreement/insertions.h"
#include "agreement/readback.h"
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

void writeClientList(const QString& path, int rows)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write("client,date,contractor,owner,location,work,price,payments\r\n");
    for (int i = 0; i < rows; ++i) {
        file.write(
            QStringLiteral("Client %1,2027-03-15,Northwind Building Services LLC,Margaret Ellison-Whitfield "
                           "%1,\"1187 Juniper Hollow Road, Cedar Falls\",\"Remove the shingles.\r\nLay new "
                           "ones.\",%2,\"One third on signing, the balance on completion.\"\r\n")
                .arg(i)
                .arg(10000 + i)
                .toUtf8());
    }
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
    const QStringList fill = {QStringLiteral("fill"),
                              QStringLiteral("--date"),
                              QStringLiteral("2027-03-15"),
                              QStringLiteral("--contractor"),
                              QStringLiteral("Northwind"),
                              QStringLiteral("--owner"),
                              QStringLiteral("Ellison"),
                              QStringLiteral("--location"),
                              QStringLiteral("Juniper Road"),
                              QStringLiteral("--work"),
                              QStringLiteral("Roof"),
                              QStringLiteral("--price"),
                              QStringLiteral("12500"),
                              QStringLiteral("--payments"),
                              QStringLiteral("Thirds"),
                              QStringLiteral("-o"),
                              saved};
    std::vector<double> fillMs;
    for (int i = 0; i < 20; ++i)
        fillMs.push_back(runMs(program, fill));
    std::printf("fill, whole process: median %.1f ms of 20\n", median(fillMs));

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
    for (const bool pdf : {false, true}) {
        const QString out = dir.filePath(pdf ? QStringLiteral("pdf") : QStringLiteral("doc"));
        QDir().mkdir(out);
        QStringList args = {QStringLiteral("merge"),  list,
                            QStringLiteral("--out"),  out,
                            QStringLiteral("--name"), QStringLiteral("client")};
        if (pdf)
            args << QStringLiteral("--pdf");
        const double ms = runMs(program, args);
        std::printf("merge of %d rows into %s: %.0f ms, %.0f agreements a second\n", rows,
                    pdf ? "PDF" : ".doc", ms, rows * 1000.0 / ms);
    }
    return 0;
}
