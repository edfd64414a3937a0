#include "docx/xml.h"

#include "doc/error.h"

#include <expat.h>

#include <climits>
#include <memory>
#include <new>
#include <random>
#include <string>

namespace docx::xml
{

namespace
{

// Deeper than any document Word writes (its tables nest 63 levels), shallow enough that every
// recursive walk of the tree stays far from the stack's end.
constexpr std::size_t kMaxDepth = 512;
// Between a name's namespace and its local part: a character no XML name or attribute can hold.
constexpr char kNsSeparator = '\x01';
// Parts up to this size are read by the parser each thread keeps.
constexpr std::size_t kKeptParserBytes = std::size_t{1} << 20;

[[noreturn]] void fail(const std::string& what)
{
    throw doc::Error(doc::Error::Kind::Corrupt, "malformed XML: " + what);
}

bool equalsAsciiNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 0x20) : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

void splitName(const XML_Char* name, std::string& ns, std::string& local)
{
    const std::string_view whole(name);
    const std::size_t separator = whole.find(kNsSeparator);
    if (separator == std::string_view::npos) {
        ns.clear();
        local = whole;
    } else {
        ns = whole.substr(0, separator);
        local = whole.substr(separator + 1);
    }
}

struct Parser {
    XML_Parser parser = nullptr;
    Node top;                // holds the root element
    std::vector<Node*> open; // the elements not yet ended, innermost last; top first
    bool inText = false;     // the last child of the innermost element is a text node still growing
    std::string refusal;     // why a handler stopped the parser

    std::size_t here() const { return static_cast<std::size_t>(XML_GetCurrentByteIndex(parser)); }
    std::size_t hereEnd() const { return here() + static_cast<std::size_t>(XML_GetCurrentByteCount(parser)); }

    void refuse(std::string what)
    {
        if (refusal.empty())
            refusal = std::move(what);
        XML_StopParser(parser, XML_FALSE);
    }

    Node& text()
    {
        auto& siblings = open.back()->children;
        if (!inText) {
            siblings.emplace_back();
            siblings.back().begin = here();
            siblings.back().end = here();
            inText = true;
        }
        return siblings.back();
    }

    static Parser& of(void* data) { return *static_cast<Parser*>(data); }

    static void XMLCALL onStart(void* data, const XML_Char* name, const XML_Char** attributes)
    {
        Parser& p = of(data);
        if (p.open.size() > kMaxDepth) {
            p.refuse("elements nested too deep");
            return;
        }
        p.inText = false;
        auto& siblings = p.open.back()->children;
        Node& node = siblings.emplace_back();
        splitName(name, node.ns, node.local);
        for (const XML_Char** a = attributes; *a; a += 2) {
            Attribute& attribute = node.attributes.emplace_back();
            splitName(a[0], attribute.ns, attribute.local);
            attribute.value = a[1];
        }
        node.begin = p.here();
        node.contentBegin = p.hereEnd();
        p.open.push_back(&node);
    }

    static void XMLCALL onEnd(void* data, const XML_Char*)
    {
        Parser& p = of(data);
        // Once refused, expat still ends an empty element whose start it was refused at.
        if (!p.refusal.empty())
            return;
        p.inText = false;
        Node& node = *p.open.back();
        p.open.pop_back();
        if (XML_GetCurrentByteCount(p.parser) == 0) {
            // "<x/>": expat reports the end at the start tag, and no bytes of its own.
            node.end = node.contentBegin;
            node.contentBegin = node.end;
            node.contentEnd = node.end;
        } else {
            node.contentEnd = p.here();
            node.end = p.hereEnd();
        }
    }

    static void XMLCALL onCharacters(void* data, const XML_Char* characters, int length)
    {
        Parser& p = of(data);
        Node& node = p.text();
        node.text.append(characters, static_cast<std::size_t>(length));
        node.end = p.hereEnd();
    }

    static void XMLCALL onCdataStart(void* data) { of(data).text(); }

    static void XMLCALL onCdataEnd(void* data)
    {
        Parser& p = of(data);
        p.text().end = p.hereEnd();
    }

    // A comment or processing instruction ends the text before it, so that a text node's bytes
    // hold its characters alone.
    static void XMLCALL onComment(void* data, const XML_Char*) { of(data).inText = false; }
    static void XMLCALL onInstruction(void* data, const XML_Char*, const XML_Char*)
    {
        of(data).inText = false;
    }

    static void XMLCALL onDeclaration(void* data, const XML_Char*, const XML_Char* encoding, int)
    {
        if (encoding && !equalsAsciiNoCase(encoding, "UTF-8") && !equalsAsciiNoCase(encoding, "UTF-16"))
            of(data).refuse(std::string("an encoding other than UTF-8 and UTF-16: ") + encoding);
    }

