#include "render/pdftounicode.h"
#include "render/pdfobjects.h"

#include <QGlyphRun>
#include <QHash>
#include <QRawFont>
#include <QRegularExpression>
#include <QTextLayout>
#include <QtEndian>

#include <algorithm>
#include <map>
#include <optional>
#include <utility>
#include <vector>

namespace render
{

namespace
{

// A font file's glyphs as the engine numbers them in the PDF (their character identifiers, CIDs): glyph 0
// first, then each glyph as it is first drawn.
struct FontGlyphs {
    QRawFont font;
    std::vector<quint32> glyphs{0};
    std::vector<QStringList> characters{{}}; // by CID: the characters drawn with the glyph, first drawn first
    std::map<quint32, std::size_t> cids{{0, 0}};

    void add(quint32 glyph, const QString& character)
    {
        const auto [at, added] = cids.try_emplace(glyph, glyphs.size());
        if (added) {
            glyphs.push_back(glyph);
            characters.emplace_back();
        }
        QStringList& drawn = characters[at->second];
        if (!character.isEmpty() && !drawn.contains(character))
            drawn.append(character);
    }
};

using CMap = std::map<quint32, QString>; // CID -> the characters it reads as

// The name the engine gives a font file in the PDF (/BaseFont): the PostScript name FreeType reads from
// the 'name' table, Windows English before Macintosh Roman.
QByteArray postscriptName(const QRawFont& font)
{
    const QByteArray table = font.fontTable("name");
    const auto u16 = [&table](qsizetype at) {
        return at >= 0 && at + 2 <= table.size() ? qFromBigEndian<quint16>(table.constData() + at) : 0;
    };
    QByteArray mac;
    for (int i = 0, count = u16(2); i < count; ++i) {
        const qsizetype record = 6 + 12 * qsizetype(i);
        const quint16 platform = u16(record), encoding = u16(record + 2), language = u16(record + 4);
        const QByteArray name = table.mid(u16(4) + u16(record + 10), u16(record + 8));
        if (u16(record + 6) != 6 || name.isEmpty())
            continue;
        if (platform == 3 && encoding == 1 && language == 0x409) {
            QByteArray windows;
            for (qsizetype at = 0; at + 2 <= name.size(); at += 2)
                windows += QChar(qFromBigEndian<quint16>(name.constData() + at)).toLatin1();
            return windows.replace(' ', '_');
        }
        if (platform == 1 && encoding == 0 && language == 0 && mac.isEmpty())
            mac = name;
    }
    return mac.replace(' ', '_');
}

// A character's glyphs in one font file.
struct CharacterGlyphs {
    QRawFont font;
    QList<quint32> glyphs;
};

// Every glyph drawn, by font file and in the order drawn, each with the characters it was drawn for: a
// character's glyphs are what a layout gives it, as drawText shapes it. The page's fonts ask for no
// shaping, so a character's glyphs do not depend on its neighbours: each character is laid out once
// per font, not once per run it appears in.
std::map<QByteArray, FontGlyphs> drawnGlyphs(std::span<const DrawnRun> runs)
{
    std::map<QByteArray, FontGlyphs> files;
    std::vector<std::pair<QRawFont, FontGlyphs*>> engines; // one per font size and file
    std::vector<std::pair<QFont, QHash<QString, std::vector<CharacterGlyphs>>>> laidOut;
    const auto glyphsOf = [&laidOut](const QFont& font, const QString& character) -> const auto&
    {
        auto known =
            std::find_if(laidOut.begin(), laidOut.end(), [&font](const auto& f) { return f.first == font; });
        if (known == laidOut.end())
            known = laidOut.insert(laidOut.end(), {font, {}});
        auto found = known->second.find(character);
        if (found == known->second.end()) {
            QTextLayout layout(character, font);
            layout.beginLayout();
            layout.createLine();
            layout.endLayout();
            std::vector<CharacterGlyphs> glyphs;
            for (const QGlyphRun& glyphRun : layout.glyphRuns())
                glyphs.push_back({glyphRun.rawFont(), glyphRun.glyphIndexes()});
            found = known->second.insert(character, std::move(glyphs));
        }
        return found.value();
    };
    for (const DrawnRun& run : runs) {
        for (int at = 0; at < run.text.size();) {
            const bool pair = run.text.at(at).isHighSurrogate() && at + 1 < run.text.size() &&
                              run.text.at(at + 1).isLowSurrogate();
            const int length = pair ? 2 : 1;
            QString character = run.text.mid(at, length);
            for (const CharacterGlyphs& glyphRun : glyphsOf(run.font, character)) {
                const QRawFont& font = glyphRun.font;
                auto engine = std::find_if(engines.begin(), engines.end(),
                                           [&font](const auto& known) { return known.first == font; });
                if (engine == engines.end()) {
                    FontGlyphs& file = files[postscriptName(font)];
                    if (!file.font.isValid())
                        file.font = font;
                    engine = engines.insert(engines.end(), {font, &file});
                }
                for (const quint32 glyph : glyphRun.glyphs) {
                    engine->second->add(glyph, character);
                    character.clear(); // a character's further glyphs read as nothing
                }
            }
            at += length;
        }
    }
    return files;
}

QString utf16FromHex(QStringView hex)
{
    QString text;
    for (qsizetype at = 0; at + 4 <= hex.size(); at += 4)
        text.append(QChar(hex.mid(at, 4).toUShort(nullptr, 16)));
    return text;
}

// The engine's map: ranges "<first> <last> <characters>", counting the last code unit up, and
// "<first> <last> [<characters> ...]". Anything else is not the engine's.
std::optional<CMap> readCMap(const QByteArray& data)
{
    static const QRegularExpression block(QStringLiteral(R"(beginbfrange\s(.*?)endbfrange)"),
                                          QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression range(
        QStringLiteral(R"(<([0-9A-Fa-f]{4})>\s*<([0-9A-Fa-f]{4})>\s*(?:<([0-9A-Fa-f]+)>|\[([^\]]*)\]))"));
    static const QRegularExpression listed(QStringLiteral(R"(<([0-9A-Fa-f]+)>)"));
    const QString text = QString::fromLatin1(data);
    if (text.contains(QLatin1String("bfchar")))
        return std::nullopt;
    CMap map;
    for (const QRegularExpressionMatch& ranges : block.globalMatch(text)) {
        for (const QRegularExpressionMatch& entry : range.globalMatch(ranges.capturedView(1))) {
            const quint32 first = entry.capturedView(1).toUInt(nullptr, 16);
            const quint32 last = entry.capturedView(2).toUInt(nullptr, 16);
            if (last < first)
                return std::nullopt;
            if (entry.hasCaptured(3)) {
                QString characters = utf16FromHex(entry.capturedView(3));
                for (quint32 cid = first; cid <= last && !characters.isEmpty(); ++cid) {
                    map[cid] = characters;
                    characters.back() = QChar(characters.back().unicode() + 1);
                }
            } else {
                quint32 cid = first;
                for (const QRegularExpressionMatch& item : listed.globalMatch(entry.capturedView(4)))
                    if (cid <= last)
                        map[cid++] = utf16FromHex(item.capturedView(1));
            }
        }
    }
    return map;
}

// True when each glyph the engine's map names sits at the CID the drawn glyphs give it.
bool numberedAsDrawn(const CMap& engineMap, const FontGlyphs& drawn)
{
    return std::all_of(engineMap.begin(), engineMap.end(), [&drawn](const auto& entry) {
        if (entry.first == 0)
            return true;
        const QList<quint32> glyphs = drawn.font.glyphIndexesForString(entry.second);
        return entry.first < drawn.glyphs.size() && glyphs.size() == 1 &&
               glyphs.front() == drawn.glyphs[entry.first];
    });
}

// A glyph drawn for several characters (山 and ⼭, a space and a no-break space) can read as one only: the
// first drawn that is its own compatibility form, else the first drawn.
QString readingOf(const QStringList& characters)
{
    for (const QString& character : characters)
        if (character == character.normalized(QString::NormalizationForm_KC))
            return character;
    return characters.value(0);
}

// Hebrew and Arabic presentation forms: the shapes letters take beside others.
bool presentationForms(const QString& characters)
{
    return !characters.isEmpty() && std::all_of(characters.begin(), characters.end(), [](QChar c) {
        return (c.unicode() >= 0xFB1D && c.unicode() <= 0xFDFF) ||
               (c.unicode() >= 0xFE70 && c.unicode() <= 0xFEFF);
    });
}

QByteArray toHex(quint32 unit)
{
    return QByteArray::number(unit, 16).rightJustified(4, '0').toUpper();
}

QByteArray toHex(QStringView text)
{
    QByteArray hex;
    for (const QChar unit : text)
        hex += toHex(unit.unicode());
    return hex;
}

QByteArray cmapStream(const CMap& map)
{
    QByteArray blocks;
    QByteArray entries;
    int count = 0;
    const auto endBlock = [&] {
        blocks += QByteArray::number(count) + " beginbfchar\n" + entries + "endbfchar\n";
        entries.clear();
        count = 0;
    };
    for (const auto& [cid, characters] : map) {
        entries += '<' + toHex(cid) + "> <" + toHex(characters) + ">\n";
        if (++count == 100) // a block holds no more
            endBlock();
    }
    if (count > 0)
        endBlock();
    return "/CIDInit /ProcSet findresource begin\n"
           "12 dict begin\n"
           "begincmap\n"
           "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
           "/CMapName /Adobe-Identity-UCS def\n"
           "/CMapType 2 def\n"
           "1 begincodespacerange\n"
           "<0000> <FFFF>\n"
           "endcodespacerange\n" +
           blocks +
           "endcmap\n"
           "CMapName currentdict /CMap defineresource pop\n"
           "end\n"
           "end\n";
}

} // namespace

ToUnicodeMaps toUnicodeMaps(const QByteArray& pdf, const pdfobjects::CrossReference& xref,
                            std::span<const DrawnRun> runs)
{
    static const QRegularExpression type0(QStringLiteral(R"(/Subtype\s*/Type0\b)"));
    static const QRegularExpression baseFont(QStringLiteral(R"(/BaseFont\s*/([^\s/<>\[\]()]+))"));
    static const QRegularExpression toUnicode(QStringLiteral(R"(/ToUnicode\s+(\d+)\s+0\s+R)"));
    const std::map<QByteArray, FontGlyphs> drawn = drawnGlyphs(runs);
    ToUnicodeMaps maps;
    const pdfobjects::Objects objects(pdf, xref);
    for (const auto& [number, object] : objects.all()) {
        const QString font = QString::fromLatin1(object.head);
        const QRegularExpressionMatch name = baseFont.match(font);
        const QRegularExpressionMatch map = toUnicode.match(font);
        if (!font.contains(type0) || !name.hasMatch() || !map.hasMatch())
            continue;
        const auto glyphs = drawn.find(name.captured(1).toLatin1());
        const auto mapAt = objects.all().find(map.captured(1).toInt());
        if (glyphs == drawn.end() || mapAt == objects.all().end())
            continue;
        // The engine writes its maps unfiltered.
        const pdfobjects::Object& stream = mapAt->second;
        const std::optional<CMap> engineMap = stream.stream.isEmpty() || stream.head.contains("/Filter")
                                                  ? std::nullopt
                                                  : readCMap(stream.data.toByteArray());
        if (!engineMap)
            continue;
        CMap mended = *engineMap;
        if (numberedAsDrawn(*engineMap, glyphs->second)) {
            for (std::size_t cid = 1; cid < glyphs->second.characters.size(); ++cid)
                if (const QString reading = readingOf(glyphs->second.characters[cid]); !reading.isEmpty())
                    mended[quint32(cid)] = reading;
        } else {
            // Shaped text: its glyphs are the joined forms of its letters, and read as the letters.
            maps.shaped = true;
            for (auto& [cid, characters] : mended)
                if (presentationForms(characters))
                    characters = characters.normalized(QString::NormalizationForm_KC);
        }
        if (mended != *engineMap)
            maps.objects[mapAt->first] = pdfobjects::streamObject(cmapStream(mended));
    }
    return maps;
}

} // namespace render
