#include "preview/pageactions.h"

#include "agreement/particulars.h"
#include "product/product.h"
#include "render/pagepicture.h"
#include "shell/workingfiles.h"

#include <QFileInfo>
#include <QMimeData>
#include <QPrinter>

namespace
{

const agreement::FilledAgreement& agreementOf(const PageActions::Source& source)
{
    if (!source.agreement)
        throw std::runtime_error(PageActions::kNoAgreement);
    return *source.agreement;
}

// What to say of the characters undrawn that show as boxes: the particulars that hold them.
QString undrawnNote(const agreement::FilledAgreement& filled, const QString& undrawn)
{
    return QString::fromLatin1(PageActions::kUndrawnNote).arg(filled.undrawnWhere(undrawn));
}

} // namespace

PageActions::PageActions(Platform& platform, std::function<Source()> source, QString& folder)
    : mPlatform(platform), mSource(std::move(source)), mFolder(folder)
{
}

const std::array<PageActions::Command, 3>& PageActions::commands()
{
    static const std::array<Command, 3> table{{
        {Item::Print, "Print…", "Print the agreement", QKeySequence(QKeySequence::Print)},
        {Item::ExportPdf, "Export as PDF…", "Save the agreement as a PDF file",
         QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E)},
        {Item::CopyPage, "Copy Page", "Copy the page in view to the clipboard",
         QKeySequence(QKeySequence::Copy)},
    }};
    return table;
}

QStringList PageActions::menuItems()
{
    QStringList items;
    for (const Command& command : commands())
        items << QString::fromUtf8(command.caption) + u'\t' + command.keys.toString(QKeySequence::NativeText);
    return items;
}

QString PageActions::withKeys(const char* text, const QKeySequence& keys)
{
    return QStringLiteral("%1 (%2)").arg(QString::fromUtf8(text), keys.toString(QKeySequence::NativeText));
}

void PageActions::showMenu(const QPoint& at)
{
    const int chosen = mPlatform.chooseFromMenu(menuItems(), at);
    if (chosen >= 0 && chosen < int(commands().size()))
        run(commands()[std::size_t(chosen)].item);
}

void PageActions::run(Item item)
{
    switch (item) {
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
    QString undrawn;
    try {
        undrawn = agreementOf(source).print(printer);
    } catch (const std::exception& e) {
        fail(QStringLiteral("The agreement could not be printed."), QString::fromUtf8(e.what()));
        return;
    }
    if (!undrawn.isEmpty())
        mPlatform.showMessage(undrawnNote(*source.agreement, undrawn), source.caption,
                              Platform::Icon::Warning);
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
    QString undrawn;
    try {
        undrawn = agreementOf(source).exportPdf(filePath(target), QLatin1String(Product::kDocumentName));
    } catch (const std::exception& e) {
        fail(QStringLiteral("The PDF could not be written."), QString::fromUtf8(e.what()));
        return;
    }
    mFolder = QFileInfo(target).absolutePath();
    const QString done = QStringLiteral("Done.");
    if (undrawn.isEmpty())
        mPlatform.showMessage(done, source.caption, Platform::Icon::None);
    else
        mPlatform.showMessage(done + QStringLiteral("\n\n") + undrawnNote(*source.agreement, undrawn),
                              source.caption, Platform::Icon::Warning);
}

void PageActions::copyPage()
{
    const Source source = mSource();
    if (source.page.isNull() || source.page.boundingRect().isEmpty()) {
        fail(QStringLiteral("The page could not be copied."), QStringLiteral("There is no page picture."));
        return;
    }
    mPlatform.setClipboard(render::pageToMimeData(source.page, source.pageInView));
}

void PageActions::fail(const QString& what, const QString& reason) const
{
    mPlatform.showMessage(what + QStringLiteral("\n\n") + reason, mSource().caption, Platform::Icon::Warning);
}
