#include "agreement/filledagreement.h"
#include "doc/worddocument.h"
#include "preview/form2.h"
#include "preview/picturebox.h"
#include "product/product.h"
#include "support/cursorfiles.h"
#include "support/fakeplatform.h"
#include "support/sampleparticulars.h"
#include "support/testsystem.h"

#include <QAccessible>
#include <QBuffer>
#include <QFile>
#include <QGroupBox>
#include <QImage>
#include <QPainter>
#include <QPicture>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using Axis = ZoomGeometry::Axis;
using Message = FakePlatform::Message;

namespace
{

// A page like the agreement's: white, with a black block 100 pixels square and text.
QPicture makePage(int width, int height, qreal blockLeft = 10)
{
    QPicture picture;
    QPainter painter(&picture);
    painter.fillRect(QRect(0, 0, width, height), Qt::white);
    painter.fillRect(QRectF(blockLeft, 10, 100, 100), Qt::black);
    painter.setPen(Qt::black);
    painter.setFont(QFont(QStringLiteral("Liberation Serif"), 12));
    for (int y = 140; y + 20 < height; y += 20)
        painter.drawText(QPointF(12, y), QStringLiteral("Contractor Agreement, line %1").arg(y));
    painter.end();
    return picture;
}

void sendMouse(QWidget* widget, QEvent::Type type, QPoint at, Qt::MouseButtons buttons,
               Qt::MouseButton pressed = Qt::LeftButton)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : pressed;
    QMouseEvent event(type, QPointF(at), QPointF(widget->mapToGlobal(at)), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

} // namespace

class tst_Form2 : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void layoutAndCaptions();
    void setupOnActivation();
    void zoomInTenTimesThenNothing();
    void zoomOutThreeTimesThenNothing();
    void rejectedStepShowsNothingNewAndNextStartsFromOne();
    void oversizedPictureStaysAtNaturalSize();
    void oversizedPictureZoomsOutOnlyWhenItFits();
    void narrowPictureSitsLeftWithBarDisabled();
    void scrollBarMovesPicture();
    void wheelAndKeysMoveThroughTheBars();
    void growsWithTheWindow();
    void returnAndEnterPressTheFocusedButton_data();
    void returnAndEnterPressTheFocusedButton();
    void pageMenuPrintsExportsAndCopies();
    void thumbDragMovesPictureOnRelease();
    void barOverflowReportedByActivation();
    void barOverflowStillPutsBoxAtCorner();
    void emptyPictureShowsNothingOfThePrevious();
    void dragMovesPictureAndBarsFollowOnRelease();
    void dragPastEdgeStops();
    void moveWithoutButtonChangesNothing();
    void activationAgainKeepsZoomAndScroll();
    void newPictureResetsOnNextActivation();
    void paintsCrispAtDevicePixelRatioTwo_data();
    void paintsCrispAtDevicePixelRatioTwo();
    void repaintComesFromNaturalSize();
    void newPictureOfSameSizeReplacesOldOnScreen_data();
    void newPictureOfSameSizeReplacesOldOnScreen();
    void hoverPointers();
    void hoverKeepsHourglass();
    void handCursorFromProgramDirectory();
    void saveCancelled();
    void saveOutcomes_data();
    void saveOutcomes();
    void saveTwiceInARow();
    void saveOntoWorkingDocumentRefused();
    void saveCopiesHeldWorkingDocument();
    void backDeletesAndSwapsWindows();
    void closeDeletesAndEndsProgram();
    void closeWithWorkingDocumentGoneSaysNothing();

private:
    Form2& form() { return *mForm; }
    QWidget* picture1() { return mForm->findChild<QWidget*>(QStringLiteral("Picture1")); }
    QScrollBar* bar(const char* name) { return mForm->findChild<QScrollBar*>(QLatin1String(name)); }
    QPushButton* button(const char* name) { return mForm->findChild<QPushButton*>(QLatin1String(name)); }
    void showWith(const QPicture& picture, const QString& text = QString());
    void click(const char* name, int times = 1);
    QImage renderPicture1(qreal ratio);

    FakePlatform mPlatform;
    std::unique_ptr<QTemporaryDir> mDir;
    std::unique_ptr<QWidget> mMainWindow;
    std::unique_ptr<Form2> mForm;
    QString mWordFile;
    QByteArray mWordBytes;
};

void tst_Form2::init()
{
    mPlatform = FakePlatform();
    mDir = std::make_unique<QTemporaryDir>();
    mMainWindow = std::make_unique<QWidget>();
    mForm = std::make_unique<Form2>(mPlatform, mDir->path(), mMainWindow.get());
    mWordFile = mDir->path() + QStringLiteral("/vellum12345678.doc");
    const auto filled = std::make_shared<const agreement::FilledAgreement>(
        doc::WordDocument::load(BRINDLEWICK_SOURCE_DIR "/resources/template.doc"), kSample,
        kSample.agreementDate, QLocale::c());
    mWordBytes =
        QByteArray(reinterpret_cast<const char*>(filled->bytes().data()), qsizetype(filled->bytes().size()));
    writeFile(mWordFile, mWordBytes);
    mForm->mWordFile = mWordFile;
    mForm->setAgreement(filled);
}

void tst_Form2::cleanup()
{
    mForm.reset();
    mMainWindow.reset();
    mDir.reset();
}

void tst_Form2::showWith(const QPicture& picture, const QString& text)
{
    mForm->placePicture(picture, text);
    mForm->show();
    mMainWindow->hide();
}

void tst_Form2::click(const char* name, int times)
{
    for (int i = 0; i < times; ++i)
        QTest::mouseClick(button(name), Qt::LeftButton);
}

QImage tst_Form2::renderPicture1(qreal ratio)
{
    QWidget* box = picture1();
    QImage image(box->size() * ratio, QImage::Format_ARGB32);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::red);
    box->render(&image);
    return image;
}

