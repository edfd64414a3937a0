#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace doc
{

// What the page renderer needs of a document, with formatting resolved (style sheet, list level, then
// paragraph and character properties). Lengths are in twips (1/1440 inch) unless named otherwise.

// Colours are 0xRRGGBB; kAutoColor is Word's "auto": black text, no fill, no highlight.
inline constexpr std::uint32_t kAutoColor = 0xFF000000;

struct CharacterRun {
    enum class Position { Normal, Superscript, Subscript };
    std::uint32_t start = 0;  // offset into Paragraph::text
    std::uint32_t length = 0; // UTF-16 code units
    std::string fontName = "Times New Roman";
    double sizePt = 12.0;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    bool doubleStrike = false;
    bool smallCaps = false;
    bool allCaps = false;
    bool hidden = false; // not shown, takes no room
    Position position = Position::Normal;
    std::int32_t spacing = 0; // added after each character, may be negative
    bool kerning = false;     // pairs of characters set as the font's kerning table says
    std::uint32_t color = kAutoColor;
    std::uint32_t highlight =
        kAutoColor; // the fill behind the characters (highlight or shading); kAutoColor: none
};

// Runs that look alike, wherever they stand: one may go on the other.
inline bool sameFormat(const CharacterRun& a, const CharacterRun& b)
{
    return a.fontName == b.fontName && a.sizePt == b.sizePt && a.bold == b.bold && a.italic == b.italic &&
           a.underline == b.underline && a.strike == b.strike && a.doubleStrike == b.doubleStrike &&
           a.smallCaps == b.smallCaps && a.allCaps == b.allCaps && a.hidden == b.hidden &&
           a.position == b.position && a.spacing == b.spacing && a.kerning == b.kerning &&
           a.color == b.color && a.highlight == b.highlight;
}

struct TabStop {
    enum class Alignment { Left, Center, Right, Decimal, Bar };
    std::int32_t position = 0; // from the paragraph's left indent's reference: the text column's left edge
    Alignment alignment = Alignment::Left;
    char16_t leader = u' '; // ' ', '.', '-', '_'
};

struct Border {
    enum class Style { None, Single, Double, Dotted, Dashed };
    Style style = Style::None;
    double widthPt = 0; // one line's width
    std::uint32_t color = kAutoColor;
    double spacePt = 0; // between the border and the text
    bool present() const { return style != Style::None; }
};

// A paragraph's borders (between: drawn between consecutive paragraphs with the same borders) or a
// cell's (between unused).
struct Borders {
    Border top;
    Border left;
    Border bottom;
    Border right;
    Border between;
};

// A list paragraph's label, worked out as Word numbers the list: "3.", "(b)", "ii.", "2.1", a bullet.
struct ListLabel {
    enum class Alignment { Left, Center, Right };
    enum class Follow { Tab, Space, Nothing };
    std::u16string text;
    CharacterRun format;                   // start and length unused
    Alignment alignment = Alignment::Left; // of the label about the first line's start
    Follow follow = Follow::Tab;
};

// An object character of a paragraph: an inline picture (0x01) or a floating shape's anchor (0x08).
struct ObjectAt {
    std::uint32_t offset = 0; // into Paragraph::text
    std::size_t index = 0;    // into ReadModel::pictures or ReadModel::shapes
};

struct Paragraph {
    enum class Alignment { Left, Center, Right, Justify };
    // The paragraph's characters without its paragraph mark or cell mark. Special characters stay
    // as in the document: 0x09 tab, 0x0B line break, 0x0C page break, 0x08 / 0x01 object anchors,
    // 0x13-0x15 field marks.
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
    bool keepWithNext = false;
    bool keepTogether = false;
    bool pageBreakBefore = false;
    bool widowControl = true;
    Borders borders;
    std::uint32_t shading = kAutoColor; // the fill behind the paragraph; kAutoColor: none
    std::optional<ListLabel> list;
    std::vector<ObjectAt> pictures; // inline pictures, by their 0x01 characters
    std::vector<ObjectAt> shapes;   // floating pictures and text boxes, by their 0x08 anchors
};

// A paragraph or a table, in reading order.
struct Block {
    enum class Kind { Paragraph, Table };
    Kind kind = Kind::Paragraph;
    std::size_t index = 0; // into ReadModel::paragraphs or ReadModel::tables
};

struct TableCell {
    enum class VerticalMerge { None, Restart, Continue }; // Continue: part of the cell above
    enum class VerticalAlignment { Top, Center, Bottom };
    std::vector<Block> blocks; // its paragraphs and tables nested in it (one level deep)
    // Edges from the text column's left edge (a nested table's from its cell's left edge plus the cell's
    // left margin), the table's alignment applied; cells merged across are one cell.
    std::int32_t left = 0;
    std::int32_t right = 0;
    VerticalMerge verticalMerge = VerticalMerge::None;
    VerticalAlignment verticalAlignment = VerticalAlignment::Top;
    Borders borders; // the table's borders already applied where the cell has none of its own
    std::uint32_t shading = kAutoColor;
    std::int32_t marginTop = 0;
    std::int32_t marginLeft = 108;
    std::int32_t marginBottom = 0;
    std::int32_t marginRight = 108;
};

struct TableRow {
    std::vector<TableCell> cells;
    std::int32_t height = 0; // at least this when positive, exactly -height when negative, auto when 0
    bool header = false;     // repeated at the top of each page the table goes on to
    bool cantSplit = false;  // kept whole on one page
};

struct Table {
    std::vector<TableRow> rows;
};

// A length on each side of a rectangle.
struct Sides {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
};

// A floating picture or text box: where it stands and how text goes round it.
struct Shape {
    enum class HorizontalFrom { Margin, Page, Column };
    enum class VerticalFrom { Margin, Page, Paragraph };
    enum class Wrap { Square, TopAndBottom, None, Tight, Through }; // None: in front of or behind the text
    // The shape's rectangle from the origins below.
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
    HorizontalFrom horizontalFrom = HorizontalFrom::Column;
    VerticalFrom verticalFrom = VerticalFrom::Paragraph;
    Wrap wrap = Wrap::Square;
    bool behindText = false;
    std::optional<std::size_t> picture; // into ReadModel::pictures
    std::optional<std::size_t> textBox; // into ReadModel::textBoxes
    // How near wrapped text comes to the shape: Word's defaults are an eighth of an inch at the sides.
    Sides wrapDistance{180, 0, 180, 0};
    // A text box's text from its edges; Word's defaults.
    Sides textMargins{144, 72, 144, 72};
    Border outline;                  // drawn centred on the shape's edges; spacePt unused
    std::uint32_t fill = kAutoColor; // kAutoColor: none
};

// The share of a stored picture's width (left, right) or height (top, bottom) cut off each side, each at
// least 0 and together less than the whole.
struct Crop {
    double left = 0;
    double top = 0;
    double right = 0;
    double bottom = 0;
    bool operator==(const Crop&) const = default;
};

// A picture whose data is damaged or missing keeps its place, to be shown as a box of its size:
// Format::Unknown and no bytes. Where its size is lost too, the box is this wide and high, so that it is
// seen.
inline constexpr std::int32_t kUnsizedPicture = 1440;

struct Picture {
    enum class Format { Png, Jpeg, Dib, Emf, Wmf, Pict, Tiff, Unknown };
    Format format = Format::Unknown;
    // The picture's data as stored: a DIB without its file header, a metafile without its placeable
    // header and deflate-compressed where Word compressed it.
    std::vector<std::uint8_t> bytes;
    std::int32_t width = 0; // shown size, scaling and cropping applied; never 0
    std::int32_t height = 0;
    Crop crop; // what is left of the stored picture fills the shown size
};

struct SectionLayout {
    std::int32_t pageWidth = 12240;
    std::int32_t pageHeight = 15840;
    std::int32_t marginLeft = 1800;
    std::int32_t marginRight = 1800;
    std::int32_t marginTop = 1440;
    std::int32_t marginBottom = 1440;
    std::int32_t headerDistance = 720;  // from the page's top edge to the header's top
    std::int32_t footerDistance = 720;  // from the page's bottom edge to the footer's bottom
    std::int32_t defaultTabWidth = 720; // Dop.dxaTab
};

struct Section {
    enum class Start { Continuous, NewColumn, NewPage, EvenPage, OddPage };
    // The stories of Word's header table ([MS-DOC] 2.9.124), in its order.
    enum HeaderKind { EvenHeader, OddHeader, EvenFooter, OddFooter, FirstHeader, FirstFooter, kHeaderKinds };
    SectionLayout page;
    Start start = Start::NewPage;
    bool titlePage = false;             // the first page takes the first-page header and footer
    std::optional<int> firstPageNumber; // numbering restarts here
    std::size_t blockEnd = 0;           // the body's blocks up to here belong to this section
    // Index into ReadModel::headers; a section without its own story has its predecessor's.
    std::array<std::optional<std::size_t>, kHeaderKinds> headers{};
};

struct ReadModel {
    std::vector<Paragraph> paragraphs; // every paragraph of every story, in the order read
    std::vector<Table> tables;
    std::vector<Block> body;                   // the main text
    std::vector<Section> sections{1};          // at least one
    std::vector<std::vector<Block>> headers;   // header and footer stories
    std::vector<std::vector<Block>> textBoxes; // text box stories
    std::vector<Picture> pictures;
    std::vector<Shape> shapes;
    bool facingPages = false; // even pages take the even header and footer (Dop.fFacingPages)

    const SectionLayout& section() const { return sections.front().page; } // the first section's page
    SectionLayout& section() { return sections.front().page; }
};

} // namespace doc
