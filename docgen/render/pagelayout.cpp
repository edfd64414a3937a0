#include "render/pagelayout.h"
#include "render/flow.h"
#include "render/pictures.h"
#include "render/textshaping.h"

#include <QDataStream>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <deque>
#include <iterator>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <tuple>
#include <unordered_map>

namespace render
{

namespace
{

// Far more than any agreement; a count past it in painted-layout data is damage.
constexpr quint32 kMaxPaintedItems = 1u << 24;

// The narrowest room beside a shape that text goes into.
constexpr double kMinWrapWidth = twipsToPixels(1440);

// A shape's wrap distance or inner margin, made sound.
double sidePx(std::int32_t twips)
{
    return twipsToPixels(std::clamp<double>(twips, 0, kMaxPictureTwips));
}

bool sameGeometry(const PictureGeometry& a, const PictureGeometry& b)
{
    return a.widthPx == b.widthPx && a.heightPx == b.heightPx && a.columnLeft == b.columnLeft &&
           a.columnTop == b.columnTop && a.columnWidth == b.columnWidth && a.columnHeight == b.columnHeight;
}

// A distance from a page's edge, made to lie on the page.
double edgeDistance(std::int32_t twips, int pagePx)
{
    return std::clamp(twipsToPixels(twips), 0.0, static_cast<double>(pagePx));
}

// The height stacked slices take, the space after the last left out.
double stackedHeight(const std::vector<Slice>& slices)
{
    double height = 0;
    for (const Slice& slice : slices)
        height += slice.height;
    return slices.empty() ? 0 : height - slices.back().height + slices.back().extent();
}

// The slices of a run of blocks, laid out a block at a time as pagination reaches them: a layout of one
// page stops laying out where the page ends.
class SliceQueue
{
public:
    SliceQueue(std::span<const doc::Block> blocks, double width, FlowContext& context)
        : mBlocks(blocks), mWidth(width), mContext(context)
    {
    }

    // The slice ahead by k, or null past the last.
    Slice* peek(std::size_t k)
    {
        while (mPending.size() <= k && mNext < mBlocks.size())
            load(mNext++, false, {});
        return k < mPending.size() ? &mPending[k].slice : nullptr;
    }

    Slice take()
    {
        Slice slice = std::move(mPending.front().slice);
        mPending.pop_front();
        ++mTaken;
        return slice;
    }

    std::size_t taken() const { return mTaken; }

    // Whether the next slice starts a block, and the block is a paragraph.
    bool atBlock() { return peek(0) && mPending.front().first; }
    bool atParagraph()
    {
        return atBlock() && mBlocks[mPending.front().block].kind == doc::Block::Kind::Paragraph;
    }

    // The height of the next slice's block.
    double blockHeight()
    {
        peek(0);
        double height = 0;
        for (const Pending& pending : mPending)
            if (pending.block == mPending.front().block)
                height += pending.slice.height;
        return height;
    }

    // Lays out the next slice's block again, its lines in the room beside gives them.
    void wrap(const RoomBeside& beside)
    {
        const std::size_t block = mPending.front().block;
        while (!mPending.empty() && mPending.front().block == block)
            mPending.pop_front();
        load(block, true, beside);
    }

private:
    struct Pending {
        Slice slice;
        std::size_t block = 0;
        bool first = false; // the first of its block's slices
    };

    void load(std::size_t block, bool atFront, const RoomBeside& beside)
    {
        std::vector<Slice> slices = layoutBlock(mBlocks, block, mWidth, mContext, beside);
        auto at = atFront ? mPending.begin() : mPending.end();
        for (std::size_t i = 0; i < slices.size(); ++i) {
            at = mPending.insert(at, {std::move(slices[i]), block, i == 0});
            ++at;
        }
    }

    std::span<const doc::Block> mBlocks;
    double mWidth;
    FlowContext& mContext;
    std::size_t mNext = 0;
    std::deque<Pending> mPending;
    std::size_t mTaken = 0;
};

// One page as the flow fills it.
struct FlowPage {
    std::size_t section = 0; // whose geometry, header and footer the page takes
    int number = 1;          // as its PAGE field shows it
    bool sectionFirst = false;
    double top = 0; // the body's room on the page, picture pixels
    double bottom = 0;
    Placed body;
};

// Lays out the body section by section, a slice at a time top to bottom, then each page's header and footer
// with the page's numbers.
class Paginator
{
public:
    Paginator(const doc::ReadModel& model, int maxPages)
        : mModel(model), mMaxPages(static_cast<std::size_t>(std::max(1, maxPages))),
          mPictures(model.pictures), mContext{.model = model,
                                              .styles = mStyles,
                                              .undrawn = mLayout.undrawn,
                                              .pictures = mPictures,
                                              .defaultTabWidth = model.section().defaultTabWidth,
                                              .pageHeight = 0,
                                              .fields = FieldValues{std::nullopt, std::nullopt, std::nullopt,
                                                                    QDate::currentDate()}},
          mAnchored(model.shapes.size(), false)
    {
        for (const doc::Section& section : model.sections)
            mGeometries.push_back(pictureGeometry(section.page));
    }

