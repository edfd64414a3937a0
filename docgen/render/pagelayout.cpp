#include "render/pagelayout.h"
#include "render/textshaping.h"

#include <QDataStream>
#include <QFontMetricsF>
#include <QPainter>
#include <QPen>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <span>

namespace render
{

namespace
{

// Far more than any agreement; a count past it in painted-layout data is damage.
constexpr quint32 kMaxPaintedItems = 1u << 24;

// Lays out at most maxPages pages.
PageLayout layoutPages(const doc::ReadModel& model, int maxPages)
{
    PageLayout layout;
    layout.geometry = pictureGeometry(model.section());
    const PictureGeometry& geometry = layout.geometry;
    StyleTable styles;

    int page = 0;
    double y = 0;             // from the top of the text column
    bool pageStarted = false; // the page holds a line
    auto nextPage = [&] {
        if (page + 1 >= maxPages) {
            layout.truncated = true;
            return false;
        }
        ++page;
        y = 0;
        pageStarted = false;
        return true;
    };

    bool full = false;
    for (std::size_t p = 0; p < model.paragraphs.size() && !full; ++p) {
        const doc::Paragraph& paragraph = model.paragraphs[p];
        const ParagraphText shaped = shapeParagraph(paragraph, styles, layout.undrawn);
        const int markStyle = styles.styleFor(paragraph.markFormat);
        const TabRuler ruler = TabRuler::fromParagraph(paragraph, model.section().defaultTabWidth);
        LineFrame paragraphFrame;
        paragraphFrame.lineStart = indentPx(paragraph.leftIndent);
        paragraphFrame.firstLineStart = paragraphFrame.lineStart + indentPx(paragraph.firstLineIndent);
        paragraphFrame.lineEnd =
            std::max(geometry.columnWidth - indentPx(paragraph.rightIndent),
                     std::max(paragraphFrame.lineStart, paragraphFrame.firstLineStart) + 1);

        y += spacePx(paragraph.spaceBefore);
        for (std::size_t piece = 0; piece < shaped.pieces.size() && !full; ++piece) {
            if (piece > 0 && !nextPage()) {
                full = true;
                break;
            }
            const std::vector<Glyph>& glyphs = shaped.pieces[piece];
            // The paragraph mark makes a line of its own after the last break; a break alone makes none.
            if (glyphs.empty() && piece + 1 < shaped.pieces.size())
                continue;
            std::vector<LineItem> items;
            items.reserve(glyphs.size());
            for (const Glyph& glyph : glyphs)
                items.push_back(glyph.item);
            LineFrame frame = paragraphFrame;
            if (piece > 0)
                frame.firstLineStart = frame.lineStart;

            std::vector<BrokenLine> lines = breakLines(items, frame, ruler);
            for (std::size_t l = 0; l < lines.size(); ++l) {
                BrokenLine& line = lines[l];
                alignLine(line, items, paragraph.alignment, frame.lineEnd, l + 1 == lines.size());

                const VerticalMetrics metrics = lineMetrics(glyphs, line, markStyle, styles);
                const double height = lineHeight(metrics.above + metrics.descent, paragraph.lineSpacing,
                                                 paragraph.lineSpacingMultiple);
                // A page's first line always goes on it, as in Word; any later one must fit above the bottom
                // margin.
                if (pageStarted && y + height > geometry.columnHeight + kFitEpsilon && !nextPage()) {
                    full = true;
                    break;
                }

                PageLine out;
                out.page = page;
                out.paragraph = static_cast<int>(p);
                out.top = geometry.columnTop + y;
                out.height = height;
                out.baseline = out.top + baselineInLine(metrics.above, metrics.descent, height,
                                                        paragraph.lineSpacing, paragraph.lineSpacingMultiple);
                out.left = geometry.columnLeft + (line.placements.empty()
                                                      ? (l == 0 ? frame.firstLineStart : frame.lineStart)
                                                      : line.placements.front().x);
                out.right = geometry.columnLeft + line.contentRight;
                std::vector<PageFill> fills;
                addFragments(out, fills, glyphs, line, geometry.columnLeft, styles);
                for (PageFill& fill : fills) {
                    fill.page = page;
                    layout.fills.push_back(fill);
                }
                layout.lines.push_back(std::move(out));
                pageStarted = true;
                y += height;
            }
        }
        y += spacePx(paragraph.spaceAfter);
    }
    layout.pageCount = page + 1;
    layout.styles = styles.takeStyles();
    return layout;
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
    return QFontMetricsF(font).horizontalAdvance(text) / kFontScale;
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
        painter.drawText(image.rect, Qt::AlignCenter | Qt::TextWordWrap, image.name);
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
    out << static_cast<quint32>(layout.images.size());
    for (const PageImage& image : layout.images)
        out << static_cast<quint32>(image.page) << image.rect << image.image << image.name;
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
    const std::optional<quint32> images = fills ? count(kMaxPaintedItems) : std::nullopt;
    for (quint32 i = 0; images && i < *images && in.status() == QDataStream::Ok; ++i) {
        PageImage image;
        quint32 page = 0;
        in >> page >> image.rect >> image.image >> image.name;
        image.page = static_cast<int>(std::min<quint32>(page, kMaxDataPages));
        layout.images.push_back(std::move(image));
    }
    if (!images || in.status() != QDataStream::Ok || !pageByPage(layout.fills, layout.pageCount) ||
        !pageByPage(layout.images, layout.pageCount))
        return std::nullopt;
    return layout;
}

} // namespace render