void tst_Form2::layoutAndCaptions()
{
    QCOMPARE(form().windowTitle(), QStringLiteral("Brindlewick Paperwork Studio"));
    QCOMPARE(form().size(), QSize(656, 659));
    const struct {
        const char* name;
        QRect place;
    } expected[] = {
        {"Picture2", QRect(8, 8, 622, 495)},          {"VScroll1", QRect(630, 8, 17, 495)},
        {"HScroll1", QRect(8, 503, 622, 17)},         {"Frame1", QRect(8, 524, 640, 57)},
        {"PushButton1", QRect(16, 20, 296, 27)},      {"PushButton2", QRect(320, 20, 304, 27)},
        {"PushButton6", QRect(328, 590, 320, 27)},    {"PushButton8", QRect(8, 590, 312, 27)},
        {"PrintButton", QRect(8, 623, 208, 27)},      {"ExportPdfButton", QRect(224, 623, 208, 27)},
        {"CopyPageButton", QRect(440, 623, 208, 27)},
    };
    for (const auto& control : expected) {
        const QWidget* widget = form().findChild<QWidget*>(QLatin1String(control.name));
        QVERIFY2(widget, control.name);
        QCOMPARE(widget->geometry(), control.place);
    }
    QCOMPARE(button("PushButton1")->text(), QStringLiteral("Zoom In"));
    QCOMPARE(button("PushButton2")->text(), QStringLiteral("Zoom Out"));
    QCOMPARE(button("PushButton6")->text(), QStringLiteral("Save Results To Word File"));
    QCOMPARE(button("PushButton8")->text(), QStringLiteral("< Back"));
    QCOMPARE(form().findChild<QGroupBox*>(QStringLiteral("Frame1"))->title(), QStringLiteral("Zoom:"));
    for (const auto& [name, command] : {std::pair{"PrintButton", PageActions::commands()[0]},
                                        {"ExportPdfButton", PageActions::commands()[1]},
                                        {"CopyPageButton", PageActions::commands()[2]}}) {
        QCOMPARE(button(name)->text(), QString::fromUtf8(command.caption));
        QCOMPARE(button(name)->toolTip(), PageActions::withKeys(command.toolTip, command.keys));
    }
    QVERIFY(form().mSetupPending);
    QVERIFY(mPlatform.messages.empty());
}

void tst_Form2::setupOnActivation()
{
    showWith(makePage(720, 1000));
    QVERIFY(!form().mSetupPending);
    ZoomGeometry& g = form().geometry();
    QCOMPARE(g.mZoom, 1.0f);
    QCOMPARE(g.mOrigWidth, 10798);
    QCOMPARE(g.mOrigHeight, 14998);
    QCOMPARE(picture1()->geometry(), QRect(0, 0, 720, 1000));
    // 10798 - 9330 = 1468: 146.8 -> 147 ten-twip units; 14998 - 7425 = 7573 -> 757.
    QCOMPARE(bar("HScroll1")->maximum(), 147);
    QCOMPARE(bar("VScroll1")->maximum(), 757);
    QCOMPARE(bar("HScroll1")->value(), 0);
    QVERIFY(bar("HScroll1")->isEnabled());
    QVERIFY(bar("VScroll1")->isEnabled());
    QCOMPARE(g.mHStep, qint16(10));
    QVERIFY(form().findChild<QWidget*>(QStringLiteral("Zoom_Ori"))->isHidden());
    QVERIFY(mPlatform.messages.empty());
}

void tst_Form2::zoomInTenTimesThenNothing()
{
    showWith(makePage(200, 250));
    click("PushButton1", 10);
    QCOMPARE(form().geometry().mZoom, 3.5f);
    // 2998 * 3.5 = 10493 twips.
    QCOMPARE(form().geometry().mZoomWidth, 10493);
    const QRect before = picture1()->geometry();
    QCOMPARE(before, QRect(0, 0, 700, 875));
    click("PushButton1");
    QCOMPARE(form().geometry().mZoom, 3.5f);
    QCOMPARE(picture1()->geometry(), before);
    QVERIFY(mPlatform.messages.empty());
}

void tst_Form2::zoomOutThreeTimesThenNothing()
{
    showWith(makePage(720, 1000));
    click("PushButton2", 3);
    QCOMPARE(form().geometry().mZoom, 0.25f);
    QCOMPARE(form().geometry().mZoomWidth, 2699);
    QCOMPARE(picture1()->size(), QSize(180, 250));
    QVERIFY(!bar("HScroll1")->isEnabled());
    QVERIFY(!bar("VScroll1")->isEnabled());
    click("PushButton2");
    QCOMPARE(form().geometry().mZoom, 0.25f);
    QCOMPARE(picture1()->size(), QSize(180, 250));
}

void tst_Form2::rejectedStepShowsNothingNewAndNextStartsFromOne()
{
    // 5998 x 7498 twips: 2.0 paints 11996 wide, 2.25 would be 13495.
    showWith(makePage(400, 500));
    click("PushButton1", 4);
    QCOMPARE(form().geometry().mZoom, 2.0f);
    bar("HScroll1")->setValue(10);
    const QRect shown = picture1()->geometry();
    const int hValue = bar("HScroll1")->value();
    const int hMaximum = bar("HScroll1")->maximum();
    click("PushButton1");
    QCOMPARE(form().geometry().mZoom, 1.0f);
    QCOMPARE(picture1()->geometry(), shown);
    QCOMPARE(bar("HScroll1")->value(), hValue);
    QCOMPARE(bar("HScroll1")->maximum(), hMaximum);
    click("PushButton1");
    QCOMPARE(form().geometry().mZoom, 1.25f);
    QCOMPARE(picture1()->geometry(), QRect(0, 0, 500, 625));

    click("PushButton1", 4); // 2.25 rejected again, back to 1
    QCOMPARE(form().geometry().mZoom, 1.0f);
    click("PushButton2");
    QCOMPARE(form().geometry().mZoom, 0.75f);
    QVERIFY(mPlatform.messages.empty());
}

