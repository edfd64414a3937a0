#include "preview/zoomgeometry.h"

#include <QTest>

#include <stdexcept>

using Axis = ZoomGeometry::Axis;

namespace
{

constexpr qint32 kViewportWidth = 9330;
constexpr qint32 kViewportHeight = 7425;
constexpr qint32 kBorder = 15;

// A picture set up the way the window does it on activation, at zoom 1, painted.
ZoomGeometry setUp(qint32 naturalWidth, qint32 naturalHeight)
{
    ZoomGeometry g(kViewportWidth, kViewportHeight, kBorder);
    g.assignPicture(naturalWidth, naturalHeight);
    g.copyDisplayWidthToSource();
    g.copyDisplayHeightToSource();
    g.mZoom = 1.0f;
    g.measureOrigWidth();
    g.measureOrigHeight();
    g.zoomWidthAtOne();
    g.zoomHeightAtOne();
    if (g.fitsPaintLimit()) {
        g.sizeDisplayWidthToZoom();
        g.sizeDisplayHeightToZoom();
    }
    g.setupScrollbars();
    return g;
}

} // namespace

class tst_ZoomGeometry : public QObject
{
    Q_OBJECT

private slots:
    void fitBar_data();
    void fitBar();
    void setupScrollbarsFitsBothAxes();
    void setupScrollbarsKeepsDisabledBarsRange();
    void setupScrollbarsClampsValueToNewMaximum();
    void zoomSteps_data();
    void zoomSteps();
    void zoomedSize_data();
    void zoomedSize();
    void paintLimit_data();
    void paintLimit();
    void origSizeIsSourceInnerSizeMinusTwo();
    void enableBarForZoom_data();
    void enableBarForZoom();
    void barChangeMovesDisplay_data();
    void barChangeMovesDisplay();
    void valueForPercent_data();
    void valueForPercent();
    void percentOf_data();
    void percentOf();
    void percentOverflowIsAnError();
    void dragClamps_data();
    void dragClamps();
    void dragNarrowPicture_data();
    void dragNarrowPicture();
    void dragToFarRightKeepsBar();
    void dragToFarLeftSettlesOnGrid();
    void equalWidthLeavesBarUnchanged();
    void oneTwipDragStaysOffGridUntilNextBarChange();
    void fitBarOverflowIsAnError();
    void pageHeightJudgedPerPage_data();
    void pageHeightJudgedPerPage();
    void resizeKeepsPlaceOnGrid_data();
    void resizeKeepsPlaceOnGrid();
};

void tst_ZoomGeometry::fitBar_data()
{
    QTest::addColumn<qint32>("excess");
    QTest::addColumn<bool>("scrolls");
    QTest::addColumn<qint16>("maximum");
    QTest::addColumn<qint16>("step");
    QTest::newRow("2940: tens") << 2940 << true << qint16(294) << qint16(10);
    QTest::newRow("75: ones") << 75 << true << qint16(75) << qint16(1);
    QTest::newRow("100: still ones") << 100 << true << qint16(100) << qint16(1);
    QTest::newRow("101: tens") << 101 << true << qint16(10) << qint16(10);
    QTest::newRow("105: 10.5 to even 10") << 105 << true << qint16(10) << qint16(10);
    QTest::newRow("115: 11.5 to even 12") << 115 << true << qint16(12) << qint16(10);
    QTest::newRow("114: 11.4 down") << 114 << true << qint16(11) << qint16(10);
    QTest::newRow("1") << 1 << true << qint16(1) << qint16(1);
    QTest::newRow("equal: no bar") << 0 << false << qint16(0) << qint16(0);
    QTest::newRow("narrower: no bar") << -4000 << false << qint16(0) << qint16(0);
}

void tst_ZoomGeometry::fitBar()
{
    QFETCH(qint32, excess);
    QFETCH(bool, scrolls);
    QFETCH(qint16, maximum);
    QFETCH(qint16, step);
    const auto fit = ZoomGeometry::fitBar(kViewportWidth + excess, kViewportWidth);
    QCOMPARE(fit.has_value(), scrolls);
    if (scrolls) {
        QCOMPARE(fit->maximum, maximum);
        QCOMPARE(fit->step, step);
    }
}

