#pragma once

#include "render/linebreaker.h"
#include "render/pagefonts.h"
#include "render/pagelayout.h"

#include <QFontMetricsF>
#include <QString>
#include <QStringView>

#include <array>
#include <map>
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

// A glyph's characters, one code unit or a surrogate pair, held inline: a long paragraph
// makes one of these per character.
struct GlyphText {
    std::array<char16_t, 2> units{};
    qsizetype length = 0;
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
};

// A paragraph's glyphs, in pieces between its page (or column) breaks: each piece after the first starts
// a new page.
struct ParagraphText {
    std::vector<std::vector<Glyph>> pieces{1};
};

// A font's vertical measures in page pixels.
struct FontMeasures {
    double ascent = 0;
    double descent = 0;
    double leading = 0;
    double underlinePos = 0; // below the baseline
    double lineWidth = 0;
};

class StyleTable
{
public:
    int styleFor(const doc::CharacterRun& run)
    {
        const QString family = pageFontFamily(run.fontName.empty() ? QStringLiteral("Times New Roman")
                                                                   : QString::fromStdString(run.fontName));
        // Word sizes fonts in half points; anything finer only comes from a damaged file.
        const double size = std::isfinite(run.sizePt)
                                ? std::round(std::clamp(run.sizePt, kMinPointSize, kMaxPointSize) * 2) / 2
                                : 12.0;
        const Key key{family, size, run.bold, run.italic, run.underline};
        const auto found = mKeys.find(key);
        if (found != mKeys.end())
            return found->second;
        registerPageFace(family, run.bold, run.italic);
        QFont font(family);
        font.setPixelSize(std::max(1, static_cast<int>(std::lround(pointsToPixels(size) * kFontScale))));
        font.setBold(run.bold);
        font.setItalic(run.italic);
        font.setKerning(false);
        font.setHintingPreference(QFont::PreferNoHinting);
        // No ligatures or contextual forms: Word sets Latin text glyph by glyph.
        font.setStyleStrategy(QFont::PreferNoShaping);
        const QFontMetricsF fm(font);
        mKeys.emplace(key, static_cast<int>(mStyles.size()));
        mStyles.push_back({font, run.underline});
        mLatin1Advances.resize(mStyles.size() * kLatin1, -1.0);
        mMeasures.push_back({fm.ascent() / kFontScale, fm.descent() / kFontScale, fm.leading() / kFontScale,
                             fm.underlinePos() / kFontScale, fm.lineWidth() / kFontScale});
        return static_cast<int>(mStyles.size() - 1);
    }

    double advance(int style, QStringView text)
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

    const FontMeasures& measures(int style) const { return mMeasures[static_cast<std::size_t>(style)]; }
    bool underlined(int style) const { return mStyles[static_cast<std::size_t>(style)].underline; }
    std::vector<TextStyle> takeStyles() { return std::move(mStyles); }

private:
    using Key = std::tuple<QString, double, bool, bool, bool>; // family, size, bold, italic, underline
    std::map<Key, int> mKeys;
    std::vector<TextStyle> mStyles;
    std::vector<FontMeasures> mMeasures;
    static constexpr std::size_t kLatin1 = 256;
    std::vector<double> mLatin1Advances; // by style, then character; negative until measured
    std::unordered_map<std::uint64_t, double> mAdvances;
    std::unordered_map<std::uint64_t, bool> mDrawable; // by style, then character
};

// Turns a paragraph's characters into measured glyphs: field codes, object anchors and other control
// characters take no room and draw nothing. Characters no installed font draws are added to undrawn.
ParagraphText shapeParagraph(const doc::Paragraph& paragraph, StyleTable& styles, QString& undrawn);

double indentPx(std::int32_t twips);
double spacePx(std::int32_t twips);

struct VerticalMetrics {
    double above = 0; // ascent plus leading
    double descent = 0;
};

VerticalMetrics lineMetrics(const std::vector<Glyph>& glyphs, const BrokenLine& line, int markStyle,
                            const StyleTable& styles);

void addFragments(PageLine& out, const std::vector<Glyph>& glyphs, const BrokenLine& line, double originX,
                  StyleTable& styles);

} // namespace render
