#pragma once

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
#include <memory>
#include <optional>
#include <vector>

class QMimeData;
class QPrinter;

namespace agreement
{

// One filled agreement: the template it was made from, its particulars and signing date, the filled
// document, the bytes it is saved as and its laid-out pages. Every output of an agreement (the working
// document, a saved copy, the page picture, the clipboard, printing, the PDF) is taken from here, so none
// of them depends on what has since become of a file.
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
    // The filled document, carrying its particulars in its properties (see writeProperties()).
    const doc::WordDocument& document() const { return mDocument; }

    // What the document is saved as, made when first asked for; every copy of it is these bytes.
    const std::vector<std::uint8_t>& bytes() const;
    // The pages as laid out once, when first asked for.
    const render::PagePicture& picture() const;
    std::unique_ptr<QMimeData> pictureMimeData() const;

    // The PDF's metadata: title, the contractor as its author, the owner and the location as its subject.
    render::PdfMetadata pdfMetadata(const QString& title) const;
    // %1 is the owner, %2 the location; one of them alone when the other is empty.
    static constexpr char kPdfSubject[] = "%1 \u2014 %2";

    // With pdfMetadata(title).
    QByteArray pdf(const QString& title, QString* undrawn = nullptr) const;
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
    doc::WordDocument mDocument;
    mutable std::optional<std::vector<std::uint8_t>> mBytes;
    mutable std::optional<doc::ReadModel> mReadModel;
    mutable std::optional<render::PagePicture> mPicture;
};

} // namespace agreement
