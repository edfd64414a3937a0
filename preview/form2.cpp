#include "preview/form2.h"
#include "product/product.h"

#include "doc/fileio.h"
#include "preview/pageaccessible.h"
#include "preview/pagescroll.h"
#include "preview/picturebox.h"
#include "preview/previewlayout.h"
#include "preview/previewsizes.h"
#include "preview/savedecision.h"
#include "render/pagefonts.h"
#include "render/units.h"
#include "shell/errorreport.h"
#include "shell/windowaccessible.h"
#include "shell/windowlook.h"
#include "shell/windowplacement.h"
#include "shell/workingfiles.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QHash>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QScopeGuard>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QShortcut>
#include <QWheelEvent>

#include <cmath>

namespace
{

using Axis = ZoomGeometry::Axis;

constexpr char kForm[] = "Form2";
// What screen readers and the page's tool tip say.
constexpr char kWindowName[] = "Agreement preview";
constexpr char kBackName[] = "Back";
constexpr char kPageInView[] = "Page %1 of %2";
// A wheel notch; touchpads send fractions of it.
constexpr int kWheelNotch = 120;
// The buttons of the page's commands, in their order.
constexpr const char* kPageButtonNames[] = {"PrintButton", "ExportPdfButton", "CopyPageButton"};

int toPixels(double twips)
{
    return render::roundTwipsToPixels(twips);
}

double toPixelsF(double twips)
{
    return render::twipsToPixels(twips);
}

QFont arialBold(double points)
{
    render::registerPageFonts(render::Faces::Windows);
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(points);
    font.setBold(true);
    return font;
}

bool sameFile(const QString& a, const QString& b)
{
    const QString canonicalA = QFileInfo(a).canonicalFilePath();
    return !canonicalA.isEmpty() && canonicalA == QFileInfo(b).canonicalFilePath();
}

} // namespace

