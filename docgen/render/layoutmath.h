#pragma once

#include "doc/readmodel.h"

#include <cstdint>
#include <optional>
#include <vector>

// The page picture's arithmetic, kept free of fonts and painting so it can be checked on its own.
// Every length here is in 96-dpi pixels unless its name says twips.
namespace render
{

inline constexpr double kTwipsPerPixel = 15.0;
inline constexpr double kPointsPerInch = 72.0;
inline constexpr double kPixelsPerInch = 96.0;

constexpr double twipsToPixels(double twips)
{
    return twips / kTwipsPerPixel;
}
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

// Where the page's text column sits in the picture, and the picture's size.
// The picture is the text column with a white border of half an inch on every side, kept below the
// largest picture the preview can zoom (12100 x 15700 twips): the border shrinks first, then the
// column is cut at the right and the bottom.
struct PictureGeometry {
    int widthPx = 0;
    int heightPx = 0;
    double columnLeft = 0; // text column's top left corner in the picture
    double columnTop = 0;
    double columnWidth = 0;  // page width minus the side margins (at least one pixel)
    double columnHeight = 0; // page height minus the top and bottom margins (at least one pixel)
};

inline constexpr int kBorderTwips = 720;
inline constexpr int kMaxPictureWidthPx = 806;   // 12090 twips, the widest below 12100
inline constexpr int kMaxPictureHeightPx = 1046; // 15690 twips, the highest below 15700

PictureGeometry pictureGeometry(const doc::SectionLayout& section);

} // namespace render