void tst_Form2::oversizedPictureStaysAtNaturalSize()
{
    showWith(makePage(900, 700)); // 13500 twips wide: 13498 cannot be painted
    QCOMPARE(form().geometry().mZoom, 1.0f);
    QCOMPARE(picture1()->geometry(), QRect(0, 0, 900, 700));
    // Fitted to the natural 13500: an excess of 4170.
    QCOMPARE(bar("HScroll1")->maximum(), 417);
    QVERIFY(bar("HScroll1")->isEnabled());
    click("PushButton1");
    QCOMPARE(form().geometry().mZoom, 1.0f);
    QCOMPARE(picture1()->size(), QSize(900, 700));
    click("PushButton2"); // 0.75 gives 10123: painted
    QCOMPARE(form().geometry().mZoom, 0.75f);
    QCOMPARE(picture1()->size(), QSize(675, 525));
}

void tst_Form2::oversizedPictureZoomsOutOnlyWhenItFits()
{
    showWith(makePage(1200, 700)); // 0.75 of 17998 is 13498: never paintable
    for (int i = 0; i < 3; ++i) {
        click("PushButton2");
        QCOMPARE(form().geometry().mZoom, 1.0f);
        QCOMPARE(picture1()->size(), QSize(1200, 700));
    }
}

void tst_Form2::narrowPictureSitsLeftWithBarDisabled()
{
    showWith(makePage(300, 1000));
    QVERIFY(!bar("HScroll1")->isEnabled());
    QCOMPARE(form().geometry().mHStep, qint16(0));
    QCOMPARE(picture1()->pos(), QPoint(0, 0));
}

void tst_Form2::scrollBarMovesPicture()
{
    showWith(makePage(720, 1000));
    bar("HScroll1")->setValue(20);
    QCOMPARE(form().geometry().left(), -200.0f);
    QCOMPARE(picture1()->x(), -13);
    bar("VScroll1")->setValue(757);
    QCOMPARE(form().geometry().top(), -7570.0f);
    QCOMPARE(picture1()->y(), -505);
}

