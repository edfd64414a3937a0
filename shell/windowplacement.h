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

// The frame a window manager puts around a window that has not been shown yet.
inline constexpr QMargins kFrameEstimate{8, 32, 8, 8};

// The client area's rectangle on the screen.
QRect place(QSize wanted, QSize minimum, const QRect& available, const QMargins& frame);

// Places a top-level window on its screen (or the primary one); a window of fixed size keeps its size.
void placeOnScreen(QWidget& window, QSize wanted);

} // namespace WindowPlacement
