#pragma once

#include "doc/readmodel.h"

#include <QByteArray>
#include <QString>

#include <filesystem>
#include <span>
#include <vector>

class QPageRanges;
class QPagedPaintDevice;
class QPrinter;

// The main text on paper: every page it needs, at the document's own page size and margins, painted at the
// device's resolution as text and vectors, with the same line breaks as the page picture.
namespace render
{

// Sets the device's page layout from the section (page size and margins) and paints every page on it.
// Throws std::runtime_error when the device cannot be painted on.
void paintDocument(QPagedPaintDevice& device, const doc::ReadModel& model);

// What a PDF says of its document, in its document information and, alike, in its XMP metadata; an empty
// entry is left out.
struct PdfMetadata {
    QString title;
    QString author;
    QString subject;
};

// The main text as a PDF/A-1b document carrying metadata, its fonts embedded, its text read back (searched,
// copied, extracted) as the characters drawn. undrawn, when given, receives the characters no installed
// font draws.
QByteArray pdfBytes(const doc::ReadModel& model, const PdfMetadata& metadata = {},
                    QString* undrawn = nullptr);

// One of the documents written together.
struct PdfDocument {
    const doc::ReadModel* model;
    PdfMetadata metadata;
};

// A document's PDF, as pdfBytes makes it, and the characters no installed font draws in it.
struct WrittenPdf {
    QByteArray bytes;
    QString undrawn;
};

// Each document's PDF, as pdfBytes makes it, at a fraction of the cost of one at a time: Qt's engine
// subsets and embeds each font once for them all, so each file carries the glyphs all of them use, and
// nothing else of the others.
std::vector<WrittenPdf> pdfBytes(std::span<const PdfDocument> documents);

// Writes pdfBytes(model, metadata) beside target and renames it into place: a failed export leaves the
// earlier file as it was and no partial one. Throws doc::Error naming the file and the system's reason.
// Returns the characters no installed font draws (PageLayout::undrawn), which the PDF shows as boxes.
QString exportPdf(const doc::ReadModel& model, const std::filesystem::path& target,
                  const PdfMetadata& metadata = {});

// The pages a print job paints, numbered from 1, in the order painted: those of ranges (every page when
// ranges is empty) that the document has, the last first when asked; copies times over, each copy of the
// whole document in turn when collated, else each page's copies together.
std::vector<int> printedPages(int pageCount, const QPageRanges& ranges, bool lastFirst, int copies,
                              bool collate);

// Prints the main text on printer, as paintDocument does, on the pages the print dialog chose, with its
// copies where the printer does not make them itself. A printer that writes a PDF file gets what exportPdf
// writes with metadata, text layer and all. Returns the characters no installed font draws, as exportPdf
// does; throws std::runtime_error (doc::Error when writing a file fails) when nothing could be printed.
QString printDocument(const doc::ReadModel& model, QPrinter& printer, const PdfMetadata& metadata = {});

} // namespace render
