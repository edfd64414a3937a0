#pragma once

#include "agreement/filledagreement.h"
#include "preview/pageactions.h"
#include "preview/previewlayout.h"
#include "preview/zoomgeometry.h"
#include "shell/platform.h"
#include "shell/windowpointer.h"
#include "shell/workingfiles.h"

#include "render/pagepicture.h"
#include <QPointer>
#include <QStandardPaths>
#include <QString>
#include <QWidget>

#include <array>
#include <memory>
#include <optional>

class PictureBox;
class QFrame;
class QGroupBox;
class QMouseEvent;
class QPushButton;
class QScrollBar;

// The preview window: shows the agreement's page picture with zoom, scroll bars and
// drag-to-pan, saves the agreement under a name of the user's choice, goes back
// to the main window, and ends the program when closed. Sizes and positions are kept in
// twips by ZoomGeometry; this class only binds that model to its widgets.
class Form2 : public QWidget
{
    Q_OBJECT

public:
    // mainWindow is shown again by "< Back"; the window runs Form_Load on creation.
    Form2(Platform& platform, QString programDirectory, QWidget* mainWindow = nullptr);

    // Assigns the page picture to Picture1; the next activation sets it up for zooming.
    // text is what a screen reader reads for the page.
    void placePicture(const render::PagePicture& picture, const QString& text = QString());
    // The caption of the window's message boxes (the application title).
    void setAppTitle(const QString& title) { mAppTitle = title; }

    // The agreement shown: what Save, Print, Export as PDF and Copy Page give, whatever has since
    // become of its working document.
    void setAgreement(std::shared_ptr<const agreement::FilledAgreement> agreement);

    QString mWordFile;
    // The working document as this run wrote it, held open, so that "< Back" removes this file and
    // never one that someone else has since put at mWordFile's name.
    WorkingFileLock mWordFileLock;
    bool mSetupPending = false;

    // Save's file filter; %1 is the extension of the working document's format.
    static constexpr char kSaveFilter[] = "Word Files (*%1)|*%1";
    // Why Save refuses the working document itself as its target.
    static constexpr char kWorkingDocumentAsTarget[] =
        "This is the preview's own working copy, which is removed when the preview closes. "
        "Choose another name to keep the agreement.";

    // The zoom, size, step and drag state (mZoom, mOrigWidth, ... mVStep) with its rules.
    ZoomGeometry& geometry() { return mGeometry; }
    WindowPointer& pointer() { return *mPointer; }

    // How the working document goes: after pending events have run, as the window's own
    // handlers remove it, or at once, for an ending that must not run what it interrupted.
    enum class Removal { AfterEvents, AtOnce };
    // Removes the working document, unless someone else's file has taken its name, and lets
    // go of its lock.
    void removeWorkingDocument(Removal removal);

    void Form_Load();
    void Form_Activate();
    void Form_QueryUnload();
    void StepZoom(qint32 ZoomOut);
    // Ctrl+0: back to zoom 1.
    void ZoomToOne();
    void SetZoom(float NewZoom);
    void RedrawImage();
    void SetupScrollbars();
    void SetHScrollbarByPercent(QScrollBar* HScrollbar, qint16 percent);
    void SetVScrollbarByPercent(QScrollBar* VScrollbar, qint16 percent);

    void PushButton1_Click();
    void PushButton2_Click();
    void PushButton6_Click();
    void PushButton8_Click();

    // Mouse handlers of Picture1; x and y in twips in Picture1's own coordinates.
    void picture1_MouseDown(float x, float y);
    void picture1_MouseMove(Qt::MouseButtons buttons, float x, float y);
    void Picture1_MouseUp();

    void HScroll1_Change(int value);
    void VScroll1_Change(int value);

protected:
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    // Puts the controls where the window's size puts them.
    void layoutControls();
    // Writes the agreement to target, replacing what is there only once the copy is complete.
    void copyWorkingDocument(const QString& target) const;

    void showDisplayBox();
    void showSource();
    void showBars();
    // Moves the page as a key or the wheel asks, through the scroll bar that shows it.
    bool scrollFor(QEvent* event);
    // Opens the page's menu when a key or a click over the page asks for it.
    bool pageMenuFor(QObject* watched, QEvent* event);
    PageActions::Source pageSource() const;
    // The page of the picture in view, from 0, as the page's tool tip names it.
    int pageInView() const;

    Platform& mPlatform;
    QString mProgramDirectory;
    std::shared_ptr<const agreement::FilledAgreement> mAgreement;
    QPointer<QWidget> mMainWindow;
    QString mAppTitle = QStringLiteral("Brindlewick Paperwork");
    // Where the save dialog opens: the Documents folder, then where this run saved last.
    QString mSaveFolder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    PageActions mPageActions{mPlatform, [this] { return pageSource(); }, mSaveFolder};
    // Where the page's right button went down, until it comes up again.
    std::optional<QPoint> mMenuPress;
    ZoomGeometry mGeometry;
    WindowPointer* mPointer = nullptr;
    bool mShowingBars = false;
    bool mActivating = false;
    bool mCentred = false;
    // Ctrl+wheel turned short of a notch.
    int mZoomWheel = 0;

    PictureBox* Zoom_Ori = nullptr;
    QGroupBox* Frame1 = nullptr;
    QPushButton* PushButton1 = nullptr;
    QPushButton* PushButton2 = nullptr;
    QFrame* Picture2 = nullptr;
    QWidget* mViewportArea = nullptr;
    PictureBox* Picture1 = nullptr;
    QScrollBar* VScroll1 = nullptr;
    QScrollBar* HScroll1 = nullptr;
    QPushButton* PushButton6 = nullptr;
    QPushButton* PushButton8 = nullptr;
    // Print, Export as PDF and Copy Page, where the layout puts the page's commands.
    std::array<QPushButton*, std::tuple_size_v<decltype(PreviewLayout::Places::pageCommands)>> mPageButtons{};
};
