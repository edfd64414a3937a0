#include "agreementmodel.h"
#include "render/flow.h"
#include "render/pagefonts.h"
#include "render/pagelayout.h"

#include <QtTest>

#include <QBuffer>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>

#include <set>

using A = doc::Paragraph::Alignment;

Q_DECLARE_METATYPE(doc::ReadModel)
Q_DECLARE_METATYPE(doc::CharacterRun)
Q_DECLARE_METATYPE(doc::Paragraph)

namespace
{

doc::ReadModel oneInchPage(std::vector<doc::Paragraph> paragraphs)
{
    doc::ReadModel model;
    model.section().marginLeft = 1440;
    model.section().marginRight = 1440;
    model.paragraphs = std::move(paragraphs);
    testmodel::paragraphsAsBody(model);
    return model;
}

const std::u16string kLongText =
    u"The Contractor shall furnish all materials and perform all of the work on the property, keep the site "
    u"orderly at the end of every working day, obtain the permits the work requires and finish within the "
    u"time "
    u"agreed, unless weather or the Owner's changes delay it, in which case the time is extended "
    u"accordingly.";

std::vector<const render::PageLine*> linesOf(const render::PageLayout& layout, int paragraph)
{
    std::vector<const render::PageLine*> result;
    for (const render::PageLine& line : layout.lines)
        if (line.paragraph == paragraph)
            result.push_back(&line);
    return result;
}

double advance(const render::PageLayout& layout, int style, const QString& text)
{
    return layout.styles[static_cast<std::size_t>(style)].advance(text);
}

double columnRight(const render::PageLayout& layout)
{
    return layout.geometry.columnLeft + layout.geometry.columnWidth;
}

// A paragraph of lines lines, each exactly 16 px high.
doc::Paragraph linesParagraph(int lines)
{
    std::u16string text = u"line";
    for (int i = 1; i < lines; ++i)
        text += u"\x0Bline";
    doc::Paragraph paragraph = testmodel::paragraph(lines > 0 ? text : u"", A::Left);
    paragraph.lineSpacing = -240;
    paragraph.lineSpacingMultiple = false;
    return paragraph;
}

// A table of cells an inch wide, each a paragraph of the given number of lines (numbered row by row), then
// a paragraph of one line.
doc::ReadModel tableOf(const std::vector<std::vector<int>>& rows)
{
    doc::ReadModel model = oneInchPage({});
    doc::Table& table = model.tables.emplace_back();
    for (const std::vector<int>& lines : rows) {
        doc::TableRow& row = table.rows.emplace_back();
        for (const int count : lines) {
            doc::TableCell& cell = row.cells.emplace_back();
            cell.left = 1440 * static_cast<std::int32_t>(row.cells.size() - 1);
            cell.right = cell.left + 1440;
            cell.blocks.push_back({doc::Block::Kind::Paragraph, model.paragraphs.size()});
            model.paragraphs.push_back(linesParagraph(count));
        }
    }
    model.body = {{doc::Block::Kind::Table, 0}, {doc::Block::Kind::Paragraph, model.paragraphs.size()}};
    model.paragraphs.push_back(linesParagraph(1));
    return model;
}

} // namespace

class tst_PageLayout : public QObject
{
    Q_OBJECT

private slots:
    void carriedFonts_data();
    void carriedFonts();
    void pictureSize_data();
    void pictureSize();
    void longParagraphBreaksAtWords_data();
    void longParagraphBreaksAtWords();
    void alignment_data();
    void alignment();
    void justifiedLinesFillTheColumn();
    void boldRun();
    void lineBreakStartsALine();
    void pageTextJoinsWrappedLines();
    void tabsLandOnStops_data();
    void tabsLandOnStops();
    void tabLeader_data();
    void tabLeader();
    void indents();
    void specialCharacters_data();
    void specialCharacters();
    void undrawableCharacterShowsABox();
    void fractionalSizes_data();
    void fractionalSizes();
    void lineHeights();
    void paragraphSpacing();
    void emptyParagraphTakesItsMarkHeight();
    void underline();
    void stopsAtTheBottomMargin();
    void pageBreakEndsThePage();
    void pagination_data();
    void pagination();
    void placement_data();
    void placement();
    void agreementFitsOnePage();
    void tables_data();
    void tables();
    void characterLook_data();
    void characterLook();
    void kerning();
    void listLabel_data();
    void listLabel();
    void inlinePicture_data();
    void inlinePicture();
    void pageFields_data();
    void pageFields();
    void paragraphSlices_data();
    void paragraphSlices();
    void paragraphBox_data();
    void paragraphBox();
    void damagedModel();
    void hugeParagraphs_data();
    void hugeParagraphs();
};

void tst_PageLayout::carriedFonts_data()
{
    QTest::addColumn<QString>("documentFont");
    QTest::addColumn<QString>("laidOutWith");
    QTest::addColumn<double>("lineInEms"); // Word's single line in the font, where checked
    const auto installed = [](const char* family) { return QFontDatabase::hasFamily(QLatin1String(family)); };
    const auto carried = [](const char* family) {
        return family &&
               (qstrcmp(family, render::kSerifFamily) == 0 || qstrcmp(family, render::kSansFamily) == 0);
    };
    std::set<render::FontKind> kindsMissing;
    QStringList listed;
    for (const render::KnownFont& font : render::knownFonts()) {
        const QString name = QLatin1String(font.name);
        listed << name;
        if (carried(font.sameMetrics))
            QTest::addRow("%s", qPrintable(name.toUpper()))
                << name.toUpper() << QString(font.sameMetrics) << (name == u"Times New Roman" ? 1.15 : 0.0);
        else if (font.sameMetrics && !installed(font.name) && installed(font.sameMetrics))
            QTest::addRow("%s, the system's font with its metrics", font.name)
                << name << QString(font.sameMetrics) << (name == u"Calibri" ? 2500.0 / 2048 : 0.0);
        else if (!font.sameMetrics && !installed(font.name) && kindsMissing.insert(font.kind).second)
            QTest::addRow("%s, missing", font.name) << name << render::kindFallback(font.kind) << 0.0;
    }
    QTest::newRow("not listed, missing")
        << "No Such Font" << QString::fromLatin1(render::kSerifFamily) << 0.0;
    const QStringList families = QFontDatabase::families();
    const auto other = std::find_if(families.begin(), families.end(), [&](const QString& family) {
        // A family the system draws as itself, not a name fontconfig stands another font in for.
        return !listed.contains(family, Qt::CaseInsensitive) && !family.contains(QLatin1Char('[')) &&
               !QFontDatabase::isPrivateFamily(family) && QFontDatabase::hasFamily(family) &&
               QFontInfo(QFont(family)).family() == family;
    });
    if (other != families.end())
        QTest::newRow("not listed, installed") << *other << *other << 0.0;
}

// The Windows fonts a document names are laid out with the fonts the program carries, whatever
// the system has; any other with itself, a font of the same metrics or of the same kind.
void tst_PageLayout::carriedFonts()
{
    QFETCH(QString, documentFont);
    QFETCH(QString, laidOutWith);
    QFETCH(double, lineInEms);
    QVERIFY(render::registerPageFonts());
    QCOMPARE(render::pageFontFamily(documentFont), laidOutWith);
    if (laidOutWith != documentFont)
        QCOMPARE(QFontInfo(QFont(laidOutWith)).family(), laidOutWith);
    if (lineInEms > 0) {
        QFont font(laidOutWith);
        font.setPixelSize(1000);
        const QFontMetricsF metrics(font);
        const double line = metrics.ascent() + metrics.descent() + render::lineGap(font);
        QVERIFY2(std::abs(line / 1000 - lineInEms) < 0.002, qPrintable(QString::number(line)));
    }
}

void tst_PageLayout::pictureSize_data()
{
    QTest::addColumn<int>("margin");
    QTest::addColumn<double>("columnLeft");
    QTest::newRow("inch margins") << 1440 << 96.0;
    QTest::newRow("Word's default margins") << 1800 << 120.0;
}

void tst_PageLayout::pictureSize()
{
    QFETCH(int, margin);
    QFETCH(double, columnLeft);
    doc::ReadModel model = oneInchPage({testmodel::paragraph(u"Hello", A::Left)});
    model.section().marginLeft = model.section().marginRight = margin;
    const render::PageLayout layout = render::layoutPage(model);
    // The whole Letter sheet, its text at the document's own margin.
    QCOMPARE(layout.size(), QSize(816, 1056));
    QCOMPARE(layout.geometry.columnLeft, columnLeft);
    QCOMPARE(layout.lines.front().left, columnLeft);
}