Form2::Form2(Platform& platform, QString programDirectory, QWidget* mainWindow)
    : mPlatform(platform), mProgramDirectory(std::move(programDirectory)), mMainWindow(mainWindow),
      mGeometry(PreviewSizes::kViewportSize.width, PreviewSizes::kViewportSize.height,
                PreviewSizes::kViewportBorderTwips)
{
    // Before anything asks for the window's accessible interface, which is then kept.
    WindowAccessible::announceAsWindow(*this);
    setObjectName(QStringLiteral("Form2"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setMinimumSize(PreviewLayout::minimumSize());
    resize(PreviewLayout::designSize());
    setFont(arialBold(9));
    setAccessibleName(QLatin1String(kWindowName));
    PageAccessible::install();
    createControls();
    Form_Load();
}

void Form2::createControls()
{
    mPointer = new WindowPointer(*this);
    const PreviewLayout::Places design = PreviewLayout::place(PreviewLayout::designSize());

    Zoom_Ori = new PictureBox(this);
    Zoom_Ori->setObjectName(QStringLiteral("Zoom_Ori"));
    Zoom_Ori->setGeometry(design.zoomOri);

    Frame1 = new QGroupBox(QStringLiteral("Zoom:"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));

    auto makeButton = [this](QWidget* parent, const char* name, const QString& caption) {
        auto* button = new QPushButton(caption, parent);
        button->setObjectName(QLatin1String(name));
        button->setFont(arialBold(11.25));
        // Return and Enter press the focused button, as Space does.
        button->setAutoDefault(true);
        // Unhandled, the button's mouse move would go on to the frame and the window,
        // whose hover puts the default pointer straight back.
        button->setAttribute(Qt::WA_NoMousePropagation);
        mPointer->watchButton(button);
        return button;
    };
    PushButton1 = makeButton(Frame1, "PushButton1", QStringLiteral("Zoom In"));
    PushButton2 = makeButton(Frame1, "PushButton2", QStringLiteral("Zoom Out"));

    Picture2 = new QFrame(this);
    Picture2->setObjectName(QStringLiteral("Picture2"));
    Picture2->setFrameStyle(QFrame::Box | QFrame::Plain);
    Picture2->setLineWidth(PreviewSizes::kViewportBorderTwips / render::kTwipsPerPixel);
    Picture2->setAttribute(Qt::WA_NoMousePropagation);
    QPalette white = Picture2->palette();
    white.setColor(QPalette::Window, Qt::white);
    Picture2->setPalette(white);
    Picture2->setAutoFillBackground(true);
    // The drawing area inside the border clips the display box.
    mViewportArea = new QWidget(Picture2);

    Picture1 = new PictureBox(mViewportArea);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    const QRect designPlace = design.picture1;
    Picture1->setGeometry(designPlace);
    mGeometry.assignPicture(designPlace.width() * render::kTwipsPerPixel,
                            designPlace.height() * render::kTwipsPerPixel);
    Picture1->installEventFilter(this);
    // The page takes the focus, so the arrow keys, Page Up and Down, Home and End reach it.
    Picture1->setFocusPolicy(Qt::StrongFocus);
    Picture1->setAccessibleName(QStringLiteral("Agreement page"));
    mViewportArea->installEventFilter(this);

    VScroll1 = new QScrollBar(Qt::Vertical, this);
    VScroll1->setObjectName(QStringLiteral("VScroll1"));
    HScroll1 = new QScrollBar(Qt::Horizontal, this);
    HScroll1->setObjectName(QStringLiteral("HScroll1"));
    for (QScrollBar* bar : {HScroll1, VScroll1}) {
        bar->setRange(0, 0);
        bar->setSingleStep(1);
        bar->setPageStep(1);
        // The picture follows when the thumb is released, not while it is dragged.
        bar->setTracking(false);
        bar->setAttribute(Qt::WA_NoMousePropagation);
    }
    HScroll1->setAccessibleName(QStringLiteral("Scroll the page sideways"));
    VScroll1->setAccessibleName(QStringLiteral("Scroll the page up and down"));
    connect(HScroll1, &QScrollBar::valueChanged, this, &Form2::HScroll1_Change);
    connect(VScroll1, &QScrollBar::valueChanged, this, &Form2::VScroll1_Change);

    PushButton6 = makeButton(this, "PushButton6", QStringLiteral("Save Results To Word File"));
    PushButton8 = makeButton(this, "PushButton8", QStringLiteral("< Back"));
    PushButton8->setAccessibleName(QLatin1String(kBackName));
    // The page's commands, also on its menu, with their keys wherever the focus is in the preview.
    static_assert(std::size(kPageButtonNames) == std::tuple_size_v<decltype(mPageButtons)> &&
                  std::tuple_size_v<std::remove_cvref_t<decltype(PageActions::commands())>> ==
                      std::tuple_size_v<decltype(mPageButtons)>);
    for (std::size_t i = 0; i < mPageButtons.size(); ++i) {
        const PageActions::Command& command = PageActions::commands()[i];
        mPageButtons[i] = makeButton(this, kPageButtonNames[i], QString::fromUtf8(command.caption));
        mPageButtons[i]->setToolTip(PageActions::withKeys(command.toolTip, command.keys));
        const auto run = [this, item = command.item] { mPageActions.run(item); };
        connect(mPageButtons[i], &QPushButton::clicked, this, run);
        connect(new QShortcut(command.keys, this), &QShortcut::activated, this, run);
    }
    layoutControls();

    // The zoom keys of every viewer run the zoom buttons' steps.
    const auto shortcut = [this](const QKeySequence& keys, auto handler) {
        connect(new QShortcut(keys, this), &QShortcut::activated, this, handler);
    };
    shortcut(QKeySequence::ZoomIn, &Form2::PushButton1_Click);
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_Equal), &Form2::PushButton1_Click);
    shortcut(QKeySequence::ZoomOut, &Form2::PushButton2_Click);
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_0), &Form2::ZoomToOne);

    connect(PushButton1, &QPushButton::clicked, this, &Form2::PushButton1_Click);
    connect(PushButton2, &QPushButton::clicked, this, &Form2::PushButton2_Click);
    connect(PushButton6, &QPushButton::clicked, this, &Form2::PushButton6_Click);
    connect(PushButton8, &QPushButton::clicked, this, &Form2::PushButton8_Click);

    mPointer->watchSurface(this);
    mPointer->watchSurface(Frame1);

    QWidget::setTabOrder(HScroll1, VScroll1);
    QWidget::setTabOrder(VScroll1, Picture1);
    QWidget::setTabOrder(Picture1, PushButton1);
    QWidget::setTabOrder(PushButton1, PushButton2);
    QWidget::setTabOrder(PushButton2, PushButton6);
    QWidget::setTabOrder(PushButton6, PushButton8);
    QWidget* previous = PushButton8;
    for (QPushButton* button : mPageButtons)
        QWidget::setTabOrder(std::exchange(previous, button), button);
}

