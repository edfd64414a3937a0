#include "agreement/readback.h"

#include "agreement/agreementdate.h"
#include "agreement/agreementtemplate.h"
#include "agreement/insertions.h"

#include <QHash>
#include <QRegularExpression>

#include <algorithm>
#include <map>
#include <vector>

namespace agreement
{

namespace
{

using Template::Part;
using Template::Text;
using Bindings = std::map<Text, std::u16string_view>;

// Planted copies of the template's own sentences can make a paragraph split in many ways;
// past this many tries the document is called ambiguous instead of searched on.
constexpr int kMaxTries = 10000;

// What a typed line break becomes in the document.
constexpr char16_t kLineBreak = 0x0B;

[[noreturn]] void refuse(const QString& reason)
{
    throw NotAnAgreement(
        QStringLiteral("%1: %2").arg(QLatin1String(ReadBackText::kNotOurs), reason).toStdString());
}

// A template paragraph cut at the bases that fall in it, with what each cut receives.
struct Pattern {
    std::vector<std::u16string_view> segments; // one more than texts
    std::vector<Text> texts;
};

Pattern pattern(std::size_t paragraph)
{
    const Template::Paragraph& p = Template::paragraphs()[paragraph];
    Pattern out;
    std::size_t from = 0;
    for (const Template::Slot& slot : Template::insertionSlots()) {
        if (slot.paragraph != paragraph)
            continue;
        const std::size_t at = slot.base - p.start;
        out.segments.push_back(p.text.substr(from, at - from));
        out.texts.push_back(slot.text);
        from = at;
    }
    out.segments.push_back(p.text.substr(from));
    return out;
}

// What typing could have put there: no control character but a tab and a line break, and
// names behind a space of their own.
bool fits(Text text, std::u16string_view value)
{
    const bool name = text.part == Part::Whole && particular(*text.field).typing == Typing::AfterSpace;
    const bool typeable = std::none_of(value.begin(), value.end(),
                                       [](char16_t c) { return c < 0x20 && c != u'\t' && c != kLineBreak; });
    return typeable && (!name || (!value.empty() && value.front() == u' '));
}

// Every way the paragraph splits into the pattern's segments and texts that agrees with
// what is already bound, each added to `found`.
void match(std::u16string_view paragraph, const Pattern& pattern, std::size_t index, std::size_t at,
           Bindings bindings, std::vector<Bindings>& found, int& tries)
{
    if (++tries > kMaxTries)
        refuse(QLatin1String(ReadBackText::kAmbiguous));
    const std::u16string_view segment = pattern.segments[index];
    if (paragraph.substr(at, segment.size()) != segment)
        return;
    at += segment.size();
    if (index == pattern.texts.size()) {
        if (at == paragraph.size())
            found.push_back(std::move(bindings));
        return;
    }
    const Text text = pattern.texts[index];
    const std::u16string_view next = pattern.segments[index + 1];
    const bool last = index + 1 == pattern.texts.size();
    for (std::size_t end = last ? paragraph.size() - std::min(paragraph.size(), next.size())
                                : paragraph.find(next, at);
         end != std::u16string_view::npos && end >= at;
         end = last ? std::u16string_view::npos : paragraph.find(next, end + 1)) {
        const std::u16string_view value = paragraph.substr(at, end - at);
        const auto bound = bindings.find(text);
        if (!fits(text, value) || (bound != bindings.end() && bound->second != value))
            continue;
        Bindings more = bindings;
        more[text] = value;
        match(paragraph, pattern, index + 1, end, std::move(more), found, tries);
    }
}

int monthNumber(const QString& name, const QLocale& locale)
{
    for (int month = 1; month <= 12; ++month) {
        if (locale.standaloneMonthName(month, QLocale::LongFormat) == name)
            return month;
    }
    return 0;
}

// The date whose day and month texts these are; none outside the range every way in keeps to,
// which an earlier version's command line let in.
QDate dateFrom(std::u16string_view day, std::u16string_view month, const QLocale& locale)
{
    static const QRegularExpression dayForm(QStringLiteral("^ ([0-9]{1,2})[a-z]{2} $"));
    static const QRegularExpression monthForm(QStringLiteral("^ (.+), ([0-9]{1,4})$"));
    const QRegularExpressionMatch d = dayForm.match(QStringView(day).toString());
    const QRegularExpressionMatch m = monthForm.match(QStringView(month).toString());
    if (!d.hasMatch() || !m.hasMatch())
        return {};
    const QString name = m.captured(1);
    const int year = m.captured(2).toInt();
    const auto tryLocale = [&](const QLocale& l) -> QDate {
        const int number = monthNumber(name, l);
        const QDate date(year, number, d.captured(1).toInt());
        if (number == 0 || !AgreementDate::inRange(date) || dayText(date) != QStringView(day) ||
            monthText(date, l) != QStringView(month))
            return {};
        return date;
    };
    if (const QDate date = tryLocale(locale); date.isValid())
        return date;
    for (const QLocale& other :
         QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory)) {
        if (const QDate date = tryLocale(other); date.isValid())
            return date;
    }
    return {};
}

// What was typed, line breaks as '\n'.
QString typed(std::u16string_view inserted)
{
    QString text = QStringView(inserted).toString();
    text.replace(QChar(kLineBreak), QLatin1Char('\n'));
    return text;
}

QString name(std::u16string_view inserted)
{
    return typed(inserted.substr(1));
}

} // namespace

