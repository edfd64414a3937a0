#pragma once

#include <QPicture>
#include <QPixmap>
#include <QRectF>
#include <QWidget>

// A borderless picture box. It shows either the picture assigned to it, as it is, or
// what was last painted into it (a picture stretched from a source rectangle onto a
// destination rectangle), which it keeps and repaints itself. Pictures are vector
// QPictures, replayed once into a rendering at the device pixel ratio of the surface
// being painted; so they stay sharp at any zoom and ratio, and moving the box or
// uncovering part of it copies pixels instead of laying the text out again.
class PictureBox : public QWidget
{
public:
    explicit PictureBox(QWidget* parent = nullptr);

    // The natural size of a picture in pixels: its extent from the box's origin.
    static QSize naturalSize(const QPicture& picture);

    // Assigning replaces what the box showed; with auto-size on the box takes the
    // picture's natural size.
    void setPicture(const QPicture& picture);
    const QPicture& picture() const { return mPicture; }
    void removePicture();

    void setAutoSize(bool on);
    bool autoSize() const { return mAutoSize; }

    // Paints source's sourceRect stretched onto destRect (both in pixels) and keeps it.
    void paintPicture(const QPicture& source, const QRectF& sourceRect, const QRectF& destRect);

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void paintContent(QPainter& painter) const;
    void dropRendering();

    QPicture mPicture;
    bool mAutoSize = false;

    QPicture mPainted;
    QRectF mPaintedSource;
    QRectF mPaintedDest;

    // What the box shows, over its background, at the ratio it was made for.
    QPixmap mRendering;
};
