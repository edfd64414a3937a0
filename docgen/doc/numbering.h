#pragma once

// Word's lists ([MS-DOC] 2.9.147 LSTF, 2.9.150 LVL, 2.9.151 LVLF, 2.9.131 LFO, 2.9.200 PlfLfo): the
// level a paragraph's ilfo and ilvl name, and the label Word numbers it with. Internal to the engine.

#include "doc/readmodel.h"
#include "doc/wordstate.h"

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace doc::word
{

inline constexpr std::size_t kListLevels = 9;

struct ListLevel {
    std::int32_t startAt = 1;
    std::uint8_t nfc = 0; // number format ([MS-OSHARED] 2.2.1.3 MSONFC)
    ListLabel::Alignment alignment = ListLabel::Alignment::Left;
    ListLabel::Follow follow = ListLabel::Follow::Tab;
    bool legal = false; // the other levels' numbers show as decimals
    // With noRestart, the level starts again only after a level above restartLimit.
    bool noRestart = false;
    std::uint8_t restartLimit = 0;
    std::array<std::uint8_t, kListLevels> placeholders{}; // 1-based positions in text, 0 ends
    std::u16string text;                                  // with a level's index at each placeholder
    std::vector<std::uint8_t> papx;                       // grpprlPapx
    std::vector<std::uint8_t> chpx;                       // grpprlChpx, the label's format
};

// Bullets in symbol fonts are private-use characters (0xF0B7 in Symbol); puts the Unicode characters
// they draw in their place, which the page's fonts have. True when it changed any.
bool symbolsToUnicode(std::u16string& text, const std::string& fontName);

class Numbering
{
public:
    // Damaged list tables give fewer lists, never an error.
    explicit Numbering(const WordState& d);

    // The level a paragraph names by its ilfo (from 1) and ilvl; nullptr when it is in no list.
    const ListLevel* level(std::int32_t ilfo, std::uint8_t ilvl) const;
    // Counts a paragraph of that list and level, in reading order, and gives its label's text.
    std::u16string label(std::int32_t ilfo, std::uint8_t ilvl);

private:
    struct Override {
        std::size_t list = 0;
        std::array<std::optional<std::int32_t>, kListLevels> startAt{};
        std::array<std::optional<std::size_t>, kListLevels> level{}; // into mOverrideLevels
        bool countsAlone = false; // restarts its list, so numbers its paragraphs on its own
    };
    using Counters = std::array<std::optional<std::int64_t>, kListLevels>;

    void readLists(const WordState& d);
    void readOverrides(const WordState& d);
    const Override* override(std::int32_t ilfo) const;
    const ListLevel* level(const Override& lfo, std::size_t ilvl) const;
    std::int32_t startAt(const Override& lfo, std::size_t ilvl) const;

    std::vector<std::int32_t> mListIds;         // lsid by list
    std::vector<std::vector<ListLevel>> mLists; // nine levels, or one for a simple list
    std::vector<Override> mOverrides;           // by ilfo - 1
    std::vector<ListLevel> mOverrideLevels;     // levels an LFO replaces
    std::map<std::size_t, Counters> mCounters;  // by list, then by ilfo for lists counted alone
};

} // namespace doc::word
