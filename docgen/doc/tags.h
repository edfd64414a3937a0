#pragma once

#include "doc/worddocument.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The places a template marks for filling: "{{Name}}" in its text, or a mail-merge field
// (MERGEFIELD Name) as Word and LibreOffice insert them.
namespace doc::tags
{

// A name longer than this is a fault, not a tag.
inline constexpr std::size_t kMaxNameLength = 64;

struct Tag {
    std::uint32_t cp;     // its first character: the first '{', or the field's begin mark
    std::uint32_t length; // through the last '}', or the field's end mark
    std::u16string name;  // as written, without the braces and the spaces around it
    bool mergeField = false;
};

struct Fault {
    enum class Kind {
        Unclosed,          // "{{" with no "}}" after it in its paragraph or the next
        Empty,             // "{{}}" or only spaces inside
        BrokenByParagraph, // a paragraph, cell, page or line ends inside it ("}}" in the next one)
        BrokenByField,     // a field begins, separates or ends inside it
        TooLong,           // a name of more than kMaxNameLength characters
        Nested,            // "{{" again inside a tag
        InFieldCode,       // "{{" inside a field's code
    };
    Kind kind;
    std::uint32_t cp; // where the tag begins
};

struct Scan {
    std::vector<Tag> tags; // in text order
    std::vector<Fault> faults;
};

// The tags and faults of text (one story's, or several in CP order), field marks as Word keeps
// them; cps are offsets into text plus base.
Scan scan(std::u16string_view text, std::uint32_t base = 0);

// Every story of a document scanned: its text() and stories(), as either engine gives them.
Scan scan(std::u16string_view text, const std::vector<WordDocument::StoryRange>& stories);
Scan scan(const WordDocument& document);

// Where cp stands, for a fault's message: its story, its paragraph in that story (from 1), and
// a few words of text around it (paragraph and field marks shown as spaces).
struct Where {
    WordDocument::Story story;
    std::size_t paragraph;
    std::u16string context;
};
Where where(std::u16string_view text, const std::vector<WordDocument::StoryRange>& stories, std::uint32_t cp);
Where where(const WordDocument& document, std::uint32_t cp);

} // namespace doc::tags