ReadBack readBack(const std::u16string& mainText, const QLocale& locale)
{
    std::vector<std::u16string_view> paragraphs;
    std::size_t from = 0;
    for (std::size_t at = mainText.find(u'\r'); at != std::u16string::npos; at = mainText.find(u'\r', from)) {
        paragraphs.push_back(std::u16string_view(mainText).substr(from, at - from));
        from = at + 1;
    }
    if (paragraphs.size() != Template::paragraphs().size() || from != mainText.size())
        refuse(QString::fromLatin1(ReadBackText::kParagraphCount)
                   .arg(paragraphs.size())
                   .arg(Template::paragraphs().size()));

    // Typed text holds no paragraph marks, so each paragraph is matched on its own; the
    // names typed twice must agree between the paragraphs that hold them.
    std::vector<Bindings> readings{Bindings{}};
    int tries = 0;
    for (std::size_t i = 0; i < paragraphs.size(); ++i) {
        const Pattern p = pattern(i);
        std::vector<Bindings> next;
        for (const Bindings& reading : readings)
            match(paragraphs[i], p, 0, 0, reading, next, tries);
        if (next.empty())
            refuse(QString::fromLatin1(ReadBackText::kParagraphChanged).arg(i + 1));
        readings = std::move(next);
    }

    std::vector<ReadBack> results;
    for (const Bindings& b : readings) {
        ReadBack r;
        const auto date = [&](std::optional<Field> of) {
            return dateFrom(b.at({of, Part::Day}), b.at({of, Part::Month}), locale);
        };
        r.particulars.agreementDate = date(Field::AgreementDate);
        r.signingDate = date(Template::kSigningDate);
        if (!r.particulars.agreementDate.isValid() || !r.signingDate.isValid())
            continue;
        for (const auto& [text, value] : b) {
            if (text.part == Part::Whole)
                r.particulars[*text.field] =
                    particular(*text.field).typing == Typing::AfterSpace ? name(value) : typed(value);
        }
        if (results.empty() ||
            !(results.front().particulars == r.particulars && results.front().signingDate == r.signingDate))
            results.push_back(std::move(r));
    }
    if (results.empty())
        refuse(QLatin1String(ReadBackText::kDateUnreadable));
    if (results.size() > 1)
        refuse(QLatin1String(ReadBackText::kAmbiguous));
    return results.front();
}