// The wheel and the keys set the bars, whose change handling moves the page.
void tst_Form2::wheelAndKeysMoveThroughTheBars()
{
    showWith(makePage(600, 1000), QStringLiteral("THIS AGREEMENT made the 5th day of June"));
    QWheelEvent wheel(QPointF(20, 20), picture1()->mapToGlobal(QPointF(20, 20)), QPoint(), QPoint(0, -120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(picture1(), &wheel);
    const int afterWheel = bar("VScroll1")->value();
    QVERIFY(afterWheel > 0);
    QCOMPARE(form().geometry().top(), -float(afterWheel * form().geometry().mVStep));
    QCOMPARE(picture1()->y(), qRound(form().geometry().top() / 15));
    QTest::keyClick(picture1(), Qt::Key_End);
    QCOMPARE(bar("VScroll1")->value(), bar("VScroll1")->maximum());
    QTest::keyClick(picture1(), Qt::Key_Home);
    QCOMPARE(form().geometry().top(), 0.0f);

    // Ctrl with the wheel, and the zoom keys, run the zoom buttons' steps.
    QWheelEvent zoomWheel(QPointF(20, 20), picture1()->mapToGlobal(QPointF(20, 20)), QPoint(),
                          QPoint(0, -120), Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(picture1(), &zoomWheel);
    QCOMPARE(form().geometry().mZoom, 0.75f);
    form().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form()));
    QTest::keyClick(picture1(), Qt::Key_Plus, Qt::ControlModifier);
    QCOMPARE(form().geometry().mZoom, 1.0f);
    QTest::keyClick(picture1(), Qt::Key_Minus, Qt::ControlModifier);
    QTest::keyClick(picture1(), Qt::Key_Minus, Qt::ControlModifier);
    QCOMPARE(form().geometry().mZoom, 0.5f);
    QTest::keyClick(picture1(), Qt::Key_0, Qt::ControlModifier);
    QCOMPARE(form().geometry().mZoom, 1.0f);

    QCOMPARE(picture1()->focusPolicy(), Qt::StrongFocus);
    QAccessibleInterface* page = QAccessible::queryAccessibleInterface(picture1());
    QVERIFY(page);
    QVERIFY(!page->text(QAccessible::Name).isEmpty());
    QVERIFY(page->text(QAccessible::Description).contains(QLatin1String("1")));
    QVERIFY(page->textInterface());
    int start = 0;
    int end = 0;
    QCOMPARE(page->textInterface()->textAtOffset(5, QAccessible::WordBoundary, &start, &end),
             QStringLiteral("AGREEMENT"));
    QCOMPARE(page->textInterface()->characterCount(), 39);
    QAccessibleInterface* window = QAccessible::queryAccessibleInterface(&form());
    QVERIFY(window);
    QCOMPARE(window->role(), QAccessible::Window);
    QVERIFY(window->text(QAccessible::Name) != form().windowTitle());
    QVERIFY(
        !QAccessible::queryAccessibleInterface(button("PushButton8"))->text(QAccessible::Name).contains('<'));
    for (const char* name : {"HScroll1", "VScroll1"})
        QVERIFY(!QAccessible::queryAccessibleInterface(bar(name))->text(QAccessible::Name).isEmpty());
}

// A larger window gives the viewport the room; the controls below it keep their heights at the bottom.
void tst_Form2::growsWithTheWindow()
{
    showWith(makePage(600, 1000));
    const QRect viewport = form().findChild<QWidget*>(QStringLiteral("Picture2"))->geometry();
    QVERIFY(bar("VScroll1")->isEnabled());
    form().resize(form().size() + QSize(200, 600));
    QCOMPARE(form().findChild<QWidget*>(QStringLiteral("Picture2"))->geometry(),
             viewport.adjusted(0, 0, 200, 600));
    for (const char* name : {"PrintButton", "ExportPdfButton", "CopyPageButton"})
        QCOMPARE(button(name)->geometry().bottom(), form().height() - 10);
    QCOMPARE(bar("VScroll1")->geometry().height(), viewport.height() + 600);
    // The whole page fits now: nothing left to scroll.
    QVERIFY(!bar("VScroll1")->isEnabled());
    QCOMPARE(form().geometry().viewportHeight(), (viewport.height() + 600) * 15);
}

void tst_Form2::returnAndEnterPressTheFocusedButton_data()
{
    QTest::addColumn<Qt::Key>("key");
    QTest::newRow("Return") << Qt::Key_Return;
    QTest::newRow("Enter") << Qt::Key_Enter;
}

void tst_Form2::returnAndEnterPressTheFocusedButton()
{
    QFETCH(Qt::Key, key);
    showWith(makePage(200, 250));
    button("PushButton1")->setFocus(Qt::TabFocusReason);
    QTest::keyClick(button("PushButton1"), key);
    QVERIFY(form().geometry().mZoom > 1.0f);
}

// A right click that does not drag opens the page's menu, whose items show their keys; its items reach
// the printer, a PDF file and the clipboard; a right drag still pans; the buttons and keys run them too.
void tst_Form2::pageMenuPrintsExportsAndCopies()
{
    showWith(makePage(600, 1000));
    const auto rightClick = [this](QPoint from, QPoint to) {
        sendMouse(picture1(), QEvent::MouseButtonPress, from, Qt::RightButton, Qt::RightButton);
        if (to != from)
            sendMouse(picture1(), QEvent::MouseMove, to, Qt::RightButton);
        sendMouse(picture1(), QEvent::MouseButtonRelease, to, Qt::NoButton, Qt::RightButton);
    };

    mPlatform.menuChoice = 1;
    mPlatform.saveFileAnswers.push_back(mDir->path() + QStringLiteral("/agreement"));
    rightClick(QPoint(50, 50), QPoint(50, 50));
    QCOMPARE(mPlatform.menus.size(), std::size_t(1));
    for (const PageActions::Command& command : PageActions::commands())
        QVERIFY(mPlatform.menus.front().contains(QString::fromUtf8(command.caption) + u'\t' +
                                                 command.keys.toString(QKeySequence::NativeText)));
    QCOMPARE(mPlatform.saveDialogs.back().defaultSuffix, QStringLiteral("pdf"));
    QCOMPARE(mPlatform.saveDialogs.back().fileName,
             QString::fromLatin1(Product::kDocumentName) + QStringLiteral(".pdf"));
    QVERIFY(readAll(mDir->path() + QStringLiteral("/agreement.pdf")).startsWith("%PDF"));
    QCOMPARE(mPlatform.messageTexts(), QStringList{QStringLiteral("Done.")});

    mPlatform.menuChoice = 0;
    mPlatform.printToFile = mDir->path() + QStringLiteral("/printed.pdf");
    rightClick(QPoint(50, 50), QPoint(51, 50));
    QVERIFY(readAll(mPlatform.printToFile).startsWith("%PDF"));

    // The standard agreement is written as .docx too: its export sits beside the PDF's.
    mPlatform.menuChoice = 2;
    QCOMPARE(mPlatform.menus.back()[mPlatform.menuChoice],
             QString::fromUtf8(PageActions::exportDocxCommand().caption));
    mPlatform.saveFileAnswers.push_back(mDir->path() + QStringLiteral("/agreement"));
    rightClick(QPoint(50, 50), QPoint(50, 50));
    QCOMPARE(mPlatform.saveDialogs.back().filter, QLatin1String(PageActions::kExportDocxFilter));
    const QString docx = mDir->path() + QStringLiteral("/agreement") +
                         QLatin1String(agreement::extension(agreement::DocumentFormat::Docx));
    const QByteArray written = readAll(docx);
    QCOMPARE(
        agreement::AgreementDocument::fromBytes({reinterpret_cast<const std::uint8_t*>(written.constData()),
                                                 static_cast<std::size_t>(written.size())})
            .format(),
        agreement::DocumentFormat::Docx);

    mPlatform.menuChoice = 3;
    rightClick(QPoint(50, 50), QPoint(50, 50));
    QVERIFY(mPlatform.clipboardData && mPlatform.clipboardData->hasImage());

    const float top = form().geometry().top();
    rightClick(QPoint(50, 300), QPoint(50, 100));
    QCOMPARE(mPlatform.menus.size(), std::size_t(4));
    QVERIFY(form().geometry().top() < top);

    form().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form()));
    picture1()->setFocus();
    QTest::keyClick(picture1(), Qt::Key_P, Qt::ControlModifier);
    QCOMPARE(mPlatform.printDialogs, 2);
    click("PrintButton");
    QCOMPARE(mPlatform.printDialogs, 3);
    mPlatform.clipboardData.reset();
    QTest::keyClick(picture1(), Qt::Key_C, Qt::ControlModifier);
    QVERIFY(mPlatform.clipboardData);
    const std::size_t dialogs = mPlatform.saveDialogs.size();
    QTest::keyClick(picture1(), Qt::Key_E, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(mPlatform.saveDialogs.size(), dialogs + 1);

    // A failed export says why and leaves nothing.
    mPlatform.menuChoice = 1;
    const QString missing = mDir->path() + QStringLiteral("/no such folder/agreement.pdf");
    mPlatform.saveFileAnswers.push_back(missing);
    QTest::keyClick(picture1(), Qt::Key_F10, Qt::ShiftModifier);
    QCOMPARE(mPlatform.messages.back().icon, Platform::Icon::Warning);
    QVERIFY2(mPlatform.messages.back().text.contains(TestSystem::reasonNoSuchFolder()),
             qPrintable(mPlatform.messages.back().text));
    QVERIFY(!QFile::exists(missing));

    // A character no installed font draws is named with the particular that holds it.
    const QString noFont = QString::fromUcs4(U"\U0010FFFD"); // private use: no font has it
    agreement::Particulars particulars = kSample;
    particulars[agreement::Field::Owner] += noFont;
    form().setAgreement(std::make_shared<const agreement::FilledAgreement>(
        doc::WordDocument::load(BRINDLEWICK_SOURCE_DIR "/resources/template.doc"), particulars,
        kSample.agreementDate, QLocale::c()));
    mPlatform.saveFileAnswers.push_back(mDir->path() + QStringLiteral("/boxes.pdf"));
    QTest::keyClick(picture1(), Qt::Key_F10, Qt::ShiftModifier);
    const QString where = QString::fromLatin1(agreement::FilledAgreement::kUndrawnWhere)
                              .arg(QLatin1String(agreement::plainName(agreement::Field::Owner)), noFont);
    QVERIFY2(
        mPlatform.messages.back().text.endsWith(QString::fromLatin1(PageActions::kUndrawnNote).arg(where)),
        qPrintable(mPlatform.messages.back().text));
}

