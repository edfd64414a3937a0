#include "render/pagelayout.h"
#include "render/linebreaker.h"
#include "render/pagefonts.h"

#include <QDataStream>
#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <tuple>
#include <unordered_map>

namespace render
{

namespace
{

constexpr double kMinPointSize = 1.0;
constexpr double kMaxPointSize = 1638.0; // Word's largest font size
constexpr double kMaxIndentTwips = 31680;
constexpr double kMaxParagraphSpaceTwips = 31680;
constexpr double kFitEpsilon = 1e-3;
// Far more than any agreement; a count past it in painted-layout data is damage.
constexpr quint32 kMaxPaintedItems = 1u << 24;

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

bool breaksAfter(char16_t c)
{
    return c == u'-' || c == u'\u2013' || c == u'\u2014';
}

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

struct VerticalMetrics {
    double above = 0; // ascent plus leading
    double descent = 0;
};

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

// Lays out at most maxPages pages.
PageLayout layoutPages(const doc::ReadModel& model, int maxPages)
{
    PageLayout layout;
    layout.geometry = pictureGeometry(model.section);
    const PictureGeometry& geometry = layout.geometry;
    StyleTable styles;

    int page = 0;
    double y = 0;             // from the top of the text column
    bool pageStarted = false; // the page holds a line
    auto nextPage = [&] {
        if (page + 1 >= maxPages) {
            layout.truncated = true;
            return false;
        }
        ++page;
        y = 0;
        pageStarted = false;
        return true;
    };

    bool full = false;
    for (std::size_t p = 0; p < model.paragraphs.size() && !full; ++p) {
        const doc::Paragraph& paragraph = model.paragraphs[p];
        const ParagraphText shaped = shapeParagraph(paragraph, styles, layout.undrawn);
        const int markStyle = styles.styleFor(paragraph.markFormat);
        const TabRuler ruler = TabRuler::fromParagraph(paragraph, model.section.defaultTabWidth);
        LineFrame paragraphFrame;
        paragraphFrame.lineStart = indentPx(paragraph.leftIndent);
        paragraphFrame.firstLineStart = paragraphFrame.lineStart + indentPx(paragraph.firstLineIndent);
        paragraphFrame.lineEnd =
            std::max(geometry.columnWidth - indentPx(paragraph.rightIndent),
                     std::max(paragraphFrame.lineStart, paragraphFrame.firstLineStart) + 1);

        y += spacePx(paragraph.spaceBefore);
        for (std::size_t piece = 0; piece < shaped.pieces.size() && !full; ++piece) {
            if (piece > 0 && !nextPage()) {
                full = true;
                break;
            }
            const std::vector<Glyph>& glyphs = shaped.pieces[piece];
            // The paragraph mark makes a line of its own after the last break; a break alone makes none.
            if (glyphs.empty() && piece + 1 < shaped.pieces.size())
                continue;
            std::vector<LineItem> items;
            items.reserve(glyphs.size());
            for (const Glyph& glyph : glyphs)
                items.push_back(glyph.item);
            LineFrame frame = paragraphFrame;
            if (piece > 0)
                frame.firstLineStart = frame.lineStart;

            std::vector<BrokenLine> lines = breakLines(items, frame, ruler);
            for (std::size_t l = 0; l < lines.size(); ++l) {
                BrokenLine& line = lines[l];
                alignLine(line, items, paragraph.alignment, frame.lineEnd, l + 1 == lines.size());

                const VerticalMetrics metrics = lineMetrics(glyphs, line, markStyle, styles);
                const double height = lineHeight(metrics.above + metrics.descent, paragraph.lineSpacing,
                                                 paragraph.lineSpacingMultiple);
                // A page's first line always goes on it, as in Word; any later one must fit above the bottom
                // margin.
                if (pageStarted && y + height > geometry.columnHeight + kFitEpsilon && !nextPage()) {
                    full = true;
                    break;
                }

                PageLine out;
                out.page = page;
                out.paragraph = static_cast<int>(p);
                out.top = geometry.columnTop + y;
                out.height = height;
                out.baseline = out.top + baselineInLine(metrics.above, metrics.descent, height,
                                                        paragraph.lineSpacing, paragraph.lineSpacingMultiple);
                out.left = geometry.columnLeft + (line.placements.empty()
                                                      ? (l == 0 ? frame.firstLineStart : frame.lineStart)
                                                      : line.placements.front().x);
                out.right = geometry.columnLeft + line.contentRight;
                addFragments(out, glyphs, line, geometry.columnLeft, styles);
                layout.lines.push_back(std::move(out));
                pageStarted = true;
                y += height;
            }
        }
        y += spacePx(paragraph.spaceAfter);
    }
    layout.pageCount = page + 1;
    layout.styles = styles.takeStyles();
    return layout;
}

std::span<const PageLine> linesOn(const PageLayout& layout, int page)
{
    const auto begin = std::partition_point(layout.lines.begin(), layout.lines.end(),
                                            [page](const PageLine& line) { return line.page < page; });
    const auto end = std::partition_point(begin, layout.lines.end(),
                                          [page](const PageLine& line) { return line.page == page; });
    return {begin, end};
}

} // namespace

PageLayout layoutPage(const doc::ReadModel& model)
{
    return layoutPages(model, 1);
}

PageLayout layoutDocument(const doc::ReadModel& model)
{
    return layoutPages(model, std::numeric_limits<int>::max());
}

PictureFit fitPicture(const PageLayout& layout, const PreviewFrame& frame)
{
    return fitPicture(layout.geometry.widthPx, layout.geometry.heightPx, layout.pageCount, frame);
}

double TextStyle::advance(const QString& text) const
{
    return QFontMetricsF(font).horizontalAdvance(text) / kFontScale;
}

QString pageText(const PageLayout& layout, int page)
{
    const std::span<const PageLine> lines = linesOn(layout, page);
    QString text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        text += lines[i].text;
        if (i + 1 < lines.size() && !lines[i].lineBreak && lines[i + 1].paragraph == lines[i].paragraph)
            continue;
        // A wrapped line's last space joins it to the next; at the end of a line of text it is nothing.
        while (text.endsWith(u' '))
            text.chop(1);
        text += u'\n';
    }
    return text;
}

