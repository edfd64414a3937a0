#pragma once

#include "layoutmath.h"
#include "readmodel.h"

#include <QFont>
#include <QPointF>
#include <QRectF>
#include <QSize>
#include <QString>

#include <vector>

class QPainter;

// The first page of a document's main text, laid out line by line in picture pixels (96 dpi).
namespace render {

struct TextStyle {
    QFont font; // sized so that it draws at the run's point size at 96 dpi on a QPicture
    bool underline = false;
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
    QString text; // the line's characters as shown, tabs as '\t', without its line break
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