    PageLayout run()
    {
        layoutBody();
        return finish();
    }

private:
    // A shape text does not run through, with its wrap distances: text goes below it or, with square
    // wrapping, beside it.
    struct Band {
        QRectF rect;
        bool beside = false;
    };

    const doc::ReadModel& mModel;
    std::size_t mMaxPages;
    PageLayout mLayout;
    StyleTable mStyles;
    PictureCache mPictures;
    FlowContext mContext;
    std::vector<PictureGeometry> mGeometries; // by section
    std::vector<FlowPage> mPages;
    std::vector<bool> mAnchored; // by shape: placed on the page of its anchor
    std::vector<Band> mBands;    // on the current page
    Placed mShapes;              // anchored in the slice to be placed next, on mShapesPage
    std::size_t mShapesPage = 0;
    std::map<std::pair<std::size_t, double>, double> mStoryHeights; // by story and width
    double mY = 0;                                                  // picture pixels
    bool mStarted = false;                                          // the current page holds a slice
    // The space after the slice just put: a shape placed from its paragraph's top measures from above it.
    double mSpaceAbove = 0;
    std::set<int> mWrapped; // body paragraphs laid out again beside shapes

    void layoutBody()
    {
        std::size_t begin = 0;
        for (std::size_t s = 0; s < mModel.sections.size(); ++s) {
            const doc::Section& section = mModel.sections[s];
            const std::size_t end = s + 1 == mModel.sections.size()
                                        ? mModel.body.size()
                                        : std::clamp(section.blockEnd, begin, mModel.body.size());
            if (!startSection(s) || !layoutSection(s, std::span(mModel.body).subspan(begin, end - begin)))
                return;
            begin = end;
        }
    }

    bool startSection(std::size_t s)
    {
        const doc::Section& section = mModel.sections[s];
        using Start = doc::Section::Start;
        if (s == 0)
            return newPage(s, true, section.firstPageNumber);
        switch (section.start) {
        case Start::Continuous: {
            const PictureGeometry& current = mGeometries[mPages.back().section];
            if (current.widthPx == mGeometries[s].widthPx && current.heightPx == mGeometries[s].heightPx)
                return true;
            return newPage(s, true, section.firstPageNumber);
        }
        case Start::EvenPage:
        case Start::OddPage: {
            const int number = section.firstPageNumber.value_or(mPages.back().number + 1);
            // A page of the section before, left empty, puts the section on the side it asks for.
            if ((number % 2 != 0) != (section.start == Start::OddPage) &&
                !newPage(s - 1, false, std::nullopt))
                return false;
            return newPage(s, true, section.firstPageNumber);
        }
        case Start::NewColumn:
        case Start::NewPage:
            break;
        }
        return newPage(s, true, section.firstPageNumber);
    }

    bool layoutSection(std::size_t s, std::span<const doc::Block> blocks)
    {
        const PictureGeometry& geometry = mGeometries[s];
        mContext.pageHeight = geometry.columnHeight;
        SliceQueue queue(blocks, geometry.columnWidth, mContext);
        std::size_t chainEnd = 0; // slices up to here were weighed as one keep-with-next chain
        while (const Slice* next = queue.peek(0)) {
            if (next->breakBefore && mStarted && !newPage(s, false, std::nullopt))
                return false;
            if (queue.atParagraph() && !wrapParagraph(queue, s))
                return false;
            next = queue.peek(0);
            if (queue.taken() >= chainEnd) {
                // Slices kept with the next go to the next page together when they fit on a page, as in
                // Word; a chain longer than a page breaks where it must.
                const FlowPage& page = mPages.back();
                const double room = page.bottom - page.top;
                double chain = 0;
                std::size_t k = 0;
                for (const Slice* at = next;;) {
                    const Slice* after = at->keepWithNext ? queue.peek(k + 1) : nullptr;
                    if (!after || after->breakBefore) {
                        chain += at->extent();
                        break;
                    }
                    chain += at->height;
                    at = after;
                    ++k;
                }
                chainEnd = queue.taken() + k + 1;
                if (k > 0 && mStarted && mY + chain > page.bottom + kFitEpsilon &&
                    chain <= room + kFitEpsilon && !newPage(s, false, std::nullopt))
                    return false;
            }
            if (!place(queue.take(), s))
                return false;
        }
        return true;
    }

