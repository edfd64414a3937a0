#include "render/pdfexport.h"
#include "doc/fileio.h"
#include "render/pagelayout.h"
#include "render/pdftounicode.h"

#include <QBuffer>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>

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

void paintLayout(QPagedPaintDevice& device, const PageLayout& layout, const PaperGeometry& paper)
{
    if (!device.setPageLayout(pageLayoutFor(paper)))
        throw std::runtime_error("The printer does not take the document's page size.");
    QPainter painter;
    if (!painter.begin(&device))
        throw std::runtime_error("The printer cannot be started.");
    const double scaleX = device.logicalDpiX() / double(kPixelsPerInch);
    const double scaleY = device.logicalDpiY() / double(kPixelsPerInch);
    for (int page = 0; page < layout.pageCount; ++page) {
        if (page > 0 && !device.newPage())
            throw std::runtime_error("The printer cannot start a new page.");
        painter.save();
        painter.scale(scaleX, scaleY);
        painter.translate(twipsToPixels(paper.left) - layout.geometry.columnLeft,
                          twipsToPixels(paper.top) - layout.geometry.columnTop);
        paintText(painter, layout, page);
        painter.restore();
    }
    painter.end();
}

// What paintText draws, in the order it draws it.
std::vector<DrawnRun> drawnRuns(const PageLayout& layout)
{
    std::vector<DrawnRun> runs;
    for (const PageLine& line : layout.lines)
        for (const TextFragment& fragment : line.fragments)
            runs.push_back({fragment.text, layout.styles[static_cast<std::size_t>(fragment.style)].font});
    return runs;
}

} // namespace

void paintDocument(QPagedPaintDevice& device, const doc::ReadModel& model)
{
    paintLayout(device, layoutDocument(model), paperGeometry(model.section));
}

QByteArray pdfBytes(const doc::ReadModel& model, const QString& title)
{
    const PageLayout layout = layoutDocument(model);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setTitle(title);
    paintLayout(writer, layout, paperGeometry(model.section));
    return rewriteToUnicode(bytes, drawnRuns(layout));
}

void exportPdf(const doc::ReadModel& model, const std::filesystem::path& target, const QString& title)
{
    const QByteArray bytes = pdfBytes(model, title);
    doc::fileio::replaceFile(target,
                             std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                       static_cast<std::size_t>(bytes.size())),
                             doc::fileio::Access::UsersFile);
}

void printDocument(const doc::ReadModel& model, QPrinter& printer)
{
    paintDocument(printer, model);
    // A spooler that refuses the job says so only once the painting has ended.
    if (printer.printerState() == QPrinter::Error)
        throw std::runtime_error("The printer reported an error.");
}

} // namespace render
