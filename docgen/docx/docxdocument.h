#pragma once

#include "doc/fileio.h"
#include "doc/readmodel.h"
#include "doc/worddocument.h"
#include "docx/package.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// An Office Open XML word-processing document (.docx, [ECMA-376] Part 1) held in memory, seen the
// way the program sees a Word 97-2003 one (doc::WordDocument): every story's text in one run of
// characters with Word's marks, where text can be replaced, the user-defined properties, the bytes
// it is written as, and its read model for the page layout. The same tag scanning, filling and
// reading back then serve both formats.
namespace docx
{

struct DocxState;

class DocxDocument
{
public:
    using Story = doc::WordDocument::Story;
    using StoryRange = doc::WordDocument::StoryRange;
    using Property = doc::WordDocument::Property;

    // Throws doc::Error for anything that is not a sound word-processing package: NotWordDocument
    // for no zip or no main document part (a .doc renamed gets its own message from the caller,
    // which knows the compound file's signature); Corrupt for a main part missing or named twice,
    // a part that is not well-formed XML, a document type declaration (so no entity is ever
    // expanded); Unsupported for a macro-enabled document (its main part's content type or a
    // vbaProject part): macros are never carried into agreements.
    static DocxDocument parse(std::span<const std::uint8_t> bytes, const PackageLimits& limits = {});
    // As parse(); Kind::Io when the file cannot be read or is larger than maxBytes.
    static DocxDocument load(const std::filesystem::path& path,
                             std::size_t maxBytes = doc::WordDocument::kMaxFileBytes);

    DocxDocument(DocxDocument&&) noexcept;
    DocxDocument& operator=(DocxDocument&&) noexcept;
    DocxDocument(const DocxDocument&);
    DocxDocument& operator=(const DocxDocument&);
    ~DocxDocument();

    // As doc::WordDocument::text(): the stories in Word's order (main text, footnotes, headers and
    // footers, comments, endnotes, text boxes, header text boxes), each paragraph ended by '\r', a
    // cell by 0x07, a tab as '\t', a line or page break as 0x0B or 0x0C, and fields as 0x13 code
    // 0x14 result 0x15 (complex fields and w:fldSimple alike); a text box's paragraphs stand in the
    // text box story, not where the box is anchored. Content controls and revisions that are not
    // deleted read as their text.
    std::u16string text() const;
    std::vector<StoryRange> stories() const;

    // As doc::WordDocument::replaceText, on text()'s positions: the text Word split over several runs
    // (spelling marks, revision ids, a change of formatting) is replaced where it stands, the new text
    // taking the run properties of the character at formatFrom (by default cp); a field the range
    // covers wholly goes with it; line breaks in text become <w:br/>. Every other byte of every part
    // stays as it was. Kind::BadArgument for a range it refuses (as doc::WordDocument does);
    // Kind::Unsupported for text in a part written in UTF-16, which Word never writes.
    std::uint32_t replaceText(std::uint32_t cp, std::uint32_t count, std::u16string_view text,
                              std::optional<std::uint32_t> formatFrom = std::nullopt);

    // The custom properties (docProps/custom.xml) that hold text (vt:lpwstr), in stored order.
    std::vector<Property> properties() const;
    // As doc::WordDocument::setProperties; adds docProps/custom.xml, its relationship and its
    // content type when the document has none.
    void setProperties(const std::vector<Property>& properties, std::u16string_view ownedPrefix = {});

    // The whole package; parts not changed come back byte for byte.
    std::vector<std::uint8_t> serialize() const;
    // As doc::WordDocument::save.
    void save(const std::filesystem::path& path, doc::fileio::Access access = doc::fileio::Access::UsersFile,
              doc::fileio::Flush flush = doc::fileio::Flush::ToDisk) const;

    // The same format-neutral model the .doc reader gives: paragraphs with their look and list
    // labels, tables, sections with headers and footers, pictures, floating shapes and text boxes.
    doc::ReadModel readModel() const;

    // The package as held, for readers of its parts.
    const Package& package() const;

private:
    explicit DocxDocument(std::unique_ptr<DocxState> state);
    std::unique_ptr<DocxState> d;
};

// True for bytes that begin as a zip archive does; the callers choose the engine by this, not by
// a file's name.
bool looksLikeZip(std::span<const std::uint8_t> bytes);

} // namespace docx
