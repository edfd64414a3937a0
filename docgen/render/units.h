#pragma once

#include <cmath>

// The measures the page picture is made to: both windows lay themselves out in twips (1/1440 inch),
// pictures are drawn in 96-dpi pixels, and a picture is fitted to the preview's drawing area and to the
// size below which the preview paints a zoomed picture. The preview window's own sizes are its own
// (preview/previewsizes.h).
namespace render
{

inline constexpr int kTwipsPerInch = 1440;
inline constexpr int kTwipsPerPixel = 15;
inline constexpr int kPixelsPerInch = kTwipsPerInch / kTwipsPerPixel;

struct TwipSize {
    int width = 0;
    int height = 0;
};

// A zoomed picture is painted only while it is narrower and lower than this.
inline constexpr TwipSize kZoomPaintLimit{12100, 15700};
// One zoom step up from 1 must still paint.
inline constexpr float kZoomStep = 0.25f;
// The preview takes a picture's natural size as the zoom source holder's inner size less this.
inline constexpr int kZoomSourceInsetTwips = 2;

// The preview viewport's drawing area, which a picture's width fits at zoom 1.
inline constexpr TwipSize kViewportInnerSize{9300, 7395};

constexpr double twipsToPixels(double twips)
{
    return twips / kTwipsPerPixel;
}

// The nearest whole pixel, halves to the even neighbour (a whole number of twips is never halfway).
inline int roundTwipsToPixels(double twips)
{
    return static_cast<int>(std::nearbyint(twips / kTwipsPerPixel));
}

} // namespace render
