#include "agreement/agreementtemplate.h"

#include "doc/error.h"

#include <QFile>

#include <algorithm>
#include <optional>

namespace agreement::Template
{

namespace
{

// Each particular has a place; a date receives its day and month texts, any other particular
// itself.
constexpr bool soundAnchors()
{
    for (const Particular& row : kParticulars) {
        if (std::none_of(kAnchors.begin(), kAnchors.end(),
                         [&](const Anchor& anchor) { return anchor.text.field == row.field; }))
            return false;
    }
    return std::all_of(kAnchors.begin(), kAnchors.end(), [](const Anchor& anchor) {
        const bool date = !anchor.text.field || particular(*anchor.text.field).kind == Kind::Date;
        return (anchor.text.part == Part::Whole) != date;
    });
}
static_assert(soundAnchors());

// Each anchor's place in text, none where the anchor is missing.
std::array<std::optional<std::uint32_t>, kAnchors.size()> bases(std::u16string_view text)
{
    std::array<std::optional<std::uint32_t>, kAnchors.size()> out;
    std::size_t from = 0;
    for (std::size_t k = 0; k < kAnchors.size(); ++k) {
        const std::size_t at = text.find(kAnchors[k].after, from);
        if (at == std::u16string_view::npos)
            continue;
        from = at + kAnchors[k].after.size();
        out[k] = static_cast<std::uint32_t>(from);
    }
    return out;
}

constexpr std::int32_t kLetterWidth = 12240;
constexpr std::int32_t kLetterHeight = 15840;

QByteArray resourceBytes(const char* name)
{
    QFile resource{QLatin1String(name)};
    if (!resource.open(QIODevice::ReadOnly))
        throw doc::Error(doc::Error::Kind::Io,
                         "The template resource is missing: " + resource.errorString().toStdString());
    return resource.readAll();
}

std::span<const std::uint8_t> byteSpan(const QByteArray& bytes)
{
    return {reinterpret_cast<const std::uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size())};
}

} // namespace

// The resource cannot change while the program runs: it is read, decompressed and parsed
// once, on first use, and so is everything read from it.
QByteArray bytes()
{
    static const QByteArray kept = resourceBytes(kResource);
    return kept;
}

const AgreementDocument& docxDocument()
{
    static const AgreementDocument kept =
        AgreementDocument::fromBytes(byteSpan(resourceBytes(kDocxResource)));
    return kept;
}

const doc::WordDocument& document()
{
    static const doc::WordDocument kept = [] { return doc::WordDocument::parse(byteSpan(bytes())); }();
    return kept;
}

const std::u16string& mainText()
{
    static const std::u16string kept = document().mainText();
    return kept;
}

const std::vector<Paragraph>& paragraphs()
{
    static const std::vector<Paragraph> kept = [] {
        const std::u16string_view text = mainText();
        std::vector<Paragraph> out;
        std::size_t from = 0;
        for (std::size_t mark = text.find(u'\r'); mark != std::u16string_view::npos;
             mark = text.find(u'\r', from)) {
            out.push_back({static_cast<std::uint32_t>(from), text.substr(from, mark - from)});
            from = mark + 1;
        }
        return out;
    }();
    return kept;
}

const std::array<Slot, kSlotCount>& insertionSlots()
{
    static const std::array<Slot, kSlotCount> kept = [] {
        const std::u16string_view text = mainText();
        const auto found = basesIn(text);
        std::array<Slot, kSlotCount> out;
        for (std::size_t k = 0; k < out.size(); ++k) {
            const std::uint32_t base = found[k];
            const auto paragraph =
                static_cast<std::size_t>(std::count(text.begin(), text.begin() + base, u'\r'));
            out[k] = {base, kAnchors[k].after, kAnchors[k].text, paragraph};
        }
        return out;
    }();
    return kept;
}

std::array<std::uint32_t, kSlotCount> basesIn(std::u16string_view mainText)
{
    const auto found = bases(mainText);
    std::array<std::uint32_t, kSlotCount> out;
    for (std::size_t k = 0; k < out.size(); ++k) {
        if (!found[k])
            throw doc::Error(doc::Error::Kind::Corrupt,
                             "The template has no place for insertion " + std::to_string(k + 1));
        out[k] = *found[k];
    }
    return out;
}

bool fits(const doc::WordDocument& document)
{
    const std::u16string text = document.mainText();
    const std::size_t fixed = insertionSlots().back().base;
    return text.size() >= fixed && text.compare(0, fixed, mainText(), 0, fixed) == 0;
}

QStringList check(const AgreementDocument& document)
{
    QStringList problems;
    const auto found = bases(document.mainText());
    // A paragraph mark shows as a pilcrow.
    for (std::size_t k = 0; k < found.size(); ++k) {
        if (!found[k])
            problems << QStringLiteral("insertion %1 has no \"%2\" to follow")
                            .arg(k + 1)
                            .arg(QStringView(kAnchors[k].after).toString().replace(u'\r', QChar(0x00B6)));
    }
    const doc::SectionLayout page = document.readModel().section();
    if (page.pageWidth != kLetterWidth || page.pageHeight != kLetterHeight)
        problems << QStringLiteral("the page is %1 x %2 twips, not Letter")
                        .arg(page.pageWidth)
                        .arg(page.pageHeight);
    return problems;
}

} // namespace agreement::Template
