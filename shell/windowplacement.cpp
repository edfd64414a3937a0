#include "shell/windowplacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace WindowPlacement
{

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
    const QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QMargins known(window.geometry().left() - window.frameGeometry().left(),
                         window.geometry().top() - window.frameGeometry().top(),
                         window.frameGeometry().right() - window.geometry().right(),
                         window.frameGeometry().bottom() - window.geometry().bottom());
    const QMargins frame = known.isNull() ? kFrameEstimate : known;
    const QRect client = place(wanted, window.minimumSize(), screen->availableGeometry(), frame);
    if (window.minimumSize() != window.maximumSize())
        window.resize(client.size());
    // move() places the frame, whose corner lies the frame's margins above and left of the client area.
    window.move(client.topLeft() - QPoint(frame.left(), frame.top()));
}

} // namespace WindowPlacement
