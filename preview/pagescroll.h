#pragma once

#include "preview/zoomgeometry.h"

#include <QPoint>
#include <QtGlobal>

#include <optional>

// How far the wheel, a touchpad and the keys move the page. Each gives the scroll bar's new
// value; the bar's own change handling then moves the picture, so the bars always show
// where the page is. Lengths are in twips.
namespace PageScroll
{

// One line of the agreement's text on screen at zoom 1.
inline constexpr double kLineTwips = 240;
// A wheel notch (120 eighths of a degree) moves three lines, as desktops do.
inline constexpr int kLinesPerNotch = 3;
inline constexpr int kEighthsPerNotch = 120;

enum class Key { Up, Down, Left, Right, PageUp, PageDown, Home, End };

// What one bar knows: its value, its range and the twips one of its units moves.
struct BarState {
    qint16 value = 0;
    qint16 maximum = 0;
    qint16 step = 0; // 0: the picture does not scroll this way
};

struct Move {
    ZoomGeometry::Axis axis;
    qint16 value;
};

// The move for a key; nothing when the key does not scroll or the bar cannot move.
// viewport is the viewport's length along the key's axis.
std::optional<Move> forKey(Key key, const BarState& horizontal, const BarState& vertical, qint32 viewport,
                           float zoom);

// The move for a wheel or touchpad event: pixels (a touchpad's exact distance) when given,
// otherwise the wheel's angle. Vertical turns scroll vertically, sideways ones (or a
// vertical turn with Shift held) horizontally.
std::optional<Move> forWheel(QPoint angleEighths, QPoint pixels, bool sideways, const BarState& horizontal,
                             const BarState& vertical, float zoom);

} // namespace PageScroll
