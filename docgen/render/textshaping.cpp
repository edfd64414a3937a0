#include "render/textshaping.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <string_view>

namespace render
{

namespace
{

// A run of hidden text: no glyphs.
constexpr int kHidden = -1;

// Word's short date, for a DATE field without a picture of its own.
constexpr char16_t kDefaultDatePicture[] = u"M/d/yyyy";

bool breaksAfter(char16_t c)
{
    return c == u'-' || c == u'\u2013' || c == u'\u2014';
}

// Where a field's separator and end marks are.
struct FieldMarks {
    std::size_t separator = std::u16string::npos;
    std::size_t end = std::u16string::npos;
};

// Each field's begin mark matched with its separator and end, as fields nest; a field left open has npos.
std::map<std::size_t, FieldMarks> matchFields(const std::u16string& text)
{
    std::map<std::size_t, FieldMarks> fields;
    std::vector<std::size_t> open;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == 0x13) {
            open.push_back(i);
            fields.emplace(i, FieldMarks{});
        } else if (text[i] == 0x14 && !open.empty()) {
            FieldMarks& marks = fields[open.back()];
            if (marks.separator == std::u16string::npos)
                marks.separator = i;
        } else if (text[i] == 0x15 && !open.empty()) {
            fields[open.back()].end = i;
            open.pop_back();
        }
    }
    return fields;
}

// What a field whose code is code shows on a page with values: nullopt for a field the page does not
// give a value to.
std::optional<QString> pageFieldValue(std::u16string_view code, const FieldValues& values)
{
    const QString text = QString::fromUtf16(code.data(), static_cast<qsizetype>(code.size())).trimmed();
    const QString name = text.section(u' ', 0, 0, QString::SectionSkipEmpty).toUpper();
    const auto number = [](std::optional<int> value) {
        return value ? std::optional(QString::number(*value)) : std::nullopt;
    };
    if (name == u"PAGE")
        return number(values.page);
    if (name == u"NUMPAGES")
        return number(values.pages);
    if (name == u"SECTIONPAGES")
        return number(values.sectionPages);
    if (name != u"DATE" || !values.date.isValid())
        return std::nullopt;
    QString picture = QString::fromUtf16(kDefaultDatePicture);
    const qsizetype at = text.indexOf(QStringLiteral("\\@"));
    if (at >= 0) {
        const QString rest = text.mid(at + 2).trimmed();
        picture = rest.startsWith(u'"') ? rest.mid(1).section(u'"', 0, 0) : rest.section(u' ', 0, 0);
    }
    return QDateTime(values.date, QTime(0, 0)).toString(qtDateFormat(picture));
}

// Scripts whose letters change with their neighbours or are ordered into clusters.
bool needsShaping(QStringView character)
{
    const char32_t ucs4 = character.size() > 1 ? QChar::surrogateToUcs4(character.at(0), character.at(1))
                                               : character.at(0).unicode();
    switch (QChar::script(ucs4)) {
    case QChar::Script_Arabic:
    case QChar::Script_Syriac:
    case QChar::Script_Thaana:
    case QChar::Script_Nko:
    case QChar::Script_Mongolian:
    case QChar::Script_Devanagari:
    case QChar::Script_Bengali:
    case QChar::Script_Gurmukhi:
    case QChar::Script_Gujarati:
    case QChar::Script_Oriya:
    case QChar::Script_Tamil:
    case QChar::Script_Telugu:
    case QChar::Script_Kannada:
    case QChar::Script_Malayalam:
    case QChar::Script_Sinhala:
    case QChar::Script_Thai:
    case QChar::Script_Lao:
    case QChar::Script_Tibetan:
    case QChar::Script_Myanmar:
    case QChar::Script_Khmer:
    case QChar::Script_Hebrew:
        return true;
    default:
        return false;
    }
}

} // namespace

