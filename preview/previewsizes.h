#pragma once

#include "render/units.h"

// The preview window's own sizes, in twips. The page picture is made to the viewport's drawing area
// (render::kViewportInnerSize); the viewport adds its border around it.
namespace PreviewSizes
{

// The viewport (Picture2): the border inside it on every side, and its outer size.
inline constexpr int kViewportBorderTwips = render::kTwipsPerPixel;
inline constexpr render::TwipSize kViewportSize{render::kViewportInnerSize.width + 2 * kViewportBorderTwips,
                                                render::kViewportInnerSize.height + 2 * kViewportBorderTwips};

} // namespace PreviewSizes