    // Places a paragraph's shapes where its first line goes and, where shapes stand beside it, lays it out
    // again with the lines that meet a shape in the room beside it, on the side with more room.
    bool wrapParagraph(SliceQueue& queue, std::size_t s)
    {
        const Slice& first = *queue.peek(0);
        if (!fit(first.extent(), s))
            return false;
        anchor(first.content);
        const PictureGeometry& geometry = mGeometries[s];
        const double top = mY;
        const double bottom = mY + queue.blockHeight();
        const double width = geometry.columnWidth;
        // Where a shape, with its distance, leaves text room from start to end across the column.
        struct Beside {
            double top = 0;
            double bottom = 0;
            double start = 0;
            double end = 0;
        };
        std::vector<Beside> beside;
        for (Band& band : mBands) {
            if (!band.beside)
                continue;
            const double left = band.rect.left() - geometry.columnLeft;
            const double right = band.rect.right() - geometry.columnLeft;
            if (right <= 0 || left >= width)
                continue;
            const bool textLeft = left >= width - right;
            const double room = textLeft ? left : width - right;
            // Where too little room is left beside a shape, the text goes below it instead.
            if (room < kMinWrapWidth && band.rect.bottom() > top + kFitEpsilon &&
                band.rect.top() < bottom - kFitEpsilon) {
                band.beside = false;
                continue;
            }
            beside.push_back(
                {band.rect.top(), band.rect.bottom(), textLeft ? 0 : right, textLeft ? left : width});
        }
        if (beside.empty())
            return true;
        if (!first.content.lines.empty())
            mWrapped.insert(first.content.lines.front().paragraph);
        const auto meets = [](const Beside& shape, double lineTop, double lineBottom) {
            return shape.bottom > lineTop + kFitEpsilon && shape.top < lineBottom - kFitEpsilon;
        };
        if (std::none_of(beside.begin(), beside.end(),
                         [&](const Beside& shape) { return meets(shape, top, bottom); }))
            return true;
        queue.wrap([beside = std::move(beside), meets, top, width](double lineTop,
                                                                   double height) -> std::optional<LineRoom> {
            LineRoom room{0, width};
            bool narrowed = false;
            for (const Beside& shape : beside) {
                // A line's top within the shape narrows it even before its height is known.
                if (!meets(shape, top + lineTop, top + lineTop + std::max(height, 2 * kFitEpsilon)))
                    continue;
                room.left = std::max(room.left, shape.start);
                room.right = std::min(room.right, shape.end);
                narrowed = true;
            }
            return narrowed ? std::optional(room) : std::nullopt;
        });
        return true;
    }

    // Starts a new page unless what reaches extent below the current position fits on this one.
    bool fit(double extent, std::size_t s)
    {
        // A page's first slice always goes on it, as in Word; any later one must fit above the bottom margin.
        return !mStarted || mY + extent <= mPages.back().bottom + kFitEpsilon ||
               newPage(s, false, std::nullopt);
    }

    // Places the shapes anchored in content, which is to go at the current position. Shapes go on the page
    // of their anchor, after it in reading order.
    void anchor(const Placed& content)
    {
        if (mShapes.lines.empty() && mShapes.images.empty() && mShapes.fills.empty())
            mShapesPage = mPages.size() - 1;
        anchorShapes(mShapes, content, mY - mSpaceAbove, mGeometries[mPages.back().section], true);
    }

    bool place(Slice slice, std::size_t s)
    {
        const double extent = slice.extent();
        if (!fit(extent, s))
            return false;
        const double left = mGeometries[s].columnLeft;
        if (!mStarted && slice.repeatedHeader)
            for (const Slice& header : *slice.repeatedHeader)
                put(Slice(header), left);
        anchor(slice.content);
        // Text goes below the shapes it may not stand beside.
        for (bool moved = true; moved;) {
            moved = false;
            for (const Band& band : mBands)
                if (!band.beside && mY < band.rect.bottom() - kFitEpsilon &&
                    mY + extent > band.rect.top() + kFitEpsilon) {
                    mY = band.rect.bottom();
                    moved = true;
                }
        }
        if (!fit(extent, s))
            return false;
        put(std::move(slice), left);
        mPages[mShapesPage].body.append(std::move(mShapes), 0, 0);
        return true;
    }

    void put(Slice&& slice, double left)
    {
        mSpaceAbove = slice.height - slice.extent();
        mPages.back().body.append(std::move(slice.content), left, mY);
        mY += slice.height;
        mStarted = true;
    }

    bool newPage(std::size_t s, bool sectionFirst, std::optional<int> restart)
    {
        if (mPages.size() >= mMaxPages) {
            mLayout.truncated = true;
            return false;
        }
        FlowPage page;
        page.section = s;
        page.number = restart.value_or(mPages.empty() ? 1 : mPages.back().number + 1);
        page.sectionFirst = sectionFirst;
        const PictureGeometry& geometry = mGeometries[s];
        const doc::SectionLayout& layout = mModel.sections[s].page;
        page.top = geometry.columnTop;
        page.bottom = geometry.columnTop + geometry.columnHeight;
        // A header reaching below the top margin pushes the body down, a footer reaching above the bottom
        // margin pushes it up.
        if (const std::optional<std::size_t> header = story(page, false))
            page.top = std::max(page.top, edgeDistance(layout.headerDistance, geometry.heightPx) +
                                              storyHeight(*header, geometry.columnWidth));
        if (const std::optional<std::size_t> footer = story(page, true))
            page.bottom = std::min(page.bottom, geometry.heightPx -
                                                    edgeDistance(layout.footerDistance, geometry.heightPx) -
                                                    storyHeight(*footer, geometry.columnWidth));
        page.bottom = std::max(page.bottom, page.top + 1);
        mY = page.top;
        mPages.push_back(std::move(page));
        mStarted = false;
        mSpaceAbove = 0;
        mBands.clear();
        return true;
    }

