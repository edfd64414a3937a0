#pragma once

#include "doc/readmodel.h"
#include "render/units.h"

#include <QSizeF>

#include <cstdint>
#include <optional>
#include <vector>

// The page picture's arithmetic, kept free of fonts and painting so it can be checked on its own.
// Every length here is in 96-dpi pixels unless its name or its type says twips.
namespace render
{

inline constexpr double kPointsPerInch = 72.0;

constexpr double pointsToPixels(double points)
{
    return points * kPixelsPerInch / kPointsPerInch;
}

// The stops a tab can go to on one line. Stop positions are from the text column's left edge.
struct TabRuler {
    struct Stop {
        double position = 0;
        doc::TabStop::Alignment alignment = doc::TabStop::Alignment::Left;
        char16_t leader = u' ';
    };
    std::vector<Stop> stops;  // sorted by position, bar tabs left out (they are not stops)
    double defaultWidth = 48; // default stops at every multiple of this, past the last explicit stop
    // A hanging indent's left indent acts as a stop for the lines that start left of it.
    std::optional<double> indentStop;

    static TabRuler fromParagraph(const doc::Paragraph& paragraph, std::int32_t defaultTabWidthTwips);
};

// The stop a tab starting at x goes to: the first stop strictly right of x.
TabRuler::Stop resolveTab(const TabRuler& ruler, double x);

// Height of a line whose fonts give singleHeight (ascent + descent + leading), under Word's line spacing
// (LSPD): multiple = lineSpacing/240 lines; otherwise lineSpacing twips, exact when negative, at least when
// positive.
double lineHeight(double singleHeight, std::int32_t lineSpacing, bool lineSpacingMultiple);

// Distance from a line's top to its baseline, for text whose fonts reach `above` over the baseline (ascent
// plus leading) and `descent` under it. Extra height from line spacing goes above the text, as in Word; an
// exact height keeps the text's proportion of ascent to descent, so text too tall for it loses the bottoms
// of its descenders and the tops of its capitals alike.
double baselineInLine(double above, double descent, double height, std::int32_t lineSpacing,
                      bool lineSpacingMultiple);

// Where the text column sits on a page's picture, which is the whole sheet of paper at 96 dpi: the column at
// the document's own margins, as on paper.
struct PictureGeometry {
    int widthPx = 0; // the whole page's picture at 96 dpi
    int heightPx = 0;
    double columnLeft = 0; // text column's top left corner in the picture
    double columnTop = 0;
    double columnWidth = 0;  // page width minus the side margins (at least one pixel)
    double columnHeight = 0; // page height minus the top and bottom margins (at least one pixel)
};

PictureGeometry pictureGeometry(const doc::SectionLayout& section);

// The paper the text is printed on, in twips: the section's page and margins, made sound (no negative
// margin, a page that holds its margins and the text column).
struct PaperGeometry {
    double width = 0;
    double height = 0;
    double left = 0;
    double top = 0;
    double right = 0;
    double bottom = 0;
};

PaperGeometry paperGeometry(const doc::SectionLayout& section);

// What the preview can show, in twips.
struct PreviewFrame {
    TwipSize viewportInner; // the viewport's drawing area
    TwipSize paintLimit; // a zoomed picture paints only while it is narrower, and each page lower, than this
    double zoomStep = 0; // one step up from zoom 1 must still paint
};

inline constexpr PreviewFrame kPreviewFrame{kViewportInnerSize, kZoomPaintLimit, kZoomStep};

// The ground between the pages of the page picture, in the picture's pixels at its natural size.
inline constexpr int kPageGapPx = 8;
inline constexpr int kPageShadowPx = 3;

struct PixelRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const PixelRect&) const = default;
};

// The page picture's natural size: every page drawn at scale times its 96-dpi size, one under the other
// with a gap of ground above, between and below them and on both sides.
struct PictureFit {
    double scale = 1;
    int widthPx = 0;
    int heightPx = 0;
    std::vector<PixelRect> pages;
};

// Fits pageCount pages of pageWidth x pageHeight (96 dpi) to the preview, which measures a picture of n
// pixels as n x 15 - 2 twips: at zoom 1 the picture's whole width shows in the viewport, and a zoom step up
// still paints, its width and each of its pages below the paint limit. The scale depends on the page alone,
// so every agreement on that paper is drawn alike; it never enlarges.
PictureFit fitPicture(double pageWidth, double pageHeight, int pageCount, const PreviewFrame& frame);

// The same for pages of different sizes (96 dpi): one scale for all, that fits the largest, each page its
// own size at that scale, centred across the picture.
PictureFit fitPicture(const std::vector<QSizeF>& pages, const PreviewFrame& frame);

} // namespace render