void tst_PageLayout::longParagraphBreaksAtWords_data()
{
    QTest::addColumn<QString>("font");
    QTest::addColumn<double>("size");
    QTest::addColumn<int>("align");
    QTest::newRow("serif 12 left") << "Times New Roman" << 12.0 << int(A::Left);
    QTest::newRow("serif 12 justified") << "Times New Roman" << 12.0 << int(A::Justify);
    QTest::newRow("sans 11 left") << "Arial" << 11.0 << int(A::Left);
    QTest::newRow("mono 10 left") << "Courier New" << 10.0 << int(A::Left);
}

void tst_PageLayout::longParagraphBreaksAtWords()
{
    QFETCH(QString, font);
    QFETCH(double, size);
    QFETCH(int, align);
    doc::Paragraph paragraph = testmodel::paragraph(kLongText, A(align), size);
    paragraph.runs[0].fontName = font.toStdString();
    const render::PageLayout layout = render::layoutPage(oneInchPage({paragraph}));
    QVERIFY(layout.lines.size() >= 3);

    QString joined;
    for (std::size_t i = 0; i < layout.lines.size(); ++i) {
        const render::PageLine& line = layout.lines[i];
        joined += line.text;
        QVERIFY2(line.right <= columnRight(layout) + 1e-6, qPrintable(line.text));
        if (i + 1 == layout.lines.size())
            break;
        // Each line ends at a space, and the next line's first word would not have fitted after it.
        QVERIFY2(line.text.endsWith(u' '), qPrintable(line.text));
        const QString nextWord = layout.lines[i + 1].text.section(u' ', 0, 0);
        const int style = line.fragments.front().style;
        const double withNext =
            line.left + advance(layout, style, line.text) + advance(layout, style, nextWord);
        QVERIFY2(withNext > columnRight(layout), qPrintable(line.text + "|" + nextWord));
    }
    QCOMPARE(joined, QString::fromStdU16String(kLongText));
}

void tst_PageLayout::alignment_data()
{
    QTest::addColumn<int>("align");
    QTest::newRow("left") << int(A::Left);
    QTest::newRow("center") << int(A::Center);
    QTest::newRow("right") << int(A::Right);
}

void tst_PageLayout::alignment()
{
    QFETCH(int, align);
    const render::PageLayout layout =
        render::layoutPage(oneInchPage({testmodel::paragraph(u"Scope of Work ", A(align))}));
    QCOMPARE(layout.lines.size(), std::size_t(1));
    const render::PageLine& line = layout.lines[0];
    const double width = advance(layout, 0, QStringLiteral("Scope of Work"));
    QCOMPARE(line.right - line.left, width);
    const double left = layout.geometry.columnLeft;
    switch (A(align)) {
    case A::Left:
        QCOMPARE(line.left, left);
        break;
    case A::Center:
        QCOMPARE((line.left + line.right) / 2, left + layout.geometry.columnWidth / 2);
        break;
    default:
        QCOMPARE(line.right, columnRight(layout));
        break;
    }
    QCOMPARE(line.fragments.front().baseline.x(), line.left);
}

void tst_PageLayout::justifiedLinesFillTheColumn()
{
    const render::PageLayout layout =
        render::layoutPage(oneInchPage({testmodel::paragraph(kLongText, A::Justify)}));
    QVERIFY(layout.lines.size() >= 3);
    for (std::size_t i = 0; i + 1 < layout.lines.size(); ++i) {
        QCOMPARE(layout.lines[i].left, layout.geometry.columnLeft);
        QCOMPARE(layout.lines[i].right, columnRight(layout));
        QVERIFY(layout.lines[i].fragments.size() > 1); // words drawn apart, at stretched spaces
    }
    const render::PageLine& last = layout.lines.back();
    QVERIFY(last.right < columnRight(layout));
    QCOMPARE(last.right - last.left, advance(layout, 0, last.text));
}

void tst_PageLayout::boldRun()
{
    doc::Paragraph paragraph = testmodel::paragraph(u"Contract Price is due", A::Left);
    paragraph.runs = {testmodel::run(0, 14, 12, true), testmodel::run(14, 7)};
    const render::PageLayout layout = render::layoutPage(oneInchPage({paragraph}));
    QCOMPARE(layout.lines.size(), std::size_t(1));
    const auto& fragments = layout.lines[0].fragments;
    QCOMPARE(fragments.size(), std::size_t(2));
    QCOMPARE(fragments[0].text, QStringLiteral("Contract Price"));
    QCOMPARE(fragments[1].text, QStringLiteral(" is due"));
    const QFont& bold = layout.styles[static_cast<std::size_t>(fragments[0].style)].font;
    const QFont& regular = layout.styles[static_cast<std::size_t>(fragments[1].style)].font;
    QVERIFY(bold.bold());
    QVERIFY(!regular.bold());
    // Bold letters are wider, and the regular run starts where the bold one ends.
    QVERIFY(fragments[0].width > advance(layout, fragments[1].style, QStringLiteral("Contract Price")));
    QCOMPARE(fragments[1].baseline.x(), fragments[0].baseline.x() + fragments[0].width);
}

void tst_PageLayout::lineBreakStartsALine()
{
    const render::PageLayout layout = render::layoutPage(
        oneInchPage({testmodel::paragraph(u"Remove the roof.\x0BHaul away debris.", A::Justify)}));
    QCOMPARE(layout.lines.size(), std::size_t(2));
    QCOMPARE(layout.lines[0].text, QStringLiteral("Remove the roof."));
    QCOMPARE(layout.lines[1].text, QStringLiteral("Haul away debris."));
    QCOMPARE(layout.lines[1].left, layout.geometry.columnLeft);
    QCOMPARE(layout.lines[1].top, layout.lines[0].top + layout.lines[0].height);
    // Word stretches a justified line that ends in a line break.
    QCOMPARE(layout.lines[0].right, columnRight(layout));
}

void tst_PageLayout::pageTextJoinsWrappedLines()
{
    const render::PageLayout layout = render::layoutPage(
        oneInchPage({testmodel::paragraph(kLongText, A::Justify),
                     testmodel::paragraph(u"Remove the roof. \x0BHaul away debris.", A::Left)}));
    QVERIFY(layout.lines.size() > 3);
    QCOMPARE(render::pageText(layout, 0), QString::fromStdU16String(kLongText) +
                                              QStringLiteral("\nRemove the roof.\nHaul away debris.\n"));
}

void tst_PageLayout::tabsLandOnStops_data()
{
    QTest::addColumn<int>("stopTwips"); // 0: default stops only
    QTest::addColumn<int>("alignment");
    QTest::addColumn<double>("expectedPx"); // from the column's left edge: start, center or end of "Value"
    QTest::newRow("default stop") << 0 << int(doc::TabStop::Alignment::Left) << 48.0;
    QTest::newRow("left stop") << 2880 << int(doc::TabStop::Alignment::Left) << 192.0;
    QTest::newRow("center stop") << 4320 << int(doc::TabStop::Alignment::Center) << 288.0;
    QTest::newRow("right stop") << 4320 << int(doc::TabStop::Alignment::Right) << 288.0;
}

void tst_PageLayout::tabsLandOnStops()
{
    QFETCH(int, stopTwips);
    QFETCH(int, alignment);
    QFETCH(double, expectedPx);
    doc::Paragraph paragraph = testmodel::paragraph(u"Owner\tValue", A::Left);
    if (stopTwips > 0)
        paragraph.tabs.push_back({stopTwips, doc::TabStop::Alignment(alignment), u' '});
    doc::ReadModel model = oneInchPage({paragraph});
    const render::PageLayout layout = render::layoutPage(model);
    QCOMPARE(layout.lines.size(), std::size_t(1));
    const auto& fragments = layout.lines[0].fragments;
    QCOMPARE(fragments.size(), std::size_t(2));
    QCOMPARE(fragments[1].text, QStringLiteral("Value"));
    double at = fragments[1].baseline.x() - layout.geometry.columnLeft;
    if (doc::TabStop::Alignment(alignment) == doc::TabStop::Alignment::Center)
        at += fragments[1].width / 2;
    if (doc::TabStop::Alignment(alignment) == doc::TabStop::Alignment::Right)
        at += fragments[1].width;
    QCOMPARE(at, expectedPx);
}