void tst_ZoomGeometry::setupScrollbarsFitsBothAxes()
{
    ZoomGeometry g = setUp(12270, 7500);
    QVERIFY(!g.fitsPaintLimit());
    // Too wide to paint: the box keeps the picture's natural size, an excess of 2940.
    QCOMPARE(g.displayWidth(), 12270);
    QCOMPARE(g.bar(Axis::Horizontal).maximum, qint16(294));
    QCOMPARE(g.mHStep, qint16(10));
    QVERIFY(g.bar(Axis::Horizontal).enabled);

    g = setUp(10802, 7500);
    QCOMPARE(g.displayWidth(), 10800);
    QCOMPARE(g.bar(Axis::Horizontal).maximum, qint16(147));
    QCOMPARE(g.mHStep, qint16(10));
    // 7500 - 2 = 7498 high: an excess of 73.
    QCOMPARE(g.displayHeight(), 7498);
    QCOMPARE(g.bar(Axis::Vertical).maximum, qint16(73));
    QCOMPARE(g.mVStep, qint16(1));
    QCOMPARE(g.left(), 0.0f);
    QCOMPARE(g.top(), 0.0f);
    QCOMPARE(g.bar(Axis::Horizontal).value, qint16(0));
}

void tst_ZoomGeometry::setupScrollbarsKeepsDisabledBarsRange()
{
    ZoomGeometry g = setUp(10802, 15002);
    g.setBarValue(Axis::Horizontal, 100);
    const qint16 oldMaximum = g.bar(Axis::Horizontal).maximum;
    g.assignPicture(5000, 15000);
    g.setupScrollbars();
    QVERIFY(!g.bar(Axis::Horizontal).enabled);
    QCOMPARE(g.mHStep, qint16(0));
    QCOMPARE(g.bar(Axis::Horizontal).maximum, oldMaximum);
    QCOMPARE(g.bar(Axis::Horizontal).value, qint16(100));
    // With a step of 0 the picture stays at the edge whatever the bar shows.
    QCOMPARE(g.left(), 0.0f);
}

void tst_ZoomGeometry::setupScrollbarsClampsValueToNewMaximum()
{
    ZoomGeometry g = setUp(10802, 15002);
    g.setBarValue(Axis::Vertical, 700);
    g.assignPicture(10800, 7500); // excess 75
    g.setupScrollbars();
    QCOMPARE(g.bar(Axis::Vertical).maximum, qint16(75));
    QCOMPARE(g.bar(Axis::Vertical).value, qint16(0));
    QCOMPARE(g.top(), 0.0f);
}

void tst_ZoomGeometry::zoomSteps_data()
{
    QTest::addColumn<float>("start");
    QTest::addColumn<qint32>("zoomOut");
    QTest::addColumn<int>("clicks");
    QTest::addColumn<float>("reached");
    QTest::addColumn<bool>("nextAccepted");
    QTest::newRow("ten in from 1") << 1.0f << 0 << 10 << 3.5f << false;
    QTest::newRow("three out from 1") << 1.0f << 1 << 3 << 0.25f << false;
    QTest::newRow("out flag is any non-zero") << 1.0f << -7 << 3 << 0.25f << false;
    QTest::newRow("in from 0.25") << 0.25f << 0 << 1 << 0.5f << true;
}

void tst_ZoomGeometry::zoomSteps()
{
    QFETCH(float, start);
    QFETCH(qint32, zoomOut);
    QFETCH(int, clicks);
    QFETCH(float, reached);
    QFETCH(bool, nextAccepted);
    float zoom = start;
    for (int i = 0; i < clicks; ++i) {
        const float next = ZoomGeometry::steppedZoom(zoom, zoomOut);
        QVERIFY2(ZoomGeometry::zoomAccepted(next), qPrintable(QString::number(next)));
        zoom = next;
    }
    QCOMPARE(zoom, reached);
    QCOMPARE(ZoomGeometry::zoomAccepted(ZoomGeometry::steppedZoom(zoom, zoomOut)), nextAccepted);
}

