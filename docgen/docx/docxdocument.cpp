#include "docx/docxdocument.h"

#include "doc/error.h"
#include "doc/propertyset.h"
#include "doc/utf.h"
#include "doc/wordformat.h"
#include "docx/docxstate.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <type_traits>

namespace docx
{

namespace
{

using doc::Error;
using Story = DocxDocument::Story;
namespace mark = doc::word::mark;

constexpr char kPackageRelationshipsName[] = "_rels/.rels";
constexpr char kContentTypesNs[] = "http://schemas.openxmlformats.org/package/2006/content-types";
constexpr char kPackageRelationshipsNs[] = "http://schemas.openxmlformats.org/package/2006/relationships";
constexpr char kCustomPropertiesNs[] =
    "http://schemas.openxmlformats.org/officeDocument/2006/custom-properties";
constexpr char kVariantTypesNs[] = "http://schemas.openxmlformats.org/officeDocument/2006/docPropsVTypes";

constexpr std::string_view kMainContentTypes[] = {
    "application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml",
    "application/vnd.openxmlformats-officedocument.wordprocessingml.template.main+xml",
};
constexpr std::string_view kMacroContentTypes[] = {
    "application/vnd.ms-word.document.macroEnabled.main+xml",
    "application/vnd.ms-word.template.macroEnabledTemplate.main+xml",
    "application/vnd.ms-office.vbaProject",
};
constexpr std::string_view kMacroPartName = "vbaProject.bin";
constexpr char kCustomPropertiesName[] = "docProps/custom.xml";
constexpr char kCustomPropertiesContentType[] =
    "application/vnd.openxmlformats-officedocument.custom-properties+xml";
// The format identifier every user-defined property carries ([ECMA-376] Part 1, 22.3.2.2).
constexpr char kUserPropertiesFmtid[] = "{D5CDD505-2E9C-101B-9397-08002B2CF9AE}";
// Identifiers 0 and 1 are reserved; user-defined properties count from 2.
constexpr long kFirstPropertyId = 2;

// Characters that stand for elements in a run, as a Word 97-2003 document keeps them.
constexpr char16_t kNoteReference = 0x02;
constexpr char16_t kSeparator = 0x03;
constexpr char16_t kContinuationSeparator = 0x04;
constexpr char16_t kCommentReference = 0x05;
constexpr char16_t kColumnBreak = 0x0E;
constexpr char16_t kNonBreakingHyphen = 0x1E;
constexpr char16_t kSoftHyphen = 0x1F;

std::string relationshipType(std::string_view name)
{
    return std::string(xml::kRelationshipsNs) + "/" + std::string(name);
}

bool equalsAsciiCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

std::string_view textOf(const std::vector<std::uint8_t>& bytes)
{
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

xml::Node parsePart(std::string_view name, std::span<const std::uint8_t> bytes)
{
    try {
        return xml::parse(bytes);
    } catch (const Error& e) {
        throw Error(e.kind(), std::string(name) + ": " + e.what());
    }
}

xml::Node parsePart(const Entry& entry)
{
    return parsePart(entry.name, entry.bytes);
}

// The qualified name an element is written with in its part ("w:t"), read from its start tag.
std::string_view writtenName(std::string_view source, std::size_t begin, std::size_t end)
{
    std::size_t length = 0;
    while (begin + 1 + length < end &&
           std::string_view(" \t\r\n/>").find(source[begin + 1 + length]) == std::string_view::npos)
        ++length;
    return source.substr(begin + 1, length);
}

bool isXmlSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The prefixes text names things with: "p" for each "p:" where an element's or an attribute's name
// begins, after '<' or white space. Character data that reads so only adds one more.
void addPrefixes(std::string_view text, std::vector<std::string_view>& prefixes)
{
    constexpr std::string_view kNameEnds = " \t\r\n<>/=\"':";
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] != '<' && !isXmlSpace(text[at]))
            continue;
        const std::size_t end = std::min(text.find_first_of(kNameEnds, at + 1), text.size());
        const std::string_view prefix = text.substr(at + 1, end - at - 1);
        if (end < text.size() && text[end] == ':' && !prefix.empty() &&
            std::find(prefixes.begin(), prefixes.end(), prefix) == prefixes.end())
            prefixes.push_back(prefix);
        at = end - 1;
    }
}

// A start tag with its name and no attribute but the namespace declarations for the prefixes
// used() asks for (and the default namespace's), as a wrapper for an element read alone: expat
// spends more on the dozens of declarations of a Word part's root than on a paragraph.
template <typename Used> std::string declaringTag(std::string_view startTag, Used used)
{
    const std::string_view name = writtenName(startTag, 0, startTag.size());
    std::string out = "<" + std::string(name);
    for (std::size_t at = 1 + name.size();;) {
        while (at < startTag.size() && isXmlSpace(startTag[at]))
            ++at;
        const std::size_t nameBegin = at;
        while (at < startTag.size() && startTag[at] != '=' && !isXmlSpace(startTag[at]) &&
               startTag[at] != '>' && startTag[at] != '/')
            ++at;
        const std::string_view attribute = startTag.substr(nameBegin, at - nameBegin);
        const std::size_t open = startTag.find_first_of("\"'", at);
        const std::size_t close =
            open == std::string_view::npos ? open : startTag.find(startTag[open], open + 1);
        if (attribute.empty() || close == std::string_view::npos)
            break;
        if (attribute == "xmlns" || (attribute.starts_with("xmlns:") && used(attribute.substr(6))))
            out += " " + std::string(startTag.substr(nameBegin, close + 1 - nameBegin));
        at = close + 1;
    }
    return out + ">";
}

// The prefix an element is written with ("w:"), or none; the Word namespace's in a part is its
// root element's.
std::string prefixOf(std::string_view source, const xml::Node& element)
{
    const std::string_view name = writtenName(source, element.begin, element.end);
    const std::size_t colon = name.find(':');
    return colon == std::string_view::npos ? std::string() : std::string(name.substr(0, colon + 1));
}

