#include "shell/cursorfile.h"

#include "shell/errorreport.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QPixmap>

namespace CursorFile
{

namespace
{

// ICONDIR (6 bytes) followed by the first ICONDIRENTRY (16 bytes).
constexpr qsizetype kIconDirSize = 6;
constexpr qsizetype kEntrySize = 16;
constexpr qsizetype kTypeOffset = 2;
constexpr qsizetype kCountOffset = 4;
constexpr qsizetype kHotSpotXOffset = kIconDirSize + 4;
constexpr qsizetype kHotSpotYOffset = kIconDirSize + 6;
constexpr quint16 kCursorType = 2;

quint16 word(const QByteArray& data, qsizetype offset)
{
    const auto low = static_cast<quint8>(data[offset]);
    const auto high = static_cast<quint8>(data[offset + 1]);
    return static_cast<quint16>(low | high << 8);
}

} // namespace

std::optional<QPoint> hotSpot(const QByteArray& data)
{
    if (data.size() < kIconDirSize + kEntrySize || word(data, 0) != 0 ||
        word(data, kTypeOffset) != kCursorType || word(data, kCountOffset) == 0)
        return std::nullopt;
    return QPoint(word(data, kHotSpotXOffset), word(data, kHotSpotYOffset));
}

std::optional<QCursor> read(const QByteArray& data)
{
    QByteArray copy = data;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "ico");
    const QImage image = reader.read();
    if (image.isNull())
        return std::nullopt;
    const QPoint spot = hotSpot(data).value_or(QPoint(-1, -1));
    const bool inside = QRect(QPoint(0, 0), image.size()).contains(spot);
    return QCursor(QPixmap::fromImage(image), inside ? spot.x() : -1, inside ? spot.y() : -1);
}

QCursor load(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw StepFailure(file.errorString());
    const std::optional<QCursor> cursor = read(file.readAll());
    if (!cursor)
        throw StepFailure(QStringLiteral("Invalid picture"));
    return *cursor;
}

std::optional<QCursor> load(const QString& path, std::nothrow_t)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? read(file.readAll()) : std::nullopt;
}

} // namespace CursorFile