void Form2::layoutControls()
{
    const PreviewLayout::Places places = PreviewLayout::place(size());
    Zoom_Ori->move(places.zoomOri.topLeft());
    Frame1->setGeometry(places.frame1);
    PushButton1->setGeometry(places.pushButton1);
    PushButton2->setGeometry(places.pushButton2);
    Picture2->setGeometry(places.picture2);
    mViewportArea->setGeometry(Picture2->contentsRect());
    VScroll1->setGeometry(places.vScroll1);
    HScroll1->setGeometry(places.hScroll1);
    PushButton6->setGeometry(places.pushButton6);
    PushButton8->setGeometry(places.pushButton8);
    for (std::size_t i = 0; i < mPageButtons.size(); ++i)
        mPageButtons[i]->setGeometry(places.pageCommands[i]);
}

void Form2::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layoutControls();
    mGeometry.resizeViewport(Picture2->width() * render::kTwipsPerPixel,
                             Picture2->height() * render::kTwipsPerPixel);
    showBars();
    showDisplayBox();
}

void Form2::Form_Load()
{
    ErrorReport report(mPlatform, QLatin1String(kForm), QStringLiteral("Form_Load"));
    report.step(100, [&] { mSetupPending = true; });
    report.step(102, [&] { WindowLook::SetControlColors(*this); });
    report.step(104, [&] {
        setWindowTitle(QLatin1String(Product::kName));
        setWindowIcon(mMainWindow ? mMainWindow->windowIcon() : QApplication::windowIcon());
    });
    mPointer->loadHandCursor(report, 108, 110, mProgramDirectory);
}

void Form2::placePicture(const render::PagePicture& picture, const QString& text)
{
    Picture1->setPicture(picture);
    Picture1->setReadableText(text);
    const QSize natural = PictureBox::naturalSize(picture);
    mGeometry.assignPicture(natural.width() * render::kTwipsPerPixel,
                            natural.height() * render::kTwipsPerPixel);
    showDisplayBox();
    mSetupPending = true;
}

void Form2::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        Form_Activate();
}

// Showing the window activates it; the set-up must not wait for a window manager that
// may hand over the focus late or, headless, not at all.
void Form2::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!mCentred) {
        mCentred = true;
        WindowPlacement::placeOnScreen(*this, PreviewLayout::designSize());
    }
    Form_Activate();
}

void Form2::Form_Activate()
{
    // Closing an error report's box hands the focus back and activates the window again;
    // that activation must not run the set-up a second time inside the first.
    if (mActivating)
        return;
    const QScopedValueRollback<bool> activating(mActivating, true);
    ErrorReport report(mPlatform, QLatin1String(kForm), QStringLiteral("Form_Activate"));
    bool pending = false;
    report.step(100, [&] { pending = mSetupPending; });
    if (pending) {
        // Picture1 repaints itself from what it holds, so persistent drawing (104, 114) is given.
        report.step(106, [&] { Picture1->setAutoSize(true); });
        report.step(110, [&] {
            QPalette palette = Picture1->palette();
            palette.setColor(QPalette::Window, Qt::white);
            Picture1->setPalette(palette);
        });
        report.step(116, [&] { Zoom_Ori->hide(); });
        report.step(118, [&] {
            mGeometry.copyDisplayWidthToSource();
            showSource();
        });
        report.step(120, [&] {
            mGeometry.copyDisplayHeightToSource();
            showSource();
        });
        report.step(122, [&] {
            Zoom_Ori->setPicture(Picture1->picture());
            const render::PagePicture& source = Zoom_Ori->picture();
            mGeometry.setSourcePageHeight(source.hasGround() ? source.tallestPage() * render::kTwipsPerPixel
                                                             : 0);
        });
        report.step(124, [&] { mGeometry.mZoom = 1.0f; });
        report.step(126, [&] { mGeometry.measureOrigWidth(); });
        report.step(128, [&] { mGeometry.measureOrigHeight(); });
        report.step(130, [&] { mGeometry.zoomWidthAtOne(); });
        report.step(132, [&] { mGeometry.zoomHeightAtOne(); });
        report.step(134, [&] { RedrawImage(); });
        report.step(136, [&] { SetupScrollbars(); });
    }
    report.step(138, [&] { mSetupPending = false; });
}

