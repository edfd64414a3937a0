#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace doc
{

// What the page renderer needs of a document's main text, with formatting resolved
// (style sheet, then paragraph and character properties). Lengths are in twips
// (1/1440 inch) unless named otherwise.
struct CharacterRun {
    std::uint32_t start = 0;  // offset into Paragraph::text
    std::uint32_t length = 0; // UTF-16 code units
    std::string fontName = "Times New Roman";
    double sizePt = 12.0;
    bool bold = false;
    bool italic = false;
    bool underline = false;
};

struct TabStop {
    enum class Alignment { Left, Center, Right, Decimal, Bar };
    std::int32_t position = 0; // from the paragraph's left indent's reference: the text column's left edge
    Alignment alignment = Alignment::Left;
    char16_t leader = u' '; // ' ', '.', '-', '_'
};

struct Paragraph {
    enum class Alignment { Left, Center, Right, Justify };
    // The paragraph's characters without its paragraph mark. Special characters stay
    // as in the document: 0x09 tab, 0x0B line break, 0x08 / 0x01 object anchors, 0x13-0x15 field marks.
    std::u16string text;
    std::vector<CharacterRun> runs; // cover text in order, no gaps
    Alignment alignment = Alignment::Left;
    std::int32_t leftIndent = 0;
    std::int32_t rightIndent = 0;
    std::int32_t firstLineIndent = 0; // relative to leftIndent, may be negative
    std::int32_t spaceBefore = 0;
    std::int32_t spaceAfter = 0;
    // Line spacing as Word stores it (LSPD): multiple = true means lineSpacing/240 lines;
    // otherwise lineSpacing twips, exact when negative, at least when positive.
    std::int32_t lineSpacing = 240;
    bool lineSpacingMultiple = true;
    std::vector<TabStop> tabs;
    CharacterRun markFormat; // formatting of the paragraph mark (gives an empty line its height)
};

struct SectionLayout {
    std::int32_t pageWidth = 12240;
    std::int32_t pageHeight = 15840;
    std::int32_t marginLeft = 1800;
    std::int32_t marginRight = 1800;
    std::int32_t marginTop = 1440;
    std::int32_t marginBottom = 1440;
    std::int32_t defaultTabWidth = 720; // Dop.dxaTab
};

struct ReadModel {
    std::vector<Paragraph> paragraphs; // the main text, in order
    SectionLayout section;             // the first section's page
};

} // namespace doc
