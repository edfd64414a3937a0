#include "render/pdfexport.h"
#include "doc/fileio.h"
#include "render/pagelayout.h"
#include "render/pdftounicode.h"
#include "render/pdfupdate.h"

#include <QBuffer>
#include <QDateTime>
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

// A PDF text string: UTF-16 behind its byte order mark, in hexadecimal, which needs no escapes.
QByteArray pdfText(const QString& text)
{
    QByteArray hex = "<FEFF";
    for (const QChar unit : text)
        hex += QByteArray::number(unit.unicode(), 16).rightJustified(4, '0').toUpper();
    return hex + '>';
}

// The document information dictionary, which PDF/A wants to say what the XMP metadata says.
QByteArray infoDictionary(const PdfMetadata& metadata, const QDateTime& made)
{
    QByteArray info = "<<\n";
    const auto entry = [&info](const char* key, const QString& text) {
        if (!text.isEmpty())
            info += QByteArray("/") + key + ' ' + pdfText(text) + '\n';
    };
    entry("Title", metadata.title);
    entry("Author", metadata.author);
    entry("Subject", metadata.subject);
    return info + "/CreationDate (D:" + made.toString(QStringLiteral("yyyyMMddHHmmss")).toLatin1() + "Z)\n>>";
}

// The XMP metadata packet: the Dublin Core title, creator and description, the dates, and the PDF/A part and
// conformance level the document keeps to.
QByteArray xmpPacket(const PdfMetadata& metadata, const QDateTime& made)
{
    const auto li = [](const QString& text, bool language) {
        return (language ? QStringLiteral("<rdf:li xml:lang=\"x-default\">") : QStringLiteral("<rdf:li>")) +
               text.toHtmlEscaped() + QStringLiteral("</rdf:li>");
    };
    QString dc;
    if (!metadata.title.isEmpty())
        dc += QStringLiteral("<dc:title><rdf:Alt>%1</rdf:Alt></dc:title>\n").arg(li(metadata.title, true));
    if (!metadata.author.isEmpty())
        dc += QStringLiteral("<dc:creator><rdf:Seq>%1</rdf:Seq></dc:creator>\n")
                  .arg(li(metadata.author, false));
    if (!metadata.subject.isEmpty())
        dc += QStringLiteral("<dc:description><rdf:Alt>%1</rdf:Alt></dc:description>\n")
                  .arg(li(metadata.subject, true));
    const QString date = made.toString(Qt::ISODate);
    return QStringLiteral("<?xpacket begin=\"\uFEFF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
                          "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\n"
                          "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n"
                          "<rdf:Description rdf:about=\"\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\">\n"
                          "%1</rdf:Description>\n"
                          "<rdf:Description rdf:about=\"\" xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\""
                          " xmp:CreateDate=\"%2\" xmp:ModifyDate=\"%2\"/>\n"
                          "<rdf:Description rdf:about=\"\" xmlns:pdfaid=\"http://www.aiim.org/pdfa/ns/id/\""
                          " pdfaid:part=\"1\" pdfaid:conformance=\"B\"/>\n"
                          "</rdf:RDF>\n"
                          "</x:xmpmeta>\n"
                          "<?xpacket end=\"w\"?>")
        .arg(dc, date)
        .toUtf8();
}

QByteArray pdfBytes(const PageLayout& layout, const std::vector<PaperGeometry>& paper,
                    const PdfMetadata& metadata, const std::vector<int>& pages)
{
    // Both metadata say the same moment.
    const QDateTime made = QDateTime::currentDateTimeUtc();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setPdfVersion(QPagedPaintDevice::PdfVersion_A1b);
    writer.setTitle(metadata.title);
    writer.setDocumentXmpMetadata(xmpPacket(metadata, made));
    paintLayout(writer, layout, paper, pages);
    const std::optional<pdfupdate::CrossReference> xref = pdfupdate::readCrossReference(bytes);
    if (!xref)
        return bytes;
    std::map<int, QByteArray> objects = toUnicodeMaps(bytes, *xref, drawnRuns(layout, pages));
    // The engine writes no author or subject of its own.
    if (xref->info != 0)
        objects[xref->info] = infoDictionary(metadata, made);
    return pdfupdate::withObjects(bytes, *xref, objects);
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

QByteArray pdfBytes(const doc::ReadModel& model, const PdfMetadata& metadata, QString* undrawn)
{
    const PageLayout layout = layoutDocument(model);
    if (undrawn)
        *undrawn = layout.undrawn;
    return pdfBytes(layout, papers(model, layout), metadata, everyPage(layout));
}

QString exportPdf(const doc::ReadModel& model, const std::filesystem::path& target,
                  const PdfMetadata& metadata)
{
    const PageLayout layout = layoutDocument(model);
    writePdf(pdfBytes(layout, papers(model, layout), metadata, everyPage(layout)), target);
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

QString printDocument(const doc::ReadModel& model, QPrinter& printer, const PdfMetadata& metadata)
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
        writePdf(pdfBytes(layout, paper, metadata, pages),
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
