#include "render/layoutmath.h"

#include <algorithm>
#include <cmath>

namespace render
{

namespace
{

// Word's limit for any page dimension, margin or indent (22 inches); anything past it is damage.
constexpr double kMaxTwips = 31680;
// Word's "at least" and "exact" line spacing reaches at most 1584 pt.
constexpr double kMaxLineSpacingTwips = 31680;
// Stops closer than this to x count as reached; guards against rounding in the positions.
constexpr double kTabEpsilon = 1e-6;

double clampTwips(double twips)
{
    return std::clamp(twips, -kMaxTwips, kMaxTwips);
}

// The most pixels n whose preview measure, (n x 15 - 2) x zoom twips, stays within limit (or below it).
int mostPixels(double limitTwips, double zoom, bool strictlyBelow)
{
    auto fits = [&](int n) {
        const double twips = (double(n) * kTwipsPerPixel - kZoomSourceInsetTwips) * zoom;
        return strictlyBelow ? twips < limitTwips : twips <= limitTwips;
    };
    int n = static_cast<int>(std::floor((limitTwips / zoom + kZoomSourceInsetTwips) / kTwipsPerPixel));
    while (n > 1 && !fits(n))
        --n;
    while (fits(n + 1))
        ++n;
    return std::max(n, 1);
}

int wholePixels(double length)
{
    return std::max(1, static_cast<int>(std::ceil(length - 1e-9)));
}

} // namespace

TabRuler TabRuler::fromParagraph(const doc::Paragraph& paragraph, std::int32_t defaultTabWidthTwips)
{
    TabRuler ruler;
    for (const doc::TabStop& tab : paragraph.tabs) {
        if (tab.alignment == doc::TabStop::Alignment::Bar)
            continue;
        ruler.stops.push_back({twipsToPixels(clampTwips(tab.position)), tab.alignment, tab.leader});
    }
    std::stable_sort(ruler.stops.begin(), ruler.stops.end(),
                     [](const Stop& a, const Stop& b) { return a.position < b.position; });
    // A zero or negative default width (a damaged Dop) would give no next stop; Word's own default is 720.
    const double defaultTwips = defaultTabWidthTwips > 0 ? clampTwips(defaultTabWidthTwips) : 720.0;
    ruler.defaultWidth = twipsToPixels(defaultTwips);
    if (paragraph.firstLineIndent < 0)
        ruler.indentStop = twipsToPixels(clampTwips(paragraph.leftIndent));
    return ruler;
}

TabRuler::Stop resolveTab(const TabRuler& ruler, double x)
{
    std::optional<TabRuler::Stop> best;
    for (const TabRuler::Stop& stop : ruler.stops) {
        if (stop.position > x + kTabEpsilon) {
            best = stop;
            break;
        }
    }
    if (ruler.indentStop && *ruler.indentStop > x + kTabEpsilon &&
        (!best || *ruler.indentStop < best->position))
        best = TabRuler::Stop{*ruler.indentStop, doc::TabStop::Alignment::Left, u' '};
    if (best)
        return *best;

    // Default stops exist only right of the last explicit stop.
    const double from = ruler.stops.empty() ? x : std::max(x, ruler.stops.back().position);
    double next = (std::floor(from / ruler.defaultWidth + kTabEpsilon) + 1) * ruler.defaultWidth;
    if (next <= x + kTabEpsilon)
        next += ruler.defaultWidth;
    return {next, doc::TabStop::Alignment::Left, u' '};
}

double lineHeight(double singleHeight, std::int32_t lineSpacing, bool lineSpacingMultiple)
{
    if (lineSpacingMultiple) {
        // Zero or negative multiples only come from damaged files: keep single spacing.
        if (lineSpacing <= 0)
            return singleHeight;
        return singleHeight * std::min(lineSpacing, 240 * 132) / 240.0;
    }
    const double twips = std::min(std::abs(static_cast<double>(lineSpacing)), kMaxLineSpacingTwips);
    if (lineSpacing < 0)
        return twipsToPixels(twips);
    return std::max(singleHeight, twipsToPixels(twips));
}

double baselineInLine(double above, double descent, double height, std::int32_t lineSpacing,
                      bool lineSpacingMultiple)
{
    if (!lineSpacingMultiple && lineSpacing < 0 && above + descent > 0)
        return height * above / (above + descent);
    return height - descent;
}

namespace
{

struct ColumnSize {
    double width = 0; // pixels, at least one
    double height = 0;
};

ColumnSize columnSize(const doc::SectionLayout& section)
{
    const double pageWidth = std::clamp<double>(section.pageWidth, 0, kMaxTwips);
    const double pageHeight = std::clamp<double>(section.pageHeight, 0, kMaxTwips);
    const double widthTwips = pageWidth - clampTwips(section.marginLeft) - clampTwips(section.marginRight);
    // Word measures the top and bottom margins by their size whatever their sign (negative = fixed).
    const double heightTwips =
        pageHeight - std::abs(clampTwips(section.marginTop)) - std::abs(clampTwips(section.marginBottom));
    return {std::max(1.0, twipsToPixels(widthTwips)), std::max(1.0, twipsToPixels(heightTwips))};
}

} // namespace

PaperGeometry paperGeometry(const doc::SectionLayout& section)
{
    const ColumnSize column = columnSize(section);
    PaperGeometry paper;
    paper.left = std::clamp<double>(section.marginLeft, 0, kMaxTwips);
    paper.right = std::clamp<double>(section.marginRight, 0, kMaxTwips);
    paper.top = std::abs(clampTwips(section.marginTop));
    paper.bottom = std::abs(clampTwips(section.marginBottom));
    paper.width = std::max(std::clamp<double>(section.pageWidth, 0, kMaxTwips),
                           paper.left + column.width * kTwipsPerPixel + paper.right);
    paper.height = std::max(std::clamp<double>(section.pageHeight, 0, kMaxTwips),
                            paper.top + column.height * kTwipsPerPixel + paper.bottom);
    return paper;
}

PictureGeometry pictureGeometry(const doc::SectionLayout& section)
{
    const ColumnSize column = columnSize(section);
    const PaperGeometry paper = paperGeometry(section);
    PictureGeometry geometry;
    geometry.columnWidth = column.width;
    geometry.columnHeight = column.height;
    geometry.columnLeft = twipsToPixels(paper.left);
    geometry.columnTop = twipsToPixels(paper.top);
    geometry.widthPx = wholePixels(twipsToPixels(paper.width));
    geometry.heightPx = wholePixels(twipsToPixels(paper.height));
    return geometry;
}

PictureFit fitPicture(double pageWidth, double pageHeight, int pageCount, const PreviewFrame& frame)
{
    return fitPicture(
        std::vector<QSizeF>(static_cast<std::size_t>(std::max(pageCount, 1)), QSizeF(pageWidth, pageHeight)),
        frame);
}

PictureFit fitPicture(const std::vector<QSizeF>& pages, const PreviewFrame& frame)
{
    const double zoomIn = 1 + frame.zoomStep;
    const int maxWidth = std::min(mostPixels(frame.viewportInner.width, 1, false),
                                  mostPixels(frame.paintLimit.width, zoomIn, true));
    // A page is measured by its own extent: n pixels are n x 15 twips.
    const int maxPageHeight =
        std::max(1, static_cast<int>(std::ceil(frame.paintLimit.height / (zoomIn * kTwipsPerPixel))) - 1);
    const int room = std::max(1, maxWidth - 2 * kPageGapPx);
    double widest = 1;
    double tallest = 1;
    for (const QSizeF& page : pages) {
        widest = std::max(widest, page.width());
        tallest = std::max(tallest, page.height());
    }

    PictureFit fit;
    fit.scale = std::min({1.0, room / widest, maxPageHeight / tallest});
    const int pictureW = std::min(room, wholePixels(widest * fit.scale));
    fit.widthPx = pictureW + 2 * kPageGapPx;
    fit.heightPx = kPageGapPx;
    for (const QSizeF& page : pages.empty() ? std::vector<QSizeF>{QSizeF(1, 1)} : pages) {
        const int pageW = std::min(pictureW, wholePixels(std::max(page.width(), 1.0) * fit.scale));
        const int pageH = std::min(maxPageHeight, wholePixels(std::max(page.height(), 1.0) * fit.scale));
        fit.pages.push_back({kPageGapPx + (pictureW - pageW) / 2, fit.heightPx, pageW, pageH});
        fit.heightPx += pageH + kPageGapPx;
    }
    return fit;
}

} // namespace render
