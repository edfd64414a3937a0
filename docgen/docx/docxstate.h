#pragma once

// What a DocxDocument holds: the package, every part it reads parsed once, and the text of its
// stories with where each character stands in its part's bytes. Internal to the engine.

#include "docx/docxdocument.h"
#include "docx/package.h"
#include "docx/xml.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace docx
{

// Namespaces the text and the read model both read by, beside those of xml.h.
inline constexpr char kMarkupCompatibilityNs[] =
    "http://schemas.openxmlformats.org/markup-compatibility/2006";
inline constexpr char kWordDrawingNs[] =
    "http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing";

// One relationship of a part ([ECMA-376] Part 2, 9.3).
struct Relationship {
    std::string id;
    std::string type;      // the relationship type's URI
    std::string target;    // an internal target as a package entry name, resolved against its part
    bool external = false; // TargetMode="External": target is the URI as written
};

// A part read as XML, with its relationships (from its .rels part, none when it has none).
struct XmlPart {
    std::string name; // the package entry name
    xml::Node root;
    std::vector<Relationship> relationships;

    // The relationship of this id, or null.
    const Relationship* relationship(std::string_view id) const;
};

// A header or footer part and the ids the main part's section properties know it by.
struct HeaderFooterPart {
    bool footer = false;
    std::vector<std::string> relationshipIds; // of the main part's relationships
    XmlPart part;
};

// Where the characters of text() come from: one piece per source, in text order.
struct TextPiece {
    enum class Kind : std::uint8_t {
        Text,          // the characters of a w:t or w:instrText element
        Element,       // one character for one element in a run (tab, break, field char, drawing...)
        SimpleCode,    // a w:fldSimple's instruction, read from its attribute
        SimpleMark,    // a w:fldSimple's begin, separator or end mark
        ParagraphMark, // the end of a w:p: '\r', a cell end, or a section's page break
        RowEnd,        // the end of a w:tr
    };
    std::uint32_t cp = 0;
    std::uint32_t length = 0;
    Kind kind = Kind::Text;
    std::uint32_t part = 0; // index into DocxState::parts()
    std::size_t begin = 0;  // the source element in its part's bytes
    std::size_t end = 0;
    std::int32_t container = -1; // innermost TextContainer holding it, -1 for none
};

// A run or simple field that pieces stand in; an edit removes one whole when it takes every piece
// in it.
struct TextContainer {
    enum class Kind : std::uint8_t { Run, SimpleField };
    Kind kind = Kind::Run;
    std::uint32_t part = 0;
    std::size_t begin = 0;
    std::size_t end = 0;
    std::size_t contentBegin = 0;
    std::optional<std::pair<std::size_t, std::size_t>> properties; // a run's w:rPr, bytes
    std::int32_t parent = -1;
    std::uint32_t pieces = 0; // pieces inside it, at any depth
};

struct DocxState {
    Package package;
    std::string mainName; // the main document part's entry name
    XmlPart main;
    // In the order the sections refer to them, then any other the main part relates.
    std::vector<HeaderFooterPart> headersFooters;
    std::optional<XmlPart> footnotes;
    std::optional<XmlPart> endnotes;
    std::optional<XmlPart> comments;
    // Parts no edit changes, shared by every copy of the document.
    std::shared_ptr<const XmlPart> styles;
    std::shared_ptr<const XmlPart> numbering;
    std::shared_ptr<const XmlPart> settings;

    // Every story's text in Word's order, and where it comes from.
    std::u16string text;
    std::vector<DocxDocument::StoryRange> stories;
    std::vector<TextPiece> pieces;
    std::vector<TextContainer> containers;

    // The parts text pieces index: main, headers and footers in order, then footnotes, endnotes
    // and comments when present.
    std::vector<const XmlPart*> parts() const;
};

} // namespace docx