QString qtDateFormat(QStringView wordPicture)
{
    QString format;
    QString literal;
    const auto flushLiteral = [&] {
        if (literal.isEmpty())
            return;
        format += u'\'' + QString(literal).replace(u'\'', QStringLiteral("''")) + u'\'';
        literal.clear();
    };
    for (qsizetype i = 0; i < wordPicture.size();) {
        const QChar c = wordPicture[i];
        if (wordPicture.mid(i, 5).compare(u"am/pm", Qt::CaseInsensitive) == 0) {
            flushLiteral();
            format += wordPicture[i].isUpper() ? QStringLiteral("AP") : QStringLiteral("ap");
            i += 5;
            continue;
        }
        if (c == u'\\') { // the next character as it stands
            if (i + 1 < wordPicture.size())
                literal += wordPicture[i + 1];
            i += 2;
            continue;
        }
        if (c == u'\'') { // quoted text, as it stands
            const qsizetype close = wordPicture.indexOf(u'\'', i + 1);
            const qsizetype end = close < 0 ? wordPicture.size() : close;
            literal += wordPicture.mid(i + 1, end - i - 1);
            i = end + 1;
            continue;
        }
        if (!QStringView(u"dMyhHms").contains(c)) {
            literal += c;
            ++i;
            continue;
        }
        qsizetype count = 1;
        while (i + count < wordPicture.size() && wordPicture[i + count] == c)
            ++count;
        i += count;
        flushLiteral();
        // Qt has the same letters but for the year, which comes in two digits or four.
        const qsizetype most = c == u'd' || c == u'M' || c == u'y' ? 4 : 2;
        if (c == u'y')
            count = count <= 2 ? 2 : 4;
        format += QString(std::min(count, most), c);
    }
    flushLiteral();
    return format;
}

bool showsPageNumbers(const doc::Paragraph& paragraph)
{
    const std::u16string& text = paragraph.text;
    if (text.find(u'\x13') == std::u16string::npos)
        return false;
    const FieldValues numbers{0, 0, 0, QDate()};
    for (const auto& [begin, marks] : matchFields(text)) {
        const std::size_t codeEnd = std::min(marks.separator, marks.end);
        if (marks.end != std::u16string::npos &&
            pageFieldValue(std::u16string_view(text).substr(begin + 1, codeEnd - begin - 1), numbers))
            return true;
    }
    return false;
}

