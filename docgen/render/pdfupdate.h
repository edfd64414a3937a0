#pragma once

#include <QByteArray>

#include <map>
#include <optional>

// An incremental update of a PDF as Qt's PDF engine writes it: objects written again after its end, taking
// the place of those of the same number, with a cross-reference section of their own. Every byte before
// stays as it was, and the file stays one a PDF/A reader takes.
namespace render::pdfupdate
{

// The PDF's objects (number -> offset) and trailer, from its one cross-reference table.
struct CrossReference {
    std::map<int, qsizetype> objects;
    QByteArray trailer; // the trailer's dictionary
    qsizetype offset = 0;
    int info = 0; // the document information dictionary's object; 0 for none
};

// Nothing for a PDF that is not one table and one trailer, as one already updated is not.
std::optional<CrossReference> readCrossReference(const QByteArray& pdf);

// pdf with objects (number -> the object between "obj" and "endobj") written after its end.
QByteArray withObjects(const QByteArray& pdf, const CrossReference& xref,
                       const std::map<int, QByteArray>& objects);

// A stream object of data, unfiltered.
QByteArray streamObject(const QByteArray& data);

} // namespace render::pdfupdate