void paintPage(QPainter& painter, const PageLayout& layout, int page)
{
    painter.fillRect(QRectF(QPointF(0, 0), QSizeF(layout.size())), Qt::white);
    paintText(painter, layout, page);
}

void paintText(QPainter& painter, const PageLayout& layout, int page)
{
    const std::span<const PageLine> lines = linesOn(layout, page);
    painter.save();
    for (const PageLine& line : lines)
        for (const QRectF& stroke : line.underlines)
            painter.fillRect(stroke, Qt::black);
    painter.setPen(Qt::black);
    painter.scale(1.0 / kFontScale, 1.0 / kFontScale);
    for (const PageLine& line : lines) {
        for (const TextFragment& fragment : line.fragments) {
            painter.setFont(layout.styles[static_cast<std::size_t>(fragment.style)].font);
            painter.drawText(fragment.baseline * kFontScale, fragment.text);
        }
    }
    painter.restore();
}

void writePaintedLayout(QDataStream& out, const PageLayout& layout)
{
    out << layout.geometry.widthPx << layout.geometry.heightPx << static_cast<quint32>(layout.pageCount)
        << static_cast<quint32>(layout.styles.size());
    for (const TextStyle& style : layout.styles)
        out << style.font << style.underline;
    out << static_cast<quint32>(layout.lines.size());
    for (const PageLine& line : layout.lines) {
        out << static_cast<quint32>(line.page) << static_cast<quint32>(line.fragments.size());
        for (const TextFragment& fragment : line.fragments)
            out << fragment.text << fragment.baseline << static_cast<quint32>(fragment.style);
        out << static_cast<quint32>(line.underlines.size());
        for (const QRectF& stroke : line.underlines)
            out << stroke;
    }
}

std::optional<PageLayout> readPaintedLayout(QDataStream& in)
{
    // Counts are checked as they are read and nothing is reserved ahead: damaged data fails the stream
    // at its end, not an allocation.
    auto count = [&in](quint32 limit) -> std::optional<quint32> {
        quint32 n = 0;
        in >> n;
        return in.status() == QDataStream::Ok && n <= limit ? std::optional(n) : std::nullopt;
    };
    PageLayout layout;
    in >> layout.geometry.widthPx >> layout.geometry.heightPx;
    const std::optional<quint32> pages = count(kMaxDataPages);
    const std::optional<quint32> styles = pages ? count(kMaxPaintedItems) : std::nullopt;
    if (!styles || *pages == 0 || layout.size().isEmpty())
        return std::nullopt;
    layout.pageCount = static_cast<int>(*pages);
    for (quint32 i = 0; i < *styles && in.status() == QDataStream::Ok; ++i) {
        TextStyle style;
        in >> style.font >> style.underline;
        layout.styles.push_back(std::move(style));
    }
    const std::optional<quint32> lines = count(kMaxPaintedItems);
    for (quint32 i = 0; lines && i < *lines; ++i) {
        PageLine line;
        const std::optional<quint32> page = count(*pages - 1);
        const std::optional<quint32> fragments = page ? count(kMaxPaintedItems) : std::nullopt;
        // Lines come page by page, as paintText() finds them.
        if (!fragments || (!layout.lines.empty() && static_cast<int>(*page) < layout.lines.back().page))
            return std::nullopt;
        line.page = static_cast<int>(*page);
        for (quint32 f = 0; f < *fragments; ++f) {
            TextFragment fragment;
            in >> fragment.text >> fragment.baseline;
            const std::optional<quint32> style = count(*styles);
            if (!style || *style == *styles)
                return std::nullopt;
            fragment.style = static_cast<int>(*style);
            line.fragments.push_back(std::move(fragment));
        }
        const std::optional<quint32> underlines = count(kMaxPaintedItems);
        for (quint32 u = 0; underlines && u < *underlines && in.status() == QDataStream::Ok; ++u) {
            QRectF stroke;
            in >> stroke;
            line.underlines.push_back(stroke);
        }
        if (!underlines || in.status() != QDataStream::Ok)
            return std::nullopt;
        layout.lines.push_back(std::move(line));
    }
    if (!lines || in.status() != QDataStream::Ok)
        return std::nullopt;
    return layout;
}

} // namespace render
