#include "support/cursorfiles.h"

#include <QBuffer>
#include <QImage>
#include <QImageWriter>

namespace TestFiles
{

QByteArray cursorFile(QPoint hotSpot, quint16 type)
{
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    image.setPixel(hotSpot.x() % 32, hotSpot.y() % 32, qRgba(0, 0, 0, 255));
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    if (!QImageWriter(&buffer, "ico").write(image))
        return QByteArray();
    const auto put = [&data](int offset, quint16 value) {
        data[offset] = static_cast<char>(value & 0xFF);
        data[offset + 1] = static_cast<char>(value >> 8);
    };
    put(2, type);
    if (type == 2) {
        put(10, static_cast<quint16>(hotSpot.x()));
        put(12, static_cast<quint16>(hotSpot.y()));
    }
    return data;
}

} // namespace TestFiles
