#include "render/layoutmath.h"

#include <QtTest>

using Alignment = doc::TabStop::Alignment;
Q_DECLARE_METATYPE(Alignment)
Q_DECLARE_METATYPE(std::vector<render::TabRuler::Stop>)
Q_DECLARE_METATYPE(doc::SectionLayout)

class tst_LayoutMath : public QObject
{
    Q_OBJECT

private slots:
    void twipsToPixels_data();
    void twipsToPixels();
    void pointsToPixels_data();
    void pointsToPixels();
    void resolveTab_data();
    void resolveTab();
    void rulerFromParagraph();
    void lineHeight_data();
    void lineHeight();
    void baselineInLine_data();
    void baselineInLine();
    void pictureGeometry_data();
    void pictureGeometry();
};

void tst_LayoutMath::twipsToPixels_data()
{
    QTest::addColumn<double>("twips");
    QTest::addColumn<double>("pixels");
    QTest::addColumn<int>("whole"); // to the nearest pixel
    QTest::newRow("zero") << 0.0 << 0.0 << 0;
    QTest::newRow("one pixel") << 15.0 << 1.0 << 1;
    QTest::newRow("inch") << 1440.0 << 96.0 << 96;
    QTest::newRow("letter width") << 12240.0 << 816.0 << 816;
    QTest::newRow("fraction") << 7.0 << 7.0 / 15.0 << 0;
    QTest::newRow("fraction up") << 8.0 << 8.0 / 15.0 << 1;
    QTest::newRow("negative") << -720.0 << -48.0 << -48;
    QTest::newRow("negative fraction") << -20.0 << -20.0 / 15.0 << -1;
}

void tst_LayoutMath::twipsToPixels()
{
    QFETCH(double, twips);
    QFETCH(double, pixels);
    QFETCH(int, whole);
    QCOMPARE(render::twipsToPixels(twips), pixels);
    QCOMPARE(render::roundTwipsToPixels(twips), whole);
}

void tst_LayoutMath::pointsToPixels_data()
{
    QTest::addColumn<double>("points");
    QTest::addColumn<double>("pixels");
    QTest::newRow("12 pt") << 12.0 << 16.0;
    QTest::newRow("9 pt") << 9.0 << 12.0;
    QTest::newRow("18 pt") << 18.0 << 24.0;
    QTest::newRow("11 pt") << 11.0 << 44.0 / 3.0;
    QTest::newRow("72 pt is an inch") << 72.0 << 96.0;
}

void tst_LayoutMath::pointsToPixels()
{
    QFETCH(double, points);
    QFETCH(double, pixels);
    QCOMPARE(render::pointsToPixels(points), pixels);
}

namespace
{

render::TabRuler ruler(std::vector<render::TabRuler::Stop> stops, double defaultWidth,
                       std::optional<double> indentStop = std::nullopt)
{
    render::TabRuler r;
    r.stops = std::move(stops);
    r.defaultWidth = defaultWidth;
    r.indentStop = indentStop;
    return r;
}

} // namespace

