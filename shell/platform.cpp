#include "shell/platform.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPrintDialog>
#include <QPrinter>
#include <QRandomGenerator>

namespace
{

// "Word Files (*.doc)|*.doc" -> "Word Files (*.doc)": Qt reads the pattern from the description.
QString qtFilter(const QString& filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        out << (parts[i].contains(QLatin1Char('('))
                    ? parts[i]
                    : parts[i] + QStringLiteral(" (") + parts[i + 1] + QLatin1Char(')'));
    return out.join(QStringLiteral(";;"));
}

// A folder that is not there (no Documents folder yet, a folder saved to and since removed)
// would be taken by the dialog as a file name: open its nearest existing parent instead.
QString existingFolder(QString folder)
{
    while (!folder.isEmpty() && !QFileInfo(folder).isDir()) {
        const QString parent = QFileInfo(folder).absolutePath();
        folder = parent == folder ? QString() : parent;
    }
    return folder;
}

} // namespace

void QtPlatform::showMessage(const QString& text, const QString& caption, Icon icon)
{
    QMessageBox box(icon == Icon::Warning ? QMessageBox::Warning : QMessageBox::NoIcon, caption, text,
                    QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
}

bool QtPlatform::askYesNo(const QString& text, const QString& caption, Answer defaultAnswer)
{
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Yes | QMessageBox::No,
                    QApplication::activeWindow());
    box.setDefaultButton(defaultAnswer == Answer::Yes ? QMessageBox::Yes : QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

QString QtPlatform::getSaveFileName(const SaveDialog& options)
{
    QFileDialog dialog(QApplication::activeWindow(), options.title, existingFolder(options.folder),
                       qtFilter(options.filter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(options.defaultSuffix);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !options.confirmOverwrite);
    dialog.selectFile(options.fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

QString QtPlatform::getOpenFileName(const OpenDialog& options)
{
    QFileDialog dialog(QApplication::activeWindow(), options.title, existingFolder(options.folder),
                       qtFilter(options.filter));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

bool QtPlatform::choosePrinter(QPrinter& printer)
{
    QPrintDialog dialog(&printer, QApplication::activeWindow());
    return dialog.exec() == QDialog::Accepted;
}

int QtPlatform::chooseFromMenu(const QStringList& items, const QPoint& at)
{
    QMenu menu(QApplication::activeWindow());
    for (const QString& item : items)
        menu.addAction(item);
    const QAction* chosen = menu.exec(at);
    return chosen ? static_cast<int>(menu.actions().indexOf(chosen)) : -1;
}

void QtPlatform::setClipboard(std::unique_ptr<QMimeData> data)
{
    QGuiApplication::clipboard()->setMimeData(data.release());
}

QDate QtPlatform::today()
{
    return QDate::currentDate();
}

double QtPlatform::randomFraction()
{
    return QRandomGenerator::global()->generateDouble();
}

void QtPlatform::openUrl(const QUrl& url)
{
    QDesktopServices::openUrl(url);
}

void QtPlatform::endProgram()
{
    // Leave the event loop straight away; no window gets a close event first.
    QCoreApplication::exit(0);
}