void writeProperties(AgreementDocument& document, const QString& templateName, const Particulars& particulars,
                     QDate signingDate)
{
    std::vector<AgreementDocument::Property> properties{
        {QString::fromLatin1(kTemplateProperty).toStdU16String(), templateName.toStdU16String()}};
    const auto add = [&](const QString& name, const QString& value) {
        const QString first = QString::fromLatin1(kParticularProperty).arg(name);
        qsizetype at = 0;
        int piece = 1;
        do {
            // A piece never ends inside a character that takes two code units.
            qsizetype length = std::min(kPropertyPieceLength, value.size() - at);
            if (at + length < value.size() && value[at + length - 1].isHighSurrogate())
                --length;
            const QString pieceName =
                piece == 1 ? first : QString::fromLatin1(kPropertyPiece).arg(first, QString::number(piece));
            properties.push_back({pieceName.toStdU16String(), value.mid(at, length).toStdU16String()});
            at += length;
            ++piece;
        } while (at < value.size());
    };
    for (const Particular& row : kParticulars)
        add(QLatin1String(row.plain),
            row.field == Field::AgreementDate ? dateText(particulars.agreementDate) : particulars[row.field]);
    add(QLatin1String(kSigningDateName), dateText(signingDate));
    for (const Extra& extra : particulars.extras)
        add(extra.name, extra.value);
    document.setProperties(properties,
                           QString::fromLatin1(kParticularProperty).arg(QString()).toStdU16String());
}

ReadBack readBack(const AgreementDocument& document, const QLocale& locale)
{
    const std::vector<AgreementDocument::Property> properties = document.properties();
    const QString templateProperty = QLatin1String(kTemplateProperty);
    const auto carried = std::find_if(properties.begin(), properties.end(), [&](const auto& p) {
        return QString::fromStdU16String(p.name).compare(templateProperty, Qt::CaseInsensitive) == 0;
    });
    if (carried == properties.end())
        return readBack(document.mainText(), locale);

    // Each particular's pieces by number, in the order of their first pieces.
    const QString prefix = QString::fromLatin1(kParticularProperty).arg(QString());
    static const QRegularExpression piece(
        QRegularExpression::anchoredPattern(QString::fromLatin1(kPropertyPiece)
                                                .arg(QStringLiteral("(.*)"), QStringLiteral("([0-9]+)"))
                                                .replace(QLatin1Char('{'), QLatin1String("\\{"))
                                                .replace(QLatin1Char('}'), QLatin1String("\\}"))));
    QStringList names;
    QHash<QString, std::map<int, QString>> pieces;
    for (const AgreementDocument::Property& p : properties) {
        QString name = QString::fromStdU16String(p.name);
        if (!name.startsWith(prefix, Qt::CaseInsensitive))
            continue;
        name = name.mid(prefix.size());
        int number = 1;
        if (const QRegularExpressionMatch m = piece.match(name); m.hasMatch()) {
            name = m.captured(1);
            number = m.captured(2).toInt();
        }
        const QString key = name.toCaseFolded();
        if (!pieces.contains(key))
            names << name;
        pieces[key][number] = QString::fromStdU16String(p.value);
    }

    ReadBack r;
    r.templateName = QString::fromStdU16String(carried->value);
    for (const QString& name : names) {
        QString value;
        for (const auto& [number, text] : pieces[name.toCaseFolded()])
            value += text;
        if (name.compare(QLatin1String(kSigningDateName), Qt::CaseInsensitive) == 0)
            r.signingDate = QDate::fromString(value, QLatin1String(kDateFormat));
        else if (const std::optional<Field> field = fieldNamed(name); field == Field::AgreementDate)
            r.particulars.agreementDate = QDate::fromString(value, QLatin1String(kDateFormat));
        else if (field)
            r.particulars[*field] = value;
        else
            r.particulars.extras.append({name, value});
    }
    if (!r.particulars.agreementDate.isValid() || !r.signingDate.isValid())
        refuse(QLatin1String(ReadBackText::kDateUnreadable));
    return r;
}

ReadBack readBackFile(const std::filesystem::path& path, const QLocale& locale)
{
    return readBack(AgreementDocument::load(path, kMaxAgreementBytes), locale);
}

} // namespace agreement
