#pragma once

#include <QByteArray>
#include <QCursor>
#include <QPoint>
#include <QString>

#include <new>
#include <optional>

// A Windows cursor file (.cur): an icon directory of type 2 whose entries carry the hot spot
// where an icon's carry planes and bit count.
namespace CursorFile
{

// The hot spot of the first image, or nothing when the data is no cursor file.
std::optional<QPoint> hotSpot(const QByteArray& data);

// The cursor the data holds, or nothing when it holds no readable picture.
std::optional<QCursor> read(const QByteArray& data);

// The cursor in the file at path. Throws StepFailure with the file's error, or
// "Invalid picture" when it holds no readable cursor.
QCursor load(const QString& path);
// The same, or nothing when the file cannot be read or holds no cursor.
std::optional<QCursor> load(const QString& path, std::nothrow_t);

} // namespace CursorFile
