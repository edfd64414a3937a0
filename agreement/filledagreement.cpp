#include "agreement/filledagreement.h"

#include "render/pdfexport.h"

#include <QMimeData>

namespace agreement
{

FilledAgreement::FilledAgreement(doc::WordDocument templateDocument, Particulars particulars,
                                 QDate signingDate, const QLocale& locale, const TypingStep& step)
    : mTemplate(std::move(templateDocument)), mParticulars(std::move(particulars)), mSigningDate(signingDate),
      mInsertions(agreement::insertions(mParticulars, mSigningDate, locale)),
      mDocument(fill(mTemplate, mInsertions, step))
{
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

QByteArray FilledAgreement::pdf(const QString& title) const
{
    return render::pdfBytes(readModel(), title);
}

QString FilledAgreement::exportPdf(const std::filesystem::path& target, const QString& title) const
{
    return render::exportPdf(readModel(), target, title);
}

QString FilledAgreement::print(QPrinter& printer) const
{
    return render::printDocument(readModel(), printer);
}

} // namespace agreement
