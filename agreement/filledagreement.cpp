#include "agreement/filledagreement.h"

#include "agreement/readback.h"
#include "render/pdfexport.h"

#include <QMimeData>
#include <QPrinter>

namespace agreement
{

FilledAgreement::FilledAgreement(const doc::WordDocument& templateDocument, Particulars particulars,
                                 QDate signingDate, const QLocale& locale, const TypingStep& step)
    : mTemplateName(QLatin1String(Template::kName)), mParticulars(std::move(particulars)),
      mSigningDate(signingDate),
      mDocument(fill(templateDocument, insertions(mParticulars, mSigningDate, locale), step))
{
    writeProperties(mDocument, mTemplateName, mParticulars, mSigningDate);
}

FilledAgreement::FilledAgreement(const TagTemplate& tagTemplate, Particulars particulars, QDate signingDate,
                                 const QLocale& locale)
    : mTemplateName(tagTemplate.name()), mParticulars(std::move(particulars)), mSigningDate(signingDate),
      mDocument(tagTemplate.fill(mParticulars, mSigningDate, locale))
{
    writeProperties(mDocument, mTemplateName, mParticulars, mSigningDate);
}

const std::vector<std::uint8_t>& FilledAgreement::bytes() const
{
    if (!mBytes)
        mBytes = mDocument.serialize();
    return *mBytes;
}

const doc::ReadModel& FilledAgreement::readModel() const
{
    if (!mReadModel)
        mReadModel = mDocument.readModel();
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