ParagraphText shapeParagraph(const doc::Paragraph& paragraph, StyleTable& styles, QString& undrawn,
                             std::span<const doc::Picture> pictures, const std::optional<FieldValues>& fields)
{
    const std::u16string& text = paragraph.text;
    const int markStyle = styles.styleFor(paragraph.markFormat);
    std::vector<int> styleAt(text.size(), markStyle);
    for (const doc::CharacterRun& run : paragraph.runs) {
        if (run.start >= text.size())
            continue;
        const std::size_t end = std::min<std::size_t>(text.size(), std::size_t{run.start} + run.length);
        const int style = run.hidden ? kHidden : styles.styleFor(run);
        std::fill(styleAt.begin() + run.start, styleAt.begin() + static_cast<std::ptrdiff_t>(end), style);
    }
    ParagraphText result;
    result.markStyle = markStyle;
    std::vector<doc::ObjectAt> pictureAt = paragraph.pictures;
    std::sort(pictureAt.begin(), pictureAt.end(),
              [](const doc::ObjectAt& a, const doc::ObjectAt& b) { return a.offset < b.offset; });
    auto nextPicture = pictureAt.cbegin();
    const std::map<std::size_t, FieldMarks> fieldMarks = fields ? matchFields(text) : decltype(fieldMarks){};

    std::vector<Glyph>* glyphs = &result.pieces.back();
    glyphs->reserve(text.size());
    // The font's kerning narrows or widens the glyph before this one, a character or space of its style.
    const auto kernBefore = [&](char16_t drawn, int style) {
        if (glyphs->size() < 2)
            return;
        Glyph& before = (*glyphs)[glyphs->size() - 2];
        if (before.style != style || before.undrawn || before.text.length != 1 ||
            (before.item.kind != LineItem::Kind::Text && before.item.kind != LineItem::Kind::Space))
            return;
        const char16_t left = before.capital ? static_cast<char16_t>(QChar::toUpper(before.text.units[0]))
                                             : before.text.units[0];
        const double kern = styles.kerning(style, left, drawn);
        if (kern == 0)
            return;
        before.item.width = std::max(0.0, before.item.width + kern);
        before.kerned = true;
    };
    // A character that shows: its measure, and a box where no installed font draws it.
    const auto addCharacter = [&](GlyphText shown, int style) {
        Glyph& glyph = glyphs->emplace_back();
        glyph.text = shown;
        const char16_t c = shown.units[0];
        glyph.item.breakAfter = breaksAfter(c);
        glyph.item.decimalPoint = c == u'.';
        const StyleLook& look = styles.look(style);
        GlyphText drawn = shown;
        if (shown.length == 1 && (look.capitals || look.smallCapitals >= 0) && QChar::toUpper(c) != c) {
            glyph.capital = true;
            drawn = GlyphText(static_cast<char16_t>(QChar::toUpper(c)));
            if (look.smallCapitals >= 0)
                style = look.smallCapitals;
        }
        if (needsShaping(drawn.view()))
            style = styles.shaped(style);
        glyph.style = style;
        glyph.undrawn = !styles.drawable(style, drawn.view());
        if (glyph.undrawn && !undrawn.contains(shown.view()))
            undrawn += shown.view();
        static constexpr char16_t box = kUndrawnBox;
        glyph.item.width =
            std::max(0.0, styles.advance(style, glyph.undrawn ? QStringView(&box, 1) : drawn.view()));
        if (!glyph.undrawn && drawn.length == 1)
            kernBefore(drawn.units[0], style);
    };
    const auto addSpace = [&](int style, LineItem::Kind kind) {
        // A space between shaped words goes with them, so that a phrase is drawn in its own order.
        if (!glyphs->empty() && styles.isShaped(glyphs->back().style))
            style = styles.shaped(style);
        Glyph& glyph = glyphs->emplace_back();
        glyph.style = style;
        glyph.item.kind = kind;
        glyph.item.breakAfter = true;
        glyph.text = GlyphText(kind == LineItem::Kind::Tab ? u'\t' : u' ');
        if (kind == LineItem::Kind::Space) {
            glyph.item.width = std::max(0.0, styles.advance(style, glyph.text.view()));
            kernBefore(u' ', style);
        }
    };
    const auto addText = [&](QStringView shown, int style) {
        for (qsizetype i = 0; i < shown.size(); ++i) {
            const char16_t c = shown[i].unicode();
            if (QChar::isHighSurrogate(c) && i + 1 < shown.size() && shown[i + 1].isLowSurrogate())
                addCharacter(GlyphText(c, shown[++i].unicode()), style);
            else if (c == u' ')
                addSpace(style, LineItem::Kind::Space);
            else if (c >= 0x20 && !QChar::isSurrogate(c))
                addCharacter(GlyphText(c), style);
        }
    };

    if (paragraph.list && !paragraph.list->format.hidden) {
        const int style = styles.styleFor(paragraph.list->format);
        addText(QStringView(paragraph.list->text), style);
        double width = 0;
        for (const Glyph& glyph : *glyphs)
            width += glyph.item.width;
        using LA = doc::ListLabel::Alignment;
        result.labelShift = paragraph.list->alignment == LA::Right    ? width
                            : paragraph.list->alignment == LA::Center ? width / 2
                                                                      : 0;
        if (paragraph.list->follow == doc::ListLabel::Follow::Tab)
            addSpace(style, LineItem::Kind::Tab);
        else if (paragraph.list->follow == doc::ListLabel::Follow::Space)
            addSpace(style, LineItem::Kind::Space);
    }

    // Fields nest; a character shows only when every enclosing field is past its separator.
    std::vector<bool> fieldInCode;
    std::size_t codeDepth = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c == 0x13) {
            const auto marks = fieldMarks.find(i);
            if (codeDepth == 0 && marks != fieldMarks.end() && marks->second.end != std::u16string::npos) {
                const FieldMarks& m = marks->second;
                const std::size_t codeEnd = std::min(m.separator, m.end);
                const std::u16string_view code = std::u16string_view(text).substr(i + 1, codeEnd - i - 1);
                const std::optional<QString> value = code.find(u'\x13') == std::u16string_view::npos
                                                         ? pageFieldValue(code, *fields)
                                                         : std::nullopt;
                if (value) {
                    // The value takes the look of the result it stands for.
                    const std::size_t look =
                        m.separator != std::u16string::npos && m.separator + 1 < m.end ? m.separator + 1 : i;
                    if (styleAt[look] != kHidden)
                        addText(*value, styleAt[look]);
                    i = m.end;
                    continue;
                }
            }
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
        if (codeDepth > 0 || styleAt[i] == kHidden)
            continue;

        const int style = styleAt[i];
        switch (c) {
        case 0x01: {
            while (nextPicture != pictureAt.cend() && nextPicture->offset < i)
                ++nextPicture;
            if (nextPicture == pictureAt.cend() || nextPicture->offset != i ||
                nextPicture->index >= std::min<std::size_t>(pictures.size(), Glyph::kNoPicture))
                continue;
            const doc::Picture& picture = pictures[nextPicture->index];
            Glyph glyph;
            glyph.style = style;
            glyph.picture = static_cast<std::uint32_t>(nextPicture->index);
            glyph.item.breakAfter = true;
            glyph.item.width = twipsToPixels(std::clamp<double>(picture.width, 0, kMaxPictureTwips));
            glyph.pictureHeight =
                static_cast<float>(twipsToPixels(std::clamp<double>(picture.height, 0, kMaxPictureTwips)));
            glyphs->push_back(glyph);
            continue;
        }
        case 0x09:
            addSpace(style, LineItem::Kind::Tab);
            continue;
        case 0x0B: {
            Glyph glyph;
            glyph.style = style;
            glyph.item.kind = LineItem::Kind::LineBreak;
            glyphs->push_back(glyph);
            continue;
        }
        case 0x0C:
        case 0x0E:
            glyphs = &result.pieces.emplace_back();
            continue;
        case 0x1E: // non-breaking hyphen
            addCharacter(GlyphText(u'-'), style);
            glyphs->back().item.breakAfter = false;
            continue;
        case 0x1F: // optional hyphens show only where Word hyphenates, which it does not here
        case 0xAD:
            continue;
        case 0x200B: { // zero-width space: a break opportunity and nothing else
            Glyph glyph;
            glyph.style = style;
            glyph.item.breakAfter = true;
            glyphs->push_back(glyph);
            continue;
        }
        case u' ':
            addSpace(style, LineItem::Kind::Space);
            continue;
        default:
            if (c < 0x20 || c == 0x7F || (c >= 0xDC00 && c <= 0xDFFF))
                continue;
            if (c >= 0xD800 && c <= 0xDBFF) {
                if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF)
                    continue;
                addCharacter(GlyphText(c, text[i + 1]), style);
                ++i;
                continue;
            }
            addCharacter(GlyphText(c), style);
            continue;
        }
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
        const double raise = styles.look(style).raise;
        result.above = std::max(result.above, fm.ascent + fm.leading + std::max(raise, 0.0));
        result.descent = std::max(result.descent, fm.descent - std::min(raise, 0.0));
        any = true;
    };
    int last = -1; // the style last taken: a line's characters come in runs of one style
    for (std::size_t i = line.begin; i < line.end; ++i) {
        const Glyph& glyph = glyphs[i];
        if (glyph.isPicture()) {
            result.above = std::max(result.above, double{glyph.pictureHeight});
            any = true;
        } else if (glyph.style != last) {
            take(glyph.style);
            last = glyph.style;
        }
    }
    if (!any)
        take(markStyle);
    return result;
}