void tst_PageLayout::tabLeader_data()
{
    QTest::addColumn<QChar>("leader");
    QTest::addColumn<int>("beyond");    // characters more than the gap holds whole
    QTest::addColumn<bool>("toTheEnd"); // the last one ends where the text after the tab starts
    QTest::newRow("dots") << QChar(u'.') << 0 << false;
    QTest::newRow("underscores make a line") << QChar(u'_') << 1 << true;
}

void tst_PageLayout::tabLeader()
{
    QFETCH(QChar, leader);
    QFETCH(int, beyond);
    QFETCH(bool, toTheEnd);
    doc::Paragraph paragraph = testmodel::paragraph(u"Price\t$100", A::Left);
    paragraph.tabs.push_back({5760, doc::TabStop::Alignment::Right, leader.unicode()});
    const render::PageLayout layout = render::layoutPage(oneInchPage({paragraph}));
    const auto& fragments = layout.lines[0].fragments;
    QVERIFY(fragments.size() > 10);
    // The leader's characters, one by one, spread evenly over the gap between "Price" and "$100".
    const double step = advance(layout, 0, QString(leader));
    const double start = fragments[0].baseline.x() + fragments[0].width;
    const double gap = fragments[1].baseline.x() - start;
    const auto count = static_cast<double>(fragments.size() - 2);
    QCOMPARE(count, std::floor(gap / step) + beyond);
    const double pitch = toTheEnd ? (gap - step) / (count - 1) : gap / count;
    for (std::size_t i = 2; i < fragments.size(); ++i) {
        QCOMPARE(fragments[i].text, QString(leader));
        QCOMPARE(fragments[i].baseline.x(), start + static_cast<double>(i - 2) * pitch);
    }
}

void tst_PageLayout::indents()
{
    doc::Paragraph paragraph = testmodel::paragraph(kLongText, A::Left);
    paragraph.leftIndent = 720;
    paragraph.rightIndent = 1440;
    paragraph.firstLineIndent = 360;
    const render::PageLayout layout = render::layoutPage(oneInchPage({paragraph}));
    QVERIFY(layout.lines.size() > 2);
    QCOMPARE(layout.lines[0].left, layout.geometry.columnLeft + 72);
    QCOMPARE(layout.lines[1].left, layout.geometry.columnLeft + 48);
    for (const render::PageLine& line : layout.lines)
        QVERIFY(line.right <= columnRight(layout) - 96 + 1e-6);
}

void tst_PageLayout::specialCharacters_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");
    QTest::newRow("object anchors") << QString::fromUtf16(u"\x08Title\x01") << "Title";
    QTest::newRow("field shows its result") << QString::fromUtf16(u"Page \x13 PAGE \x14"
                                                                  u"1\x15 of 1")
                                            << "Page 1 of 1";
    QTest::newRow("nested fields") << QString::fromUtf16(u"\x13 IF \x13 PAGE \x14"
                                                         u"1\x15 = 1 \x14yes\x15!")
                                   << "yes!";
    QTest::newRow("field without result") << QString::fromUtf16(u"a\x13 TOC \x15"
                                                                u"b")
                                          << "ab";
    QTest::newRow("unbalanced field marks") << QString::fromUtf16(u"a\x14\x15"
                                                                  u"b\x13 c")
                                            << "ab";
    QTest::newRow("other control characters") << QString::fromUtf16(u"a\x02\x05\x07"
                                                                    u"b")
                                              << "ab";
    QTest::newRow("non-breaking hyphen") << QString::fromUtf16(u"e\x1Email") << "e-mail";
    QTest::newRow("optional hyphen") << QString::fromUtf16(u"con\x1Ftract") << "contract";
    QTest::newRow("soft hyphen") << QString::fromUtf16(u"con\u00ADtract") << "contract";
    QTest::newRow("zero-width space") << QString::fromUtf16(u"con\u200Btract") << "contract";
    QTest::newRow("surrogate pair kept")
        << QString::fromUtf16(u"a\U0001F600b") << QString::fromUtf16(u"a\U0001F600b");
    QTest::newRow("lone surrogates dropped") << QString::fromUtf16(u"a\xD800"
                                                                   u"b\xDC00")
                                             << "ab";
}

void tst_PageLayout::specialCharacters()
{
    QFETCH(QString, text);
    QFETCH(QString, shown);
    const render::PageLayout layout =
        render::layoutPage(oneInchPage({testmodel::paragraph(text.toStdU16String(), A::Center)}));
    QCOMPARE(layout.lines.size(), std::size_t(1));
    QCOMPARE(layout.lines[0].text, shown);
    // What is drawn is what is shown, but for a character no installed font has (the emoji, on a system
    // without an emoji font), which is one box.
    QString drawnShown = shown;
    for (const char32_t c : layout.undrawn.toUcs4())
        drawnShown.replace(QString::fromUcs4(&c, 1), QChar(render::kUndrawnBox));
    QString drawn;
    for (const render::TextFragment& fragment : layout.lines[0].fragments)
        drawn += fragment.text;
    QCOMPARE(drawn, drawnShown);
    // Nothing hidden takes room: the centered line is as wide as what it shows.
    QCOMPARE(layout.lines[0].right - layout.lines[0].left, advance(layout, 0, drawnShown));
}

// A character no installed font draws shows as a box the width of one, and the layout names it; the line's
// text keeps it.
void tst_PageLayout::undrawableCharacterShowsABox()
{
    const QString noFont = QString::fromUcs4(U"\U0010FFFD"); // private use: no font has it
    const QString text = QStringLiteral("a") + noFont + QStringLiteral("b");
    const render::PageLayout layout =
        render::layoutPage(oneInchPage({testmodel::paragraph(text.toStdU16String(), A::Center)}));
    QCOMPARE(layout.undrawn, noFont);
    QCOMPARE(layout.lines[0].text, text);
    const QString shown = QStringLiteral("a") + QChar(render::kUndrawnBox) + QStringLiteral("b");
    QString drawn;
    for (const render::TextFragment& fragment : layout.lines[0].fragments)
        drawn += fragment.text;
    QCOMPARE(drawn, shown);
    QCOMPARE(layout.lines[0].right - layout.lines[0].left, advance(layout, 0, shown));
}

void tst_PageLayout::fractionalSizes_data()
{
    QTest::addColumn<double>("size");
    QTest::newRow("11 pt, 14 2/3 px") << 11.0;
    QTest::newRow("10 pt, 13 1/3 px") << 10.0;
    QTest::newRow("10.5 pt, 14 px") << 10.5;
    QTest::newRow("13 pt, 17 1/3 px") << 13.0;
}

void tst_PageLayout::fractionalSizes()
{
    // Widths follow the point size exactly, not a size rounded to whole pixels.
    QFETCH(double, size);
    const std::u16string text = u"Any alteration or deviation from the above specifications";
    doc::Paragraph reference = testmodel::paragraph(text, A::Left, 12);
    doc::Paragraph sized = testmodel::paragraph(text, A::Left, size);
    reference.runs[0].fontName = sized.runs[0].fontName = "Arial";
    const render::PageLayout layout = render::layoutPage(oneInchPage({reference, sized}));
    QCOMPARE(layout.lines.size(), std::size_t(2));
    const double ratio =
        (layout.lines[1].right - layout.lines[1].left) / (layout.lines[0].right - layout.lines[0].left);
    QVERIFY2(std::abs(ratio - size / 12) < 0.002, qPrintable(QString::number(ratio)));
}

void tst_PageLayout::lineHeights()
{
    doc::Paragraph single = testmodel::paragraph(kLongText, A::Left);
    doc::Paragraph twice = single;
    twice.lineSpacing = 480;
    doc::Paragraph exact = single;
    exact.lineSpacing = -300;
    exact.lineSpacingMultiple = false;
    const render::PageLayout layout = render::layoutPage(oneInchPage({single, twice, exact}));
    const double one = linesOf(layout, 0).front()->height;
    // Liberation Serif 12 pt, like Times New Roman in Word: 13.8 pt a line.
    QVERIFY2(std::abs(one - 13.8 * 96 / 72) < 0.05, qPrintable(QString::number(one)));
    for (const render::PageLine* line : linesOf(layout, 1))
        QCOMPARE(line->height, 2 * one);
    for (const render::PageLine* line : linesOf(layout, 2))
        QCOMPARE(line->height, 20.0);
    // Lines stack without gaps; the baseline sits above the line's bottom by the font's descent.
    for (std::size_t i = 1; i < layout.lines.size(); ++i)
        QCOMPARE(layout.lines[i].top, layout.lines[i - 1].top + layout.lines[i - 1].height);
    QVERIFY(linesOf(layout, 1).front()->baseline - linesOf(layout, 1).front()->top > one);
}