    // The header or footer story a page shows.
    std::optional<std::size_t> story(const FlowPage& page, bool footer) const
    {
        using S = doc::Section;
        const S& section = mModel.sections[page.section];
        S::HeaderKind kind = footer ? S::OddFooter : S::OddHeader;
        if (section.titlePage && page.sectionFirst)
            kind = footer ? S::FirstFooter : S::FirstHeader;
        else if (mModel.facingPages && page.number % 2 == 0)
            kind = footer ? S::EvenFooter : S::EvenHeader;
        const std::optional<std::size_t> index = section.headers[kind];
        return index && *index < mModel.headers.size() ? index : std::nullopt;
    }

    // A story's height before the pages are counted, its fields showing their stored results.
    double storyHeight(std::size_t story, double width)
    {
        const auto key = std::pair(story, width);
        const auto found = mStoryHeights.find(key);
        if (found != mStoryHeights.end())
            return found->second;
        return mStoryHeights.emplace(key, stackedHeight(layoutBlocks(mModel.headers[story], width, mContext)))
            .first->second;
    }

    // Stacks slices from top down, with the shapes anchored in them unless they are a text box's story
    // (a text box holds no shapes: one anchored in its own story would hold itself).
    void stack(Placed& out, std::vector<Slice>&& slices, double left, double top,
               const PictureGeometry& geometry, bool withShapes)
    {
        for (Slice& slice : slices) {
            Placed shapes;
            if (withShapes)
                anchorShapes(shapes, slice.content, top, geometry, false);
            out.append(std::move(slice.content), left, top);
            out.append(std::move(shapes), 0, 0);
            top += slice.height;
        }
    }

    // Places the floating shapes anchored in content, which is to go at y. In the body each shape goes on
    // the page of its anchor's first line; a header's go on every page that shows it.
    void anchorShapes(Placed& out, const Placed& content, double y, const PictureGeometry& geometry,
                      bool body)
    {
        for (const PageLine& line : content.lines) {
            if (line.paragraph < 0 || static_cast<std::size_t>(line.paragraph) >= mModel.paragraphs.size())
                continue;
            for (const doc::ObjectAt& anchor :
                 mModel.paragraphs[static_cast<std::size_t>(line.paragraph)].shapes) {
                if (anchor.index >= mModel.shapes.size() || (body && mAnchored[anchor.index]))
                    continue;
                if (body)
                    mAnchored[anchor.index] = true;
                placeShape(out, mModel.shapes[anchor.index], y + line.top, geometry, body);
            }
        }
    }

    void placeShape(Placed& out, const doc::Shape& shape, double paragraphTop,
                    const PictureGeometry& geometry, bool body)
    {
        using H = doc::Shape::HorizontalFrom;
        using V = doc::Shape::VerticalFrom;
        const double x = shape.horizontalFrom == H::Page ? 0 : geometry.columnLeft;
        const double y = shape.verticalFrom == V::Page     ? 0
                         : shape.verticalFrom == V::Margin ? geometry.columnTop
                                                           : paragraphTop;
        const QRectF rect = QRectF(QPointF(x + twipsToPixels(shape.left), y + twipsToPixels(shape.top)),
                                   QPointF(x + twipsToPixels(shape.right), y + twipsToPixels(shape.bottom)))
                                .normalized();
        if (shape.fill != doc::kAutoColor)
            out.fills.push_back({0, rect, colorOf(shape.fill, QColor())});
        if (shape.picture) {
            PageImage image;
            image.rect = rect;
            if (*shape.picture < mModel.pictures.size()) {
                const doc::Picture& picture = mModel.pictures[*shape.picture];
                image.image = mPictures.image(*shape.picture);
                image.name = pictureName(picture.format);
            } else {
                image.name = pictureName(doc::Picture::Format::Unknown);
            }
            out.images.push_back(std::move(image));
        }
        drawFrame(out, shape.outline, rect);
        if (shape.textBox && *shape.textBox < mModel.textBoxes.size()) {
            const doc::Sides& margins = shape.textMargins;
            const double width = std::max(1.0, rect.width() - sidePx(margins.left) - sidePx(margins.right));
            stack(out, layoutBlocks(mModel.textBoxes[*shape.textBox], width, mContext),
                  rect.left() + sidePx(margins.left), rect.top() + sidePx(margins.top), geometry, false);
        }
        const doc::Sides& distance = shape.wrapDistance;
        if (body && shape.wrap != doc::Shape::Wrap::None && !shape.behindText)
            mBands.push_back({rect.adjusted(-sidePx(distance.left), -sidePx(distance.top),
                                            sidePx(distance.right), sidePx(distance.bottom)),
                              shape.wrap != doc::Shape::Wrap::TopAndBottom});
    }

