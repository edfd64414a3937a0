#pragma once

#include "agreement/agreementdocument.h"
#include "agreement/particulars.h"
#include "doc/worddocument.h"

#include <QByteArray>
#include <QStringList>

#include <array>
#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The template the program carries: where it is, its main text paragraph by paragraph, and
// the twelve places the particulars are typed at. All of it is read from the template itself;
// the filling, the reading back, the tests and the template check take it from here.
namespace agreement::Template
{

// The Qt resource that holds the template, the program's "CUSTOM" resource 101.
inline constexpr char kResource[] = ":/CUSTOM/101";
// The same agreement as a .docx, made from the same source; the .doc is the one the window fills.
inline constexpr char kDocxResource[] = ":/templates/template.docx";
// What the user knows it by, beside templates of their own.
inline constexpr char kName[] = "Standard agreement";

struct Paragraph {
    std::uint32_t start;
    std::u16string_view text; // without its paragraph mark
};

// Which of a date's texts a place receives; any other particular is typed whole.
enum class Part { Whole, Day, Month };

// What a place receives: a particular, or the day or month text of a date, the agreement's
// (Field::AgreementDate) or the signing date, which is no particular.
struct Text {
    std::optional<Field> field; // none: the signing date
    Part part = Part::Whole;

    friend auto operator<=>(const Text&, const Text&) = default;
};
inline constexpr std::optional<Field> kSigningDate = std::nullopt;

// The places the particulars and dates are typed at, in typing order. A place is named by
// the template's text it follows: the first occurrence of that text at or after the place
// before it. So the template's words, not a copy of them, say where each particular goes.
struct Anchor {
    std::u16string_view after;
    Text text;
};
inline constexpr auto kAnchors = std::to_array<Anchor>({
    {u"made the", {Field::AgreementDate, Part::Day}},
    {u"day of,", {Field::AgreementDate, Part::Month}},
    {u"by and between", {Field::Contractor}},
    {u"Contractor and", {Field::Owner}},
    {u"property at", {Field::Location}},
    {u"\r ", {Field::WorkPerformed}}, // after the space that opens its own paragraph
    {u"sum of ", {Field::ContractPrice}},
    {u"follows ", {Field::PaymentProgress}},
    {u"Signed this", {kSigningDate, Part::Day}},
    {u"day of", {kSigningDate, Part::Month}},
    {u"Owner ", {Field::Owner}},
    {u"\tContractor", {Field::Contractor}},
});
inline constexpr std::size_t kSlotCount = kAnchors.size();

struct Slot {
    std::uint32_t base;        // a position in the untouched template
    std::u16string_view after; // the template's text that ends at the base
    Text text;
    std::size_t paragraph; // the index into paragraphs() the base falls in
};

// The template resource's bytes, read once a run; throws doc::Error (Io) when the resource
// is missing.
QByteArray bytes();
// The template resource, parsed once a run; throws doc::Error when it is missing or
// unsound. Whoever types into it types into a copy.
const doc::WordDocument& document();

// The template's main text, paragraph marks as '\r'; position 0 holds the anchor of the
// white page shape.
const std::u16string& mainText();
// Its paragraphs, in order.
const std::vector<Paragraph>& paragraphs();
// Its places in typing order; throws doc::Error when the template lacks one.
const std::array<Slot, kSlotCount>& insertionSlots();
// The places in another copy of the agreement, found by the same words in its main text; throws
// doc::Error when it lacks one.
std::array<std::uint32_t, kSlotCount> basesIn(std::u16string_view mainText);

// The .docx resource, parsed once a run; throws doc::Error when it is missing or unsound.
const AgreementDocument& docxDocument();

// True when the insertions land in document where they land in the template: its main text
// up to the last place is the template's; what follows may differ.
bool fits(const doc::WordDocument& document);
// Why a document, in either format, cannot serve as the template: a place it lacks, or its page.
// Empty for a sound template.
QStringList check(const AgreementDocument& document);

} // namespace agreement::Template
