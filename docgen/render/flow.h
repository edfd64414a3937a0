#pragma once

#include "render/pagelayout.h"
#include "render/textshaping.h"

#include <QDate>

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
};

// A piece of the flow that goes on one page whole: a paragraph's line with the space it takes before and
// after it, a table row, a picture on a line of its own.
struct Slice {
    double height = 0;
    Placed content;
    bool breakBefore = false;  // starts a new page (a page break, "page break before")
    bool keepWithNext = false; // goes on the page of the slice after it (keep with next, keep together,
                               // widow and orphan control, a row that may not break)
    // A table's header rows, repeated at the top of every page the rest of the table goes on to; set on
    // each slice of the table's other rows.
    std::shared_ptr<const std::vector<Slice>> repeatedHeader;
};

// The values of the fields a page shows; nullopt while the pages are not yet counted (the body), where
// fields show their stored results.
struct FieldValues {
    int page = 1;
    int pages = 1;
    int sectionPages = 1;
    QDate date;
};

struct FlowContext {
    const doc::ReadModel& model;
    StyleTable& styles;
    QString& undrawn;
    std::int32_t defaultTabWidth = 720;
    std::optional<FieldValues> fields;
};

// Lays out blocks in a column width pixels wide.
std::vector<Slice> layoutBlocks(std::span<const doc::Block> blocks, double width, FlowContext& context);

// Lays out one paragraph in a column width pixels wide (with its space before and after, borders and
// shading, list label, inline pictures).
std::vector<Slice> layoutParagraph(const doc::Paragraph& paragraph, double width, FlowContext& context);

// Lays out a table in a column width pixels wide: one slice per row, or per piece of a row that may
// break and is taller than a page (tablelayout.cpp).
std::vector<Slice> layoutTable(const doc::Table& table, double width, double pageHeight, FlowContext& context);

} // namespace render
