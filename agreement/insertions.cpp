#include "agreement/insertions.h"

#include "agreement/agreementtemplate.h"
#include "agreement/ordinal.h"

namespace agreement
{

namespace
{

std::u16string_view utf16(const QString& text)
{
    return {reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())};
}

QString textFor(Template::Text text, const Particulars& p, QDate signingDate, const QLocale& locale)
{
    if (text.part == Template::Part::Whole)
        return particular(*text.field).typing == Typing::AfterSpace ? QLatin1Char(' ') + p[*text.field]
                                                                    : p[*text.field];
    const QDate date = text.field ? p.agreementDate : signingDate;
    return text.part == Template::Part::Day ? dayText(date) : monthText(date, locale);
}

} // namespace

QString dayText(QDate date)
{
    return QLatin1Char(' ') + fnDay(QString::number(date.day())) + QLatin1Char(' ');
}

QString monthText(QDate date, const QLocale& locale)
{
    return QLatin1Char(' ') + locale.standaloneMonthName(date.month(), QLocale::LongFormat) +
           QStringLiteral(", ") + QString::number(date.year());
}

Insertions insertions(const Particulars& particulars, QDate signingDate, const QLocale& locale)
{
    Insertions out;
    std::uint32_t typedBefore = 0;
    for (std::size_t k = 0; k < out.size(); ++k) {
        const Template::Slot& slot = Template::insertionSlots()[k];
        Insertion& insertion = out[k];
        insertion.base = slot.base;
        insertion.position = slot.base + typedBefore;
        insertion.text = textFor(slot.text, particulars, signingDate, locale);
        insertion.typedLength =
            static_cast<std::uint32_t>(doc::normalizeTypedText(utf16(insertion.text)).size());
        typedBefore += insertion.typedLength;
    }
    return out;
}

doc::WordDocument fill(doc::WordDocument document, const Insertions& insertions, const TypingStep& step)
{
    for (std::size_t k = 0; k < insertions.size(); ++k) {
        const Insertion& insertion = insertions[k];
        const auto type = [&] { document.insertText(insertion.position, utf16(insertion.text)); };
        if (step)
            step(k, insertion, type);
        else
            type();
    }
    return document;
}

AgreementDocument fillAtAnchors(AgreementDocument document, const Insertions& insertions)
{
    const std::array<std::uint32_t, Template::kSlotCount> bases = Template::basesIn(document.mainText());
    std::uint32_t typedBefore = 0;
    for (std::size_t k = 0; k < insertions.size(); ++k) {
        const std::uint32_t at = bases[k] + typedBefore;
        typedBefore += document.replaceText(at, 0, utf16(insertions[k].text), at - 1);
    }
    return document;
}

} // namespace agreement
