#include "render/textshaping.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace render
{

namespace
{

bool breaksAfter(char16_t c)
{
    return c == u'-' || c == u'\u2013' || c == u'\u2014';
}

} // namespace

// Turns a paragraph's characters into measured glyphs: field codes, object anchors and other control
// characters take no room and draw nothing. Characters no installed font draws are added to undrawn.
ParagraphText shapeParagraph(const doc::Paragraph& paragraph, StyleTable& styles, QString& undrawn)
{
    const std::u16string& text = paragraph.text;
    const int markStyle = styles.styleFor(paragraph.markFormat);
    std::vector<int> styleAt(text.size(), markStyle);
    for (const doc::CharacterRun& run : paragraph.runs) {
        if (run.start >= text.size())
            continue;
        const std::size_t end = std::min<std::size_t>(text.size(), std::size_t{run.start} + run.length);
        const int style = styles.styleFor(run);
        std::fill(styleAt.begin() + run.start, styleAt.begin() + static_cast<std::ptrdiff_t>(end), style);
    }

    ParagraphText result;
    std::vector<Glyph>* glyphs = &result.pieces.back();
    glyphs->reserve(text.size());
    // Fields nest; a character shows only when every enclosing field is past its separator.
    std::vector<bool> fieldInCode;
    std::size_t codeDepth = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c == 0x13) {
            fieldInCode.push_back(true);
            ++codeDepth;
            continue;
        }
        if (c == 0x14) {
            if (!fieldInCode.empty() && fieldInCode.back()) {
                fieldInCode.back() = false;
                --codeDepth;
            }
            continue;
        }
        if (c == 0x15) {
            if (!fieldInCode.empty()) {
                codeDepth -= fieldInCode.back() ? 1 : 0;
                fieldInCode.pop_back();
            }
            continue;
        }
        if (codeDepth > 0)
            continue;

        Glyph glyph;
        glyph.style = styleAt[i];
        switch (c) {
        case 0x09:
            glyph.item.kind = LineItem::Kind::Tab;
            glyph.item.breakAfter = true;
            glyph.text = GlyphText(u'\t');
            glyphs->push_back(glyph);
            continue;
        case 0x0B:
            glyph.item.kind = LineItem::Kind::LineBreak;
            glyphs->push_back(glyph);
            continue;
        case 0x0C:
        case 0x0E:
            glyphs = &result.pieces.emplace_back();
            continue;
        case 0x1E: // non-breaking hyphen
            glyph.text = GlyphText(u'-');
            break;
        case 0x1F: // optional hyphens show only where Word hyphenates, which it does not here
        case 0xAD:
            continue;
        case 0x200B: // zero-width space: a break opportunity and nothing else
            glyph.item.breakAfter = true;
            glyphs->push_back(glyph);
            continue;
        case u' ':
            glyph.item.kind = LineItem::Kind::Space;
            glyph.item.breakAfter = true;
            glyph.text = GlyphText(u' ');
            break;
        default:
            if (c < 0x20 || c == 0x7F || (c >= 0xDC00 && c <= 0xDFFF))
                continue;
            glyph.text = GlyphText(c);
            if (c >= 0xD800 && c <= 0xDBFF) {
                if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF)
                    continue;
                glyph.text = GlyphText(c, text[++i]);
            }
            glyph.item.breakAfter = breaksAfter(c);
            glyph.item.decimalPoint = c == u'.';
            glyph.undrawn = !styles.drawable(glyph.style, glyph.text.view());
            if (glyph.undrawn && !undrawn.contains(glyph.text.view()))
                undrawn += glyph.text.view();
            break;
        }
        static constexpr char16_t box = kUndrawnBox;
        glyph.item.width =
            styles.advance(glyph.style, glyph.undrawn ? QStringView(&box, 1) : glyph.text.view());
        glyphs->push_back(std::move(glyph));
    }
    return result;
}

double indentPx(std::int32_t twips)
{
    return twipsToPixels(std::clamp<double>(twips, -kMaxIndentTwips, kMaxIndentTwips));
}

double spacePx(std::int32_t twips)
{
    return twipsToPixels(std::clamp<double>(twips, 0, kMaxParagraphSpaceTwips));
}