std::string percentDecoded(std::string_view s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        unsigned value = 0;
        if (s[i] == '%' && i + 2 < s.size() &&
            std::from_chars(s.data() + i + 1, s.data() + i + 3, value, 16).ptr == s.data() + i + 3) {
            out += static_cast<char>(value);
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

// An internal relationship's target as an entry name: relative to the folder of its source part,
// or to the package's root when it begins with '/'. A target that climbs out of the package is
// refused.
std::string resolveTarget(std::string_view source, std::string_view target)
{
    target = target.substr(0, target.find('#'));
    std::vector<std::string> segments;
    if (!target.starts_with('/')) {
        std::string_view folder =
            source.substr(0, source.rfind('/') == std::string_view::npos ? 0 : source.rfind('/'));
        while (!folder.empty()) {
            const std::size_t slash = folder.find('/');
            segments.emplace_back(folder.substr(0, slash));
            folder = slash == std::string_view::npos ? std::string_view() : folder.substr(slash + 1);
        }
    }
    const std::string decoded = percentDecoded(target);
    std::string_view rest = decoded;
    while (!rest.empty()) {
        const std::size_t slash = rest.find('/');
        const std::string_view segment = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
        if (segment.empty() || segment == ".")
            continue;
        if (segment == "..") {
            if (segments.empty())
                throw Error(Error::Kind::Corrupt,
                            "relationship target outside the package: " + std::string(target));
            segments.pop_back();
            continue;
        }
        segments.emplace_back(segment);
    }
    std::string name;
    for (const auto& segment : segments)
        name += (name.empty() ? "" : "/") + segment;
    return name;
}

// The relationships part of a part: "word/document.xml" -> "word/_rels/document.xml.rels".
std::string relationshipsName(std::string_view part)
{
    const std::size_t slash = part.rfind('/');
    const std::string_view folder =
        slash == std::string_view::npos ? std::string_view() : part.substr(0, slash + 1);
    const std::string_view file = slash == std::string_view::npos ? part : part.substr(slash + 1);
    return std::string(folder) + "_rels/" + std::string(file) + ".rels";
}

// The relationships of part (the package's own for none) its relationships part, read as root, holds.
std::vector<Relationship> relationshipsIn(const xml::Node& root, const std::string& name,
                                          std::string_view part)
{
    std::vector<Relationship> out;
    for (const auto& node : root.children) {
        if (!node.is(kPackageRelationshipsNs, "Relationship"))
            continue;
        const std::string* id = node.attribute({}, "Id");
        const std::string* type = node.attribute({}, "Type");
        const std::string* target = node.attribute({}, "Target");
        const std::string* mode = node.attribute({}, "TargetMode");
        if (!id || !type || !target)
            throw Error(Error::Kind::Corrupt, name + ": a relationship without its id, type or target");
        const bool external = mode && *mode == "External";
        out.push_back({*id, *type, external ? *target : resolveTarget(part, *target), external});
    }
    return out;
}

std::vector<Relationship> readRelationships(const Package& package, std::string_view part)
{
    const std::string name = part.empty() ? std::string(kPackageRelationshipsName) : relationshipsName(part);
    const Entry* entry = package.find(name);
    if (!entry)
        return {};
    return relationshipsIn(parsePart(*entry), name, part);
}

struct ContentTypes {
    std::vector<std::pair<std::string, std::string>> defaults;  // extension, type
    std::vector<std::pair<std::string, std::string>> overrides; // entry name, type

    std::string of(std::string_view name) const
    {
        for (const auto& [part, type] : overrides)
            if (equalsAsciiCase(part, name))
                return type;
        const std::size_t dot = name.rfind('.');
        const std::string_view extension =
            dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1);
        for (const auto& [ext, type] : defaults)
            if (equalsAsciiCase(ext, extension))
                return type;
        return {};
    }
};

ContentTypes contentTypesIn(const xml::Node& root)
{
    ContentTypes out;
    for (const auto& node : root.children) {
        const std::string* type = node.attribute({}, "ContentType");
        if (!type)
            continue;
        if (const std::string* extension = node.attribute({}, "Extension");
            extension && node.is(kContentTypesNs, "Default"))
            out.defaults.emplace_back(*extension, *type);
        else if (const std::string* part = node.attribute({}, "PartName");
                 part && node.is(kContentTypesNs, "Override"))
            out.overrides.emplace_back(resolveTarget({}, *part), *type);
    }
    return out;
}

ContentTypes readContentTypes(const Package& package)
{
    const Entry* entry = package.find(kContentTypesName);
    if (!entry)
        throw Error(Error::Kind::NotWordDocument, "no content types: not an Office Open XML package");
    return contentTypesIn(parsePart(*entry));
}

bool contains(std::span<const std::string_view> list, std::string_view value)
{
    return std::any_of(list.begin(), list.end(),
                       [&](std::string_view item) { return equalsAsciiCase(item, value); });
}

XmlPart readXmlPart(const Package& package, std::string name)
{
    const Entry* entry = package.find(name);
    if (!entry)
        throw Error(Error::Kind::Corrupt, "part missing: " + name);
    XmlPart part{entry->name, parsePart(*entry), {}};
    part.relationships = readRelationships(package, part.name);
    return part;
}

std::optional<XmlPart> readRelatedPart(const Package& package, const XmlPart& from, std::string_view type)
{
    const std::string wanted = relationshipType(type);
    for (const auto& relationship : from.relationships)
        if (!relationship.external && relationship.type == wanted)
            return readXmlPart(package, relationship.target);
    return std::nullopt;
}

void readParts(DocxState& s)
{
    const ContentTypes types = readContentTypes(s.package);
    for (const auto& entry : s.package.entries()) {
        const std::string_view name = entry.name;
        const std::string_view file = name.substr(name.rfind('/') + 1); // npos + 1 is the whole name
        if (equalsAsciiCase(file, kMacroPartName) || contains(kMacroContentTypes, types.of(entry.name)))
            throw Error(Error::Kind::Unsupported,
                        "a macro-enabled document: macros are not carried into agreements");
    }

    const std::string officeDocument = relationshipType("officeDocument");
    std::vector<std::string> mains;
    for (const auto& relationship : readRelationships(s.package, {}))
        if (relationship.type == officeDocument && !relationship.external)
            mains.push_back(relationship.target);
    if (mains.empty())
        throw Error(Error::Kind::NotWordDocument, "no main document part");
    if (mains.size() > 1)
        throw Error(Error::Kind::Corrupt, "the main document part is named twice");
    if (!s.package.find(mains.front()))
        throw Error(Error::Kind::Corrupt, "the main document part is missing");
    if (!contains(kMainContentTypes, types.of(mains.front())))
        throw Error(Error::Kind::NotWordDocument, "the main part is no word-processing document");

    s.mainName = s.package.find(mains.front())->name;
    s.main = readXmlPart(s.package, s.mainName);
    if (!s.main.root.isWord("document"))
        throw Error(Error::Kind::Corrupt, "the main document part holds no document");

    // Headers and footers in the order the sections name them, as Word keeps them in a
    // Word 97-2003 document, then any the sections do not name.
    std::vector<std::string> named;
    const auto collect = [&](const auto& self, const xml::Node& node) -> void {
        for (const auto& child : node.children) {
            if (child.isWord("sectPr")) {
                for (const auto& reference : child.children)
                    if (reference.isWord("headerReference") || reference.isWord("footerReference"))
                        if (const std::string* id = reference.attribute(xml::kRelationshipsNs, "id"))
                            named.push_back(*id);
            } else if (!child.local.empty()) {
                self(self, child);
            }
        }
    };
    collect(collect, s.main.root);
    const std::string header = relationshipType("header");
    const std::string footer = relationshipType("footer");
    std::vector<const Relationship*> order;
    for (const auto& id : named)
        if (const Relationship* r = s.main.relationship(id);
            r && !r->external && (r->type == header || r->type == footer))
            order.push_back(r);
    for (const auto& r : s.main.relationships)
        if (!r.external && (r.type == header || r.type == footer))
            order.push_back(&r);
    for (const Relationship* r : order) {
        const auto held = std::find_if(s.headersFooters.begin(), s.headersFooters.end(),
                                       [&](const HeaderFooterPart& p) { return p.part.name == r->target; });
        if (held == s.headersFooters.end())
            s.headersFooters.push_back({r->type == footer, {r->id}, readXmlPart(s.package, r->target)});
        else if (std::find(held->relationshipIds.begin(), held->relationshipIds.end(), r->id) ==
                 held->relationshipIds.end())
            held->relationshipIds.push_back(r->id);
    }

    s.footnotes = readRelatedPart(s.package, s.main, "footnotes");
    s.endnotes = readRelatedPart(s.package, s.main, "endnotes");
    s.comments = readRelatedPart(s.package, s.main, "comments");
    const auto shared = [&](std::string_view type) -> std::shared_ptr<const XmlPart> {
        if (auto part = readRelatedPart(s.package, s.main, type))
            return std::make_shared<const XmlPart>(std::move(*part));
        return nullptr;
    };
    s.styles = shared("styles");
    s.numbering = shared("numbering");
    s.settings = shared("settings");

    // Every other XML part is written back as read, so it has to be sound too.
    std::vector<const XmlPart*> parsed = s.parts();
    for (const auto* part : {&s.styles, &s.numbering, &s.settings})
        if (*part)
            parsed.push_back(&**part);
    for (const auto& entry : s.package.entries()) {
        const bool isXml = types.of(entry.name).ends_with("xml") || entry.name.ends_with(".rels");
        if (isXml && std::none_of(parsed.begin(), parsed.end(),
                                  [&](const XmlPart* p) { return p->name == entry.name; }))
            parsePart(entry);
    }
}

// The parts text pieces index, in DocxState::parts()'s order.
template <typename State> auto partsOf(State& s)
{
    using Part = std::conditional_t<std::is_const_v<State>, const XmlPart, XmlPart>;
    std::vector<Part*> out{&s.main};
    for (auto& headerFooter : s.headersFooters)
        out.push_back(&headerFooter.part);
    for (auto* notes : {&s.footnotes, &s.endnotes, &s.comments})
        if (*notes)
            out.push_back(&**notes);
    return out;
}

// --- The text -------------------------------------------------------------------------------

std::optional<char16_t> runElementCharacter(const xml::Node& node)
{
    if (node.isWord("tab") || node.isWord("ptab"))
        return u'\t';
    if (node.isWord("br")) {
        const std::string* type = node.attribute(xml::kWordNs, "type");
        if (type && *type == "page")
            return mark::PageBreak;
        if (type && *type == "column")
            return kColumnBreak;
        return mark::LineBreak;
    }
    if (node.isWord("cr"))
        return mark::LineBreak;
    if (node.isWord("noBreakHyphen"))
        return kNonBreakingHyphen;
    if (node.isWord("softHyphen"))
        return kSoftHyphen;
    if (node.isWord("footnoteReference") || node.isWord("endnoteReference") || node.isWord("footnoteRef") ||
        node.isWord("endnoteRef"))
        return kNoteReference;
    if (node.isWord("commentReference") || node.isWord("annotationRef"))
        return kCommentReference;
    if (node.isWord("separator"))
        return kSeparator;
    if (node.isWord("continuationSeparator"))
        return kContinuationSeparator;
    if (node.isWord("fldChar")) {
        const std::string* type = node.attribute(xml::kWordNs, "fldCharType");
        if (!type)
            return std::nullopt;
        if (*type == "begin")
            return mark::FieldBegin;
        if (*type == "separate")
            return mark::FieldSeparator;
        if (*type == "end")
            return mark::FieldEnd;
        return std::nullopt;
    }
    if (node.isWord("sym")) {
        const std::string* code = node.attribute(xml::kWordNs, "char");
        unsigned value = 0;
        if (code && std::from_chars(code->data(), code->data() + code->size(), value, 16).ec == std::errc() &&
            value > 0 && value < 0x10000)
            return static_cast<char16_t>(value);
        return std::nullopt;
    }
    return std::nullopt;
}

bool isAnchored(const xml::Node& node)
{
    if (node.is(kWordDrawingNs, "anchor"))
        return true;
    return std::any_of(node.children.begin(), node.children.end(),
                       [](const xml::Node& c) { return isAnchored(c); });
}

const xml::Node* choiceOf(const xml::Node& alternateContent)
{
    return alternateContent.child(kMarkupCompatibilityNs, "Choice");
}

class TextBuilder
{
public:
    // Writes into the state's own text, pieces and containers.
    explicit TextBuilder(DocxState& state)
        : s(state), mText(state.text), mPieces(state.pieces), mContainers(state.containers)
    {
    }
    // Writes one paragraph's into these, its first character standing at base.
    TextBuilder(const DocxState& state, std::u16string& text, std::vector<TextPiece>& pieces,
                std::vector<TextContainer>& containers, std::uint32_t base)
        : s(state), mText(text), mPieces(pieces), mContainers(containers), mBase(base)
    {
    }

    // Every story; returns where each stands.
    std::vector<DocxDocument::StoryRange> run()
    {
        mText.clear();
        mPieces.clear();
        mContainers.clear();
        mStories.clear();

        story(Story::Main, [&] {
            if (const xml::Node* body = s.main.root.child(xml::kWordNs, "body"))
                block(*body, 0, mBoxes);
        });
        // Parts are numbered as DocxState::parts() lists them.
        auto notes = static_cast<std::uint32_t>(1 + s.headersFooters.size());
        const std::uint32_t footnotes = s.footnotes ? notes++ : 0;
        const std::uint32_t endnotes = s.endnotes ? notes++ : 0;
        const std::uint32_t comments = s.comments ? notes++ : 0;
        story(Story::Footnotes, [&] {
            if (s.footnotes)
                notesOf(s.footnotes->root, "footnote", footnotes);
        });
        story(Story::Headers, [&] {
            for (std::uint32_t i = 0; i < s.headersFooters.size(); ++i)
                block(s.headersFooters[i].part.root, i + 1, mHeaderBoxes);
        });
        story(Story::Comments, [&] {
            if (s.comments)
                notesOf(s.comments->root, "comment", comments);
        });
        story(Story::Endnotes, [&] {
            if (s.endnotes)
                notesOf(s.endnotes->root, "endnote", endnotes);
        });
        story(Story::TextBoxes, [&] { boxes(mBoxes); });
        story(Story::HeaderTextBoxes, [&] { boxes(mHeaderBoxes); });

        countPieces();
        return std::move(mStories);
    }

    // One paragraph, its mark as given; false when it anchors text boxes, whose stories the
    // paragraph alone does not give.
    bool paragraphAlone(const xml::Node& node, std::uint32_t part, char16_t paragraphMark)
    {
        Boxes found;
        paragraph(node, part, found);
        if (!found.empty())
            return false;
        mText.back() = paragraphMark;
        countPieces();
        return true;
    }

private:
    void countPieces()
    {
        for (const auto& piece : mPieces)
            for (std::int32_t c = piece.container; c >= 0; c = mContainers[std::size_t(c)].parent)
                ++mContainers[std::size_t(c)].pieces;
    }

    using Boxes = std::vector<std::pair<std::uint32_t, const xml::Node*>>;

    template <typename Walk> void story(Story which, Walk walk)
    {
        const auto start = static_cast<std::uint32_t>(mText.size());
        walk();
        const auto length = static_cast<std::uint32_t>(mText.size() - start);
        if (length > 0)
            mStories.push_back({which, start, length});
    }

    void notesOf(const xml::Node& root, std::string_view local, std::uint32_t part)
    {
        for (const auto& note : root.children) {
            const std::string* type = note.attribute(xml::kWordNs, "type");
            // Separators and continuation notices are Word's furniture, not notes.
            if (note.isWord(local) && (!type || *type == "normal"))
                block(note, part, mBoxes);
        }
    }

    void boxes(Boxes& found)
    {
        // Text boxes inside text boxes join the end of the list as they are met.
        for (std::size_t i = 0; i < found.size(); ++i)
            block(*found[i].second, found[i].first, found);
    }

    void emit(std::u16string_view characters, TextPiece::Kind kind, std::uint32_t part,
              const xml::Node& source)
    {
        if (characters.empty())
            return;
        mPieces.push_back({mBase + static_cast<std::uint32_t>(mText.size()),
                           static_cast<std::uint32_t>(characters.size()), kind, part, source.begin,
                           source.end, mContainer});
        mText += characters;
    }

    void enter(TextContainer::Kind kind, std::uint32_t part, const xml::Node& node)
    {
        TextContainer c{kind, part, node.begin, node.end, node.contentBegin, std::nullopt, mContainer, 0};
        if (const xml::Node* properties = node.child(xml::kWordNs, "rPr");
            properties && kind == TextContainer::Kind::Run)
            c.properties = std::pair(properties->begin, properties->end);
        mContainers.push_back(c);
        mContainer = static_cast<std::int32_t>(mContainers.size() - 1);
    }

    void leave() { mContainer = mContainers[std::size_t(mContainer)].parent; }

    void block(const xml::Node& node, std::uint32_t part, Boxes& boxes)
    {
        for (const auto& child : node.children) {
            if (child.isWord("p"))
                paragraph(child, part, boxes);
            else if (child.isWord("tbl"))
                table(child, part, boxes);
            else if (child.isWord("sdt"))
                forContent(child, [&](const xml::Node& content) { block(content, part, boxes); });
            else if (child.isWord("customXml") || child.isWord("ins") || child.isWord("moveTo"))
                block(child, part, boxes);
            else if (child.is(kMarkupCompatibilityNs, "AlternateContent"))
                if (const xml::Node* choice = choiceOf(child))
                    block(*choice, part, boxes);
        }
    }

    template <typename Walk> void forContent(const xml::Node& sdt, Walk walk)
    {
        if (const xml::Node* content = sdt.child(xml::kWordNs, "sdtContent"))
            walk(*content);
    }

    void table(const xml::Node& node, std::uint32_t part, Boxes& boxes)
    {
        for (const auto& child : node.children) {
            if (child.isWord("tr")) {
                cells(child, part, boxes);
                emit(std::u16string(1, mark::CellEnd), TextPiece::Kind::RowEnd, part, child);
            } else if (child.isWord("sdt")) {
                forContent(child, [&](const xml::Node& content) { table(content, part, boxes); });
            } else if (child.isWord("customXml")) {
                table(child, part, boxes);
            }
        }
    }

    void cells(const xml::Node& row, std::uint32_t part, Boxes& boxes)
    {
        for (const auto& child : row.children) {
            if (child.isWord("tc")) {
                const std::size_t before = mPieces.size();
                block(child, part, boxes);
                // A cell's last paragraph mark is its cell mark.
                if (mPieces.size() > before && mPieces.back().kind == TextPiece::Kind::ParagraphMark &&
                    mText.back() == u'\r')
                    mText.back() = mark::CellEnd;
            } else if (child.isWord("sdt")) {
                forContent(child, [&](const xml::Node& content) { cells(content, part, boxes); });
            } else if (child.isWord("customXml")) {
                cells(child, part, boxes);
            }
        }
    }

    void paragraph(const xml::Node& node, std::uint32_t part, Boxes& boxes)
    {
        inlines(node, part, boxes);
        const xml::Node* properties = node.child(xml::kWordNs, "pPr");
        // A section's last paragraph ends with the section mark.
        const bool sectionEnd = properties && properties->child(xml::kWordNs, "sectPr");
        emit(std::u16string(1, sectionEnd ? mark::PageBreak : u'\r'), TextPiece::Kind::ParagraphMark, part,
             node);
    }

    void inlines(const xml::Node& node, std::uint32_t part, Boxes& boxes)
    {
        for (const auto& child : node.children) {
            if (child.isWord("r")) {
                enter(TextContainer::Kind::Run, part, child);
                runContent(child, part, boxes);
                leave();
            } else if (child.isWord("fldSimple")) {
                simpleField(child, part, boxes);
            } else if (child.isWord("sdt")) {
                forContent(child, [&](const xml::Node& content) { inlines(content, part, boxes); });
            } else if (child.isWord("hyperlink") || child.isWord("smartTag") || child.isWord("customXml") ||
                       child.isWord("ins") || child.isWord("moveTo") || child.isWord("dir") ||
                       child.isWord("bdo")) {
                inlines(child, part, boxes);
            } else if (child.is(kMarkupCompatibilityNs, "AlternateContent")) {
                if (const xml::Node* choice = choiceOf(child))
                    inlines(*choice, part, boxes);
            }
        }
    }

    void simpleField(const xml::Node& node, std::uint32_t part, Boxes& boxes)
    {
        enter(TextContainer::Kind::SimpleField, part, node);
        const std::string* code = node.attribute(xml::kWordNs, "instr");
        emit(std::u16string(1, mark::FieldBegin), TextPiece::Kind::SimpleMark, part, node);
        emit(doc::utf::fromUtf8(code ? *code : std::string()), TextPiece::Kind::SimpleCode, part, node);
        emit(std::u16string(1, mark::FieldSeparator), TextPiece::Kind::SimpleMark, part, node);
        inlines(node, part, boxes);
        emit(std::u16string(1, mark::FieldEnd), TextPiece::Kind::SimpleMark, part, node);
        leave();
    }

    void runContent(const xml::Node& node, std::uint32_t part, Boxes& boxes)
    {
        for (const auto& child : node.children) {
            if (child.isWord("t") || child.isWord("instrText")) {
                emit(doc::utf::fromUtf8(child.allText()), TextPiece::Kind::Text, part, child);
            } else if (child.isWord("drawing") || child.isWord("pict") || child.isWord("object")) {
                emit(std::u16string(1, isAnchored(child) ? mark::ShapeAnchor : mark::Picture),
                     TextPiece::Kind::Element, part, child);
                findBoxes(child, part, boxes);
            } else if (child.is(kMarkupCompatibilityNs, "AlternateContent")) {
                if (const xml::Node* choice = choiceOf(child))
                    runContent(*choice, part, boxes);
            } else if (const auto c = runElementCharacter(child)) {
                emit(std::u16string(1, *c), TextPiece::Kind::Element, part, child);
            }
        }
    }

    void findBoxes(const xml::Node& node, std::uint32_t part, Boxes& boxes)
    {
        for (const auto& child : node.children) {
            if (child.isWord("txbxContent"))
                boxes.emplace_back(part, &child);
            else if (child.is(kMarkupCompatibilityNs, "AlternateContent")) {
                if (const xml::Node* choice = choiceOf(child))
                    findBoxes(*choice, part, boxes);
            } else if (!child.local.empty())
                findBoxes(child, part, boxes);
        }
    }

    const DocxState& s;
    std::u16string& mText;
    std::vector<TextPiece>& mPieces;
    std::vector<TextContainer>& mContainers;
    std::vector<DocxDocument::StoryRange> mStories;
    std::uint32_t mBase = 0;
    Boxes mBoxes;
    Boxes mHeaderBoxes;
    std::int32_t mContainer = -1;
};

// --- Replacing text ---------------------------------------------------------------------------

// Whitespace Word keeps only when the element says so.
bool needsPreserve(std::u16string_view text)
{
    const auto blank = [](char16_t c) { return c == u' ' || c == u'\t' || c == u'\n'; };
    return !text.empty() &&
           (blank(text.front()) || blank(text.back()) || text.find(u"  ") != std::u16string_view::npos);
}

// text as one element of this name: "<w:t>text</w:t>", nothing for no text.
std::string textElement(std::string_view name, std::u16string_view text)
{
    if (text.empty())
        return {};
    return "<" + std::string(name) + (needsPreserve(text) ? " xml:space=\"preserve\">" : ">") +
           xml::escape(doc::utf::toUtf8(text)) + "</" + std::string(name) + ">";
}

// The chain of elements from the root to the one standing at [begin, end).
bool pathTo(xml::Node& node, std::size_t begin, std::size_t end, std::vector<xml::Node*>& path)
{
    path.push_back(&node);
    if (node.begin == begin && node.end == end)
        return true;
    for (auto& child : node.children)
        if (!child.local.empty() && child.begin <= begin && end <= child.end)
            return pathTo(child, begin, end, path);
    return false;
}

void shift(xml::Node& node, std::size_t from, std::ptrdiff_t delta)
{
    for (std::size_t* at : {&node.begin, &node.end, &node.contentBegin, &node.contentEnd})
        if (*at >= from)
            *at = std::size_t(std::ptrdiff_t(*at) + delta);
    for (auto& child : node.children)
        if (child.end >= from)
            shift(child, from, delta);
}

struct Edit {
    std::size_t begin;
    std::size_t end;
    std::string bytes;
};

// What a splice changed: the paragraph's bytes in its part, and whether a copy of a text box
// changed too.
struct Spliced {
    std::uint32_t part = 0;
    std::size_t begin = 0; // the paragraph as it stood
    std::size_t end = 0;
    std::ptrdiff_t delta = 0;        // its change in length
    std::optional<std::size_t> mark; // the piece of its paragraph mark
    bool boxCopied = false;
};

class Splice
{
public:
    Splice(DocxState& state, std::uint32_t cp, std::uint32_t count, std::u16string text,
           std::uint32_t formatFrom)
        : s(state), mCp(cp), mEnd(cp + count), mText(std::move(text)), mFormatFrom(formatFrom)
    {
    }

    Spliced run()
    {
        const std::size_t first = pieceAt(mCp);
        const std::size_t last = mEnd > mCp ? pieceAt(mEnd - 1) : first;
        checkFields();
        std::vector<std::uint32_t> covered(s.containers.size(), 0);
        for (std::size_t i = first; i <= last; ++i) {
            const TextPiece& p = s.pieces[i];
            if (mEnd > mCp && (p.kind == TextPiece::Kind::ParagraphMark || p.kind == TextPiece::Kind::RowEnd))
                throw Error(Error::Kind::BadArgument, "the range holds a paragraph, cell or section mark");
            const char16_t c = s.text[p.cp];
            if (p.kind == TextPiece::Kind::Element && mEnd > mCp &&
                (c == kNoteReference || c == kCommentReference || c == mark::ShapeAnchor || c == kSeparator ||
                 c == kContinuationSeparator))
                throw Error(Error::Kind::BadArgument, "the range holds a note reference or a shape anchor");
            if (mEnd > mCp && p.cp >= mCp && p.cp + p.length <= mEnd)
                for (std::int32_t k = p.container; k >= 0; k = s.containers[std::size_t(k)].parent)
                    ++covered[std::size_t(k)];
        }

        mPart = s.pieces[first].part;
        const auto paragraph =
            std::find_if(s.pieces.begin() + std::ptrdiff_t(first), s.pieces.end(),
                         [](const TextPiece& p) { return p.kind == TextPiece::Kind::ParagraphMark; });
        const XmlPart& part = *partsOf(s)[mPart];
        mScope = paragraph == s.pieces.end() ? std::pair(part.root.begin, part.root.end)
                                             : std::pair(paragraph->begin, paragraph->end);
        Spliced done{mPart, mScope.first, mScope.second, 0, std::nullopt, false};
        if (paragraph != s.pieces.end())
            done.mark = std::size_t(paragraph - s.pieces.begin());
        mSource = textOf(s.package.find(part.name)->bytes);
        // The new bytes are UTF-8, as Word writes every part.
        if (mSource.size() >= 2 &&
            (mSource[0] == '\0' || mSource[1] == '\0' || mSource[0] == '\xFE' || mSource[0] == '\xFF'))
            throw Error(Error::Kind::Unsupported, part.name + ": text in a UTF-16 part is not replaced");
        mPrefix = prefixOf(mSource, part.root);
        mNewRun = newRun();

        std::vector<Edit> edits;
        std::int32_t previousUnit = -1;
        for (std::size_t i = first; i <= last; ++i) {
            const TextPiece& p = s.pieces[i];
            std::int32_t unit = -1;
            for (std::int32_t k = p.container; k >= 0; k = s.containers[std::size_t(k)].parent)
                if (covered[std::size_t(k)] == s.containers[std::size_t(k)].pieces)
                    unit = k;
            if (unit >= 0) {
                if (unit != previousUnit) {
                    const TextContainer& c = s.containers[std::size_t(unit)];
                    edits.push_back({c.begin, c.end, edits.empty() ? mNewRun : std::string()});
                }
                previousUnit = unit;
                continue;
            }
            previousUnit = -1;
            edits.push_back(pieceEdit(p, edits.empty()));
        }
        done.delta = apply(edits);
        done.boxCopied = mBoxCopied;
        return done;
    }

private:
    std::size_t pieceAt(std::uint32_t cp) const
    {
        const auto after = std::upper_bound(s.pieces.begin(), s.pieces.end(), cp,
                                            [](std::uint32_t at, const TextPiece& p) { return at < p.cp; });
        return static_cast<std::size_t>(after - s.pieces.begin()) - 1;
    }

    // A field is taken whole or left alone: one with some of its marks in the range and some out
    // of it is refused, as is a range inside a simple field's code.
    void checkFields() const
    {
        const auto story = std::find_if(s.stories.begin(), s.stories.end(),
                                        [&](const auto& r) { return mCp - r.start < r.length; });
        const std::uint32_t storyEnd = story->start + story->length;
        const auto cut = [] { throw Error(Error::Kind::BadArgument, "the range cuts a field"); };
        // Each mark in the range looks for its partner, which must be in the range too.
        for (std::uint32_t i = mCp; i < mEnd; ++i) {
            const char16_t c = s.text[i];
            if (c == mark::FieldBegin) {
                std::uint32_t depth = 0;
                std::uint32_t j = i + 1;
                for (; j < storyEnd; ++j) {
                    if (s.text[j] == mark::FieldBegin)
                        ++depth;
                    else if (s.text[j] == mark::FieldEnd && depth-- == 0)
                        break;
                }
                if (j >= mEnd)
                    cut();
            } else if (c == mark::FieldSeparator || c == mark::FieldEnd) {
                std::uint32_t depth = 0;
                std::uint32_t j = i;
                bool found = false;
                while (!found && j-- > story->start) {
                    if (s.text[j] == mark::FieldEnd)
                        ++depth;
                    else if (s.text[j] == mark::FieldBegin)
                        found = depth-- == 0;
                }
                // A separator outside any field is a stray character; an end is not.
                if (found ? j < mCp : c == mark::FieldEnd)
                    cut();
            }
        }
    }

    // The run whose properties the new text takes.
    std::optional<std::size_t> formattingRun() const
    {
        std::size_t i = pieceAt(mFormatFrom);
        const auto runOf = [&](const TextPiece& p) -> std::optional<std::size_t> {
            for (std::int32_t k = p.container; k >= 0; k = s.containers[std::size_t(k)].parent)
                if (s.containers[std::size_t(k)].kind == TextContainer::Kind::Run)
                    return std::size_t(k);
            // A simple field's code: the look of its result.
            if (p.container >= 0)
                for (std::size_t k = std::size_t(p.container) + 1; k < s.containers.size(); ++k)
                    if (s.containers[k].parent == p.container &&
                        s.containers[k].kind == TextContainer::Kind::Run)
                        return k;
            return std::nullopt;
        };
        // A paragraph mark lends the look of the run before it.
        while (s.pieces[i].kind == TextPiece::Kind::ParagraphMark ||
               s.pieces[i].kind == TextPiece::Kind::RowEnd) {
            if (i == 0 || s.pieces[i - 1].kind == TextPiece::Kind::ParagraphMark ||
                s.pieces[i - 1].kind == TextPiece::Kind::RowEnd || s.pieces[i - 1].part != s.pieces[i].part)
                return std::nullopt;
            --i;
        }
        return runOf(s.pieces[i]);
    }

    std::string formattingProperties() const
    {
        const auto run = formattingRun();
        if (!run || !s.containers[*run].properties)
            return {};
        const auto [begin, end] = *s.containers[*run].properties;
        const auto& part = *partsOf(s)[s.containers[*run].part];
        return std::string(textOf(s.package.find(part.name)->bytes).substr(begin, end - begin));
    }

    // The new text as run content: its lines in text elements with breaks between them.
    // Text as run content: its lines in elements of this name with breaks between them.
    std::string lines(std::string_view name, std::u16string_view text) const
    {
        std::string out;
        while (true) {
            const std::size_t br = text.find(mark::LineBreak);
            out += textElement(name, text.substr(0, br));
            if (br == std::u16string_view::npos)
                break;
            out += "<" + mPrefix + "br/>";
            text.remove_prefix(br + 1);
        }
        return out;
    }

    std::string runContent() const { return lines(mPrefix + "t", mText); }

    std::string newRun() const
    {
        if (mText.empty())
            return {};
        return "<" + mPrefix + "r>" + formattingProperties() + runContent() + "</" + mPrefix + "r>";
    }

    std::optional<std::size_t> runOfPiece(const TextPiece& p) const
    {
        if (p.container >= 0 && s.containers[std::size_t(p.container)].kind == TextContainer::Kind::Run)
            return std::size_t(p.container);
        return std::nullopt;
    }

    // The new text where piece p stands inside its run: in that run when it has the look asked
    // for, else in a run of its own between the two halves of p's run.
    std::string insertionInRun(const TextPiece& p) const
    {
        if (mText.empty())
            return {};
        const auto run = runOfPiece(p);
        if (!run || run == formattingRun())
            return runContent();
        const TextContainer& c = s.containers[*run];
        std::string reopened(mSource.substr(c.begin, c.contentBegin - c.begin));
        if (c.properties)
            reopened += mSource.substr(c.properties->first, c.properties->second - c.properties->first);
        return "</" + mPrefix + "r>" + mNewRun + reopened;
    }

    Edit pieceEdit(const TextPiece& p, bool first) const
    {
        switch (p.kind) {
        case TextPiece::Kind::Text: {
            const std::u16string_view characters = std::u16string_view(s.text).substr(p.cp, p.length);
            const std::size_t a = std::max(mCp, p.cp) - p.cp;
            const std::size_t b = std::min(mEnd, p.cp + p.length) - p.cp;
            const std::string_view name = writtenName(mSource, p.begin, p.end);
            // In the same run, the new text joins the characters kept around it in one element.
            if (first && (!runOfPiece(p) || runOfPiece(p) == formattingRun()))
                return {p.begin, p.end,
                        lines(name, std::u16string(characters.substr(0, a)) + mText +
                                        std::u16string(characters.substr(b)))};
            return {p.begin, p.end,
                    textElement(name, characters.substr(0, a)) + (first ? insertionInRun(p) : std::string()) +
                        textElement(name, characters.substr(b))};
        }
        case TextPiece::Kind::Element: {
            if (mEnd == mCp)
                return {p.begin, p.begin, insertionInRun(p)};
            return {p.begin, p.end, first ? insertionInRun(p) : std::string()};
        }
        case TextPiece::Kind::ParagraphMark: {
            // Only an insertion stops at a paragraph mark: the new run ends the paragraph.
            const std::string_view name = writtenName(mSource, p.begin, p.end);
            if (mSource.substr(p.end - 2, 2) == "/>")
                return {p.begin, p.end,
                        std::string(mSource.substr(p.begin, p.end - 2 - p.begin)) + ">" + mNewRun + "</" +
                            std::string(name) + ">"};
            const std::size_t endTag = p.end - name.size() - 3;
            return {endTag, endTag, mNewRun};
        }
        case TextPiece::Kind::SimpleMark:
            if (mEnd == mCp && s.text[p.cp] == mark::FieldBegin)
                return {p.begin, p.begin, mNewRun};
            break;
        case TextPiece::Kind::SimpleCode:
        case TextPiece::Kind::RowEnd:
            break;
        }
        throw Error(Error::Kind::BadArgument, "the range cuts a field or ends a table row");
    }

    std::ptrdiff_t apply(const std::vector<Edit>& edits)
    {
        XmlPart& part = *partsOf(s)[mPart];
        const std::vector<std::uint8_t>& original = s.package.find(part.name)->bytes;
        std::vector<std::uint8_t> out;
        out.reserve(original.size() + mNewRun.size());
        std::size_t at = 0;
        for (const Edit& edit : edits) {
            out.insert(out.end(), original.begin() + std::ptrdiff_t(at),
                       original.begin() + std::ptrdiff_t(edit.begin));
            out.insert(out.end(), edit.bytes.begin(), edit.bytes.end());
            at = edit.end;
        }
        out.insert(out.end(), original.begin() + std::ptrdiff_t(at), original.end());
        const std::optional<BoxCopy> copy =
            edits.empty() ? std::nullopt : boxCopyAt(part.root, edits.front().begin, edits.back().end);
        const auto delta = std::ptrdiff_t(out.size()) - std::ptrdiff_t(original.size());
        replaceElement(part, std::move(out), mScope.first, mScope.second);
        if (copy)
            mirror(part, *copy, delta);
        return delta;
    }

    // A text box Word writes twice, as a drawing and as a picture of the older kind for readers
    // that know no drawings: the k-th box of the alternative content at [begin, end).
    struct BoxCopy {
        std::size_t begin;
        std::size_t end;
        std::size_t box;
    };

    static void boxesIn(const xml::Node& node, std::vector<const xml::Node*>& out)
    {
        for (const auto& child : node.children) {
            if (child.isWord("txbxContent"))
                out.push_back(&child);
            else if (!child.local.empty() && !child.is(kMarkupCompatibilityNs, "AlternateContent"))
                boxesIn(child, out);
        }
    }

    static std::optional<std::pair<std::vector<const xml::Node*>, std::vector<const xml::Node*>>>
    boxPairs(const xml::Node& alternate)
    {
        const xml::Node* choice = alternate.child(kMarkupCompatibilityNs, "Choice");
        const xml::Node* fallback = alternate.child(kMarkupCompatibilityNs, "Fallback");
        if (!choice || !fallback)
            return std::nullopt;
        std::pair<std::vector<const xml::Node*>, std::vector<const xml::Node*>> out;
        boxesIn(*choice, out.first);
        boxesIn(*fallback, out.second);
        if (out.first.size() != out.second.size())
            return std::nullopt;
        return out;
    }

    // The innermost box that holds the bytes edited and has a copy that read the same.
    std::optional<BoxCopy> boxCopyAt(xml::Node& root, std::size_t begin, std::size_t end) const
    {
        std::vector<xml::Node*> path;
        pathTo(root, mScope.first, mScope.second, path);
        std::optional<BoxCopy> found;
        for (const xml::Node* alternate : path) {
            if (!alternate->is(kMarkupCompatibilityNs, "AlternateContent"))
                continue;
            const auto pairs = boxPairs(*alternate);
            for (std::size_t k = 0; pairs && k < pairs->first.size(); ++k)
                if (pairs->first[k]->begin <= begin && end <= pairs->first[k]->end &&
                    pairs->first[k]->allText() == pairs->second[k]->allText())
                    found = BoxCopy{alternate->begin, alternate->end, k};
        }
        return found;
    }

    void mirror(XmlPart& part, const BoxCopy& copy, std::ptrdiff_t delta)
    {
        std::vector<xml::Node*> path;
        const std::size_t end = std::size_t(std::ptrdiff_t(copy.end) + delta);
        if (!pathTo(part.root, copy.begin, end, path))
            return;
        const auto pairs = boxPairs(*path.back());
        if (!pairs || copy.box >= pairs->first.size())
            return;
        const xml::Node& from = *pairs->first[copy.box];
        const xml::Node& to = *pairs->second[copy.box];
        const std::vector<std::uint8_t>& bytes = s.package.find(part.name)->bytes;
        std::vector<std::uint8_t> out(bytes.begin(), bytes.begin() + std::ptrdiff_t(to.contentBegin));
        out.insert(out.end(), bytes.begin() + std::ptrdiff_t(from.contentBegin),
                   bytes.begin() + std::ptrdiff_t(from.contentEnd));
        out.insert(out.end(), bytes.begin() + std::ptrdiff_t(to.contentEnd), bytes.end());
        replaceElement(part, std::move(out), copy.begin, end);
        mBoxCopied = true;
    }

    // The part's new bytes, in which only the element that stood at [begin, end) changed: that
    // element is parsed again inside its ancestors' names and namespace declarations, and
    // the rest of the tree moves by the change in length. The bytes are taken once they parse.
    void replaceElement(XmlPart& part, std::vector<std::uint8_t> bytes, std::size_t begin, std::size_t end)
    {
        const auto delta =
            std::ptrdiff_t(bytes.size()) - std::ptrdiff_t(s.package.find(part.name)->bytes.size());
        std::vector<xml::Node*> path;
        if (!pathTo(part.root, begin, end, path)) {
            xml::Node root = parsePart(part.name, bytes);
            s.package.set(part.name, std::move(bytes));
            part.root = std::move(root);
            return;
        }
        const std::string_view source = textOf(bytes);
        const std::string_view changed =
            source.substr(begin, std::size_t(std::ptrdiff_t(end) + delta) - begin);
        std::string names; // the wrapper's own, whose prefixes it declares too
        for (std::size_t i = 0; i + 1 < path.size(); ++i)
            names += " " + std::string(writtenName(source, path[i]->begin, path[i]->end));
        std::vector<std::string_view> prefixes;
        addPrefixes(changed, prefixes);
        addPrefixes(names, prefixes);
        const auto used = [&](std::string_view prefix) {
            return std::find(prefixes.begin(), prefixes.end(), prefix) != prefixes.end();
        };
        std::string wrapped;
        for (std::size_t i = 0; i + 1 < path.size(); ++i)
            wrapped +=
                declaringTag(source.substr(path[i]->begin, path[i]->contentBegin - path[i]->begin), used);
        const std::size_t at = wrapped.size();
        wrapped += changed;
        for (std::size_t i = path.size() - 1; i-- > 0;)
            wrapped += "</" + std::string(writtenName(source, path[i]->begin, path[i]->end)) + ">";
        xml::Node root =
            parsePart(part.name, {reinterpret_cast<const std::uint8_t*>(wrapped.data()), wrapped.size()});
        xml::Node* element = &root;
        for (std::size_t depth = 1; depth < path.size(); ++depth)
            element = &element->children.front();
        shift(*element, 0, std::ptrdiff_t(begin) - std::ptrdiff_t(at));
        shift(part.root, end, delta);
        *path.back() = std::move(*element);
        s.package.set(part.name, std::move(bytes));
    }

    DocxState& s;
    std::uint32_t mCp;
    std::uint32_t mEnd;
    std::u16string mText;
    std::uint32_t mFormatFrom;
    std::uint32_t mPart = 0;
    std::pair<std::size_t, std::size_t> mScope; // the paragraph edited, in the part's bytes
    bool mBoxCopied = false;
    std::string_view mSource;
    std::string mPrefix;
    std::string mNewRun;
};

// The text after a splice that changed one paragraph, without reading every story again: the
// paragraph's pieces read anew, and every position after it moved. False when the paragraph
// anchors text boxes or a box's copy changed: then only a full reading is sound.
bool updateParagraph(DocxState& s, const Spliced& done)
{
    if (done.boxCopied || !done.mark)
        return false;
    const std::size_t markIndex = *done.mark;
    std::size_t firstIndex = markIndex;
    while (firstIndex > 0 && s.pieces[firstIndex - 1].part == done.part &&
           s.pieces[firstIndex - 1].begin >= done.begin && s.pieces[firstIndex - 1].end <= done.end)
        --firstIndex;
    const std::uint32_t cp = s.pieces[firstIndex].cp;
    const std::uint32_t oldLength = s.pieces[markIndex].cp + 1 - cp;
    // A drawing taken out may have held text boxes.
    if (std::any_of(s.pieces.begin() + std::ptrdiff_t(firstIndex),
                    s.pieces.begin() + std::ptrdiff_t(markIndex), [&](const TextPiece& p) {
                        return p.kind == TextPiece::Kind::Element &&
                               (s.text[p.cp] == mark::Picture || s.text[p.cp] == mark::ShapeAnchor);
                    }))
        return false;

    std::vector<xml::Node*> path;
    XmlPart& part = *partsOf(s)[done.part];
    if (!pathTo(part.root, done.begin, std::size_t(std::ptrdiff_t(done.end) + done.delta), path))
        return false;
    std::u16string text;
    std::vector<TextPiece> pieces;
    std::vector<TextContainer> containers;
    if (!TextBuilder(s, text, pieces, containers, cp)
             .paragraphAlone(*path.back(), done.part, s.text[s.pieces[markIndex].cp]))
        return false;

    const auto moved = [&](std::size_t& at) {
        if (at >= done.end)
            at = std::size_t(std::ptrdiff_t(at) + done.delta);
    };
    const auto textDelta = std::int64_t(text.size()) - std::int64_t(oldLength);
    for (std::size_t i = 0; i < s.pieces.size(); ++i) {
        TextPiece& p = s.pieces[i];
        if (i > markIndex)
            p.cp = std::uint32_t(std::int64_t(p.cp) + textDelta);
        if (p.part == done.part) {
            moved(p.begin);
            moved(p.end);
        }
    }
    for (TextContainer& c : s.containers) {
        if (c.part != done.part)
            continue;
        moved(c.begin);
        moved(c.end);
        moved(c.contentBegin);
        if (c.properties) {
            moved(c.properties->first);
            moved(c.properties->second);
        }
    }
    const auto base = std::int32_t(s.containers.size());
    for (TextContainer& c : containers)
        if (c.parent >= 0)
            c.parent += base;
    for (TextPiece& p : pieces)
        if (p.container >= 0)
            p.container += base;
    s.containers.insert(s.containers.end(), containers.begin(), containers.end());
    s.pieces.erase(s.pieces.begin() + std::ptrdiff_t(firstIndex),
                   s.pieces.begin() + std::ptrdiff_t(markIndex) + 1);
    s.pieces.insert(s.pieces.begin() + std::ptrdiff_t(firstIndex), pieces.begin(), pieces.end());
    s.text.replace(cp, oldLength, text);
    for (auto& story : s.stories) {
        if (cp - story.start < story.length)
            story.length = std::uint32_t(std::int64_t(story.length) + textDelta);
        else if (story.start > cp)
            story.start = std::uint32_t(std::int64_t(story.start) + textDelta);
    }
    return true;
}

// --- Custom properties ------------------------------------------------------------------------

bool isHex(char16_t c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// Where text holds "_xHHHH_", the form a character XML cannot carry is written in
// ([ECMA-376] Part 1, 22.9.2.19).
std::optional<char16_t> escapedAt(std::u16string_view text, std::size_t i)
{
    constexpr std::size_t kLength = 7;
    if (text.size() - i < kLength || text[i] != u'_' || text[i + 1] != u'x' || text[i + 6] != u'_' ||
        !std::all_of(text.begin() + std::ptrdiff_t(i) + 2, text.begin() + std::ptrdiff_t(i) + 6, isHex))
        return std::nullopt;
    const std::string digits = doc::utf::toUtf8(text.substr(i + 2, 4));
    unsigned value = 0;
    std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
    return static_cast<char16_t>(value);
}

std::u16string fromXstring(std::string_view utf8)
{
    const std::u16string text = doc::utf::fromUtf8(utf8);
    std::u16string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (const auto c = escapedAt(text, i)) {
            out += *c;
            i += 6;
        } else {
            out += text[i];
        }
    }
    return out;
}

// text as XML, the characters XML cannot carry (and, in an attribute, the white space it would
// fold) written as "_xHHHH_", and a '_' that would read as such a form written so too.
std::string toXstring(std::u16string_view text, bool attribute)
{
    std::u16string out;
    const auto escape = [&](char16_t c) {
        constexpr char16_t kDigits[] = u"0123456789ABCDEF";
        out += u"_x";
        for (int shift = 12; shift >= 0; shift -= 4)
            out += kDigits[(c >> shift) & 0xF];
        out += u'_';
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        const bool pairedHigh =
            c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000;
        if (pairedHigh) {
            out += text.substr(i, 2);
            ++i;
        } else if ((c < 0x20 && (attribute || (c != u'\t' && c != u'\n'))) || (c >= 0xD800 && c < 0xE000) ||
                   c == 0xFFFE || c == 0xFFFF || escapedAt(text, i)) {
            escape(c);
        } else {
            out += c;
        }
    }
    return xml::escape(doc::utf::toUtf8(out));
}

// The prefix a start tag binds to this namespace ("vt:"), if it binds one.
std::optional<std::string> declaredPrefix(std::string_view startTag, std::string_view ns)
{
    for (std::size_t at = startTag.find("xmlns:"); at != std::string_view::npos;
         at = startTag.find("xmlns:", at + 1)) {
        const std::size_t equals = startTag.find('=', at);
        if (equals == std::string_view::npos || equals + 1 >= startTag.size())
            break;
        const char quote = startTag[equals + 1];
        const std::size_t close = startTag.find(quote, equals + 2);
        if (close != std::string_view::npos && startTag.substr(equals + 2, close - equals - 2) == ns)
            return std::string(startTag.substr(at + 6, equals - at - 6)) + ":";
    }
    return std::nullopt;
}

// held: the package's relationships.
std::optional<std::string> customPropertiesName(const Package& package, const std::vector<Relationship>& held)
{
    const std::string type = relationshipType("custom-properties");
    for (const auto& relationship : held)
        if (!relationship.external && relationship.type == type && package.find(relationship.target))
            return package.find(relationship.target)->name;
    return std::nullopt;
}

// Each property's last value, in the order the names first come.
std::vector<DocxDocument::Property> lastOfEachName(const std::vector<DocxDocument::Property>& properties)
{
    std::vector<DocxDocument::Property> out;
    for (const auto& property : properties) {
        const auto held = std::find_if(out.begin(), out.end(), [&](const DocxDocument::Property& p) {
            return doc::propertyset::sameName(p.name, property.name);
        });
        if (held == out.end())
            out.push_back(property);
        else
            *held = property;
    }
    return out;
}

// source with its root element's content replaced, a root written "<x/>" opened for it.
std::vector<std::uint8_t> withRootContent(std::string_view source, const xml::Node& root,
                                          std::string_view content)
{
    std::string out;
    if (source.substr(root.end - 2, 2) == "/>")
        out = std::string(source.substr(0, root.end - 2)) + ">" + std::string(content) + "</" +
              std::string(writtenName(source, root.begin, root.end)) + ">" +
              std::string(source.substr(root.end));
    else
        out = std::string(source.substr(0, root.contentBegin)) + std::string(content) +
              std::string(source.substr(root.contentEnd));
    return {out.begin(), out.end()};
}

// The custom properties part with these set and the owned ones removed; every other property
// stays as written.
std::vector<std::uint8_t> withProperties(const Entry& entry,
                                         const std::vector<DocxDocument::Property>& wanted,
                                         std::u16string_view ownedPrefix)
{
    const std::string_view source = textOf(entry.bytes);
    const xml::Node root = parsePart(entry);
    const std::string prefix = prefixOf(source, root);
    const std::optional<std::string> vt =
        declaredPrefix(source.substr(root.begin, root.contentBegin - root.begin), kVariantTypesNs);
    const auto element = [&](const DocxDocument::Property& property, long pid) {
        const std::string value =
            vt ? "<" + *vt + "lpwstr>" : "<vt:lpwstr xmlns:vt=\"" + std::string(kVariantTypesNs) + "\">";
        return "<" + prefix + "property fmtid=\"" + kUserPropertiesFmtid + "\" pid=\"" + std::to_string(pid) +
               "\" name=\"" + toXstring(property.name, true) + "\">" + value +
               toXstring(property.value, false) + "</" + vt.value_or("vt:") + "lpwstr></" + prefix +
               "property>";
    };

    std::string content;
    long lastPid = kFirstPropertyId - 1;
    std::vector<bool> placed(wanted.size(), false);
    std::size_t at = root.contentBegin;
    for (const auto& child : root.children) {
        if (!child.is(kCustomPropertiesNs, "property"))
            continue;
        const std::string* pid = child.attribute({}, "pid");
        long id = 0;
        if (pid && std::from_chars(pid->data(), pid->data() + pid->size(), id).ec == std::errc())
            lastPid = std::max(lastPid, id);
        const std::string* name = child.attribute({}, "name");
        if (!name)
            continue;
        const std::u16string held = fromXstring(*name);
        const auto match = std::find_if(wanted.begin(), wanted.end(), [&](const DocxDocument::Property& p) {
            return doc::propertyset::sameName(p.name, held);
        });
        const bool text = child.child(kVariantTypesNs, "lpwstr") != nullptr;
        if (match == wanted.end() && !(text && doc::propertyset::isOwned(held, ownedPrefix)))
            continue;
        // Set in its place, or removed: a second one of the same name goes too.
        content += source.substr(at, child.begin - at);
        at = child.end;
        if (match != wanted.end() && !placed[std::size_t(match - wanted.begin())]) {
            content += element(*match, id);
            placed[std::size_t(match - wanted.begin())] = true;
        }
    }
    content += source.substr(at, root.contentEnd - at);
    for (std::size_t i = 0; i < wanted.size(); ++i)
        if (!placed[i])
            content += element(wanted[i], ++lastPid);
    return withRootContent(source, root, content);
}

// An XML part, read as root, with one more element at the end of its root's content.
std::vector<std::uint8_t> withElement(const Entry& entry, const xml::Node& root, std::string_view element)
{
    const std::string_view source = textOf(entry.bytes);
    return withRootContent(
        source, root,
        std::string(source.substr(root.contentBegin, root.contentEnd - root.contentBegin)) + "<" +
            prefixOf(source, root) + std::string(element) + "/>");
}

// What a package without custom properties needs to hold them: its relationship, its content
// type where no default gives it, and the part itself, empty. relationships: the package's
// relationships part, read as relationshipsRoot, which holds held.
std::vector<Entry> customPropertiesAdded(const Package& package, const Entry& relationships,
                                         const xml::Node& relationshipsRoot,
                                         const std::vector<Relationship>& held)
{
    std::vector<Entry> out;
    std::string id;
    for (std::size_t n = held.size() + 1; id.empty(); ++n)
        if (std::none_of(held.begin(), held.end(),
                         [&](const Relationship& r) { return r.id == "rId" + std::to_string(n); }))
            id = "rId" + std::to_string(n);
    out.push_back({relationships.name, withElement(relationships, relationshipsRoot,
                                                   "Relationship Id=\"" + id + "\" Type=\"" +
                                                       relationshipType("custom-properties") +
                                                       "\" Target=\"" + kCustomPropertiesName + "\"")});
    const Entry* types = package.find(kContentTypesName);
    const xml::Node typesRoot = parsePart(*types);
    if (contentTypesIn(typesRoot).of(kCustomPropertiesName) != kCustomPropertiesContentType) {
        out.push_back(
            {types->name, withElement(*types, typesRoot,
                                      std::string("Override PartName=\"/") + kCustomPropertiesName +
                                          "\" ContentType=\"" + kCustomPropertiesContentType + "\"")});
    }
    const std::string empty =
        std::string("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n") +
        "<Properties xmlns=\"" + kCustomPropertiesNs + "\" xmlns:vt=\"" + kVariantTypesNs +
        "\"></Properties>";
    out.push_back({kCustomPropertiesName, {empty.begin(), empty.end()}});
    return out;
}

} // namespace

