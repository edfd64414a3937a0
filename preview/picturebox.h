#pragma once

#include "render/pagepicture.h"

#include <QPixmap>
#include <QRectF>
#include <QWidget>

#include <map>

// A borderless picture box. It shows either the picture assigned to it, as it is, or
// what was last painted into it (a picture stretched from a source rectangle onto a
// destination rectangle), which it keeps and repaints itself. Pictures are vector pages:
// the first paint replays them straight into the window; once the page moves, the pages
// in view (and only those) are replayed into renderings at the device pixel ratio of the
// surface being painted, so they stay sharp at any zoom and ratio, and scrolling copies
// their pixels instead of replaying any text again.
class PictureBox : public QWidget
{
    Q_OBJECT

public:
    explicit PictureBox(QWidget* parent = nullptr);

    // The natural size of a picture in pixels: its extent from the box's origin.
    static QSize naturalSize(const render::PagePicture& picture);

    // Assigning replaces what the box showed; with auto-size on the box takes the
    // picture's natural size.
    void setPicture(const render::PagePicture& picture);
    const render::PagePicture& picture() const { return mPicture; }
    void removePicture();

    void setAutoSize(bool on);
    bool autoSize() const { return mAutoSize; }

    // Paints source's sourceRect stretched onto destRect (both in pixels) and keeps it.
    void paintPicture(const render::PagePicture& source, const QRectF& sourceRect, const QRectF& destRect);

    // What the box shows (the painted picture, else the assigned one) and where its pages are.
    const render::PagePicture& shown() const;
    // The page shown at row y of the box.
    int pageAtRow(double y) const;
    // What a screen reader reads for the picture.
    void setReadableText(const QString& text) { mReadableText = text; }
    const QString& readableText() const { return mReadableText; }
    // How many pages the box holds renderings of.
    int renderedPages() const { return static_cast<int>(mRenderings.size()); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // Where the box shows the shown picture: picture pixels to box pixels.
    QRectF sourceRect() const;
    QRectF destRect() const;
    void dropRendering();

    render::PagePicture mPicture;
    bool mAutoSize = false;
    QString mReadableText;

    render::PagePicture mPainted;
    QRectF mPaintedSource;
    QRectF mPaintedDest;

    // Renderings of pages that came into view, by page, at the ratio they were made for.
    std::map<int, QPixmap> mRenderings;
    qreal mRenderingRatio = 0;
    bool mPaintedSinceChange = false;
};