void tst_ZoomGeometry::zoomedSize_data()
{
    QTest::addColumn<qint32>("orig");
    QTest::addColumn<float>("zoom");
    QTest::addColumn<qint32>("zoomed");
    QTest::newRow("12345 at 0.75 rounds down") << 12345 << 0.75f << 9258;
    QTest::newRow("10798 at 1") << 10798 << 1.0f << 10798;
    QTest::newRow("10798 at 0.25") << 10798 << 0.25f << 2699;
    QTest::newRow("3001 at 3.5") << 3001 << 3.5f << 10503;
    QTest::newRow("odd at 1.25") << 7 << 1.25f << 8;
}

void tst_ZoomGeometry::zoomedSize()
{
    QFETCH(qint32, orig);
    QFETCH(float, zoom);
    QFETCH(qint32, zoomed);
    ZoomGeometry g = setUp(orig + 2, orig + 2);
    QCOMPARE(g.mOrigWidth, orig);
    g.mZoom = zoom;
    g.computeZoomWidth();
    g.computeZoomHeight();
    QCOMPARE(g.mZoomWidth, zoomed);
    QCOMPARE(g.mZoomHeight, zoomed);
}

void tst_ZoomGeometry::paintLimit_data()
{
    QTest::addColumn<qint32>("width");
    QTest::addColumn<qint32>("height");
    QTest::addColumn<bool>("paints");
    QTest::newRow("agreement page") << 10798 << 14998 << true;
    QTest::newRow("width just below") << 12099 << 100 << true;
    QTest::newRow("width at limit") << 12100 << 100 << false;
    QTest::newRow("height just below") << 100 << 15699 << true;
    QTest::newRow("height at limit") << 100 << 15700 << false;
}

void tst_ZoomGeometry::paintLimit()
{
    QFETCH(qint32, width);
    QFETCH(qint32, height);
    QFETCH(bool, paints);
    ZoomGeometry g = setUp(width + 2, height + 2);
    QCOMPARE(g.fitsPaintLimit(), paints);
}

void tst_ZoomGeometry::origSizeIsSourceInnerSizeMinusTwo()
{
    ZoomGeometry g(kViewportWidth, kViewportHeight, kBorder);
    g.assignPicture(10800, 15000);
    QCOMPARE(g.sourceWidth(), 0);
    g.copyDisplayWidthToSource();
    g.copyDisplayHeightToSource();
    QCOMPARE(g.sourceWidth(), 10800);
    QCOMPARE(g.sourceHeight(), 15000);
    g.measureOrigWidth();
    g.measureOrigHeight();
    QCOMPARE(g.mOrigWidth, 10798);
    QCOMPARE(g.mOrigHeight, 14998);
}

void tst_ZoomGeometry::enableBarForZoom_data()
{
    QTest::addColumn<qint32>("zoomWidth");
    QTest::addColumn<bool>("enabled");
    // The viewport's inner width is 9330 - 2 * 15 = 9300.
    QTest::newRow("wider than inner") << 9301 << true;
    QTest::newRow("as wide as inner") << 9300 << false;
    QTest::newRow("narrower") << 5000 << false;
}

void tst_ZoomGeometry::enableBarForZoom()
{
    QFETCH(qint32, zoomWidth);
    QFETCH(bool, enabled);
    ZoomGeometry g(kViewportWidth, kViewportHeight, kBorder);
    g.mZoomWidth = zoomWidth;
    g.mZoomHeight = zoomWidth;
    g.enableBarForZoom(Axis::Horizontal);
    g.enableBarForZoom(Axis::Vertical);
    QCOMPARE(g.bar(Axis::Horizontal).enabled, enabled);
    QCOMPARE(g.bar(Axis::Vertical).enabled, zoomWidth > 7395);
}

void tst_ZoomGeometry::barChangeMovesDisplay_data()
{
    QTest::addColumn<qint32>("naturalWidth");
    QTest::addColumn<qint16>("value");
    QTest::addColumn<float>("left");
    QTest::newRow("tens") << 12002 << qint16(17) << -170.0f;
    QTest::newRow("ones") << 9407 << qint16(75) << -75.0f;
    QTest::newRow("back to 0") << 12002 << qint16(0) << 0.0f;
    // Shown at its natural size, 40004 twips wider than the viewport: the position is
    // 10 x 4000, past a 16-bit product, and is still where the bar says.
    QTest::newRow("beyond 16 bits") << 49334 << qint16(4000) << -40000.0f;
}

