// Scans arbitrary UTF-16 text for tags and checks what the scan promises.
#include "doc/tags.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::u16string text(size / 2, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i)
        text[i] = char16_t(data[2 * i] | (data[2 * i + 1] << 8));
    const doc::tags::Scan scan = doc::tags::scan(text, 7);

    std::uint64_t after = 7; // where the tag before ends
    for (const auto& tag : scan.tags) {
        const std::size_t at = tag.cp - 7;
        // In order, apart, inside the text, and named within bounds.
        if (tag.cp < after || at + std::uint64_t(tag.length) > text.size() || tag.length < 2)
            std::abort();
        if (tag.name.empty() || tag.name.size() > doc::tags::kMaxNameLength)
            std::abort();
        const char16_t first = text[at];
        const char16_t last = text[at + tag.length - 1];
        if (tag.mergeField ? first != 0x13 || last != 0x15 : first != u'{' || last != u'}')
            std::abort();
        after = std::uint64_t(tag.cp) + tag.length;
    }
    std::uint32_t previous = 0;
    for (const auto& fault : scan.faults) {
        if (fault.cp < previous || fault.cp - 7 >= text.size())
            std::abort();
        previous = fault.cp;
    }
    return 0;
}
