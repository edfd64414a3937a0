#include "agreement/tagtemplate.h"

#include "agreement/insertions.h"
#include "agreement/ordinal.h"
#include "doc/error.h"
#include "doc/fileio.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <algorithm>

namespace agreement
{

namespace
{

QString faultText(doc::tags::Fault::Kind kind)
{
    using Kind = doc::tags::Fault::Kind;
    switch (kind) {
    case Kind::Unclosed:
        return QLatin1String(TagTemplateText::kUnclosed);
    case Kind::Empty:
        return QLatin1String(TagTemplateText::kEmpty);
    case Kind::BrokenByParagraph:
        return QLatin1String(TagTemplateText::kBrokenByParagraph);
    case Kind::BrokenByField:
        return QLatin1String(TagTemplateText::kBrokenByField);
    case Kind::TooLong:
        return QString::fromLatin1(TagTemplateText::kTooLong).arg(doc::tags::kMaxNameLength);
    case Kind::Nested:
        return QLatin1String(TagTemplateText::kNested);
    case Kind::InFieldCode:
        return QLatin1String(TagTemplateText::kInFieldCode);
    }
    return {};
}

QString storyText(doc::WordDocument::Story story)
{
    using Story = doc::WordDocument::Story;
    switch (story) {
    case Story::Main:
        return QLatin1String(TagTemplateText::kInMain);
    case Story::Headers:
        return QLatin1String(TagTemplateText::kInHeaders);
    case Story::TextBoxes:
    case Story::HeaderTextBoxes:
        return QLatin1String(TagTemplateText::kInTextBoxes);
    case Story::Footnotes:
    case Story::Macro:
    case Story::Comments:
    case Story::Endnotes:
        return QLatin1String(TagTemplateText::kInNotes);
    }
    return {};
}

// Why bytes that are no usable Word document were refused.
QString documentFault(const doc::Error& error)
{
    const QString what = QString::fromStdString(error.what());
    if (dynamic_cast<const MisnamedDocument*>(&error))
        return what;
    switch (error.kind()) {
    case doc::Error::Kind::NotCompoundFile:
    case doc::Error::Kind::NotWordDocument:
        return QLatin1String(TagTemplateText::kNotWord);
    case doc::Error::Kind::Unsupported:
        if (what.contains(QLatin1String("encrypted")))
            return QLatin1String(TagTemplateText::kEncrypted);
        return QString::fromLatin1(TagTemplateText::kUnusable).arg(what);
    case doc::Error::Kind::Io:
        return QString::fromLatin1(TagTemplateText::kUnreadable).arg(what);
    case doc::Error::Kind::Truncated:
    case doc::Error::Kind::Corrupt:
    case doc::Error::Kind::BadArgument:
        break;
    }
    return QString::fromLatin1(TagTemplateText::kUnsound).arg(what);
}

QString tooLarge()
{
    return QString::fromLatin1(TagTemplateText::kTooLarge).arg(TagTemplate::kMaxBytes >> 20);
}

} // namespace

TemplateRefused::TemplateRefused(QStringList faults)
    : std::runtime_error(faults.join(QLatin1Char('\n')).toStdString()), mFaults(std::move(faults))
{
}

TemplateParticular particularNamed(const QString& name)
{
    const QString matching = matchingName(name);
    if (const std::optional<Field> field = fieldNamed(matching))
        return {name, TemplateParticular::Source::Field, *field};
    for (const DateName& date : kDateNames)
        if (matching == matchingName(QString::fromLatin1(date.name)))
            return {name, date.source};
    return {name, TemplateParticular::Source::Extra};
}

QString dateInWords(QDate date, const QLocale& locale)
{
    return dayText(date).trimmed() + QStringLiteral(" day of ") + monthText(date, locale).trimmed();
}

namespace
{

// The pictures of blocks, paragraph by paragraph, those of a paragraph in the order of their characters.
void addPicturePlaces(const doc::ReadModel& model, const std::vector<doc::Block>& blocks, const char* story,
                      std::size_t& paragraph, std::vector<PicturePlace>& places)
{
    for (const doc::Block& block : blocks) {
        if (block.kind == doc::Block::Kind::Table) {
            for (const doc::TableRow& row : model.tables[block.index].rows)
                for (const doc::TableCell& cell : row.cells)
                    addPicturePlaces(model, cell.blocks, story, paragraph, places);
            continue;
        }
        ++paragraph;
        const doc::Paragraph& p = model.paragraphs[block.index];
        std::vector<std::pair<std::uint32_t, std::size_t>> pictures;
        for (const doc::ObjectAt& at : p.pictures)
            pictures.emplace_back(at.offset, at.index);
        for (const doc::ObjectAt& at : p.shapes)
            if (const auto& picture = model.shapes[at.index].picture)
                pictures.emplace_back(at.offset, *picture);
        std::sort(pictures.begin(), pictures.end());
        for (const auto& [offset, picture] : pictures)
            places.push_back({story, paragraph, picture});
    }
}

} // namespace

std::vector<PicturePlace> picturePlaces(const doc::ReadModel& model)
{
    std::vector<PicturePlace> places;
    std::size_t paragraph = 0;
    addPicturePlaces(model, model.body, TagTemplateText::kInMain, paragraph, places);
    paragraph = 0;
    for (const std::vector<doc::Block>& story : model.headers)
        addPicturePlaces(model, story, TagTemplateText::kInHeaders, paragraph, places);
    paragraph = 0;
    for (const std::vector<doc::Block>& story : model.textBoxes)
        addPicturePlaces(model, story, TagTemplateText::kInTextBoxes, paragraph, places);
    return places;
}

TagTemplate TagTemplate::fromFile(const QString& path)
{
    const QFileInfo info(path);
    if (info.isFile() && static_cast<std::size_t>(info.size()) > kMaxBytes)
        throw TemplateRefused({tooLarge()});
    std::vector<std::uint8_t> bytes;
    try {
        bytes = doc::fileio::readFile(info.filesystemFilePath(), kMaxBytes);
    } catch (const doc::Error& error) {
        throw TemplateRefused({documentFault(error)});
    }
    return fromBytes(info.completeBaseName(), bytes, info.fileName());
}

TagTemplate TagTemplate::fromBytes(const QString& name, std::span<const std::uint8_t> bytes,
                                   const QString& fileName)
{
    if (bytes.size() > kMaxBytes)
        throw TemplateRefused({tooLarge()});
    try {
        return TagTemplate(name, AgreementDocument::fromBytes(bytes, fileName));
    } catch (const doc::Error& error) {
        throw TemplateRefused({documentFault(error)});
    }
}

TagTemplate::TagTemplate(QString name, AgreementDocument document)
    : mName(std::move(name)), mDocument(std::move(document))
{
    const std::u16string text = mDocument.text();
    const std::vector<AgreementDocument::StoryRange> stories = mDocument.stories();
    doc::tags::Scan scan = doc::tags::scan(text, stories);
    if (!scan.faults.empty()) {
        QStringList faults;
        for (const doc::tags::Fault& fault : scan.faults) {
            const doc::tags::Where where = doc::tags::where(text, stories, fault.cp);
            faults << QString::fromUtf8(TagTemplateText::kFault)
                          .arg(storyText(where.story))
                          .arg(where.paragraph)
                          .arg(QString::fromStdU16String(where.context).simplified(), faultText(fault.kind));
        }
        throw TemplateRefused(faults);
    }
    mTags = std::move(scan.tags);
    QHash<QString, std::size_t> indexOfName;
    for (const doc::tags::Tag& tag : mTags) {
        const QString written = QString::fromStdU16String(tag.name).simplified();
        const QString key = matchingName(written);
        auto found = indexOfName.constFind(key);
        if (found == indexOfName.constEnd()) {
            found = indexOfName.insert(key, mParticulars.size());
            mParticulars.push_back(particularNamed(written));
        }
        mTagParticular.push_back(found.value());
    }
}

QString plainName(const TemplateParticular& particular)
{
    if (particular.source == TemplateParticular::Source::Field)
        return QLatin1String(agreement::plainName(particular.field));
    for (const DateName& date : kDateNames)
        if (particular.source == date.source)
            return QLatin1String(date.name);
    return particular.name;
}

Wanted TagTemplate::wanted() const
{
    Wanted wanted;
    for (const TemplateParticular& p : mParticulars) {
        switch (p.source) {
        case TemplateParticular::Source::Field:
            wanted.fields[indexOf(p.field)] = true;
            break;
        case TemplateParticular::Source::Day:
        case TemplateParticular::Source::Month:
        case TemplateParticular::Source::Year:
            wanted.fields[indexOf(Field::AgreementDate)] = true;
            break;
        case TemplateParticular::Source::Signed:
            break;
        case TemplateParticular::Source::Extra:
            wanted.extras << p.name;
            break;
        }
    }
    return wanted;
}

AgreementDocument TagTemplate::fill(const Particulars& particulars, QDate signingDate,
                                    const QLocale& locale) const
{
    std::vector<QString> values;
    values.reserve(mParticulars.size());
    for (const TemplateParticular& p : mParticulars) {
        using Source = TemplateParticular::Source;
        const QDate date = particulars.agreementDate;
        switch (p.source) {
        case Source::Field:
            values.push_back(p.field == Field::AgreementDate ? dateInWords(date, locale)
                                                             : particulars[p.field]);
            break;
        case Source::Day:
            values.push_back(dayText(date).trimmed());
            break;
        case Source::Month:
            values.push_back(locale.standaloneMonthName(date.month(), QLocale::LongFormat));
            break;
        case Source::Year:
            values.push_back(QString::number(date.year()));
            break;
        case Source::Signed:
            values.push_back(dateInWords(signingDate, locale));
            break;
        case Source::Extra: {
            const QString key = matchingName(p.name);
            const auto extra = std::find_if(particulars.extras.begin(), particulars.extras.end(),
                                            [&](const Extra& e) { return matchingName(e.name) == key; });
            values.push_back(extra == particulars.extras.end() ? QString() : extra->value);
            break;
        }
        }
    }
    AgreementDocument filled = mDocument;
    // From the last tag back, so that each tag's position still holds when it is replaced.
    for (std::size_t k = mTags.size(); k-- > 0;) {
        const doc::tags::Tag& tag = mTags[k];
        // A merge field's text takes the look of its code, not of its begin mark.
        const std::optional<std::uint32_t> formatFrom =
            tag.mergeField ? std::optional<std::uint32_t>(tag.cp + 1) : std::nullopt;
        filled.replaceText(tag.cp, tag.length, values[mTagParticular[k]].toStdU16String(), formatFrom);
    }
    return filled;
}

namespace
{

TagTemplate carriedTemplate(const char* resource)
{
    QFile file{QLatin1String(resource)};
    if (!file.open(QIODevice::ReadOnly))
        throw TemplateRefused({QString::fromLatin1(TagTemplateText::kUnreadable).arg(file.errorString())});
    const QByteArray bytes = file.readAll();
    return TagTemplate::fromBytes(
        QLatin1String(HomeImprovement::kName),
        {reinterpret_cast<const std::uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size())});
}

} // namespace

const TagTemplate& HomeImprovement::get()
{
    static const TagTemplate carried = [] {
        TagTemplate doc = carriedTemplate(kResource);
        doc.mTwin = std::make_shared<const TagTemplate>(carriedTemplate(kDocxResource));
        return doc;
    }();
    return carried;
}

} // namespace agreement