    // A document type declaration is where entities are declared: none is ever read, so that
    // no entity is expanded.
    static void XMLCALL onDoctype(void* data, const XML_Char*, const XML_Char*, const XML_Char*, int)
    {
        of(data).refuse("a document type declaration");
    }

    static void XMLCALL onEntity(void* data, const XML_Char*, int, const XML_Char*, int, const XML_Char*,
                                 const XML_Char*, const XML_Char*, const XML_Char*)
    {
        of(data).refuse("an entity declaration");
    }
};

struct ParserFree {
    void operator()(XML_Parser parser) const { XML_ParserFree(parser); }
};
using ParserOwner = std::unique_ptr<XML_ParserStruct, ParserFree>;

ParserOwner newParser()
{
    ParserOwner parser(XML_ParserCreateNS(nullptr, kNsSeparator));
    if (!parser)
        throw std::bad_alloc();
    return parser;
}

// The parser for a part of this size, ready to parse. Making one costs more than reading a
// paragraph, so each thread keeps one and resets it; a large part gets its own, so that no thread
// keeps the memory it took. Expat draws a new hash salt from the system for each parse unless it is
// given one: a salt drawn once a thread keeps its name hashing as unforeseeable to a document
// without a system call for every part.
XML_Parser parserFor(std::size_t bytes, ParserOwner& own)
{
    thread_local const ParserOwner kept = newParser();
    thread_local const unsigned long salt = std::random_device{}();
    XML_Parser parser = kept.get();
    if (bytes > kKeptParserBytes) {
        own = newParser();
        parser = own.get();
    } else if (!XML_ParserReset(parser, nullptr)) {
        throw std::bad_alloc();
    }
    XML_SetHashSalt(parser, salt);
    return parser;
}

} // namespace

bool Node::is(std::string_view nsName, std::string_view localName) const
{
    return local == localName && ns == nsName;
}

const std::string* Node::attribute(std::string_view nsName, std::string_view localName) const
{
    for (const Attribute& a : attributes) {
        if (a.local == localName && a.ns == nsName)
            return &a.value;
    }
    return nullptr;
}

const Node* Node::child(std::string_view nsName, std::string_view localName) const
{
    for (const Node& c : children) {
        if (c.is(nsName, localName))
            return &c;
    }
    return nullptr;
}

std::string Node::allText() const
{
    if (local.empty())
        return text;
    std::string all;
    for (const Node& c : children)
        all += c.allText();
    return all;
}

Node parse(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() > static_cast<std::size_t>(INT_MAX))
        fail("a part too large");
    ParserOwner own;
    Parser p;
    p.parser = parserFor(bytes.size(), own);
    p.open.push_back(&p.top);
    XML_SetUserData(p.parser, &p);
    XML_SetElementHandler(p.parser, &Parser::onStart, &Parser::onEnd);
    XML_SetCharacterDataHandler(p.parser, &Parser::onCharacters);
    XML_SetCdataSectionHandler(p.parser, &Parser::onCdataStart, &Parser::onCdataEnd);
    XML_SetCommentHandler(p.parser, &Parser::onComment);
    XML_SetProcessingInstructionHandler(p.parser, &Parser::onInstruction);
    XML_SetXmlDeclHandler(p.parser, &Parser::onDeclaration);
    XML_SetStartDoctypeDeclHandler(p.parser, &Parser::onDoctype);
    XML_SetEntityDeclHandler(p.parser, &Parser::onEntity);
    XML_SetParamEntityParsing(p.parser, XML_PARAM_ENTITY_PARSING_NEVER);

    const auto status = XML_Parse(p.parser, reinterpret_cast<const char*>(bytes.data()),
                                  static_cast<int>(bytes.size()), XML_TRUE);
    if (!p.refusal.empty())
        fail(p.refusal);
    if (status != XML_STATUS_OK) {
        fail(std::string(XML_ErrorString(XML_GetErrorCode(p.parser))) + " at line " +
             std::to_string(XML_GetCurrentLineNumber(p.parser)));
    }
    // expat reports no characters outside the root, and ends with "no element found" without one.
    return std::move(p.top.children.front());
}

std::string escape(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        // Kept as written in an attribute's value too, where they would read back as spaces.
        case '\t':
            out += "&#9;";
            break;
        case '\n':
            out += "&#10;";
            break;
        case '\r':
            out += "&#13;";
            break;
        default:
            // XML 1.0 holds no other control character, not even as a reference.
            if (static_cast<unsigned char>(c) >= 0x20)
                out += c;
        }
    }
    return out;
}

} // namespace docx::xml