const Relationship* XmlPart::relationship(std::string_view id) const
{
    const auto found = std::find_if(relationships.begin(), relationships.end(),
                                    [&](const Relationship& r) { return r.id == id; });
    return found == relationships.end() ? nullptr : &*found;
}

std::vector<const XmlPart*> DocxState::parts() const
{
    return partsOf(*this);
}

DocxDocument::DocxDocument(std::unique_ptr<DocxState> state) : d(std::move(state)) {}
DocxDocument::DocxDocument(DocxDocument&&) noexcept = default;
DocxDocument& DocxDocument::operator=(DocxDocument&&) noexcept = default;
DocxDocument::DocxDocument(const DocxDocument& other) : d(std::make_unique<DocxState>(*other.d)) {}
DocxDocument& DocxDocument::operator=(const DocxDocument& other)
{
    if (this != &other)
        d = std::make_unique<DocxState>(*other.d);
    return *this;
}
DocxDocument::~DocxDocument() = default;

DocxDocument DocxDocument::parse(std::span<const std::uint8_t> bytes, const PackageLimits& limits)
{
    auto state = std::make_unique<DocxState>();
    state->package = Package::read(bytes, limits);
    readParts(*state);
    state->stories = TextBuilder(*state).run();
    return DocxDocument(std::move(state));
}