void Form2::PushButton1_Click()
{
    ErrorReport report(mPlatform, QLatin1String(kForm), QStringLiteral("PushButton1_Click"));
    report.step(100, [&] { StepZoom(0); });
}

void Form2::PushButton2_Click()
{
    ErrorReport report(mPlatform, QLatin1String(kForm), QStringLiteral("PushButton2_Click"));
    report.step(100, [&] { StepZoom(1); });
}

void Form2::ZoomToOne()
{
    ErrorReport report(mPlatform, QLatin1String(kForm), QStringLiteral("ZoomToOne"));
    report.step(100, [&] { SetZoom(1.0f); });
}

void Form2::StepZoom(qint32 ZoomOut)
{
    SetZoom(ZoomGeometry::steppedZoom(mGeometry.mZoom, ZoomOut));
}

void Form2::SetZoom(float NewZoom)
{
    if (!ZoomGeometry::zoomAccepted(NewZoom))
        return;
    mGeometry.mZoom = NewZoom;
    RedrawImage();
}

void Form2::RedrawImage()
{
    ErrorReport report(mPlatform, QLatin1String(kForm), QStringLiteral("RedrawImage"));
    report.step(100, [&] { mGeometry.computeZoomWidth(); });
    report.step(102, [&] { mGeometry.computeZoomHeight(); });
    bool paint = false;
    report.step(104, [&] { paint = mGeometry.fitsPaintLimit(); });
    if (paint) {
        report.step(106, [&] { Picture1->removePicture(); });
        report.step(108, [&] {
            mGeometry.sizeDisplayWidthToZoom();
            showDisplayBox();
        });
        report.step(110, [&] {
            mGeometry.sizeDisplayHeightToZoom();
            showDisplayBox();
        });
        report.step(112, [&] {
            // Always from the natural-size source, never from the previous painting.
            Picture1->paintPicture(
                Zoom_Ori->picture(),
                QRectF(0, 0, toPixelsF(mGeometry.mOrigWidth), toPixelsF(mGeometry.mOrigHeight)),
                QRectF(0, 0, toPixelsF(mGeometry.mZoomWidth), toPixelsF(mGeometry.mZoomHeight)));
        });
        report.step(114, [&] { mPointer->set(MousePointer::Default); });
        report.step(116, [&] {
            mGeometry.setBarValue(Axis::Horizontal, 0);
            showBars();
        });
        report.step(118, [&] {
            mGeometry.setBarValue(Axis::Vertical, 0);
            showBars();
        });
        report.step(120, [&] {
            mGeometry.enableBarForZoom(Axis::Horizontal);
            showBars();
        });
        report.step(122, [&] {
            mGeometry.enableBarForZoom(Axis::Vertical);
            showBars();
            SetupScrollbars();
        });
    } else {
        // Too large to paint: the screen stays as it was, and the next step starts from 1.
        report.step(124, [&] { mGeometry.mZoom = 1.0f; });
        report.step(126, [&] { mGeometry.measureOrigWidth(); });
        report.step(128, [&] { mGeometry.measureOrigHeight(); });
        report.step(130, [&] { mGeometry.zoomWidthAtOne(); });
        report.step(132, [&] { mGeometry.zoomHeightAtOne(); });
    }
}

void Form2::SetupScrollbars()
{
    // The box goes to the corner before the bars are fitted, so a fitting that fails
    // still leaves the widgets where the model has put them.
    const auto follow = qScopeGuard([this] {
        showDisplayBox();
        showBars();
    });
    mGeometry.setupScrollbars();
}

void Form2::HScroll1_Change(int value)
{
    if (mShowingBars)
        return;
    mGeometry.setBarValue(Axis::Horizontal, static_cast<qint16>(value));
    showDisplayBox();
}

void Form2::VScroll1_Change(int value)
{
    if (mShowingBars)
        return;
    mGeometry.setBarValue(Axis::Vertical, static_cast<qint16>(value));
    showDisplayBox();
}

