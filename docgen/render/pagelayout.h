#pragma once

#include "doc/readmodel.h"
#include "render/layoutmath.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPointF>
#include <QRectF>
#include <QSize>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

class QDataStream;
class QPainter;

// A document's main text laid out page by page, line by line, in page pixels (96 dpi).
namespace render
{

// Fonts are made at this many times their size and drawn scaled down by it: Qt rounds font sizes to
// whole pixels, but 11 pt is 14 2/3 pixels at 96 dpi. Three times any half-point size is a whole pixel size.
inline constexpr int kFontScale = 3;

// What stands in for a character no installed font draws: a white square, which the carried fonts have. Left
// out, the character would vanish without a trace.
inline constexpr char16_t kUndrawnBox = u'\u25A1';

struct TextStyle {
    QFont font; // pixel size kFontScale times the run's size at 96 dpi
    bool underline = false;
    QColor color = Qt::black;

    // Width of text in this style, in page pixels: its characters' advances, each rounded as Word rounds it.
    double advance(const QString& text) const;
};

// Characters drawn with one call: same style, side by side.
struct TextFragment {
    QString text;
    QPointF baseline; // left end of the baseline, picture pixels
    double width = 0;
    int style = 0; // index into PageLayout::styles
};

struct PageLine {
    int page = 0; // the page the line is on; positions are in that page's picture
    int paragraph = 0;
    QString text;     // the line's characters, tabs as '\t', without its line break
    double left = 0;  // left edge of the line's first character, picture pixels
    double right = 0; // right edge of its last character that is not a trailing space
    double top = 0;
    double height = 0;
    double baseline = 0;
    std::vector<TextFragment> fragments; // text, then tab leaders
    std::vector<QRectF> underlines;      // and strike-through lines, in the text's colour
    bool lineBreak = false;              // the line ends at a line break, not where the text wrapped
};

// A rectangle of one colour under the text: shading, highlighting, borders and rules, painted in order.
struct PageFill {
    int page = 0;
    QRectF rect; // picture pixels
    QColor color;
};

// A picture on a page, painted over the fills and under the text. A null image, one the layout cannot
// draw, is painted as a framed box of the picture's size with its name inside.
struct PageImage {
    int page = 0;
    QRectF rect;
    QImage image;
    QString name; // what the picture is, as a framed box shows it: "EMF picture"
};

struct PageLayout {
    PictureGeometry geometry; // the first page's
    std::vector<TextStyle> styles;
    std::vector<PageLine> lines;   // page by page, in reading order
    std::vector<PageFill> fills;   // page by page
    std::vector<PageImage> images; // page by page
    int pageCount = 1;
    bool truncated = false; // text went on past the last page laid out and was left out
    QString undrawn; // characters no installed font draws, each once, in reading order; see kUndrawnBox

    // Each page's geometry and the section (index into ReadModel::sections) whose paper it is, where a
    // section gives its pages another paper or margins; empty when every page has the first's.
    std::vector<PictureGeometry> pageGeometries;
    std::vector<std::size_t> pageSections;

    // The picture of a whole page: the first, or the one named.
    QSize size() const { return {geometry.widthPx, geometry.heightPx}; }
    QSize size(int page) const { return {pageGeometry(page).widthPx, pageGeometry(page).heightPx}; }
    const PictureGeometry& pageGeometry(int page) const
    {
        return page >= 0 && static_cast<std::size_t>(page) < pageGeometries.size()
                   ? pageGeometries[static_cast<std::size_t>(page)]
                   : geometry;
    }
    std::size_t pageSection(int page) const
    {
        return page >= 0 && static_cast<std::size_t>(page) < pageSections.size()
                   ? pageSections[static_cast<std::size_t>(page)]
                   : 0;
    }
};

// Lays out the main text on the section's first page: paragraphs one under another in the text column,
// lines broken at word boundaries, nothing past the bottom margin or a page break.
PageLayout layoutPage(const doc::ReadModel& model);

// The same, going on over as many pages as the text needs: a line that does not fit above the bottom
// margin, and the text after a page break, start the next page. Lines break as on the first page.
PageLayout layoutDocument(const doc::ReadModel& model);

// The page picture's natural size for the preview: every page laid out, scaled to fit.
PictureFit fitPicture(const PageLayout& layout, const PreviewFrame& frame = kPreviewFrame);

// The text of one page as plain text: a line for each paragraph and line break, wrapped lines joined.
QString pageText(const PageLayout& layout, int page);

// Paints one laid-out page in the page's coordinates: the white sheet, then its fills, pictures and text.
void paintPage(QPainter& painter, const PageLayout& layout, int page);

// Paints one page's fills, pictures and text, without the sheet, in the page's coordinates.
void paintText(QPainter& painter, const PageLayout& layout, int page);

// Far more pages than any agreement; a count past it in page data is damage, not a document.
inline constexpr std::uint32_t kMaxDataPages = 100000;

// What painting needs of a layout (the page size, the styles, each line's page, text fragments and
// underlines, the fills and the pictures), written to a stream and read back: paintPage() paints the read
// layout as the written one.
void writePaintedLayout(QDataStream& out, const PageLayout& layout);
// nullopt for data that is not a sound layout.
std::optional<PageLayout> readPaintedLayout(QDataStream& in);

} // namespace render