void tst_Form2::thumbDragMovesPictureOnRelease()
{
    showWith(makePage(720, 1000));
    QScrollBar* vertical = bar("VScroll1");
    vertical->setSliderDown(true);
    vertical->setSliderPosition(300);
    QCOMPARE(picture1()->y(), 0);
    vertical->setSliderDown(false);
    QCOMPARE(vertical->value(), 300);
    QCOMPARE(picture1()->y(), -200);
}

void tst_Form2::barOverflowReportedByActivation()
{
    // 23000 pixels are 345000 twips: 33567 ten-twip units do not fit a 16-bit bar.
    showWith(makePage(23000, 300));
    QCOMPARE(mPlatform.messages.size(), size_t(1));
    QVERIFY2(mPlatform.messages[0].text.startsWith(
                 QStringLiteral("Overflow\r\nin Pactforge2021/08/31.Form2.Form_Activate at line 136\r\r")),
             qPrintable(mPlatform.messages[0].text));
    QVERIFY(!form().mSetupPending);

    // The window activated again when a report's box closes does not set up again.
    mPlatform.messages.clear();
    mPlatform.onMessage = [this](const FakePlatform::Message&) { form().Form_Activate(); };
    click("PushButton8");
    showWith(makePage(23000, 300));
    QCOMPARE(mPlatform.messages.size(), size_t(1));
}

void tst_Form2::barOverflowStillPutsBoxAtCorner()
{
    showWith(makePage(720, 1000));
    bar("HScroll1")->setValue(20);
    bar("VScroll1")->setValue(30);
    QCOMPARE(picture1()->pos(), QPoint(-13, -20));
    click("PushButton8");
    // The fitting fails on the width, after the box has gone to the corner.
    showWith(makePage(23000, 300));
    QCOMPARE(mPlatform.messages.size(), size_t(1));
    QCOMPARE(form().geometry().left(), 0.0f);
    QCOMPARE(form().geometry().top(), 0.0f);
    QCOMPARE(picture1()->pos(), QPoint(0, 0));
}

void tst_Form2::emptyPictureShowsNothingOfThePrevious()
{
    showWith(makePage(720, 1000));
    click("PushButton8");
    showWith(QPicture());
    QVERIFY(mPlatform.messages.empty());
    QVERIFY(picture1()->size().isEmpty());
    QVERIFY(!bar("HScroll1")->isEnabled());
    QVERIFY(!bar("VScroll1")->isEnabled());
    QImage viewport(form().findChild<QWidget*>(QStringLiteral("Picture2"))->size(), QImage::Format_RGB32);
    viewport.fill(Qt::red);
    form().findChild<QWidget*>(QStringLiteral("Picture2"))->render(&viewport);
    // Inside the one-pixel border all is white.
    for (int y = 1; y < viewport.height() - 1; y += 7)
        for (int x = 1; x < viewport.width() - 1; x += 7)
            QCOMPARE(viewport.pixel(x, y), qRgb(255, 255, 255));
}

void tst_Form2::dragMovesPictureAndBarsFollowOnRelease()
{
    showWith(makePage(720, 1000));
    QWidget* box = picture1();
    sendMouse(box, QEvent::MouseButtonPress, QPoint(100, 100), Qt::LeftButton);
    sendMouse(box, QEvent::MouseMove, QPoint(50, 40), Qt::LeftButton);
    QCOMPARE(box->pos(), QPoint(-50, -60));
    // The bars only follow when the button is released.
    QCOMPARE(bar("HScroll1")->value(), 0);
    sendMouse(box, QEvent::MouseButtonRelease, QPoint(100, 100), Qt::NoButton);
    // 750 / 1468 -> 51 % of 147 -> 75; 900 / 7573 -> 12 % of 757 -> 91.
    QCOMPARE(bar("HScroll1")->value(), 75);
    QCOMPARE(bar("VScroll1")->value(), 91);
    QCOMPARE(form().geometry().left(), -750.0f);
    QCOMPARE(form().geometry().top(), -910.0f);
    QCOMPARE(box->pos(), QPoint(-50, -61));
    QVERIFY(mPlatform.messages.empty());
}

void tst_Form2::dragPastEdgeStops()
{
    showWith(makePage(720, 1000));
    QWidget* box = picture1();
    sendMouse(box, QEvent::MouseButtonPress, QPoint(600, 400), Qt::LeftButton);
    sendMouse(box, QEvent::MouseMove, QPoint(-2000, -2000), Qt::LeftButton);
    // Right and bottom edges at the viewport's inner edges: 9300 - 10798, 7395 - 14998.
    QCOMPARE(form().geometry().left(), -1498.0f);
    QCOMPARE(form().geometry().top(), -7603.0f);
    sendMouse(box, QEvent::MouseMove, QPoint(5000, 5000), Qt::LeftButton);
    QCOMPARE(box->pos(), QPoint(0, 0));
}

