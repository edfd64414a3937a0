#include "render/flow.h"

#include <algorithm>
#include <iterator>

namespace render
{

namespace
{

void shift(PageLine& line, double dx, double dy)
{
    line.left += dx;
    line.right += dx;
    line.top += dy;
    line.baseline += dy;
    for (TextFragment& fragment : line.fragments)
        fragment.baseline += QPointF(dx, dy);
    for (QRectF& stroke : line.underlines)
        stroke.translate(dx, dy);
}

bool sameBorder(const doc::Border& a, const doc::Border& b)
{
    return a.style == b.style && a.widthPt == b.widthPt && a.color == b.color && a.spacePt == b.spacePt;
}

// Word draws consecutive paragraphs with the same borders, shading and indents as one box.
bool sameBox(const doc::Paragraph& a, const doc::Paragraph& b)
{
    const doc::Borders& x = a.borders;
    const doc::Borders& y = b.borders;
    return sameBorder(x.top, y.top) && sameBorder(x.left, y.left) && sameBorder(x.bottom, y.bottom) &&
           sameBorder(x.right, y.right) && sameBorder(x.between, y.between) && a.shading == b.shading &&
           a.leftIndent == b.leftIndent && a.rightIndent == b.rightIndent;
}

} // namespace

void Placed::append(const Placed& other, double dx, double dy)
{
    for (const PageLine& line : other.lines) {
        lines.push_back(line);
        shift(lines.back(), dx, dy);
    }
    for (const PageFill& fill : other.fills)
        fills.push_back({fill.page, fill.rect.translated(dx, dy), fill.color});
    for (const PageImage& image : other.images) {
        images.push_back(image);
        images.back().rect.translate(dx, dy);
    }
}

void Placed::append(Placed&& other, double dx, double dy)
{
    for (PageLine& line : other.lines) {
        shift(line, dx, dy);
        lines.push_back(std::move(line));
    }
    for (PageFill& fill : other.fills) {
        fill.rect.translate(dx, dy);
        fills.push_back(fill);
    }
    for (PageImage& image : other.images) {
        image.rect.translate(dx, dy);
        images.push_back(std::move(image));
    }
    other = Placed();
}

double Slice::extent() const
{
    double bottom = 0;
    bool any = false;
    for (const PageLine& line : content.lines) {
        bottom = std::max(bottom, line.top + line.height);
        any = true;
    }
    for (const PageFill& fill : content.fills) {
        bottom = std::max(bottom, fill.rect.bottom());
        any = true;
    }
    for (const PageImage& image : content.images) {
        bottom = std::max(bottom, image.rect.bottom());
        any = true;
    }
    return any ? std::min(bottom, height) : height;
}

std::vector<Slice> layoutBlock(std::span<const doc::Block> blocks, std::size_t at, double width,
                               FlowContext& context, const RoomBeside& beside)
{
    const doc::ReadModel& model = context.model;
    const auto paragraphAt = [&](std::size_t b) -> const doc::Paragraph* {
        return b < blocks.size() && blocks[b].kind == doc::Block::Kind::Paragraph &&
                       blocks[b].index < model.paragraphs.size()
                   ? &model.paragraphs[blocks[b].index]
                   : nullptr;
    };
    const doc::Block& block = blocks[at];
    if (block.kind == doc::Block::Kind::Table)
        return block.index < model.tables.size()
                   ? layoutTable(model.tables[block.index], width, context.pageHeight, context)
                   : std::vector<Slice>();
    const doc::Paragraph* paragraph = paragraphAt(at);
    if (!paragraph)
        return {};
    const doc::Paragraph* previous = at > 0 ? paragraphAt(at - 1) : nullptr;
    const doc::Paragraph* next = paragraphAt(at + 1);
    return layoutParagraph(block.index, width, context,
                           {previous && sameBox(*previous, *paragraph), next && sameBox(*paragraph, *next)},
                           beside);
}

std::vector<Slice> layoutBlocks(std::span<const doc::Block> blocks, double width, FlowContext& context)
{
    std::vector<Slice> slices;
    for (std::size_t at = 0; at < blocks.size(); ++at) {
        std::vector<Slice> more = layoutBlock(blocks, at, width, context);
        if (slices.empty())
            slices = std::move(more);
        else
            slices.insert(slices.end(), std::make_move_iterator(more.begin()),
                          std::make_move_iterator(more.end()));
    }
    return slices;
}

} // namespace render
