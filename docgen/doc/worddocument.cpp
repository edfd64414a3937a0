#include "doc/worddocument.h"

#include "doc/wordstate.h"

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

std::uint32_t WordDocument::insertText(std::uint32_t cp, std::u16string_view text)
{
    return word::insertText(*d, cp, text);
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
