#pragma once

#include "render/layoutmath.h"

#include <cstddef>
#include <vector>

// Breaking a paragraph into lines and placing its pieces, on measured widths only.
namespace render
{

// One character's worth of a paragraph (a code point), measured in its font.
struct LineItem {
    enum class Kind { Text, Space, Tab, LineBreak };
    Kind kind = Kind::Text;
    double width = 0;
    bool breakAfter = false;   // a line may end after this item (after spaces, tabs and hyphens)
    bool decimalPoint = false; // a decimal tab aligns the first of these on its stop
};

struct LinePlacement {
    double x = 0;     // from the text column's left edge
    double width = 0; // tabs: the space they fill; justified spaces: their stretched width
    char16_t leader = u' ';
};

struct BrokenLine {
    std::size_t begin = 0; // item range [begin, end)
    std::size_t end = 0;
    std::vector<LinePlacement> placements; // one per item in the range
    double contentRight = 0;               // right edge of the last item that is not a trailing space
    bool hasContent = false;               // anything but spaces and breaks on the line
};

struct LineFrame {
    double firstLineStart = 0; // left indent plus first-line indent
    double lineStart = 0;      // left indent
    double lineEnd = 0;        // column width minus the right indent
};

// Greedy line breaking as Word does it: a line ends at the last break opportunity before the first item
// that would cross lineEnd (trailing spaces may hang past it); a word longer than a line is cut at the
// character that would cross it; a tab whose stop lies past lineEnd moves to the next line.
// Every line holds at least one item, and an empty paragraph gives one empty line.
std::vector<BrokenLine> breakLines(const std::vector<LineItem>& items, const LineFrame& frame,
                                   const TabRuler& ruler);

// One line of breakLines, starting at item pos, start pixels from the column's left edge and ending by
// lineEnd: for a paragraph whose lines have different room, beside a floating shape.
BrokenLine breakLine(const std::vector<LineItem>& items, std::size_t pos, double start, double lineEnd,
                     const TabRuler& ruler);

// Whether another line comes after line: items are left, or the line ends in a line break (a paragraph
// that ends in one shows the empty line after it).
bool lineFollows(const std::vector<LineItem>& items, const BrokenLine& line);

// Places the items of one line from its start: text and spaces side by side, tabs to their stops
// (left, center, right, decimal), the text after a center/right/decimal tab pulled back onto its stop
// as far as the text before allows.
BrokenLine placeLine(const std::vector<LineItem>& items, std::size_t begin, std::size_t end, double start,
                     const TabRuler& ruler);

// Shifts a placed line for its paragraph's alignment. Justified lines (all but the paragraph's last)
// stretch the spaces after the line's last tab; lines without such spaces stay left aligned.
void alignLine(BrokenLine& line, const std::vector<LineItem>& items, doc::Paragraph::Alignment alignment,
               double lineEnd, bool lastLineOfParagraph);

} // namespace render
