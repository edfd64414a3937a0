#pragma once

#include "render/linebreaker.h"
#include "render/pagefonts.h"
#include "render/pagelayout.h"

#include <QDate>
#include <QFontMetricsF>
#include <QString>
#include <QStringView>

#include <array>
#include <map>
#include <optional>
#include <span>
#include <tuple>
#include <unordered_map>
#include <vector>

// A paragraph's characters made into measured glyphs in their fonts, and a broken line made into the
// fragments, underlines and marks the page paints. The page flow (pagelayout.cpp) places the lines.
namespace render
{

inline constexpr double kMinPointSize = 1.0;
inline constexpr double kMaxPointSize = 1638.0; // Word's largest font size
inline constexpr double kMaxIndentTwips = 31680;
inline constexpr double kMaxParagraphSpaceTwips = 31680;
inline constexpr double kFitEpsilon = 1e-3;
inline constexpr double kMaxCharacterSpacingTwips = 1584; // Word's widest expanded or condensed spacing
inline constexpr double kMaxPictureTwips = 31680;         // 22 inches, Word's largest page

// Superscript and subscript: 58 % of the size (as LibreOffice sets Word's), raised or lowered by a third of
// the size.
inline constexpr double kScriptSizeRatio = 0.58;
inline constexpr double kScriptShiftRatio = 1.0 / 3.0;

// A glyph's characters, one code unit or a surrogate pair, held inline: a long paragraph
// makes one of these per character.
struct GlyphText {
    std::array<char16_t, 2> units{};
    std::int32_t length = 0;
    GlyphText() = default;
    explicit GlyphText(char16_t c) : units{c, 0}, length(1) {}
    GlyphText(char16_t high, char16_t low) : units{high, low}, length(2) {}
    QStringView view() const { return QStringView(units.data(), length); }
};

// One visible character of a paragraph, with its measure for the line breaker.
struct Glyph {
    GlyphText text;
    LineItem item;
    int style = 0;
    bool undrawn = false; // no installed font draws it: kUndrawnBox is drawn in its place
    bool capital = false; // drawn as its capital letter (all capitals, small capitals)
    bool kerned = false;  // narrower or wider by its kerning with the next: drawn apart from it
    // An inline picture (index into ReadModel::pictures; kNoPicture for text), item.width wide, standing
    // on the baseline; its text is empty.
    std::uint32_t picture = kNoPicture;
    float pictureHeight = 0;
    static constexpr std::uint32_t kNoPicture = 0xFFFFFFFF;
    bool isPicture() const { return picture != kNoPicture; }
};

// A paragraph's glyphs, in pieces between its page (or column) breaks: each piece after the first starts
// a new page. A list label and what follows it start the first piece.
struct ParagraphText {
    std::vector<std::vector<Glyph>> pieces{1};
    double labelShift = 0; // how far left of the first line's start a centred or right-aligned label begins
    int markStyle = 0;     // the paragraph mark's, which gives an empty line its height
};

// The values of the fields a page shows: PAGE, NUMPAGES, SECTIONPAGES and DATE. The page numbers are
// nullopt in the body, whose fields show their stored results, as the pages are not yet counted there.
struct FieldValues {
    std::optional<int> page;
    std::optional<int> pages;
    std::optional<int> sectionPages;
    QDate date;
};

// Word's date picture (the DATE field's \@ switch: "d MMMM yyyy", "h:mm am/pm") as a QDateTime format.
QString qtDateFormat(QStringView wordPicture);

// A document's colour (0xRRGGBB) on the page; Word's "auto" is the colour given.
inline QColor colorOf(std::uint32_t rgb, const QColor& automatic)
{
    return rgb == doc::kAutoColor ? automatic : QColor::fromRgb(rgb & 0xFFFFFFu);
}

// A font's vertical measures in page pixels.
struct FontMeasures {
    double ascent = 0;
    double descent = 0;
    double leading = 0;
    double underlinePos = 0; // below the baseline
    double lineWidth = 0;
    double strikeOutPos = 0; // above the baseline
};

// What a style draws besides its glyphs, and where: strokes, highlighting, a raised or lowered baseline.
struct StyleLook {
    bool strike = false;
    bool doubleStrike = false;
    double raise = 0;   // the baseline's shift up (superscript) or down (subscript, negative), page pixels
    QColor highlight;   // invalid: none
    double spacing = 0; // after each character, page pixels
    // Letters are drawn as capitals (all capitals); for small capitals, lower-case letters are drawn as
    // capitals in this smaller style. Drawn text is what the PDF's text reads as, as in Word's PDFs.
    bool capitals = false;
    int smallCapitals = -1;
};

class StyleTable
{
public:
    int styleFor(const doc::CharacterRun& run) { return styleFor(run, false); }

