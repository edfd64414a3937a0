#include "app/insertionplan.h"

#include <QtTest>

class tst_InsertionPlan : public QObject
{
    Q_OBJECT

private slots:
    void lineNumbers();
    void counterOverflow_data();
    void counterOverflow();
};

void tst_InsertionPlan::lineNumbers()
{
    const InsertionPlan::Lines first = InsertionPlan::lines(0);
    QCOMPARE(first.position, 130);
    QCOMPARE(first.runningLength, 132);
    QCOMPARE(first.typeText, 140);
    const InsertionPlan::Lines second = InsertionPlan::lines(1);
    QCOMPARE(second.position, 142);
    QCOMPARE(second.typeText, 150);
    const InsertionPlan::Lines last = InsertionPlan::lines(11);
    QCOMPARE(last.position, 242);
    QCOMPARE(last.runningLength, 244);
    QCOMPARE(last.typeText, 250);
    const InsertionPlan::Lines further = InsertionPlan::lines(InsertionPlan::kNumberedInsertions);
    QCOMPARE(further.position, last.position);
    QCOMPARE(further.typeText, last.typeText);
}

void tst_InsertionPlan::counterOverflow_data()
{
    QTest::addColumn<int>("a");
    QTest::addColumn<int>("b");
    QTest::addColumn<bool>("overflows");
    QTest::newRow("small") << 141 << 10 << false;
    QTest::newRow("exactly the top") << 32000 << 767 << false;
    QTest::newRow("one past the top") << 32000 << 768 << true;
    QTest::newRow("far past") << 30000 << 60000 << true;
}

void tst_InsertionPlan::counterOverflow()
{
    QFETCH(int, a);
    QFETCH(int, b);
    QFETCH(bool, overflows);
    if (overflows) {
        try {
            Counter16::add(a, b);
            QFAIL("no overflow reported");
        } catch (const std::exception& e) {
            QCOMPARE(QString::fromUtf8(e.what()), QStringLiteral("Overflow"));
        }
    } else {
        QCOMPARE(int(Counter16::add(a, b)), a + b);
    }
}

QTEST_GUILESS_MAIN(tst_InsertionPlan)
#include "tst_insertionplan.moc"