DocxDocument DocxDocument::load(const std::filesystem::path& path, std::size_t maxBytes)
{
    return parse(doc::fileio::readFile(path, maxBytes));
}

std::u16string DocxDocument::text() const
{
    return d->text;
}

std::vector<DocxDocument::StoryRange> DocxDocument::stories() const
{
    return d->stories;
}

std::uint32_t DocxDocument::replaceText(std::uint32_t cp, std::uint32_t count, std::u16string_view text,
                                        std::optional<std::uint32_t> formatFrom)
{
    const std::uint64_t end = std::uint64_t(cp) + count;
    const bool inOneStory = std::any_of(d->stories.begin(), d->stories.end(), [&](const StoryRange& r) {
        return cp >= r.start && end < std::uint64_t(r.start) + r.length;
    });
    if (!inOneStory)
        throw Error(Error::Kind::BadArgument, "the range leaves the text of its story");
    const std::uint32_t from = formatFrom.value_or(cp);
    if (from >= d->text.size())
        throw Error(Error::Kind::BadArgument, "formatting taken from past the text");
    std::u16string typed = doc::normalizeTypedText(text);
    const auto length = static_cast<std::uint32_t>(typed.size());
    if (count == 0 && typed.empty())
        return 0;
    // Everything refused is refused before the first byte changes.
    const Spliced done = Splice(*d, cp, count, std::move(typed), from).run();
    if (!updateParagraph(*d, done))
        d->stories = TextBuilder(*d).run();
    return length;
}

