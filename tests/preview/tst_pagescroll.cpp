#include "preview/pagescroll.h"

#include <QTest>

using PageScroll::BarState;
using PageScroll::Key;
using Axis = ZoomGeometry::Axis;

Q_DECLARE_METATYPE(PageScroll::Key)

class tst_PageScroll : public QObject
{
    Q_OBJECT

private slots:
    void keys_data();
    void keys();
    void wheel_data();
    void wheel();
};

// Bars of ten-twip units: a line (240 twips at zoom 1) is 24 units.
void tst_PageScroll::keys_data()
{
    QTest::addColumn<Key>("key");
    QTest::addColumn<float>("zoom");
    QTest::addColumn<int>("vertical"); // the bar's value before
    QTest::addColumn<int>("axis");     // 0 horizontal, 1 vertical, -1 no move
    QTest::addColumn<int>("value");
    QTest::newRow("down a line") << Key::Down << 1.0f << 100 << 1 << 124;
    QTest::newRow("down a line at 1.25") << Key::Down << 1.25f << 100 << 1 << 130;
    QTest::newRow("up stops at the top") << Key::Up << 1.0f << 10 << 1 << 0;
    QTest::newRow("up at the top") << Key::Up << 1.0f << 0 << -1 << 0;
    QTest::newRow("page down: the viewport less a line") << Key::PageDown << 1.0f << 0 << 1 << 200;
    QTest::newRow("page down stops at the end") << Key::PageDown << 1.0f << 250 << 1 << 294;
    QTest::newRow("home") << Key::Home << 1.0f << 150 << 1 << 0;
    QTest::newRow("end") << Key::End << 1.0f << 150 << 1 << 294;
    QTest::newRow("right: the picture is no wider") << Key::Right << 1.0f << 0 << -1 << 0;
}

void tst_PageScroll::keys()
{
    QFETCH(Key, key);
    QFETCH(float, zoom);
    QFETCH(int, vertical);
    QFETCH(int, axis);
    QFETCH(int, value);
    const BarState narrow{0, 0, 0};
    const BarState tall{qint16(vertical), 294, 10};
    const auto move = PageScroll::forKey(key, narrow, tall, 2240, zoom);
    QCOMPARE(move.has_value(), axis >= 0);
    if (!move)
        return;
    QCOMPARE(move->axis, axis == 0 ? Axis::Horizontal : Axis::Vertical);
    QCOMPARE(int(move->value), value);
}

void tst_PageScroll::wheel_data()
{
    QTest::addColumn<QPoint>("angle");
    QTest::addColumn<QPoint>("pixels");
    QTest::addColumn<bool>("shift");
    QTest::addColumn<int>("axis");
    QTest::addColumn<int>("value");
    QTest::newRow("a notch towards the user: three lines down")
        << QPoint(0, -120) << QPoint() << false << 1 << 172;
    QTest::newRow("a notch away: three lines up") << QPoint(0, 120) << QPoint() << false << 1 << 28;
    QTest::newRow("a touchpad's pixels, exactly") << QPoint(0, -30) << QPoint(0, -4) << false << 1 << 106;
    QTest::newRow("sideways") << QPoint(-120, 0) << QPoint() << false << 0 << 72;
    QTest::newRow("shift turns it sideways") << QPoint(0, -120) << QPoint() << true << 0 << 72;
    QTest::newRow("the smallest turn moves a unit") << QPoint(0, -1) << QPoint() << false << 1 << 101;
}

void tst_PageScroll::wheel()
{
    QFETCH(QPoint, angle);
    QFETCH(QPoint, pixels);
    QFETCH(bool, shift);
    QFETCH(int, axis);
    QFETCH(int, value);
    const BarState wide{0, 80, 10};
    const BarState tall{100, 294, 10};
    const auto move = PageScroll::forWheel(angle, pixels, shift, wide, tall, 1.0f);
    QVERIFY(move);
    QCOMPARE(move->axis, axis == 0 ? Axis::Horizontal : Axis::Vertical);
    QCOMPARE(int(move->value), value);
}

QTEST_APPLESS_MAIN(tst_PageScroll)
#include "tst_pagescroll.moc"
