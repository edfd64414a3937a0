#pragma once

#include <cmath>

// The measures the page picture and the preview window share: both windows lay themselves out in twips
// (1/1440 inch), pictures are drawn in 96-dpi pixels, and the preview paints a zoomed picture only below a
// fixed size. Each fact is stated here once.
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
inline constexpr float kZoomStep = 0.25f;
inline constexpr float kZoomMin = 0.25f;
inline constexpr float kZoomMax = 3.5f;
// The preview takes a picture's natural size as the zoom source holder's inner size less this.
inline constexpr int kZoomSourceInsetTwips = 2;

// The preview's viewport (Picture2): its outer size, and the border inside it on every side.
inline constexpr TwipSize kViewportSize{9330, 7425};
inline constexpr int kViewportBorderTwips = kTwipsPerPixel;
inline constexpr TwipSize kViewportInnerSize{kViewportSize.width - 2 * kViewportBorderTwips,
                                             kViewportSize.height - 2 * kViewportBorderTwips};

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
