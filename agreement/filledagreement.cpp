#include "agreement/filledagreement.h"

#include "agreement/readback.h"
#include "render/pdfexport.h"

#include <QMimeData>

#include <QPrinter>
#include <algorithm>
#include <stdexcept>

namespace agreement
{

FilledAgreement::FilledAgreement(const doc::WordDocument& templateDocument, Particulars particulars,
                                 QDate signingDate, const QLocale& locale, const TypingStep& step)
    : mTemplateName(QLatin1String(Template::kName)), mParticulars(std::move(particulars)),
      mSigningDate(signingDate),
      mDocument(std::make_shared<AgreementDocument>(
          fill(templateDocument, insertions(mParticulars, mSigningDate, locale), step))),
      mFormats(formatsOf(nullptr))
{
    writeProperties(*mDocument, mTemplateName, mParticulars, mSigningDate);
    // The carried .docx says what the carried template says; a working template changed since (after its
    // last place, where it still fits) would lose the change, so its agreement is written as .doc alone.
    static const std::u16string carried = Template::document().text();
    if (templateDocument.text() != carried) {
        mFormats = {DocumentFormat::Doc};
        return;
    }
    mFillTwin = [typed = insertions(mParticulars, mSigningDate, locale), name = mTemplateName,
                 particulars = mParticulars, signing = mSigningDate] {
        AgreementDocument twin = fillAtAnchors(Template::docxDocument(), typed);
        writeProperties(twin, name, particulars, signing);
        return twin;
    };
}

FilledAgreement::FilledAgreement(const TagTemplate& tagTemplate, Particulars particulars, QDate signingDate,
                                 const QLocale& locale)
    : mTemplateName(tagTemplate.name()), mParticulars(std::move(particulars)), mSigningDate(signingDate),
      mDocument(std::make_shared<AgreementDocument>(tagTemplate.fill(mParticulars, mSigningDate, locale))),
      mFormats(formatsOf(&tagTemplate))
{
    writeProperties(*mDocument, mTemplateName, mParticulars, mSigningDate);
    if (std::shared_ptr<const TagTemplate> twin = tagTemplate.twin())
        mFillTwin = [twin = std::move(twin), locale, name = mTemplateName, particulars = mParticulars,
                     signing = mSigningDate] {
            AgreementDocument filled = twin->fill(particulars, signing, locale);
            writeProperties(filled, name, particulars, signing);
            return filled;
        };
}

std::vector<DocumentFormat> FilledAgreement::formatsOf(const TagTemplate* tagTemplate)
{
    if (!tagTemplate)
        return {DocumentFormat::Doc, DocumentFormat::Docx};
    std::vector<DocumentFormat> formats{tagTemplate->format()};
    if (const std::shared_ptr<const TagTemplate> twin = tagTemplate->twin())
        formats.push_back(twin->format());
    return formats;
}

const std::vector<std::uint8_t>& FilledAgreement::bytes() const
{
    if (!mBytes)
        mBytes = mDocument->serialize();
    return *mBytes;
}

const std::vector<std::uint8_t>& FilledAgreement::bytes(DocumentFormat format) const
{
    if (format == mDocument->format())
        return bytes();
    if (std::find(mFormats.begin(), mFormats.end(), format) == mFormats.end())
        throw std::runtime_error(QString::fromUtf8(kOnlyFormat)
                                     .arg(mTemplateName, QLatin1String(extension(mDocument->format())))
                                     .toStdString());
    if (!mTwinBytes)
        mTwinBytes = mFillTwin().serialize();
    return *mTwinBytes;
}

const doc::ReadModel& FilledAgreement::readModel() const
{
    if (!mReadModel)
        mReadModel = mDocument->readModel();
    return *mReadModel;
}

const render::PagePicture& FilledAgreement::picture() const
{
    if (!mPicture)
        mPicture = render::renderPage(readModel());
    return *mPicture;
}

std::unique_ptr<QMimeData> FilledAgreement::pictureMimeData() const
{
    return render::pictureToMimeData(picture());
}

render::PdfMetadata FilledAgreement::pdfMetadata(const QString& title) const
{
    const QString& owner = mParticulars[Field::Owner];
    const QString& location = mParticulars[Field::Location];
    return {title, mParticulars[Field::Contractor],
            owner.isEmpty() || location.isEmpty() ? owner + location
                                                  : QString::fromUtf8(kPdfSubject).arg(owner, location)};
}

QByteArray FilledAgreement::pdf(const QString& title, QString* undrawn) const
{
    return render::pdfBytes(readModel(), pdfMetadata(title), undrawn);
}

std::vector<render::WrittenPdf> FilledAgreement::pdfs(std::span<const FilledAgreement> agreements,
                                                      const QString& title)
{
    std::vector<render::PdfDocument> documents;
    for (const FilledAgreement& agreement : agreements)
        documents.push_back({&agreement.readModel(), agreement.pdfMetadata(title)});
    return render::pdfBytes(documents);
}

QString FilledAgreement::exportPdf(const std::filesystem::path& target, const QString& title) const
{
    return render::exportPdf(readModel(), target, pdfMetadata(title));
}

QString FilledAgreement::print(QPrinter& printer) const
{
    return render::printDocument(readModel(), printer, pdfMetadata(printer.docName()));
}

QString FilledAgreement::undrawnWhere(const QString& undrawn) const
{
    const QList<uint> boxed = undrawn.toUcs4();
    QStringList where;
    const auto look = [&](const QString& name, const QString& text) {
        QList<uint> held;
        for (const uint c : text.toUcs4())
            if (boxed.contains(c) && !held.contains(c))
                held.append(c);
        if (!held.isEmpty())
            where << QString::fromLatin1(kUndrawnWhere)
                         .arg(name, QString::fromUcs4(reinterpret_cast<const char32_t*>(held.constData()),
                                                      held.size()));
    };
    for (const Particular& row : kParticulars)
        if (row.kind != Kind::Date)
            look(QLatin1String(row.plain), mParticulars[row.field]);
    for (const Extra& extra : mParticulars.extras)
        look(extra.name, extra.value);
    return where.isEmpty() ? undrawn : where.join(QStringLiteral(", "));
}

} // namespace agreement