    PageLayout finish()
    {
        std::vector<int> sectionPages(mModel.sections.size(), 0);
        for (const FlowPage& page : mPages)
            ++sectionPages[page.section];
        const QDate today = QDate::currentDate();
        const int pageCount = static_cast<int>(mPages.size());
        const std::map<int, std::size_t> numbered = numberedParagraphs();
        std::map<int, std::size_t> numberedSeen;
        bool sameEverywhere = true;
        for (std::size_t p = 0; p < mPages.size(); ++p) {
            FlowPage& page = mPages[p];
            const PictureGeometry& geometry = mGeometries[page.section];
            sameEverywhere = sameEverywhere && sameGeometry(geometry, mGeometries.front());
            const doc::SectionLayout& layout = mModel.sections[page.section].page;
            mContext.fields = FieldValues{page.number, pageCount, sectionPages[page.section], today};
            mContext.pageHeight = geometry.columnHeight;
            if (!numbered.empty())
                numberLines(page, numbered, numberedSeen);
            Placed header;
            Placed footer;
            if (const std::optional<std::size_t> story = this->story(page, false))
                stack(header, layoutBlocks(mModel.headers[*story], geometry.columnWidth, mContext),
                      geometry.columnLeft, edgeDistance(layout.headerDistance, geometry.heightPx), geometry,
                      true);
            if (const std::optional<std::size_t> story = this->story(page, true)) {
                std::vector<Slice> slices =
                    layoutBlocks(mModel.headers[*story], geometry.columnWidth, mContext);
                const double top = geometry.heightPx -
                                   edgeDistance(layout.footerDistance, geometry.heightPx) -
                                   stackedHeight(slices);
                stack(footer, std::move(slices), geometry.columnLeft, top, geometry, true);
            }
            for (Placed* part : {&header, &page.body, &footer})
                takeItems(std::move(*part), static_cast<int>(p));
        }
        mContext.fields.reset();
        mLayout.geometry = mGeometries.front();
        if (!sameEverywhere)
            for (const FlowPage& page : mPages) {
                mLayout.pageGeometries.push_back(mGeometries[page.section]);
                mLayout.pageSections.push_back(page.section);
            }
        mLayout.pageCount = std::max(1, pageCount);
        mLayout.styles = mStyles.takeStyles();
        return std::move(mLayout);
    }

    // The body's paragraphs with page number fields, by how many lines each has over all pages; one laid out
    // beside a shape is left out.
    std::map<int, std::size_t> numberedParagraphs() const
    {
        std::map<int, std::size_t> lines;
        for (const doc::Block& block : mModel.body)
            if (block.kind == doc::Block::Kind::Paragraph && block.index < mModel.paragraphs.size() &&
                !mWrapped.contains(static_cast<int>(block.index)) &&
                showsPageNumbers(mModel.paragraphs[block.index]))
                lines.emplace(static_cast<int>(block.index), 0);
        if (!lines.empty())
            for (const FlowPage& page : mPages)
                for (const PageLine& line : page.body.lines)
                    if (const auto found = lines.find(line.paragraph); found != lines.end())
                        ++found->second;
        return lines;
    }

    // The body was laid out before its pages were counted, its page number fields showing their stored
    // results: their lines take the numbers of their page (mContext.fields) now. Where those make the
    // paragraph break into other lines, it keeps the stored results.
    void numberLines(FlowPage& page, const std::map<int, std::size_t>& numbered,
                     std::map<int, std::size_t>& seen)
    {
        const PictureGeometry& geometry = mGeometries[page.section];
        std::map<int, std::vector<PageLine>> again; // by paragraph, with this page's numbers
        for (PageLine& line : page.body.lines) {
            const auto found = numbered.find(line.paragraph);
            if (found == numbered.end())
                continue;
            const std::size_t k = seen[line.paragraph]++;
            auto laid = again.find(line.paragraph);
            if (laid == again.end()) {
                std::vector<PageLine> lines;
                for (Slice& slice : layoutParagraph(static_cast<std::size_t>(line.paragraph),
                                                    geometry.columnWidth, mContext))
                    std::move(slice.content.lines.begin(), slice.content.lines.end(),
                              std::back_inserter(lines));
                laid = again.emplace(line.paragraph, std::move(lines)).first;
            }
            if (laid->second.size() != found->second)
                continue;
            PageLine& shown = laid->second[k];
            const QPointF shift(geometry.columnLeft, line.top - shown.top);
            for (TextFragment& fragment : shown.fragments)
                fragment.baseline += shift;
            for (QRectF& stroke : shown.underlines)
                stroke.translate(shift);
            line.text = std::move(shown.text);
            line.left = shown.left + shift.x();
            line.right = shown.right + shift.x();
            line.fragments = std::move(shown.fragments);
            line.underlines = std::move(shown.underlines);
        }
    }

