#pragma once

// Word's lists ([MS-DOC] 2.9.147 LSTF, 2.9.150 LVL, 2.9.151 LVLF, 2.9.131 LFO, 2.9.200 PlfLfo): the
// level a paragraph's ilfo and ilvl name, and the label Word numbers it with. Internal to the engines:
// the .docx reader numbers its lists here too, from the levels it reads.

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

// MSONFC values ([MS-OSHARED] 2.2.1.3) the labels show; the rest fall back to decimals.
namespace nfc
{
constexpr std::uint8_t Decimal = 0;
constexpr std::uint8_t UpperRoman = 1;
constexpr std::uint8_t LowerRoman = 2;
constexpr std::uint8_t UpperLetter = 3;
constexpr std::uint8_t LowerLetter = 4;
constexpr std::uint8_t Ordinal = 5;
constexpr std::uint8_t DecimalZero = 22;
constexpr std::uint8_t Bullet = 23;
constexpr std::uint8_t None = 0xFF;
} // namespace nfc

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
    // A paragraph's list (an LFO): the list it numbers in and what it changes of it.
    struct Override {
        std::size_t list = 0;
        std::array<std::optional<std::int32_t>, kListLevels> startAt{};
        std::array<std::optional<std::size_t>, kListLevels> level{}; // into the override levels
        bool countsAlone = false; // restarts its list, so numbers its paragraphs on its own
    };

    // Damaged list tables give fewer lists, never an error.
    explicit Numbering(const WordState& d);
    // Lists as read elsewhere: each list's levels (nine, or one for a simple list), the overrides by
    // ilfo - 1, and the levels they replace.
    Numbering(std::vector<std::vector<ListLevel>> lists, std::vector<Override> overrides,
              std::vector<ListLevel> overrideLevels);

    // The level a paragraph names by its ilfo (from 1) and ilvl; nullptr when it is in no list.
    const ListLevel* level(std::int32_t ilfo, std::uint8_t ilvl) const;
    // Counts a paragraph of that list and level, in reading order, and gives its label's text.
    std::u16string label(std::int32_t ilfo, std::uint8_t ilvl);

private:
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
