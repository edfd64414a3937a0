#include "layoutmath.h"

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

PictureGeometry pictureGeometry(const doc::SectionLayout& section)
{
    const double pageWidth = std::clamp<double>(section.pageWidth, 0, kMaxTwips);
    const double pageHeight = std::clamp<double>(section.pageHeight, 0, kMaxTwips);
    const double columnWidthTwips =
        pageWidth - clampTwips(section.marginLeft) - clampTwips(section.marginRight);
    // Word measures the top and bottom margins by their size whatever their sign (negative = fixed).
    const double columnHeightTwips =
        pageHeight - std::abs(clampTwips(section.marginTop)) - std::abs(clampTwips(section.marginBottom));

    PictureGeometry geometry;
    geometry.columnWidth = std::max(1.0, twipsToPixels(columnWidthTwips));
    geometry.columnHeight = std::max(1.0, twipsToPixels(columnHeightTwips));
    const double border = twipsToPixels(kBorderTwips);
    geometry.widthPx =
        std::min(kMaxPictureWidthPx, static_cast<int>(std::ceil(geometry.columnWidth + 2 * border - 1e-9)));
    geometry.heightPx =
        std::min(kMaxPictureHeightPx, static_cast<int>(std::ceil(geometry.columnHeight + 2 * border - 1e-9)));
    geometry.columnLeft = std::clamp((geometry.widthPx - geometry.columnWidth) / 2, 0.0, border);
    geometry.columnTop = std::clamp((geometry.heightPx - geometry.columnHeight) / 2, 0.0, border);
    return geometry;
}

} // namespace render
