#include "render/flow.h"

#include <algorithm>

namespace render
{

namespace
{

inline constexpr double kMaxBorderPoints = 12;      // twice Word's widest border line
inline constexpr double kMaxBorderSpacePoints = 31; // Word's widest gap between a border and the text

// One side of a paragraph's box as it is drawn: a line, or two lines with a gap as wide as one between.
struct Edge {
    double line = 0;  // one line's width
    double space = 0; // between the edge and the text
    doc::Border::Style style = doc::Border::Style::None;
    bool twoLines = false;
    QColor color;

    explicit Edge(const doc::Border& border)
    {
        if (!border.present())
            return;
        const auto clamped = [](double points, double most) {
            return std::isfinite(points) ? pointsToPixels(std::clamp(points, 0.0, most)) : 0.0;
        };
        line = clamped(border.widthPt, kMaxBorderPoints);
        space = clamped(border.spacePt, kMaxBorderSpacePoints);
        style = border.style;
        twoLines = style == doc::Border::Style::Double;
        color = colorOf(border.color, Qt::black);
    }
    double thickness() const { return twoLines ? 3 * line : line; }
    // Draws the edge across [from, to] at depth [near, near + thickness()] along the other axis.
    void draw(std::vector<PageFill>& fills, bool horizontal, double near, double from, double to) const
    {
        if (line <= 0 || to <= from)
            return;
        borderLine(fills, style, horizontal, near, line, from, to, color);
        if (twoLines)
            borderLine(fills, style, horizontal, near + 2 * line, line, from, to, color);
    }
};

// The box a paragraph's borders and shading make, across the column.
struct Box {
    Edge top;
    Edge left;
    Edge bottom;
    Edge right;
    Edge between;
    QColor shading;       // invalid: none
    double innerLeft = 0; // the shading's edges, inside the side borders
    double innerRight = 0;
    bool drawn = false;

    Box(const doc::Paragraph& paragraph, double textLeft, double textRight)
        : top(paragraph.borders.top), left(paragraph.borders.left), bottom(paragraph.borders.bottom),
          right(paragraph.borders.right), between(paragraph.borders.between)
    {
        if (paragraph.shading != doc::kAutoColor)
            shading = colorOf(paragraph.shading, QColor());
        innerLeft = textLeft - left.space;
        innerRight = textRight + right.space;
        drawn = shading.isValid() || top.line > 0 || left.line > 0 || bottom.line > 0 || right.line > 0 ||
                between.line > 0;
    }

