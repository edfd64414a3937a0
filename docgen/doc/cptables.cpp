// The structures of the table stream that hold CPs: read once, moved by each edit of the
// text, written back with their new positions and entries.

#include "doc/wordstate.h"

#include <algorithm>
#include <array>
#include <limits>

namespace doc::word
{

namespace
{

using Positions = CpTable::Positions;

// Structures that hold CPs, with their entry sizes and the story their positions count
// from ([MS-DOC] 2.8): bookmarks and the main text's structures count from the start of the
// whole text, so that a last CP past the main text, as some writers give it, follows edits
// of the other stories too. Caches Word rebuilds by itself (spelling and grammar state,
// paragraph heights, language detection, smart tag recognition) are cleared instead when
// the text changes.
struct CpTableKind {
    std::size_t fibIndex;
    std::size_t cbData;
    std::optional<std::size_t> story;
    Positions positions;
    const char* name;
};
constexpr std::optional<std::size_t> kWholeText = std::nullopt;
constexpr std::array<CpTableKind, 31> kCpTableKinds = {{
    {fclcb::PlcfSed, 12, kWholeText, Positions::Limits, "PlcfSed"},
    {fclcb::PlcffndRef, 2, kWholeText, Positions::Anchors, "PlcffndRef"},
    {fclcb::PlcfandRef, 30, kWholeText, Positions::Anchors, "PlcfandRef"},
    {fclcb::PlcfendRef, 2, kWholeText, Positions::Anchors, "PlcfendRef"},
    {fclcb::PlcfFldMom, 2, kWholeText, Positions::FieldMarks, "PlcfFldMom"},
    {fclcb::PlcSpaMom, 26, kWholeText, Positions::Anchors, "PlcSpaMom"},
    {fclcb::PlcfTch, 4, kWholeText, Positions::Limits, "PlcfTch"},
    {fclcb::PlcfBkf, 4, kWholeText, Positions::Limits, "PlcfBkf"},
    {fclcb::PlcfBkl, 0, kWholeText, Positions::Limits, "PlcfBkl"},
    {fclcb::PlcfAtnBkf, 4, kWholeText, Positions::Limits, "PlcfAtnBkf"},
    {fclcb::PlcfAtnBkl, 0, kWholeText, Positions::LimitsAtMarks, "PlcfAtnBkl"},
    // Smart tags, format consistency and repair bookmarks, from Word 2002 on.
    {fclcb::PlcfBkfFactoid, 6, kWholeText, Positions::Limits, "PlcfBkfFactoid"},
    {fclcb::PlcfBklFactoid, 4, kWholeText, Positions::Limits, "PlcfBklFactoid"},
    {fclcb::PlcfBkfFcc, 6, kWholeText, Positions::Limits, "PlcfBkfFcc"},
    {fclcb::PlcfBklFcc, 4, kWholeText, Positions::Limits, "PlcfBklFcc"},
    {fclcb::PlcfBkfBPRepairs, 4, kWholeText, Positions::Limits, "PlcfBkfBPRepairs"},
    {fclcb::PlcfBklBPRepairs, 0, kWholeText, Positions::Limits, "PlcfBklBPRepairs"},
    {fclcb::PlcffndTxt, 0, lw::ccpFtn, Positions::Limits, "PlcffndTxt"},
    {fclcb::PlcfFldFtn, 2, lw::ccpFtn, Positions::FieldMarks, "PlcfFldFtn"},
    {fclcb::PlcfHdd, 0, lw::ccpHdd, Positions::Limits, "PlcfHdd"},
    {fclcb::PlcfFldHdr, 2, lw::ccpHdd, Positions::FieldMarks, "PlcfFldHdr"},
    {fclcb::PlcSpaHdr, 26, lw::ccpHdd, Positions::Anchors, "PlcSpaHdr"},
    {fclcb::PlcfandTxt, 0, lw::ccpAtn, Positions::Limits, "PlcfandTxt"},
    {fclcb::PlcfFldAtn, 2, lw::ccpAtn, Positions::FieldMarks, "PlcfFldAtn"},
    {fclcb::PlcfendTxt, 0, lw::ccpEdn, Positions::Limits, "PlcfendTxt"},
    {fclcb::PlcfFldEdn, 2, lw::ccpEdn, Positions::FieldMarks, "PlcfFldEdn"},
    {fclcb::PlcftxbxTxt, 22, lw::ccpTxbx, Positions::Limits, "PlcftxbxTxt"},
    {fclcb::PlcfTxbxBkd, 6, lw::ccpTxbx, Positions::Limits, "PlcfTxbxBkd"},
    {fclcb::PlcfFldTxbx, 2, lw::ccpTxbx, Positions::FieldMarks, "PlcfFldTxbx"},
    {fclcb::PlcfHdrtxbxTxt, 22, lw::ccpHdrTxbx, Positions::Limits, "PlcfHdrtxbxTxt"},
    {fclcb::PlcfTxbxHdrBkd, 6, lw::ccpHdrTxbx, Positions::Limits, "PlcfTxbxHdrBkd"},
}};
// The structure that splits each story but the main one into its parts (notes, headers and
// footers, text boxes); its second-to-last CP ends the last part that shows.
constexpr std::array<std::pair<std::size_t, std::size_t>, 6> kStoryParts = {{
    {lw::ccpFtn, fclcb::PlcffndTxt},
    {lw::ccpHdd, fclcb::PlcfHdd},
    {lw::ccpAtn, fclcb::PlcfandTxt},
    {lw::ccpEdn, fclcb::PlcfendTxt},
    {lw::ccpTxbx, fclcb::PlcftxbxTxt},
    {lw::ccpHdrTxbx, fclcb::PlcfHdrtxbxTxt},
}};
constexpr std::array<std::size_t, 5> kDroppedCaches = {fclcb::PlcfPhe, fclcb::PlcfSpl, fclcb::PlcfGram,
                                                       fclcb::PlcfLad, fclcb::Plcffactoid};

const CpTable* findTable(const WordState& d, std::size_t fibIndex)
{
    const auto it = std::find_if(d.cpTables.begin(), d.cpTables.end(),
                                 [fibIndex](const CpTable& t) { return t.fibIndex == fibIndex; });
    return it == d.cpTables.end() ? nullptr : &*it;
}

// Where a table's positions count from, when an edit of that story moves them.
std::optional<std::uint32_t> originFor(const WordState& d, const CpTable& table, std::size_t story)
{
    if (!table.story)
        return 0;
    if (*table.story == story)
        return d.storyStart(story);
    return std::nullopt;
}

[[noreturn]] void refuse(const std::string& why)
{
    throw Error(Error::Kind::BadArgument, why);
}

} // namespace

void readCpTables(WordState& d)
{
    for (const auto& kind : kCpTableKinds) {
        const Plc plc = readPlc(d.tableBytes(kind.fibIndex, kind.name), kind.cbData, kind.name);
        if (plc.cps.empty())
            continue;
        CpTable table{kind.fibIndex, kind.story, kind.positions, kind.cbData, plc.cps, {}};
        for (const auto& entry : plc.data)
            table.data.insert(table.data.end(), entry.begin(), entry.end());
        d.cpTables.push_back(std::move(table));
    }
    for (std::size_t index : kDroppedCaches)
        if (d.fcLcb(index).second != 0)
            d.droppedTables.push_back(index);
}

std::optional<std::uint32_t> editableLength(const WordState& d, std::size_t story)
{
    const std::uint32_t length = d.rgLw[story];
    if (story == lw::ccpText)
        return length;
    const auto parts = std::find_if(kStoryParts.begin(), kStoryParts.end(),
                                    [story](const auto& p) { return p.first == story; });
    if (parts == kStoryParts.end())
        return std::nullopt;
    const CpTable* table = findTable(d, parts->second);
    if (!table || table->count() == 0)
        return std::nullopt;
    return std::min(table->cps[table->cps.size() - 2], length);
}

void checkRemovable(const WordState& d, std::size_t story, std::uint32_t cp, std::uint32_t count)
{
    for (const auto& table : d.cpTables) {
        const auto origin = originFor(d, table, story);
        if (!origin || (table.positions != Positions::Anchors && table.positions != Positions::FieldMarks))
            continue;
        const std::uint32_t at = cp - *origin;
        // Open fields met inside the range; a separator or end of one begun before it cuts it.
        std::size_t open = 0;
        for (std::size_t i = 0; i < table.count(); ++i) {
            if (table.cps[i] < at || table.cps[i] - at >= count)
                continue;
            if (table.positions == Positions::Anchors)
                refuse("the text holds a note reference or a shape's anchor");
            // The low five bits of the entry's Fld say which field mark it is.
            const char16_t ch = table.data[i * table.cbData] & 0x1F;
            if (ch == mark::FieldBegin)
                ++open;
            else if (ch == mark::FieldEnd && open > 0)
                --open;
            else if (ch != mark::FieldSeparator || open == 0)
                refuse("the text cuts a field");
        }
        if (open > 0)
            refuse("the text cuts a field");
    }
}

void editCpTables(WordState& d, std::size_t story, std::uint32_t cp, std::uint32_t removed,
                  std::uint32_t inserted)
{
    constexpr std::uint32_t kMax = std::numeric_limits<std::uint32_t>::max();
    for (auto& table : d.cpTables) {
        const auto origin = originFor(d, table, story);
        if (!origin)
            continue;
        const std::uint32_t at = cp - *origin;
        const bool movesAtPoint = table.positions != Positions::Limits && removed == 0;
        const std::size_t entries = table.count();
        std::vector<std::uint32_t> cps;
        std::vector<std::uint8_t> data;
        cps.reserve(table.cps.size());
        data.reserve(table.data.size());
        for (std::size_t i = 0; i < table.cps.size(); ++i) {
            std::uint32_t value = table.cps[i];
            const bool inside = value >= at && value - at < removed;
            if (inside && i < entries && table.positions == Positions::FieldMarks)
                continue;
            // Positions past any text (a damaged file's) stop at the largest value rather
            // than wrap around, so they stay in order.
            if (value > at || (movesAtPoint && value == at))
                value = inside ? at : value - removed + std::min(inserted, kMax - (value - removed));
            cps.push_back(value);
            if (i < entries) {
                const auto entry = table.data.begin() + std::ptrdiff_t(i * table.cbData);
                data.insert(data.end(), entry, entry + std::ptrdiff_t(table.cbData));
            }
        }
        table.cps = std::move(cps);
        table.data = std::move(data);
    }
}

std::vector<std::uint8_t> cpTableBytes(const CpTable& table)
{
    if (table.count() == 0)
        return {};
    ByteWriter plc;
    for (std::uint32_t cp : table.cps)
        plc.u32(cp);
    plc.bytes(table.data);
    return std::move(plc).take();
}

} // namespace doc::word
