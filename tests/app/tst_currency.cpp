#include "agreement/currency.h"

#include <QtTest>

class tst_Currency : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void format_data();
    void format();
    void formattedTextReadsBack_data();
    void formattedTextReadsBack();
};

namespace
{
const QString nbsp(QChar(0x00A0));
const QString euro(QChar(0x20AC));
} // namespace

void tst_Currency::parse_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<double>("amount");

    QTest::newRow("us plain") << "en_US"
                              << "1234.5" << true << 1234.5;
    QTest::newRow("us formatted") << "en_US"
                                  << "$1,234.50" << true << 1234.5;
    QTest::newRow("us blanks around") << "en_US"
                                      << "  $1,234.50 " << true << 1234.5;
    QTest::newRow("us blank after symbol") << "en_US"
                                           << "$ 74" << true << 74.0;
    QTest::newRow("us symbol after") << "en_US"
                                     << "74$" << true << 74.0;
    QTest::newRow("us minus") << "en_US"
                              << "-5" << true << -5.0;
    QTest::newRow("us plus") << "en_US"
                             << "+5" << true << 5.0;
    QTest::newRow("us minus before symbol") << "en_US"
                                            << "-$5.25" << true << -5.25;
    QTest::newRow("us minus after symbol") << "en_US"
                                           << "$-5.25" << true << -5.25;
    QTest::newRow("us trailing minus") << "en_US"
                                       << "5-" << true << -5.0;
    QTest::newRow("us brackets") << "en_US"
                                 << "($1,234.50)" << true << -1234.5;
    QTest::newRow("us brackets bare") << "en_US"
                                      << "( 5 )" << true << -5.0;
    QTest::newRow("us leading point") << "en_US"
                                      << ".5" << true << 0.5;
    QTest::newRow("us zero") << "en_US"
                             << "0" << true << 0.0;
    QTest::newRow("us letters") << "en_US"
                                << "abc" << false << 0.0;
    QTest::newRow("us empty") << "en_US"
                              << "" << false << 0.0;
    QTest::newRow("us blank") << "en_US"
                              << "   " << false << 0.0;
    QTest::newRow("us symbol only") << "en_US"
                                    << "$" << false << 0.0;
    QTest::newRow("us brackets only") << "en_US"
                                      << "()" << false << 0.0;
    QTest::newRow("us sign in brackets") << "en_US"
                                         << "(-5)" << false << 0.0;
    QTest::newRow("us double minus") << "en_US"
                                     << "--5" << false << 0.0;
    QTest::newRow("us two symbols") << "en_US"
                                    << "$$5" << false << 0.0;
    QTest::newRow("us german form") << "en_US"
                                    << "1.234,50" << false << 0.0;
    QTest::newRow("us bad grouping") << "en_US"
                                     << "1,2,34" << false << 0.0;
    QTest::newRow("us foreign symbol") << "en_US" << QString(euro + "5") << false << 0.0;
    QTest::newRow("us infinity") << "en_US"
                                 << "inf" << false << 0.0;
    QTest::newRow("us not a number") << "en_US"
                                     << "nan" << false << 0.0;
    QTest::newRow("us overflow") << "en_US"
                                 << "1e999" << false << 0.0;
    QTest::newRow("us digits then words") << "en_US"
                                          << "12 dollars" << false << 0.0;
    QTest::newRow("us a group of four") << "en_US"
                                        << "1,2345" << false << 0.0;
    QTest::newRow("us a first group of four") << "en_US"
                                              << "1234,567" << false << 0.0;
    QTest::newRow("us grouping in the decimals") << "en_US"
                                                 << "1.234,5" << false << 0.0;
    QTest::newRow("us the largest") << "en_US"
                                    << "$9,999,999,999,999.99" << true << Currency::kLargest;
    QTest::newRow("us a cent past the largest") << "en_US"
                                                << "10000000000000" << false << 0.0;
    QTest::newRow("us rounds past the largest") << "en_US"
                                                << "9999999999999.996" << false << 0.0;
    QTest::newRow("us an exponent") << "en_US"
                                    << "1e5" << false << 0.0;

    QTest::newRow("de formatted") << "de_DE" << QString("1.234,50" + nbsp + euro) << true << 1234.5;
    QTest::newRow("de plain blank") << "de_DE" << QString("1.234,50 " + euro) << true << 1234.5;
    QTest::newRow("de plain") << "de_DE"
                              << "1234,5" << true << 1234.5;
    QTest::newRow("de negative") << "de_DE" << QString("-1.234,50" + nbsp + euro) << true << -1234.5;
    QTest::newRow("de brackets") << "de_DE" << QString("(5 " + euro + ")") << true << -5.0;
    QTest::newRow("de blanks") << "de_DE" << QString("  7,5 " + euro + "  ") << true << 7.5;
    QTest::newRow("de us form") << "de_DE"
                                << "1,234.50" << false << 0.0;
    QTest::newRow("de dollar") << "de_DE"
                               << "$5" << false << 0.0;
    QTest::newRow("de letters") << "de_DE"
                                << "abc" << false << 0.0;
    QTest::newRow("de empty") << "de_DE"
                              << "" << false << 0.0;
    QTest::newRow("de point after a lone zero") << "de_DE"
                                                << "0.005" << false << 0.0;
    QTest::newRow("de point as decimal") << "de_DE"
                                         << "1234.5" << false << 0.0;

    QTest::newRow("fr typed blank grouping") << "fr_FR" << QString("1 234,50 " + euro) << true << 1234.5;
    QTest::newRow("in two-digit groups")
        << "en_IN" << QString(QChar(0x20B9)) + "12,34,567.50" << true << 1234567.5;
    QTest::newRow("in three-digit groups") << "en_IN"
                                           << "1,234,567.50" << false << 0.0;
    QTest::newRow("eg arabic digits")
        << "ar_EG" << QString::fromUtf8("\u0661\u066c\u0662\u0663\u0664\u066b\u0665") << true << 1234.5;
}

