#pragma once

#include "agreement/agreementdocument.h"
#include "agreement/particulars.h"

#include <QDate>
#include <QLocale>

#include <filesystem>
#include <stdexcept>

namespace agreement
{

// Why a document is not an agreement this program made, or no longer reads as one.
namespace ReadBackText
{
inline constexpr char kNotOurs[] = "not an agreement made by this program";
// %1 is the number of paragraphs found, %2 the template's.
inline constexpr char kParagraphCount[] = "it has %1 paragraphs, the agreement %2";
// %1 is the paragraph's number.
inline constexpr char kParagraphChanged[] = "paragraph %1 is not the agreement's";
inline constexpr char kDateUnreadable[] = "its dates cannot be read";
inline constexpr char kAmbiguous[] = "its particulars can be read in more than one way";
} // namespace ReadBackText

class NotAnAgreement : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

struct ReadBack {
    Particulars particulars;
    QDate signingDate;
    // The template's name as the agreement's properties give it; empty for an agreement that
    // carries none, which was made from the standard template.
    QString templateName;
};

// The document properties an agreement carries its particulars in, so that reading it back needs no
// knowledge of its template: the template's name, and each particular under kParticularProperty
// with its plain name (an extra one with its template's name), dates as dateText() writes them.
// Word keeps no more than kPropertyPiece characters of a property, so a longer value is carried in
// pieces, the second and later under kPropertyPiece's names.
inline constexpr char kTemplateProperty[] = "Agreement template";
inline constexpr char kParticularProperty[] = "Agreement: %1";
inline constexpr char kPropertyPiece[] = "%1 {%2}";
inline constexpr qsizetype kPropertyPieceLength = 255;
void writeProperties(AgreementDocument& document, const QString& templateName, const Particulars& particulars,
                     QDate signingDate);

// The particulars an agreement was filled with: from its properties when it carries them, else
// recovered from its main text against the standard template. Month names are read in the locale's language
// first, then in any other. Throws NotAnAgreement, its description one of ReadBackText's.
ReadBack readBack(const std::u16string& mainText, const QLocale& locale);
ReadBack readBack(const AgreementDocument& document, const QLocale& locale);

// Far beyond any agreement, however long its particulars; a larger file is refused unread.
inline constexpr std::size_t kMaxAgreementBytes = std::size_t{64} << 20;
// Reads the file, of either format, and its particulars; throws doc::Error when it is no sound Word
// document or its name says the other format.
ReadBack readBackFile(const std::filesystem::path& path, const QLocale& locale);

} // namespace agreement