void tst_PageLayout::paragraphSpacing()
{
    doc::Paragraph first = testmodel::paragraph(u"First", A::Left);
    first.spaceBefore = 240;
    first.spaceAfter = 120;
    doc::Paragraph second = testmodel::paragraph(u"Second", A::Left);
    second.spaceBefore = 360;
    const render::PageLayout layout = render::layoutPage(oneInchPage({first, second}));
    QCOMPARE(layout.lines[0].top, layout.geometry.columnTop + 16);
    // Word adds the space after one paragraph and the space before the next.
    QCOMPARE(layout.lines[1].top, layout.lines[0].top + layout.lines[0].height + 8 + 24);
}

void tst_PageLayout::emptyParagraphTakesItsMarkHeight()
{
    const render::PageLayout layout = render::layoutPage(
        oneInchPage({testmodel::paragraph(u"", A::Left, 12), testmodel::paragraph(u"", A::Left, 24),
                     testmodel::paragraph(u"x", A::Left, 12)}));
    QCOMPARE(layout.lines.size(), std::size_t(3));
    // Font heights come in 1/64 pixels, so twice the size is twice the height only to within that.
    QVERIFY(std::abs(layout.lines[1].height - 2 * layout.lines[0].height) < 0.1);
    QCOMPARE(layout.lines[2].height, layout.lines[0].height);
}

void tst_PageLayout::underline()
{
    doc::Paragraph paragraph = testmodel::paragraph(u"Sign here and date", A::Left);
    paragraph.runs = {testmodel::run(0, 5), testmodel::run(5, 8), testmodel::run(13, 5)};
    paragraph.runs[1].underline = true; // "here and"
    const render::PageLayout layout = render::layoutPage(oneInchPage({paragraph}));
    const render::PageLine& line = layout.lines[0];
    QCOMPARE(line.underlines.size(), std::size_t(1));
    const QRectF stroke = line.underlines[0];
    QCOMPARE(stroke.left(), line.left + advance(layout, 0, QStringLiteral("Sign ")));
    QCOMPARE(stroke.right(), line.left + advance(layout, 0, QStringLiteral("Sign here and")));
    QVERIFY(stroke.top() > line.baseline);
    QVERIFY(stroke.bottom() < line.top + line.height);
    QVERIFY(stroke.height() > 0);
}

void tst_PageLayout::stopsAtTheBottomMargin()
{
    const doc::ReadModel model =
        oneInchPage(std::vector<doc::Paragraph>(120, testmodel::paragraph(u"Line", A::Left)));
    const render::PageLayout layout = render::layoutPage(model);
    QVERIFY(layout.truncated);
    const double bottom = layout.geometry.columnTop + layout.geometry.columnHeight;
    const render::PageLine& last = layout.lines.back();
    QVERIFY(last.top + last.height <= bottom + 1e-6);
    QVERIFY(last.top + 2 * last.height > bottom); // the next line would not have fitted
    const std::size_t perPage = layout.lines.size();
    QCOMPARE(perPage, std::size_t(std::floor(layout.geometry.columnHeight / last.height)));
    // Over pages, every page takes as many lines as the first, placed alike.
    const render::PageLayout all = render::layoutDocument(model);
    QVERIFY(!all.truncated);
    QCOMPARE(all.lines.size(), model.paragraphs.size());
    QCOMPARE(all.pageCount, all.lines.back().page + 1);
    for (std::size_t i = 0; i < all.lines.size(); ++i) {
        QCOMPARE(all.lines[i].page, int(i / perPage));
        QCOMPARE(all.lines[i].top, layout.lines[i % perPage].top);
    }
}

void tst_PageLayout::pageBreakEndsThePage()
{
    const doc::ReadModel model =
        oneInchPage({testmodel::paragraph(u"one", A::Left), testmodel::paragraph(u"two\x0Cthree", A::Left),
                     testmodel::paragraph(u"four", A::Left)});
    const render::PageLayout layout = render::layoutPage(model);
    QCOMPARE(layout.lines.size(), std::size_t(2));
    QCOMPARE(layout.lines[1].text, QStringLiteral("two"));
    QVERIFY(layout.truncated);
    // Over pages, the rest of the paragraph starts the next page.
    const render::PageLayout all = render::layoutDocument(model);
    QCOMPARE(all.lines.size(), std::size_t(4));
    QCOMPARE(all.lines[2].text, QStringLiteral("three"));
    QCOMPARE(all.lines[2].top, all.geometry.columnTop);
    QCOMPARE(all.lines[3].page, 1);
}

namespace
{

// A paragraph whose lines are exactly 16 px high.
doc::Paragraph exactLines(const std::u16string& text)
{
    doc::Paragraph paragraph = testmodel::paragraph(text, A::Left);
    paragraph.lineSpacing = -240;
    paragraph.lineSpacingMultiple = false;
    return paragraph;
}

// Word's field: its code and stored result between the field marks.
std::u16string field(const std::u16string& code)
{
    return u"\x13 " + code + u" \x14" + u"0\x15";
}

// A model on inch margins whose paragraphs go in sections: the body's first paragraphs in the first, and so
// on.
doc::ReadModel sectioned(std::vector<doc::Paragraph> paragraphs, std::vector<doc::Section> sections = {{}})
{
    doc::ReadModel model = oneInchPage(std::move(paragraphs));
    for (doc::Section& section : sections)
        section.page.marginLeft = section.page.marginRight = 1440;
    model.sections = std::move(sections);
    return model;
}

// A story of one exact-height paragraph per text, appended to the model's paragraphs.
std::size_t addStory(doc::ReadModel& model, std::vector<std::vector<doc::Block>>& stories,
                     const std::vector<std::u16string>& texts)
{
    std::vector<doc::Block>& story = stories.emplace_back();
    for (const std::u16string& text : texts) {
        story.push_back({doc::Block::Kind::Paragraph, model.paragraphs.size()});
        model.paragraphs.push_back(exactLines(text));
    }
    return stories.size() - 1;
}

doc::Section startingAt(std::size_t blockEnd, doc::Section::Start start)
{
    doc::Section section;
    section.blockEnd = blockEnd;
    section.start = start;
    return section;
}

} // namespace

