// Opens arbitrary bytes as a Word document.
#include "exercise.h"

#include <cstdint>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    try {
        doc::WordDocument document = doc::WordDocument::parse(std::span(data, size));
        (void)document.mainText();
        exerciseDocument(document);
    } catch (const doc::Error&) {
        // Refusing bad input with a described error is the expected outcome.
    }
    return 0;
}
