// Typing into the text of any story: the new characters take the formatting of the one
// they are typed after or in place of, and every structure holding CPs follows.

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

// The properties of text typed in place of, or after, the character at `from`: its own,
// without what would make it an anchor or field mark too.
CharProps typingProps(WordState& d, std::uint32_t from)
{
    CharProps typing = d.props[from];
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

// The story holding cp, as the FibRgLw97 index of its length; nullopt past the last one.
std::optional<std::size_t> storyAt(const WordState& d, std::uint32_t cp)
{
    std::uint32_t start = 0;
    for (std::size_t story = lw::ccpText; story <= lw::ccpHdrTxbx; ++story) {
        if (cp - start < d.rgLw[story])
            return story;
        start += d.rgLw[story];
    }
    return std::nullopt;
}

// Characters that end a paragraph, a table cell or row, or a section: removing one would
// change the document's structure, not its wording.
bool isStructureMark(const WordState& d, std::uint32_t cp)
{
    const char16_t c = d.text[cp];
    return d.props[cp].paraEnd || c == u'\r' || c == u'\a' || c == u'\f';
}

// Puts typed in place of the count characters at cp of a story, whose positions the caller
// has checked, in the formatting of the character at `from`.
std::uint32_t edit(WordState& d, std::size_t story, std::uint32_t cp, std::uint32_t count,
                   const std::u16string& typed, std::uint32_t from)
{
    if (typed.empty() && count == 0)
        return 0;
    checkRoomFor(d, typed.size());
    const auto inserted = std::uint32_t(typed.size());
    const CharProps typing = inserted > 0 ? typingProps(d, from) : CharProps{};

    d.text.replace(cp, count, typed);
    // One move of what follows, as a template's hundreds of tags each come here.
    if (inserted > count)
        d.props.insert(d.props.begin() + cp + count, inserted - count, typing);
    else
        d.props.erase(d.props.begin() + cp + inserted, d.props.begin() + cp + count);
    std::fill_n(d.props.begin() + cp, inserted, typing);
    if (inserted == 0)
        d.props[cp].typed = true; // its paragraph changed all the same
    d.rgLw[story] = d.rgLw[story] - count + inserted;
    editCpTables(d, story, cp, count, inserted);
    d.changed = true;
    return inserted;
}

} // namespace

std::uint32_t insertText(WordState& d, std::uint32_t cp, std::u16string_view text)
{
    if (cp >= d.ccpText())
        throw Error(Error::Kind::BadArgument, "insertion position past the main text");
    return edit(d, lw::ccpText, cp, 0, normalizeTypedText(text), cp > 0 ? cp - 1 : 0);
}

std::uint32_t replaceText(WordState& d, std::uint32_t cp, std::uint32_t count, std::u16string_view text,
                          std::optional<std::uint32_t> formatFrom)
{
    const auto story = storyAt(d, cp);
    const auto editable = story ? editableLength(d, *story) : std::nullopt;
    const std::uint64_t end = std::uint64_t(cp) + count;
    if (!editable || end >= std::uint64_t(d.storyStart(*story)) + *editable)
        throw Error(Error::Kind::BadArgument, "the range leaves the text of its story");
    const std::uint32_t from = formatFrom.value_or(cp);
    if (from >= d.text.size())
        throw Error(Error::Kind::BadArgument, "formatting taken from past the text");
    for (std::uint32_t i = cp; i < end; ++i)
        if (isStructureMark(d, i))
            throw Error(Error::Kind::BadArgument, "the range holds a paragraph, cell or section mark");
    checkRemovable(d, *story, cp, count);
    return edit(d, *story, cp, count, normalizeTypedText(text), from);
}

} // namespace doc::word
