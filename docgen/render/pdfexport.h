#pragma once

#include "doc/readmodel.h"

#include <QByteArray>
#include <QString>

#include <filesystem>

class QPagedPaintDevice;
class QPrinter;

// The main text on paper: every page it needs, at the document's own page size and margins, painted at the
// device's resolution as text and vectors, with the same line breaks as the page picture.
namespace render
{

// Sets the device's page layout from the section (page size and margins) and paints every page on it.
// Throws std::runtime_error when the device cannot be painted on.
void paintDocument(QPagedPaintDevice& device, const doc::ReadModel& model);

// The main text as a PDF document titled title, its fonts embedded, its text read back (searched, copied,
// extracted) as the characters drawn.
QByteArray pdfBytes(const doc::ReadModel& model, const QString& title = {});

// Writes pdfBytes(model, title) beside target and renames it into place: a failed export leaves the earlier
// file as it was and no partial one. Throws doc::Error naming the file and the system's reason.
void exportPdf(const doc::ReadModel& model, const std::filesystem::path& target, const QString& title = {});

// Prints the main text on printer, as paintDocument does.
void printDocument(const doc::ReadModel& model, QPrinter& printer);

} // namespace render
