// One run of each command through the real executable.
#include "agreement/particulars.h"
#include "cli/commandline.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace
{

struct Run {
    int status;
    QString out;
    QString err;
};

Run brindlewick(const QStringList& args)
{
    QProcess process;
    process.start(QStringLiteral(BRINDLEWICK_EXECUTABLE), args);
    process.waitForFinished(60000);
    // Lines end as the system ends them on a console: CRLF on Windows.
    const auto text = [](const QByteArray& bytes) {
        return QString::fromUtf8(bytes).replace(QLatin1String("\r\n"), QLatin1String("\n"));
    };
    return {process.exitCode(), text(process.readAllStandardOutput()), text(process.readAllStandardError())};
}

const QStringList kParticulars = {QStringLiteral("--date"),       QStringLiteral("2027-03-15"),
                                  QStringLiteral("--contractor"), QStringLiteral("Northwind"),
                                  QStringLiteral("--owner"),      QStringLiteral("Ellison"),
                                  QStringLiteral("--location"),   QStringLiteral("1187 Juniper Road"),
                                  QStringLiteral("--work"),       QStringLiteral("Roof\nGutters"),
                                  QStringLiteral("--price"),      QStringLiteral("12500"),
                                  QStringLiteral("--payments"),   QStringLiteral("Thirds"),
                                  QStringLiteral("--signed"),     QStringLiteral("2027-03-01"),
                                  QStringLiteral("--locale"),     QStringLiteral("en_US")};

// The summary line without its time.
QString counts(int made, int skipped, int failed)
{
    const QString summary = QString::fromLatin1(cli::Text::kSummary).arg(made).arg(skipped).arg(failed);
    return summary.left(summary.indexOf(QLatin1String("%4")));
}

} // namespace

class tst_CommandLine : public QObject
{
    Q_OBJECT

private slots:
    void fillThenRead();
    void fillRefusesABadPrice();
    void mergeMakesTheGoodRows();
    void helpVersionAndUnknownOptions();
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

    const Run read =
        brindlewick({QStringLiteral("read"), doc, QStringLiteral("--locale"), QStringLiteral("en_US")});
    QCOMPARE(read.status, cli::kOk);
    QCOMPARE(read.out,
             QStringLiteral("date=2027-03-15\ncontractor=Northwind\nowner=Ellison\nlocation=1187 Juniper "
                            "Road\nwork=Roof\\nGutters\nprice=$12,500.00\npayments=Thirds\n") +
                 QLatin1String(agreement::kSigningDateName) + QStringLiteral("=2027-03-01\n"));
    QCOMPARE(brindlewick({QStringLiteral("read"), pdf}).status, cli::kFailed);
}

void tst_CommandLine::fillRefusesABadPrice()
{
    QTemporaryDir dir;
    const QString doc = dir.filePath(QStringLiteral("a.doc"));
    QStringList args =
        QStringList{QStringLiteral("fill")} + kParticulars + QStringList{QStringLiteral("-o"), doc};
    args[args.indexOf(QStringLiteral("12500"))] = QStringLiteral("lots");
    const Run run = brindlewick(args);
    QCOMPARE(run.status, cli::kUsage);
    QVERIFY2(run.err.contains(QString::fromLatin1(cli::Text::kBadPrice).arg(QStringLiteral("--price"))),
             qPrintable(run.err));
    QVERIFY(!QFile::exists(doc));
}

void tst_CommandLine::mergeMakesTheGoodRows()
{
    QTemporaryDir dir;
    QFile csv(dir.filePath(QStringLiteral("clients.csv")));
    QVERIFY(csv.open(QIODevice::WriteOnly));
    csv.write("client,date,contractor,owner,location,work,price,payments\r\n"
              "Ellison/1,2027-03-15,A,B,C,W,12500,P\r\n"
              "bad,2027-03-15,A,B,C,W,lots,P\r\n"
              ",2027-03-16,A,B,C,W,1,P\r\n");
    csv.close();
    const QString out = dir.filePath(QStringLiteral("out"));
    QVERIFY(QDir().mkdir(out));
    const QStringList args = {QStringLiteral("merge"),  csv.fileName(),          QStringLiteral("--out"), out,
                              QStringLiteral("--name"), QStringLiteral("client")};
    const Run first = brindlewick(args);
    QCOMPARE(first.status, cli::kFailed);
    QCOMPARE(QDir(out).entryList(QDir::Files),
             (QStringList{QStringLiteral("Ellison_1.doc"), QStringLiteral("row-4.doc")}));
    QVERIFY2(first.out.contains(counts(2, 0, 1)), qPrintable(first.out));
    // Made again, the files are there already and are left.
    QVERIFY(brindlewick(args).out.contains(counts(0, 2, 1)));
}

void tst_CommandLine::helpVersionAndUnknownOptions()
{
    QCOMPARE(brindlewick({QStringLiteral("--help")}).status, cli::kOk);
    QVERIFY(brindlewick({QStringLiteral("--version")}).out.startsWith(QStringLiteral("brindlewick ")));
    const Run unknown = brindlewick({QStringLiteral("read"), QStringLiteral("--bogus")});
    QCOMPARE(unknown.status, cli::kUsage);
    QVERIFY(
        unknown.err.contains(QString::fromLatin1(cli::Text::kUnknownOption).arg(QStringLiteral("--bogus"))));
}

QTEST_GUILESS_MAIN(tst_CommandLine)
#include "tst_commandline.moc"
