#include "preview/zoomgeometry.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace
{

// Real to integer conversions: nearest, halves to the even neighbour (the default
// floating-point rounding mode), failing as an overflow outside the target type.
template <class Int> Int roundChecked(double value)
{
    const double rounded = std::nearbyint(value);
    if (!(rounded >= std::numeric_limits<Int>::min() && rounded <= std::numeric_limits<Int>::max()))
        throw std::overflow_error("Overflow");
    return static_cast<Int>(rounded);
}

qint32 floorChecked(double value)
{
    const double floored = std::floor(value);
    if (!(floored >= std::numeric_limits<qint32>::min() && floored <= std::numeric_limits<qint32>::max()))
        throw std::overflow_error("Overflow");
    return static_cast<qint32>(floored);
}

} // namespace

ZoomGeometry::ZoomGeometry(qint32 viewportWidth, qint32 viewportHeight, qint32 viewportBorder)
    : mViewportWidth(viewportWidth), mViewportHeight(viewportHeight), mViewportBorder(viewportBorder)
{
}

std::optional<ZoomGeometry::BarFit> ZoomGeometry::fitBar(qint32 outer, qint32 viewport)
{
    if (outer <= viewport)
        return std::nullopt;
    const float excess = static_cast<float>(outer - viewport);
    if (excess <= kFineExcessLimit)
        return BarFit{roundChecked<qint16>(excess), kFineStep};
    return BarFit{roundChecked<qint16>(excess / 10.0), kCoarseStep};
}

float ZoomGeometry::steppedZoom(float zoom, qint32 zoomOut)
{
    return zoomOut == 0 ? zoom + kZoomStep : zoom - kZoomStep;
}

bool ZoomGeometry::zoomAccepted(float zoom)
{
    return zoom >= kZoomMin && zoom <= kZoomMax;
}

std::optional<qint16> ZoomGeometry::percentOf(float position, qint32 outer, qint32 viewport)
{
    if (outer == viewport)
        return std::nullopt;
    return roundChecked<qint16>(std::fabs(double(position)) / double(outer - viewport) * 100.0);
}

std::optional<qint16> ZoomGeometry::valueForPercent(qint16 percent, qint16 maximum)
{
    if (percent > 100 || percent < 0)
        return std::nullopt;
    return roundChecked<qint16>(double(percent) / 100.0 * double(maximum));
}

void ZoomGeometry::assignPicture(qint32 width, qint32 height)
{
    mDisplayWidth = width;
    mDisplayHeight = height;
}

void ZoomGeometry::copyDisplayWidthToSource()
{
    mSourceWidth = mDisplayWidth;
}

void ZoomGeometry::copyDisplayHeightToSource()
{
    mSourceHeight = mDisplayHeight;
}

void ZoomGeometry::measureOrigWidth()
{
    mOrigWidth = roundChecked<qint32>(double(mSourceWidth) - render::kZoomSourceInsetTwips);
}

void ZoomGeometry::measureOrigHeight()
{
    mOrigHeight = roundChecked<qint32>(double(mSourceHeight) - render::kZoomSourceInsetTwips);
}

void ZoomGeometry::zoomWidthAtOne()
{
    mZoomWidth = mOrigWidth;
}

void ZoomGeometry::zoomHeightAtOne()
{
    mZoomHeight = mOrigHeight;
}

void ZoomGeometry::computeZoomWidth()
{
    mZoomWidth = floorChecked(double(mOrigWidth) * double(mZoom));
}

void ZoomGeometry::computeZoomHeight()
{
    mZoomHeight = floorChecked(double(mOrigHeight) * double(mZoom));
}

bool ZoomGeometry::fitsPaintLimit() const
{
    const qint32 judged = mSourcePageHeight > 0 ? std::min(mSourcePageHeight, mOrigHeight) : mOrigHeight;
    return mZoomWidth < kPaintWidthLimit && floorChecked(double(judged) * double(mZoom)) < kPaintHeightLimit;
}

void ZoomGeometry::sizeDisplayWidthToZoom()
{
    mDisplayWidth = mZoomWidth;
}

void ZoomGeometry::sizeDisplayHeightToZoom()
{
    mDisplayHeight = mZoomHeight;
}

