// Opens arbitrary bytes as a .docx: the zip package and every XML part in it, then the document
// as the program reads and fills it.
#include "doc/error.h"
#include "docx/docxdocument.h"
#include "docx/package.h"
#include "docx/xml.h"

#include <cstdint>
#include <cstdlib>
#include <span>
#include <string_view>

namespace
{

// What we write holds whatever we read, packed perhaps more tightly than it came.
docx::PackageLimits rereading()
{
    docx::PackageLimits limits;
    limits.maxRatio = SIZE_MAX;
    return limits;
}

bool isXml(std::string_view name)
{
    return name.ends_with(".xml") || name.ends_with(".rels");
}

// What a package writes reads back as the same entries, and its XML parts parse or are refused.
void exercisePackage(const docx::Package& package)
{
    for (const auto& entry : package.entries()) {
        if (!isXml(entry.name))
            continue;
        try {
            (void)docx::xml::parse(entry.bytes);
        } catch (const doc::Error& e) {
            if (e.kind() != doc::Error::Kind::Corrupt)
                std::abort();
        }
    }
    try {
        const docx::Package again = docx::Package::read(package.write(), rereading());
        if (again.entries().size() != package.entries().size())
            std::abort();
        for (const auto& entry : package.entries()) {
            const docx::Entry* read = again.find(entry.name);
            if (!read || read->bytes != entry.bytes)
                std::abort();
        }
    } catch (const doc::Error&) {
        std::abort();
    }
}

// A replacement in the middle of every story, then what is written must open again as what is held.
void exerciseDocument(docx::DocxDocument& document)
{
    (void)document.readModel();
    const std::size_t storyCount = document.stories().size();
    for (std::size_t i = 0; i < storyCount; ++i) {
        const auto story = document.stories()[i];
        try {
            document.replaceText(story.start + story.length / 2, 2, u"Zo\u00eb \u5f20\r\nw");
        } catch (const doc::Error& e) {
            if (e.kind() != doc::Error::Kind::BadArgument)
                std::abort();
        }
    }
    try {
        const docx::DocxDocument again = docx::DocxDocument::parse(document.serialize(), rereading());
        if (again.text() != document.text())
            std::abort();
        (void)again.readModel();
    } catch (const doc::Error&) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span bytes(data, size);
    try {
        exercisePackage(docx::Package::read(bytes));
        docx::DocxDocument document = docx::DocxDocument::parse(bytes);
        (void)document.text();
        exerciseDocument(document);
    } catch (const doc::Error&) {
        // Refusing bad input with a described error is the expected outcome.
    }
    return 0;
}