void tst_PageLayout::pagination_data()
{
    using S = doc::Section;
    QTest::addColumn<doc::ReadModel>("model");
    QTest::addColumn<QStringList>("pages"); // each page's text
    QTest::addColumn<QList<QSize>>("sizes");
    const QSize letter(816, 1056);
    const std::vector<doc::Paragraph> threePages = {exactLines(u"one"), exactLines(u"\x0Ctwo"),
                                                    exactLines(u"\x0Cthree")};

    doc::ReadModel numbered = sectioned(threePages);
    numbered.sections[0].headers[S::OddHeader] =
        addStory(numbered, numbered.headers, {u"Page " + field(u"PAGE") + u" of " + field(u"NUMPAGES")});
    numbered.sections[0].headers[S::OddFooter] = addStory(numbered, numbered.headers, {u"Initials"});
    QTest::newRow("header and footer with page numbers")
        << numbered
        << QStringList{"Page 1 of 3\none\nInitials\n", "Page 2 of 3\ntwo\nInitials\n",
                       "Page 3 of 3\nthree\nInitials\n"}
        << QList<QSize>(3, letter);

    QTest::newRow("page numbers in the body")
        << sectioned({exactLines(u"one " + field(u"PAGE")),
                      exactLines(u"\x0Ctwo " + field(u"PAGE") + u" of " + field(u"NUMPAGES"))})
        << QStringList{"one 1\n", "two 2 of 2\n"} << QList<QSize>(2, letter);

    doc::ReadModel titled = sectioned(threePages);
    titled.facingPages = true;
    titled.sections[0].titlePage = true;
    titled.sections[0].headers[S::FirstHeader] = addStory(titled, titled.headers, {u"Letterhead"});
    titled.sections[0].headers[S::EvenHeader] = addStory(titled, titled.headers, {u"Even " + field(u"PAGE")});
    titled.sections[0].headers[S::OddHeader] = addStory(titled, titled.headers, {u"Odd " + field(u"PAGE")});
    QTest::newRow("first-page, even and odd headers")
        << titled << QStringList{"Letterhead\none\n", "Even 2\ntwo\n", "Odd 3\nthree\n"}
        << QList<QSize>(3, letter);

    const QString fullPage = QStringLiteral("line\n").repeated(53);
    std::u16string lines = u"line";
    for (int i = 1; i < 53; ++i)
        lines += u"\x0Bline";
    doc::Paragraph heading = exactLines(u"Heading");
    const doc::ReadModel loose = sectioned({exactLines(lines), heading, exactLines(u"text")});
    QTest::newRow("a heading fits at the foot of the page")
        << loose << QStringList{fullPage + "Heading\n", "text\n"} << QList<QSize>(2, letter);
    heading.keepWithNext = true;
    QTest::newRow("keep with next moves the heading to the text")
        << sectioned({exactLines(lines), heading, exactLines(u"text")})
        << QStringList{fullPage, "Heading\ntext\n"} << QList<QSize>(2, letter);

    std::vector<S> landscapeSections = {startingAt(1, S::Start::NewPage), startingAt(2, S::Start::NewPage)};
    std::swap(landscapeSections[1].page.pageWidth, landscapeSections[1].page.pageHeight);
    QTest::newRow("a section on landscape paper")
        << sectioned({exactLines(u"portrait"), exactLines(u"landscape")}, landscapeSections)
        << QStringList{"portrait\n", "landscape\n"} << QList<QSize>{letter, letter.transposed()};

    QTest::newRow("a continuous section shares the page")
        << sectioned({exactLines(u"one"), exactLines(u"two")},
                     {startingAt(1, S::Start::NewPage), startingAt(2, S::Start::Continuous)})
        << QStringList{"one\ntwo\n"} << QList<QSize>(1, letter);
    QTest::newRow("an odd-page section after page 1 leaves page 2 empty")
        << sectioned({exactLines(u"one"), exactLines(u"two")},
                     {startingAt(1, S::Start::NewPage), startingAt(2, S::Start::OddPage)})
        << QStringList{"one\n", "", "two\n"} << QList<QSize>(3, letter);

    doc::ReadModel restarted =
        sectioned({exactLines(u"one"), exactLines(u"two")},
                  {startingAt(1, S::Start::NewPage), startingAt(2, S::Start::NewPage)});
    restarted.sections[1].firstPageNumber = 7;
    restarted.sections[0].headers[S::OddHeader] = restarted.sections[1].headers[S::OddHeader] =
        addStory(restarted, restarted.headers, {field(u"PAGE") + u"/" + field(u"SECTIONPAGES")});
    QTest::newRow("numbering restarts with the section")
        << restarted << QStringList{"1/1\none\n", "7/1\ntwo\n"} << QList<QSize>(2, letter);
}

// Sections, breaks, keeps, and each page's header and footer with its numbers.
void tst_PageLayout::pagination()
{
    QFETCH(doc::ReadModel, model);
    QFETCH(QStringList, pages);
    QFETCH(QList<QSize>, sizes);
    const render::PageLayout layout = render::layoutDocument(model);
    QCOMPARE(layout.pageCount, pages.size());
    for (int page = 0; page < layout.pageCount; ++page) {
        QCOMPARE(render::pageText(layout, page), pages[page]);
        QCOMPARE(layout.size(page), sizes[page]);
    }
}

void tst_PageLayout::placement_data()
{
    using Shape = doc::Shape;
    QTest::addColumn<doc::ReadModel>("model");
    QTest::addColumn<QList<QPointF>>("lines"); // each line's top left, in reading order
    QTest::addColumn<QRectF>("image");         // the page's one picture, if any

    doc::ReadModel tallHeader = oneInchPage({exactLines(u"body")});
    tallHeader.sections[0].headers[doc::Section::OddHeader] =
        addStory(tallHeader, tallHeader.headers, {u"a", u"b", u"c", u"d"});
    // The header starts half an inch down and reaches 16 px below the inch margin.
    QTest::newRow("a tall header pushes the body down")
        << tallHeader << QList<QPointF>{{96, 48}, {96, 64}, {96, 80}, {96, 96}, {96, 112}} << QRectF();

    doc::ReadModel pictured = oneInchPage({exactLines(u"\x08one"), exactLines(u"two")});
    pictured.paragraphs[0].shapes.push_back({0, 0});
    pictured.pictures.emplace_back();
    Shape& picture = pictured.shapes.emplace_back();
    picture.right = picture.bottom = 1440;
    picture.picture = 0;
    picture.wrap = Shape::Wrap::TopAndBottom;
    QTest::newRow("top and bottom: the text goes below the picture")
        << pictured << QList<QPointF>{{96, 192}, {96, 208}} << QRectF(96, 96, 96, 96);
    picture.wrap = Shape::Wrap::Square;
    // An eighth of an inch from the picture, on its right, where there is more room.
    QTest::newRow("square: the text goes beside the picture")
        << pictured << QList<QPointF>{{204, 96}, {204, 112}} << QRectF(96, 96, 96, 96);
    // Lines below the picture take the whole column again, in the paragraph beside it as after it.
    doc::ReadModel longer = pictured;
    longer.paragraphs[0] = exactLines(u"\x08one\x0B"
                                      u"two\x0B"
                                      u"three\x0B"
                                      u"four\x0B"
                                      u"five\x0B"
                                      u"six\x0B"
                                      u"seven");
    longer.paragraphs[0].shapes.push_back({0, 0});
    QList<QPointF> wrapped;
    for (int line = 0; line < 8; ++line)
        wrapped.append({line < 6 ? 204.0 : 96.0, 96.0 + 16 * line});
    QTest::newRow("square: lines below the picture take the whole column")
        << longer << wrapped << QRectF(96, 96, 96, 96);
    picture.wrap = Shape::Wrap::None;
    QTest::newRow("in front of the text: the text stays")
        << pictured << QList<QPointF>{{96, 96}, {96, 112}} << QRectF(96, 96, 96, 96);
    // A paragraph's top, for its shapes, lies above the space after the paragraph before it.
    doc::ReadModel spaced = oneInchPage({exactLines(u"zero"), exactLines(u"\x08one"), exactLines(u"two")});
    spaced.paragraphs[0].spaceAfter = 240;
    spaced.paragraphs[1].shapes.push_back({0, 0});
    spaced.pictures = pictured.pictures;
    spaced.shapes = pictured.shapes;
    QTest::newRow("from the paragraph: above the space before it")
        << spaced << QList<QPointF>{{96, 96}, {96, 128}, {96, 144}} << QRectF(96, 112, 96, 96);

    doc::ReadModel boxed = oneInchPage({exactLines(u"\x08one"), exactLines(u"two")});
    boxed.paragraphs[0].shapes.push_back({0, 0});
    Shape& box = boxed.shapes.emplace_back();
    box.horizontalFrom = Shape::HorizontalFrom::Page;
    box.verticalFrom = Shape::VerticalFrom::Page;
    box.left = box.top = 2880;
    box.right = 5760;
    box.bottom = 4320;
    box.wrap = Shape::Wrap::None;
    box.textBox = addStory(boxed, boxed.textBoxes, {u"boxed"});
    // Inside the box's inner margins, a tenth of an inch across and a twentieth down.
    QTest::newRow("a text box shows its story")
        << boxed << QList<QPointF>{{96, 96}, {201.6, 196.8}, {96, 112}} << QRectF();
}

// Where the first page's lines and picture go: below a tall header, round floating shapes, in text boxes.
void tst_PageLayout::placement()
{
    QFETCH(doc::ReadModel, model);
    QFETCH(QList<QPointF>, lines);
    QFETCH(QRectF, image);
    const render::PageLayout layout = render::layoutDocument(model);
    QList<QPointF> placed;
    for (const render::PageLine& line : layout.lines)
        if (line.page == 0)
            placed.append({line.left, line.top});
    QCOMPARE(placed, lines);
    QCOMPARE(layout.images.size(), image.isNull() ? 0u : 1u);
    if (!image.isNull())
        QCOMPARE(layout.images[0].rect, image);
}

void tst_PageLayout::agreementFitsOnePage()
{
    const render::PageLayout layout = render::layoutPage(testmodel::agreement());
    QVERIFY(!layout.truncated);
    QCOMPARE(layout.size(), QSize(816, 1056));
    QCOMPARE(layout.lines.front().text, QStringLiteral("Contractor Agreement"));
    QVERIFY(
        layout.styles[static_cast<std::size_t>(layout.lines.front().fragments.front().style)].font.bold());
    // The signing line's eight tabs end on the last stop, 3.5 inches in.
    const render::PageLine* signing = nullptr;
    for (const render::PageLine& line : layout.lines)
        if (line.text.startsWith(QStringLiteral("Owner ")))
            signing = &line;
    QVERIFY(signing);
    QCOMPARE(signing->fragments[1].baseline.x(), layout.geometry.columnLeft + 336);
}

