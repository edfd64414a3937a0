#include "agreement/currency.h"
#include "agreement/shortdate.h"
#include "app/storedvalue.h"

#include <QtTest>

class tst_StoredValue : public QObject
{
    Q_OBJECT

private slots:
    void writtenForms();
    void roundTripAcrossLocales_data();
    void roundTripAcrossLocales();
    void amountMustBePlainDecimal_data();
    void amountMustBePlainDecimal();
};

// What other programs and later versions find in the store.
void tst_StoredValue::writtenForms()
{
    QCOMPARE(StoredValue::dateText(QDate(2026, 12, 10)), QStringLiteral("2026-12-10"));
    QCOMPARE(StoredValue::amountText(1234.5), QStringLiteral("1234.50"));
    QCOMPARE(StoredValue::amountText(-0.001), QStringLiteral("0.00"));
}

void tst_StoredValue::roundTripAcrossLocales_data()
{
    QTest::addColumn<QString>("writer");
    QTest::addColumn<QString>("reader");
    QTest::addColumn<bool>("legacy"); // written as the earlier version did: short date, currency text only
    QTest::addColumn<QDate>("date");
    QTest::addColumn<bool>("readsDate");
    QTest::addColumn<bool>("readsAmount");

    const QDate dayAndMonthTrade(2026, 12, 10);
    const QDate dayPastTwelve(2021, 8, 31);
    for (const char* writer : {"en_US", "en_GB", "de_DE"}) {
        for (const char* reader : {"en_US", "en_GB", "de_DE"})
            QTest::addRow("%s to %s", writer, reader)
                << writer << reader << false << dayAndMonthTrade << true << true;
    }
    QTest::newRow("legacy us to us") << "en_US"
                                     << "en_US" << true << dayPastTwelve << true << true;
    QTest::newRow("legacy de to de") << "de_DE"
                                     << "de_DE" << true << dayPastTwelve << true << true;
    // The store does not say which order wrote it, so 12/10/2026 is no date to guess at.
    QTest::newRow("legacy us to us, day and month could trade")
        << "en_US"
        << "en_US" << true << dayAndMonthTrade << false << true;
    QTest::newRow("legacy us to gb") << "en_US"
                                     << "en_GB" << true << dayAndMonthTrade << false << false;
    QTest::newRow("legacy us to de") << "en_US"
                                     << "de_DE" << true << dayAndMonthTrade << false << false;
    QTest::newRow("legacy gb to us") << "en_GB"
                                     << "en_US" << true << dayPastTwelve << false << false;
}

void tst_StoredValue::roundTripAcrossLocales()
{
    QFETCH(QString, writer);
    QFETCH(QString, reader);
    QFETCH(bool, legacy);
    QFETCH(QDate, date);
    QFETCH(bool, readsDate);
    QFETCH(bool, readsAmount);
    const double amount = 1234.5;
    const QLocale written(writer);
    const QString dateStored = legacy ? ShortDate::toText(date, written) : StoredValue::dateText(date);
    const QString amountStored = legacy ? QString() : StoredValue::amountText(amount);
    const QString shownStored = Currency::format(amount, written);

    const QLocale read(reader);
    QCOMPARE(StoredValue::readDate(dateStored, read), readsDate ? date : QDate());
    const std::optional<double> price = StoredValue::readPrice(amountStored, shownStored, read);
    QCOMPARE(price.has_value(), readsAmount);
    if (readsAmount)
        QCOMPARE(*price, amount);
}

void tst_StoredValue::amountMustBePlainDecimal_data()
{
    QTest::addColumn<QString>("amount");
    QTest::addColumn<double>("price");
    QTest::newRow("plain") << "1234.50" << 1234.5;
    QTest::newRow("negative") << "-5.00" << -5.0;
    QTest::newRow("whole") << "12" << 12.0;
    // Anything else is read from the shown text, "$74.00".
    QTest::newRow("empty") << "" << 74.0;
    QTest::newRow("grouped") << "1,234.50" << 74.0;
    QTest::newRow("decimal comma") << "1234,50" << 74.0;
    QTest::newRow("exponent") << "1e3" << 74.0;
    QTest::newRow("blank") << " 5" << 74.0;
    QTest::newRow("point without digits") << "5." << 74.0;
    QTest::newRow("plus") << "+5" << 74.0;
}

void tst_StoredValue::amountMustBePlainDecimal()
{
    QFETCH(QString, amount);
    QFETCH(double, price);
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    QCOMPARE(StoredValue::readPrice(amount, Currency::format(74, us), us), std::optional<double>(price));
}

QTEST_APPLESS_MAIN(tst_StoredValue)
#include "tst_storedvalue.moc"
