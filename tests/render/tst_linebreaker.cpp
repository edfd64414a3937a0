#include "render/linebreaker.h"

#include <QtTest>

using Alignment = doc::TabStop::Alignment;
using ParagraphAlignment = doc::Paragraph::Alignment;
Q_DECLARE_METATYPE(ParagraphAlignment)
Q_DECLARE_METATYPE(Alignment)

namespace
{

// Letters are 10 px wide and spaces 5 px, so every expected position can be worked out by hand.
// '\t' is a tab, '\n' a line break, '-' a letter that allows a break after it, '.' a decimal point.
std::vector<render::LineItem> items(const QString& text)
{
    std::vector<render::LineItem> result;
    for (const QChar c : text) {
        render::LineItem item;
        if (c == u' ') {
            item.kind = render::LineItem::Kind::Space;
            item.width = 5;
            item.breakAfter = true;
        } else if (c == u'\t') {
            item.kind = render::LineItem::Kind::Tab;
            item.breakAfter = true;
        } else if (c == u'\n') {
            item.kind = render::LineItem::Kind::LineBreak;
        } else {
            item.width = 10;
            item.breakAfter = c == u'-';
            item.decimalPoint = c == u'.';
        }
        result.push_back(item);
    }
    return result;
}

render::TabRuler ruler(std::vector<render::TabRuler::Stop> stops = {})
{
    render::TabRuler r;
    r.stops = std::move(stops);
    r.defaultWidth = 48;
    return r;
}

QStringList lineTexts(const QString& text, const std::vector<render::BrokenLine>& lines)
{
    QStringList result;
    for (const render::BrokenLine& line : lines)
        result << text.mid(static_cast<qsizetype>(line.begin), static_cast<qsizetype>(line.end - line.begin));
    return result;
}

} // namespace

class tst_LineBreaker : public QObject
{
    Q_OBJECT

private slots:
    void breakLines_data();
    void breakLines();
    void linesTileTheParagraph();
    void tabStops_data();
    void tabStops();
    void align_data();
    void align();
};

void tst_LineBreaker::breakLines_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("firstLineStart");
    QTest::addColumn<double>("lineEnd");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("fits") << "aaa bbb" << 0.0 << 100.0 << QStringList{"aaa bbb"};
    QTest::newRow("breaks after the last space")
        << "aaa bbb ccc" << 0.0 << 75.0 << QStringList{"aaa bbb ", "ccc"};
    QTest::newRow("exactly full") << "aaa bbb ccc" << 0.0 << 65.0 << QStringList{"aaa bbb ", "ccc"};
    QTest::newRow("one short of full") << "aaa bbb ccc" << 0.0 << 64.0 << QStringList{"aaa ", "bbb ", "ccc"};
    QTest::newRow("trailing spaces hang") << "aaa      bbb" << 0.0 << 40.0 << QStringList{"aaa      ", "bbb"};
    QTest::newRow("long word is cut") << "aaaaaaaaaa" << 0.0 << 35.0 << QStringList{"aaa", "aaa", "aaa", "a"};
    QTest::newRow("letter wider than the line") << "ab" << 0.0 << 5.0 << QStringList{"a", "b"};
    QTest::newRow("after a hyphen") << "aaa-bbb" << 0.0 << 55.0 << QStringList{"aaa-", "bbb"};
    QTest::newRow("line break") << "aa\nbb" << 0.0 << 100.0 << QStringList{"aa\n", "bb"};
    QTest::newRow("line break at the end adds a line") << "aa\n" << 0.0 << 100.0 << QStringList{"aa\n", ""};
    QTest::newRow("empty paragraph") << "" << 0.0 << 100.0 << QStringList{""};
    QTest::newRow("first-line indent") << "aaa bbb" << 20.0 << 75.0 << QStringList{"aaa ", "bbb"};
    QTest::newRow("negative first-line indent")
        << "aaa bbb ccc" << -20.0 << 65.0 << QStringList{"aaa bbb ", "ccc"};
    QTest::newRow("tab fits") << "aaa\tbbb" << 0.0 << 100.0 << QStringList{"aaa\tbbb"};
    QTest::newRow("text after a tab wraps") << "aaa\tbbb" << 0.0 << 70.0 << QStringList{"aaa\t", "bbb"};
    QTest::newRow("tab past the end starts the next line")
        << "aaa\tb" << 0.0 << 45.0 << QStringList{"aaa", "\t", "b"};
}

void tst_LineBreaker::breakLines()
{
    QFETCH(QString, text);
    QFETCH(double, firstLineStart);
    QFETCH(double, lineEnd);
    QFETCH(QStringList, lines);
    const render::LineFrame frame{firstLineStart, 0, lineEnd};
    QCOMPARE(lineTexts(text, render::breakLines(items(text), frame, ruler())), lines);
}

void tst_LineBreaker::linesTileTheParagraph()
{
    const QString text = "aaaa bb c dddddddddddddd ee-ff\tg hhh iii\njj kkkkk";
    const std::vector<render::LineItem> list = items(text);
    for (double lineEnd : {20.0, 47.0, 80.0, 133.0, 500.0}) {
        const auto lines = render::breakLines(list, {0, 0, lineEnd}, ruler());
        std::size_t next = 0;
        for (const render::BrokenLine& line : lines) {
            QCOMPARE(line.begin, next);
            QVERIFY(line.end > line.begin);
            QCOMPARE(line.placements.size(), line.end - line.begin);
            QVERIFY2(line.contentRight <= lineEnd + 1e-9 || line.end - line.begin == 1,
                     qPrintable(QString("line end %1, content to %2").arg(lineEnd).arg(line.contentRight)));
            next = line.end;
        }
        QCOMPARE(next, list.size());
    }
}

