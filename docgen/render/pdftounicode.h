#pragma once

#include <QByteArray>
#include <QFont>
#include <QString>

#include <map>
#include <span>

// What a PDF's text reads as when it is searched, copied or extracted. Qt's PDF engine tells each glyph's
// characters by looking the glyph up backwards in the font's character map and keeping the lowest code
// point of the Basic Multilingual Plane that reaches it: a glyph 山 shares with the Kangxi radical ⼭ reads
// as the radical, and one reached only from beyond U+FFFF (😀) reads as nothing. The characters drawn
// say what each glyph stands for here.
namespace render
{

namespace pdfobjects
{
struct CrossReference;
}

// Characters drawn with one drawText call.
struct DrawnRun {
    QString text;
    QFont font;
};

// What mends a PDF's text for reading: objects to take the place of those of the same number
// (pdfobjects::split), and whether a font's glyphs were numbered other than drawn.
struct ToUnicodeMaps {
    std::map<int, QByteArray> objects;
    bool shaped = false;
};

// For pdf, as Qt's PDF engine wrote it with runs drawn in this order and no other text: the maps that read
// every glyph of each embedded font as the characters drawn with it. A font whose glyphs the engine did not
// number as these runs draw them, as with shaped text, keeps the engine's map, its joined forms read as
// their letters.
ToUnicodeMaps toUnicodeMaps(const QByteArray& pdf, const pdfobjects::CrossReference& xref,
                            std::span<const DrawnRun> runs);

} // namespace render