void tst_Form2::moveWithoutButtonChangesNothing()
{
    showWith(makePage(720, 1000));
    sendMouse(picture1(), QEvent::MouseButtonPress, QPoint(100, 100), Qt::LeftButton);
    sendMouse(picture1(), QEvent::MouseButtonRelease, QPoint(100, 100), Qt::NoButton);
    sendMouse(picture1(), QEvent::MouseMove, QPoint(10, 10), Qt::NoButton);
    QCOMPARE(picture1()->pos(), QPoint(0, 0));
}

void tst_Form2::activationAgainKeepsZoomAndScroll()
{
    showWith(makePage(720, 1000));
    click("PushButton2");
    bar("VScroll1")->setValue(30);
    const QRect shown = picture1()->geometry();
    form().Form_Activate();
    form().hide();
    form().show();
    QCOMPARE(form().geometry().mZoom, 0.75f);
    QCOMPARE(bar("VScroll1")->value(), 30);
    QCOMPARE(picture1()->geometry(), shown);
}

void tst_Form2::newPictureResetsOnNextActivation()
{
    showWith(makePage(720, 1000));
    click("PushButton2");
    bar("VScroll1")->setValue(30);
    click("PushButton8");
    QVERIFY(form().isHidden());

    showWith(makePage(600, 900));
    QCOMPARE(form().geometry().mZoom, 1.0f);
    QCOMPARE(form().geometry().mOrigWidth, 8998);
    QCOMPARE(picture1()->geometry(), QRect(0, 0, 600, 900));
    QCOMPARE(bar("VScroll1")->value(), 0);
    QVERIFY(!bar("HScroll1")->isEnabled());
    click("PushButton2");
    QCOMPARE(picture1()->size(), QSize(450, 675));
}

void tst_Form2::paintsCrispAtDevicePixelRatioTwo_data()
{
    QTest::addColumn<qreal>("blockLeft"); // pixels in the page picture
    QTest::addColumn<int>("zoomInClicks");
    QTest::addColumn<int>("blockStart"); // device pixels
    QTest::addColumn<int>("blockEnd");
    // 2998 twips wide: zoom 1 and 1.5 (4497 / 2998) scale by whole halves.
    QTest::newRow("zoom 1") << 10.0 << 0 << 20 << 220;
    QTest::newRow("zoom 1.5") << 10.0 << 2 << 30 << 330;
    // Edges between two screen pixels are whole device pixels only at ratio 2.
    QTest::newRow("half-pixel edges at zoom 1") << 10.5 << 0 << 21 << 221;
}

void tst_Form2::paintsCrispAtDevicePixelRatioTwo()
{
    QFETCH(qreal, blockLeft);
    QFETCH(int, zoomInClicks);
    QFETCH(int, blockStart);
    QFETCH(int, blockEnd);
    showWith(makePage(200, 200, blockLeft));
    click("PushButton1", zoomInClicks);
    // A painting made for the screen's ratio must not stand in for ratio 2.
    renderPicture1(1.0);
    const QImage image = renderPicture1(2.0);
    const int y = (blockStart + blockEnd) / 2;
    for (int x = 0; x < blockEnd + 20; ++x) {
        const QRgb pixel = image.pixel(x, y);
        const QRgb expected = (x >= blockStart && x < blockEnd) ? qRgb(0, 0, 0) : qRgb(255, 255, 255);
        QVERIFY2(pixel == expected, qPrintable(QStringLiteral("x %1: %2").arg(x).arg(pixel, 8, 16)));
    }
}

void tst_Form2::repaintComesFromNaturalSize()
{
    showWith(makePage(200, 200));
    const QImage first = renderPicture1(1.0);
    click("PushButton2", 3);
    click("PushButton1", 13);
    click("PushButton2", 10);
    QCOMPARE(form().geometry().mZoom, 1.0f);
    QCOMPARE(renderPicture1(1.0), first);
}

void tst_Form2::newPictureOfSameSizeReplacesOldOnScreen_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("painted at zoom 1") << QSize(200, 200);
    QTest::newRow("too wide to paint, shown as placed") << QSize(900, 700);
}

void tst_Form2::newPictureOfSameSizeReplacesOldOnScreen()
{
    QFETCH(QSize, size);
    showWith(makePage(size.width(), size.height(), 10));
    QCOMPARE(renderPicture1(1.0).pixel(20, 60), qRgb(0, 0, 0));
    click("PushButton8");
    showWith(makePage(size.width(), size.height(), 80));
    const QImage shown = renderPicture1(1.0);
    QCOMPARE(shown.pixel(20, 60), qRgb(255, 255, 255));
    QCOMPARE(shown.pixel(100, 60), qRgb(0, 0, 0));
}

void tst_Form2::hoverPointers()
{
    showWith(makePage(200, 200));
    for (const char* name : {"PushButton1", "PushButton2", "PushButton6", "PushButton8"}) {
        form().pointer().set(MousePointer::Default);
        sendMouse(button(name), QEvent::MouseMove, QPoint(5, 5), Qt::NoButton);
        QVERIFY2(form().pointer().value() == MousePointer::Custom, name);
    }
    sendMouse(form().findChild<QWidget*>(QStringLiteral("Frame1")), QEvent::MouseMove, QPoint(2, 2),
              Qt::NoButton);
    QVERIFY(form().pointer().value() == MousePointer::Default);
    form().pointer().set(MousePointer::Custom);
    sendMouse(&form(), QEvent::MouseMove, QPoint(650, 620), Qt::NoButton);
    QVERIFY(form().pointer().value() == MousePointer::Default);
    // A zoom step puts the default back.
    form().pointer().set(MousePointer::Custom);
    form().PushButton1_Click();
    QVERIFY(form().pointer().value() == MousePointer::Default);
    // No cursor file in the program directory: no hand, and nothing reported.
    QVERIFY(!form().pointer().hasHandCursor());
    QVERIFY(mPlatform.messages.empty());
}

