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

// Whatever the summary stream holds, setting a property puts it there, removes the other text
// properties of its owner's prefix and keeps the rest.
void exerciseProperties(doc::WordDocument& document)
{
    const doc::WordDocument::Property set{u"Fuzz", u"Zo\u00eb \u5f20"};
    const std::u16string owned = u"F";
    const auto isOwned = [&owned](const doc::WordDocument::Property& p) {
        return sameName(p.name.substr(0, owned.size()), owned);
    };
    const auto before = document.properties();
    document.setProperties({set}, owned);
    const auto after = doc::WordDocument::parse(document.serialize()).properties();
    if (std::find(after.begin(), after.end(), set) == after.end())
        std::abort();
    if (std::any_of(after.begin(), after.end(), [&](const auto& p) { return isOwned(p) && !(p == set); }))
        std::abort();
    for (const auto& property : before) {
        if (!isOwned(property) && std::find(after.begin(), after.end(), property) == after.end())
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
