// Lists: their levels as stored, and labels numbered in reading order as Word numbers them.

#include "doc/numbering.h"

#include <algorithm>
#include <utility>

namespace doc::word
{

namespace
{

constexpr std::size_t kLstfSize = 28;
constexpr std::size_t kLfoSize = 16;

std::u16string ascii(const std::string& s)
{
    return {s.begin(), s.end()};
}

std::u16string roman(std::int64_t n, bool upper)
{
    static constexpr std::array<std::pair<int, const char*>, 13> kNumerals = {{
        {1000, "m"},
        {900, "cm"},
        {500, "d"},
        {400, "cd"},
        {100, "c"},
        {90, "xc"},
        {50, "l"},
        {40, "xl"},
        {10, "x"},
        {9, "ix"},
        {5, "v"},
        {4, "iv"},
        {1, "i"},
    }};
    std::string out;
    for (const auto& [value, numeral] : kNumerals) {
        for (; n >= value; n -= value)
            out += numeral;
    }
    if (upper)
        std::transform(out.begin(), out.end(), out.begin(), [](char c) { return char(c - 'a' + 'A'); });
    return ascii(out);
}

// Word's letters: a .. z, then aa .. zz, aaa ...
std::u16string letters(std::int64_t n, bool upper)
{
    const auto letter = char16_t((upper ? u'A' : u'a') + (n - 1) % 26);
    return std::u16string(std::size_t((n - 1) / 26 + 1), letter);
}

std::u16string ordinal(std::int64_t n)
{
    const std::int64_t lastTwo = n % 100;
    const char* suffix = "th";
    if (lastTwo < 11 || lastTwo > 13) {
        switch (n % 10) {
        case 1:
            suffix = "st";
            break;
        case 2:
            suffix = "nd";
            break;
        case 3:
            suffix = "rd";
            break;
        default:
            break;
        }
    }
    return ascii(std::to_string(n) + suffix);
}

std::u16string formatNumber(std::int64_t n, std::uint8_t format)
{
    // Longer roman numerals and letter runs than Word writes fall back to decimals.
    constexpr std::int64_t kLargestRoman = 3999;
    constexpr std::int64_t kLargestLetters = 26 * 30;
    switch (format) {
    case nfc::UpperRoman:
    case nfc::LowerRoman:
        if (n > 0 && n <= kLargestRoman)
            return roman(n, format == nfc::UpperRoman);
        break;
    case nfc::UpperLetter:
    case nfc::LowerLetter:
        if (n > 0 && n <= kLargestLetters)
            return letters(n, format == nfc::UpperLetter);
        break;
    case nfc::Ordinal:
        if (n > 0)
            return ordinal(n);
        break;
    case nfc::DecimalZero:
        if (n >= 0 && n < 10)
            return u"0" + ascii(std::to_string(n));
        break;
    case nfc::Bullet:
    case nfc::None:
        return {};
    default:
        break;
    }
    return ascii(std::to_string(n));
}

// LVL ([MS-DOC] 2.9.150): its LVLF, grpprlPapx, grpprlChpx and xst.
std::optional<ListLevel> readLevel(ByteCursor& c)
{
    ListLevel level;
    level.startAt = c.i32();
    level.nfc = c.u8();
    const std::uint8_t flags = c.u8();
    switch (flags & 0x03) {
    case 1:
        level.alignment = ListLabel::Alignment::Center;
        break;
    case 2:
        level.alignment = ListLabel::Alignment::Right;
        break;
    default:
        break;
    }
    level.legal = (flags & 0x04) != 0;
    level.noRestart = (flags & 0x08) != 0;
    for (auto& p : level.placeholders)
        p = c.u8();
    switch (c.u8()) {
    case 1:
        level.follow = ListLabel::Follow::Space;
        break;
    case 2:
        level.follow = ListLabel::Follow::Nothing;
        break;
    default:
        break;
    }
    c.skip(8); // dxaIndentSav, unused2
    const std::size_t cbChpx = c.u8();
    const std::size_t cbPapx = c.u8();
    level.restartLimit = c.u8();
    c.skip(1); // grfhic
    const auto papx = c.bytes(cbPapx);
    const auto chpx = c.bytes(cbChpx);
    const std::size_t cch = c.u16();
    const auto xst = c.bytes(2 * cch);
    if (!c.ok())
        return std::nullopt;
    level.papx.assign(papx.begin(), papx.end());
    level.chpx.assign(chpx.begin(), chpx.end());
    for (std::size_t i = 0; i < cch; ++i)
        level.text.push_back(char16_t(xst[2 * i] | (xst[2 * i + 1] << 8)));
    return level;
}

// The table stream from a structure's offset to its end: the LVLs follow the PlfLst past its size.
std::span<const std::uint8_t> tableFrom(const WordState& d, std::size_t index)
{
    const auto [fc, lcb] = d.fcLcb(index);
    if (lcb == 0 || fc >= d.table.size())
        return {};
    return std::span<const std::uint8_t>(d.table).subspan(fc);
}

} // namespace

bool symbolsToUnicode(std::u16string& text, const std::string& fontName)
{
    static constexpr std::array<std::pair<std::uint8_t, char16_t>, 9> kSymbol = {{
        {0x2D, 0x2212}, // minus
        {0xA7, 0x2663}, // club
        {0xA8, 0x2666}, // diamond
        {0xA9, 0x2665}, // heart
        {0xAA, 0x2660}, // spade
        {0xAE, 0x2192}, // arrow
        {0xB0, 0x00B0}, // degree
        {0xB7, 0x2022}, // bullet
        {0xDE, 0x21D2}, // double arrow
    }};
    static constexpr std::array<std::pair<std::uint8_t, char16_t>, 12> kWingdings = {{
        {0x6C, 0x25CF}, // black circle
        {0x6E, 0x25A0}, // black square
        {0x6F, 0x25A1}, // white square
        {0x71, 0x2751}, // shadowed square
        {0x75, 0x25C6}, // black diamond
        {0x76, 0x2756}, // diamond of four
        {0x9F, 0x2022}, // bullet
        {0xA7, 0x25AA}, // small black square
        {0xD8, 0x27A2}, // arrowhead
        {0xF0, 0x21E8}, // white arrow
        {0xFB, 0x2718}, // cross
        {0xFC, 0x2714}, // check mark
    }};
    const bool wingdings = fontName.starts_with("Wingdings");
    const bool symbolFont = wingdings || fontName == "Symbol";
    bool changed = false;
    for (char16_t& c : text) {
        const bool privateUse = c > 0xF020 && c <= 0xF0FF;
        if (!privateUse && !(symbolFont && c > 0x20 && c <= 0xFF))
            continue;
        const auto code = std::uint8_t(c & 0xFF);
        char16_t mapped = 0x2022; // a bullet is the likeliest meaning of one not listed
        for (const auto& [from, to] : wingdings ? std::span(kWingdings.data(), kWingdings.size())
                                                : std::span(kSymbol.data(), kSymbol.size()))
            if (from == code)
                mapped = to;
        c = mapped;
        changed = true;
    }
    return changed;
}

Numbering::Numbering(const WordState& d)
{
    readLists(d);
    readOverrides(d);
}

Numbering::Numbering(std::vector<std::vector<ListLevel>> lists, std::vector<Override> overrides,
                     std::vector<ListLevel> overrideLevels)
    : mLists(std::move(lists)), mOverrides(std::move(overrides)), mOverrideLevels(std::move(overrideLevels))
{
    // An override naming a level not given names none.
    for (Override& lfo : mOverrides)
        for (auto& level : lfo.level)
            if (level && *level >= mOverrideLevels.size())
                level.reset();
}

// PlfLst ([MS-DOC] 2.9.183): cLst LSTFs, then each list's LVLs right after the structure.
void Numbering::readLists(const WordState& d)
{
    const auto bytes = tableFrom(d, fclcb::PlfLst);
    ByteCursor c(bytes);
    const std::int16_t cLst = c.i16();
    if (!c.ok() || cLst <= 0 || std::size_t(cLst) > c.remaining() / kLstfSize)
        return;
    std::vector<bool> simple;
    for (std::int16_t i = 0; i < cLst; ++i) {
        mListIds.push_back(c.i32());
        c.skip(4 + 2 * kListLevels); // tplc, rgistdPara
        simple.push_back((c.u8() & 0x01) != 0);
        c.skip(1); // grfhic
    }
    c.seek(d.fcLcb(fclcb::PlfLst).second);
    mLists.resize(mListIds.size());
    for (std::size_t i = 0; i < mLists.size() && c.ok(); ++i) {
        const std::size_t count = simple[i] ? 1 : kListLevels;
        for (std::size_t k = 0; k < count; ++k) {
            auto level = readLevel(c);
            if (!level)
                break;
            mLists[i].push_back(std::move(*level));
        }
    }
}

// PlfLfo ([MS-DOC] 2.9.200): lfoMac LFOs, then for each its LFOData with its level overrides.
void Numbering::readOverrides(const WordState& d)
{
    const auto [fc, lcb] = d.fcLcb(fclcb::PlfLfo);
    if (lcb == 0 || !rangeFits(d.table.size(), fc, lcb))
        return;
    ByteCursor c(std::span<const std::uint8_t>(d.table).subspan(fc, lcb));
    const std::size_t lfoMac = c.u32();
    if (!c.ok() || lfoMac > c.remaining() / kLfoSize)
        return;
    std::vector<std::size_t> levelCounts;
    for (std::size_t i = 0; i < lfoMac; ++i) {
        const std::int32_t lsid = c.i32();
        c.skip(8);
        levelCounts.push_back(c.u8());
        c.skip(3);
        Override lfo;
        const auto list = std::find(mListIds.begin(), mListIds.end(), lsid);
        lfo.list = std::size_t(list - mListIds.begin()); // past the lists: names none
        mOverrides.push_back(lfo);
    }
    for (std::size_t i = 0; i < lfoMac; ++i) {
        c.skip(4); // cp
        for (std::size_t k = 0; k < levelCounts[i]; ++k) {
            const std::int32_t startAt = c.i32();
            const std::uint32_t flags = c.u32();
            const std::size_t ilvl = flags & 0x0F;
            const bool fStartAt = (flags & 0x10) != 0;
            const bool fFormatting = (flags & 0x20) != 0;
            std::optional<ListLevel> level;
            if (fFormatting)
                level = readLevel(c);
            if (!c.ok())
                return;
            if (ilvl >= kListLevels)
                continue;
            Override& lfo = mOverrides[i];
            if (level) {
                lfo.level[ilvl] = mOverrideLevels.size();
                mOverrideLevels.push_back(std::move(*level));
            }
            if (fStartAt) {
                lfo.startAt[ilvl] = level ? mOverrideLevels.back().startAt : startAt;
                lfo.countsAlone = true;
            }
        }
    }
}

const Numbering::Override* Numbering::override(std::int32_t ilfo) const
{
    if (ilfo < 1 || std::size_t(ilfo) > mOverrides.size())
        return nullptr;
    const Override& lfo = mOverrides[std::size_t(ilfo) - 1];
    if (lfo.list >= mLists.size() || mLists[lfo.list].empty())
        return nullptr;
    return &lfo;
}

const ListLevel* Numbering::level(const Override& lfo, std::size_t ilvl) const
{
    if (lfo.level[ilvl])
        return &mOverrideLevels[*lfo.level[ilvl]];
    const auto& levels = mLists[lfo.list];
    return &levels[std::min(ilvl, levels.size() - 1)]; // a simple list's one level serves all
}

std::int32_t Numbering::startAt(const Override& lfo, std::size_t ilvl) const
{
    return lfo.startAt[ilvl].value_or(level(lfo, ilvl)->startAt);
}

const ListLevel* Numbering::level(std::int32_t ilfo, std::uint8_t ilvl) const
{
    const Override* lfo = override(ilfo);
    if (!lfo || ilvl >= kListLevels)
        return nullptr;
    return level(*lfo, ilvl);
}

std::u16string Numbering::label(std::int32_t ilfo, std::uint8_t ilvl)
{
    const Override* lfo = override(ilfo);
    if (!lfo || ilvl >= kListLevels)
        return {};
    Counters& counters = mCounters[lfo->countsAlone ? mLists.size() + std::size_t(ilfo) : lfo->list];
    auto& current = counters[ilvl];
    current = current ? *current + 1 : startAt(*lfo, ilvl);
    for (std::size_t k = ilvl + 1; k < kListLevels; ++k) {
        const ListLevel* lower = level(*lfo, k);
        if (!lower->noRestart || ilvl < lower->restartLimit)
            counters[k].reset();
    }

    const ListLevel* own = level(*lfo, ilvl);
    std::u16string text;
    std::size_t next = 0; // the next placeholder
    for (std::size_t i = 0; i < own->text.size(); ++i) {
        const bool placeholder = next < kListLevels && own->placeholders[next] == i + 1;
        if (placeholder)
            ++next;
        const std::size_t k = own->text[i];
        if (!placeholder || k >= kListLevels) {
            text.push_back(own->text[i]);
            continue;
        }
        // A level not numbered yet shows its start; legal numbering shows every level in decimals.
        const std::int64_t value = counters[k].value_or(startAt(*lfo, k));
        text += formatNumber(value, own->legal ? nfc::Decimal : level(*lfo, k)->nfc);
    }
    return text;
}

} // namespace doc::word