void tst_ZoomGeometry::barChangeMovesDisplay()
{
    QFETCH(qint32, naturalWidth);
    QFETCH(qint16, value);
    QFETCH(float, left);
    ZoomGeometry g = setUp(naturalWidth, 15002);
    g.setBarValue(Axis::Horizontal, 3);
    g.setBarValue(Axis::Horizontal, value);
    QCOMPARE(g.left(), left);
    g.setBarValue(Axis::Vertical, 9);
    QCOMPARE(g.top(), -90.0f);
}

void tst_ZoomGeometry::valueForPercent_data()
{
    QTest::addColumn<qint16>("percent");
    QTest::addColumn<qint16>("maximum");
    QTest::addColumn<int>("value"); // -1: ignored
    QTest::newRow("half of 294") << qint16(50) << qint16(294) << 147;
    QTest::newRow("0") << qint16(0) << qint16(294) << 0;
    QTest::newRow("100") << qint16(100) << qint16(294) << 294;
    QTest::newRow("37.5 to even 38") << qint16(50) << qint16(75) << 38;
    QTest::newRow("36.5 to even 36") << qint16(50) << qint16(73) << 36;
    QTest::newRow("above 100 ignored") << qint16(101) << qint16(294) << -1;
    QTest::newRow("negative ignored") << qint16(-1) << qint16(294) << -1;
}

void tst_ZoomGeometry::valueForPercent()
{
    QFETCH(qint16, percent);
    QFETCH(qint16, maximum);
    QFETCH(int, value);
    const auto result = ZoomGeometry::valueForPercent(percent, maximum);
    QCOMPARE(result.has_value(), value >= 0);
    if (result)
        QCOMPARE(int(*result), value);
}

void tst_ZoomGeometry::percentOf_data()
{
    QTest::addColumn<float>("position");
    QTest::addColumn<qint32>("outer");
    QTest::addColumn<int>("percent"); // -1000: none
    QTest::newRow("half way") << -1470.0f << 12270 << 50;
    QTest::newRow("far right with border") << -2970.0f << 12270 << 101;
    QTest::newRow("at the edge") << 0.0f << 12270 << 0;
    QTest::newRow("0.5% to even 0") << -1.0f << 9530 << 0;
    QTest::newRow("1.5% to even 2") << -3.0f << 9530 << 2;
    QTest::newRow("narrower: negative") << 4300.0f << 5000 << -99;
    QTest::newRow("equal: none") << -10.0f << 9330 << -1000;
}

void tst_ZoomGeometry::percentOf()
{
    QFETCH(float, position);
    QFETCH(qint32, outer);
    QFETCH(int, percent);
    const auto result = ZoomGeometry::percentOf(position, outer, kViewportWidth);
    QCOMPARE(result.has_value(), percent != -1000);
    if (result)
        QCOMPARE(int(*result), percent);
}

void tst_ZoomGeometry::percentOverflowIsAnError()
{
    QVERIFY_THROWS_EXCEPTION(std::overflow_error,
                             ZoomGeometry::percentOf(-400.0f, kViewportWidth + 1, kViewportWidth));
}

void tst_ZoomGeometry::dragClamps_data()
{
    QTest::addColumn<float>("dx");
    QTest::addColumn<float>("dy");
    QTest::addColumn<float>("left");
    QTest::addColumn<float>("top");
    // Box 12270 x 15000 at (-500, -600) in a 9300 x 7395 inner viewport.
    QTest::newRow("inside") << -100.0f << 50.0f << -600.0f << -550.0f;
    QTest::newRow("past left edge stops") << -9000.0f << 0.0f << -2970.0f << -600.0f;
    QTest::newRow("past right edge stops at 0") << 900.0f << 0.0f << 0.0f << -600.0f;
    QTest::newRow("past bottom stops") << 0.0f << -20000.0f << -500.0f << -7605.0f;
    QTest::newRow("past top stops at 0") << 0.0f << 601.0f << -500.0f << 0.0f;
    QTest::newRow("exactly to 0") << 500.0f << 600.0f << 0.0f << 0.0f;
}