void Form2::SetHScrollbarByPercent(QScrollBar* HScrollbar, qint16 percent)
{
    mGeometry.setBarByPercent(HScrollbar == VScroll1 ? Axis::Vertical : Axis::Horizontal, percent);
    showBars();
    showDisplayBox();
}

void Form2::SetVScrollbarByPercent(QScrollBar* VScrollbar, qint16 percent)
{
    mGeometry.setBarByPercent(VScrollbar == HScroll1 ? Axis::Horizontal : Axis::Vertical, percent);
    showBars();
    showDisplayBox();
}

bool Form2::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != Picture1 && watched != mViewportArea)
        return QWidget::eventFilter(watched, event);
    if (pageMenuFor(watched, event))
        return true;
    if ((event->type() == QEvent::Wheel || event->type() == QEvent::KeyPress) && scrollFor(event))
        return true;
    if (watched == Picture1) {
        const auto twips = [](const QMouseEvent* mouse) {
            return QPointF(mouse->position() * render::kTwipsPerPixel);
        };
        switch (event->type()) {
        case QEvent::MouseButtonPress: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            mMenuPress = mouse->button() == Qt::RightButton ? std::optional(mouse->globalPosition().toPoint())
                                                            : std::nullopt;
            const QPointF at = twips(mouse);
            picture1_MouseDown(float(at.x()), float(at.y()));
            return true;
        }
        case QEvent::MouseMove: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            const QPointF at = twips(mouse);
            picture1_MouseMove(mouse->buttons(), float(at.x()), float(at.y()));
            return true;
        }
        case QEvent::MouseButtonRelease: {
            Picture1_MouseUp();
            // A right button that did not drag asks for the page's menu; one that dragged panned.
            const QPoint at = static_cast<QMouseEvent*>(event)->globalPosition().toPoint();
            if (const std::optional<QPoint> press = std::exchange(mMenuPress, std::nullopt);
                press && (at - *press).manhattanLength() < QApplication::startDragDistance())
                mPageActions.showMenu(at);
            return true;
        }
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

PageActions::Source Form2::pageSource() const
{
    return {mAgreement, Zoom_Ori->picture(), pageInView(), mAppTitle};
}

bool Form2::pageMenuFor(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::ContextMenu) {
        const auto* menu = static_cast<QContextMenuEvent*>(event);
        // The page's own right button is handled when it is released, so a right drag pans.
        if (menu->reason() != QContextMenuEvent::Mouse || watched != Picture1)
            mPageActions.showMenu(menu->globalPos());
        return true;
    }
    if (event->type() != QEvent::KeyPress)
        return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() != Qt::Key_Menu && !(key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier))
        return false;
    mPageActions.showMenu(mViewportArea->mapToGlobal(mViewportArea->rect().center()));
    return true;
}

void Form2::picture1_MouseDown(float x, float y)
{
    ErrorReport report(mPlatform, QLatin1String(kForm), QStringLiteral("picture1_MouseDown"));
    report.step(100, [&] { mGeometry.mDownX = x; });
    report.step(102, [&] { mGeometry.mDownY = y; });
}

void Form2::picture1_MouseMove(Qt::MouseButtons buttons, float x, float y)
{
    ErrorReport report(mPlatform, QLatin1String(kForm), QStringLiteral("picture1_MouseMove"));
    bool pressed = false;
    report.step(100, [&] { pressed = buttons != Qt::NoButton; });
    if (!pressed)
        return;
    float newLeft = mGeometry.left();
    float newTop = mGeometry.top();
    report.step(104, [&] { newLeft = mGeometry.dragLeft(x); });
    report.step(114, [&] { newTop = mGeometry.dragTop(y); });
    report.step(124, [&] {
        mGeometry.moveDisplay(newLeft, newTop);
        showDisplayBox();
    });
}

void Form2::Picture1_MouseUp()
{
    ErrorReport report(mPlatform, QLatin1String(kForm), QStringLiteral("Picture1_MouseUp"));
    std::optional<qint16> horizontal;
    std::optional<qint16> vertical;
    report.step(100, [&] { horizontal = mGeometry.dragPercent(Axis::Horizontal); });
    report.step(102, [&] { vertical = mGeometry.dragPercent(Axis::Vertical); });
    if (horizontal)
        report.step(104, [&] { SetHScrollbarByPercent(HScroll1, *horizontal); });
    if (vertical)
        report.step(106, [&] { SetVScrollbarByPercent(VScroll1, *vertical); });
}