void tst_Currency::parse()
{
    QFETCH(QString, locale);
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(double, amount);

    const std::optional<double> parsed = Currency::parse(text, QLocale(locale));
    QCOMPARE(parsed.has_value(), valid);
    if (valid)
        QCOMPARE(*parsed, amount);
}

void tst_Currency::format_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<double>("amount");
    QTest::addColumn<QString>("text");

    QTest::newRow("us grouping") << "en_US" << 1234.5 << "$1,234.50";
    QTest::newRow("us zero") << "en_US" << 0.0 << "$0.00";
    QTest::newRow("us sample") << "en_US" << 74.0 << "$74.00";
    QTest::newRow("us negative") << "en_US" << -5.0 << "($5.00)";
    QTest::newRow("us rounds to cents") << "en_US" << 1234567.891 << "$1,234,567.89";
    QTest::newRow("us tiny negative is zero") << "en_US" << -0.001 << "$0.00";
    QTest::newRow("de grouping") << "de_DE" << 1234.5 << QString("1.234,50" + nbsp + euro);
    QTest::newRow("de zero") << "de_DE" << 0.0 << QString("0,00" + nbsp + euro);
    QTest::newRow("de negative") << "de_DE" << -5.0 << QString("-5,00" + nbsp + euro);
}

void tst_Currency::format()
{
    QFETCH(QString, locale);
    QFETCH(double, amount);
    QFETCH(QString, text);
    QCOMPARE(Currency::format(amount, QLocale(locale)), text);
}

void tst_Currency::formattedTextReadsBack_data()
{
    QTest::addColumn<QString>("locale");
    for (const char* name : {"en_US", "de_DE", "fr_FR", "de_CH", "nl_NL", "en_GB", "ja_JP", "sv_SE", "pt_BR",
                             "es_ES", "hi_IN", "ar_EG"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

// What the price check writes must pass the check again unchanged, in every locale.
void tst_Currency::formattedTextReadsBack()
{
    QFETCH(QString, locale);
    const QLocale l(locale);
    for (double amount : {0.0, 74.0, 1234.5, -1234.5, 0.01, -0.99, 9876543.21}) {
        const QString text = Currency::format(amount, l);
        const std::optional<double> back = Currency::parse(text, l);
        QVERIFY2(back.has_value(), qPrintable(text));
        QCOMPARE(*back, amount);
        QCOMPARE(Currency::format(*back, l), text);
    }
}

QTEST_APPLESS_MAIN(tst_Currency)
#include "tst_currency.moc"
