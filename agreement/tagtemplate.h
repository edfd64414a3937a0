#pragma once

#include "agreement/agreementdocument.h"
#include "agreement/particulars.h"
#include "doc/tags.h"

#include <QDate>
#include <QLocale>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <vector>

// A template of the user's own, or one the program carries, whose places are tags: "{{Owner}}"
// in its text or a mail-merge field named so.
namespace agreement
{

namespace TagTemplateText
{
inline constexpr char kTooLarge[] = "it is larger than %1 MB";
inline constexpr char kUnreadable[] = "it cannot be read: %1";
inline constexpr char kNotWord[] = "it is not a Word document (.doc or .docx)";
inline constexpr char kEncrypted[] = "it is encrypted";
inline constexpr char kUnsound[] = "it is damaged: %1";
// A sound document the program will not fill, such as one with macros; %1 says why.
inline constexpr char kUnusable[] = "it cannot be used: %1";
// %1 where (kInMain...), %2 the paragraph's number, %3 the words around, %4 what is wrong.
inline constexpr char kFault[] = "%1, paragraph %2 (\u201c%3\u201d): %4";
inline constexpr char kUnclosed[] = "a tag is left open";
inline constexpr char kEmpty[] = "a tag has no name";
inline constexpr char kBrokenByParagraph[] = "a tag is broken by the end of a paragraph or line";
inline constexpr char kBrokenByField[] = "a tag is broken by a field";
inline constexpr char kTooLong[] = "a tag's name is longer than %1 characters";
inline constexpr char kNested[] = "a tag opens inside another";
inline constexpr char kInFieldCode[] = "a tag stands inside a field's code";
inline constexpr char kInMain[] = "text";
inline constexpr char kInHeaders[] = "header or footer";
inline constexpr char kInTextBoxes[] = "text box";
inline constexpr char kInNotes[] = "note or comment";
} // namespace TagTemplateText

// Why a template cannot be used: one line for each fault, saying what and where.
class TemplateRefused : public std::runtime_error
{
public:
    explicit TemplateRefused(QStringList faults);
    const QStringList& faults() const { return mFaults; }

private:
    QStringList mFaults;
};

// What a tag stands for: a particular of the table, a part of the agreement's date, the signing
// date, or a particular of this template alone.
struct TemplateParticular {
    enum class Source { Field, Day, Month, Year, Signed, Extra };
    QString name; // as the template first writes it
    Source source = Source::Extra;
    Field field = Field::AgreementDate; // for Source::Field

    friend bool operator==(const TemplateParticular&, const TemplateParticular&) = default;
};

// The names beside the table's that every template may use, compared as matchingName() does.
struct DateName {
    const char* name;
    TemplateParticular::Source source;
};
inline constexpr DateName kDateNames[] = {
    {"day", TemplateParticular::Source::Day},
    {"month", TemplateParticular::Source::Month},
    {"year", TemplateParticular::Source::Year},
    {kSigningDateName, TemplateParticular::Source::Signed},
};

// What a tag of this name stands for.
TemplateParticular particularNamed(const QString& name);
// What the command line and a read agreement call it: a table particular's plain name, the
// date names, an extra particular's name as the template writes it.
QString plainName(const TemplateParticular& particular);
// A date as the agreement writes it in words: "15th day of March, 2027".
QString dateInWords(QDate date, const QLocale& locale);

// A picture of a document where it stands: its story (TagTemplateText::kInMain ...), its paragraph
// there (from 1) and its index into the read model's pictures.
struct PicturePlace {
    const char* story;
    std::size_t paragraph;
    std::size_t picture;
};
// Every picture the model shows, in reading order: the main text's, the headers' and footers', the
// text boxes'; a floating one at the paragraph holding its anchor.
std::vector<PicturePlace> picturePlaces(const doc::ReadModel& model);

class TagTemplate;
namespace HomeImprovement
{
const TagTemplate& get();
} // namespace HomeImprovement

class TagTemplate
{
public:
    // A template past this size is refused unread.
    static constexpr std::size_t kMaxBytes = std::size_t{20} << 20;

    // Both throw TemplateRefused, listing every fault of the template. Its bytes say which format it
    // is; a fileName, when given, must not name the other.
    static TagTemplate fromFile(const QString& path);
    static TagTemplate fromBytes(const QString& name, std::span<const std::uint8_t> bytes,
                                 const QString& fileName = {});

    // The name it is known by: its file's name without the folder and the extension.
    const QString& name() const { return mName; }
    // What it is, and so what its agreements are written as.
    DocumentFormat format() const { return mDocument.format(); }
    // The same template in the other format, for the program's own; null for a user's.
    const std::shared_ptr<const TagTemplate>& twin() const { return mTwin; }
    // Its particulars in the order of first use, each once.
    const std::vector<TemplateParticular>& particulars() const { return mParticulars; }
    // What it asks to be given; a part of the date asks for the agreement's date.
    Wanted wanted() const;
    std::size_t tagCount() const { return mTags.size(); }
    doc::ReadModel readModel() const { return mDocument.readModel(); }

    // The template with each tag replaced by its value; an extra particular particulars lacks is
    // left empty.
    AgreementDocument fill(const Particulars& particulars, QDate signingDate, const QLocale& locale) const;

private:
    friend const TagTemplate& HomeImprovement::get();
    TagTemplate(QString name, AgreementDocument document);

    QString mName;
    AgreementDocument mDocument;
    std::shared_ptr<const TagTemplate> mTwin;
    std::vector<doc::tags::Tag> mTags;
    std::vector<std::size_t> mTagParticular; // for each tag, its index in mParticulars
    std::vector<TemplateParticular> mParticulars;
};

// The tag template the program carries beside the standard one.
namespace HomeImprovement
{
inline constexpr char kName[] = "Home improvement agreement";
// Its resource in each format: the .doc, the one the window and the command line fill, and its twin.
inline constexpr char kResource[] = ":/templates/home-improvement.doc";
inline constexpr char kDocxResource[] = ":/templates/home-improvement.docx";
// Read once a run; throws TemplateRefused when a resource is missing or unsound.
const TagTemplate& get();
} // namespace HomeImprovement

} // namespace agreement
