// Typing into the main text: the new characters take the formatting of those before them,
// and every structure holding CPs after the insertion point moves.

#include "doc/worddocument.h"
#include "doc/wordstate.h"

#include <algorithm>

namespace doc
{

std::u16string normalizeTypedText(std::u16string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c == u'\r') {
            out.push_back(u'\v');
            if (i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
        } else if (c == u'\n') {
            out.push_back(u'\v');
        } else if (c >= 0x20 || c == u'\t') {
            out.push_back(c);
        }
    }
    return out;
}

} // namespace doc

namespace doc::word
{

namespace
{

// Sprms that make a character an anchor or special mark; typed text does not inherit them.
bool isSpecialCharacterSprm(std::uint16_t s)
{
    switch (s) {
    case sprm::CFSpec:
    case sprm::CPicLocation:
    case sprm::CFData:
    case sprm::CFOle2:
    case sprm::CFObj:
    case sprm::CObjLocation:
    case sprm::CFFldVanish:
    case sprm::CFRMarkDel:
    case sprm::CFRMarkIns:
        return true;
    default:
        return false;
    }
}

// Piece descriptors hold 30-bit offsets, an 8-bit piece's doubled; saving appends the
// text after the stream as read, at worst 3 bytes a character (2, and padding at a
// switch of encoding). Beyond that the saved file would point at the wrong bytes.
void checkRoomFor(const WordState& d, std::size_t count)
{
    constexpr std::uint64_t kFcLimit = std::uint64_t(1) << 29;
    if (d.wordDocument.size() + kFkpPageSize + 3 * (std::uint64_t(d.text.size()) + count) >= kFcLimit)
        throw Error(Error::Kind::BadArgument, "text too long");
}

// The properties of text typed at cp: those of the character before it (at cp 0, of the
// one at cp), without what would make it an anchor or field mark too.
CharProps typingProps(WordState& d, std::uint32_t cp)
{
    CharProps typing = d.props[cp > 0 ? cp - 1 : 0];
    typing.paraEnd = false;
    typing.typed = true;
    const auto prls = readGrpprl(d.chpxs[typing.chpx]);
    if (std::none_of(prls.begin(), prls.end(), [](const Prl& p) { return isSpecialCharacterSprm(p.sprm); }))
        return typing;
    std::vector<std::uint8_t> plain;
    for (const Prl& p : prls) {
        if (isSpecialCharacterSprm(p.sprm))
            continue;
        plain.push_back(std::uint8_t(p.sprm));
        plain.push_back(std::uint8_t(p.sprm >> 8));
        plain.insert(plain.end(), p.operand.begin(), p.operand.end());
    }
    d.chpxs.push_back(std::move(plain));
    typing.chpx = std::uint32_t(d.chpxs.size() - 1);
    return typing;
}

} // namespace

std::uint32_t insertText(WordState& d, std::uint32_t cp, std::u16string_view text)
{
    if (cp >= d.ccpText())
        throw Error(Error::Kind::BadArgument, "insertion position past the main text");
    const std::u16string typed = normalizeTypedText(text);
    if (typed.empty())
        return 0;
    checkRoomFor(d, typed.size());
    const auto count = std::uint32_t(typed.size());
    const CharProps typing = typingProps(d, cp);

    d.text.insert(cp, typed);
    d.props.insert(d.props.begin() + cp, count, typing);
    d.rgLw[lw::ccpText] += count;
    shiftCpTables(d.cpTables, cp, count);
    d.changed = true;
    return count;
}

} // namespace doc::word
