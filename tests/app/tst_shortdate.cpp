#include "agreement/shortdate.h"

#include <QtTest>

class tst_ShortDate : public QObject
{
    Q_OBJECT

private slots:
    void storedFormat_data();
    void storedFormat();
    void toText_data();
    void toText();
    void fromText_data();
    void fromText();
    void roundTrip();
    void fromTextDayMonthSwapped_data();
    void fromTextDayMonthSwapped();
};

void tst_ShortDate::storedFormat_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("format");
    QTest::newRow("us") << "en_US"
                        << "M/d/yyyy";
    QTest::newRow("de") << "de_DE"
                        << "dd.MM.yyyy";
    QTest::newRow("gb already four") << "en_GB"
                                     << "dd/MM/yyyy";
    QTest::newRow("ja year first") << "ja_JP"
                                   << "yyyy/MM/dd";
}

void tst_ShortDate::storedFormat()
{
    QFETCH(QString, locale);
    QFETCH(QString, format);
    QCOMPARE(ShortDate::storedFormat(QLocale(locale)), format);
}

void tst_ShortDate::toText_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QString>("text");
    QTest::newRow("us") << "en_US" << QDate(2021, 8, 31) << "8/31/2021";
    QTest::newRow("us design date") << "en_US" << QDate(2010, 1, 17) << "1/17/2010";
    QTest::newRow("de") << "de_DE" << QDate(2021, 8, 31) << "31.08.2021";
    QTest::newRow("us old year") << "en_US" << QDate(1921, 3, 4) << "3/4/1921";
}

void tst_ShortDate::toText()
{
    QFETCH(QString, locale);
    QFETCH(QDate, date);
    QFETCH(QString, text);
    QCOMPARE(ShortDate::toText(date, QLocale(locale)), text);
}

void tst_ShortDate::fromText_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDate>("date");
    QTest::newRow("us four digits") << "en_US"
                                    << "8/31/2021" << QDate(2021, 8, 31);
    QTest::newRow("us leading zeros") << "en_US"
                                      << "08/03/2021" << QDate(2021, 8, 3);
    QTest::newRow("us 1921 stays") << "en_US"
                                   << "3/4/1921" << QDate(1921, 3, 4);
    QTest::newRow("us two digits 21") << "en_US"
                                      << "8/31/21" << QDate(2021, 8, 31);
    QTest::newRow("us two digits 29") << "en_US"
                                      << "1/1/29" << QDate(2029, 1, 1);
    QTest::newRow("us two digits 30") << "en_US"
                                      << "1/1/30" << QDate(1930, 1, 1);
    QTest::newRow("us two digits 99") << "en_US"
                                      << "12/31/99" << QDate(1999, 12, 31);
    QTest::newRow("us blanks") << "en_US"
                               << " 8/31/2021 " << QDate(2021, 8, 31);
    QTest::newRow("de four digits") << "de_DE"
                                    << "31.08.2021" << QDate(2021, 8, 31);
    QTest::newRow("de two digits") << "de_DE"
                                   << "31.08.21" << QDate(2021, 8, 31);
    QTest::newRow("us no date") << "en_US"
                                << "garbage" << QDate();
    QTest::newRow("us day 32") << "en_US"
                               << "1/32/2021" << QDate();
    QTest::newRow("us german form") << "en_US"
                                    << "31.08.2021" << QDate();
    QTest::newRow("de us form") << "de_DE"
                                << "8/31/2021" << QDate();
    QTest::newRow("us empty") << "en_US"
                              << "" << QDate();
    QTest::newRow("gb two digits not accepted") << "en_GB"
                                                << "31/08/21" << QDate();
}

void tst_ShortDate::fromText()
{
    QFETCH(QString, locale);
    QFETCH(QString, text);
    QFETCH(QDate, date);
    QCOMPARE(ShortDate::fromText(text, QLocale(locale)), date);
}

void tst_ShortDate::roundTrip()
{
    for (const char* name : {"en_US", "de_DE", "en_GB", "ja_JP", "fr_FR", "nl_NL"}) {
        const QLocale locale(name);
        for (const QDate date : {QDate(1601, 1, 1), QDate(1921, 2, 28), QDate(2000, 2, 29),
                                 QDate(2021, 12, 31), QDate(2099, 7, 4)}) {
            const QString text = ShortDate::toText(date, locale);
            QCOMPARE(ShortDate::fromText(text, locale), date);
        }
    }
}

void tst_ShortDate::fromTextDayMonthSwapped_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDate>("date");
    QTest::newRow("us") << "en_US"
                        << "12/10/2026" << QDate(2026, 10, 12);
    QTest::newRow("us day past twelve") << "en_US"
                                        << "8/31/2021" << QDate();
    QTest::newRow("gb") << "en_GB"
                        << "12/10/2026" << QDate(2026, 12, 10);
    QTest::newRow("de two-digit year") << "de_DE"
                                       << "03.04.21" << QDate(2021, 3, 4);
    QTest::newRow("ja year first") << "ja_JP"
                                   << "2021/03/04" << QDate();
}

void tst_ShortDate::fromTextDayMonthSwapped()
{
    QFETCH(QString, locale);
    QFETCH(QString, text);
    QFETCH(QDate, date);
    QCOMPARE(ShortDate::fromTextDayMonthSwapped(text, QLocale(locale)), date);
}

QTEST_APPLESS_MAIN(tst_ShortDate)
#include "tst_shortdate.moc"
