#include "app/apptitle.h"
#include "product/product.h"

#include <QtTest>

class tst_AppTitle : public QObject
{
    Q_OBJECT

private slots:
    void cut_data();
    void cut();
};

void tst_AppTitle::cut_data()
{
    QTest::addColumn<QString>("productName");
    QTest::addColumn<QString>("title");

    QTest::newRow("the product") << QString::fromLatin1(Product::kName) << "Brindlewick Paperwork";
    QTest::newRow("short name loses its last word") << "Alpha Beta"
                                                    << "Alpha";
    QTest::newRow("no space stays") << "Brindlewick"
                                    << "Brindlewick";
    QTest::newRow("long name cut until at most 40") << "Alpha Beta Gamma Delta Epsilon Zeta Eta Theta Iota"
                                                    << "Alpha Beta Gamma Delta Epsilon Zeta Eta";
    QTest::newRow("exactly 40 after one cut")
        << QString(QString(40, QLatin1Char('a')) + QStringLiteral(" tail")) << QString(40, QLatin1Char('a'));
    QTest::newRow("41 after one cut is cut again")
        << QString(QStringLiteral("ab ") + QString(38, QLatin1Char('c')) + QStringLiteral(" tail")) << "ab";
    QTest::newRow("trailing space cuts only it") << "Alpha Beta "
                                                 << "Alpha Beta";
}

void tst_AppTitle::cut()
{
    QFETCH(QString, productName);
    QFETCH(QString, title);
    QCOMPARE(SetAppTitle(productName), title);
}

QTEST_APPLESS_MAIN(tst_AppTitle)
#include "tst_apptitle.moc"
