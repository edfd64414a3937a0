#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The XML of a package's parts, read by expat into a small tree that remembers where each node
// stands in the part's bytes, so that an edit can splice new bytes in and leave every other byte
// as it was.
namespace docx::xml
{

// The namespaces the program reads by.
inline constexpr char kWordNs[] = "http://schemas.openxmlformats.org/wordprocessingml/2006/main";
inline constexpr char kRelationshipsNs[] =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships";

struct Attribute {
    std::string ns;    // the namespace's URI; empty for an attribute without a prefix
    std::string local; // its name without the prefix
    std::string value; // UTF-8, references resolved
};

struct Node {
    // An element has a local name; a text node (character data, CDATA included) has none.
    std::string ns;
    std::string local;
    std::vector<Attribute> attributes;
    std::vector<Node> children; // elements and text nodes in document order
    std::string text;           // a text node's characters, UTF-8, references resolved
    // Where it stands in the part: an element from its '<' through the '>' of its end tag (or of
    // "/>"); its content from after its start tag to its end tag's '<' (empty for "<x/>"); a text
    // node's characters as written.
    std::size_t begin = 0;
    std::size_t end = 0;
    std::size_t contentBegin = 0;
    std::size_t contentEnd = 0;

    bool is(std::string_view ns, std::string_view local) const;
    bool isWord(std::string_view name) const { return is(kWordNs, name); }
    // The value of the attribute, or null.
    const std::string* attribute(std::string_view ns, std::string_view local) const;
    // The first child element of that name, or null.
    const Node* child(std::string_view ns, std::string_view local) const;
    // The concatenated text of every text node below.
    std::string allText() const;
};

// The root element of a part. Throws doc::Error (Corrupt) for XML that is not well-formed or not
// UTF-8 / UTF-16, and for any document type declaration, so no entity is ever expanded; nesting
// past a few hundred levels is refused too.
Node parse(std::span<const std::uint8_t> bytes);

// text as XML character data or an attribute's value.
std::string escape(std::string_view text);

} // namespace docx::xml
