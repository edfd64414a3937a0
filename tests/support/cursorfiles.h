#pragma once

#include <QByteArray>
#include <QPoint>
#include <QtGlobal>

namespace TestFiles
{

// A 32 x 32 cursor file (.cur) with a mark at the hot spot, or an icon file (type 1, no hot
// spot) when type says so: Qt writes an .ico, which differs in its type field and the hot spot.
QByteArray cursorFile(QPoint hotSpot, quint16 type = 2);

} // namespace TestFiles