    void takeItems(Placed&& placed, int page)
    {
        for (PageLine& line : placed.lines) {
            line.page = page;
            mLayout.lines.push_back(std::move(line));
        }
        for (PageFill& fill : placed.fills) {
            fill.page = page;
            mLayout.fills.push_back(fill);
        }
        for (PageImage& image : placed.images) {
            image.page = page;
            mLayout.images.push_back(std::move(image));
        }
    }
};

// Lays out at most maxPages pages.
PageLayout layoutPages(const doc::ReadModel& model, int maxPages)
{
    return Paginator(model, maxPages).run();
}

// The items of one page, from a list kept page by page.
template <typename Item> std::span<const Item> onPage(const std::vector<Item>& items, int page)
{
    const auto begin = std::partition_point(items.begin(), items.end(),
                                            [page](const Item& item) { return item.page < page; });
    const auto end =
        std::partition_point(begin, items.end(), [page](const Item& item) { return item.page == page; });
    return {begin, end};
}

std::span<const PageLine> linesOn(const PageLayout& layout, int page)
{
    return onPage(layout.lines, page);
}

// Whether items read back from data come page by page, on pages the layout has.
template <typename Item> bool pageByPage(const std::vector<Item>& items, int pageCount)
{
    return std::is_sorted(items.begin(), items.end(),
                          [](const Item& a, const Item& b) { return a.page < b.page; }) &&
           std::all_of(items.begin(), items.end(),
                       [pageCount](const Item& item) { return item.page >= 0 && item.page < pageCount; });
}

} // namespace

PageLayout layoutPage(const doc::ReadModel& model)
{
    return layoutPages(model, 1);
}

PageLayout layoutDocument(const doc::ReadModel& model)
{
    return layoutPages(model, std::numeric_limits<int>::max());
}

PictureFit fitPicture(const PageLayout& layout, const PreviewFrame& frame)
{
    if (layout.pageGeometries.empty())
        return fitPicture(layout.geometry.widthPx, layout.geometry.heightPx, layout.pageCount, frame);
    std::vector<QSizeF> pages;
    for (int page = 0; page < layout.pageCount; ++page)
        pages.emplace_back(layout.size(page));
    return fitPicture(pages, frame);
}

double TextStyle::advance(const QString& text) const
{
    // Word sets glyphs on a grid of 1/8640 inch, a sixth of a twip, each advance rounded to it, and a line
    // holds what fits by those advances (as LibreOffice lays out Word documents). Measured at a size whose
    // pixel is one step of that grid, an advance is exact to far less than a step. Such a measure costs more
    // than laying out a line, so each glyph is measured once a thread; the measures are kept by what sets a
    // font's advances, not by the font, whose engine must not outlive the application.
    using FontKey = std::tuple<QString, int, int, bool, int, int, bool>;
    constexpr int kGridPerPixel = 90;        // steps per 96-dpi pixel
    constexpr int kMaxMeasuredPixels = 8192; // font engines measure no larger
    constexpr std::size_t kMaxFonts = 256;
    constexpr std::size_t kMaxGlyphs = std::size_t{1} << 16;
    static thread_local std::map<FontKey, std::unordered_map<char32_t, double>> grids;
    const FontKey key{font.family(),        font.pixelSize(),         font.weight(), font.italic(),
                      font.styleStrategy(), font.hintingPreference(), font.kerning()};
    if (grids.size() >= kMaxFonts && !grids.contains(key))
        grids.clear();
    std::unordered_map<char32_t, double>& measured = grids[key];
    if (measured.size() >= kMaxGlyphs)
        measured.clear();
    const int stepsPerEm = std::max(1, font.pixelSize() * kGridPerPixel / kFontScale);
    double steps = 0;
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype length = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const char32_t c =
            length == 2 ? QChar::surrogateToUcs4(text.at(i), text.at(i + 1)) : text.at(i).unicode();
        auto found = measured.find(c);
        if (found == measured.end()) {
            QFont grid = font;
            grid.setPixelSize(std::min(stepsPerEm, kMaxMeasuredPixels));
            const double scale = double(stepsPerEm) / grid.pixelSize();
            found = measured
                        .emplace(
                            c, std::round(QFontMetricsF(grid).horizontalAdvance(text.mid(i, length)) * scale))
                        .first;
        }
        steps += found->second;
        i += length;
    }
    return steps / kGridPerPixel;
}

QString pageText(const PageLayout& layout, int page)
{
    const std::span<const PageLine> lines = linesOn(layout, page);
    QString text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        text += lines[i].text;
        if (i + 1 < lines.size() && !lines[i].lineBreak && lines[i + 1].paragraph == lines[i].paragraph)
            continue;
        // A wrapped line's last space joins it to the next; at the end of a line of text it is nothing.
        while (text.endsWith(u' '))
            text.chop(1);
        text += u'\n';
    }
    return text;
}

