#include "preview/picturebox.h"

#include <QEvent>
#include <QPaintEngine>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace
{

// Device pixels one page's rendering may hold (32 MB); a larger page is replayed at each paint.
constexpr qint64 kMaxRenderingPixels = 8 * 1024 * 1024;

// QWidget::render() into an image redirects the widget's painter to that image, whose
// ratio may differ from the screen's; the engine knows the surface really painted.
qreal targetRatio(const QPainter& painter)
{
    const QPaintEngine* engine = painter.paintEngine();
    return engine && engine->paintDevice() ? engine->paintDevice()->devicePixelRatio()
                                           : painter.device()->devicePixelRatio();
}

void setHints(QPainter& painter)
{
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing |
                           QPainter::SmoothPixmapTransform);
}

} // namespace

PictureBox::PictureBox(QWidget* parent) : QWidget(parent)
{
    setAutoFillBackground(true);
}

QSize PictureBox::naturalSize(const render::PagePicture& picture)
{
    return picture.isNull() ? QSize(0, 0) : picture.boundingRect().size();
}

void PictureBox::setPicture(const render::PagePicture& picture)
{
    mPicture = picture;
    mPainted = render::PagePicture();
    dropRendering();
    if (mAutoSize)
        resize(naturalSize(mPicture));
    update();
}

void PictureBox::removePicture()
{
    mPicture = render::PagePicture();
    dropRendering();
    update();
}

void PictureBox::setAutoSize(bool on)
{
    mAutoSize = on;
    if (mAutoSize && !mPicture.isNull())
        resize(naturalSize(mPicture));
}

void PictureBox::paintPicture(const render::PagePicture& source, const QRectF& sourceRect,
                              const QRectF& destRect)
{
    mPainted = source;
    mPaintedSource = sourceRect;
    mPaintedDest = destRect;
    dropRendering();
    update();
}

const render::PagePicture& PictureBox::shown() const
{
    return !mPainted.isNull() && !mPaintedSource.isEmpty() ? mPainted : mPicture;
}

QRectF PictureBox::sourceRect() const
{
    return &shown() == &mPainted ? mPaintedSource : QRectF(mPicture.boundingRect());
}

QRectF PictureBox::destRect() const
{
    return &shown() == &mPainted ? mPaintedDest : QRectF(mPicture.boundingRect());
}

int PictureBox::pageAtRow(double y) const
{
    const QRectF source = sourceRect();
    const QRectF dest = destRect();
    if (dest.height() <= 0)
        return 0;
    const double row = source.top() + (y - dest.top()) * source.height() / dest.height();
    return shown().pageAt(static_cast<int>(std::floor(row)));
}

void PictureBox::dropRendering()
{
    mRenderings.clear();
    mPaintedSinceChange = false;
}

void PictureBox::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        dropRendering();
}

void PictureBox::paintEvent(QPaintEvent* event)
{
    const render::PagePicture& picture = shown();
    if (picture.isNull())
        return;
    QPainter painter(this);
    const qreal ratio = targetRatio(painter);
    if (ratio != mRenderingRatio) {
        dropRendering();
        mRenderingRatio = ratio;
    }
    const QRectF source = sourceRect();
    const QRectF dest = destRect();
    if (source.isEmpty() || dest.isEmpty())
        return;
    const double sx = dest.width() / source.width();
    const double sy = dest.height() / source.height();
    // The exposed part of the box, in the picture's coordinates.
    const QRectF exposed = QRectF(event->rect()).intersected(dest);
    const QRectF area((exposed.left() - dest.left()) / sx + source.left(),
                      (exposed.top() - dest.top()) / sy + source.top(), exposed.width() / sx,
                      exposed.height() / sy);

    painter.setClipRect(dest);
    painter.translate(dest.topLeft());
    painter.scale(sx, sy);
    painter.translate(-source.topLeft());
    setHints(painter);
    // The first paint after a change replays what it shows straight into the window;
    // renderings are made only once the page moves, and then only of the pages in view.
    if (!mPaintedSinceChange) {
        picture.paint(painter, area);
        mPaintedSinceChange = true;
        return;
    }
    if (picture.hasGround())
        painter.fillRect(area & QRectF(picture.boundingRect()), render::kPageGround);

    std::vector<int> inView;
    const std::vector<render::PagePicture::Page>& pages = picture.pages();
    for (int i = 0; i < picture.pageCount(); ++i) {
        const render::PagePicture::Page& page = pages[static_cast<std::size_t>(i)];
        if (!render::PagePicture::touches(page, area))
            continue;
        inView.push_back(i);
        picture.paintFrame(painter, page);
        const QSize devicePixels(static_cast<int>(std::ceil(page.rect.width() * sx * ratio)),
                                 static_cast<int>(std::ceil(page.rect.height() * sy * ratio)));
        if (devicePixels.isEmpty())
            continue;
        if (qint64(devicePixels.width()) * devicePixels.height() > kMaxRenderingPixels) {
            picture.drawPage(painter, i, page.rect.topLeft());
            continue;
        }
        auto found = mRenderings.find(i);
        if (found == mRenderings.end()) {
            QPixmap rendering(devicePixels);
            rendering.setDevicePixelRatio(ratio);
            rendering.fill(Qt::white);
            QPainter into(&rendering);
            setHints(into);
            into.scale(sx, sy);
            picture.drawPage(into, i, QPointF());
            into.end();
            found = mRenderings.emplace(i, std::move(rendering)).first;
        }
        // On whole device pixels, unscaled: the rendering is already at the zoom and ratio.
        const QPointF at = dest.topLeft() + QPointF((page.rect.left() - source.left()) * sx,
                                                    (page.rect.top() - source.top()) * sy);
        painter.save();
        painter.resetTransform();
        painter.drawPixmap(QPointF(std::round(at.x() * ratio), std::round(at.y() * ratio)) / ratio,
                           found->second);
        painter.restore();
    }
    mPaintedSinceChange = true;
    for (auto it = mRenderings.begin(); it != mRenderings.end();)
        it = std::find(inView.begin(), inView.end(), it->first) == inView.end() ? mRenderings.erase(it)
                                                                                : std::next(it);
}
