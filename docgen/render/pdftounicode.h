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

namespace pdfupdate
{
struct CrossReference;
}

// Characters drawn with one drawText call.
struct DrawnRun {
    QString text;
    QFont font;
};

// For pdf, as Qt's PDF engine wrote it with runs drawn in this order and no other text: the objects of an
// incremental update (pdfupdate::withObjects) that map every glyph of each embedded font to the characters
// drawn with it. A font whose glyphs the engine did not number as these runs draw them keeps the engine's
// map.
std::map<int, QByteArray> toUnicodeMaps(const QByteArray& pdf, const pdfupdate::CrossReference& xref,
                                        std::span<const DrawnRun> runs);

} // namespace render