namespace
{

// The name in the frame of a picture the page cannot draw, 9 pt, centred and wrapped to the frame.
constexpr double kPictureNamePoints = 9;

// The name as outlines: it shows, but is no text of the document where a PDF's text is read back, searched
// or copied.
QPainterPath pictureNameOutline(const QString& name, const QRectF& frame)
{
    const QString family = QString::fromLatin1(kSansFamily);
    registerPageFace(family, false, false);
    QFont font(family);
    font.setPixelSize(static_cast<int>(std::lround(pointsToPixels(kPictureNamePoints))));
    font.setHintingPreference(QFont::PreferNoHinting);
    QTextLayout text(name, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WordWrap);
    text.setTextOption(option);
    double height = 0;
    text.beginLayout();
    for (QTextLine line = text.createLine(); line.isValid(); line = text.createLine()) {
        line.setLineWidth(frame.width());
        line.setPosition(QPointF(0, height));
        height += line.height();
    }
    text.endLayout();
    QPainterPath outline;
    const double top = frame.top() + (frame.height() - height) / 2;
    for (int i = 0; i < text.lineCount(); ++i) {
        const QTextLine line = text.lineAt(i);
        const double left = frame.left() + (frame.width() - line.naturalTextWidth()) / 2;
        outline.addText(QPointF(left, top + line.y() + line.ascent()), font,
                        name.mid(line.textStart(), line.textLength()).trimmed());
    }
    return outline;
}

} // namespace

void paintPage(QPainter& painter, const PageLayout& layout, int page)
{
    painter.fillRect(QRectF(QPointF(0, 0), QSizeF(layout.size(page))), Qt::white);
    paintText(painter, layout, page);
}

void paintText(QPainter& painter, const PageLayout& layout, int page)
{
    const std::span<const PageLine> lines = linesOn(layout, page);
    painter.save();
    for (const PageFill& fill : onPage(layout.fills, page))
        painter.fillRect(fill.rect, fill.color);
    for (const PageImage& image : onPage(layout.images, page)) {
        if (!image.image.isNull()) {
            painter.drawImage(image.rect, image.image);
            continue;
        }
        painter.setPen(QPen(Qt::black, 0));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(image.rect);
        painter.save();
        painter.setClipRect(image.rect);
        painter.fillPath(pictureNameOutline(image.name, image.rect), Qt::black);
        painter.restore();
    }
    for (const PageLine& line : lines)
        for (const QRectF& stroke : line.underlines)
            painter.fillRect(stroke, Qt::black);
    painter.scale(1.0 / kFontScale, 1.0 / kFontScale);
    for (const PageLine& line : lines) {
        for (const TextFragment& fragment : line.fragments) {
            const TextStyle& style = layout.styles[static_cast<std::size_t>(fragment.style)];
            painter.setFont(style.font);
            painter.setPen(style.color);
            painter.drawText(fragment.baseline * kFontScale, fragment.text);
        }
    }
    painter.restore();
}

void writePaintedLayout(QDataStream& out, const PageLayout& layout)
{
    out << layout.geometry.widthPx << layout.geometry.heightPx << static_cast<quint32>(layout.pageCount)
        << static_cast<quint32>(layout.styles.size());
    for (const TextStyle& style : layout.styles)
        out << style.font << style.underline << style.color;
    out << static_cast<quint32>(layout.lines.size());
    for (const PageLine& line : layout.lines) {
        out << static_cast<quint32>(line.page) << static_cast<quint32>(line.fragments.size());
        for (const TextFragment& fragment : line.fragments)
            out << fragment.text << fragment.baseline << static_cast<quint32>(fragment.style);
        out << static_cast<quint32>(line.underlines.size());
        for (const QRectF& stroke : line.underlines)
            out << stroke;
    }
    out << static_cast<quint32>(layout.pageGeometries.size());
    for (const PictureGeometry& page : layout.pageGeometries)
        out << page.widthPx << page.heightPx;
    out << static_cast<quint32>(layout.fills.size());
    for (const PageFill& fill : layout.fills)
        out << static_cast<quint32>(fill.page) << fill.rect << fill.color;
    // A letterhead's logo stands on every page: each picture is written once, and the pages refer to it.
    std::vector<const QImage*> pictures;
    std::vector<quint32> pictureOf;
    for (const PageImage& image : layout.images) {
        const auto same = [&image](const QImage* p) { return p->cacheKey() == image.image.cacheKey(); };
        const auto at = std::find_if(pictures.begin(), pictures.end(), same);
        pictureOf.push_back(static_cast<quint32>(at - pictures.begin()));
        if (at == pictures.end())
            pictures.push_back(&image.image);
    }
    out << static_cast<quint32>(pictures.size());
    for (const QImage* picture : pictures)
        out << *picture;
    out << static_cast<quint32>(layout.images.size());
    for (std::size_t i = 0; i < layout.images.size(); ++i)
        out << static_cast<quint32>(layout.images[i].page) << layout.images[i].rect << pictureOf[i]
            << layout.images[i].name;
}