void tst_Form2::hoverKeepsHourglass()
{
    showWith(makePage(200, 200));
    form().pointer().set(MousePointer::Busy);
    sendMouse(button("PushButton6"), QEvent::MouseMove, QPoint(5, 5), Qt::NoButton);
    sendMouse(form().findChild<QWidget*>(QStringLiteral("Frame1")), QEvent::MouseMove, QPoint(2, 2),
              Qt::NoButton);
    sendMouse(&form(), QEvent::MouseMove, QPoint(650, 620), Qt::NoButton);
    QVERIFY(form().pointer().value() == MousePointer::Busy);
    QCOMPARE(form().cursor().shape(), Qt::WaitCursor);
}

void tst_Form2::handCursorFromProgramDirectory()
{
    writeFile(mDir->path() + QStringLiteral("/HAND-M.CUR"), TestFiles::cursorFile(QPoint(5, 1)));
    Form2 withCursor(mPlatform, mDir->path());
    QVERIFY(withCursor.pointer().hasHandCursor());
    withCursor.pointer().set(MousePointer::Custom);
    QCOMPARE(withCursor.cursor().shape(), Qt::BitmapCursor);
    QCOMPARE(withCursor.cursor().hotSpot(), QPoint(5, 1));
    QVERIFY(mPlatform.messages.empty());

    writeFile(mDir->path() + QStringLiteral("/HAND-M.CUR"), QByteArray("not a cursor"));
    Form2 broken(mPlatform, mDir->path());
    QCOMPARE(mPlatform.messages.size(), size_t(1));
    QVERIFY(mPlatform.messages[0].text.contains(QStringLiteral("Form2.Form_Load at line 110")));
    QVERIFY(!broken.pointer().hasHandCursor());
}

void tst_Form2::saveCancelled()
{
    showWith(makePage(200, 200));
    click("PushButton6");
    QCOMPARE(mPlatform.saveDialogs.size(), std::size_t(1));
    QCOMPARE(mPlatform.saveDialogs[0].title, QStringLiteral("Save File"));
    QCOMPARE(mPlatform.saveDialogs[0].filter, QStringLiteral("Word Files (*.doc)|*.doc"));
    QCOMPARE(mPlatform.saveDialogs[0].defaultSuffix, QString());
    QCOMPARE(mPlatform.saveDialogs[0].fileName, QString());
    QVERIFY(!mPlatform.saveDialogs[0].confirmOverwrite);
    QVERIFY(mPlatform.questions.empty());
    QCOMPARE(mPlatform.messageTexts(), QStringList{QStringLiteral("Done.")});
    QCOMPARE(mPlatform.messages[0].caption, QStringLiteral("Brindlewick Paperwork"));
    QVERIFY(mPlatform.messages[0].icon == Platform::Icon::None);
    QCOMPARE(QDir(mDir->path()).entryList(QDir::Files), QStringList{QStringLiteral("vellum12345678.doc")});
}

void tst_Form2::saveOutcomes_data()
{
    QTest::addColumn<QString>("name");     // the name the dialog returns, inside the folder
    QTest::addColumn<QString>("folder");   // "", "missing", "read-only" or "full" (a 16 KB file system)
    QTest::addColumn<QString>("old");      // what stands at the name: "", "file" or "read-only file"
    QTest::addColumn<bool>("workingGone"); // the working document is missing
    QTest::addColumn<bool>("yes");         // the answer to the overwrite question
    QTest::addColumn<QString>("after");    // the target afterwards: "new", "old" or "absent"
    QTest::addColumn<QString>("reason");   // what the error report says, or "" for "Done."
    QTest::newRow("new name") << "agreement.doc"
                              << ""
                              << "" << false << true << "new"
                              << "";
    QTest::newRow("no extension added") << "agreement"
                                        << ""
                                        << "" << false << true << "new"
                                        << "";
    QTest::newRow("existing, Yes") << "old.doc"
                                   << ""
                                   << "file" << false << true << "new"
                                   << "";
    QTest::newRow("existing, No") << "old.doc"
                                  << ""
                                  << "file" << false << false << "old"
                                  << "";
    QTest::newRow("read-only, Yes") << "old.doc"
                                    << ""
                                    << "read-only file" << false << true << "new"
                                    << "";
    QTest::newRow("working document gone") << "agreement.doc"
                                           << ""
                                           << "" << true << true << "new"
                                           << "";
    QTest::newRow("missing folder") << "agreement.doc"
                                    << "missing"
                                    << "" << false << true << "absent" << TestSystem::reasonNoSuchFolder();
    QTest::newRow("read-only folder") << "old.doc"
                                      << "read-only"
                                      << "file" << false << true << "old"
                                      << "Permission denied";
    QTest::newRow("full disk") << "old.doc"
                               << "full"
                               << "file" << false << true << "old"
                               << "No space left on device";
}

