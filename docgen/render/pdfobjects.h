#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <map>
#include <optional>
#include <span>
#include <vector>

// A PDF as Qt's PDF engine writes it, taken apart into its numbered objects, and new files made of some of
// its pages and what they use. One engine run paints many documents, each font subset and embedded once for
// them all; each document's file is then cut out of it.
namespace render::pdfobjects
{

// The PDF's objects (number -> offset) and trailer, from its one cross-reference table.
struct CrossReference {
    std::map<int, qsizetype> objects;
    QByteArray trailer; // the trailer's dictionary
};

// Nothing for a PDF that is not one table and one trailer, as one already updated is not.
std::optional<CrossReference> readCrossReference(const QByteArray& pdf);

// An object's text in two: its head, which may refer to other objects (a dictionary, an array, a value),
// and its stream, if any, from "stream" past "endstream", holding data.
struct Object {
    QByteArrayView head;
    QByteArrayView stream;
    QByteArrayView data;
};

// A PDF's objects as the engine writes them, each taken apart, replaced (number -> the object between "obj"
// and "endobj") taking the place of those of the same number. The views are into pdf and replaced, which
// must outlive them. Throws std::runtime_error for a PDF not as the engine writes it.
class Objects
{
public:
    Objects(const QByteArray& pdf, const CrossReference& xref,
            const std::map<int, QByteArray>& replaced = {});

    // Throws std::runtime_error for an object the PDF does not have.
    const Object& operator[](int number) const;
    const std::map<int, Object>& all() const { return mObjects; }

private:
    std::map<int, Object> mObjects;
};

// A stream object of data, unfiltered; dictionary is what its dictionary holds besides the length.
QByteArray streamObject(const QByteArray& data, const QByteArray& dictionary = {});

// One file cut out of a PDF: its pages, following the last file's, and its document information dictionary
// and XMP metadata packet.
struct Part {
    int pages = 0;
    QByteArray info;
    QByteArray xmp;
};

// A file for each part, in order, of pdf's pages in the order of its page tree: each with its pages, the
// objects they use, the catalog's other entries and what those use, its own information and metadata, and
// a file identifier of its own. replaced (number -> the object between "obj" and "endobj") takes the place of
// pdf's objects. Throws std::runtime_error when pdf is not as the engine writes it or has fewer pages.
std::vector<QByteArray> split(const QByteArray& pdf, const CrossReference& xref,
                              const std::map<int, QByteArray>& replaced, std::span<const Part> parts);

} // namespace render::pdfobjects
