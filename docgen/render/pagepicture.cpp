#include "render/pagepicture.h"
#include "doc/fileio.h"
#include "render/pagelayout.h"

#include <QBuffer>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QMimeData>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <span>
#include <stdexcept>

namespace render
{

namespace
{

std::runtime_error failure(const QString& text)
{
    return std::runtime_error(text.toStdString());
}

std::optional<QPicture> readPicture(const QByteArray& bytes)
{
    // Only data that starts like a picture goes to QPicture, which warns about anything else.
    if (!bytes.startsWith("QPIC"))
        return std::nullopt;
    QBuffer buffer;
    buffer.setData(bytes);
    if (!buffer.open(QIODevice::ReadOnly))
        return std::nullopt;
    QPicture picture;
    if (!picture.load(&buffer) || picture.boundingRect().isEmpty())
        return std::nullopt;
    return picture;
}

constexpr quint32 kDataMagic = 0x42575050; // "BWPP"
constexpr quint8 kDataVersion = 4;
// How the pages' content follows the page rects in the data.
enum class Content : quint8 { Pictures = 0, Layout = 1 };
constexpr double kMaxDataScale = 16;
constexpr QColor kPageShadow{0x50, 0x50, 0x50};

} // namespace

PagePicture::PagePicture(const QPicture& single)
{
    const QRect bounds = single.boundingRect();
    if (single.isNull() || bounds.isEmpty())
        return;
    mSize = QSize(qMax(0, bounds.x() + bounds.width()), qMax(0, bounds.y() + bounds.height()));
    mPages.push_back({single, QRect(QPoint(0, 0), mSize)});
}

PagePicture::PagePicture(QSize size, const std::vector<QRect>& pageRects,
                         std::shared_ptr<const PageLayout> layout, double scale)
    : mSize(size), mGround(true), mLayout(std::move(layout)), mScale(scale)
{
    for (const QRect& rect : pageRects)
        mPages.push_back({QPicture(), rect});
}

int PagePicture::tallestPage() const
{
    int tallest = 0;
    for (const Page& page : mPages)
        tallest = qMax(tallest, page.rect.height());
    return tallest;
}

int PagePicture::pageAt(int y) const
{
    int nearest = 0;
    for (int i = 0; i < pageCount(); ++i) {
        // The gap above a page belongs to it.
        if (mPages[static_cast<std::size_t>(i)].rect.top() <= y)
            nearest = i;
    }
    return nearest;
}

void PagePicture::paintFrame(QPainter& painter, const Page& page) const
{
    if (!mGround)
        return;
    painter.fillRect(QRectF(page.rect).translated(kPageShadowPx, kPageShadowPx), kPageShadow);
    painter.fillRect(QRectF(page.rect).adjusted(-1, -1, 1, 1), kPageEdge);
}

bool PagePicture::touches(const Page& page, const QRectF& area)
{
    return QRectF(page.rect).adjusted(-1, -1, kPageShadowPx, kPageShadowPx).intersects(area);
}

void PagePicture::paint(QPainter& painter, const QRectF& area) const
{
    if (mGround)
        painter.fillRect(area & QRectF(boundingRect()), kPageGround);
    for (const Page& page : mPages) {
        if (!touches(page, area))
            continue;
        paintFrame(painter, page);
        drawPage(painter, static_cast<int>(&page - mPages.data()), page.rect.topLeft());
    }
}

void PagePicture::drawPage(QPainter& painter, int index, QPointF at) const
{
    if (!mLayout) {
        painter.drawPicture(at, mPages[static_cast<std::size_t>(index)].picture);
        return;
    }
    painter.save();
    painter.translate(at);
    // The painter scales, not the layout: the lines break where they break on paper.
    painter.scale(mScale, mScale);
    paintPage(painter, *mLayout, index);
    painter.restore();
}

QImage PagePicture::pageImage(int index, int dpi) const
{
    const double scale = mLayout ? double(dpi) / kPixelsPerInch : 1;
    const QSize size = mLayout ? mLayout->size(index) : mPages[static_cast<std::size_t>(index)].rect.size();
    QImage image((QSizeF(size) * scale).toSize(), QImage::Format_RGB32);
    image.fill(Qt::white);
    if (mLayout) {
        constexpr double kInchesPerMeter = 1 / 0.0254;
        image.setDotsPerMeterX(static_cast<int>(std::lround(dpi * kInchesPerMeter)));
        image.setDotsPerMeterY(image.dotsPerMeterX());
    }
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    if (mLayout) {
        painter.scale(scale, scale);
        paintPage(painter, *mLayout, index);
    } else {
        drawPage(painter, index, QPointF(0, 0));
    }
    painter.end();
    return image;
}

QString PagePicture::pageText(int index) const
{
    return mLayout ? render::pageText(*mLayout, index) : QString();
}

QByteArray PagePicture::toData() const
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << kDataMagic << kDataVersion << mSize << mGround << static_cast<quint32>(mPages.size());
    for (const Page& page : mPages)
        out << page.rect;
    if (mLayout) {
        out << Content::Layout << mScale;
        writePaintedLayout(out, *mLayout);
    } else {
        out << Content::Pictures;
        for (const Page& page : mPages)
            out << QByteArray(page.picture.data(), static_cast<qsizetype>(page.picture.size()));
    }
    return bytes;
}

