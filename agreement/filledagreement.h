#pragma once

#include "agreement/agreementdocument.h"
#include "agreement/insertions.h"
#include "agreement/particulars.h"
#include "agreement/tagtemplate.h"
#include "doc/readmodel.h"
#include "doc/worddocument.h"
#include "render/pagepicture.h"
#include "render/pdfexport.h"

#include <QByteArray>
#include <QDate>
#include <QLocale>
#include <QString>

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

class QMimeData;
class QPrinter;

namespace agreement
{

// One filled agreement: the template it was made from, its particulars and signing date, the filled
// document, the bytes it is saved as and its laid-out pages. Every output of an agreement (the working
// document, a saved copy, the page picture, the clipboard, printing, the PDF, the other Word format) is
// taken from here, so none of them depends on what has since become of a file.
class FilledAgreement
{
public:
    // Fills the standard template, templateDocument; step, when given, runs the typing of each
    // insertion (see fill()).
    FilledAgreement(const doc::WordDocument& templateDocument, Particulars particulars, QDate signingDate,
                    const QLocale& locale, const TypingStep& step = {});
    // Fills a template whose places are tags.
    FilledAgreement(const TagTemplate& tagTemplate, Particulars particulars, QDate signingDate,
                    const QLocale& locale);

    const QString& templateName() const { return mTemplateName; }
    const Particulars& particulars() const { return mParticulars; }
    QDate signingDate() const { return mSigningDate; }
    // The filled document in its template's format, carrying its particulars in its properties (see
    // writeProperties()): the working document.
    const AgreementDocument& document() const { return *mDocument; }
    // The document's engine, shared with whoever opens it.
    std::shared_ptr<const AgreementDocument::Engine> engine() const
    {
        return {mDocument, &mDocument->engine()};
    }

    // The Word formats an agreement from tagTemplate (null: the standard one) is written in, its own
    // first: the program's templates in both, a user's in its own alone. An agreement filled from a
    // working template whose text is not the standard one's is written as .doc alone.
    static std::vector<DocumentFormat> formatsOf(const TagTemplate* tagTemplate);
    const std::vector<DocumentFormat>& formats() const { return mFormats; }
    // Said of a format an agreement is not written in: %1 is its template's name, %2 the extension
    // of its own format.
    static constexpr char kOnlyFormat[] = "an agreement from \u201c%1\u201d is written only as %2 or PDF";

    // What the document is saved as, made when first asked for; every copy of it is these bytes.
    const std::vector<std::uint8_t>& bytes() const;
    // The agreement written as format, filled from the template's copy in that format when first asked
    // for; throws std::runtime_error (kOnlyFormat) for a format not in formats().
    const std::vector<std::uint8_t>& bytes(DocumentFormat format) const;
    // The pages as laid out once, when first asked for.
    const render::PagePicture& picture() const;
    std::unique_ptr<QMimeData> pictureMimeData() const;

    // The PDF's metadata: title, the contractor as its author, the owner and the location as its subject.
    render::PdfMetadata pdfMetadata(const QString& title) const;
    // %1 is the owner, %2 the location; one of them alone when the other is empty.
    static constexpr char kPdfSubject[] = "%1 \u2014 %2";

    // With pdfMetadata(title).
    QByteArray pdf(const QString& title, QString* undrawn = nullptr) const;
    // Each agreement's pdf(title) and the characters no installed font draws in it, made together
    // (render::pdfBytes) at a fraction of the cost of one at a time.
    static std::vector<render::WrittenPdf> pdfs(std::span<const FilledAgreement> agreements,
                                                const QString& title);
    // As render::exportPdf and render::printDocument: the characters no installed font draws. A print to a
    // file is titled as the print job.
    QString exportPdf(const std::filesystem::path& target, const QString& title) const;
    QString print(QPrinter& printer) const;

    // Where the characters undrawn (as the outputs above return them) stand: a list of kUndrawnWhere, one
    // for each particular that holds some, or the characters alone when no particular holds them.
    QString undrawnWhere(const QString& undrawn) const;
    // %1 is the particular's plain name, %2 its characters that show as boxes.
    static constexpr char kUndrawnWhere[] = "the %1 (%2)";

private:
    const doc::ReadModel& readModel() const;

    QString mTemplateName;
    Particulars mParticulars;
    QDate mSigningDate;
    std::shared_ptr<AgreementDocument> mDocument;
    std::vector<DocumentFormat> mFormats;
    // Fills the template's copy in the other format, where there is one.
    std::function<AgreementDocument()> mFillTwin;
    mutable std::optional<std::vector<std::uint8_t>> mBytes;
    mutable std::optional<std::vector<std::uint8_t>> mTwinBytes;
    mutable std::optional<doc::ReadModel> mReadModel;
    mutable std::optional<render::PagePicture> mPicture;
};

} // namespace agreement
