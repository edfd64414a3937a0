#include "render/linebreaker.h"

#include <algorithm>
#include <optional>

namespace render
{

namespace
{

// Lines may reach lineEnd within this much: widths are sums of 1/64-pixel advances.
constexpr double kFitEpsilon = 1e-3;

bool isAlignedTab(doc::TabStop::Alignment alignment)
{
    return alignment == doc::TabStop::Alignment::Center || alignment == doc::TabStop::Alignment::Right ||
           alignment == doc::TabStop::Alignment::Decimal;
}

// The text after a center, right or decimal tab, up to the next tab or the line's end.
struct AlignedSegment {
    std::size_t tab = 0; // index of the tab's placement
    double tabX = 0;
    TabRuler::Stop stop;
    double width = 0;
    std::optional<double> beforeDecimal;

    double start() const
    {
        double target = stop.position;
        switch (stop.alignment) {
        case doc::TabStop::Alignment::Center:
            target -= width / 2;
            break;
        case doc::TabStop::Alignment::Decimal:
            target -= beforeDecimal.value_or(width);
            break;
        default:
            target -= width;
            break;
        }
        return std::max(tabX, target);
    }

    void add(const LineItem& item)
    {
        if (item.decimalPoint && !beforeDecimal)
            beforeDecimal = width;
        width += item.width;
    }
};

// The right end of a line as items are added to it, without placing each item: what the line breaker
// needs to know in constant time per item.
class LineCursor
{
public:
    explicit LineCursor(double start) : mX(start) {}

    double end() const { return mSegment ? mSegment->start() + mSegment->width : mX; }

    void addTab(std::size_t index, const TabRuler::Stop& stop)
    {
        mX = end();
        mSegment.reset();
        if (isAlignedTab(stop.alignment))
            mSegment = AlignedSegment{index, mX, stop, 0, std::nullopt};
        else
            mX = stop.position;
    }

    void add(const LineItem& item)
    {
        if (mSegment)
            mSegment->add(item);
        else
            mX += item.width;
    }

