#include "render/flow.h"
#include "render/units.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <map>

namespace render
{

namespace
{

// The model holds tables one level deep in cells; deeper is damage (a cell holding its own table), left out.
constexpr int kMaxTableNesting = 3;
thread_local int tableNesting = 0;

// Word's thinnest and widest border lines.
constexpr double kMinBorderPt = 0.25;
constexpr double kMaxBorderPt = 6;

// Word's tallest row and widest table, 22 inches; more is damage.
constexpr std::int32_t kMaxLengthTwips = 31680;

// Positions closer than this are the same place.
constexpr double kSame = 1e-3;

// A cell's edge, from the table column's left edge.
double edgePx(std::int32_t twips)
{
    return twipsToPixels(std::clamp(twips, -kMaxLengthTwips, kMaxLengthTwips));
}

// A cell margin or a row height, made sound.
double lengthPx(std::int32_t twips)
{
    return twipsToPixels(std::clamp(twips, 0, kMaxLengthTwips));
}

double lineWidth(const doc::Border& border)
{
    return pointsToPixels(std::isfinite(border.widthPt)
                              ? std::clamp(border.widthPt, kMinBorderPt, kMaxBorderPt)
                              : kMinBorderPt);
}

// A double border is two lines with a line's width between them.
double totalWidth(const doc::Border& border)
{
    return border.style == doc::Border::Style::Double ? 3 * lineWidth(border) : lineWidth(border);
}

// The border drawn on an edge two cells share: the one present, else the wider, else the upper or left one's.
doc::Border sharedBorder(const doc::Border& upperOrLeft, const doc::Border& lowerOrRight)
{
    if (!upperOrLeft.present())
        return lowerOrRight;
    if (!lowerOrRight.present())
        return upperOrLeft;
    return totalWidth(lowerOrRight) > totalWidth(upperOrLeft) ? lowerOrRight : upperOrLeft;
}

// A border along an edge from `from` to `to`, centred on the edge at `across`, as fills: its lines across
// the edge.
void drawBorder(Placed& out, const doc::Border& border, bool horizontal, double across, double from,
                double to)
{
    if (!border.present() || to <= from)
        return;
    const double line = lineWidth(border);
    const double total = totalWidth(border);
    const QColor color = colorOf(border.color, Qt::black);
    std::vector<double> offsets{-total / 2};
    if (border.style == doc::Border::Style::Double)
        offsets.push_back(total / 2 - line);
    for (const double offset : offsets)
        borderLine(out.fills, border.style, horizontal, across + offset, line, from, to, color);
}

// Half a border: the inner half of a border centred on a cell's edge, which the cell's text keeps clear of.
double halfBorder(const doc::Border& border)
{
    return border.present() ? totalWidth(border) / 2 : 0;
}

// Where a cell's text column starts and ends, from the table column's left edge.
double textLeft(const doc::TableCell& cell)
{
    return edgePx(cell.left) + lengthPx(cell.marginLeft) + halfBorder(cell.borders.left);
}

double textRight(const doc::TableCell& cell)
{
    return edgePx(cell.right) - lengthPx(cell.marginRight) - halfBorder(cell.borders.right);
}

// A cell as laid out: merged down, the cell of its first row standing for all the rows it spans.
struct Box {
    const doc::TableCell* cell = nullptr;
    std::size_t firstRow = 0;
    std::size_t lastRow = 0;
    std::vector<Slice> content;
    double contentHeight = 0;
};

// A row's place in a box: the box, and the row's own cell there (its borders).
struct RowCell {
    std::size_t box = 0;
    const doc::TableCell* own = nullptr;
};

// A piece of a cell's content: a slice from the cell's blocks, at top in the row piece it is in.
struct Unit {
    double top = 0;
    const Slice* slice = nullptr;
    double bottom() const { return top + slice->height; }
};

// A part of a row that goes on a page whole, its cells' units by the row's cells.
struct Piece {
    double height = 0;
    std::vector<std::vector<Unit>> cells;
};

// Where the piece may be cut without cutting a unit: under a unit that no unit of another cell crosses. In
// order, each once.
std::vector<double> cleanCuts(const Piece& piece)
{
    std::vector<std::pair<double, double>> spans; // each unit's top and bottom, by top
    for (const std::vector<Unit>& units : piece.cells)
        for (const Unit& unit : units)
            spans.emplace_back(unit.top, unit.bottom());
    std::sort(spans.begin(), spans.end());
    std::vector<double> bottoms;
    for (const auto& span : spans)
        bottoms.push_back(span.second);
    std::sort(bottoms.begin(), bottoms.end());

    std::vector<double> cuts;
    double reach = 0; // the lowest bottom of the units starting above the cut
    std::size_t above = 0;
    for (const double cut : bottoms) {
        if (cut <= kSame || cut >= piece.height - kSame || (!cuts.empty() && cut <= cuts.back() + kSame))
            continue;
        for (; above < spans.size() && spans[above].first < cut - kSame; ++above)
            reach = std::max(reach, spans[above].second);
        if (reach <= cut + kSame)
            cuts.push_back(cut);
    }
    return cuts;
}

// Cuts a piece where no unit crosses, at cuts in order: each unit goes to the piece it starts in.
std::vector<Piece> cutAt(const Piece& piece, const std::vector<double>& cuts)
{
    std::vector<Piece> pieces(cuts.size() + 1);
    for (std::size_t p = 0; p < pieces.size(); ++p) {
        const double top = p == 0 ? 0 : cuts[p - 1];
        pieces[p].height = (p < cuts.size() ? cuts[p] : piece.height) - top;
        pieces[p].cells.resize(piece.cells.size());
    }
    for (std::size_t c = 0; c < piece.cells.size(); ++c) {
        for (const Unit& unit : piece.cells[c]) {
            const auto p = static_cast<std::size_t>(
                std::upper_bound(cuts.begin(), cuts.end(), unit.top + kSame) - cuts.begin());
            pieces[p].cells[c].push_back({unit.top - (p == 0 ? 0 : cuts[p - 1]), unit.slice});
        }
    }
    return pieces;
}

// Cuts a piece at cut: each cell's units under the cut go on, moved up so that the first starts the next
// piece; a unit that starts the piece stays even when it reaches past the cut, as a page's first line does.
std::pair<Piece, Piece> split(const Piece& piece, double cut)
{
    Piece first;
    Piece rest;
    first.height = cut;
    for (const std::vector<Unit>& units : piece.cells) {
        std::vector<Unit>& kept = first.cells.emplace_back();
        std::vector<Unit>& moved = rest.cells.emplace_back();
        for (const Unit& unit : units) {
            if (moved.empty() && (unit.bottom() <= cut + kSame || unit.top <= kSame)) {
                kept.push_back(unit);
                first.height = std::max(first.height, unit.bottom());
            } else {
                moved.push_back(unit);
            }
        }
    }
    // A cell whose units moved up less than the cut keeps the room under them.
    rest.height = std::max(0.0, piece.height - first.height);
    for (std::vector<Unit>& moved : rest.cells) {
        if (moved.empty())
            continue;
        const double shift = std::min(cut, moved.front().top);
        for (Unit& unit : moved)
            unit.top -= shift;
        rest.height = std::max(rest.height, piece.height - shift);
    }
    return {std::move(first), std::move(rest)};
}

class TableLayout
{
public:
    TableLayout(const doc::Table& table, double pageHeight, FlowContext& context)
        : mTable(table), mPageHeight(pageHeight >= 1 ? pageHeight : std::numeric_limits<double>::infinity())
    {
        placeBoxes(context);
        sizeRows();
    }

