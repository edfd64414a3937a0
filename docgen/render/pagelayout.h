#pragma once

#include "doc/readmodel.h"
#include "layoutmath.h"

#include <QFont>
#include <QPointF>
#include <QRectF>
#include <QSize>
#include <QString>

#include <vector>

class QPainter;

// The first page of a document's main text, laid out line by line in picture pixels (96 dpi).
namespace render
{

// Fonts are made at this many times their size and drawn scaled down by it: Qt rounds font sizes to
// whole pixels, but 11 pt is 14 2/3 pixels at 96 dpi. Three times any half-point size is a whole pixel size.
inline constexpr int kFontScale = 3;

struct TextStyle {
    QFont font; // pixel size kFontScale times the run's size at 96 dpi
    bool underline = false;

    // Width of text in this style, in page pixels.
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
    int paragraph = 0;
    QString text;     // the line's characters as shown, tabs as '\t', without its line break
    double left = 0;  // left edge of the line's first character, picture pixels
    double right = 0; // right edge of its last character that is not a trailing space
    double top = 0;
    double height = 0;
    double baseline = 0;
    std::vector<TextFragment> fragments; // text, then tab leaders
    std::vector<QRectF> underlines;
};

struct PageLayout {
    PictureGeometry geometry;
    std::vector<TextStyle> styles;
    std::vector<PageLine> lines;
    bool truncated = false; // text went on past the first page and was left out

    QSize size() const { return {geometry.widthPx, geometry.heightPx}; }
};

// Lays out the main text on the section's first page: paragraphs one under another in the text column,
// lines broken at word boundaries, nothing drawn past the bottom margin or a page break.
PageLayout layoutPage(const doc::ReadModel& model);

// Paints the laid-out page: white background over the whole picture, then the text.
void paintPage(QPainter& painter, const PageLayout& layout);

} // namespace render
