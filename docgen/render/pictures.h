#pragma once

#include "doc/readmodel.h"

#include <QImage>
#include <QString>

#include <optional>
#include <span>
#include <vector>

// A document's pictures as images the page paints.
namespace render
{

// The picture as Qt draws it, cropped: PNG, JPEG, a device-independent bitmap, and TIFF where Qt has the
// plugin for it. A null image for a form Qt cannot draw (Word's metafiles, PICT) and for damaged data.
QImage pictureImage(const doc::Picture& picture);

// What a framed box shows in place of a picture the layout cannot draw: "EMF picture".
QString pictureName(doc::Picture::Format format);

// The pictures of one layout, each decoded once, the first time a page shows it.
class PictureCache
{
public:
    explicit PictureCache(std::span<const doc::Picture> pictures) : mPictures(pictures) {}

    // A null image for an index past the pictures.
    const QImage& image(std::size_t index);

private:
    std::span<const doc::Picture> mPictures;
    std::vector<std::optional<QImage>> mImages; // by index
    QImage mNone;
};

} // namespace render
