#include "preview/pageactions.h"

#include "agreement/particulars.h"
#include "doc/fileio.h"
#include "product/product.h"
#include "render/pagepicture.h"
#include "shell/workingfiles.h"

#include <QFileInfo>
#include <QMimeData>
#include <QPrinter>

#include <algorithm>

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

const PageActions::Command& PageActions::exportDocxCommand()
{
    static const Command command{Item::ExportDocx, "Export as Word Document (.docx)…",
                                 "Save the agreement as a Word document (.docx)", QKeySequence()};
    return command;
}

std::vector<PageActions::Command> PageActions::menu() const
{
    const Source source = mSource();
    const bool docx =
        source.agreement && std::ranges::find(source.agreement->formats(), agreement::DocumentFormat::Docx) !=
                                source.agreement->formats().end();
    std::vector<Command> items;
    for (const Command& command : commands()) {
        items.push_back(command);
        if (command.item == Item::ExportPdf && docx)
            items.push_back(exportDocxCommand());
    }
    return items;
}

QStringList PageActions::menuItems(const std::vector<Command>& menu)
{
    QStringList items;
    for (const Command& command : menu)
        items << (command.keys.isEmpty() ? QString::fromUtf8(command.caption)
                                         : QString::fromUtf8(command.caption) + u'\t' +
                                               command.keys.toString(QKeySequence::NativeText));
    return items;
}

QString PageActions::withKeys(const char* text, const QKeySequence& keys)
{
    return QStringLiteral("%1 (%2)").arg(QString::fromUtf8(text), keys.toString(QKeySequence::NativeText));
}

void PageActions::showMenu(const QPoint& at)
{
    const std::vector<Command> items = menu();
    const int chosen = mPlatform.chooseFromMenu(menuItems(items), at);
    if (chosen >= 0 && chosen < int(items.size()))
        run(items[std::size_t(chosen)].item);
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
    case Item::ExportDocx:
        exportDocx();
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

QString PageActions::exportTarget(const QString& title, const QString& filter, const QString& suffix) const
{
    Platform::SaveDialog dialog;
    dialog.title = title;
    dialog.filter = filter;
    dialog.folder = mFolder;
    dialog.defaultSuffix = suffix;
    dialog.fileName = QString::fromLatin1(Product::kDocumentName) + u'.' + dialog.defaultSuffix;
    dialog.confirmOverwrite = true;
    QString target = mPlatform.getSaveFileName(dialog);
    // A dialog of the desktop's own may hand the name back as typed.
    if (!target.isEmpty() && QFileInfo(target).suffix().isEmpty())
        target += u'.' + suffix;
    return target;
}

void PageActions::exportPdf()
{
    const Source source = mSource();
    const QString target = exportTarget(QStringLiteral("Export as PDF"),
                                        QStringLiteral("PDF Files (*.pdf)|*.pdf"), QStringLiteral("pdf"));
    if (target.isEmpty())
        return;
    QString undrawn;
    try {
        undrawn = agreementOf(source).exportPdf(filePath(target), QLatin1String(Product::kDocumentName));
    } catch (const std::exception& e) {
        fail(QStringLiteral("The PDF could not be written."), QString::fromUtf8(e.what()));
        return;
    }
    exported(target, source, undrawn);
}

void PageActions::exportDocx()
{
    const Source source = mSource();
    const agreement::DocumentFormat format = agreement::DocumentFormat::Docx;
    const QString target = exportTarget(QLatin1String(kExportDocxTitle), QLatin1String(kExportDocxFilter),
                                        QLatin1String(agreement::extension(format) + 1));
    if (target.isEmpty())
        return;
    try {
        doc::fileio::replaceFile(filePath(target), agreementOf(source).bytes(format),
                                 doc::fileio::Access::UsersFile);
    } catch (const std::exception& e) {
        fail(QLatin1String(kExportDocxFailed), QString::fromUtf8(e.what()));
        return;
    }
    exported(target, source, {});
}

void PageActions::exported(const QString& target, const Source& source, const QString& undrawn)
{
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