void tst_PageLayout::tables_data()
{
    using Cell = doc::TableCell;
    QTest::addColumn<doc::ReadModel>("model");
    QTest::addColumn<int>("paragraph");  // -1: the one after the table
    QTest::addColumn<int>("occurrence"); // which of its lines, as laid out
    QTest::addColumn<int>("page");
    QTest::addColumn<double>("left"); // from the column's left edge
    QTest::addColumn<int>("top");     // lines from the column's top

    const double margin = render::twipsToPixels(Cell().marginLeft);
    QTest::newRow("2x2: the last cell") << tableOf({{1, 1}, {1, 1}}) << 3 << 0 << 0 << 96 + margin << 1;
    doc::ReadModel merged = tableOf({{3, 1}, {0, 1}});
    merged.tables[0].rows[0].cells[0].verticalMerge = Cell::VerticalMerge::Restart;
    merged.tables[0].rows[1].cells[0].verticalMerge = Cell::VerticalMerge::Continue;
    QTest::newRow("merged down: the rows grow to its lines") << merged << -1 << 0 << 0 << 0.0 << 3;
    doc::ReadModel bottom = tableOf({{3, 1}});
    bottom.tables[0].rows[0].cells[1].verticalAlignment = Cell::VerticalAlignment::Bottom;
    QTest::newRow("bottom-aligned") << bottom << 1 << 0 << 0 << 96 + margin << 2;
    // 54 lines fill a page.
    doc::ReadModel header = tableOf(std::vector<std::vector<int>>(60, {1}));
    header.tables[0].rows[0].header = true;
    QTest::newRow("header row repeated") << header << 0 << 1 << 1 << margin << 0;
    QTest::newRow("header row: the row under it") << header << 54 << 0 << 1 << margin << 1;
    QTest::newRow("row split where the page ends") << tableOf({{1}, {60, 1}}) << 1 << 53 << 1 << margin << 0;
}

void tst_PageLayout::tables()
{
    QFETCH(doc::ReadModel, model);
    QFETCH(int, paragraph);
    QFETCH(int, occurrence);
    QFETCH(int, page);
    QFETCH(double, left);
    QFETCH(int, top);
    const render::PageLayout layout = render::layoutDocument(model);
    const std::vector<const render::PageLine*> lines =
        linesOf(layout, paragraph < 0 ? static_cast<int>(model.paragraphs.size()) - 1 : paragraph);
    QVERIFY(static_cast<std::size_t>(occurrence) < lines.size());
    const render::PageLine& line = *lines[static_cast<std::size_t>(occurrence)];
    QCOMPARE(line.page, page);
    QCOMPARE(line.left - layout.geometry.columnLeft, left);
    QCOMPARE(line.top - layout.geometry.columnTop, top * 16.0);
}

namespace
{

// A model's first paragraph laid out alone in a 6.5-inch column, and the styles its slices use.
struct LaidParagraph {
    std::vector<render::Slice> slices;
    std::vector<render::TextStyle> styles;
    const render::PageLine& line(std::size_t slice = 0) const { return slices[slice].content.lines.front(); }
    double advance(int style, const QString& text) const
    {
        return styles[static_cast<std::size_t>(style)].advance(text);
    }
};

LaidParagraph layOutParagraph(const doc::ReadModel& model, render::BoxJoin join = {},
                              std::optional<render::FieldValues> fields = std::nullopt)
{
    render::StyleTable styles;
    QString undrawn;
    render::PictureCache pictures(model.pictures);
    render::FlowContext context{.model = model,
                                .styles = styles,
                                .undrawn = undrawn,
                                .pictures = pictures,
                                .defaultTabWidth = model.section().defaultTabWidth,
                                .fields = fields};
    LaidParagraph laid;
    laid.slices = render::layoutParagraph(0, 624, context, join);
    laid.styles = styles.takeStyles();
    return laid;
}

doc::CharacterRun look(const std::function<void(doc::CharacterRun&)>& change)
{
    doc::CharacterRun run = testmodel::run(5, 4);
    change(run);
    return run;
}

} // namespace

void tst_PageLayout::characterLook_data()
{
    using R = doc::CharacterRun;
    QTest::addColumn<doc::CharacterRun>("run"); // of "here" in "Sign here"
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("measuredAs"); // plain text as wide as the line; empty: not measured
    QTest::addColumn<double>("extra");
    QTest::addColumn<int>("underlines"); // strokes in black
    QTest::addColumn<int>("fills");      // highlighting and strokes in colour
    QTest::addColumn<int>("raised");     // the baseline moved up (1) or down (-1)
    QTest::addColumn<QString>("drawn");  // what the fragments draw
    QTest::newRow("strike") << look([](R& r) { r.strike = true; }) << "Sign here"
                            << "Sign here" << 0.0 << 1 << 0 << 0 << "Sign here";
    QTest::newRow("double strike") << look([](R& r) { r.doubleStrike = true; }) << "Sign here"
                                   << "Sign here" << 0.0 << 2 << 0 << 0 << "Sign here";
    QTest::newRow("all capitals") << look([](R& r) { r.allCaps = true; }) << "Sign here"
                                  << "Sign HERE" << 0.0 << 0 << 0 << 0 << "Sign HERE";
    QTest::newRow("small capitals") << look([](R& r) { r.smallCaps = true; }) << "Sign here"
                                    << "" << 0.0 << 0 << 0 << 0 << "Sign HERE";
    QTest::newRow("hidden") << look([](R& r) { r.hidden = true; }) << "Sign "
                            << "Sign" << 0.0 << 0 << 0 << 0 << "Sign";
    QTest::newRow("superscript") << look([](R& r) { r.position = R::Position::Superscript; }) << "Sign here"
                                 << "" << 0.0 << 0 << 0 << 1 << "Sign here";
    QTest::newRow("subscript") << look([](R& r) { r.position = R::Position::Subscript; }) << "Sign here"
                               << "" << 0.0 << 0 << 0 << -1 << "Sign here";
    QTest::newRow("spacing 1.5 pt") << look([](R& r) { r.spacing = 30; }) << "Sign here"
                                    << "Sign here" << 4 * 2.0 << 0 << 0 << 0 << "Sign here";
    QTest::newRow("red, underlined") << look([](R& r) {
        r.color = 0xC00000;
        r.underline = true;
    }) << "Sign here"
                                     << "Sign here" << 0.0 << 0 << 1 << 0 << "Sign here";
    QTest::newRow("highlighted") << look([](R& r) { r.highlight = 0xFFFF00; }) << "Sign here"
                                 << "Sign here" << 0.0 << 0 << 1 << 0 << "Sign here";
}

void tst_PageLayout::characterLook()
{
    QFETCH(doc::CharacterRun, run);
    QFETCH(QString, shown);
    QFETCH(QString, measuredAs);
    QFETCH(double, extra);
    QFETCH(int, underlines);
    QFETCH(int, fills);
    QFETCH(int, raised);
    QFETCH(QString, drawn);
    doc::Paragraph paragraph = testmodel::paragraph(u"Sign here", A::Left);
    paragraph.runs = {testmodel::run(0, 5), run};
    const LaidParagraph laid = layOutParagraph(oneInchPage({paragraph}));
    const render::PageLine& line = laid.line();
    QCOMPARE(line.text, shown);
    const int plain = line.fragments.front().style;
    QString drawnText;
    for (const render::TextFragment& fragment : line.fragments)
        drawnText += fragment.text;
    QCOMPARE(drawnText, drawn);
    if (!measuredAs.isEmpty())
        QCOMPARE(line.right - line.left, laid.advance(plain, measuredAs) + extra);
    QCOMPARE(int(line.underlines.size()), underlines);
    const std::vector<render::PageFill>& lineFills = laid.slices[0].content.fills;
    QCOMPARE(int(lineFills.size()), fills);
    if (line.fragments.size() < 2)
        return;
    const render::TextFragment& here = line.fragments.back();
    const render::TextStyle& style = laid.styles[static_cast<std::size_t>(here.style)];
    QCOMPARE(style.color, run.color == doc::kAutoColor ? QColor(Qt::black) : QColor::fromRgb(run.color));
    for (const render::PageFill& fill : lineFills) {
        QCOMPARE(fill.rect.left(), here.baseline.x());
        if (run.highlight != doc::kAutoColor) {
            QCOMPARE(fill.color, QColor::fromRgb(run.highlight));
            QCOMPARE(fill.rect.height(), line.height);
        } else {
            QCOMPARE(fill.color, style.color);
        }
    }
    QCOMPARE(here.baseline.y() < line.baseline ? 1 : here.baseline.y() > line.baseline ? -1 : 0, raised);
    if (raised != 0) {
        const double ratio =
            double(style.font.pixelSize()) / laid.styles[static_cast<std::size_t>(plain)].font.pixelSize();
        QVERIFY2(std::abs(ratio - render::kScriptSizeRatio) < 0.02, qPrintable(QString::number(ratio)));
    }
}

