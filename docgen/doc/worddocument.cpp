#include "doc/worddocument.h"

#include "doc/propertyset.h"
#include "doc/wordstate.h"

#include <algorithm>

namespace doc
{

WordDocument::WordDocument(std::unique_ptr<word::WordState> state) : d(std::move(state)) {}
WordDocument::WordDocument(WordDocument&&) noexcept = default;
WordDocument& WordDocument::operator=(WordDocument&&) noexcept = default;
WordDocument::WordDocument(const WordDocument& other) : d(std::make_unique<word::WordState>(*other.d)) {}
WordDocument& WordDocument::operator=(const WordDocument& other)
{
    if (this != &other)
        d = std::make_unique<word::WordState>(*other.d);
    return *this;
}
WordDocument::~WordDocument() = default;

WordDocument WordDocument::parse(std::span<const std::uint8_t> bytes)
{
    return WordDocument(std::make_unique<word::WordState>(word::readWordState(bytes)));
}

WordDocument WordDocument::load(const std::filesystem::path& path, std::size_t maxBytes)
{
    return parse(fileio::readFile(path, maxBytes));
}

std::u16string WordDocument::mainText() const
{
    return d->text.substr(0, d->ccpText());
}

std::uint32_t WordDocument::mainTextLength() const
{
    return d->ccpText();
}

std::u16string WordDocument::text() const
{
    return d->text;
}

std::vector<WordDocument::StoryRange> WordDocument::stories() const
{
    // The Fib's ccp* counts, in the order the stories follow each other ([MS-DOC] 2.3).
    static constexpr std::pair<Story, std::size_t> kOrder[] = {
        {Story::Main, word::lw::ccpText},      {Story::Footnotes, word::lw::ccpFtn},
        {Story::Headers, word::lw::ccpHdd},    {Story::Macro, word::lw::ccpMcr},
        {Story::Comments, word::lw::ccpAtn},   {Story::Endnotes, word::lw::ccpEdn},
        {Story::TextBoxes, word::lw::ccpTxbx}, {Story::HeaderTextBoxes, word::lw::ccpHdrTxbx},
    };
    std::vector<StoryRange> out;
    std::uint32_t start = 0;
    for (const auto& [story, index] : kOrder) {
        const std::uint32_t length = d->rgLw[index];
        if (length > 0)
            out.push_back({story, start, length});
        start += length;
    }
    return out;
}

std::uint32_t WordDocument::insertText(std::uint32_t cp, std::u16string_view text)
{
    return word::insertText(*d, cp, text);
}

std::uint32_t WordDocument::replaceText(std::uint32_t cp, std::uint32_t count, std::u16string_view text,
                                        std::optional<std::uint32_t> formatFrom)
{
    return word::replaceText(*d, cp, count, text, formatFrom);
}

std::vector<WordDocument::Property> WordDocument::properties() const
{
    if (!d->file.hasStream(propertyset::kStreamName))
        return {};
    return propertyset::readUserProperties(d->file.stream(propertyset::kStreamName));
}

void WordDocument::setProperties(const std::vector<Property>& properties, std::u16string_view ownedPrefix)
{
    if (properties.empty()) {
        const auto held = this->properties();
        if (std::none_of(held.begin(), held.end(),
                         [&](const Property& p) { return propertyset::isOwned(p.name, ownedPrefix); }))
            return;
    }
    // The stream goes straight into the compound file, which the writer copies: a document
    // whose properties were never set writes back as read.
    const bool present = d->file.hasStream(propertyset::kStreamName);
    d->file.setStream(propertyset::kStreamName,
                      propertyset::setUserProperties(present
                                                         ? std::span(d->file.stream(propertyset::kStreamName))
                                                         : std::span<const std::uint8_t>(),
                                                     properties, ownedPrefix));
}

std::vector<std::uint8_t> WordDocument::serialize() const
{
    return word::writeWordState(*d);
}

void WordDocument::save(const std::filesystem::path& path, fileio::Access access, fileio::Flush flush) const
{
    fileio::replaceFile(path, serialize(), access, flush);
}

ReadModel WordDocument::readModel() const
{
    return word::readModel(*d);
}

} // namespace doc
