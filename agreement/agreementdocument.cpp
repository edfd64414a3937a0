#include "agreement/agreementdocument.h"

#include "doc/fileio.h"

#include <algorithm>

namespace agreement
{

std::optional<DocumentFormat> formatOfName(const QString& fileName)
{
    for (const DocumentFormatName& f : kDocumentFormats)
        if (fileName.endsWith(QLatin1String(f.extension), Qt::CaseInsensitive))
            return f.format;
    return std::nullopt;
}

MisnamedDocument::MisnamedDocument(DocumentFormat named, DocumentFormat is)
    : doc::Error(Kind::NotWordDocument,
                 QString::fromLatin1(kText)
                     .arg(QLatin1String(extension(named)), QLatin1String(formatName(is).name))
                     .toStdString()),
      mNamed(named), mIs(is)
{
}

AgreementDocument AgreementDocument::fromBytes(std::span<const std::uint8_t> bytes, const QString& fileName)
{
    AgreementDocument document = docx::looksLikeZip(bytes)
                                     ? AgreementDocument(docx::DocxDocument::parse(bytes))
                                     : AgreementDocument(doc::WordDocument::parse(bytes));
    if (const std::optional<DocumentFormat> named = formatOfName(fileName);
        named && *named != document.format())
        throw MisnamedDocument(*named, document.format());
    return document;
}

AgreementDocument AgreementDocument::load(const std::filesystem::path& path, std::size_t maxBytes)
{
    return fromBytes(doc::fileio::readFile(path, maxBytes),
                     QString::fromStdU16String(path.filename().u16string()));
}

DocumentFormat AgreementDocument::format() const
{
    return std::holds_alternative<doc::WordDocument>(mEngine) ? DocumentFormat::Doc : DocumentFormat::Docx;
}

std::u16string AgreementDocument::text() const
{
    return std::visit([](const auto& d) { return d.text(); }, mEngine);
}

std::vector<AgreementDocument::StoryRange> AgreementDocument::stories() const
{
    return std::visit([](const auto& d) { return d.stories(); }, mEngine);
}

std::u16string AgreementDocument::mainText() const
{
    if (const auto* word = std::get_if<doc::WordDocument>(&mEngine))
        return word->mainText();
    const auto& document = std::get<docx::DocxDocument>(mEngine);
    const std::vector<StoryRange> ranges = document.stories();
    const auto main = std::find_if(ranges.begin(), ranges.end(),
                                   [](const StoryRange& r) { return r.story == Story::Main; });
    return main == ranges.end() ? std::u16string() : document.text().substr(main->start, main->length);
}

std::uint32_t AgreementDocument::replaceText(std::uint32_t cp, std::uint32_t count, std::u16string_view text,
                                             std::optional<std::uint32_t> formatFrom)
{
    return std::visit([&](auto& d) { return d.replaceText(cp, count, text, formatFrom); }, mEngine);
}

std::vector<AgreementDocument::Property> AgreementDocument::properties() const
{
    return std::visit([](const auto& d) { return d.properties(); }, mEngine);
}

void AgreementDocument::setProperties(const std::vector<Property>& properties,
                                      std::u16string_view ownedPrefix)
{
    std::visit([&](auto& d) { d.setProperties(properties, ownedPrefix); }, mEngine);
}

std::vector<std::uint8_t> AgreementDocument::serialize() const
{
    return std::visit([](const auto& d) { return d.serialize(); }, mEngine);
}

doc::ReadModel AgreementDocument::readModel() const
{
    return std::visit([](const auto& d) { return d.readModel(); }, mEngine);
}

} // namespace agreement
