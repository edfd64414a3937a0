#pragma once

// A Word document as the engine holds it, and the steps that read, edit and write it.
// Internal to the engine: only its own .cpp files include this header.

#include "doc/cfb.h"
#include "doc/readmodel.h"
#include "doc/wordformat.h"

#include <cstdint>
#include <optional>
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
    // The first CP of a story, given by the FibRgLw97 index of its length (lw::ccpText to
    // lw::ccpHdrTxbx, the order the stories follow each other in).
    std::uint32_t storyStart(std::size_t story) const
    {
        std::uint32_t start = 0;
        for (std::size_t i = lw::ccpText; i < story; ++i)
            start += rgLw[i];
        return start;
    }
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

// cptables.cpp: the structures that hold CPs, of every story.
void readCpTables(WordState& d);
// How far into a story text may be edited: up to its last paragraph mark in the main text,
// up to what follows its last part (a closing mark, a spare text box) in the others;
// nullopt for a story whose parts are unknown.
std::optional<std::uint32_t> editableLength(const WordState& d, std::size_t story);
// Kind::BadArgument unless removing count characters at cp of a story keeps every structure
// sound: no note reference or shape anchor among them, and only whole fields.
void checkRemovable(const WordState& d, std::size_t story, std::uint32_t cp, std::uint32_t count);
// Moves the positions for `inserted` characters put in place of the `removed` ones at cp of a
// story: those at cp stay but for character positions, which move when nothing is removed;
// those inside the removed text go to cp, field marks with their entries.
void editCpTables(WordState& d, std::size_t story, std::uint32_t cp, std::uint32_t removed,
                  std::uint32_t inserted);
// The table with its positions and entries as they stand now.
std::vector<std::uint8_t> cpTableBytes(const CpTable& table);

// wordinsertion.cpp; see WordDocument::insertText() and replaceText().
std::uint32_t insertText(WordState& d, std::uint32_t cp, std::u16string_view text);
std::uint32_t replaceText(WordState& d, std::uint32_t cp, std::uint32_t count, std::u16string_view text,
                          std::optional<std::uint32_t> formatFrom);

// wordwriter.cpp: a complete compound file with the edited text.
std::vector<std::uint8_t> writeWordState(const WordState& d);

// readstructure.cpp
ReadModel readModel(const WordState& d);

} // namespace doc::word