// The target is at every moment the old file or the complete copy; a failure says why
// and is never followed by "Done.".
void tst_Form2::saveOutcomes()
{
    QFETCH(QString, name);
    QFETCH(QString, folder);
    QFETCH(QString, old);
    QFETCH(bool, workingGone);
    QFETCH(bool, yes);
    QFETCH(QString, after);
    QFETCH(QString, reason);
    const QString dir = mDir->path() + QStringLiteral("/target");
    if (folder != QLatin1String("missing"))
        QVERIFY(QDir().mkpath(dir));
    const auto unmount = qScopeGuard([&] {
        if (folder == QLatin1String("full"))
            TestSystem::unmount(dir);
        QFile::setPermissions(dir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    });
    if (folder == QLatin1String("full") && !TestSystem::mountSmallFileSystem(dir, 16))
        QSKIP(TestSystem::kNoSmallFileSystem);
    if (folder == QLatin1String("read-only") && !TestSystem::lockedFoldersStopWrites())
        QSKIP(TestSystem::kNoLockedFolders);
    const QString target = dir + QLatin1Char('/') + name;
    const QByteArray oldBytes("an older agreement");
    if (!old.isEmpty())
        writeFile(target, oldBytes);
    if (old == QLatin1String("read-only file"))
        QVERIFY(QFile::setPermissions(target, QFileDevice::ReadOwner));
    if (folder == QLatin1String("read-only"))
        QVERIFY(QFile::setPermissions(dir, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    if (workingGone)
        QVERIFY(QFile::remove(mWordFile));
    mPlatform.saveFileAnswers.push_back(target);
    mPlatform.yesNoAnswers.push_back(yes);

    form().PushButton6_Click();
    QCOMPARE(mPlatform.questions.size(), std::size_t(old.isEmpty() ? 0 : 1));
    const QByteArray expected = after == QLatin1String("new")   ? mWordBytes
                                : after == QLatin1String("old") ? oldBytes
                                                                : QByteArray("<missing>");
    QCOMPARE(readAll(target), expected);
    // No temporary copy stays beside the target.
    QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden).size(),
             after == QLatin1String("absent") ? 0 : 1);
    QCOMPARE(mPlatform.messages.size(), std::size_t(1));
    const Message& message = mPlatform.messages.front();
    if (reason.isEmpty()) {
        QCOMPARE(message.text, QStringLiteral("Done."));
    } else {
        QVERIFY2(message.text.contains(reason) && message.text.contains(QStringLiteral("at line 130\r\r")),
                 qPrintable(message.text));
        QVERIFY2(message.text.contains(target), qPrintable(message.text));
    }
}

void tst_Form2::saveTwiceInARow()
{
    const QString first = mDir->path() + QStringLiteral("/one.doc");
    const QString second = mDir->path() + QStringLiteral("/two.doc");
    mPlatform.saveFileAnswers = {first, second};
    click("PushButton6", 2);
    QCOMPARE(mPlatform.saveDialogs.size(), size_t(2));
    // The second dialog opens where the first saved, the first in the Documents folder.
    QCOMPARE(mPlatform.saveDialogs[0].folder,
             QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    QCOMPARE(mPlatform.saveDialogs[1].folder, mDir->path());
    QCOMPARE(readAll(first), mWordBytes);
    QCOMPARE(readAll(second), mWordBytes);
    QCOMPARE(mPlatform.messageTexts(), (QStringList{QStringLiteral("Done."), QStringLiteral("Done.")}));
    QCOMPARE(form().mWordFile, mWordFile);
}

// Refused under any spelling of its path, a hard link's included: nothing asked, nothing
// copied, no "Done.", and the working copy is still there.
void tst_Form2::saveOntoWorkingDocumentRefused()
{
    form().mWordFileLock = WorkingFileLock(mWordFile);
    const QString hardLink = mDir->path() + QStringLiteral("/hard.doc");
    QVERIFY(TestSystem::makeHardLink(mWordFile, hardLink));
    for (const QString& target :
         {mWordFile, mDir->path() + QStringLiteral("/./vellum12345678.doc"), hardLink}) {
        mPlatform.messages.clear();
        mPlatform.saveFileAnswers.push_back(target);
        form().PushButton6_Click();
        QCOMPARE(readAll(mWordFile), mWordBytes);
        QVERIFY(mPlatform.questions.empty());
        QCOMPARE(mPlatform.messageTexts(), QStringList{QLatin1String(Form2::kWorkingDocumentAsTarget)});
    }
}

// Save copies the document this run wrote, whoever has since put a file at its name, and
// "< Back" leaves that other file alone.
void tst_Form2::saveCopiesHeldWorkingDocument()
{
#ifdef Q_OS_WIN
    QSKIP("Windows lets no other file take the name of a file held open");
#endif
    form().mWordFileLock = WorkingFileLock(mWordFile);
    const QString colleagues = mDir->path() + QStringLiteral("/colleague.doc");
    writeFile(colleagues, "a colleague's document");
    QVERIFY(TestSystem::renameOver(colleagues, mWordFile));
    const QString target = mDir->path() + QStringLiteral("/saved.doc");
    mPlatform.saveFileAnswers.push_back(target);
    form().PushButton6_Click();
    QCOMPARE(readAll(target), mWordBytes);
    click("PushButton8");
    QCOMPARE(readAll(mWordFile), QByteArray("a colleague's document"));
}

void tst_Form2::backDeletesAndSwapsWindows()
{
    showWith(makePage(200, 200));
    QVERIFY(form().isVisible());
    QVERIFY(!mMainWindow->isVisible());
    click("PushButton8");
    QVERIFY(!QFile::exists(mWordFile));
    QVERIFY(form().isHidden());
    QVERIFY(mMainWindow->isVisible());
    QCOMPARE(form().mWordFile, mWordFile);
    QCOMPARE(mPlatform.endProgramCalls, 0);
    QVERIFY(mPlatform.messages.empty());
}

void tst_Form2::closeDeletesAndEndsProgram()
{
    showWith(makePage(200, 200));
    QVERIFY(form().close());
    QVERIFY(!QFile::exists(mWordFile));
    QCOMPARE(mPlatform.endProgramCalls, 1);
    QVERIFY(!mMainWindow->isVisible());
    QVERIFY(mPlatform.messages.empty());
}

void tst_Form2::closeWithWorkingDocumentGoneSaysNothing()
{
    showWith(makePage(200, 200));
    QVERIFY(QFile::remove(mWordFile));
    form().close();
    QCOMPARE(mPlatform.endProgramCalls, 1);
    QVERIFY(mPlatform.messages.empty());
}

QTEST_MAIN(tst_Form2)
#include "tst_form2.moc"
