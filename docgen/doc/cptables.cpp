// The main-text structures of the table stream that hold CPs: read once, moved by each
// insertion, written back with their new positions.

#include "doc/wordstate.h"

#include <algorithm>
#include <array>
#include <limits>

namespace doc::word
{

namespace
{

// Main-text structures that hold CPs, with their entry sizes. Caches Word rebuilds by
// itself (spelling and grammar state, paragraph heights, language detection) are cleared
// instead when the text changes.
struct CpTableKind {
    std::size_t fibIndex;
    std::size_t cbData;
    bool characterPositions;
    const char* name;
};
constexpr std::array<CpTableKind, 11> kCpTableKinds = {{
    {fclcb::PlcfSed, 12, false, "PlcfSed"},
    {fclcb::PlcffndRef, 2, true, "PlcffndRef"},
    {fclcb::PlcfandRef, 30, true, "PlcfandRef"},
    {fclcb::PlcfendRef, 2, true, "PlcfendRef"},
    {fclcb::PlcfFldMom, 2, true, "PlcfFldMom"},
    {fclcb::PlcSpaMom, 26, true, "PlcSpaMom"},
    {fclcb::PlcfBkf, 4, false, "PlcfBkf"},
    {fclcb::PlcfBkl, 0, false, "PlcfBkl"},
    {fclcb::PlcfAtnBkf, 4, false, "PlcfAtnBkf"},
    // A commented range ends right at its comment's mark, so its end moves with the mark.
    {fclcb::PlcfAtnBkl, 0, true, "PlcfAtnBkl"},
    {fclcb::PlcfTch, 4, false, "PlcfTch"},
}};
constexpr std::array<std::size_t, 4> kDroppedCaches = {fclcb::PlcfPhe, fclcb::PlcfSpl, fclcb::PlcfGram,
                                                       fclcb::PlcfLad};

} // namespace

void readCpTables(WordState& d)
{
    for (const auto& kind : kCpTableKinds) {
        const Plc plc = readPlc(d.tableBytes(kind.fibIndex, kind.name), kind.cbData, kind.name);
        if (plc.cps.empty())
            continue;
        d.cpTables.push_back({kind.fibIndex, kind.characterPositions, plc.cps});
    }
    for (std::size_t index : kDroppedCaches)
        if (d.fcLcb(index).second != 0)
            d.droppedTables.push_back(index);
}

void shiftCpTables(std::vector<CpTable>& tables, std::uint32_t cp, std::uint32_t count)
{
    // Positions past any text (a damaged file's) stop at the largest value rather than
    // wrap around, so they stay in order.
    for (auto& table : tables)
        for (auto& value : table.cps)
            if (value > cp || (table.characterPositions && value == cp))
                value += std::min(count, std::numeric_limits<std::uint32_t>::max() - value);
}

std::vector<std::uint8_t> cpTableBytes(const WordState& d, const CpTable& table)
{
    const auto [fc, lcb] = d.fcLcb(table.fibIndex);
    std::vector<std::uint8_t> plc(d.table.begin() + fc, d.table.begin() + fc + lcb);
    for (std::size_t i = 0; i < table.cps.size(); ++i)
        storeU32(plc, 4 * i, table.cps[i]);
    return plc;
}

} // namespace doc::word