void tst_LayoutMath::resolveTab_data()
{
    QTest::addColumn<double>("x");
    QTest::addColumn<std::vector<render::TabRuler::Stop>>("stops");
    QTest::addColumn<double>("indentStop"); // negative: none
    QTest::addColumn<double>("expected");
    QTest::addColumn<Alignment>("alignment");

    using Stops = std::vector<render::TabRuler::Stop>;
    QTest::newRow("default from the edge") << 0.0 << Stops{} << -1.0 << 48.0 << Alignment::Left;
    QTest::newRow("default from inside a step") << 10.0 << Stops{} << -1.0 << 48.0 << Alignment::Left;
    QTest::newRow("default just before a stop") << 47.9 << Stops{} << -1.0 << 48.0 << Alignment::Left;
    QTest::newRow("default on a stop goes on") << 48.0 << Stops{} << -1.0 << 96.0 << Alignment::Left;
    QTest::newRow("default far right") << 500.0 << Stops{} << -1.0 << 528.0 << Alignment::Left;
    QTest::newRow("explicit before defaults")
        << 0.0 << Stops{{100, Alignment::Left, u' '}} << -1.0 << 100.0 << Alignment::Left;
    QTest::newRow("explicit clears defaults left of it")
        << 50.0 << Stops{{100, Alignment::Left, u' '}} << -1.0 << 100.0 << Alignment::Left;
    QTest::newRow("defaults resume after last explicit")
        << 100.0 << Stops{{100, Alignment::Left, u' '}} << -1.0 << 144.0 << Alignment::Left;
    QTest::newRow("default past last explicit")
        << 150.0 << Stops{{100, Alignment::Left, u' '}} << -1.0 << 192.0 << Alignment::Left;
    QTest::newRow("second explicit") << 120.0
                                     << Stops{{100, Alignment::Left, u' '}, {200, Alignment::Right, u'.'}}
                                     << -1.0 << 200.0 << Alignment::Right;
    QTest::newRow("center stop") << 10.0 << Stops{{300, Alignment::Center, u' '}} << -1.0 << 300.0
                                 << Alignment::Center;
    QTest::newRow("decimal stop") << 10.0 << Stops{{300, Alignment::Decimal, u' '}} << -1.0 << 300.0
                                  << Alignment::Decimal;
    QTest::newRow("hanging indent is a stop") << 0.0 << Stops{} << 30.0 << 30.0 << Alignment::Left;
    QTest::newRow("explicit nearer than hanging indent")
        << 0.0 << Stops{{20, Alignment::Right, u' '}} << 30.0 << 20.0 << Alignment::Right;
    QTest::newRow("hanging indent nearer than explicit")
        << 0.0 << Stops{{200, Alignment::Right, u' '}} << 30.0 << 30.0 << Alignment::Left;
    QTest::newRow("past the hanging indent") << 30.0 << Stops{} << 30.0 << 48.0 << Alignment::Left;
}

void tst_LayoutMath::resolveTab()
{
    QFETCH(double, x);
    QFETCH(std::vector<render::TabRuler::Stop>, stops);
    QFETCH(double, indentStop);
    QFETCH(double, expected);
    QFETCH(Alignment, alignment);
    const render::TabRuler r =
        ruler(stops, 48, indentStop >= 0 ? std::optional<double>(indentStop) : std::nullopt);
    const render::TabRuler::Stop stop = render::resolveTab(r, x);
    QCOMPARE(stop.position, expected);
    QCOMPARE(stop.alignment, alignment);
}

void tst_LayoutMath::rulerFromParagraph()
{
    doc::Paragraph paragraph;
    paragraph.tabs = {
        {2880, Alignment::Right, u'.'}, {1440, Alignment::Left, u' '}, {2000, Alignment::Bar, u' '}};
    render::TabRuler r = render::TabRuler::fromParagraph(paragraph, 720);
    QCOMPARE(r.stops.size(), std::size_t(2)); // the bar tab is no stop
    QCOMPARE(r.stops[0].position, 96.0);
    QCOMPARE(r.stops[1].position, 192.0);
    QCOMPARE(r.stops[1].leader, u'.');
    QCOMPARE(r.defaultWidth, 48.0);
    QVERIFY(!r.indentStop);

    paragraph.leftIndent = 720;
    paragraph.firstLineIndent = -720;
    r = render::TabRuler::fromParagraph(paragraph, 0); // a damaged default width falls back to half an inch
    QCOMPARE(r.defaultWidth, 48.0);
    QVERIFY(r.indentStop);
    QCOMPARE(*r.indentStop, 48.0);
    QCOMPARE(render::resolveTab(render::TabRuler::fromParagraph(doc::Paragraph{}, -5), 1.0).position, 48.0);
}

