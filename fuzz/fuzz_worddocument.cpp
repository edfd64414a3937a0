// Opens arbitrary bytes as a Word document.
#include "exercise.h"

#include <algorithm>
#include <cstdint>
#include <span>

namespace
{

bool sameName(const std::u16string& a, const std::u16string& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char16_t x, char16_t y) {
        return (x >= u'a' && x <= u'z' ? x - 0x20 : x) == (y >= u'a' && y <= u'z' ? y - 0x20 : y);
    });
}

// Whatever the summary stream holds, setting a property puts it there and keeps the others.
void exerciseProperties(doc::WordDocument& document)
{
    const doc::WordDocument::Property set{u"Fuzz", u"Zo\u00eb \u5f20"};
    const auto before = document.properties();
    document.setProperties({set});
    const auto after = doc::WordDocument::parse(document.serialize()).properties();
    if (std::find(after.begin(), after.end(), set) == after.end())
        std::abort();
    for (const auto& property : before) {
        if (!sameName(property.name, set.name) &&
            std::find(after.begin(), after.end(), property) == after.end())
            std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    try {
        doc::WordDocument document = doc::WordDocument::parse(std::span(data, size));
        (void)document.mainText();
        exerciseProperties(document);
        exerciseDocument(document);
    } catch (const doc::Error&) {
        // Refusing bad input with a described error is the expected outcome.
    }
    return 0;
}
