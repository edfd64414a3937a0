#pragma once

// A Word document as the engine holds it, and the steps that read, edit and write it.
// Internal to the engine: only its own .cpp files include this header.

#include "doc/cfb.h"
#include "doc/readmodel.h"
#include "doc/wordformat.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace doc::word
{

struct WordState {
    explicit WordState(CompoundFile compoundFile) : file(std::move(compoundFile)) {}

    CompoundFile file;
    std::vector<std::uint8_t> wordDocument; // as read
    std::vector<std::uint8_t> table;        // as read
    std::string tableName;

    // The Fib as read, with the offsets of its variable parts in the WordDocument stream.
    std::vector<std::uint32_t> rgLw;
    std::vector<std::uint32_t> rgFcLcb; // fc, lcb, fc, lcb, ...
    std::size_t offsetRgLw = 0;
    std::size_t offsetRgFcLcb = 0;

    std::vector<std::uint8_t> prcs;                              // the Clx's Prc entries, copied whole
    std::vector<std::pair<std::size_t, std::size_t>> prcGrpprls; // offset and length in prcs

    std::u16string text; // all stories, in CP order
    std::vector<CharProps> props;
    std::vector<std::vector<std::uint8_t>> chpxs;
    std::vector<Papx> papxs;
    std::vector<PieceAttributes> pieces;

    std::vector<CpTable> cpTables;
    std::vector<std::size_t> droppedTables; // fc/lcb indexes of caches cleared on change
    bool changed = false;

    std::uint32_t ccpText() const { return rgLw[lw::ccpText]; }
    std::pair<std::uint32_t, std::uint32_t> fcLcb(std::size_t index) const
    {
        if (2 * index + 1 >= rgFcLcb.size())
            return {0, 0};
        return {rgFcLcb[2 * index], rgFcLcb[2 * index + 1]};
    }
    // The bytes of a table-stream structure, empty when absent; Kind::Truncated past the end.
    std::span<const std::uint8_t> tableBytes(std::size_t index, const char* name) const
    {
        const auto [fc, lcb] = fcLcb(index);
        if (lcb == 0)
            return {};
        if (!rangeFits(table.size(), fc, lcb))
            throwTruncated(std::string(name) + " past the table stream");
        return std::span<const std::uint8_t>(table).subspan(fc, lcb);
    }
};

// wordreader.cpp. Throws doc::Error for anything that is not a sound Word 97-2003 document.
WordState readWordState(std::span<const std::uint8_t> bytes);

// cptables.cpp: the main-text structures that hold CPs.
void readCpTables(WordState& d);
// Moves the positions after cp (and, for character positions, at cp) by count.
void shiftCpTables(std::vector<CpTable>& tables, std::uint32_t cp, std::uint32_t count);
// The table as read with its positions as they stand now.
std::vector<std::uint8_t> cpTableBytes(const WordState& d, const CpTable& table);

// wordinsertion.cpp; see WordDocument::insertText().
std::uint32_t insertText(WordState& d, std::uint32_t cp, std::u16string_view text);

// wordwriter.cpp: a complete compound file with the edited text.
std::vector<std::uint8_t> writeWordState(const WordState& d);

// readmodel.cpp
ReadModel readModel(const WordState& d);

} // namespace doc::word