    double advance(int style, QStringView text)
    {
        return glyphAdvance(style, text) + mLooks[static_cast<std::size_t>(style)].spacing;
    }

    // Whether an installed font draws the character: the style's font or one the system falls back to.
    bool drawable(int style, QStringView character)
    {
        // The carried fonts have every Latin-1 character.
        if (character.size() == 1 && character.at(0).unicode() < kLatin1)
            return true;
        const char32_t ucs4 = character.size() > 1 ? QChar::surrogateToUcs4(character.at(0), character.at(1))
                                                   : character.at(0).unicode();
        // Format characters and marks show nothing of their own where no font has them.
        const QChar::Category category = QChar::category(ucs4);
        if (category == QChar::Other_Format || category == QChar::Mark_NonSpacing)
            return true;
        const std::uint64_t key = (static_cast<std::uint64_t>(style) << 32) | ucs4;
        const auto found = mDrawable.find(key);
        if (found != mDrawable.end())
            return found->second;
        return mDrawable
            .emplace(key, QFontMetricsF(mStyles[static_cast<std::size_t>(style)].font).inFontUcs4(ucs4))
            .first->second;
    }

    // How much the kerning of a style's font moves right after left (negative: closer).
    double kerning(int style, char16_t left, char16_t right)
    {
        const std::optional<Kerner>& kerner = mKerned[static_cast<std::size_t>(style)];
        if (!kerner)
            return 0;
        KerningCache& cache = kerningCache();
        const std::uint64_t key = (static_cast<std::uint64_t>(kerner->face) << 32) |
                                  (static_cast<std::uint64_t>(left) << 16) | right;
        const auto found = cache.pairs.find(key);
        if (found != cache.pairs.end())
            return found->second;
        if (cache.pairs.size() >= kMaxKerningPairs)
            cache.pairs.clear();
        const QChar pair[] = {QChar(left), QChar(right)};
        const QFontMetricsF& metrics = kerner->metrics;
        const double kern = (metrics.horizontalAdvance(QString(pair, 2)) -
                             metrics.horizontalAdvance(pair[0]) - metrics.horizontalAdvance(pair[1])) /
                            kFontScale;
        return cache.pairs.emplace(key, std::abs(kern) < kFitEpsilon ? 0 : kern).first->second;
    }

    const FontMeasures& measures(int style) const { return mMeasures[static_cast<std::size_t>(style)]; }
    bool underlined(int style) const { return mStyles[static_cast<std::size_t>(style)].underline; }
    const StyleLook& look(int style) const { return mLooks[static_cast<std::size_t>(style)]; }

    bool isShaped(int style) const
    {
        return static_cast<std::size_t>(style) < mShapedStyle.size() &&
               mShapedStyle[static_cast<std::size_t>(style)];
    }

    // The style drawn with its script's shaping: Arabic letters joined, Indic clusters formed. Word
    // sets Latin text glyph by glyph, but such scripts are unreadable unshaped.
    int shaped(int style)
    {
        const auto index = static_cast<std::size_t>(style);
        mShaped.resize(mStyles.size(), -1);
        mShapedStyle.resize(mStyles.size(), false);
        if (mShapedStyle[index])
            return style;
        if (mShaped[index] >= 0)
            return mShaped[index];
        TextStyle variant = mStyles[index];
        variant.font.setStyleStrategy(QFont::PreferDefault);
        const int made = static_cast<int>(mStyles.size());
        mStyles.push_back(std::move(variant));
        mLooks.push_back(mLooks[index]);
        mMeasures.push_back(mMeasures[index]);
        mKerned.emplace_back();
        mLatin1Advances.resize(mStyles.size() * kLatin1, -1.0);
        mShaped.resize(mStyles.size(), -1);
        mShapedStyle.resize(mStyles.size(), false);
        mShaped[index] = made;
        mShapedStyle[static_cast<std::size_t>(made)] = true;
        return made;
    }
    const QColor& color(int style) const { return mStyles[static_cast<std::size_t>(style)].color; }
    std::vector<TextStyle> takeStyles() { return std::move(mStyles); }

private:
    // Small capitals Word sets at four fifths of the size.
    static constexpr double kSmallCapitalsRatio = 0.8;