void tst_LayoutMath::lineHeight_data()
{
    QTest::addColumn<double>("single");
    QTest::addColumn<int>("lineSpacing");
    QTest::addColumn<bool>("multiple");
    QTest::addColumn<double>("expected");
    const double s = 18.421875; // Liberation Serif 12 pt: 13.8 pt
    QTest::newRow("single") << s << 240 << true << s;
    QTest::newRow("one and a half") << s << 360 << true << s * 1.5;
    QTest::newRow("double") << s << 480 << true << s * 2;
    QTest::newRow("damaged multiple") << s << 0 << true << s;
    QTest::newRow("at least, more") << s << 360 << false << 24.0;
    QTest::newRow("at least, less keeps single") << s << 200 << false << s;
    QTest::newRow("exact, less") << s << -200 << false << 200.0 / 15;
    QTest::newRow("exact, more") << s << -480 << false << 32.0;
}

void tst_LayoutMath::lineHeight()
{
    QFETCH(double, single);
    QFETCH(int, lineSpacing);
    QFETCH(bool, multiple);
    QFETCH(double, expected);
    QCOMPARE(render::lineHeight(single, lineSpacing, multiple), expected);
}

void tst_LayoutMath::baselineInLine_data()
{
    QTest::addColumn<double>("height");
    QTest::addColumn<int>("lineSpacing");
    QTest::addColumn<bool>("multiple");
    QTest::addColumn<double>("baseline");
    // Text reaching 15 px above its baseline and 5 px below: a single line is 20 px.
    QTest::newRow("single") << 20.0 << 240 << true << 15.0;
    QTest::newRow("double: room above") << 40.0 << 480 << true << 35.0;
    QTest::newRow("at least: room above") << 30.0 << 450 << false << 25.0;
    QTest::newRow("exact, taller: proportional") << 40.0 << -600 << false << 30.0;
    QTest::newRow("exact, shorter: proportional") << 10.0 << -150 << false << 7.5;
    QTest::newRow("exact, nothing") << 0.0 << -1 << false << 0.0;
}

void tst_LayoutMath::baselineInLine()
{
    QFETCH(double, height);
    QFETCH(int, lineSpacing);
    QFETCH(bool, multiple);
    QFETCH(double, baseline);
    QCOMPARE(render::baselineInLine(15, 5, height, lineSpacing, multiple), baseline);
}

void tst_LayoutMath::pictureGeometry_data()
{
    QTest::addColumn<doc::SectionLayout>("section");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");

    auto section = [](int w, int h, int margin, int top) {
        doc::SectionLayout s;
        s.pageWidth = w;
        s.pageHeight = h;
        s.marginLeft = s.marginRight = margin;
        s.marginTop = s.marginBottom = top;
        return s;
    };
    QTest::newRow("letter, inch margins") << section(12240, 15840, 1440, 1440) << 816 << 1056;
    QTest::newRow("letter, Word's side margins") << section(12240, 15840, 1800, 1440) << 816 << 1056;
    QTest::newRow("a4 rounds up") << section(11906, 16838, 1440, 1440) << 794 << 1123;
    QTest::newRow("narrow margins") << section(12240, 15840, 360, 1440) << 816 << 1056;
    QTest::newRow("landscape") << section(15840, 12240, 1440, 1440) << 1056 << 816;
    QTest::newRow("negative top margin counts by size") << section(12240, 15840, 1440, -1440) << 816 << 1056;
    QTest::newRow("margins wider than the page") << section(12240, 15840, 7000, 1440) << 935 << 1056;
    QTest::newRow("damaged sizes") << section(-5, 2000000000, 1440, 1440) << 193 << 2112;
}

void tst_LayoutMath::pictureGeometry()
{
    QFETCH(doc::SectionLayout, section);
    QFETCH(int, width);
    QFETCH(int, height);
    const render::PictureGeometry g = render::pictureGeometry(section);
    QCOMPARE(g.widthPx, width);
    QCOMPARE(g.heightPx, height);
    QVERIFY(g.columnWidth >= 1);
    // The column sits at the margins, inside the sheet.
    QVERIFY(g.columnLeft >= 0 && g.columnLeft + g.columnWidth <= g.widthPx);
    QVERIFY(g.columnHeight >= 1);
}

QTEST_GUILESS_MAIN(tst_LayoutMath)
#include "tst_layoutmath.moc"
