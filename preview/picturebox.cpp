#include "preview/picturebox.h"

#include <QEvent>
#include <QPaintEngine>
#include <QPainter>

namespace
{

// Device pixels a rendering may hold (32 MB). The zoomed page stays below 12100 x 15700
// twips, about 807 x 1047 pixels, which fits up to a device pixel ratio of about 3;
// anything larger (an oversized picture at its natural size) is replayed at each paint.
constexpr qint64 kMaxRenderingPixels = 8 * 1024 * 1024;

// QWidget::render() into an image redirects the widget's painter to that image, whose
// ratio may differ from the screen's; the engine knows the surface really painted.
qreal targetRatio(const QPainter& painter)
{
    const QPaintEngine* engine = painter.paintEngine();
    return engine && engine->paintDevice() ? engine->paintDevice()->devicePixelRatio()
                                           : painter.device()->devicePixelRatio();
}

} // namespace

PictureBox::PictureBox(QWidget* parent) : QWidget(parent)
{
    setAutoFillBackground(true);
}

QSize PictureBox::naturalSize(const QPicture& picture)
{
    const QRect bounds = picture.boundingRect();
    if (picture.isNull() || bounds.isEmpty())
        return QSize(0, 0);
    return QSize(qMax(0, bounds.x() + bounds.width()), qMax(0, bounds.y() + bounds.height()));
}

void PictureBox::setPicture(const QPicture& picture)
{
    mPicture = picture;
    mPainted = QPicture();
    dropRendering();
    if (mAutoSize)
        resize(naturalSize(mPicture));
    update();
}

void PictureBox::removePicture()
{
    mPicture = QPicture();
    dropRendering();
    update();
}

void PictureBox::setAutoSize(bool on)
{
    mAutoSize = on;
    if (mAutoSize && !mPicture.isNull())
        resize(naturalSize(mPicture));
}

void PictureBox::paintPicture(const QPicture& source, const QRectF& sourceRect, const QRectF& destRect)
{
    mPainted = source;
    mPaintedSource = sourceRect;
    mPaintedDest = destRect;
    dropRendering();
    update();
}

void PictureBox::dropRendering()
{
    mRendering = QPixmap();
}

void PictureBox::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        dropRendering();
}

void PictureBox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const qreal ratio = targetRatio(painter);
    const QSize devicePixels = (QSizeF(size()) * ratio).toSize();
    if (devicePixels.isEmpty())
        return;
    if (qint64(devicePixels.width()) * devicePixels.height() > kMaxRenderingPixels) {
        dropRendering();
        paintContent(painter);
        return;
    }
    if (mRendering.size() != devicePixels || mRendering.devicePixelRatio() != ratio) {
        mRendering = QPixmap(devicePixels);
        mRendering.setDevicePixelRatio(ratio);
        mRendering.fill(palette().color(backgroundRole()));
        QPainter rendering(&mRendering);
        paintContent(rendering);
    }
    // The paint event's region clips this to the part uncovered or invalidated.
    painter.drawPixmap(0, 0, mRendering);
}

void PictureBox::paintContent(QPainter& painter) const
{
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing |
                           QPainter::SmoothPixmapTransform);
    if (!mPicture.isNull())
        painter.drawPicture(0, 0, mPicture);
    if (!mPainted.isNull() && !mPaintedSource.isEmpty()) {
        painter.save();
        painter.setClipRect(mPaintedDest);
        painter.translate(mPaintedDest.topLeft());
        painter.scale(mPaintedDest.width() / mPaintedSource.width(),
                      mPaintedDest.height() / mPaintedSource.height());
        painter.translate(-mPaintedSource.topLeft());
        painter.drawPicture(0, 0, mPainted);
        painter.restore();
    }
}
