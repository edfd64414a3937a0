#pragma once

#include "doc/worddocument.h"

#include <QByteArray>
#include <QStringList>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

// The template the program carries: where it is, its main text paragraph by paragraph, and
// the twelve places the particulars are typed at. The filling, the reading back, the tests
// and the template check all read these facts here.
namespace agreement::Template
{

// The Qt resource that holds the template, the program's "CUSTOM" resource 101.
inline constexpr char kResource[] = ":/CUSTOM/101";

inline constexpr std::uint32_t kMainTextLength = 693;

struct Paragraph {
    std::uint32_t start;
    std::u16string_view text; // without its paragraph mark
};
// Position 0 holds the anchor of the white page shape.
extern const std::array<Paragraph, 35> kParagraphs;

// What an insertion types: the agreement's or the signing date's day or month, or a particular.
enum class Text {
    AgreementDay,
    AgreementMonth,
    Contractor,
    Owner,
    Location,
    Work,
    Price,
    Payments,
    SigningDay,
    SigningMonth
};

struct Slot {
    std::uint32_t base;        // a position in the untouched template
    std::u16string_view after; // the template's text that ends at the base
    Text text;
    std::size_t paragraph; // the index into kParagraphs the base falls in
};
// In typing order.
inline constexpr std::array<Slot, 12> kSlots{{
    {141, u"made the", Text::AgreementDay, 4},
    {148, u"day of,", Text::AgreementMonth, 4},
    {164, u"by and between", Text::Contractor, 4},
    {201, u"Contractor and", Text::Owner, 4},
    {436, u"property at", Text::Location, 10},
    {456, u"\r ", Text::Work, 15},
    {566, u"sum of ", Text::Price, 20},
    {638, u"follows ", Text::Payments, 23},
    {655, u"Signed this", Text::SigningDay, 29},
    {661, u"day of", Text::SigningMonth, 29},
    {669, u"Owner ", Text::Owner, 31},
    {687, u"\tContractor", Text::Contractor, 31},
}};

// The main text as the paragraph table has it, paragraph marks as '\r'.
std::u16string mainText();

// The template resource's bytes, read once a run; throws doc::Error (Io) when the resource
// is missing.
QByteArray bytes();
// The template resource, parsed once a run; throws doc::Error when it is missing or
// unsound. Whoever types into it types into a copy.
const doc::WordDocument& document();

// True when the insertions land in document where they land in the template: its main text
// up to the last place is the template's; what follows may differ.
bool fits(const doc::WordDocument& document);
// How a document differs from the template: its main text against the paragraph table and
// the insertion places. Empty for a sound template.
QStringList check(const doc::WordDocument& document);

} // namespace agreement::Template