std::optional<PageLayout> readPaintedLayout(QDataStream& in)
{
    // Counts are checked as they are read and nothing is reserved ahead: damaged data fails the stream
    // at its end, not an allocation.
    auto count = [&in](quint32 limit) -> std::optional<quint32> {
        quint32 n = 0;
        in >> n;
        return in.status() == QDataStream::Ok && n <= limit ? std::optional(n) : std::nullopt;
    };
    PageLayout layout;
    in >> layout.geometry.widthPx >> layout.geometry.heightPx;
    const std::optional<quint32> pages = count(kMaxDataPages);
    const std::optional<quint32> styles = pages ? count(kMaxPaintedItems) : std::nullopt;
    if (!styles || *pages == 0 || layout.size().isEmpty())
        return std::nullopt;
    layout.pageCount = static_cast<int>(*pages);
    for (quint32 i = 0; i < *styles && in.status() == QDataStream::Ok; ++i) {
        TextStyle style;
        in >> style.font >> style.underline >> style.color;
        layout.styles.push_back(std::move(style));
    }
    const std::optional<quint32> lines = count(kMaxPaintedItems);
    for (quint32 i = 0; lines && i < *lines; ++i) {
        PageLine line;
        const std::optional<quint32> page = count(*pages - 1);
        const std::optional<quint32> fragments = page ? count(kMaxPaintedItems) : std::nullopt;
        // Lines come page by page, as paintText() finds them.
        if (!fragments || (!layout.lines.empty() && static_cast<int>(*page) < layout.lines.back().page))
            return std::nullopt;
        line.page = static_cast<int>(*page);
        for (quint32 f = 0; f < *fragments; ++f) {
            TextFragment fragment;
            in >> fragment.text >> fragment.baseline;
            const std::optional<quint32> style = count(*styles);
            if (!style || *style == *styles)
                return std::nullopt;
            fragment.style = static_cast<int>(*style);
            line.fragments.push_back(std::move(fragment));
        }
        const std::optional<quint32> underlines = count(kMaxPaintedItems);
        for (quint32 u = 0; underlines && u < *underlines && in.status() == QDataStream::Ok; ++u) {
            QRectF stroke;
            in >> stroke;
            line.underlines.push_back(stroke);
        }
        if (!underlines || in.status() != QDataStream::Ok)
            return std::nullopt;
        layout.lines.push_back(std::move(line));
    }
    if (!lines || in.status() != QDataStream::Ok)
        return std::nullopt;
    // Painting needs a page's size alone; its column is the layout's business.
    const std::optional<quint32> geometries = count(*pages);
    for (quint32 i = 0; geometries && i < *geometries && in.status() == QDataStream::Ok; ++i) {
        PictureGeometry page;
        in >> page.widthPx >> page.heightPx;
        layout.pageGeometries.push_back(page);
    }
    if (!geometries ||
        std::any_of(layout.pageGeometries.begin(), layout.pageGeometries.end(),
                    [](const PictureGeometry& g) { return g.widthPx <= 0 || g.heightPx <= 0; }))
        return std::nullopt;
    const std::optional<quint32> fills = count(kMaxPaintedItems);
    for (quint32 i = 0; fills && i < *fills && in.status() == QDataStream::Ok; ++i) {
        PageFill fill;
        quint32 page = 0;
        in >> page >> fill.rect >> fill.color;
        fill.page = static_cast<int>(std::min<quint32>(page, kMaxDataPages));
        layout.fills.push_back(fill);
    }
    const std::optional<quint32> pictures = fills ? count(kMaxPaintedItems) : std::nullopt;
    std::vector<QImage> pictureSet;
    for (quint32 i = 0; pictures && i < *pictures && in.status() == QDataStream::Ok; ++i) {
        QImage picture;
        in >> picture;
        pictureSet.push_back(std::move(picture));
    }
    const std::optional<quint32> images = pictures ? count(kMaxPaintedItems) : std::nullopt;
    for (quint32 i = 0; images && i < *images && in.status() == QDataStream::Ok; ++i) {
        PageImage image;
        quint32 page = 0;
        in >> page >> image.rect;
        const std::optional<quint32> picture = count(*pictures);
        if (!picture || *picture == *pictures)
            return std::nullopt;
        in >> image.name;
        image.image = pictureSet[*picture];
        image.page = static_cast<int>(std::min<quint32>(page, kMaxDataPages));
        layout.images.push_back(std::move(image));
    }
    if (!images || in.status() != QDataStream::Ok || !pageByPage(layout.fills, layout.pageCount) ||
        !pageByPage(layout.images, layout.pageCount))
        return std::nullopt;
    return layout;
}

} // namespace render
