// Opens arbitrary bytes as a Word document and exercises everything a reader of the
// program's files does: text, read model, one insertion, a save and a reload.
#include "error.h"
#include "worddocument.h"

#include <cstdint>
#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    try {
        doc::WordDocument document = doc::WordDocument::parse(std::span(data, size));
        (void)document.mainText();
        (void)document.readModel();
        if (document.mainTextLength() > 0) {
            document.insertText(document.mainTextLength() / 2, u"Zo\u00eb \u5f20 \u20ac\r\nx");
            const std::vector<std::uint8_t> saved = document.serialize();
            const doc::WordDocument again = doc::WordDocument::parse(saved);
            if (again.mainText() != document.mainText())
                std::abort(); // what we write must read back as what we hold
        }
    } catch (const doc::Error&) {
        // Refusing bad input with a described error is the expected outcome.
    }
    return 0;
}
