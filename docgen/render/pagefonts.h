#pragma once

#include <QString>

#include <span>

class QFont;

namespace render
{

// The page is laid out with the metric-compatible Liberation fonts that the program carries,
// in place of the Windows fonts the document names, so that its line and page breaks do not
// depend on the fonts the system has. Characters these fonts lack fall back to the system's.
inline constexpr char kSerifFamily[] = "Liberation Serif";
inline constexpr char kSansFamily[] = "Liberation Sans";
// Not carried: fonts-liberation2 brings it on Linux; Windows has Courier New itself.
inline constexpr char kMonoFamily[] = "Liberation Mono";

// Makes the carried fonts known to Qt, once, and the stand-ins for the Windows fonts where a
// system lacks them; false when one of them could not be read. The windows ask only for the
// faces of their own Arial.
enum class Faces { Windows, All };
bool registerPageFonts(Faces faces = Faces::All);
// The same for the one carried face a page's text is set in, if that family is carried.
bool registerPageFace(const QString& family, bool bold, bool italic);

// The kind of letters a font has, which picks the font that stands in for one nowhere to be found.
enum class FontKind { Serif, Sans, Monospace };

// Fonts that templates commonly name, matched without regard to case: their kind, and a free
// font drawn to the same metrics where one exists (nullptr where none does). A font not listed
// is taken for a serif one, as Word's own default is.
struct KnownFont {
    const char* name;
    FontKind kind;
    const char* sameMetrics;
};
std::span<const KnownFont> knownFonts();

// The family a document's font name is laid out with: the carried font with its metrics;
// else the font itself where the system has it; else the system's font with its metrics;
// else the font that stands in for its kind.
QString pageFontFamily(const QString& documentFont);
// The family that stands in for a font of the kind that the system lacks.
QString kindFallback(FontKind kind);

// The room Word leaves between a font's lines beyond its ascent and descent, in the font's pixels: its
// line gap, less what its Windows ascent and descent already reach beyond its typographic ones (Calibri's
// and Carlito's gap lies wholly inside them, Times New Roman's outside).
double lineGap(const QFont& font);

} // namespace render
