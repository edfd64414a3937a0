// A table row's TAP from its row mark's grpprl ([MS-DOC] 2.6.4 table properties).

#include "doc/rowformat.h"

#include "doc/wordformat.h"

#include <algorithm>

namespace doc::word
{

namespace
{

constexpr std::size_t kTc80Size = 20;
constexpr std::size_t kBrc80Size = 4;
constexpr std::size_t kBrcSize = 8;
constexpr std::size_t kShd80Size = 2;
constexpr std::size_t kShdSize = 10;
constexpr std::size_t kShdPerSprm = 22; // the cells each of DefTableShd, 2nd and 3rd covers
constexpr std::int32_t kFtsDxa = 3;

// The operand of a sprm with a cb byte, without it; empty when cb claims more than is there.
std::span<const std::uint8_t> sized(const Prl& prl)
{
    if (prl.operand.empty() || prl.operand[0] + 1u > prl.operand.size())
        return {};
    return prl.operand.subspan(1, prl.operand[0]);
}

TableCell::VerticalMerge verticalMerge(unsigned flag)
{
    switch (flag) {
    case 0:
        return TableCell::VerticalMerge::None;
    case 1:
        return TableCell::VerticalMerge::Continue;
    default:
        return TableCell::VerticalMerge::Restart;
    }
}

TableCell::VerticalAlignment verticalAlignment(unsigned va)
{
    switch (va) {
    case 1:
        return TableCell::VerticalAlignment::Center;
    case 2:
        return TableCell::VerticalAlignment::Bottom;
    default:
        return TableCell::VerticalAlignment::Top;
    }
}

// TDefTableOperand: the column count, its edges, then up to that many TC80s.
bool defineTable(RowFormat& row, std::span<const std::uint8_t> operand)
{
    ByteCursor c(operand);
    c.skip(2); // cb
    const std::size_t columns = c.u8();
    std::vector<std::int32_t> edges(columns + 1);
    for (auto& edge : edges)
        edge = c.i16();
    if (!c.ok() || !std::is_sorted(edges.begin(), edges.end()))
        return false;
    row.cells.assign(columns, CellFormat{});
    for (std::size_t i = 0; i < columns; ++i) {
        CellFormat& cell = row.cells[i];
        cell.left = edges[i];
        cell.right = edges[i + 1];
        if (c.remaining() < kTc80Size)
            continue;
        const std::uint16_t tcgrf = c.u16();
        c.skip(2); // wWidth
        cell.horizontalMerge = tcgrf & 0x0003;
        cell.verticalMerge = verticalMerge((tcgrf >> 5) & 0x0003);
        cell.verticalAlignment = verticalAlignment((tcgrf >> 7) & 0x0003);
        for (auto& side : cell.borders) {
            const Border border = borderFrom(c.bytes(kBrc80Size));
            if (border.present())
                side = border;
        }
    }
    row.defined = true;
    return true;
}

// The cells [itcFirst, itcLim) of an operand that starts with the two, clipped to the row.
template <typename Apply> void forCells(RowFormat& row, std::span<const std::uint8_t> operand, Apply apply)
{
    if (operand.size() < 2)
        return;
    const std::size_t last = std::min<std::size_t>(operand[1], row.cells.size());
    for (std::size_t i = operand[0]; i < last; ++i)
        apply(row.cells[i]);
}

// SetBrc80 / SetBrc: the cells' chosen sides (bordersToApply: top, left, bottom, right) take the Brc.
void setBorders(RowFormat& row, std::span<const std::uint8_t> operand, std::size_t brcSize)
{
    if (operand.size() < 3 + brcSize)
        return;
    const std::uint8_t sides = operand[2];
    const Border border = borderFrom(operand.subspan(3, brcSize));
    forCells(row, operand, [&](CellFormat& cell) {
        for (std::size_t side = 0; side < cell.borders.size(); ++side)
            if (sides & (1u << side))
                cell.borders[side] = border;
    });
}

void setTableBorders(RowFormat& row, std::span<const std::uint8_t> operand, std::size_t brcSize)
{
    if (operand.size() < row.tableBorders.size() * brcSize)
        return;
    for (std::size_t side = 0; side < row.tableBorders.size(); ++side)
        row.tableBorders[side] = borderFrom(operand.subspan(side * brcSize, brcSize));
}

// The fills of cells from first on, one Shd80 or Shd each.
void setShading(std::vector<std::uint32_t>& fills, std::span<const std::uint8_t> operand, std::size_t shdSize,
                std::size_t first)
{
    const std::size_t count = operand.size() / shdSize;
    if (fills.size() < first + count)
        fills.resize(first + count, kAutoColor);
    for (std::size_t i = 0; i < count; ++i)
        fills[first + i] = shadingFrom(operand.subspan(i * shdSize, shdSize));
}

// CSSAOperand: itcFirst, itcLim, the sides (top, left, bottom, right), ftsWidth, wWidth.
struct Padding {
    std::uint8_t itcFirst = 0;
    std::uint8_t itcLim = 0;
    std::uint8_t sides = 0;
    std::int32_t width = 0;
};

std::optional<Padding> readPadding(std::span<const std::uint8_t> operand)
{
    ByteCursor c(operand);
    Padding padding;
    padding.itcFirst = c.u8();
    padding.itcLim = c.u8();
    padding.sides = c.u8();
    const std::uint8_t fts = c.u8();
    padding.width = c.u16();
    if (!c.ok() || fts != kFtsDxa)
        return std::nullopt;
    return padding;
}

} // namespace

RowFormat readRowFormat(std::span<const std::uint8_t> grpprl)
{
    RowFormat row;
    std::int32_t gapHalf = 0;
    std::array<std::optional<std::int32_t>, 4> defaultPadding{};
    std::vector<Padding> cellPadding;
    std::vector<std::uint32_t> shading80;
    std::vector<std::uint32_t> shading;
    for (const Prl& prl : readGrpprl(grpprl)) {
        ByteCursor c(prl.operand);
        switch (prl.sprm) {
        case sprm::TDefTable:
            if (!defineTable(row, prl.operand))
                return RowFormat{};
            break;
        case sprm::TDxaLeft:
            // It places the first cell's text, half a gap inside the cell's left edge, moving the
            // cells defined so far.
            if (!row.cells.empty()) {
                const std::int32_t shift = c.i16() - (row.cells.front().left + gapHalf);
                for (auto& cell : row.cells) {
                    cell.left += shift;
                    cell.right += shift;
                }
            }
            break;
        case sprm::TDxaGapHalf:
            gapHalf = c.i16();
            break;
        case sprm::TJc90:
        case sprm::TJc:
            switch (c.u8()) { // the low byte of its two
            case 1:
                row.alignment = RowFormat::Alignment::Center;
                break;
            case 2:
                row.alignment = RowFormat::Alignment::Right;
                break;
            default:
                row.alignment = RowFormat::Alignment::Left;
                break;
            }
            break;
        case sprm::TDyaRowHeight:
            row.height = c.i16();
            break;
        case sprm::TTableHeader:
            row.header = c.u8() != 0;
            break;
        case sprm::TFCantSplit90:
        case sprm::TFCantSplit:
            row.cantSplit = c.u8() != 0;
            break;
        case sprm::TTableBorders80:
            setTableBorders(row, sized(prl), kBrc80Size);
            break;
        case sprm::TTableBorders:
            setTableBorders(row, sized(prl), kBrcSize);
            break;
        case sprm::TSetBrc80:
            setBorders(row, sized(prl), kBrc80Size);
            break;
        case sprm::TSetBrc:
            setBorders(row, sized(prl), kBrcSize);
            break;
        case sprm::TVertAlign: {
            const auto operand = sized(prl);
            if (operand.size() >= 3)
                forCells(row, operand,
                         [&](CellFormat& cell) { cell.verticalAlignment = verticalAlignment(operand[2]); });
            break;
        }
        case sprm::TVertMerge: {
            const auto operand = sized(prl);
            if (operand.size() >= 2 && operand[0] < row.cells.size())
                row.cells[operand[0]].verticalMerge = verticalMerge(operand[1]);
            break;
        }
        case sprm::TDefTableShd80:
            setShading(shading80, sized(prl), kShd80Size, 0);
            break;
        case sprm::TDefTableShd:
            setShading(shading, sized(prl), kShdSize, 0);
            break;
        case sprm::TDefTableShd2nd:
            setShading(shading, sized(prl), kShdSize, kShdPerSprm);
            break;
        case sprm::TDefTableShd3rd:
            setShading(shading, sized(prl), kShdSize, 2 * kShdPerSprm);
            break;
        case sprm::TCellPaddingDefault:
            if (const auto padding = readPadding(sized(prl)))
                for (std::size_t side = 0; side < defaultPadding.size(); ++side)
                    if (padding->sides & (1u << side))
                        defaultPadding[side] = padding->width;
            break;
        case sprm::TCellPadding:
            if (const auto padding = readPadding(sized(prl)))
                cellPadding.push_back(*padding);
            break;
        default:
            break;
        }
    }
    if (!row.defined)
        return row;

    // The later sprms hold the shading of Word 2000 on, which wins over the older one.
    const auto& fills = shading.empty() ? shading80 : shading;
    for (std::size_t i = 0; i < row.cells.size() && i < fills.size(); ++i)
        row.cells[i].shading = fills[i];

    // Without padding, the half gap between cells is each cell's left and right margin.
    const std::array<std::int32_t, 4> margins = {
        defaultPadding[0].value_or(0), defaultPadding[1].value_or(gapHalf), defaultPadding[2].value_or(0),
        defaultPadding[3].value_or(gapHalf)};
    for (auto& cell : row.cells)
        cell.margins = margins;
    for (const Padding& padding : cellPadding) {
        const std::size_t last = std::min<std::size_t>(padding.itcLim, row.cells.size());
        for (std::size_t i = padding.itcFirst; i < last; ++i)
            for (std::size_t side = 0; side < margins.size(); ++side)
                if (padding.sides & (1u << side))
                    row.cells[i].margins[side] = padding.width;
    }
    return row;
}

} // namespace doc::word
