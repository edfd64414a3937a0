// Reads arbitrary UTF-16 text as a filled agreement's main text; what reads back must fill
// into the same text again.
#include "agreement/agreementtemplate.h"
#include "agreement/insertions.h"
#include "agreement/readback.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::u16string text(size / 2, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
    const QLocale locale(QLocale::English);
    try {
        const agreement::ReadBack back = agreement::readBack(text, locale);
        std::u16string again = agreement::Template::mainText();
        for (const agreement::Insertion& insertion :
             agreement::insertions(back.particulars, back.signingDate, locale))
            again.insert(insertion.position, doc::normalizeTypedText(insertion.text.toStdU16String()));
        if (again != text)
            std::abort();
    } catch (const agreement::NotAnAgreement&) {
        // Refusing what is no agreement, with its reason, is the expected outcome.
    }
    return 0;
}