void tst_ZoomGeometry::dragClamps()
{
    QFETCH(float, dx);
    QFETCH(float, dy);
    QFETCH(float, left);
    QFETCH(float, top);
    ZoomGeometry g(kViewportWidth, kViewportHeight, kBorder);
    g.assignPicture(12270, 15000);
    g.moveDisplay(-500.0f, -600.0f);
    g.pressAt(1000.0f, 2000.0f);
    QCOMPARE(g.dragLeft(1000.0f + dx), left);
    QCOMPARE(g.dragTop(2000.0f + dy), top);
}

void tst_ZoomGeometry::dragNarrowPicture_data()
{
    QTest::addColumn<float>("dx");
    QTest::addColumn<float>("left");
    QTest::addColumn<qint16>("barValue");
    // 5000 wide in a 9300 inner width: the lower limit 4300 lies right of 0. At the edge
    // the percentage is 0; on the far side it is negative and ignored.
    QTest::newRow("pushed right stays at left edge") << 10.0f << 0.0f << qint16(0);
    QTest::newRow("no move goes to far side") << 0.0f << 4300.0f << qint16(5);
    QTest::newRow("pushed left goes to far side") << -10.0f << 4300.0f << qint16(5);
}

void tst_ZoomGeometry::dragNarrowPicture()
{
    QFETCH(float, dx);
    QFETCH(float, left);
    QFETCH(qint16, barValue);
    ZoomGeometry g = setUp(5002, 5002);
    QVERIFY(!g.bar(Axis::Horizontal).enabled);
    g.setBarValue(Axis::Horizontal, 5);
    QCOMPARE(g.left(), 0.0f);
    g.pressAt(100.0f, 100.0f);
    QCOMPARE(g.dragLeft(100.0f + dx), left);
    g.moveDisplay(g.dragLeft(100.0f + dx), g.dragTop(100.0f));
    const auto percent = g.dragPercent(Axis::Horizontal);
    QVERIFY(percent.has_value());
    g.setBarByPercent(Axis::Horizontal, *percent);
    QCOMPARE(g.bar(Axis::Horizontal).value, barValue);
    QCOMPARE(g.left(), left);
}

void tst_ZoomGeometry::dragToFarRightKeepsBar()
{
    // Excess 2940 with a 15-twip border: the far drag reaches 2970, which is 101%.
    ZoomGeometry g = setUp(12270, 7000);
    g.setBarValue(Axis::Horizontal, 40);
    g.pressAt(5000.0f, 10.0f);
    g.moveDisplay(g.dragLeft(-20000.0f), g.dragTop(10.0f));
    QCOMPARE(g.left(), -2970.0f);
    QCOMPARE(g.dragPercent(Axis::Horizontal), std::optional<qint16>(101));
    g.setBarByPercent(Axis::Horizontal, *g.dragPercent(Axis::Horizontal));
    QCOMPARE(g.bar(Axis::Horizontal).value, qint16(40));
    QCOMPARE(g.left(), -2970.0f);
}

void tst_ZoomGeometry::dragToFarLeftSettlesOnGrid()
{
    ZoomGeometry g = setUp(12270, 7000);
    g.pressAt(100.0f, 10.0f);
    g.moveDisplay(g.dragLeft(100.0f - 1475.0f), g.dragTop(10.0f));
    QCOMPARE(g.left(), -1475.0f);
    const auto percent = g.dragPercent(Axis::Horizontal); // 50.17 -> 50
    QCOMPARE(percent, std::optional<qint16>(50));
    g.setBarByPercent(Axis::Horizontal, *percent);
    QCOMPARE(g.bar(Axis::Horizontal).value, qint16(147));
    QCOMPARE(g.left(), -1470.0f);
}

void tst_ZoomGeometry::equalWidthLeavesBarUnchanged()
{
    ZoomGeometry g = setUp(kViewportWidth + 2, 15002);
    QCOMPARE(g.displayWidth(), kViewportWidth);
    QVERIFY(!g.bar(Axis::Horizontal).enabled);
    g.moveDisplay(-30.0f, 0.0f);
    QVERIFY(!g.dragPercent(Axis::Horizontal).has_value());
}

