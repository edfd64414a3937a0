#include "shell/windowplacement.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace WindowPlacement
{

namespace
{

// The margins the window manager has put around the window; null until it has framed it.
QMargins frameOf(const QWidget& window)
{
    const QRect inner = window.geometry();
    const QRect outer = window.frameGeometry();
    return QMargins(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
                    outer.bottom() - inner.bottom());
}

QRect availableFor(const QWidget& window)
{
    const QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

// The client area is set, not the frame's corner: Qt takes a shown window's move() as the client's
// position while it knows no frame, which left the title bar above the screen.
void placeWith(QWidget& window, QSize wanted, const QRect& available, const QMargins& frame)
{
    const QRect client = place(wanted, window.minimumSize(), available, frame);
    window.setGeometry(client);
}

// Waits for the window manager's frame and places the window again if that frame does not fit where
// the estimate did. Goes with the first frame it sees: by the window's first paint on the screen, or
// its activation, the frame has been put around it, though the window need not have moved.
class FrameWatch : public QObject
{
public:
    FrameWatch(QWidget& window, QSize wanted) : QObject(&window), mWindow(window), mWanted(wanted)
    {
        window.installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != &mWindow)
            return false;
        switch (event->type()) {
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Paint:
        case QEvent::WindowActivate:
            break;
        default:
            return false;
        }
        const QMargins frame = frameOf(mWindow);
        if (frame.isNull())
            return false;
        mWindow.removeEventFilter(this);
        deleteLater();
        const QRect available = availableFor(mWindow);
        if (!available.contains(mWindow.frameGeometry()))
            placeWith(mWindow, mWanted, available, frame);
        return false;
    }

private:
    QWidget& mWindow;
    QSize mWanted;
};

} // namespace

QRect place(QSize wanted, QSize minimum, const QRect& available, const QMargins& frame)
{
    const QSize room(available.width() - frame.left() - frame.right(),
                     available.height() - frame.top() - frame.bottom());
    const QSize size(std::max(minimum.width(), std::min(wanted.width(), room.width())),
                     std::max(minimum.height(), std::min(wanted.height(), room.height())));
    const QSize outer = size.grownBy(frame);
    QPoint corner = available.center() - QRect(QPoint(0, 0), outer).center();
    // A window larger than the area keeps its title bar and left edge reachable.
    corner.setX(std::max(available.left(), std::min(corner.x(), available.right() + 1 - outer.width())));
    corner.setY(std::max(available.top(), std::min(corner.y(), available.bottom() + 1 - outer.height())));
    return QRect(corner + QPoint(frame.left(), frame.top()), size);
}

void placeOnScreen(QWidget& window, QSize wanted)
{
    const QRect available = availableFor(window);
    if (available.isEmpty())
        return;
    const QMargins known = frameOf(window);
    if (!known.isNull()) {
        placeWith(window, wanted, available, known);
        return;
    }
    placeWith(window, wanted, available, kFrameEstimate);
    new FrameWatch(window, wanted);
}

} // namespace WindowPlacement