// A kerning font sets its pairs closer or apart as its kerning table says; the glyphs are drawn in pieces
// that start where the measure puts them.
void tst_PageLayout::kerning()
{
    doc::Paragraph plain = testmodel::paragraph(u"AVAWAY To", A::Left);
    doc::Paragraph kerned = plain;
    kerned.runs[0].kerning = true;
    const render::PageLayout layout = render::layoutPage(oneInchPage({plain, kerned}));
    QCOMPARE(layout.lines.size(), std::size_t(2));
    const render::PageLine& line = layout.lines[1];
    QVERIFY(line.right - line.left < layout.lines[0].right - layout.lines[0].left - 1);
    QVERIFY(line.fragments.size() > 3);
    QString drawn;
    for (std::size_t i = 0; i < line.fragments.size(); ++i) {
        drawn += line.fragments[i].text;
        if (i + 1 < line.fragments.size())
            QCOMPARE(line.fragments[i + 1].baseline.x(),
                     line.fragments[i].baseline.x() + line.fragments[i].width);
    }
    QCOMPARE(drawn, line.text);
}

void tst_PageLayout::listLabel_data()
{
    using L = doc::ListLabel;
    QTest::addColumn<int>("alignment");
    QTest::addColumn<int>("follow");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<double>("shift");  // of the label's width, left of the first line's start
    QTest::addColumn<double>("textAt"); // from the column's edge; negative: right after the label
    QTest::newRow("left, tab to the hanging indent")
        << int(L::Alignment::Left) << int(L::Follow::Tab) << "1.\tClause" << 0.0 << 72.0;
    QTest::newRow("right, space") << int(L::Alignment::Right) << int(L::Follow::Space) << "1. Clause" << 1.0
                                  << -1.0;
    QTest::newRow("centred, nothing")
        << int(L::Alignment::Center) << int(L::Follow::Nothing) << "1.Clause" << 0.5 << -1.0;
}

void tst_PageLayout::listLabel()
{
    QFETCH(int, alignment);
    QFETCH(int, follow);
    QFETCH(QString, shown);
    QFETCH(double, shift);
    QFETCH(double, textAt);
    doc::Paragraph paragraph = testmodel::paragraph(u"Clause", A::Left);
    paragraph.leftIndent = 1080;
    paragraph.firstLineIndent = -720; // the label at 24 px, the text at 72
    paragraph.list = doc::ListLabel{u"1.", testmodel::run(0, 0), doc::ListLabel::Alignment(alignment),
                                    doc::ListLabel::Follow(follow)};
    const LaidParagraph laid = layOutParagraph(oneInchPage({paragraph}));
    const render::PageLine& line = laid.line();
    QCOMPARE(line.text, shown);
    const render::TextFragment& label = line.fragments.front();
    const double labelWidth = laid.advance(label.style, QStringLiteral("1."));
    QCOMPARE(label.baseline.x(), 24 - shift * labelWidth);
    const render::TextFragment& text = line.fragments.back();
    QVERIFY(text.text.endsWith(QStringLiteral("Clause")));
    const double after = label.baseline.x() + laid.advance(label.style, line.text.section(u'C', 0, 0));
    QCOMPARE(text.baseline.x() + text.width - laid.advance(text.style, QStringLiteral("Clause")),
             textAt < 0 ? after : textAt);
}

void tst_PageLayout::inlinePicture_data()
{
    using F = doc::Picture::Format;
    QTest::addColumn<int>("format");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<double>("crop"); // each side's share
    QTest::addColumn<QSize>("drawn"); // the image's pixels; 0x0 where the picture shows as a framed box
    const auto encoded = [](const char* format) {
        QImage image(8, 4, QImage::Format_RGB32);
        image.fill(Qt::red);
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, format);
        return bytes;
    };
    QTest::newRow("PNG") << int(F::Png) << encoded("PNG") << 0.0 << QSize(8, 4);
    QTest::newRow("bitmap without its file header")
        << int(F::Dib) << encoded("BMP").mid(14) << 0.0 << QSize(8, 4);
    QTest::newRow("cropped a quarter each side") << int(F::Png) << encoded("PNG") << 0.25 << QSize(4, 2);
    QTest::newRow("metafile") << int(F::Emf) << QByteArray("\x01\0\0\0 not drawn", 14) << 0.0 << QSize(0, 0);
}

void tst_PageLayout::inlinePicture()
{
    QFETCH(int, format);
    QFETCH(QByteArray, bytes);
    QFETCH(double, crop);
    QFETCH(QSize, drawn);
    doc::ReadModel model = oneInchPage({testmodel::paragraph(u"a\x01"
                                                             u"b",
                                                             A::Left)});
    model.paragraphs[0].pictures = {{1, 0}};
    model.pictures = {{doc::Picture::Format(format), std::vector<std::uint8_t>(bytes.begin(), bytes.end()),
                       1440, 720, doc::Crop{crop, crop, crop, crop}}};
    const LaidParagraph laid = layOutParagraph(model);
    const render::PageLine& line = laid.line();
    QCOMPARE(line.text, QStringLiteral("ab"));
    const double a = laid.advance(line.fragments.front().style, QStringLiteral("a"));
    QCOMPARE(line.fragments.back().baseline.x(), a + 96);
    QCOMPARE(laid.slices[0].content.images.size(), std::size_t(1));
    const render::PageImage& image = laid.slices[0].content.images.front();
    // As wide and tall as the picture, standing on the baseline: the line grows to hold it.
    QCOMPARE(image.rect, QRectF(a, line.baseline - 48, 96, 48));
    QVERIFY(line.height > 48);
    QCOMPARE(image.image.size(), drawn);
    QCOMPARE(image.name, render::pictureName(doc::Picture::Format(format)));
}

void tst_PageLayout::pageFields_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<bool>("onPage");
    QTest::addColumn<QString>("shown");
    QTest::newRow("PAGE") << " PAGE " << true << "Page 3";
    QTest::newRow("NUMPAGES") << " NUMPAGES \\* MERGEFORMAT " << true << "Page 7";
    QTest::newRow("SECTIONPAGES") << "SECTIONPAGES" << true << "Page 5";
    QTest::newRow("DATE with a picture") << R"( DATE \@ "dddd, d MMMM yy 'at' h:mm am/pm" )" << true
                                         << "Page Wednesday, 9 December 26 at 12:00 am";
    QTest::newRow("DATE") << " DATE " << true << "Page 12/9/2026";
    QTest::newRow("DATE with escaped characters")
        << R"( DATE \@ "MMMM\ d\,\ yyyy" )" << true << "Page December 9, 2026";
    QTest::newRow("another field") << " AUTHOR " << true << "Page 1";
    QTest::newRow("in the body") << " PAGE " << false << "Page 1";
    QTest::newRow("DATE in the body") << " DATE " << false << "Page 12/9/2026";
}

void tst_PageLayout::pageFields()
{
    QFETCH(QString, code);
    QFETCH(bool, onPage);
    QFETCH(QString, shown);
    const std::u16string text = u"Page \x13" + code.toStdU16String() +
                                u"\x14"
                                u"1\x15";
    doc::Paragraph paragraph = testmodel::paragraph(text, A::Left);
    const auto result = static_cast<std::uint32_t>(text.size() - 2);
    paragraph.runs = {testmodel::run(0, result), testmodel::run(result, 2, 12, true)};
    const LaidParagraph laid = layOutParagraph(
        oneInchPage({paragraph}), {},
        onPage ? render::FieldValues{3, 7, 5, QDate(2026, 12, 9)}
               : render::FieldValues{std::nullopt, std::nullopt, std::nullopt, QDate(2026, 12, 9)});
    QCOMPARE(laid.line().text, shown);
    // In the look of the result it stands for.
    QVERIFY(laid.styles[static_cast<std::size_t>(laid.line().fragments.back().style)].font.bold());
}