void tst_ZoomGeometry::oneTwipDragStaysOffGridUntilNextBarChange()
{
    ZoomGeometry g = setUp(12270, 7000);
    g.setBarValue(Axis::Horizontal, 100);
    QCOMPARE(g.left(), -1000.0f);
    g.pressAt(50.0f, 10.0f);
    g.moveDisplay(g.dragLeft(49.0f), g.dragTop(10.0f));
    QCOMPARE(g.left(), -1001.0f);
    g.setBarByPercent(Axis::Horizontal, *g.dragPercent(Axis::Horizontal)); // 34.05 -> 34: 99.96 -> 100
    QCOMPARE(g.bar(Axis::Horizontal).value, qint16(100));
    QCOMPARE(g.left(), -1001.0f);
    g.setBarValue(Axis::Horizontal, 101);
    QCOMPARE(g.left(), -1010.0f);
}

void tst_ZoomGeometry::fitBarOverflowIsAnError()
{
    QVERIFY_THROWS_EXCEPTION(std::overflow_error, ZoomGeometry::fitBar(400000, kViewportWidth));
}

void tst_ZoomGeometry::pageHeightJudgedPerPage_data()
{
    QTest::addColumn<qint32>("pageHeight"); // 0: a picture without pages
    QTest::addColumn<float>("zoom");
    QTest::addColumn<bool>("paints");
    // A picture of four pages, 11730 twips each: the whole never fits, each page does up to 1.25.
    QTest::newRow("whole picture") << 0 << 1.0f << false;
    QTest::newRow("page at 1") << 11730 << 1.0f << true;
    QTest::newRow("page at 1.25") << 11730 << 1.25f << true;
    QTest::newRow("page at 1.5") << 11730 << 1.5f << false;
    QTest::newRow("page as tall as the picture") << 60000 << 1.0f << false;
}

void tst_ZoomGeometry::pageHeightJudgedPerPage()
{
    QFETCH(qint32, pageHeight);
    QFETCH(float, zoom);
    QFETCH(bool, paints);
    ZoomGeometry g(kViewportWidth, kViewportHeight, kBorder);
    g.assignPicture(9300, 4 * 11730 + 5 * 120);
    g.setSourcePageHeight(pageHeight);
    g.copyDisplayWidthToSource();
    g.copyDisplayHeightToSource();
    g.measureOrigWidth();
    g.measureOrigHeight();
    g.mZoom = zoom;
    g.computeZoomWidth();
    g.computeZoomHeight();
    QCOMPARE(g.fitsPaintLimit(), paints);
}

void tst_ZoomGeometry::resizeKeepsPlaceOnGrid_data()
{
    QTest::addColumn<qint32>("viewportHeight");
    QTest::addColumn<qint16>("value"); // before, in a viewport of 7425
    QTest::addColumn<bool>("enabled"); // after
    QTest::addColumn<qint16>("maximum");
    QTest::addColumn<qint16>("expected");
    // A picture 20000 high: excess 12575 (1258 units of 10) at the window's own size.
    QTest::newRow("taller, place kept") << 9000 << qint16(500) << true << qint16(1100) << qint16(500);
    QTest::newRow("taller, place past the new end")
        << 15000 << qint16(1200) << true << qint16(500) << qint16(500);
    QTest::newRow("shorter, place kept") << 5000 << qint16(900) << true << qint16(1500) << qint16(900);
    QTest::newRow("whole picture fits") << 21000 << qint16(700) << false << qint16(0) << qint16(0);
}

void tst_ZoomGeometry::resizeKeepsPlaceOnGrid()
{
    QFETCH(qint32, viewportHeight);
    QFETCH(qint16, value);
    QFETCH(bool, enabled);
    QFETCH(qint16, maximum);
    QFETCH(qint16, expected);
    ZoomGeometry g = setUp(9000, 20000);
    g.setBarValue(Axis::Vertical, value);
    g.resizeViewport(kViewportWidth, viewportHeight);
    QCOMPARE(g.bar(Axis::Vertical).enabled, enabled);
    if (enabled)
        QCOMPARE(g.bar(Axis::Vertical).maximum, maximum);
    QCOMPARE(g.mVStep, qint16(enabled ? 10 : 0));
    QCOMPARE(g.top(), -float(expected * g.mVStep));
    if (enabled)
        QCOMPARE(g.bar(Axis::Vertical).value, expected);
}

QTEST_APPLESS_MAIN(tst_ZoomGeometry)
#include "tst_zoomgeometry.moc"