void tst_LineBreaker::tabStops_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<std::vector<render::TabRuler::Stop>>("stops");
    QTest::addColumn<int>("item");
    QTest::addColumn<double>("x");

    using Stops = std::vector<render::TabRuler::Stop>;
    QTest::newRow("default stop") << "a\tb" << Stops{} << 2 << 48.0;
    QTest::newRow("second default stop") << "aaaaa\tb" << Stops{} << 6 << 96.0;
    QTest::newRow("left stop") << "a\tb" << Stops{{100, Alignment::Left, u' '}} << 2 << 100.0;
    QTest::newRow("right stop") << "a\tbbb" << Stops{{100, Alignment::Right, u' '}} << 2 << 70.0;
    QTest::newRow("right stop, last letter") << "a\tbbb" << Stops{{100, Alignment::Right, u' '}} << 4 << 90.0;
    QTest::newRow("center stop") << "a\tbb" << Stops{{100, Alignment::Center, u' '}} << 2 << 90.0;
    QTest::newRow("decimal stop") << "a\t12.50" << Stops{{100, Alignment::Decimal, u' '}} << 2 << 80.0;
    QTest::newRow("decimal point on the stop")
        << "a\t12.50" << Stops{{100, Alignment::Decimal, u' '}} << 4 << 100.0;
    QTest::newRow("decimal without point is right")
        << "a\t125" << Stops{{100, Alignment::Decimal, u' '}} << 2 << 70.0;
    QTest::newRow("right stop without room")
        << "aaaaaaaaa\tbb" << Stops{{100, Alignment::Right, u' '}} << 10 << 90.0;
    QTest::newRow("right segment ends at the next tab")
        << "a\tbb\tc" << Stops{{100, Alignment::Right, u' '}, {150, Alignment::Left, u' '}} << 5 << 150.0;
    QTest::newRow("eight close stops") << "Owner\t\t\tX"
                                       << Stops{{40, Alignment::Left, u' '},
                                                {45, Alignment::Left, u' '},
                                                {60, Alignment::Left, u' '},
                                                {65, Alignment::Left, u' '},
                                                {70, Alignment::Left, u' '}}
                                       << 8 << 70.0;
}

void tst_LineBreaker::tabStops()
{
    QFETCH(QString, text);
    QFETCH(std::vector<render::TabRuler::Stop>, stops);
    QFETCH(int, item);
    QFETCH(double, x);
    const std::vector<render::LineItem> list = items(text);
    const render::BrokenLine line = render::placeLine(list, 0, list.size(), 0, ruler(stops));
    QCOMPARE(line.placements[static_cast<std::size_t>(item)].x, x);
    // Nothing overlaps and nothing goes backwards.
    for (std::size_t i = 1; i < line.placements.size(); ++i)
        QVERIFY(line.placements[i].x >= line.placements[i - 1].x + line.placements[i - 1].width - 1e-9);
}

void tst_LineBreaker::align_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<ParagraphAlignment>("alignment");
    QTest::addColumn<bool>("last");
    QTest::addColumn<QList<double>>("xs");

    QTest::newRow("left") << "aa b" << ParagraphAlignment::Left << false << QList<double>{0, 10, 20, 25};
    QTest::newRow("center") << "aa" << ParagraphAlignment::Center << true << QList<double>{40, 50};
    QTest::newRow("center ignores trailing space")
        << "aa " << ParagraphAlignment::Center << true << QList<double>{40, 50, 60};
    QTest::newRow("right") << "aa" << ParagraphAlignment::Right << true << QList<double>{80, 90};
    QTest::newRow("justify stretches spaces")
        << "aa bb cc" << ParagraphAlignment::Justify << false << QList<double>{0, 10, 20, 40, 50, 60, 80, 90};
    QTest::newRow("justify leaves the last line")
        << "aa bb cc" << ParagraphAlignment::Justify << true << QList<double>{0, 10, 20, 25, 35, 45, 50, 60};
    QTest::newRow("justify skips a trailing space")
        << "aa bb " << ParagraphAlignment::Justify << false << QList<double>{0, 10, 20, 80, 90, 100};
    QTest::newRow("justify only after the last tab")
        << "a b\tc d" << ParagraphAlignment::Justify << false << QList<double>{0, 10, 15, 25, 48, 58, 90};
    QTest::newRow("justify without spaces stays left")
        << "aaa" << ParagraphAlignment::Justify << false << QList<double>{0, 10, 20};
}

void tst_LineBreaker::align()
{
    QFETCH(QString, text);
    QFETCH(ParagraphAlignment, alignment);
    QFETCH(bool, last);
    QFETCH(QList<double>, xs);
    const std::vector<render::LineItem> list = items(text);
    render::BrokenLine line = render::placeLine(list, 0, list.size(), 0, ruler());
    render::alignLine(line, list, alignment, 100, last);
    QList<double> actual;
    for (const render::LinePlacement& placement : line.placements)
        actual << placement.x;
    QCOMPARE(actual, xs);
}

QTEST_GUILESS_MAIN(tst_LineBreaker)
#include "tst_linebreaker.moc"
