#pragma once

#include "render/units.h"

#include <QtGlobal>

#include <optional>

// The preview's arithmetic, free of widgets: zoom, the display box's size and place in the
// viewport, the scroll bars' fitting, the drag's limits and the end-of-drag percentages.
// Every size and position is in twips (15 to a pixel at 96 dpi). The methods follow the
// numbered steps of the window's handlers, so the window can run each under its number.
//
// Three boxes take part: the viewport (Picture2, fixed, with a border), the display box
// (Picture1, borderless, moved inside the viewport's drawing area) and the zoom source
// holder (Zoom_Ori, borderless, holding the picture at its natural size).
class ZoomGeometry
{
public:
    static constexpr qint32 kPaintWidthLimit = render::kZoomPaintLimit.width;
    static constexpr qint32 kPaintHeightLimit = render::kZoomPaintLimit.height;
    static constexpr float kZoomMin = 0.25f;
    static constexpr float kZoomMax = 3.5f;
    static constexpr float kZoomStep = render::kZoomStep;
    // Up to this excess a bar unit is one twip, beyond it ten.
    static constexpr float kFineExcessLimit = 100.0f;
    static constexpr qint16 kFineStep = 1;
    static constexpr qint16 kCoarseStep = 10;

    enum class Axis { Horizontal, Vertical };

    struct Bar {
        qint16 maximum = 0;
        qint16 value = 0;
        bool enabled = true;
    };

    struct BarFit {
        qint16 maximum;
        qint16 step;
    };

    ZoomGeometry(qint32 viewportWidth, qint32 viewportHeight, qint32 viewportBorder);

    // A bar fitted to a display box of outer size `outer` in a viewport of outer size
    // `viewport`; nothing when the box is no larger (the bar is then disabled).
    static std::optional<BarFit> fitBar(qint32 outer, qint32 viewport);
    // The zoom one step up (zoomOut == 0) or down (any other value); not yet checked.
    static float steppedZoom(float zoom, qint32 zoomOut);
    static bool zoomAccepted(float zoom);
    // |left| as a whole percentage of the excess; nothing when box and viewport are equal.
    static std::optional<qint16> percentOf(float position, qint32 outer, qint32 viewport);
    // The bar value for a percentage of its range; nothing for a percentage outside 0..100.
    static std::optional<qint16> valueForPercent(qint16 percent, qint16 maximum);

    // --- the display box and the viewport
    float left() const { return mLeft; }
    float top() const { return mTop; }
    qint32 displayWidth() const { return mDisplayWidth; }
    qint32 displayHeight() const { return mDisplayHeight; }
    qint32 viewportWidth() const { return mViewportWidth; }
    qint32 viewportHeight() const { return mViewportHeight; }
    qint32 viewportInnerWidth() const { return mViewportWidth - 2 * mViewportBorder; }
    qint32 viewportInnerHeight() const { return mViewportHeight - 2 * mViewportBorder; }
    qint32 sourceWidth() const { return mSourceWidth; }
    qint32 sourceHeight() const { return mSourceHeight; }
    const Bar& bar(Axis axis) const { return axis == Axis::Horizontal ? mHBar : mVBar; }

    // The window has given the viewport a new outer size: the bars are fitted to it, and the display box
    // keeps its place as far as the new ranges allow, on the bars' grid.
    void resizeViewport(qint32 width, qint32 height);
    // A picture assigned to the auto-sized display box gives the box its size.
    void assignPicture(qint32 width, qint32 height);
    // The zoom source's tallest page: the paint limit's height is judged per page, so a picture of many
    // pages still paints. Zero (a picture without pages) judges the whole picture.
    void setSourcePageHeight(qint32 height) { mSourcePageHeight = height; }

    // --- picture set-up
    void copyDisplayWidthToSource();
    void copyDisplayHeightToSource();
    void measureOrigWidth();
    void measureOrigHeight();
    void zoomWidthAtOne();
    void zoomHeightAtOne();

    // --- RedrawImage
    void computeZoomWidth();
    void computeZoomHeight();
    bool fitsPaintLimit() const;
    void sizeDisplayWidthToZoom();
    void sizeDisplayHeightToZoom();
    void enableBarForZoom(Axis axis);
    void setupScrollbars();

    // --- scroll bars: a changed value runs the bar's change handling (the box follows)
    void setBarValue(Axis axis, qint16 value);
    void setBarByPercent(Axis axis, qint16 percent);

    // --- drag
    void pressAt(float x, float y);
    float dragLeft(float x) const;
    float dragTop(float y) const;
    void moveDisplay(float newLeft, float newTop);
    std::optional<qint16> dragPercent(Axis axis) const;

    // The window's state, under the names its handlers use.
    float mZoom = 1.0f;
    qint32 mOrigWidth = 0;
    qint32 mOrigHeight = 0;
    qint32 mZoomWidth = 0;
    qint32 mZoomHeight = 0;
    float mDownX = 0.0f;
    float mDownY = 0.0f;
    qint16 mHStep = 0;
    qint16 mVStep = 0;

private:
    Bar& barFor(Axis axis) { return axis == Axis::Horizontal ? mHBar : mVBar; }
    void barChanged(Axis axis);
    void fitAxis(Axis axis);
    void refitAxis(Axis axis);

    qint32 mViewportWidth;
    qint32 mViewportHeight;
    qint32 mViewportBorder;
    float mLeft = 0.0f;
    float mTop = 0.0f;
    qint32 mDisplayWidth = 0;
    qint32 mDisplayHeight = 0;
    qint32 mSourceWidth = 0;
    qint32 mSourceHeight = 0;
    qint32 mSourcePageHeight = 0;
    Bar mHBar;
    Bar mVBar;
};
