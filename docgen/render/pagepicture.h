#pragma once

#include "doc/readmodel.h"

#include <QPicture>
#include <QString>

#include <memory>
#include <optional>

class QMimeData;

// The page picture: the first page of a document's main text as a vector picture, and its ways to the
// clipboard and to the picture file.
namespace render
{

// Our own clipboard format: the QPicture's data, replayed sharp at any zoom.
inline constexpr char kPictureMimeType[] = "application/x-brindlewick-picture";

// Lays out the main text and records its first page into a picture whose bounding rect is
// (0, 0, width, height) in pixels: the text and its border, scaled to fit the preview (see fitPicture()).
// Text only, no raster content.
QPicture renderPage(const doc::ReadModel& model);

// The clipboard contents for a picture: the image rendered at 96 dpi (pasted into other programs as PNG,
// BMP and the like) and the vector picture in our own format.
std::unique_ptr<QMimeData> pictureToMimeData(const QPicture& picture);

// The clipboard's picture: our vector format when present and readable, else any image, wrapped into a
// picture of the image's size. nullopt when the clipboard holds no usable picture.
std::optional<QPicture> pictureFromMimeData(const QMimeData* data);

// Rasterizes a picture at its own size onto white.
QImage pictureToImage(const QPicture& picture);

// Writes the picture's data to path, owner-only, replacing it only once the new file is complete and
// replacing rather than following a link at the name. Throws std::runtime_error (doc::Error when writing
// fails) naming the file and the cause.
void savePictureFile(const QPicture& picture, const QString& path);

} // namespace render