    // smaller: the style of a small-capitals run's lower-case letters.
    int styleFor(const doc::CharacterRun& run, bool smaller)
    {
        const QString family = pageFontFamily(run.fontName.empty() ? QStringLiteral("Times New Roman")
                                                                   : QString::fromStdString(run.fontName));
        // Word sizes fonts in half points; anything finer only comes from a damaged file.
        const double size = std::isfinite(run.sizePt)
                                ? std::round(std::clamp(run.sizePt, kMinPointSize, kMaxPointSize) * 2) / 2
                                : 12.0;
        const auto spacing = static_cast<std::int32_t>(
            std::clamp<double>(run.spacing, -kMaxCharacterSpacingTwips, kMaxCharacterSpacingTwips));
        const Key key{family,           size,          run.bold,    run.italic,   run.underline, run.strike,
                      run.doubleStrike, run.smallCaps, run.allCaps, run.position, spacing,       run.kerning,
                      run.color,        run.highlight, smaller};
        const auto found = mKeys.find(key);
        if (found != mKeys.end())
            return found->second;
        registerPageFace(family, run.bold, run.italic);
        const bool script = run.position != doc::CharacterRun::Position::Normal;
        const double drawnSize = size * (script ? kScriptSizeRatio : 1) * (smaller ? kSmallCapitalsRatio : 1);
        QFont font(family);
        font.setPixelSize(std::max(1, static_cast<int>(std::lround(pointsToPixels(drawnSize) * kFontScale))));
        font.setBold(run.bold);
        font.setItalic(run.italic);
        font.setKerning(false);
        font.setHintingPreference(QFont::PreferNoHinting);
        // No ligatures or contextual forms: Word sets Latin text glyph by glyph.
        font.setStyleStrategy(QFont::PreferNoShaping);
        const QFontMetricsF fm(font);
        const int index = static_cast<int>(mStyles.size());
        mKeys.emplace(key, index);
        mStyles.push_back({font, run.underline, colorOf(run.color, Qt::black)});
        // Pairs are measured shaped, as only shaping applies the font's kerning; glyphs are still drawn
        // unshaped, a kerned pair apart.
        std::optional<Kerner> kerner;
        if (run.kerning) {
            QFont shaped = font;
            shaped.setKerning(true);
            shaped.setStyleStrategy(QFont::PreferDefault);
            std::map<QString, std::uint32_t>& faces = kerningCache().faces;
            const auto face = static_cast<std::uint32_t>(faces.size());
            kerner = Kerner{QFontMetricsF(shaped), faces.emplace(shaped.key(), face).first->second};
        }
        mKerned.push_back(std::move(kerner));
        const double shift = script ? pointsToPixels(size) * kScriptShiftRatio : 0;
        mLooks.push_back({run.strike && !run.doubleStrike, run.doubleStrike,
                          run.position == doc::CharacterRun::Position::Subscript ? -shift : shift,
                          colorOf(run.highlight, QColor()), twipsToPixels(spacing), run.allCaps, -1});
        mLatin1Advances.resize(mStyles.size() * kLatin1, -1.0);
        mMeasures.push_back({fm.ascent() / kFontScale, fm.descent() / kFontScale, lineGap(font) / kFontScale,
                             fm.underlinePos() / kFontScale, fm.lineWidth() / kFontScale,
                             fm.strikeOutPos() / kFontScale});
        if (run.smallCaps && !run.allCaps && !smaller) {
            const int smallCapitals = styleFor(run, true);
            mLooks[static_cast<std::size_t>(index)].smallCapitals = smallCapitals;
        }
        return index;
    }