std::optional<PagePicture> PagePicture::fromData(const QByteArray& data)
{
    QDataStream in(data);
    quint32 magic = 0;
    quint8 version = 0;
    PagePicture result;
    quint32 count = 0;
    in >> magic >> version >> result.mSize >> result.mGround >> count;
    if (in.status() != QDataStream::Ok || magic != kDataMagic || version != kDataVersion ||
        result.mSize.isEmpty() || count == 0 || count > kMaxDataPages)
        return std::nullopt;
    const QRect bounds = result.boundingRect();
    for (quint32 i = 0; i < count; ++i) {
        QRect rect;
        in >> rect;
        if (in.status() != QDataStream::Ok || rect.isEmpty() || !bounds.contains(rect))
            return std::nullopt;
        result.mPages.push_back({QPicture(), rect});
    }
    Content content{};
    in >> content;
    if (content == Content::Layout) {
        in >> result.mScale;
        std::optional<PageLayout> layout = readPaintedLayout(in);
        if (!layout || layout->pageCount != result.pageCount() || !(result.mScale > 0) ||
            result.mScale > kMaxDataScale)
            return std::nullopt;
        result.mLayout = std::make_shared<const PageLayout>(std::move(*layout));
        return result;
    }
    if (content != Content::Pictures)
        return std::nullopt;
    for (Page& page : result.mPages) {
        QByteArray bytes;
        in >> bytes;
        std::optional<QPicture> picture = in.status() == QDataStream::Ok ? readPicture(bytes) : std::nullopt;
        if (!picture)
            return std::nullopt;
        page.picture = std::move(*picture);
    }
    return result;
}

PagePicture renderPage(const doc::ReadModel& model)
{
    auto layout = std::make_shared<const PageLayout>(layoutDocument(model));
    const PictureFit fit = fitPicture(*layout);
    std::vector<QRect> rects;
    rects.reserve(fit.pages.size());
    for (const PixelRect& r : fit.pages)
        rects.emplace_back(r.x, r.y, r.width, r.height);
    return PagePicture(QSize(fit.widthPx, fit.heightPx), rects, std::move(layout), fit.scale);
}

QImage pictureToImage(const PagePicture& picture)
{
    const QRect bounds = picture.boundingRect();
    QImage image(bounds.size(), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    picture.paint(painter, bounds);
    painter.end();
    return image;
}

namespace
{

// What QMimeData::imageData() asks for; the platform clipboard offers it as PNG, BMP and the rest.
QString imageFormat()
{
    return QStringLiteral("application/x-qt-image");
}

// The clipboard's copy of a page picture. Its image and its data in our own format are made
// only when a program asks for them: a copy costs no rendering, and no full-page image is
// kept beside the picture. Read back within this program, the picture itself is taken.
class PictureMimeData : public QMimeData
{
public:
    explicit PictureMimeData(PagePicture picture) : mPicture(std::move(picture)) {}
    const PagePicture& picture() const { return mPicture; }

    QStringList formats() const override { return {QString::fromLatin1(kPictureMimeType), imageFormat()}; }
    bool hasFormat(const QString& mimeType) const override { return formats().contains(mimeType); }

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override
    {
        if (mimeType == QLatin1String(kPictureMimeType))
            return mPicture.toData();
        if (mimeType == imageFormat())
            return pictureToImage(mPicture);
        return QMimeData::retrieveData(mimeType, type);
    }

private:
    PagePicture mPicture;
};

// The clipboard's copy of one page: its text at once, its image made when a program asks for it.
class PageMimeData : public QMimeData
{
public:
    PageMimeData(PagePicture picture, int index) : mPicture(std::move(picture)), mIndex(index)
    {
        if (const QString text = mPicture.pageText(mIndex); !text.isEmpty())
            setText(text);
    }

    QStringList formats() const override { return QMimeData::formats() << imageFormat(); }
    bool hasFormat(const QString& mimeType) const override { return formats().contains(mimeType); }

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override
    {
        if (mimeType == imageFormat())
            return mPicture.pageImage(mIndex, kCopyDpi);
        return QMimeData::retrieveData(mimeType, type);
    }

private:
    PagePicture mPicture;
    int mIndex;
};

} // namespace

std::unique_ptr<QMimeData> pictureToMimeData(const PagePicture& picture)
{
    return std::make_unique<PictureMimeData>(picture);
}

std::unique_ptr<QMimeData> pageToMimeData(const PagePicture& picture, int index)
{
    Q_ASSERT(!picture.isNull());
    return std::make_unique<PageMimeData>(picture, std::clamp(index, 0, picture.pageCount() - 1));
}

void savePictureFile(const PagePicture& picture, const QString& path)
{
    if (picture.isNull() || picture.boundingRect().isEmpty())
        throw failure(
            QStringLiteral("There is no picture to save to \"%1\".").arg(QDir::toNativeSeparators(path)));
    // A working file: for the user's eyes only.
    const QByteArray bytes = picture.toData();
    doc::fileio::replaceFile(std::filesystem::path(path.toStdU16String()),
                             std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                       static_cast<std::size_t>(bytes.size())),
                             doc::fileio::Access::OwnerOnly, doc::fileio::Flush::Skip);
}

} // namespace render