std::vector<DocxDocument::Property> DocxDocument::properties() const
{
    const auto name = customPropertiesName(d->package, readRelationships(d->package, {}));
    if (!name)
        return {};
    const xml::Node root = parsePart(*d->package.find(*name));
    std::vector<Property> out;
    for (const auto& child : root.children) {
        const std::string* propertyName = child.attribute({}, "name");
        const xml::Node* value = child.child(kVariantTypesNs, "lpwstr");
        if (child.is(kCustomPropertiesNs, "property") && propertyName && value)
            out.push_back({fromXstring(*propertyName), fromXstring(value->allText())});
    }
    return out;
}

void DocxDocument::setProperties(const std::vector<Property>& properties, std::u16string_view ownedPrefix)
{
    doc::propertyset::checkProperties(properties);
    if (properties.empty()) {
        const auto held = this->properties();
        if (std::none_of(held.begin(), held.end(),
                         [&](const Property& p) { return doc::propertyset::isOwned(p.name, ownedPrefix); }))
            return;
    }
    // Every new part is made before the first is set. The package's relationships part is there:
    // the main part was found through it.
    const Entry& relationships = *d->package.find(kPackageRelationshipsName);
    const xml::Node relationshipsRoot = parsePart(relationships);
    const auto held = relationshipsIn(relationshipsRoot, relationships.name, {});
    const auto name = customPropertiesName(d->package, held);
    std::vector<Entry> changes =
        name ? std::vector<Entry>{*d->package.find(*name)}
             : customPropertiesAdded(d->package, relationships, relationshipsRoot, held);
    changes.back().bytes = withProperties(changes.back(), lastOfEachName(properties), ownedPrefix);
    for (auto& change : changes)
        d->package.set(std::move(change.name), std::move(change.bytes));
}

const Package& DocxDocument::package() const
{
    return d->package;
}

std::vector<std::uint8_t> DocxDocument::serialize() const
{
    return d->package.write();
}

void DocxDocument::save(const std::filesystem::path& path, doc::fileio::Access access,
                        doc::fileio::Flush flush) const
{
    doc::fileio::replaceFile(path, serialize(), access, flush);
}

bool looksLikeZip(std::span<const std::uint8_t> bytes)
{
    constexpr std::array<std::uint8_t, 4> kLocalHeader{'P', 'K', 3, 4};
    return bytes.size() >= kLocalHeader.size() &&
           std::equal(kLocalHeader.begin(), kLocalHeader.end(), bytes.begin());
}

} // namespace docx
