#pragma once

#include "shell/platform.h"

#include "render/pagepicture.h"
#include <QString>
#include <QStringList>

#include <functional>

class QPoint;

// What the preview offers for the agreement beyond the screen: printing it and exporting it
// as a PDF (both from the working document, on as many pages as its text needs, with the
// page picture's line breaks) and copying its page. A failure is said in a message box and
// leaves no partial file; the preview itself is never changed.
class PageActions
{
public:
    // What the actions work on, as the preview holds it at the moment.
    struct Source {
        QString workingDocument;
        render::PagePicture page; // the page picture at its natural size
        QString caption;          // the caption of the boxes shown
    };

    // folder is where the PDF dialog opens; a successful export moves it, as a save does.
    PageActions(Platform& platform, std::function<Source()> source, QString& folder);

    static QStringList menuItems();

    // The pop-up menu at a point of the screen, then what was chosen from it.
    void showMenu(const QPoint& at);
    void print();
    void exportPdf();
    void copyPage();

private:
    void fail(const QString& what, const QString& reason) const;

    Platform& mPlatform;
    std::function<Source()> mSource;
    QString& mFolder;
};