    const std::optional<AlignedSegment>& segment() const { return mSegment; }

private:
    double mX;
    std::optional<AlignedSegment> mSegment;
};

} // namespace

BrokenLine placeLine(const std::vector<LineItem>& items, std::size_t begin, std::size_t end, double start,
                     const TabRuler& ruler)
{
    BrokenLine line;
    line.begin = begin;
    line.end = end;
    line.placements.resize(end - begin);
    line.contentRight = start;

    LineCursor cursor(start);
    // Places the items after an aligned tab once its segment is complete.
    auto closeSegment = [&](std::size_t stopAt) {
        const std::optional<AlignedSegment>& segment = cursor.segment();
        if (!segment)
            return;
        const double segmentStart = segment->start();
        line.placements[segment->tab].width = segmentStart - segment->tabX;
        double x = segmentStart;
        for (std::size_t k = segment->tab + 1; k < stopAt; ++k) {
            line.placements[k].x = x;
            line.placements[k].width = items[begin + k].width;
            x += items[begin + k].width;
        }
    };
    for (std::size_t i = begin; i < end; ++i) {
        const LineItem& item = items[i];
        LinePlacement& placement = line.placements[i - begin];
        if (item.kind == LineItem::Kind::Tab) {
            closeSegment(i - begin);
            const double x = cursor.end();
            const TabRuler::Stop stop = resolveTab(ruler, x);
            cursor.addTab(i - begin, stop);
            placement = {x, isAlignedTab(stop.alignment) ? 0 : stop.position - x, stop.leader};
            continue;
        }
        if (!cursor.segment())
            placement = {cursor.end(), item.width, u' '};
        cursor.add(item);
    }
    closeSegment(end - begin);

    for (std::size_t i = end; i > begin; --i) {
        const LineItem::Kind kind = items[i - 1].kind;
        if (kind == LineItem::Kind::Space || kind == LineItem::Kind::LineBreak)
            continue;
        const LinePlacement& last = line.placements[i - 1 - begin];
        line.contentRight = last.x + last.width;
        line.hasContent = true;
        break;
    }
    return line;
}

BrokenLine breakLine(const std::vector<LineItem>& items, std::size_t pos, double start, double lineEnd,
                     const TabRuler& ruler)
{
    LineCursor cursor(start);
    std::optional<std::size_t> lastBreak;
    std::size_t end = items.size();
    for (std::size_t i = pos; i < items.size(); ++i) {
        const LineItem& item = items[i];
        if (item.kind == LineItem::Kind::LineBreak) {
            end = i + 1;
            break;
        }
        bool overflows = false;
        if (item.kind == LineItem::Kind::Tab) {
            const TabRuler::Stop stop = resolveTab(ruler, cursor.end());
            overflows = stop.position > lineEnd + kFitEpsilon;
            cursor.addTab(i, stop);
        } else {
            cursor.add(item);
            // Spaces may hang past the line's end.
            overflows = item.kind == LineItem::Kind::Text && cursor.end() > lineEnd + kFitEpsilon;
        }
        if (overflows && i > pos) {
            // A tab that does not fit starts the next line; text goes back to the last opportunity.
            if (item.kind == LineItem::Kind::Tab || !lastBreak)
                end = i;
            else
                end = *lastBreak + 1;
            break;
        }
        if (item.breakAfter)
            lastBreak = i;
    }
    return placeLine(items, pos, end, start, ruler);
}

bool lineFollows(const std::vector<LineItem>& items, const BrokenLine& line)
{
    return line.end < items.size() ||
           (line.end > line.begin && items[line.end - 1].kind == LineItem::Kind::LineBreak);
}

std::vector<BrokenLine> breakLines(const std::vector<LineItem>& items, const LineFrame& frame,
                                   const TabRuler& ruler)
{
    std::vector<BrokenLine> lines;
    do {
        const std::size_t pos = lines.empty() ? 0 : lines.back().end;
        lines.push_back(breakLine(items, pos, lines.empty() ? frame.firstLineStart : frame.lineStart,
                                  frame.lineEnd, ruler));
    } while (lineFollows(items, lines.back()));
    return lines;
}

void alignLine(BrokenLine& line, const std::vector<LineItem>& items, doc::Paragraph::Alignment alignment,
               double lineEnd, bool lastLineOfParagraph)
{
    double shift = 0;
    const double room = lineEnd - line.contentRight;
    switch (alignment) {
    case doc::Paragraph::Alignment::Left:
        return;
    case doc::Paragraph::Alignment::Center:
        shift = std::max(0.0, room / 2);
        break;
    case doc::Paragraph::Alignment::Right:
        shift = std::max(0.0, room);
        break;
    case doc::Paragraph::Alignment::Justify: {
        if (lastLineOfParagraph || room <= 0 || !line.hasContent)
            return;
        std::size_t contentEnd = line.begin;
        std::size_t afterLastTab = line.begin;
        for (std::size_t i = line.begin; i < line.end; ++i) {
            const LineItem::Kind kind = items[i].kind;
            if (kind == LineItem::Kind::Tab)
                afterLastTab = i + 1;
            if (kind != LineItem::Kind::Space && kind != LineItem::Kind::LineBreak)
                contentEnd = i + 1;
        }
        std::size_t spaces = 0;
        for (std::size_t i = afterLastTab; i < contentEnd; ++i)
            spaces += items[i].kind == LineItem::Kind::Space ? 1 : 0;
        if (spaces == 0)
            return;
        const double extra = room / static_cast<double>(spaces);
        double moved = 0;
        for (std::size_t i = afterLastTab; i < line.end; ++i) {
            LinePlacement& placement = line.placements[i - line.begin];
            placement.x += moved;
            if (i < contentEnd && items[i].kind == LineItem::Kind::Space) {
                placement.width += extra;
                moved += extra;
            }
        }
        line.contentRight += moved;
        return;
    }
    }
    for (LinePlacement& placement : line.placements)
        placement.x += shift;
    line.contentRight += shift;
}

} // namespace render
