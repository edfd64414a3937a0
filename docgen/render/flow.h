#pragma once

#include "render/pagelayout.h"
#include "render/pictures.h"
#include "render/textshaping.h"

#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

// The page flow: blocks (paragraphs and tables) made into slices that go on a page whole, then the slices
// put on pages. Internal to the renderer; pagelayout.cpp paginates, tablelayout.cpp lays out tables.
namespace render
{

// What a piece of the page shows, with positions from its own origin: x from the left edge of the column
// it was laid out in, y from its top. Lines' page numbers are set when the piece goes on a page.
struct Placed {
    std::vector<PageLine> lines;
    std::vector<PageFill> fills;
    std::vector<PageImage> images;

    // Adds other's items, moved by (dx, dy).
    void append(const Placed& other, double dx, double dy);
    void append(Placed&& other, double dx, double dy);
};

// A piece of the flow that goes on one page whole: a paragraph's line with the space it takes before and
// after it, a table row, a picture on a line of its own.
struct Slice {
    double height = 0;
    Placed content;
    // Starts a new page (a page break, "page break before") unless nothing is on the page yet: a break
    // that makes an empty page comes as an empty slice before it.
    bool breakBefore = false;
    bool keepWithNext = false; // goes on the page of the slice after it (keep with next, keep together,
                               // widow and orphan control, a row that may not break)
    // A table's header rows, repeated at the top of every page the rest of the table goes on to; set on
    // each slice of the table's other rows.
    std::shared_ptr<const std::vector<Slice>> repeatedHeader;

    // How far down the content reaches: the height without the space after a paragraph, which may run
    // past the bottom margin as in Word.
    double extent() const;
};

struct FlowContext {
    const doc::ReadModel& model;
    StyleTable& styles;
    QString& undrawn;
    PictureCache& pictures; // the model's pictures, each decoded once for the whole layout
    std::int32_t defaultTabWidth = 720;
    double pageHeight = 0; // the text column's height: a table row taller than this breaks
    // The values of the fields a page shows (textshaping.h); nullopt where every field shows its stored
    // result.
    std::optional<FieldValues> fields;
};

// The part of the column a line beside floating shapes may take, x from the column's left edge.
struct LineRoom {
    double left = 0;
    double right = 0;
};
// The room of a paragraph's line given its top and height from the paragraph's top; nullopt where no shape
// stands beside it and the line takes the whole column.
using RoomBeside = std::function<std::optional<LineRoom>(double top, double height)>;

// Lays out blocks in a column width pixels wide.
std::vector<Slice> layoutBlocks(std::span<const doc::Block> blocks, double width, FlowContext& context);
// Lays out blocks[at] alone, joined to its neighbours as among the others.
// A paragraph's lines take the room beside gives them, where given.
std::vector<Slice> layoutBlock(std::span<const doc::Block> blocks, std::size_t at, double width,
                               FlowContext& context, const RoomBeside& beside = {});

// Whether a paragraph's neighbours have the same borders and shading: a run of such paragraphs is one box,
// with the between border (if any) between them.
struct BoxJoin {
    bool previous = false;
    bool next = false;
};

// Lays out paragraph index (into the model's paragraphs) in a column width pixels wide: one slice per line,
// the space before in the first and the space after in the last, with its borders and shading, list
// label and inline pictures; page breaks in it and "page break before" as breakBefore, keep together, keep
// with next and widow and orphan control as keepWithNext (paragraphlayout.cpp). A line beside a floating
// shape takes the room beside gives it, its indents from that room's edges, up to the first page break.
std::vector<Slice> layoutParagraph(std::size_t index, double width, FlowContext& context, BoxJoin join = {},
                                   const RoomBeside& beside = {});

// Lays out a table in a column width pixels wide: one slice per row, or per piece of a row that may
// break and is taller than a page (tablelayout.cpp).
std::vector<Slice> layoutTable(const doc::Table& table, double width, double pageHeight,
                               FlowContext& context);

// One line of a border from `from` to `to` along the edge, at [near, near + width] across it: whole, or cut
// into dots or dashes as style says (tablelayout.cpp, for paragraphs' borders too).
void borderLine(std::vector<PageFill>& fills, doc::Border::Style style, bool horizontal, double near,
                double width, double from, double to, const QColor& color);

// A border round rect, as a shape's outline: each side centred on rect's edge, the corners filled
// (tablelayout.cpp, with the table's borders).
void drawFrame(Placed& out, const doc::Border& border, const QRectF& rect);

} // namespace render
