#include "render/pictures.h"

#include <QByteArray>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace render
{

namespace
{

constexpr std::size_t kFileHeaderSize = 14;   // BITMAPFILEHEADER
constexpr std::uint32_t kCoreHeaderSize = 12; // BITMAPCOREHEADER: three-byte palette entries
constexpr std::uint32_t kInfoHeaderSize = 40; // BITMAPINFOHEADER
constexpr std::uint32_t kBitFields = 3;       // BI_BITFIELDS: three colour masks follow an info header

std::uint32_t readLE(const std::vector<std::uint8_t>& bytes, std::size_t at, std::size_t size)
{
    std::uint32_t value = 0;
    for (std::size_t i = size; i > 0; --i)
        value = (value << 8) | bytes[at + i - 1];
    return value;
}

void appendLE(QByteArray& out, std::uint32_t value, int size)
{
    for (int i = 0; i < size; ++i)
        out.append(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// A file's worth of bitmap: the stored DIB after the file header Word leaves out, whose offset to the
// pixels counts the header and palette the DIB begins with.
QByteArray bitmapFile(const std::vector<std::uint8_t>& dib)
{
    if (dib.size() < kCoreHeaderSize)
        return {};
    const std::uint32_t headerSize = readLE(dib, 0, 4);
    if (headerSize < kCoreHeaderSize || headerSize > dib.size())
        return {};
    const bool core = headerSize == kCoreHeaderSize;
    if (!core && headerSize < kInfoHeaderSize)
        return {};
    const std::uint32_t bitCount = readLE(dib, core ? 10 : 14, 2);
    std::uint64_t colors = bitCount <= 8 ? (std::uint64_t{1} << bitCount) : 0;
    std::uint64_t paletteSize = 0;
    if (core) {
        paletteSize = colors * 3;
    } else {
        const std::uint32_t used = readLE(dib, 32, 4);
        if (used != 0)
            colors = used;
        paletteSize = colors * 4;
        if (headerSize == kInfoHeaderSize && readLE(dib, 16, 4) == kBitFields)
            paletteSize += 12;
    }
    const std::uint64_t pixels = kFileHeaderSize + headerSize + paletteSize;
    if (pixels > kFileHeaderSize + dib.size())
        return {};
    QByteArray file;
    file.reserve(static_cast<qsizetype>(kFileHeaderSize + dib.size()));
    file.append("BM");
    appendLE(file, static_cast<std::uint32_t>(kFileHeaderSize + dib.size()), 4);
    appendLE(file, 0, 4);
    appendLE(file, static_cast<std::uint32_t>(pixels), 4);
    file.append(reinterpret_cast<const char*>(dib.data()), static_cast<qsizetype>(dib.size()));
    return file;
}

// The part of the image a crop leaves, at least a pixel each way.
QImage cropped(const QImage& image, const doc::Crop& crop)
{
    if (image.isNull() || crop == doc::Crop{})
        return image;
    const auto pixels = [](double share, int whole) {
        return std::isfinite(share) ? static_cast<int>(std::lround(std::clamp(share, 0.0, 1.0) * whole)) : 0;
    };
    const int left = pixels(crop.left, image.width());
    const int top = pixels(crop.top, image.height());
    const int width = std::max(1, image.width() - left - pixels(crop.right, image.width()));
    const int height = std::max(1, image.height() - top - pixels(crop.bottom, image.height()));
    return image.copy(left, top, width, height);
}

QImage decoded(const doc::Picture& picture)
{
    using F = doc::Picture::Format;
    switch (picture.format) {
    case F::Png:
    case F::Jpeg:
    case F::Tiff:
        return QImage::fromData(
            QByteArrayView(picture.bytes.data(), static_cast<qsizetype>(picture.bytes.size())));
    case F::Dib:
        return QImage::fromData(bitmapFile(picture.bytes), "BMP");
    case F::Emf:
    case F::Wmf:
    case F::Pict:
    case F::Unknown:
        break;
    }
    return {};
}

} // namespace

QImage pictureImage(const doc::Picture& picture)
{
    return cropped(decoded(picture), picture.crop);
}

QString pictureName(doc::Picture::Format format)
{
    using F = doc::Picture::Format;
    switch (format) {
    case F::Png:
        return QStringLiteral("PNG picture");
    case F::Jpeg:
        return QStringLiteral("JPEG picture");
    case F::Dib:
        return QStringLiteral("BMP picture");
    case F::Emf:
        return QStringLiteral("EMF picture");
    case F::Wmf:
        return QStringLiteral("WMF picture");
    case F::Pict:
        return QStringLiteral("PICT picture");
    case F::Tiff:
        return QStringLiteral("TIFF picture");
    case F::Unknown:
        break;
    }
    return QStringLiteral("unreadable picture");
}

const QImage& PictureCache::image(std::size_t index)
{
    if (index >= mPictures.size())
        return mNone;
    if (mImages.size() < mPictures.size())
        mImages.resize(mPictures.size());
    std::optional<QImage>& image = mImages[index];
    if (!image)
        image = pictureImage(mPictures[index]);
    return *image;
}

} // namespace render
