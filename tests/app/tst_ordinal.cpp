#include "agreement/ordinal.h"
#include "app/form1.h"

#include <QtTest>

class tst_Ordinal : public QObject
{
    Q_OBJECT

private slots:
    void fnDay_data();
    void fnDay();
    void everyDayOfTheMonth();
};

void tst_Ordinal::fnDay_data()
{
    QTest::addColumn<QString>("day");
    QTest::addColumn<QString>("ordinal");

    QTest::newRow("1") << "1"
                       << "1st";
    QTest::newRow("2") << "2"
                       << "2nd";
    QTest::newRow("3") << "3"
                       << "3rd";
    QTest::newRow("4") << "4"
                       << "4th";
    QTest::newRow("11") << "11"
                        << "11th";
    QTest::newRow("12") << "12"
                        << "12th";
    QTest::newRow("13") << "13"
                        << "13th";
    QTest::newRow("20") << "20"
                        << "20th";
    QTest::newRow("21") << "21"
                        << "21st";
    QTest::newRow("22") << "22"
                        << "22nd";
    QTest::newRow("23") << "23"
                        << "23rd";
    QTest::newRow("24") << "24"
                        << "24th";
    QTest::newRow("30") << "30"
                        << "30th";
    QTest::newRow("31") << "31"
                        << "31st";
    QTest::newRow("blanks around") << " 3 "
                                   << "3rd";
    QTest::newRow("many blanks") << "   22"
                                 << "22nd";
    QTest::newRow("leading zero") << "01"
                                  << "";
    QTest::newRow("zero") << "0"
                          << "";
    QTest::newRow("32") << "32"
                        << "";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("blank only") << "  "
                                << "";
    QTest::newRow("plus sign") << "+1"
                               << "";
    QTest::newRow("decimal point") << "1.0"
                                   << "";
    QTest::newRow("minus") << "-1"
                           << "";
    QTest::newRow("tab is no blank") << "\t3"
                                     << "";
    QTest::newRow("inner blank") << "2 1"
                                 << "";
    QTest::newRow("arabic-indic digit") << QString(QChar(0x0661)) << "";
    QTest::newRow("word") << "first"
                          << "";
}

void tst_Ordinal::fnDay()
{
    QFETCH(QString, day);
    QFETCH(QString, ordinal);
    QCOMPARE(::fnDay(day), ordinal);
    QCOMPARE(Form1::fnDay(day), ordinal);
}

// Every day ends in "st", "nd", "rd" or "th" as English writes it, and keeps its digits.
void tst_Ordinal::everyDayOfTheMonth()
{
    const QStringList english = {"1st",  "2nd",  "3rd",  "4th",  "5th",  "6th",  "7th",  "8th",
                                 "9th",  "10th", "11th", "12th", "13th", "14th", "15th", "16th",
                                 "17th", "18th", "19th", "20th", "21st", "22nd", "23rd", "24th",
                                 "25th", "26th", "27th", "28th", "29th", "30th", "31st"};
    for (int day = 1; day <= 31; ++day)
        QCOMPARE(::fnDay(QString::number(day)), english[day - 1]);
}

QTEST_APPLESS_MAIN(tst_Ordinal)
#include "tst_ordinal.moc"
