#include "preview/pageactions.h"

#include "doc/worddocument.h"
#include "render/pagepicture.h"
#include "render/pdfexport.h"
#include "shell/product.h"
#include "shell/workingfiles.h"

#include <QFileInfo>
#include <QMimeData>
#include <QPrinter>

namespace
{

enum class Item { Print, ExportPdf, CopyPage };

doc::ReadModel readModel(const QString& workingDocument)
{
    return doc::WordDocument::load(filePath(workingDocument), doc::WordDocument::kMaxFileBytes).readModel();
}

} // namespace

PageActions::PageActions(Platform& platform, std::function<Source()> source, QString& folder)
    : mPlatform(platform), mSource(std::move(source)), mFolder(folder)
{
}

QStringList PageActions::menuItems()
{
    return {QStringLiteral("Print…"), QStringLiteral("Export as PDF…"), QStringLiteral("Copy Page")};
}

void PageActions::showMenu(const QPoint& at)
{
    switch (static_cast<Item>(mPlatform.chooseFromMenu(menuItems(), at))) {
    case Item::Print:
        print();
        break;
    case Item::ExportPdf:
        exportPdf();
        break;
    case Item::CopyPage:
        copyPage();
        break;
    }
}

void PageActions::print()
{
    const Source source = mSource();
    QPrinter printer(QPrinter::HighResolution);
    // The job's name in printer queues, and the file name "Print to File" offers.
    printer.setDocName(QLatin1String(Product::kDocumentName));
    if (!mPlatform.choosePrinter(printer))
        return;
    try {
        render::printDocument(readModel(source.workingDocument), printer);
    } catch (const std::exception& e) {
        fail(QStringLiteral("The agreement could not be printed."), QString::fromUtf8(e.what()));
    }
}

void PageActions::exportPdf()
{
    const Source source = mSource();
    Platform::SaveDialog dialog;
    dialog.title = QStringLiteral("Export as PDF");
    dialog.filter = QStringLiteral("PDF Files (*.pdf)|*.pdf");
    dialog.folder = mFolder;
    dialog.defaultSuffix = QStringLiteral("pdf");
    dialog.fileName = QString::fromLatin1(Product::kDocumentName) + u'.' + dialog.defaultSuffix;
    dialog.confirmOverwrite = true;
    QString target = mPlatform.getSaveFileName(dialog);
    if (target.isEmpty())
        return;
    // A dialog of the desktop's own may hand the name back as typed.
    if (QFileInfo(target).suffix().isEmpty())
        target += QStringLiteral(".pdf");
    try {
        render::exportPdf(readModel(source.workingDocument), filePath(target),
                          QLatin1String(Product::kDocumentName));
    } catch (const std::exception& e) {
        fail(QStringLiteral("The PDF could not be written."), QString::fromUtf8(e.what()));
        return;
    }
    mFolder = QFileInfo(target).absolutePath();
    mPlatform.showMessage(QStringLiteral("Done."), source.caption, Platform::Icon::None);
}

void PageActions::copyPage()
{
    const Source source = mSource();
    if (source.page.isNull() || source.page.boundingRect().isEmpty()) {
        fail(QStringLiteral("The page could not be copied."), QStringLiteral("There is no page picture."));
        return;
    }
    mPlatform.setClipboard(render::pictureToMimeData(source.page));
}

void PageActions::fail(const QString& what, const QString& reason) const
{
    mPlatform.showMessage(what + QStringLiteral("\n\n") + reason, mSource().caption, Platform::Icon::Warning);
}