    // Fills for one slice of the box, from boxTop to boxBottom, with the top edge at boxTop and the
    // bottom (or between) edge ending at edgeBottom where given.
    std::vector<PageFill> fills(double boxTop, double boxBottom, const Edge* topEdge, const Edge* bottomEdge,
                                double bottomEdgeAt) const
    {
        std::vector<PageFill> result;
        const double outerLeft = innerLeft - left.thickness();
        const double outerRight = innerRight + right.thickness();
        if (shading.isValid() && boxBottom > boxTop)
            result.push_back(
                {0, QRectF(innerLeft, boxTop, innerRight - innerLeft, boxBottom - boxTop), shading});
        if (topEdge)
            topEdge->draw(result, true, boxTop, outerLeft, outerRight);
        if (bottomEdge)
            bottomEdge->draw(result, true, bottomEdgeAt, outerLeft, outerRight);
        left.draw(result, false, outerLeft, boxTop, boxBottom);
        right.draw(result, false, innerRight, boxTop, boxBottom);
        return result;
    }
};

} // namespace

std::vector<Slice> layoutParagraph(std::size_t index, double width, FlowContext& context, BoxJoin join,
                                   const RoomBeside& beside)
{
    if (index >= context.model.paragraphs.size())
        return {};
    const doc::Paragraph& paragraph = context.model.paragraphs[index];
    StyleTable& styles = context.styles;
    const ParagraphText shaped =
        shapeParagraph(paragraph, styles, context.undrawn, context.model.pictures, context.fields);
    const TabRuler ruler = TabRuler::fromParagraph(paragraph, context.defaultTabWidth);
    LineFrame paragraphFrame;
    paragraphFrame.lineStart = indentPx(paragraph.leftIndent);
    paragraphFrame.firstLineStart = paragraphFrame.lineStart + indentPx(paragraph.firstLineIndent);
    const double rightIndent = indentPx(paragraph.rightIndent);
    const double minimumEnd = std::max(paragraphFrame.lineStart, paragraphFrame.firstLineStart) + 1;
    paragraphFrame.lineEnd = std::max(width - rightIndent, minimumEnd);

    const Box box(paragraph, std::min(paragraphFrame.lineStart, paragraphFrame.firstLineStart),
                  paragraphFrame.lineEnd);
    const double spaceBefore = spacePx(paragraph.spaceBefore);
    const Edge* topEdge = box.drawn && !join.previous && box.top.line > 0 ? &box.top : nullptr;
    const double firstTop =
        spaceBefore + (topEdge ? topEdge->thickness() + topEdge->space : 0); // the first line's top

    std::vector<Slice> slices;
    bool firstLine = true;
    bool breakPending = paragraph.pageBreakBefore;
    double lineTop = firstTop; // the next line's, from the paragraph's top
    double lastHeight = 0;
    for (std::size_t piece = 0; piece < shaped.pieces.size(); ++piece) {
        const std::vector<Glyph>& glyphs = shaped.pieces[piece];
        // The paragraph mark makes a line of its own after the last break; a break alone makes an empty
        // page.
        if (glyphs.empty() && piece + 1 < shaped.pieces.size()) {
            Slice empty;
            empty.breakBefore = breakPending;
            slices.push_back(std::move(empty));
            breakPending = true;
            continue;
        }
        std::vector<LineItem> items;
        items.reserve(glyphs.size());
        for (const Glyph& glyph : glyphs)
            items.push_back(glyph.item);
        LineFrame frame = paragraphFrame;
        if (piece > 0)
            frame.firstLineStart = frame.lineStart;
        else
            frame.firstLineStart -= shaped.labelShift;
        // Past a page break the shapes beside the paragraph's start are on another page.
        const auto roomAt = [&](double height) {
            return beside && piece == 0 ? beside(lineTop, height) : std::nullopt;
        };
        const std::size_t pieceBegin = slices.size();
        std::size_t pos = 0; // the next line's first item
        for (bool more = true; more;) {
            const bool first = slices.size() == pieceBegin;
            std::optional<LineRoom> room = roomAt(lastHeight);
            // A line beside a shape is laid out in the room beside it as in a column of its own, then moved
            // onto it.
            BrokenLine line;
            double lineEnd = frame.lineEnd;
            VerticalMetrics metrics;
            double height = 0;
            const auto breakIn = [&] {
                lineEnd = room ? std::max(room->right - room->left - rightIndent, minimumEnd) : frame.lineEnd;
                line = breakLine(items, pos, first ? frame.firstLineStart : frame.lineStart, lineEnd, ruler);
                metrics = lineMetrics(glyphs, line, shaped.markStyle, styles);
                height = lineHeight(metrics.above + metrics.descent, paragraph.lineSpacing,
                                    paragraph.lineSpacingMultiple);
            };
            breakIn();
            if (beside) {
                // The room at the line's top may not reach down its whole height.
                const std::optional<LineRoom> whole = roomAt(height);
                if (whole.has_value() != room.has_value() ||
                    (whole && (whole->left != room->left || whole->right != room->right))) {
                    room = whole;
                    breakIn();
                }
            }
            more = lineFollows(items, line);
            pos = line.end;
            alignLine(line, items, paragraph.alignment, lineEnd, !more);
            const double shift = room ? room->left : 0;
            if (shift != 0) {
                for (LinePlacement& placement : line.placements)
                    placement.x += shift;
                line.contentRight += shift;
            }
            Slice slice;
            slice.breakBefore = breakPending;
            breakPending = false;
            const double top = firstLine ? firstTop : 0;
            firstLine = false;
            PageLine out;
            out.paragraph = static_cast<int>(index);
            out.top = top;
            out.height = height;
            out.baseline = top + baselineInLine(metrics.above, metrics.descent, height, paragraph.lineSpacing,
                                                paragraph.lineSpacingMultiple);
            out.left = line.placements.empty() ? shift + (first ? frame.firstLineStart : frame.lineStart)
                                               : line.placements.front().x;
            out.right = line.contentRight;
            addFragments(out, slice.content.fills, glyphs, line, 0, styles);
            for (std::size_t i = line.begin; i < line.end; ++i) {
                const Glyph& glyph = glyphs[i];
                if (!glyph.isPicture())
                    continue;
                const double x = line.placements[i - line.begin].x;
                slice.content.images.push_back(
                    {0, QRectF(x, out.baseline - glyph.pictureHeight, glyph.item.width, glyph.pictureHeight),
                     context.pictures.image(glyph.picture),
                     pictureName(context.model.pictures[glyph.picture].format)});
            }
            slice.content.lines.push_back(std::move(out));
            slice.height = top + height;
            slices.push_back(std::move(slice));
            lineTop += height;
            lastHeight = height;
        }
        // Widow and orphan control: never one line of a paragraph alone at the foot or the head of a page.
        const std::size_t pieceEnd = slices.size();
        if (paragraph.widowControl && pieceEnd - pieceBegin > 1) {
            slices[pieceBegin].keepWithNext = true;
            slices[pieceEnd - 2].keepWithNext = true;
        }
        if (piece + 1 < shaped.pieces.size())
            breakPending = true;
    }
    if (slices.empty())
        return slices;
    if (paragraph.keepTogether)
        for (std::size_t s = 0; s + 1 < slices.size(); ++s)
            slices[s].keepWithNext = true;
    slices.back().keepWithNext = paragraph.keepWithNext;

    // The space after, inside the box when the next paragraph shares it, under the bottom edge when not.
    Slice& last = slices.back();
    const Edge* bottomEdge = nullptr;
    double bottomEdgeAt = last.height;
    if (box.drawn) {
        const Edge& edge = join.next ? box.between : box.bottom;
        if (edge.line > 0) {
            bottomEdge = &edge;
            bottomEdgeAt = last.height + edge.space;
            last.height = bottomEdgeAt + edge.thickness();
        }
    }
    const double boxBottom = last.height + (join.next ? spacePx(paragraph.spaceAfter) : 0);
    last.height += spacePx(paragraph.spaceAfter);
    if (!box.drawn)
        return slices;

    bool first = true;
    for (Slice& slice : slices) {
        if (slice.content.lines.empty())
            continue; // a page break's empty page
        const bool lastLine = &slice == &slices.back();
        const double sliceTop = first && !join.previous ? spaceBefore : 0;
        std::vector<PageFill> fills =
            box.fills(sliceTop, lastLine ? boxBottom : slice.height, first ? topEdge : nullptr,
                      lastLine ? bottomEdge : nullptr, bottomEdgeAt);
        // Under the highlighting and coloured strokes of the line.
        fills.insert(fills.end(), slice.content.fills.begin(), slice.content.fills.end());
        slice.content.fills = std::move(fills);
        first = false;
    }
    return slices;
}

} // namespace render
