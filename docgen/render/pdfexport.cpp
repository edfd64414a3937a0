#include "render/pdfexport.h"
#include "doc/fileio.h"
#include "render/pagelayout.h"
#include "render/pdfobjects.h"
#include "render/pdftounicode.h"

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

// One document's pages to paint, numbered from 1, in their order.
struct Printed {
    const PageLayout* layout;
    std::vector<PaperGeometry> paper;
    std::vector<int> pages;
};

// Paints the documents' pages one after the other, each on its own paper.
void paintLayout(QPagedPaintDevice& device, std::span<const Printed> documents)
{
    struct Sheet {
        const PageLayout* layout;
        const PaperGeometry* paper;
        int page;
    };
    std::vector<Sheet> sheets;
    for (const Printed& printed : documents)
        for (const int page : printed.pages)
            sheets.push_back({printed.layout, &printed.paper[static_cast<std::size_t>(page - 1)], page});
    if (sheets.empty())
        return;
    if (!device.setPageLayout(pageLayoutFor(*sheets.front().paper)))
        throw std::runtime_error("The printer does not take the document's page size.");
    QPainter painter;
    if (!painter.begin(&device))
        throw std::runtime_error("The printer cannot be started.");
    const double scaleX = device.logicalDpiX() / double(kPixelsPerInch);
    const double scaleY = device.logicalDpiY() / double(kPixelsPerInch);
    for (std::size_t i = 0; i < sheets.size(); ++i) {
        const PaperGeometry& sheet = *sheets[i].paper;
        if (i > 0 && !device.setPageLayout(pageLayoutFor(sheet)))
            throw std::runtime_error("The printer does not take the document's page size.");
        if (i > 0 && !device.newPage())
            throw std::runtime_error("The printer cannot start a new page.");
        const PictureGeometry& geometry = sheets[i].layout->pageGeometry(sheets[i].page - 1);
        painter.save();
        painter.scale(scaleX, scaleY);
        painter.translate(twipsToPixels(sheet.left) - geometry.columnLeft,
                          twipsToPixels(sheet.top) - geometry.columnTop);
        paintText(painter, *sheets[i].layout, sheets[i].page - 1);
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

// The documents' PDFs, painted in one run of Qt's PDF engine, which subsets and embeds each font once for
// all of them, and cut apart: each file holds its own pages, with the glyphs all of them use.
std::vector<QByteArray> pdfFiles(std::span<const Printed> documents, std::span<const PdfMetadata> metadata)
{
    // Both metadata of a file say the same moment.
    const QDateTime made = QDateTime::currentDateTimeUtc();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setPdfVersion(QPagedPaintDevice::PdfVersion_A1b);
        paintLayout(writer, documents);
    }
    const std::optional<pdfobjects::CrossReference> xref = pdfobjects::readCrossReference(bytes);
    if (!xref)
        throw std::runtime_error("The PDF engine wrote a document that could not be taken apart.");
    std::vector<DrawnRun> runs;
    std::vector<pdfobjects::Part> parts;
    for (std::size_t i = 0; i < documents.size(); ++i) {
        const std::vector<DrawnRun> drawn = drawnRuns(*documents[i].layout, documents[i].pages);
        runs.insert(runs.end(), drawn.begin(), drawn.end());
        parts.push_back({static_cast<int>(documents[i].pages.size()), infoDictionary(metadata[i], made),
                         xmpPacket(metadata[i], made)});
    }
    const ToUnicodeMaps maps = toUnicodeMaps(bytes, *xref, runs);
    if (maps.shaped && documents.size() > 1) {
        // Shaped text keeps the engine's reading of the fonts it uses, which would then read other
        // documents' text otherwise than when written alone; each is written alone instead.
        std::vector<QByteArray> files;
        for (std::size_t i = 0; i < documents.size(); ++i)
            files.push_back(pdfFiles(documents.subspan(i, 1), metadata.subspan(i, 1)).front());
        return files;
    }
    return pdfobjects::split(bytes, *xref, maps.objects, parts);
}

QByteArray pdfBytes(const PageLayout& layout, const std::vector<PaperGeometry>& paper,
                    const PdfMetadata& metadata, const std::vector<int>& pages)
{
    const Printed printed{&layout, paper, pages};
    return pdfFiles(std::span(&printed, 1), std::span(&metadata, 1)).front();
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
    const Printed printed{&layout, papers(model, layout), everyPage(layout)};
    paintLayout(device, std::span(&printed, 1));
}

QByteArray pdfBytes(const doc::ReadModel& model, const PdfMetadata& metadata, QString* undrawn)
{
    const PageLayout layout = layoutDocument(model);
    if (undrawn)
        *undrawn = layout.undrawn;
    return pdfBytes(layout, papers(model, layout), metadata, everyPage(layout));
}

std::vector<WrittenPdf> pdfBytes(std::span<const PdfDocument> documents)
{
    std::vector<PageLayout> layouts;
    layouts.reserve(documents.size());
    std::vector<Printed> printed;
    std::vector<PdfMetadata> metadata;
    for (const PdfDocument& document : documents) {
        const PageLayout& layout = layouts.emplace_back(layoutDocument(*document.model));
        printed.push_back({&layout, papers(*document.model, layout), everyPage(layout)});
        metadata.push_back(document.metadata);
    }
    std::vector<QByteArray> files = pdfFiles(printed, metadata);
    std::vector<WrittenPdf> written;
    for (std::size_t i = 0; i < files.size(); ++i)
        written.push_back({std::move(files[i]), layouts[i].undrawn});
    return written;
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
    const Printed printed{&layout, paper, pages};
    paintLayout(printer, std::span(&printed, 1));
    // A spooler that refuses the job says so only once the painting has ended.
    if (printer.printerState() == QPrinter::Error)
        throw std::runtime_error("The printer reported an error.");
    return layout.undrawn;
}

} // namespace render
