#include "preview/pagescroll.h"

#include "render/units.h"

#include <algorithm>
#include <cmath>

namespace PageScroll
{

namespace
{

using Axis = ZoomGeometry::Axis;

// The bar value after moving the picture by twips (positive: further right or down),
// at least one unit, within the bar's range.
std::optional<Move> moveBy(Axis axis, const BarState& bar, double twips)
{
    if (bar.step <= 0 || twips == 0.0)
        return std::nullopt;
    double units = std::round(twips / bar.step);
    if (units == 0.0)
        units = twips > 0 ? 1.0 : -1.0;
    const double target = std::clamp(bar.value + units, 0.0, double(bar.maximum));
    if (target == bar.value)
        return std::nullopt;
    return Move{axis, static_cast<qint16>(target)};
}

std::optional<Move> moveTo(Axis axis, const BarState& bar, qint16 value)
{
    if (bar.step <= 0 || value == bar.value)
        return std::nullopt;
    return Move{axis, value};
}

} // namespace

std::optional<Move> forKey(Key key, const BarState& horizontal, const BarState& vertical, qint32 viewport,
                           float zoom)
{
    const double line = kLineTwips * zoom;
    const double page = std::max(line, viewport - line);
    switch (key) {
    case Key::Up:
        return moveBy(Axis::Vertical, vertical, -line);
    case Key::Down:
        return moveBy(Axis::Vertical, vertical, line);
    case Key::Left:
        return moveBy(Axis::Horizontal, horizontal, -line);
    case Key::Right:
        return moveBy(Axis::Horizontal, horizontal, line);
    case Key::PageUp:
        return moveBy(Axis::Vertical, vertical, -page);
    case Key::PageDown:
        return moveBy(Axis::Vertical, vertical, page);
    case Key::Home:
        return moveTo(Axis::Vertical, vertical, 0);
    case Key::End:
        return moveTo(Axis::Vertical, vertical, vertical.maximum);
    }
    return std::nullopt;
}

std::optional<Move> forWheel(QPoint angleEighths, QPoint pixels, bool sideways, const BarState& horizontal,
                             const BarState& vertical, float zoom)
{
    const double perEighth = kLinesPerNotch * kLineTwips * zoom / kEighthsPerNotch;
    // Turning the wheel away from the user shows what is above: the picture moves down.
    const QPoint distance = pixels.isNull() ? angleEighths : pixels;
    const double scale = pixels.isNull() ? perEighth : double(render::kTwipsPerPixel);
    double across = -distance.x() * scale;
    double down = -distance.y() * scale;
    if (sideways && across == 0.0)
        std::swap(across, down);
    if (std::abs(down) >= std::abs(across))
        return moveBy(Axis::Vertical, vertical, down);
    return moveBy(Axis::Horizontal, horizontal, across);
}

} // namespace PageScroll