    std::vector<Slice> slices() const;

private:
    void placeBoxes(FlowContext& context);
    void sizeRows();
    Piece wholeRow(std::size_t row) const;
    std::vector<Piece> pieces(std::size_t row) const;
    Slice slice(std::size_t row, const Piece& piece, bool first, bool last) const;
    void shade(Placed& out, std::size_t row, double height) const;
    void drawBorders(Placed& out, std::size_t row, double height, bool first, bool last) const;
    const doc::TableCell* cellAt(std::size_t row, double x) const;

    const doc::Table& mTable;
    double mPageHeight;
    std::vector<Box> mBoxes;
    std::vector<std::vector<RowCell>> mRows;
    std::vector<double> mHeights;
    std::vector<double> mTops;
};

void TableLayout::placeBoxes(FlowContext& context)
{
    std::map<std::int32_t, std::size_t> open; // by their left edge, boxes a cell of the next row may continue
    for (std::size_t r = 0; r < mTable.rows.size(); ++r) {
        std::vector<RowCell>& row = mRows.emplace_back();
        std::map<std::int32_t, std::size_t> stillOpen;
        for (const doc::TableCell& cell : mTable.rows[r].cells) {
            const auto above = open.find(cell.left);
            if (cell.verticalMerge == doc::TableCell::VerticalMerge::Continue && above != open.end()) {
                mBoxes[above->second].lastRow = r;
                row.push_back({above->second, &cell});
                stillOpen[cell.left] = above->second;
                open.erase(above);
                continue;
            }
            Box box;
            box.cell = &cell;
            box.firstRow = box.lastRow = r;
            const double width = std::max(1.0, textRight(cell) - textLeft(cell));
            box.content = layoutBlocks(cell.blocks, width, context);
            for (const Slice& slice : box.content)
                box.contentHeight += slice.height;
            if (cell.verticalMerge == doc::TableCell::VerticalMerge::Restart)
                stillOpen[cell.left] = mBoxes.size();
            row.push_back({mBoxes.size(), &cell});
            mBoxes.push_back(std::move(box));
        }
        open = std::move(stillOpen);
    }
}

void TableLayout::sizeRows()
{
    auto needs = [](const Box& box) {
        return lengthPx(box.cell->marginTop) + box.contentHeight + lengthPx(box.cell->marginBottom);
    };
    for (std::size_t r = 0; r < mTable.rows.size(); ++r) {
        double need = 0;
        for (const RowCell& rc : mRows[r]) {
            const Box& box = mBoxes[rc.box];
            if (box.firstRow == box.lastRow)
                need = std::max(need, needs(box));
        }
        const std::int32_t rule = mTable.rows[r].height;
        mHeights.push_back(rule < 0 ? lengthPx(-std::max(rule, -kMaxLengthTwips))
                                    : std::max(need, lengthPx(rule)));
    }
    // A merged cell's content grows the last row it spans that is not of exact height.
    for (const Box& box : mBoxes) {
        double have = 0;
        for (std::size_t r = box.firstRow; r <= box.lastRow; ++r)
            have += mHeights[r];
        for (std::size_t r = box.lastRow + 1; r-- > box.firstRow;) {
            if (mTable.rows[r].height >= 0) {
                mHeights[r] += std::max(0.0, needs(box) - have);
                break;
            }
        }
    }
    double top = 0;
    for (const double height : mHeights) {
        mTops.push_back(top);
        top += height;
    }
}

// The row's units where the whole row stands: a merged cell's in the rows they fall in, content past the
// bottom of a cell of exact height left out.
Piece TableLayout::wholeRow(std::size_t row) const
{
    Piece piece;
    piece.height = mHeights[row];
    for (const RowCell& rc : mRows[row]) {
        std::vector<Unit>& units = piece.cells.emplace_back();
        const Box& box = mBoxes[rc.box];
        const double spanTop = mTops[box.firstRow];
        const double spanBottom = mTops[box.lastRow] + mHeights[box.lastRow];
        const double room =
            spanBottom - spanTop - lengthPx(box.cell->marginTop) - lengthPx(box.cell->marginBottom);
        double y = spanTop + lengthPx(box.cell->marginTop);
        switch (box.cell->verticalAlignment) {
        case doc::TableCell::VerticalAlignment::Top:
            break;
        case doc::TableCell::VerticalAlignment::Center:
            y += std::max(0.0, (room - box.contentHeight) / 2);
            break;
        case doc::TableCell::VerticalAlignment::Bottom:
            y += std::max(0.0, room - box.contentHeight);
            break;
        }
        for (const Slice& slice : box.content) {
            const double top = y;
            y += slice.height;
            if (top + slice.height / 2 > spanBottom + kSame)
                break;
            std::size_t in = box.firstRow;
            while (in < box.lastRow && mTops[in + 1] <= top + kSame)
                ++in;
            if (in == row)
                units.push_back({top - mTops[row], &slice});
        }
    }
    return piece;
}

// A row in pieces. One that may break is cut wherever no line of its cells is cut, so that a page may end
// there; one that may not is cut only when it is taller than a page, as few times as it can. A piece still
// taller than a page is cut where the page ends, each cell's lines going to the piece they end in.
std::vector<Piece> TableLayout::pieces(std::size_t row) const
{
    const bool mayBreak = !mTable.rows[row].cantSplit;
    std::vector<Piece> result;
    Piece piece = wholeRow(row);
    for (;;) {
        const std::vector<double> cuts = cleanCuts(piece);
        std::vector<double> chosen;
        double start = 0;
        for (std::size_t i = 0; i < cuts.size() && cuts[i] - start <= mPageHeight + kSame; ++i) {
            const bool last = i + 1 == cuts.size() || cuts[i + 1] - start > mPageHeight + kSame;
            if (mayBreak || (last && piece.height - start > mPageHeight + kSame)) {
                chosen.push_back(cuts[i]);
                start = cuts[i];
            }
        }
        std::vector<Piece> cut = cutAt(piece, chosen);
        piece = std::move(cut.back());
        cut.pop_back();
        std::move(cut.begin(), cut.end(), std::back_inserter(result));
        if (piece.height <= mPageHeight + kSame) {
            result.push_back(std::move(piece));
            return result;
        }
        auto [first, rest] = split(piece, mPageHeight);
        result.push_back(std::move(first));
        if (rest.height <= kSame)
            return result;
        piece = std::move(rest);
    }
}

const doc::TableCell* TableLayout::cellAt(std::size_t row, double x) const
{
    for (const RowCell& rc : mRows[row])
        if (edgePx(rc.own->left) <= x && x < edgePx(rc.own->right))
            return rc.own;
    return nullptr;
}

// The row's cells' shading over a piece of the row height high.
void TableLayout::shade(Placed& out, std::size_t row, double height) const
{
    for (const RowCell& rc : mRows[row]) {
        const doc::TableCell& origin = *mBoxes[rc.box].cell;
        if (origin.shading != doc::kAutoColor)
            out.fills.push_back(PageFill{
                0, QRectF(edgePx(rc.own->left), 0, edgePx(rc.own->right) - edgePx(rc.own->left), height),
                colorOf(origin.shading, Qt::black)});
    }
}

// The borders of the row's cells over a piece of the row height high. An edge two cells share is drawn once,
// with the border they resolve to; the edge between two rows is drawn by both rows' pieces, in the same
// place, so that it shows where a page breaks between them.
void TableLayout::drawBorders(Placed& out, std::size_t row, double height, bool first, bool last) const
{
    const std::vector<RowCell>& cells = mRows[row];
    for (std::size_t c = 0; c < cells.size(); ++c) {
        const doc::TableCell& own = *cells[c].own;
        const Box& box = mBoxes[cells[c].box];
        const double left = edgePx(own.left);
        const double right = edgePx(own.right);
        const double middle = (left + right) / 2;

        const bool leftShared = c > 0 && cells[c - 1].own->right == own.left;
        drawBorder(out,
                   leftShared ? sharedBorder(cells[c - 1].own->borders.right, own.borders.left)
                              : own.borders.left,
                   false, left, 0, height);
        if (c + 1 == cells.size() || cells[c + 1].own->left != own.right)
            drawBorder(out, own.borders.right, false, right, 0, height);

        if (first && box.firstRow == row) {
            const doc::TableCell* above = row > 0 ? cellAt(row - 1, middle) : nullptr;
            const doc::Border top =
                above ? sharedBorder(above->borders.bottom, own.borders.top) : own.borders.top;
            const double reach = totalWidth(top) / 2;
            drawBorder(out, top, true, 0, left - reach, right + reach);
        }
        if (last && box.lastRow == row) {
            const doc::TableCell* below = row + 1 < mRows.size() ? cellAt(row + 1, middle) : nullptr;
            const doc::Border bottom =
                below ? sharedBorder(own.borders.bottom, below->borders.top) : own.borders.bottom;
            const double reach = totalWidth(bottom) / 2;
            drawBorder(out, bottom, true, height, left - reach, right + reach);
        }
    }
}

Slice TableLayout::slice(std::size_t row, const Piece& piece, bool first, bool last) const
{
    Slice out;
    out.height = piece.height;
    shade(out.content, row, piece.height);
    for (std::size_t c = 0; c < piece.cells.size(); ++c) {
        const doc::TableCell& cell = *mBoxes[mRows[row][c].box].cell;
        for (const Unit& unit : piece.cells[c])
            out.content.append(unit.slice->content, textLeft(cell), unit.top);
    }
    drawBorders(out.content, row, piece.height, first, last);
    return out;
}

std::vector<Slice> TableLayout::slices() const
{
    std::size_t headerRows = 0;
    while (headerRows < mTable.rows.size() && mTable.rows[headerRows].header)
        ++headerRows;
    if (headerRows == mTable.rows.size())
        headerRows = 0;

    std::vector<Slice> result;
    std::shared_ptr<const std::vector<Slice>> header;
    for (std::size_t r = 0; r < mTable.rows.size(); ++r) {
        if (r == headerRows && headerRows > 0)
            header = std::make_shared<const std::vector<Slice>>(result);
        const std::vector<Piece> rowPieces = pieces(r);
        for (std::size_t p = 0; p < rowPieces.size(); ++p) {
            Slice s = slice(r, rowPieces[p], p == 0, p + 1 == rowPieces.size());
            s.keepWithNext = r < headerRows;
            s.repeatedHeader = header;
            result.push_back(std::move(s));
        }
    }
    return result;
}

} // namespace

void borderLine(std::vector<PageFill>& fills, doc::Border::Style style, bool horizontal, double near,
                double width, double from, double to, const QColor& color)
{
    double dash = to - from;
    if (style == doc::Border::Style::Dotted)
        dash = width;
    else if (style == doc::Border::Style::Dashed)
        dash = 3 * width;
    if (!(dash > 0))
        return;
    for (double start = from; start < to; start += 2 * dash) {
        const double end = std::min(start + dash, to);
        fills.push_back(
            {0,
             horizontal ? QRectF(start, near, end - start, width) : QRectF(near, start, width, end - start),
             color});
    }
}

std::vector<Slice> layoutTable(const doc::Table& table, double, double pageHeight, FlowContext& context)
{
    if (tableNesting >= kMaxTableNesting)
        return {};
    ++tableNesting;
    struct Leave {
        ~Leave() { --tableNesting; }
    } leave;
    return TableLayout(table, pageHeight, context).slices();
}

void drawFrame(Placed& out, const doc::Border& border, const QRectF& rect)
{
    const double half = border.present() ? totalWidth(border) / 2 : 0;
    drawBorder(out, border, true, rect.top(), rect.left() - half, rect.right() + half);
    drawBorder(out, border, true, rect.bottom(), rect.left() - half, rect.right() + half);
    drawBorder(out, border, false, rect.left(), rect.top(), rect.bottom());
    drawBorder(out, border, false, rect.right(), rect.top(), rect.bottom());
}

} // namespace render