void Form2::PushButton6_Click()
{
    using SaveDecision::Answer;
    ErrorReport report(mPlatform, QLatin1String(kForm), QStringLiteral("PushButton6_Click"));
    QString dialogFileName;
    Platform::SaveDialog dialog;
    dialog.folder = mSaveFolder;
    report.step(106, [&] { dialogFileName.clear(); });
    report.step(108, [&] { dialog.title = QStringLiteral("Save File"); });
    // The working document's own format: a .doc, or an own .docx template's .docx.
    report.step(110, [&] {
        dialog.filter =
            QString::fromLatin1(kSaveFilter)
                .arg(QLatin1String(agreement::extension(mAgreement ? mAgreement->document().format()
                                                                   : agreement::DocumentFormat::Doc)));
    });
    report.step(112, [&] { dialogFileName = mPlatform.getSaveFileName(dialog); });
    QString chosen;
    report.step(114, [&] { chosen = dialogFileName; });

    Answer answer = Answer::NotAsked;
    bool cancelled = true;
    report.step(116, [&] { cancelled = chosen.isEmpty(); });
    if (!cancelled) {
        bool exists = false;
        bool ownFile = false;
        report.step(118, [&] {
            exists = FileExists(chosen);
            ownFile = exists && (sameFile(chosen, mWordFile) || mWordFileLock.isAt(chosen));
        });
        // Saving onto the working copy would leave the agreement in a file that "< Back"
        // removes: nothing is asked and nothing is copied.
        if (ownFile) {
            report.step(118, [&] {
                mPlatform.showMessage(QLatin1String(kWorkingDocumentAsTarget), mAppTitle,
                                      Platform::Icon::Warning);
            });
            return;
        }
        if (exists) {
            report.step(120, [&] {
                const bool yes = mPlatform.askYesNo(QStringLiteral("Are you sure you wish to overwrite ") +
                                                        chosen + QStringLiteral(" ?"),
                                                    mAppTitle);
                answer = yes ? Answer::Yes : Answer::No;
            });
            // The old file is not deleted first: the copy replaces it in one step once it is
            // complete, so a failed copy leaves the old file as it was.
        } else {
            report.step(126, [&] { answer = SaveDecision::withoutQuestion(); });
        }
    }
    bool copied = true;
    if (SaveDecision::copies(answer))
        copied = report.step(130, [&] {
            copyWorkingDocument(chosen);
            mSaveFolder = QFileInfo(chosen).absolutePath();
        });
    // A failed copy has been reported; "Done." would claim the opposite.
    if (copied)
        report.step(132,
                    [&] { mPlatform.showMessage(QStringLiteral("Done."), mAppTitle, Platform::Icon::None); });
}

void Form2::setAgreement(std::shared_ptr<const agreement::FilledAgreement> agreement)
{
    mAgreement = std::move(agreement);
}

void Form2::copyWorkingDocument(const QString& target) const
{
    // The working document was written with these bytes.
    if (!mAgreement)
        throw StepFailure(QLatin1String(PageActions::kNoAgreement));
    doc::fileio::replaceFile(filePath(target), mAgreement->bytes(), doc::fileio::Access::UsersFile);
}

void Form2::removeWorkingDocument(Removal removal)
{
    if (!mWordFile.isEmpty() && !mWordFileLock.replacedAt(mWordFile)) {
        if (removal == Removal::AfterEvents)
            DeleteFileQuietly(mWordFile);
        else
            QFile::remove(mWordFile);
    }
    // Windows keeps the name of a removed file until the last handle to it goes.
    mWordFileLock = WorkingFileLock();
}

void Form2::PushButton8_Click()
{
    ErrorReport report(mPlatform, QLatin1String(kForm), QStringLiteral("PushButton8_Click"));
    report.step(102, [&] { removeWorkingDocument(Removal::AfterEvents); });
    report.step(104, [&] {
        if (mMainWindow)
            mMainWindow->show();
    });
    report.step(106, [&] { hide(); });
}

