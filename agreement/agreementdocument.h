#pragma once

#include "doc/error.h"
#include "doc/readmodel.h"
#include "doc/worddocument.h"
#include "docx/docxdocument.h"

#include <QString>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// A template or an agreement as a Word document in either of the formats Word writes, behind one face:
// the Word 97-2003 binary document (.doc) or Office Open XML (.docx).
namespace agreement
{

enum class DocumentFormat { Doc, Docx };

struct DocumentFormatName {
    DocumentFormat format;
    const char* extension; // with its dot
    const char* name;      // what a message calls a document of this format
};
inline constexpr DocumentFormatName kDocumentFormats[] = {
    {DocumentFormat::Doc, ".doc", "Word 97-2003 document (.doc)"},
    {DocumentFormat::Docx, ".docx", "Word document (.docx)"},
};

constexpr const DocumentFormatName& formatName(DocumentFormat format)
{
    for (const DocumentFormatName& f : kDocumentFormats)
        if (f.format == format)
            return f;
    return kDocumentFormats[0];
}
constexpr const char* extension(DocumentFormat format)
{
    return formatName(format).extension;
}
// The format a file's name ends in, compared without regard to case; none for any other name.
std::optional<DocumentFormat> formatOfName(const QString& fileName);

// Why bytes were refused: doc::Error from the engine that read them, or this when a file's name says
// one format and its bytes are the other (a .doc renamed .docx, or the reverse).
class MisnamedDocument : public doc::Error
{
public:
    MisnamedDocument(DocumentFormat named, DocumentFormat is);
    DocumentFormat named() const { return mNamed; }
    DocumentFormat is() const { return mIs; }
    // %1 the extension the name ends in, %2 what the document is (DocumentFormatName::name).
    static constexpr char kText[] = "its name ends in %1, but it is a %2";

private:
    DocumentFormat mNamed;
    DocumentFormat mIs;
};

class AgreementDocument
{
public:
    using Engine = std::variant<doc::WordDocument, docx::DocxDocument>;
    using Story = doc::WordDocument::Story;
    using StoryRange = doc::WordDocument::StoryRange;
    using Property = doc::WordDocument::Property;

    AgreementDocument(doc::WordDocument document) : mEngine(std::move(document)) {}
    AgreementDocument(docx::DocxDocument document) : mEngine(std::move(document)) {}

    // Read by the engine its bytes call for: a zip package is a .docx, anything else is read as a .doc.
    // Throws doc::Error; MisnamedDocument when fileName, given, names the other format.
    static AgreementDocument fromBytes(std::span<const std::uint8_t> bytes, const QString& fileName = {});
    // As fromBytes(); Kind::Io when the file cannot be read or is larger than maxBytes.
    static AgreementDocument load(const std::filesystem::path& path, std::size_t maxBytes);

    DocumentFormat format() const;
    const Engine& engine() const { return mEngine; }

    // As the engines give them: every story's text with Word's marks, and where each story stands.
    std::u16string text() const;
    std::vector<StoryRange> stories() const;
    // The main story's text, paragraph marks as '\r'.
    std::u16string mainText() const;
    std::uint32_t replaceText(std::uint32_t cp, std::uint32_t count, std::u16string_view text,
                              std::optional<std::uint32_t> formatFrom = std::nullopt);
    std::vector<Property> properties() const;
    void setProperties(const std::vector<Property>& properties, std::u16string_view ownedPrefix = {});
    std::vector<std::uint8_t> serialize() const;
    doc::ReadModel readModel() const;

private:
    Engine mEngine;
};

} // namespace agreement
