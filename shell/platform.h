#pragma once

#include <QDate>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <memory>

class QMimeData;
class QPoint;
class QPrinter;

// Every effect on the world outside the program's own windows and files goes through
// this seam, so that handlers can be driven headless by tests.
class Platform
{
public:
    enum class Icon { None, Warning };
    enum class Answer { Yes, No };

    virtual ~Platform() = default;

    // A modal box with a single OK button.
    virtual void showMessage(const QString& text, const QString& caption, Icon icon) = 0;
    // A modal Yes/No question without icon; Enter gives defaultAnswer. True for Yes.
    virtual bool askYesNo(const QString& text, const QString& caption,
                          Answer defaultAnswer = Answer::Yes) = 0;
    struct SaveDialog {
        QString title;
        QString filter;                // "Description (*.ext)|*.ext"
        QString folder;                // where the dialog opens
        QString fileName;              // what the name box offers; empty leaves it empty
        QString defaultSuffix;         // added to a name typed without one; empty adds nothing
        bool confirmOverwrite = false; // the dialog itself asks before an existing name is taken
    };
    // A modal save dialog; an empty string when cancelled.
    virtual QString getSaveFileName(const SaveDialog& dialog) = 0;
    struct OpenDialog {
        QString title;
        QString filter; // as SaveDialog's
        QString folder;
    };
    // A modal dialog that picks an existing file; an empty string when cancelled.
    virtual QString getOpenFileName(const OpenDialog& dialog) = 0;

    // The print dialog for printer, which it sets up; false when the user cancelled.
    virtual bool choosePrinter(QPrinter& printer) = 0;
    // A pop-up menu of items at a point of the screen; the index chosen, or -1 when none was.
    virtual int chooseFromMenu(const QStringList& items, const QPoint& at) = 0;

    virtual void setClipboard(std::unique_ptr<QMimeData> data) = 0;

    virtual QDate today() = 0;
    // A uniform fraction in [0, 1).
    virtual double randomFraction() = 0;
    virtual void openUrl(const QUrl& url) = 0;
    // Ends the program at once: no close handler of any window runs afterwards.
    virtual void endProgram() = 0;
};

// The real desktop: Qt's message boxes, file dialog, clipboard, clock and browser.
class QtPlatform final : public Platform
{
public:
    void showMessage(const QString& text, const QString& caption, Icon icon) override;
    bool askYesNo(const QString& text, const QString& caption, Answer defaultAnswer) override;
    QString getSaveFileName(const SaveDialog& dialog) override;
    QString getOpenFileName(const OpenDialog& dialog) override;
    bool choosePrinter(QPrinter& printer) override;
    int chooseFromMenu(const QStringList& items, const QPoint& at) override;
    void setClipboard(std::unique_ptr<QMimeData> data) override;
    QDate today() override;
    double randomFraction() override;
    void openUrl(const QUrl& url) override;
    void endProgram() override;
};
