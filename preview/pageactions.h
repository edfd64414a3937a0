#pragma once

#include "agreement/filledagreement.h"
#include "shell/platform.h"

#include "render/pagepicture.h"
#include <QKeySequence>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <memory>
#include <vector>

class QPoint;

// What the preview offers for the agreement beyond the screen: printing it and exporting it
// as a PDF (both from the agreement itself, on as many pages as its text needs, with the
// page picture's line breaks), exporting it as a .docx where its template is had in that format, and
// copying the page in view. A failure is said in a message box and leaves no partial file; the preview
// itself is never changed.
class PageActions
{
public:
    // What the actions work on, as the preview holds it at the moment.
    struct Source {
        std::shared_ptr<const agreement::FilledAgreement> agreement; // none before the first is made
        render::PagePicture page; // the agreement's page picture at its natural size
        int pageInView = 0;       // the page of it in view, from 0
        QString caption;          // the caption of the boxes shown
    };

    // Said after printing or exporting text of which some characters show as boxes. %1 is where they are:
    // FilledAgreement::undrawnWhere.
    static constexpr char kUndrawnNote[] =
        "Some characters could not be shown in any installed font and appear as boxes: %1. Install a font "
        "that has them, then print or export again.";
    // Why there is nothing to save, print or export.
    static constexpr char kNoAgreement[] = "No agreement has been made.";
    // Export as Word Document's dialog and failure.
    static constexpr char kExportDocxTitle[] = "Export as Word Document";
    static constexpr char kExportDocxFilter[] = "Word Documents (*.docx)|*.docx";
    static constexpr char kExportDocxFailed[] = "The Word document could not be written.";

    enum class Item { Print, ExportPdf, ExportDocx, CopyPage };
    // One of the actions as the menu, the preview's buttons and Help name it.
    struct Command {
        Item item;
        const char* caption;
        const char* toolTip; // without the keys, which follow it
        QKeySequence keys;
    };

    // folder is where the PDF dialog opens; a successful export moves it, as a save does.
    PageActions(Platform& platform, std::function<Source()> source, QString& folder);

    // The preview's buttons, in the menu's order.
    static const std::array<Command, 3>& commands();
    // Only on the menu, beside Export as PDF, for an agreement written as .docx too.
    static const Command& exportDocxCommand();
    // The menu for the agreement shown now.
    std::vector<Command> menu() const;
    // Each command's caption, its keys after a tab where it has any, as a menu shows them.
    static QStringList menuItems(const std::vector<Command>& menu);
    // A command's caption or tool tip followed by its keys in brackets.
    static QString withKeys(const char* text, const QKeySequence& keys);

    // The pop-up menu at a point of the screen, then what was chosen from it.
    void showMenu(const QPoint& at);
    void run(Item item);
    void print();
    void exportPdf();
    void exportDocx();
    void copyPage();

private:
    // The file an export writes, asked for through the save dialog: Product::kDocumentName and the
    // suffix to begin with, the suffix added when the name comes back without one; empty when cancelled.
    QString exportTarget(const QString& title, const QString& filter, const QString& suffix) const;
    // "Done.", with the note on undrawn characters where there are some; the dialog opens in the
    // export's folder next time.
    void exported(const QString& target, const Source& source, const QString& undrawn);
    void fail(const QString& what, const QString& reason) const;

    Platform& mPlatform;
    std::function<Source()> mSource;
    QString& mFolder;
};