namespace
{

// A stroke along the text: an underline or a strike-through line.
struct Stroke {
    double y = 0; // top edge, page pixels
    double height = 0;
    QColor color;
};

// The strokes a glyph of one style draws: an underline and one or two strike-through lines. Held inline: a
// line makes these for every character.
struct Strokes {
    std::array<Stroke, 3> items;
    std::size_t count = 0;
    void push_back(const Stroke& stroke) { items[count++] = stroke; }
};

Strokes strokesOf(int style, double baseline, StyleTable& styles)
{
    Strokes strokes;
    const FontMeasures& fm = styles.measures(style);
    const StyleLook& look = styles.look(style);
    const QColor& color = styles.color(style);
    const double base = baseline - look.raise;
    if (styles.underlined(style))
        strokes.push_back({base + fm.underlinePos - fm.lineWidth / 2, fm.lineWidth, color});
    if (look.strike)
        strokes.push_back({base - fm.strikeOutPos - fm.lineWidth / 2, fm.lineWidth, color});
    // Word's double strike-through: two thinner lines about the single one.
    else if (look.doubleStrike)
        for (const double offset : {-fm.lineWidth, fm.lineWidth})
            strokes.push_back({base - fm.strikeOutPos + offset - fm.lineWidth / 4, fm.lineWidth / 2, color});
    return strokes;
}

} // namespace