void tst_PageLayout::paragraphSlices_data()
{
    QTest::addColumn<doc::Paragraph>("paragraph");
    QTest::addColumn<QString>("slices"); // each: '.' alone, 'k' kept with the next, 'b' starting a page
    const auto lines = [](const std::u16string& text, auto change) {
        doc::Paragraph paragraph = testmodel::paragraph(text, A::Left);
        change(paragraph);
        return paragraph;
    };
    const auto same = [](doc::Paragraph&) {};
    const auto noWidowControl = [](doc::Paragraph& p) { p.widowControl = false; };
    QTest::newRow("one line") << lines(u"a", same) << ".";
    QTest::newRow("widow control, two lines") << lines(u"a\vb", same) << "k.";
    QTest::newRow("widow control, four lines") << lines(u"a\vb\vc\vd", same) << "k.k.";
    QTest::newRow("no widow control") << lines(u"a\vb\vc\vd", noWidowControl) << "....";
    QTest::newRow("keep together") << lines(u"a\vb\vc\vd", [](doc::Paragraph& p) {
        p.widowControl = false;
        p.keepTogether = true;
    }) << "kkk.";
    QTest::newRow("keep with next") << lines(u"a\vb\vc", [](doc::Paragraph& p) {
        p.widowControl = false;
        p.keepWithNext = true;
    }) << "..k";
    QTest::newRow("page break before")
        << lines(u"a", [](doc::Paragraph& p) { p.pageBreakBefore = true; }) << "b";
    QTest::newRow("page break in it") << lines(u"a\vb\fc", same) << "k.b";
    QTest::newRow("page break first: an empty page") << lines(u"\fa", same) << ".b";
}

void tst_PageLayout::paragraphSlices()
{
    QFETCH(doc::Paragraph, paragraph);
    QFETCH(QString, slices);
    const LaidParagraph laid = layOutParagraph(oneInchPage({paragraph}));
    QString flags;
    for (const render::Slice& slice : laid.slices)
        flags += slice.breakBefore ? u'b' : slice.keepWithNext ? u'k' : u'.';
    QCOMPARE(flags, slices);
}

void tst_PageLayout::paragraphBox_data()
{
    QTest::addColumn<doc::Paragraph>("paragraph"); // two lines, 16 px before and 8 px after
    QTest::addColumn<bool>("joinedBefore");
    QTest::addColumn<bool>("joinedAfter");
    QTest::addColumn<int>("fills");
    QTest::addColumn<double>("firstTop"); // of the first line in its slice
    QTest::addColumn<double>("below");    // the last slice under its line
    doc::Paragraph plain = testmodel::paragraph(u"a\vb", A::Left);
    plain.spaceBefore = 240;
    plain.spaceAfter = 120;
    doc::Paragraph shaded = plain;
    shaded.shading = 0xDDDDDD;
    doc::Paragraph boxed = plain;
    const doc::Border line{doc::Border::Style::Single, 0.75, doc::kAutoColor, 3}; // 1 px, 4 px from the text
    boxed.borders = {line, line, line, line, doc::Border()};
    doc::Paragraph doubleTop = boxed;
    doubleTop.borders.top.style = doc::Border::Style::Double;
    doc::Paragraph dottedTop = boxed;
    dottedTop.borders.top.style = doc::Border::Style::Dotted;
    doc::Paragraph between = boxed;
    between.borders.between = line;
    QTest::newRow("space before and after") << plain << false << false << 0 << 16.0 << 8.0;
    QTest::newRow("shading") << shaded << false << false << 2 << 16.0 << 8.0;
    QTest::newRow("box") << boxed << false << false << 6 << 21.0 << 13.0;
    QTest::newRow("double top border") << doubleTop << false << false << 7 << 23.0 << 13.0;
    // A 1 px dot every 2 px along the 634 px top edge, and the other sides' 5 fills.
    QTest::newRow("dotted top border") << dottedTop << false << false << 322 << 21.0 << 13.0;
    QTest::newRow("between others of the box") << between << true << true << 5 << 16.0 << 13.0;
    QTest::newRow("joined, no between border") << boxed << true << true << 4 << 16.0 << 8.0;
}

void tst_PageLayout::paragraphBox()
{
    QFETCH(doc::Paragraph, paragraph);
    QFETCH(bool, joinedBefore);
    QFETCH(bool, joinedAfter);
    QFETCH(int, fills);
    QFETCH(double, firstTop);
    QFETCH(double, below);
    const LaidParagraph laid = layOutParagraph(oneInchPage({paragraph}), {joinedBefore, joinedAfter});
    QCOMPARE(laid.slices.size(), std::size_t(2));
    int count = 0;
    for (const render::Slice& slice : laid.slices)
        count += static_cast<int>(slice.content.fills.size());
    QCOMPARE(count, fills);
    QCOMPARE(laid.line(0).top, firstTop);
    const render::PageLine& last = laid.line(1);
    QCOMPARE(laid.slices[1].height - (last.top + last.height), below);
    // The shading and side borders stand about the lines.
    for (const render::Slice& slice : laid.slices)
        for (const render::PageFill& fill : slice.content.fills)
            QVERIFY(
                fill.rect.width() < 2 || fill.rect.height() < 2 ||
                (fill.rect.top() <= slice.content.lines.front().top &&
                 fill.rect.bottom() >= slice.content.lines.front().top + slice.content.lines.front().height));
}

void tst_PageLayout::damagedModel()
{
    doc::Paragraph paragraph = testmodel::paragraph(kLongText, A::Justify);
    paragraph.runs = {testmodel::run(5, 4000000000u, -3), testmodel::run(4000000000u, 10, 1e9)};
    paragraph.runs[0].fontName.clear();
    paragraph.markFormat.sizePt = std::numeric_limits<double>::quiet_NaN();
    paragraph.leftIndent = std::numeric_limits<std::int32_t>::max();
    paragraph.rightIndent = std::numeric_limits<std::int32_t>::min();
    paragraph.firstLineIndent = std::numeric_limits<std::int32_t>::min();
    paragraph.spaceBefore = -100;
    paragraph.lineSpacing = std::numeric_limits<std::int32_t>::min();
    paragraph.lineSpacingMultiple = false;
    paragraph.tabs = {{std::numeric_limits<std::int32_t>::min(), doc::TabStop::Alignment::Right, u'\0'}};
    doc::ReadModel model = oneInchPage({paragraph, testmodel::paragraph(u"\t\t\t\t", A::Right)});
    model.section().defaultTabWidth = 0;
    model.section().pageWidth = std::numeric_limits<std::int32_t>::min();
    const render::PageLayout layout = render::layoutPage(model);
    QVERIFY(!layout.lines.empty());
    QVERIFY(layout.size().width() > 0 && layout.size().height() > 0);
    for (const render::PageLine& line : layout.lines) {
        QVERIFY(std::isfinite(line.left) && std::isfinite(line.right));
        QVERIFY(std::isfinite(line.top) && std::isfinite(line.height));
    }
}

void tst_PageLayout::hugeParagraphs_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("rightTab");
    QTest::addColumn<bool>("distinctSizes");
    // Every row used to cost time growing with the square of its length.
    QTest::newRow("zero-width characters on one line")
        << QString(300000, QChar(0x200B)) + "end" << false << false;
    QTest::newRow("one long right-aligned segment") << "\t" + QString(300000, QChar(0x200B)) << true << false;
    QTest::newRow("many words") << QString("word ").repeated(200000) << false << false;
    QTest::newRow("a run per character") << QString("ab").repeated(50000) << false << true;
}

void tst_PageLayout::hugeParagraphs()
{
    QFETCH(QString, text);
    QFETCH(bool, rightTab);
    QFETCH(bool, distinctSizes);
    doc::Paragraph paragraph = testmodel::paragraph(text.toStdU16String(), A::Justify);
    if (rightTab)
        paragraph.tabs.push_back({2880, doc::TabStop::Alignment::Right, u' '});
    if (distinctSizes) {
        paragraph.runs.clear();
        for (std::uint32_t i = 0; i < paragraph.text.size(); ++i)
            paragraph.runs.push_back(testmodel::run(i, 1, 8 + (i % 1000) * 0.001));
    }
    const render::PageLayout layout = render::layoutPage(oneInchPage({paragraph}));
    QVERIFY(!layout.lines.empty());
    QVERIFY(layout.lines.back().top + layout.lines.back().height <=
            layout.geometry.columnTop + layout.geometry.columnHeight + 1e-6);
    QVERIFY(layout.styles.size() <= 4); // sizes come in half points: 8, 8.5, 9 and the mark's 12
}

QTEST_MAIN(tst_PageLayout)
#include "tst_pagelayout.moc"