    // The font's advance for text, without the style's character spacing.
    double glyphAdvance(int style, QStringView text)
    {
        const TextStyle& measured = mStyles[static_cast<std::size_t>(style)];
        // Most text is Latin-1: those widths sit in a table, the rest in a map.
        if (text.size() == 1 && text.at(0).unicode() < kLatin1) {
            double& cached =
                mLatin1Advances[static_cast<std::size_t>(style) * kLatin1 + text.at(0).unicode()];
            if (cached < 0)
                cached = measured.advance(text.toString());
            return cached;
        }
        const std::uint64_t key =
            (static_cast<std::uint64_t>(style) << 32) |
            (static_cast<std::uint64_t>(text.size() > 1 ? text.at(1).unicode() : 0) << 16) |
            text.at(0).unicode();
        const auto found = mAdvances.find(key);
        if (found != mAdvances.end())
            return found->second;
        return mAdvances.emplace(key, measured.advance(text.toString())).first->second;
    }

    // family, size, bold, italic, underline, strike, double strike, small capitals, all capitals,
    // position, spacing, kerning, colour, highlight, the smaller letters of small capitals
    using Key =
        std::tuple<QString, double, bool, bool, bool, bool, bool, bool, bool, doc::CharacterRun::Position,
                   std::int32_t, bool, std::uint32_t, std::uint32_t, bool>;
    std::map<Key, int> mKeys;
    std::vector<TextStyle> mStyles;
    std::vector<StyleLook> mLooks;
    std::vector<FontMeasures> mMeasures;
    static constexpr std::size_t kLatin1 = 256;
    std::vector<double> mLatin1Advances; // by style, then character; negative until measured
    std::unordered_map<std::uint64_t, double> mAdvances;
    std::unordered_map<std::uint64_t, bool> mDrawable; // by style, then character
    std::vector<int> mShaped;                          // by style: its shaped variant, -1 until made
    std::vector<bool> mShapedStyle;                    // by style: it is a shaped variant
    // A kerning style's font shaped, and the number its pairs are cached under.
    struct Kerner {
        QFontMetricsF metrics;
        std::uint32_t face = 0;
    };
    // Pairs measured once a thread (a batch lays agreements out on several): measuring a pair shaped costs
    // more than laying out its line, and every layout makes its styles anew.
    struct KerningCache {
        std::map<QString, std::uint32_t> faces;          // by QFont::key()
        std::unordered_map<std::uint64_t, double> pairs; // by face, then pair
    };
    static constexpr std::size_t kMaxKerningPairs = 1u << 20;
    static KerningCache& kerningCache()
    {
        thread_local KerningCache cache;
        return cache;
    }
    std::vector<std::optional<Kerner>> mKerned; // by style: its kerning, if it kerns
};

// Turns a paragraph's characters into measured glyphs, its list label first: field codes, hidden text,
// floating objects' anchors and other control characters take no room and draw nothing; inline pictures
// (from pictures) are glyphs as wide as they are. With fields, PAGE, NUMPAGES, SECTIONPAGES and DATE show
// those values in their results' formatting; without, every field shows its stored result. Characters no
// installed font draws are added to undrawn.
ParagraphText shapeParagraph(const doc::Paragraph& paragraph, StyleTable& styles, QString& undrawn,
                             std::span<const doc::Picture> pictures = {},
                             const std::optional<FieldValues>& fields = std::nullopt);

// Whether the paragraph has a PAGE, NUMPAGES or SECTIONPAGES field, whose value depends on its page.
bool showsPageNumbers(const doc::Paragraph& paragraph);

double indentPx(std::int32_t twips);
double spacePx(std::int32_t twips);

struct VerticalMetrics {
    double above = 0; // ascent plus leading
    double descent = 0;
};

VerticalMetrics lineMetrics(const std::vector<Glyph>& glyphs, const BrokenLine& line, int markStyle,
                            const StyleTable& styles);

// Fills in a line's text, fragments and strokes (underline, strike-through), from out's top, height and
// baseline. Highlighting, and strokes not in black, go to fills, in the line's coordinates.
void addFragments(PageLine& out, std::vector<PageFill>& fills, const std::vector<Glyph>& glyphs,
                  const BrokenLine& line, double originX, StyleTable& styles);

} // namespace render
