#pragma once

// A table row's look as its row mark's properties hold it (the TAP, [MS-DOC] 2.4.3 and the table
// sprms of 2.6.4), for the read model. Internal to the engine.

#include "doc/readmodel.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace doc::word
{

// One column of a row's TDefTable.
struct CellFormat {
    std::int32_t left = 0; // from the text column's left edge, before the table's alignment
    std::int32_t right = 0;
    std::uint8_t horizontalMerge = 0; // TCGRF horzMerge: nonzero for the cells of a merged set
    TableCell::VerticalMerge verticalMerge = TableCell::VerticalMerge::None;
    TableCell::VerticalAlignment verticalAlignment = TableCell::VerticalAlignment::Top;
    // The cell's own borders, top, left, bottom, right; nullopt where the table's apply.
    std::array<std::optional<Border>, 4> borders{};
    std::uint32_t shading = kAutoColor;
    std::array<std::int32_t, 4> margins{}; // top, left, bottom, right
};

struct RowFormat {
    enum class Alignment { Left, Center, Right };
    enum Side { Top, Left, Bottom, Right, InsideH, InsideV };
    bool defined = false; // a TDefTable gave the row its cells
    std::vector<CellFormat> cells;
    std::array<Border, 6> tableBorders{}; // by Side
    Alignment alignment = Alignment::Left;
    std::int32_t height = 0;
    bool header = false;
    bool cantSplit = false;
};

// Damaged operands leave what they would set as it was.
RowFormat readRowFormat(std::span<const std::uint8_t> grpprl);

} // namespace doc::word