void Form2::Form_QueryUnload()
{
    ErrorReport report(mPlatform, QLatin1String(kForm), QStringLiteral("Form_QueryUnload"));
    report.step(100, [&] { removeWorkingDocument(Removal::AfterEvents); });
    report.step(102, [] { QCoreApplication::processEvents(); });
    report.step(104, [] { QCoreApplication::processEvents(); });
}

void Form2::closeEvent(QCloseEvent* event)
{
    Form_QueryUnload();
    event->accept();
    mPlatform.endProgram();
}

bool Form2::scrollFor(QEvent* event)
{
    const auto state = [this](Axis axis) {
        const ZoomGeometry::Bar& bar = mGeometry.bar(axis);
        return PageScroll::BarState{bar.value, bar.maximum,
                                    axis == Axis::Horizontal ? mGeometry.mHStep : mGeometry.mVStep};
    };
    std::optional<PageScroll::Move> move;
    if (event->type() == QEvent::Wheel) {
        const auto* wheel = static_cast<QWheelEvent*>(event);
        if (wheel->modifiers() & Qt::ControlModifier) {
            event->accept();
            mZoomWheel += wheel->angleDelta().y();
            for (; mZoomWheel >= kWheelNotch; mZoomWheel -= kWheelNotch)
                PushButton1_Click();
            for (; mZoomWheel <= -kWheelNotch; mZoomWheel += kWheelNotch)
                PushButton2_Click();
            return true;
        }
        move = PageScroll::forWheel(wheel->angleDelta(), wheel->pixelDelta(),
                                    wheel->modifiers() & Qt::ShiftModifier, state(Axis::Horizontal),
                                    state(Axis::Vertical), mGeometry.mZoom);
        // A turn past the end is still the page's: it must not scroll the window behind.
        event->accept();
    } else {
        static const QHash<int, PageScroll::Key> keys{
            {Qt::Key_Up, PageScroll::Key::Up},         {Qt::Key_Down, PageScroll::Key::Down},
            {Qt::Key_Left, PageScroll::Key::Left},     {Qt::Key_Right, PageScroll::Key::Right},
            {Qt::Key_PageUp, PageScroll::Key::PageUp}, {Qt::Key_PageDown, PageScroll::Key::PageDown},
            {Qt::Key_Home, PageScroll::Key::Home},     {Qt::Key_End, PageScroll::Key::End}};
        const auto* key = static_cast<QKeyEvent*>(event);
        const auto found = keys.constFind(key->key());
        if (found == keys.constEnd() || (key->modifiers() & ~Qt::KeypadModifier))
            return false;
        move = PageScroll::forKey(*found, state(Axis::Horizontal), state(Axis::Vertical),
                                  mGeometry.viewportInnerHeight(), mGeometry.mZoom);
    }
    if (move)
        (move->axis == Axis::Horizontal ? HScroll1 : VScroll1)->setValue(move->value);
    return true;
}

int Form2::pageInView() const
{
    // The one across the middle of the viewport.
    return Picture1->pageAtRow(toPixelsF(mGeometry.viewportInnerHeight() / 2.0 - mGeometry.top()));
}

void Form2::showDisplayBox()
{
    Picture1->setGeometry(toPixels(mGeometry.left()), toPixels(mGeometry.top()),
                          qMax(0, toPixels(mGeometry.displayWidth())),
                          qMax(0, toPixels(mGeometry.displayHeight())));
    const QString inView =
        QString::fromLatin1(kPageInView).arg(pageInView() + 1).arg(qMax(1, Picture1->shown().pageCount()));
    if (Picture1->toolTip() != inView) {
        Picture1->setToolTip(inView);
        Picture1->setAccessibleDescription(inView);
    }
}

void Form2::showSource()
{
    Zoom_Ori->resize(qMax(0, toPixels(mGeometry.sourceWidth())), qMax(0, toPixels(mGeometry.sourceHeight())));
}

// The model's change handling has already moved the box; the widgets only follow.
void Form2::showBars()
{
    mShowingBars = true;
    for (Axis axis : {Axis::Horizontal, Axis::Vertical}) {
        QScrollBar* widget = axis == Axis::Horizontal ? HScroll1 : VScroll1;
        const ZoomGeometry::Bar& bar = mGeometry.bar(axis);
        widget->setRange(0, bar.maximum);
        widget->setValue(bar.value);
        widget->setEnabled(bar.enabled);
    }
    mShowingBars = false;
}
