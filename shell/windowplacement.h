#pragma once

#include <QMargins>
#include <QRect>
#include <QSize>

class QWidget;

// Where a window opens: at the size it asks for, shrunk to the screen's available area when that is
// smaller (never below its minimum), centred there, and moved so that its frame, title bar included,
// lies wholly inside the area wherever it can.
namespace WindowPlacement
{

// The frame a window manager puts around a window that has not been shown yet: a title bar of a
// typical height at a device pixel ratio of 1 or 2, so that a real frame is rarely larger.
inline constexpr QMargins kFrameEstimate{8, 32, 8, 8};

// The client area's rectangle on the screen.
QRect place(QSize wanted, QSize minimum, const QRect& available, const QMargins& frame);

// Places a top-level window on its screen (or the primary one); a window of fixed size keeps its size.
// Until the window manager has framed the window its frame is taken to be kFrameEstimate; once the real
// frame is known, a window it pushes past the area is placed again with it.
void placeOnScreen(QWidget& window, QSize wanted);

} // namespace WindowPlacement