void ZoomGeometry::enableBarForZoom(Axis axis)
{
    if (axis == Axis::Horizontal)
        mHBar.enabled = viewportInnerWidth() < mZoomWidth;
    else
        mVBar.enabled = viewportInnerHeight() < mZoomHeight;
}

void ZoomGeometry::setupScrollbars()
{
    mTop = 0.0f;
    mLeft = 0.0f;
    fitAxis(Axis::Horizontal);
    fitAxis(Axis::Vertical);
}

void ZoomGeometry::fitAxis(Axis axis)
{
    const bool horizontal = axis == Axis::Horizontal;
    qint16& step = horizontal ? mHStep : mVStep;
    Bar& bar = barFor(axis);
    const std::optional<BarFit> fit =
        horizontal ? fitBar(mDisplayWidth, mViewportWidth) : fitBar(mDisplayHeight, mViewportHeight);
    if (!fit) {
        bar.enabled = false;
        step = 0;
        return;
    }
    bar.enabled = true;
    bar.maximum = fit->maximum;
    if (bar.value > bar.maximum)
        setBarValue(axis, bar.maximum);
    step = fit->step;
    setBarValue(axis, 0);
}

void ZoomGeometry::resizeViewport(qint32 width, qint32 height)
{
    mViewportWidth = width;
    mViewportHeight = height;
    refitAxis(Axis::Horizontal);
    refitAxis(Axis::Vertical);
}

void ZoomGeometry::refitAxis(Axis axis)
{
    const bool horizontal = axis == Axis::Horizontal;
    qint16& step = horizontal ? mHStep : mVStep;
    float& position = horizontal ? mLeft : mTop;
    Bar& bar = barFor(axis);
    std::optional<BarFit> fit;
    try {
        fit = horizontal ? fitBar(mDisplayWidth, mViewportWidth) : fitBar(mDisplayHeight, mViewportHeight);
    } catch (const std::overflow_error&) {
        // A picture too large for a bar's range keeps the bar as the last fitting left it.
        return;
    }
    if (!fit) {
        bar.enabled = false;
        step = 0;
        position = 0.0f;
        return;
    }
    bar.enabled = true;
    bar.maximum = fit->maximum;
    step = fit->step;
    const double units = std::clamp(std::nearbyint(-double(position) / step), 0.0, double(bar.maximum));
    bar.value = static_cast<qint16>(units);
    barChanged(axis);
}

void ZoomGeometry::setBarValue(Axis axis, qint16 value)
{
    Bar& bar = barFor(axis);
    if (bar.value == value)
        return;
    bar.value = value;
    barChanged(axis);
}

void ZoomGeometry::barChanged(Axis axis)
{
    // step <= 10 and value <= 32767 keep the product inside 32 bits.
    if (axis == Axis::Horizontal)
        mLeft = -static_cast<float>(qint32(mHStep) * mHBar.value);
    else
        mTop = -static_cast<float>(qint32(mVStep) * mVBar.value);
}

void ZoomGeometry::setBarByPercent(Axis axis, qint16 percent)
{
    if (const std::optional<qint16> value = valueForPercent(percent, bar(axis).maximum))
        setBarValue(axis, *value);
}

void ZoomGeometry::pressAt(float x, float y)
{
    mDownX = x;
    mDownY = y;
}

// The upper limit is tested first: a box narrower than the viewport that is not pushed
// right of the left edge goes to the far side, its right edge at the inner right edge.
float ZoomGeometry::dragLeft(float x) const
{
    const float newLeft = mLeft - mDownX + x;
    if (newLeft > 0.0f)
        return 0.0f;
    const float lowest = static_cast<float>(viewportInnerWidth() - mDisplayWidth);
    return newLeft < lowest ? lowest : newLeft;
}

float ZoomGeometry::dragTop(float y) const
{
    const float newTop = mTop - mDownY + y;
    if (newTop > 0.0f)
        return 0.0f;
    const float lowest = static_cast<float>(viewportInnerHeight() - mDisplayHeight);
    return newTop < lowest ? lowest : newTop;
}

void ZoomGeometry::moveDisplay(float newLeft, float newTop)
{
    mLeft = newLeft;
    mTop = newTop;
}

std::optional<qint16> ZoomGeometry::dragPercent(Axis axis) const
{
    return axis == Axis::Horizontal ? percentOf(mLeft, mDisplayWidth, mViewportWidth)
                                    : percentOf(mTop, mDisplayHeight, mViewportHeight);
}
