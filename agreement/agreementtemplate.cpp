#include "agreement/agreementtemplate.h"

#include "doc/error.h"

#include <QFile>

namespace agreement::Template
{

namespace
{

constexpr std::u16string_view kRule =
    u"______________________________________________________________________________"
    u"_______________";
constexpr std::u16string_view kSignatures = u"Owner \t\t\t\t\t\t\t\tContractor ";

constexpr std::int32_t kLetterWidth = 12240;
constexpr std::int32_t kLetterHeight = 15840;

} // namespace

const std::array<Paragraph, 35> kParagraphs{{
    {0, u"\x08"
        u"Contractor Agreement"},
    {22, kRule},
    {116, u""},
    {117, u""},
    {118, u"THIS AGREEMENT made theday of,, by and between, Hereafter called the Contractor and, hereinafter "
          u"called the Owner"},
    {232, u""},
    {233, u"WITNESSETH that the Contractor and the Owner for the considerations named agree as follows:"},
    {325, u""},
    {326, u"Scope of Work"},
    {340, u""},
    {341, u"      The Contractor shall furnish all materials and perform all of the work on the property at"},
    {437, u""},
    {438, u""},
    {439, u"Work Performed"},
    {454, u""},
    {455, u" "},
    {457, u""},
    {458, u""},
    {459, u""},
    {460, u"Contract Price"},
    {475, u"The Owner shall pay the contractor for material and labor to be performed under the sum of "},
    {567, u""},
    {568, u"Progress Payments"},
    {586, u"Payments of Contract Price shall be made as follows "},
    {639, u""},
    {640, u""},
    {641, u""},
    {642, u""},
    {643, u""},
    {644, u"Signed thisday of"},
    {662, u""},
    {663, kSignatures},
    {689, u" "},
    {691, u""},
    {692, u""},
}};

std::u16string mainText()
{
    std::u16string text;
    text.reserve(kMainTextLength);
    for (const Paragraph& p : kParagraphs) {
        text += p.text;
        text += u'\r';
    }
    return text;
}

// The resource cannot change while the program runs: it is read, decompressed and parsed
// once, on first use.
QByteArray bytes()
{
    static const QByteArray kept = [] {
        QFile resource{QLatin1String(kResource)};
        if (!resource.open(QIODevice::ReadOnly))
            throw doc::Error(doc::Error::Kind::Io,
                             "The template resource is missing: " + resource.errorString().toStdString());
        return resource.readAll();
    }();
    return kept;
}

const doc::WordDocument& document()
{
    static const doc::WordDocument kept = [] {
        const QByteArray data = bytes();
        return doc::WordDocument::parse(std::span(reinterpret_cast<const std::uint8_t*>(data.constData()),
                                                  static_cast<std::size_t>(data.size())));
    }();
    return kept;
}

bool fits(const doc::WordDocument& document)
{
    const std::u16string text = document.mainText();
    const std::u16string expected = mainText();
    const std::size_t fixed = kSlots.back().base;
    return text.size() >= fixed && text.compare(0, fixed, expected, 0, fixed) == 0;
}

QStringList check(const doc::WordDocument& document)
{
    QStringList problems;
    const std::u16string text = document.mainText();
    if (text.size() != kMainTextLength)
        problems << QStringLiteral("the main text is %1 characters long, not %2")
                        .arg(text.size())
                        .arg(kMainTextLength);
    for (std::size_t i = 0; i < kParagraphs.size(); ++i) {
        const Paragraph& p = kParagraphs[i];
        const std::u16string_view found =
            std::u16string_view(text).substr(std::min<std::size_t>(p.start, text.size()), p.text.size() + 1);
        if (found.substr(0, p.text.size()) != p.text || found.size() <= p.text.size() ||
            found[p.text.size()] != u'\r')
            problems << QStringLiteral("paragraph %1 at %2 is not \"%3\"")
                            .arg(i + 1)
                            .arg(p.start)
                            .arg(QStringView(p.text));
    }
    for (std::size_t k = 0; k < kSlots.size(); ++k) {
        const Slot& slot = kSlots[k];
        const std::u16string_view before =
            std::u16string_view(text).substr(0, std::min<std::size_t>(slot.base, text.size()));
        if (!before.ends_with(slot.after))
            problems << QStringLiteral("insertion %1 at %2 does not follow \"%3\"")
                            .arg(k + 1)
                            .arg(slot.base)
                            .arg(QStringView(slot.after));
    }
    const doc::SectionLayout page = document.readModel().section;
    if (page.pageWidth != kLetterWidth || page.pageHeight != kLetterHeight)
        problems << QStringLiteral("the page is %1 x %2 twips, not Letter")
                        .arg(page.pageWidth)
                        .arg(page.pageHeight);
    return problems;
}

} // namespace agreement::Template
