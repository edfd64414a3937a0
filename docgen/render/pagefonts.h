#pragma once

#include <QString>

namespace render
{

// The page is laid out with the metric-compatible Liberation fonts that the program carries,
// in place of the Windows fonts the document names, so that its line and page breaks do not
// depend on the fonts the system has. Characters these fonts lack fall back to the system's.
inline constexpr char kSerifFamily[] = "Liberation Serif";
inline constexpr char kSansFamily[] = "Liberation Sans";

// Makes the carried fonts known to Qt, once, and the stand-ins for the Windows fonts where a
// system lacks them; false when one of them could not be read. The windows ask only for the
// faces of their own Arial.
enum class Faces { Windows, All };
bool registerPageFonts(Faces faces = Faces::All);
// The same for the one carried face a page's text is set in, if that family is carried.
bool registerPageFace(const QString& family, bool bold, bool italic);

// The family a document's font name is laid out with.
QString pageFontFamily(const QString& documentFont);

} // namespace render