void addFragments(PageLine& out, std::vector<PageFill>& fills, const std::vector<Glyph>& glyphs,
                  const BrokenLine& line, double originX, StyleTable& styles)
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
        if (glyph.isPicture()) {
            close();
            continue;
        }
        const double baseline = out.baseline - styles.look(glyph.style).raise;
        if (glyph.item.kind == LineItem::Kind::Tab) {
            close();
            if (placement.leader == u' ' || placement.width <= 0)
                continue;
            const QString dot(QChar(placement.leader));
            const double step = styles.advance(glyph.style, dot);
            if (step <= 0)
                continue;
            // As many of the leader's characters as the tab holds, spread evenly over the whole tab one by
            // one: no gap at either end breaks the line's words apart where its text is read back.
            // Underscores make a line: one more than fit, as Word and LibreOffice draw them, the last ending
            // at the tab's end, so that no gap is left before the text after it.
            const bool ruled = placement.leader == u'_';
            const auto count = static_cast<qsizetype>(std::floor(placement.width / step)) + (ruled ? 1 : 0);
            double pitch = 0;
            if (ruled && count > 1)
                pitch = (placement.width - step) / static_cast<double>(count - 1);
            else if (!ruled && count > 0)
                pitch = placement.width / static_cast<double>(count);
            for (qsizetype d = 0; d < count; ++d)
                leaders.push_back({dot, {x + static_cast<double>(d) * pitch, baseline}, step, glyph.style});
            continue;
        }
        // Spaced-out characters are drawn one by one, each where the spacing puts it.
        if (open && out.fragments.back().style == glyph.style && std::abs(openEnd - x) < kFitEpsilon &&
            styles.look(glyph.style).spacing == 0 && !glyphs[i - 1].kerned) {
            out.fragments.back().width += glyph.item.width;
        } else {
            close();
            out.fragments.push_back({QString(), {x, baseline}, glyph.item.width, glyph.style});
            open = true;
        }
        if (glyph.undrawn)
            units.push_back(kUndrawnBox);
        else if (glyph.capital)
            units.push_back(static_cast<char16_t>(QChar::toUpper(glyph.text.units[0])));
        else
            units.append(glyph.text.units.data(), static_cast<std::size_t>(glyph.text.length));
        openEnd = x + glyph.item.width;
    }
    close();
    out.fragments.insert(out.fragments.end(), leaders.begin(), leaders.end());

    // Highlighting fills the line's height behind its characters and the spaces between them. Underlines
    // and strike-through lines run under spaces and tabs between such characters, as one stroke each;
    // strokes in black are the line's, the others fills in their colour.
    std::optional<PageFill> highlight;
    const auto endHighlight = [&] {
        if (highlight)
            fills.push_back(*highlight);
        highlight.reset();
    };
    std::array<std::optional<QRectF>, 3> running; // by place in Strokes
    Strokes runningStrokes;
    const auto endStroke = [&](std::size_t k) {
        if (!running[k])
            return;
        if (runningStrokes.items[k].color == Qt::black)
            out.underlines.push_back(*running[k]);
        else
            fills.push_back({0, *running[k], runningStrokes.items[k].color});
        running[k].reset();
    };
    int lastStyle = -1; // the style strokes and color were worked out for
    Strokes strokes;
    const QColor* color = nullptr;
    for (std::size_t i = line.begin; i < contentEnd; ++i) {
        const Glyph& glyph = glyphs[i];
        if (glyph.style != lastStyle) {
            lastStyle = glyph.style;
            strokes = strokesOf(glyph.style, out.baseline, styles);
            color = &styles.look(glyph.style).highlight;
        }
        const LinePlacement& placement = line.placements[i - line.begin];
        const double x = originX + placement.x;
        if (highlight && (*color != highlight->color || std::abs(highlight->rect.right() - x) > kFitEpsilon))
            endHighlight();
        if (color->isValid()) {
            if (!highlight)
                highlight = PageFill{0, QRectF(x, out.top, 0, out.height), *color};
            highlight->rect.setRight(x + placement.width);
        }
        const std::size_t count =
            glyph.item.kind != LineItem::Kind::LineBreak && !glyph.isPicture() ? strokes.count : 0;
        if (count == 0 && runningStrokes.count == 0)
            continue;
        for (std::size_t k = 0; k < running.size(); ++k) {
            const bool continues =
                k < count && running[k] &&
                std::abs(runningStrokes.items[k].y - strokes.items[k].y) < kFitEpsilon &&
                std::abs(runningStrokes.items[k].height - strokes.items[k].height) < kFitEpsilon &&
                runningStrokes.items[k].color == strokes.items[k].color;
            if (!continues)
                endStroke(k);
            if (k >= count)
                continue;
            if (!running[k])
                running[k] = QRectF(x, strokes.items[k].y, 0, strokes.items[k].height);
            running[k]->setRight(x + placement.width);
        }
        runningStrokes = strokes;
        runningStrokes.count = count;
    }
    endHighlight();
    for (std::size_t k = 0; k < running.size(); ++k)
        endStroke(k);
}

} // namespace render