VerticalMetrics lineMetrics(const std::vector<Glyph>& glyphs, const BrokenLine& line, int markStyle,
                            const StyleTable& styles)
{
    VerticalMetrics result;
    bool any = false;
    auto take = [&](int style) {
        const FontMeasures& fm = styles.measures(style);
        result.above = std::max(result.above, fm.ascent + fm.leading);
        result.descent = std::max(result.descent, fm.descent);
        any = true;
    };
    for (std::size_t i = line.begin; i < line.end; ++i)
        take(glyphs[i].style);
    if (!any)
        take(markStyle);
    return result;
}

void addFragments(PageLine& out, const std::vector<Glyph>& glyphs, const BrokenLine& line, double originX,
                  StyleTable& styles)
{
    // Characters are gathered here and made into strings once per line and per fragment: a long
    // paragraph has hundreds of thousands of them.
    std::u16string units;
    const auto take = [&units] {
        QString text(reinterpret_cast<const QChar*>(units.data()), static_cast<qsizetype>(units.size()));
        units.clear();
        return text;
    };
    std::size_t contentEnd = line.begin;
    std::size_t gaps = 0; // where justified text starts a new fragment
    for (std::size_t i = line.begin; i < line.end; ++i) {
        const LineItem::Kind kind = glyphs[i].item.kind;
        if (kind != LineItem::Kind::Space && kind != LineItem::Kind::LineBreak)
            contentEnd = i + 1;
        gaps += kind == LineItem::Kind::Space || kind == LineItem::Kind::Tab ? 1 : 0;
        if (kind != LineItem::Kind::LineBreak)
            units.append(glyphs[i].text.units.data(), static_cast<std::size_t>(glyphs[i].text.length));
    }
    out.text = take();
    out.lineBreak = line.end > line.begin && glyphs[line.end - 1].item.kind == LineItem::Kind::LineBreak;
    out.fragments.reserve(gaps + 1);

    std::vector<TextFragment> leaders;
    bool open = false; // the last fragment may take the next character
    double openEnd = 0;
    const auto close = [&] {
        if (open)
            out.fragments.back().text = take();
        open = false;
    };
    for (std::size_t i = line.begin; i < contentEnd; ++i) {
        const Glyph& glyph = glyphs[i];
        const LinePlacement& placement = line.placements[i - line.begin];
        const double x = originX + placement.x;
        if (glyph.item.kind == LineItem::Kind::Tab) {
            close();
            if (placement.leader == u' ' || placement.width <= 0)
                continue;
            const QString dot(QChar(placement.leader));
            const double step = styles.advance(glyph.style, dot);
            if (step <= 0)
                continue;
            const auto count = static_cast<qsizetype>(std::floor(placement.width / step));
            if (count > 0)
                leaders.push_back({dot.repeated(count),
                                   {x + placement.width - static_cast<double>(count) * step, out.baseline},
                                   static_cast<double>(count) * step,
                                   glyph.style});
            continue;
        }
        if (open && out.fragments.back().style == glyph.style && std::abs(openEnd - x) < kFitEpsilon) {
            out.fragments.back().width += glyph.item.width;
        } else {
            close();
            out.fragments.push_back({QString(), {x, out.baseline}, glyph.item.width, glyph.style});
            open = true;
        }
        if (glyph.undrawn)
            units.push_back(kUndrawnBox);
        else
            units.append(glyph.text.units.data(), static_cast<std::size_t>(glyph.text.length));
        openEnd = x + glyph.item.width;
    }
    close();
    out.fragments.insert(out.fragments.end(), leaders.begin(), leaders.end());

    // Underlines run under spaces and tabs between underlined characters, as one stroke each.
    std::optional<QRectF> stroke;
    for (std::size_t i = line.begin; i <= contentEnd; ++i) {
        const bool underlined = i < contentEnd && glyphs[i].item.kind != LineItem::Kind::LineBreak &&
                                styles.underlined(glyphs[i].style);
        if (!underlined) {
            if (stroke)
                out.underlines.push_back(*stroke);
            stroke.reset();
            continue;
        }
        const LinePlacement& placement = line.placements[i - line.begin];
        const double x = originX + placement.x;
        if (!stroke) {
            const FontMeasures& fm = styles.measures(glyphs[i].style);
            stroke = QRectF(x, out.baseline + fm.underlinePos - fm.lineWidth / 2, 0, fm.lineWidth);
        }
        stroke->setRight(x + placement.width);
    }
}

} // namespace render
