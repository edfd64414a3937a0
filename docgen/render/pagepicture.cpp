#include "render/pagepicture.h"
#include "doc/fileio.h"
#include "render/pagelayout.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QMimeData>
#include <QPainter>

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

QPicture imagePicture(QImage image)
{
    image.setDevicePixelRatio(1);
    QPicture picture;
    picture.setBoundingRect(QRect(QPoint(0, 0), image.size()));
    QPainter painter(&picture);
    painter.drawImage(QPoint(0, 0), image);
    painter.end();
    return picture;
}

} // namespace

QPicture renderPage(const doc::ReadModel& model)
{
    const PageLayout layout = layoutPage(model);
    const PictureFit fit = fitPicture(layout);
    QPicture picture;
    QPainter painter(&picture);
    // The painter scales, not the layout: the lines break where they break on paper.
    painter.scale(fit.scale, fit.scale);
    paintPage(painter, layout);
    // Set before end(): the recorded header carries the bounding rect into the picture's data.
    picture.setBoundingRect(QRect(0, 0, fit.widthPx, fit.heightPx));
    painter.end();
    return picture;
}

QImage pictureToImage(const QPicture& picture)
{
    const QRect bounds = picture.boundingRect();
    QImage image(bounds.size(), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.drawPicture(-bounds.topLeft(), picture);
    painter.end();
    return image;
}

std::unique_ptr<QMimeData> pictureToMimeData(const QPicture& picture)
{
    auto mime = std::make_unique<QMimeData>();
    mime->setData(QString::fromLatin1(kPictureMimeType),
                  QByteArray(picture.data(), static_cast<qsizetype>(picture.size())));
    // The image is handed over as it is: the platform clipboard encodes it (image/png and
    // the rest) only when another program asks, so copying costs no encoding time.
    mime->setImageData(pictureToImage(picture));
    return mime;
}

std::optional<QPicture> pictureFromMimeData(const QMimeData* data)
{
    if (!data)
        return std::nullopt;
    const QString ours = QString::fromLatin1(kPictureMimeType);
    if (data->hasFormat(ours)) {
        if (std::optional<QPicture> picture = readPicture(data->data(ours)))
            return picture;
    }
    QImage image;
    if (data->hasImage())
        image = qvariant_cast<QImage>(data->imageData());
    for (const QString& format : data->formats()) {
        if (!image.isNull())
            break;
        if (format.startsWith(QLatin1String("image/")))
            image.loadFromData(data->data(format));
    }
    if (image.isNull())
        return std::nullopt;
    return imagePicture(image);
}

void savePictureFile(const QPicture& picture, const QString& path)
{
    if (picture.isNull() || picture.boundingRect().isEmpty())
        throw failure(
            QStringLiteral("There is no picture to save to \"%1\".").arg(QDir::toNativeSeparators(path)));
    // A working file: for the user's eyes only.
    doc::fileio::replaceFile(std::filesystem::path(path.toStdU16String()),
                             std::span(reinterpret_cast<const std::uint8_t*>(picture.data()), picture.size()),
                             doc::fileio::Access::OwnerOnly, doc::fileio::Flush::Skip);
}

} // namespace render
