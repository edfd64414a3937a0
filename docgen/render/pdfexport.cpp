#include "render/pdfexport.h"
#include "doc/fileio.h"
#include "render/pagelayout.h"
#include "render/pdftounicode.h"

#include <QBuffer>
#include <QPageLayout>
#include <QPageRanges>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>

#include <algorithm>
#include <cstdint>
#include <span>
#include <stdexcept>

namespace render
{

namespace
{

constexpr double kTwipsPerPoint = kTwipsPerInch / kPointsPerInch;

QPageLayout pageLayoutFor(const PaperGeometry& paper)
{
    // A wide page is a standard size turned, not a size of its own.
    const bool landscape = paper.width > paper.height;
    QSizeF size(paper.width, paper.height);
    if (landscape)
        size.transpose();
    QPageLayout layout(QPageSize(size / kTwipsPerPoint, QPageSize::Point),
                       landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
                       QMarginsF(paper.left, paper.top, paper.right, paper.bottom) / kTwipsPerPoint,
                       QPageLayout::Point);
    // The text goes where the document's margins put it, whatever a printer's printable area.
    layout.setMode(QPageLayout::FullPageMode);
    return layout;
}

// Each page's paper, by the section it belongs to.
std::vector<PaperGeometry> papers(const doc::ReadModel& model, const PageLayout& layout)
{
    std::vector<PaperGeometry> result;
    for (int page = 0; page < layout.pageCount; ++page) {
        const std::size_t section = layout.pageSection(page);
        result.push_back(
            paperGeometry(section < model.sections.size() ? model.sections[section].page : model.section()));
    }
    return result;
}

// Paints the pages given (numbered from 1) in their order, each on its own paper.
void paintLayout(QPagedPaintDevice& device, const PageLayout& layout, const std::vector<PaperGeometry>& paper,
                 const std::vector<int>& pages)
{
    if (pages.empty())
        return;
    const auto paperOf = [&](int page) -> const PaperGeometry& {
        return paper[static_cast<std::size_t>(page - 1)];
    };
    if (!device.setPageLayout(pageLayoutFor(paperOf(pages.front()))))
        throw std::runtime_error("The printer does not take the document's page size.");
    QPainter painter;
    if (!painter.begin(&device))
        throw std::runtime_error("The printer cannot be started.");
    const double scaleX = device.logicalDpiX() / double(kPixelsPerInch);
    const double scaleY = device.logicalDpiY() / double(kPixelsPerInch);
    for (std::size_t i = 0; i < pages.size(); ++i) {
        const PaperGeometry& sheet = paperOf(pages[i]);
        if (i > 0 && !device.setPageLayout(pageLayoutFor(sheet)))
            throw std::runtime_error("The printer does not take the document's page size.");
        if (i > 0 && !device.newPage())
            throw std::runtime_error("The printer cannot start a new page.");
        const PictureGeometry& geometry = layout.pageGeometry(pages[i] - 1);
        painter.save();
        painter.scale(scaleX, scaleY);
        painter.translate(twipsToPixels(sheet.left) - geometry.columnLeft,
                          twipsToPixels(sheet.top) - geometry.columnTop);
        paintText(painter, layout, pages[i] - 1);
        painter.restore();
    }
    painter.end();
}

std::vector<int> everyPage(const PageLayout& layout)
{
    return printedPages(layout.pageCount, {}, false, 1, true);
}

// What paintText draws on the pages given, in the order it draws it.
std::vector<DrawnRun> drawnRuns(const PageLayout& layout, const std::vector<int>& pages)
{
    std::vector<DrawnRun> runs;
    for (const int page : pages)
        for (const PageLine& line : layout.lines)
            if (line.page == page - 1)
                for (const TextFragment& fragment : line.fragments)
                    runs.push_back(
                        {fragment.text, layout.styles[static_cast<std::size_t>(fragment.style)].font});
    return runs;
}

QByteArray pdfBytes(const PageLayout& layout, const std::vector<PaperGeometry>& paper, const QString& title,
                    const std::vector<int>& pages)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setTitle(title);
    paintLayout(writer, layout, paper, pages);
    return rewriteToUnicode(bytes, drawnRuns(layout, pages));
}

void writePdf(const QByteArray& bytes, const std::filesystem::path& target)
{
    doc::fileio::replaceFile(target,
                             std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                       static_cast<std::size_t>(bytes.size())),
                             doc::fileio::Access::UsersFile);
}

QString pageCountText(int pages)
{
    return pages == 1 ? QStringLiteral("1 page") : QStringLiteral("%1 pages").arg(pages);
}

} // namespace

void paintDocument(QPagedPaintDevice& device, const doc::ReadModel& model)
{
    const PageLayout layout = layoutDocument(model);
    paintLayout(device, layout, papers(model, layout), everyPage(layout));
}

QByteArray pdfBytes(const doc::ReadModel& model, const QString& title, QString* undrawn)
{
    const PageLayout layout = layoutDocument(model);
    if (undrawn)
        *undrawn = layout.undrawn;
    return pdfBytes(layout, papers(model, layout), title, everyPage(layout));
}

QString exportPdf(const doc::ReadModel& model, const std::filesystem::path& target, const QString& title)
{
    const PageLayout layout = layoutDocument(model);
    writePdf(pdfBytes(layout, papers(model, layout), title, everyPage(layout)), target);
    return layout.undrawn;
}

std::vector<int> printedPages(int pageCount, const QPageRanges& ranges, bool lastFirst, int copies,
                              bool collate)
{
    std::vector<int> chosen;
    for (int page = 1; page <= pageCount; ++page)
        if (ranges.isEmpty() || ranges.contains(page))
            chosen.push_back(page);
    if (lastFirst)
        std::reverse(chosen.begin(), chosen.end());
    const auto times = static_cast<std::size_t>(std::max(copies, 1));
    std::vector<int> printed;
    if (collate) {
        for (std::size_t copy = 0; copy < times; ++copy)
            printed.insert(printed.end(), chosen.begin(), chosen.end());
    } else {
        for (const int page : chosen)
            printed.insert(printed.end(), times, page);
    }
    return printed;
}

QString printDocument(const doc::ReadModel& model, QPrinter& printer)
{
    const PageLayout layout = layoutDocument(model);
    // Where the printer makes the copies itself, painting them too would multiply them.
    const std::vector<int> pages = printedPages(
        layout.pageCount, printer.printRange() == QPrinter::PageRange ? printer.pageRanges() : QPageRanges(),
        printer.pageOrder() == QPrinter::LastPageFirst,
        printer.supportsMultipleCopies() ? 1 : printer.copyCount(), printer.collateCopies());
    if (pages.empty())
        throw std::runtime_error(QStringLiteral("None of the chosen pages is in the agreement, which has %1.")
                                     .arg(pageCountText(layout.pageCount))
                                     .toStdString());
    const std::vector<PaperGeometry> paper = papers(model, layout);
    if (printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty()) {
        writePdf(pdfBytes(layout, paper, printer.docName(), pages),
                 std::filesystem::path(printer.outputFileName().toStdU16String()));
        return layout.undrawn;
    }
    paintLayout(printer, layout, paper, pages);
    // A spooler that refuses the job says so only once the painting has ended.
    if (printer.printerState() == QPrinter::Error)
        throw std::runtime_error("The printer reported an error.");
    return layout.undrawn;
}

} // namespace render
