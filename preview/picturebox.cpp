#include "picturebox.h"

#include <QPainter>

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
    if (mAutoSize)
        resize(naturalSize(mPicture));
    update();
}

void PictureBox::removePicture()
{
    mPicture = QPicture();
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
    update();
}

void PictureBox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
    if (!mPicture.isNull())
        painter.drawPicture(0, 0, mPicture);
    if (!mPainted.isNull() && !mPaintedSource.isEmpty()) {
        painter.save();
        painter.setClipRect(mPaintedDest);
        painter.translate(mPaintedDest.topLeft());
        painter.scale(mPaintedDest.width() / mPaintedSource.width(), mPaintedDest.height() / mPaintedSource.height());
        painter.translate(-mPaintedSource.topLeft());
        painter.drawPicture(0, 0, mPainted);
        painter.restore();
    }
}
