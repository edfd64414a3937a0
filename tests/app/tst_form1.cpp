#include "app/form1.h"

#include "agreement/agreementdate.h"
#include "agreement/agreementtemplate.h"
#include "agreement/currency.h"
#include "agreement/filledagreement.h"
#include "agreement/insertions.h"
#include "agreement/readback.h"
#include "agreement/tagtemplate.h"
#include "app/settingsstore.h"
#include "app/storedvalue.h"
#include "app/templatelibrary.h"
#include "preview/pageactions.h"
#include "shell/cursorfile.h"
#include "support/cursorfiles.h"
#include "support/fakeplatform.h"

#include <QtTest>

#include <QAccessible>
#include <QApplication>
#include <QBuffer>
#include <QCalendarWidget>
#include <QClipboard>
#include <QComboBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QImageWriter>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>

#include <map>
#include <memory>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

using agreement::Field;

namespace
{

const QString kTitle = QStringLiteral("Brindlewick Paperwork");
const QString kNbspEuro = QString(QChar(0x00A0)) + QChar(0x20AC);

const QString kWordAdvice = QStringLiteral(
    "Error 842001. A normal instance of Word could not be created.\r\n\r\n"
    "1. Please make sure Word is installed on this computer.\r\n\r\n"
    "2. Please open Word normally and make sure a blank document opens immediately without any interrupting "
    "window (such as an Word file recovery window).\r\n\r\n"
    "3. Please make sure that when you double-click on a DOC or DOCX file that Word opens normally without "
    "any "
    "interrupting messages.\r\n\r\n"
    "4. All versions of Word are supported by this software except for the rare Word Starter and Student "
    "editions.");

// One program start: a private settings file, a fake platform and a program folder of its own.
struct Rig {
    QTemporaryDir dir;
    FakePlatform platform;
    SettingsStore store{dir.filePath(QStringLiteral("settings.ini"))};
    std::function<bool()> wordCheck = [] { return true; };
    std::unique_ptr<Form1> form;
    bool loaded = false;

    Form1& make()
    {
        form.reset();
        form = std::make_unique<Form1>(platform, store, wordCheck, dir.path(), templates());
        return *form;
    }
    Form1& start()
    {
        make();
        loaded = form->load();
        return *form;
    }
    QString stored(const char* key) const { return store.read(key, QStringLiteral("<absent>")); }
    QString templates() const { return dir.filePath(QStringLiteral("templates")); }
    // A fixture of tests/data in the templates folder, as if added.
    bool addTemplate(const QString& fixture)
    {
        QDir().mkpath(templates());
        return QFile::copy(QFINDTESTDATA("../data/" + fixture), templates() + QLatin1Char('/') + fixture);
    }
    // A store holding an agreement, the price as given.
    void fillStore(const QString& price)
    {
        store.write(agreement::key(Field::AgreementDate), StoredValue::dateText(QDate(2021, 8, 31)));
        store.write(agreement::key(Field::Contractor), QStringLiteral("Corwin Ashdale Jr."));
        store.write(agreement::key(Field::Owner), QStringLiteral("Tobias Quenby"));
        store.write(agreement::key(Field::Location), QStringLiteral("Birchwood st"));
        store.write(agreement::key(Field::WorkPerformed), QStringLiteral("Build a tree house\nand a ladder"));
        store.write(agreement::key(Field::ContractPrice), price);
        store.write(agreement::key(Field::PaymentProgress), QStringLiteral("Half before,\nhalf after."));
    }
};

bool showActive(QWidget& window)
{
    window.show();
    window.activateWindow();
    return QTest::qWaitForWindowActive(&window);
}

QString textOf(QWidget* box)
{
    if (auto* line = qobject_cast<QLineEdit*>(box))
        return line->text();
    return qobject_cast<QPlainTextEdit*>(box)->toPlainText();
}

QString selectionOf(QWidget* box)
{
    if (auto* line = qobject_cast<QLineEdit*>(box))
        return line->selectedText();
    return qobject_cast<QPlainTextEdit*>(box)->textCursor().selectedText().replace(QChar::ParagraphSeparator,
                                                                                   QLatin1Char('\n'));
}

// As the user picks an entry of the agreement's list.
void choose(Form1& form, const QString& name)
{
    const int index = form.cboAgreement->findText(name);
    QVERIFY2(index >= 0, qPrintable(name));
    form.cboAgreement->setCurrentIndex(index);
    emit form.cboAgreement->activated(index);
}

QStringList extraNames(const Form1& form)
{
    QStringList names;
    for (const QLineEdit* box : form.extraBoxes())
        names << box->accessibleName();
    return names;
}

QWidget* mouseTarget(QWidget* box)
{
    if (auto* multi = qobject_cast<QPlainTextEdit*>(box))
        return multi->viewport();
    return box;
}

void sendHover(QWidget* widget, QEvent::Type type)
{
    const QPointF local(2, 2);
    const QPointF global = widget->mapToGlobal(local);
    if (type == QEvent::Enter) {
        QEnterEvent enter(local, local, global);
        QCoreApplication::sendEvent(widget, &enter);
    } else {
        QMouseEvent move(QEvent::MouseMove, local, global, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(widget, &move);
    }
}

bool writeFile(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

} // namespace

class tst_Form1 : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void startWithEmptyStore();
    void startWithFilledStore();
    void startWithDamagedStore();
    void startRewritesOnlyWhatChanged();
    void storedPriceIsFormatted_data();
    void storedPriceIsFormatted();
    void storedPriceNotANumber();
    void storedDateNotADate_data();
    void storedDateNotADate();
    void storedValuesKeepTheirMeaningInAnotherLocale();
    void wordCheckFails_data();
    void wordCheckFails();
    void homePageOnlyOnSeven_data();
    void homePageOnlyOnSeven();
    void skinAndDesignColours();
    void handCursor();
    void damagedHandCursorIsNotFatal();

    void layout_data();
    void layout();
    void captionsAndFonts();
    void particularRows_data();
    void particularRows();
    void tabOrder();
    void keyboardAndScreenReader();

    void everyChangeIsStored();
    void dateChangeIsStored();
    void unwritableStoreToldInTheWindow_data();
    void unwritableStoreToldInTheWindow();
    void returnInDatePickerIsNoChange_data();
    void returnInDatePickerIsNoChange();
    void restartShowsEverything();
    void hundredThousandCharacterPaste_data();
    void hundredThousandCharacterPaste();
    void focusSelectsAll_data();
    void focusSelectsAll();

    void priceCheck_data();
    void priceCheck();
    void priceCheckOnlyOnFocusMoveInsideWindow();

    void hoverPointers();
    void sampleData();
    void sampleDataAsksBeforeReplacingTyped_data();
    void sampleDataAsksBeforeReplacingTyped();
    void openSavedAgreement();
    void dropForeignFile_data();
    void dropForeignFile();
    void help();
    void startCreatingTemplateHook();
    void closingEndsProgram();

    void templateChosenWithItsExtras();
    void templateRefused_data();
    void templateRefused();
    void addAndRemoveTemplate();
    void newAgreement_data();
    void newAgreement();
    void openAgreementOfATemplate_data();
    void openAgreementOfATemplate();
};

void tst_Form1::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
}

void tst_Form1::init()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void tst_Form1::startWithEmptyStore()
{
    Rig rig;
    Form1& form = rig.start();
    QVERIFY(rig.loaded);
    QVERIFY(rig.platform.messages.empty());
    QCOMPARE(form.windowTitle(), QStringLiteral("Brindlewick Paperwork Studio"));
    QCOMPARE(form.appTitle(), kTitle);
    QVERIFY(!form.windowIcon().isNull());
    QCOMPARE(form.control<QDateEdit>(Field::AgreementDate)->date(), rig.platform.todayValue);
    for (QWidget* box : std::initializer_list<QWidget*>{
             form.control<QLineEdit>(Field::Contractor), form.control<QLineEdit>(Field::Owner),
             form.control<QLineEdit>(Field::Location), form.control<QPlainTextEdit>(Field::WorkPerformed),
             form.control<QPlainTextEdit>(Field::PaymentProgress)})
        QCOMPARE(textOf(box), QString());
    QCOMPARE(form.control<QLineEdit>(Field::ContractPrice)->text(), QStringLiteral("$0.00"));
    QCOMPARE(rig.stored(agreement::key(Field::ContractPrice)), QStringLiteral("$0.00"));
    QCOMPARE(rig.stored(agreement::key(Field::Contractor)), QStringLiteral("<absent>"));
    QCOMPARE(rig.stored(agreement::key(Field::WorkPerformed)), QStringLiteral("<absent>"));
    // A date the user never chose is not kept: the next start shows its own today.
    QCOMPARE(rig.stored(agreement::key(Field::AgreementDate)), QStringLiteral("<absent>"));
    QCOMPARE(rig.platform.endProgramCalls, 0);
}

void tst_Form1::startWithFilledStore()
{
    Rig rig;
    rig.fillStore(QStringLiteral("1234.5"));

    Form1& form = rig.start();
    QVERIFY(rig.loaded);
    QVERIFY(rig.platform.messages.empty());
    QCOMPARE(form.control<QDateEdit>(Field::AgreementDate)->date(), QDate(2021, 8, 31));
    QCOMPARE(form.control<QDateEdit>(Field::AgreementDate)->text(), QStringLiteral("31-Aug-2021"));
    QCOMPARE(form.control<QLineEdit>(Field::Contractor)->text(), QStringLiteral("Corwin Ashdale Jr."));
    QCOMPARE(form.control<QLineEdit>(Field::Owner)->text(), QStringLiteral("Tobias Quenby"));
    QCOMPARE(form.control<QLineEdit>(Field::Location)->text(), QStringLiteral("Birchwood st"));
    QCOMPARE(form.control<QPlainTextEdit>(Field::WorkPerformed)->toPlainText(),
             QStringLiteral("Build a tree house\nand a ladder"));
    QCOMPARE(form.control<QLineEdit>(Field::ContractPrice)->text(), QStringLiteral("$1,234.50"));
    QCOMPARE(form.control<QPlainTextEdit>(Field::PaymentProgress)->toPlainText(),
             QStringLiteral("Half before,\nhalf after."));
    QCOMPARE(rig.stored(agreement::key(Field::ContractPrice)), QStringLiteral("$1,234.50"));
    QCOMPARE(rig.stored(agreement::key(Field::WorkPerformed)),
             QStringLiteral("Build a tree house\nand a ladder"));
}

// Each restored particular goes back to the store through its change handler; one that the
// store holds already must not cost a rewrite and flush of the settings file at every start.
void tst_Form1::startRewritesOnlyWhatChanged()
{
#ifndef Q_OS_UNIX
    QSKIP("The settings file is watched through a hard link");
#else
    Rig rig;
    rig.fillStore(QStringLiteral("$1,234.50"));
    rig.store.write(SettingsKey::txtContractPriceAmount, StoredValue::amountText(1234.5));
    const QByteArray file = QFile::encodeName(rig.dir.filePath(QStringLiteral("settings.ini")));
    const QByteArray secondName = file + ".second";
    // A rewrite puts a new file in place, which the second name does not follow.
    const auto rewritten = [&] {
        struct stat info {
        };
        return ::stat(file.constData(), &info) != 0 || info.st_nlink != 2;
    };
    QCOMPARE(::link(file.constData(), secondName.constData()), 0);
    Form1& form = rig.start();
    QVERIFY(rig.platform.messages.empty());
    QCOMPARE(form.control<QLineEdit>(Field::Contractor)->text(), QStringLiteral("Corwin Ashdale Jr."));
    QVERIFY(!rewritten());

    // A price that start-up puts into currency form is a change, and it is stored.
    rig.form.reset();
    rig.store.write(agreement::key(Field::ContractPrice), QStringLiteral("1234.5"));
    QCOMPARE(::unlink(secondName.constData()), 0);
    QCOMPARE(::link(file.constData(), secondName.constData()), 0);
    rig.start();
    QVERIFY(rewritten());
    QCOMPARE(SettingsStore(QFile::decodeName(file)).read(agreement::key(Field::ContractPrice)),
             QStringLiteral("$1,234.50"));
#endif
}

void tst_Form1::startWithDamagedStore()
{
    Rig rig;
    QByteArray junk;
    for (int i = 0; i < 2048; ++i)
        junk.append(static_cast<char>((i * 53 + 7) % 256));
    QVERIFY(writeFile(rig.dir.filePath(QStringLiteral("damaged.ini")), junk));
    SettingsStore damaged(rig.dir.filePath(QStringLiteral("damaged.ini")));
    Form1 form(
        rig.platform, damaged, [] { return true; }, rig.dir.path());
    QVERIFY(form.load());
    QVERIFY(rig.platform.messages.empty());
    QCOMPARE(form.control<QDateEdit>(Field::AgreementDate)->date(), rig.platform.todayValue);
    QCOMPARE(form.control<QLineEdit>(Field::Contractor)->text(), QString());
    QCOMPARE(form.control<QLineEdit>(Field::ContractPrice)->text(), QStringLiteral("$0.00"));
}

void tst_Form1::storedPriceIsFormatted_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("shown");
    QTest::newRow("us bare number") << "en_US"
                                    << "1234.5"
                                    << "$1,234.50";
    QTest::newRow("us currency text") << "en_US"
                                      << "$1,234.50"
                                      << "$1,234.50";
    QTest::newRow("us negative in brackets") << "en_US"
                                             << "($5.00)"
                                             << "($5.00)";
    QTest::newRow("us zero") << "en_US"
                             << "0"
                             << "$0.00";
    QTest::newRow("de bare number") << "de_DE"
                                    << "1234,5" << QString("1.234,50" + kNbspEuro);
    QTest::newRow("de currency text")
        << "de_DE" << QString("74,00" + kNbspEuro) << QString("74,00" + kNbspEuro);
}

void tst_Form1::storedPriceIsFormatted()
{
    QFETCH(QString, locale);
    QFETCH(QString, stored);
    QFETCH(QString, shown);
    QLocale::setDefault(QLocale(locale));
    Rig rig;
    rig.store.write(agreement::key(Field::ContractPrice), stored);
    Form1& form = rig.start();
    QVERIFY(rig.platform.messages.empty());
    QCOMPARE(form.control<QLineEdit>(Field::ContractPrice)->text(), shown);
    QCOMPARE(rig.stored(agreement::key(Field::ContractPrice)), shown);
}

void tst_Form1::storedPriceNotANumber()
{
    Rig rig;
    rig.store.write(agreement::key(Field::ContractPrice), QStringLiteral("twelve bucks"));
    rig.store.write(agreement::key(Field::Contractor), QStringLiteral("Corwin"));
    rig.store.write(agreement::key(Field::PaymentProgress), QStringLiteral("later"));
    Form1& form = rig.start();
    QVERIFY(rig.loaded);
    QCOMPARE(rig.platform.messages.size(), std::size_t(1));
    const FakePlatform::Message& report = rig.platform.messages.front();
    QCOMPARE(report.text, QString::fromUtf8(Form1Text::kUnreadablePrice).arg(QStringLiteral("twelve bucks")));
    QCOMPARE(report.caption, form.appTitle());
    QCOMPARE(report.icon, Platform::Icon::None);
    QCOMPARE(form.control<QLineEdit>(Field::ContractPrice)->text(), QString());
    QCOMPARE(form.control<QLineEdit>(Field::Contractor)->text(), QStringLiteral("Corwin"));
    QCOMPARE(form.control<QPlainTextEdit>(Field::PaymentProgress)->toPlainText(), QStringLiteral("later"));
    QCOMPARE(rig.stored(agreement::key(Field::ContractPrice)), QStringLiteral("twelve bucks"));
}

void tst_Form1::storedDateNotADate_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("readable"); // a date, but none the picker can show: the error report
    QTest::newRow("words") << "next Tuesday" << false;
    QTest::newRow("german form") << "31.08.2021" << false;
    QTest::newRow("no such day") << "2/30/2021" << false;
    QTest::newRow("day and month could trade") << "12/10/2026" << false;
    QTest::newRow("before the picker's range") << "1/1/1500" << true;
}

void tst_Form1::storedDateNotADate()
{
    QFETCH(QString, stored);
    QFETCH(bool, readable);
    Rig rig;
    rig.store.write(agreement::key(Field::AgreementDate), stored);
    rig.store.write(agreement::key(Field::Owner), QStringLiteral("Tobias"));
    Form1& form = rig.start();
    QVERIFY(rig.loaded);
    QCOMPARE(rig.platform.messages.size(), std::size_t(1));
    const FakePlatform::Message& message = rig.platform.messages.front();
    if (readable) {
        QVERIFY2(message.text.contains(QStringLiteral("Form1.Form_Load at line 128\r\r")),
                 qPrintable(message.text));
    } else {
        QCOMPARE(message.text, QString::fromUtf8(Form1Text::kUnreadableDate).arg(stored));
        QCOMPARE(message.caption, form.appTitle());
    }
    QCOMPARE(form.control<QDateEdit>(Field::AgreementDate)->date(), QDate(2010, 1, 17));
    QCOMPARE(form.control<QDateEdit>(Field::AgreementDate)->text(), QStringLiteral("17-Jan-2010"));
    QCOMPARE(form.control<QLineEdit>(Field::Owner)->text(), QStringLiteral("Tobias"));
    QCOMPARE(rig.stored(agreement::key(Field::AgreementDate)), stored);
}

// Written under one locale and read under another, the date and the amount stay what they were.
void tst_Form1::storedValuesKeepTheirMeaningInAnotherLocale()
{
    Rig rig;
    {
        Form1& form = rig.start();
        form.control<QDateEdit>(Field::AgreementDate)->setDate(QDate(2026, 12, 10));
        form.control<QLineEdit>(Field::ContractPrice)->setText(QStringLiteral("$1,234.50"));
    }
    rig.form.reset();
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
    Form1& again = rig.start();
    QVERIFY(rig.platform.messages.empty());
    QCOMPARE(again.control<QDateEdit>(Field::AgreementDate)->date(), QDate(2026, 12, 10));
    QCOMPARE(again.control<QLineEdit>(Field::ContractPrice)->text(), Currency::format(1234.5, QLocale()));
}

void tst_Form1::wordCheckFails_data()
{
    QTest::addColumn<int>("failure");
    QTest::newRow("no instance") << 0;
    QTest::newRow("creation throws") << 1;
    QTest::newRow("no engine connected") << 2;
}

void tst_Form1::wordCheckFails()
{
    QFETCH(int, failure);
    Rig rig;
    if (failure == 0)
        rig.wordCheck = [] { return false; };
    else if (failure == 1)
        rig.wordCheck = []() -> bool { throw std::runtime_error("engine broken"); };
    else
        rig.wordCheck = nullptr;
    int endCallsAtMessage = -1;
    rig.platform.onMessage = [&](const FakePlatform::Message&) {
        endCallsAtMessage = rig.platform.endProgramCalls;
    };
    rig.start();
    QVERIFY(!rig.loaded);
    QCOMPARE(rig.platform.messages.size(), std::size_t(1));
    QCOMPARE(rig.platform.messages.front().text, kWordAdvice);
    QCOMPARE(rig.platform.messages.front().text.split(QStringLiteral("\r\n\r\n")).size(), 5);
    QCOMPARE(rig.platform.messages.front().caption, kTitle);
    QCOMPARE(rig.platform.messages.front().icon, Platform::Icon::None);
    QCOMPARE(endCallsAtMessage, 0);
    QCOMPARE(rig.platform.endProgramCalls, 1);
    QVERIFY(!rig.form->isVisible());
}

void tst_Form1::homePageOnlyOnSeven_data()
{
    QTest::addColumn<double>("fraction");
    QTest::addColumn<bool>("opened");
    QTest::newRow("draw 1") << 0.0 << false;
    QTest::newRow("draw 6") << 0.0599 << false;
    QTest::newRow("draw 7 low") << 0.06 << true;
    QTest::newRow("draw 7 high") << 0.0699 << true;
    QTest::newRow("draw 8") << 0.07 << false;
    QTest::newRow("draw 100") << 0.9999 << false;
}

void tst_Form1::homePageOnlyOnSeven()
{
    QFETCH(double, fraction);
    QFETCH(bool, opened);
    Rig rig;
    rig.platform.randomValues = {fraction};
    rig.start();
    QVERIFY(rig.platform.randomValues.empty());
    if (opened) {
        QCOMPARE(rig.platform.openedUrls.size(), std::size_t(1));
        QCOMPARE(rig.platform.openedUrls.front(), QUrl(QStringLiteral("https://www.quillmark.example/")));
    } else {
        QVERIFY(rig.platform.openedUrls.empty());
    }
    QVERIFY(rig.platform.messages.empty());
}

void tst_Form1::skinAndDesignColours()
{
    const QColor face = QApplication::palette().color(QPalette::Button);
    QVERIFY(face != QColor(Qt::white));
    {
        Rig rig;
        Form1& form = rig.start();
        QCOMPARE(form.palette().color(QPalette::Window), QColor(Qt::white));
        QCOMPARE(form.Frame1->palette().color(QPalette::Window), QColor(Qt::white));
        for (QLabel* label : form.Label4)
            QCOMPARE(label->palette().color(QPalette::Window), QColor(Qt::white));
    }
    {
        Rig rig;
        QVERIFY(writeFile(rig.dir.filePath(QStringLiteral("x/o.cjs")), "skin"));
        Form1& form = rig.start();
        QVERIFY(rig.platform.messages.empty());
        QCOMPARE(form.palette().color(QPalette::Window), face);
        QCOMPARE(form.Frame1->palette().color(QPalette::Window), face);
        for (QLabel* label : form.Label4)
            QCOMPARE(label->palette().color(QPalette::Window), face);
    }
}

void tst_Form1::handCursor()
{
    {
        // Without a file of its own beside it, the program's own hand.
        Rig rig;
        Form1& form = rig.start();
        QVERIFY(form.mousePointer().hasHandCursor());
        sendHover(form.PushButton2, QEvent::Enter);
        QCOMPARE(form.PushButton2->cursor().shape(), Qt::BitmapCursor);
        QVERIFY(form.PushButton2->cursor().hotSpot() != QPoint(0, 0));
    }
    Rig rig;
    QVERIFY(writeFile(rig.dir.filePath(QStringLiteral("HAND-M.CUR")), TestFiles::cursorFile(QPoint(0, 0))));
    Form1& form = rig.start();
    QVERIFY(rig.platform.messages.empty());
    QVERIFY(form.mousePointer().hasHandCursor());
    sendHover(form.PushButton2, QEvent::Enter);
    QCOMPARE(form.PushButton2->cursor().shape(), Qt::BitmapCursor);
    QCOMPARE(form.PushButton2->cursor().hotSpot(), QPoint(0, 0));
}

void tst_Form1::damagedHandCursorIsNotFatal()
{
    Rig rig;
    QVERIFY(writeFile(rig.dir.filePath(QStringLiteral("HAND-M.CUR")),
                      TestFiles::cursorFile(QPoint(0, 0)).left(30)));
    rig.store.write(agreement::key(Field::Location), QStringLiteral("Birchwood st"));
    Form1& form = rig.start();
    QVERIFY(rig.loaded);
    QCOMPARE(rig.platform.messages.size(), std::size_t(1));
    QVERIFY(rig.platform.messages.front().text.contains(QStringLiteral("Form1.Form_Load at line 108\r\r")));
    QVERIFY(!form.mousePointer().hasHandCursor());
    QCOMPARE(form.control<QLineEdit>(Field::Location)->text(), QStringLiteral("Birchwood st"));
}

void tst_Form1::layout_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("twips");
    QTest::newRow("PushButton22") << "PushButton22" << QRect(120, 120, 8280, 400);
    QTest::newRow("PushButton2") << "PushButton2" << QRect(120, 630, 4080, 405);
    QTest::newRow("PushButton3") << "PushButton3" << QRect(4320, 630, 4080, 405);
    QTest::newRow("Frame1") << "Frame1" << QRect(120, 1110, 8280, 5560);
}

// Twips at 15 to the pixel, rounded to the nearest pixel.
int px(int twips)
{
    return qRound(twips / 15.0);
}

void tst_Form1::layout()
{
    QFETCH(QString, name);
    QFETCH(QRect, twips);
    Rig rig;
    Form1& form = rig.start();
    // Below the agreement's row the controls keep their places to each other, and the window
    // grows by the row.
    const int below = form.PushButton22->y() - px(120);
    QVERIFY(below > form.cboAgreement->geometry().bottom());
    QCOMPARE(form.size(), QSize(568, 453 + below));
    QCOMPARE(form.minimumSize(), form.maximumSize());
    QVERIFY(!(form.windowFlags() & Qt::WindowMaximizeButtonHint));
    auto* widget = form.findChild<QWidget*>(name);
    QVERIFY(widget);
    QCOMPARE(widget->geometry(),
             QRect(px(twips.x()), px(twips.y()) + below, px(twips.width()), px(twips.height())));
}

void tst_Form1::captionsAndFonts()
{
    Rig rig;
    Form1& form = rig.start();
    QCOMPARE(form.Frame1->title(), QStringLiteral("Contractor Agreement Details"));
    QCOMPARE(form.PushButton22->text(), QStringLiteral("Start Creating Template"));
    QCOMPARE(form.PushButton2->text(), QStringLiteral("Help"));
    QCOMPARE(form.PushButton3->text(), QStringLiteral("Load Sample/Example Data"));
    QCOMPARE(form.control<QDateEdit>(Field::AgreementDate)->displayFormat(), QStringLiteral("dd-MMM-yyyy"));
    QVERIFY(form.control<QDateEdit>(Field::AgreementDate)->calendarPopup());
    QCOMPARE(form.control<QDateEdit>(Field::AgreementDate)->minimumDate(), AgreementDate::first());
    QCOMPARE(form.control<QDateEdit>(Field::AgreementDate)->maximumDate(), AgreementDate::last());

    for (QWidget* w : std::initializer_list<QWidget*>{&form, form.Frame1, form.Label4[0],
                                                      form.control<QLineEdit>(Field::Contractor),
                                                      form.control<QPlainTextEdit>(Field::WorkPerformed)}) {
        QCOMPARE(w->font().family(), QStringLiteral("Arial"));
        QCOMPARE(w->font().pointSizeF(), 9.0);
        QVERIFY(w->font().bold());
    }
    for (QPushButton* b : {form.PushButton22, form.PushButton2, form.PushButton3}) {
        QCOMPARE(b->font().family(), QStringLiteral("Arial"));
        QCOMPARE(b->font().pointSizeF(), 11.25);
        QVERIFY(b->font().bold());
    }
}

void tst_Form1::particularRows_data()
{
    QTest::addColumn<int>("index");
    for (const agreement::Particular& p : agreement::kParticulars)
        QTest::newRow(p.key) << static_cast<int>(agreement::indexOf(p.field));
}

// Each row of the particulars' table is a control of the frame named by its settings key, of
// the class its kind asks for, where the row places it, with its caption beside it.
void tst_Form1::particularRows()
{
    QFETCH(int, index);
    const agreement::Particular& row = agreement::kParticulars[static_cast<std::size_t>(index)];
    static const std::map<agreement::Kind, QByteArray> classOf = {{agreement::Kind::Date, "QDateEdit"},
                                                                  {agreement::Kind::Amount, "QLineEdit"},
                                                                  {agreement::Kind::Line, "QLineEdit"},
                                                                  {agreement::Kind::Lines, "QPlainTextEdit"}};
    Rig rig;
    Form1& form = rig.start();
    QWidget* control = form.findChild<QWidget*>(QLatin1String(row.key));
    QVERIFY(control);
    QCOMPARE(control, form.control(row.field));
    QCOMPARE(control->parentWidget(), form.Frame1);
    QCOMPARE(QByteArray(control->metaObject()->className()), classOf.at(row.kind));
    const agreement::Place& place = row.place;
    QCOMPARE(control->geometry(), QRect(px(place.left), px(place.top), px(place.width), px(place.height)));

    QLabel* label = form.Label4[static_cast<std::size_t>(index)];
    QCOMPARE(label->text(), QLatin1String(row.caption));
    QCOMPARE(label->buddy(), control);
    QCOMPARE(label->parentWidget(), form.Frame1);
    QCOMPARE(label->geometry().topLeft(), QPoint(px(place.captionLeft), control->y() + 3));
    QCOMPARE(label->height(), 15);
    QVERIFY(label->geometry().right() < control->x());
}

void tst_Form1::tabOrder()
{
    Rig rig;
    Form1& form = rig.start();
    QVERIFY(showActive(form));
    const auto focusIs = [](QWidget* w) {
        QWidget* focus = QApplication::focusWidget();
        return focus == w || (focus && w->isAncestorOf(focus));
    };
    // The particulars in the table's order, the three buttons, the agreement's row (Remove Template
    // is off for the standard agreement) and round to the first again.
    QList<QWidget*> order;
    for (const agreement::Particular& p : agreement::kParticulars)
        order << form.control(p.field);
    order << form.PushButton22 << form.PushButton2 << form.PushButton3 << form.cboAgreement
          << form.cmdAddTemplate << order.front();
    QWidget* first = order.takeFirst();
    QTRY_VERIFY(focusIs(first));
    for (QWidget* next : order) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QVERIFY2(focusIs(next), qPrintable(next->objectName()));
    }
    QVERIFY(rig.platform.messages.empty());
}

// Enter presses a focused button, F4 and Alt+Down open the calendar, and every field is
// spoken by its label's words.
void tst_Form1::keyboardAndScreenReader()
{
    Rig rig;
    Form1& form = rig.start();
    for (const QScrollBar* bar : form.findChildren<QScrollBar*>())
        QVERIFY2(!bar->accessibleName().isEmpty(), qPrintable(bar->parentWidget()->objectName()));
    QVERIFY(showActive(form));
    form.PushButton2->setFocus(Qt::TabFocusReason);
    QTest::keyClick(form.PushButton2, Qt::Key_Return);
    QCOMPARE(rig.platform.messages.size(), std::size_t(1));

    const QDate before = form.control<QDateEdit>(Field::AgreementDate)->date();
    for (const auto& [key, modifiers] :
         {std::pair{Qt::Key_F4, Qt::NoModifier}, {Qt::Key_Down, Qt::AltModifier}}) {
        form.control<QDateEdit>(Field::AgreementDate)->setFocus(Qt::TabFocusReason);
        QTest::keyClick(form.control<QDateEdit>(Field::AgreementDate), key, modifiers);
        QTRY_VERIFY(form.control<QDateEdit>(Field::AgreementDate)->calendarWidget()->isVisible());
        form.control<QDateEdit>(Field::AgreementDate)->calendarWidget()->window()->hide();
    }
    QCOMPARE(form.control<QDateEdit>(Field::AgreementDate)->date(), before);

    for (std::size_t i = 0; i < form.Label4.size(); ++i) {
        QWidget* field = form.Label4[i]->buddy();
        QVERIFY(field);
        QAccessibleInterface* spoken = QAccessible::queryAccessibleInterface(field);
        QVERIFY(spoken);
        const QString name = spoken->text(QAccessible::Name);
        QVERIFY2(!name.isEmpty() && form.Label4[i]->text().contains(name) &&
                     !name.startsWith(QLatin1Char(' ')) && !name.endsWith(QLatin1Char(':')),
                 qPrintable(name));
    }
}

void tst_Form1::everyChangeIsStored()
{
    Rig rig;
    Form1& form = rig.start();
    QVERIFY(showActive(form));
    for (const agreement::Particular& p : agreement::kParticulars) {
        if (p.kind == agreement::Kind::Date)
            continue;
        QWidget* box = form.control(p.field);
        const char* key = p.key;
        box->setFocus(Qt::OtherFocusReason);
        QTest::keyClick(box, Qt::Key_A);
        QCOMPARE(rig.stored(key), QStringLiteral("a"));
        QTest::keyClicks(box, QStringLiteral("bc"));
        QCOMPARE(rig.stored(key), QStringLiteral("abc"));
        QTest::keyClick(box, Qt::Key_Backspace);
        QCOMPARE(rig.stored(key), QStringLiteral("ab"));
        QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(box, Qt::Key_Delete);
        QCOMPARE(rig.stored(key), QString());
    }
    // A program change is stored like an edit.
    form.control<QLineEdit>(Field::Owner)->setText(QStringLiteral("set by the program"));
    QCOMPARE(rig.stored(agreement::key(Field::Owner)), QStringLiteral("set by the program"));
}

void tst_Form1::unwritableStoreToldInTheWindow_data()
{
    QTest::addColumn<bool>("oversized"); // else a file where its folder should be
    QTest::newRow("file in the folder's place") << false;
    QTest::newRow("file set aside") << true;
}

// Edits that cannot be kept are said in the window, with the file and the reason, without
// taking the keyboard, until the store keeps them again.
void tst_Form1::unwritableStoreToldInTheWindow()
{
    QFETCH(bool, oversized);
    Rig rig;
    const QString blocker = rig.dir.filePath(QStringLiteral("blocker"));
    QVERIFY(writeFile(blocker, QByteArray(oversized ? SettingsStore::kMaxFileBytes + 1 : 1, '\n')));
    SettingsStore unwritable(oversized ? blocker : blocker + QStringLiteral("/settings.ini"));
    Form1 form(
        rig.platform, unwritable, [] { return true; }, rig.dir.path());
    QVERIFY(form.load()); // start-up writes the formatted price back, and meets the failure first
    QVERIFY(showActive(form));
    form.control<QLineEdit>(Field::Contractor)->setFocus(Qt::OtherFocusReason);
    QTest::keyClicks(form.control<QLineEdit>(Field::Contractor), QStringLiteral("abc"));
    QCOMPARE(form.control<QLineEdit>(Field::Contractor)->text(), QStringLiteral("abc"));
    QCOMPARE(rig.platform.messageTexts(), QStringList());
    QVERIFY(form.lblStoreFailure->isVisible());
    QVERIFY(form.rect().contains(form.lblStoreFailure->geometry()));
    QVERIFY(form.lblStoreFailure->text().startsWith(QLatin1String(Form1Text::kStoreFailure)));
    QCOMPARE(form.lblStoreFailure->toolTip(), unwritable.writeFailure());
    emit form.lblStoreFailure->linkActivated(QString());
    QCOMPARE(rig.platform.messageTexts(), QStringList{QLatin1String(Form1Text::kStoreFailure) +
                                                      QStringLiteral("\n\n") + unwritable.writeFailure()});
    if (oversized)
        return;
    // The system's own words for a file where a folder should be.
    QFile probe(blocker + QStringLiteral("/settings.ini"));
    QVERIFY(!probe.open(QIODevice::WriteOnly));
    QVERIFY2(form.lblStoreFailure->toolTip().contains(probe.errorString()),
             qPrintable(form.lblStoreFailure->toolTip()));

    QVERIFY(QFile::remove(blocker) && QDir().mkdir(blocker));
    QTest::keyClick(form.control<QLineEdit>(Field::Contractor), Qt::Key_D);
    QVERIFY(form.lblStoreFailure->isHidden());
    QCOMPARE(unwritable.read(agreement::key(Field::Contractor)), QStringLiteral("abcd"));
}

void tst_Form1::dateChangeIsStored()
{
    Rig rig;
    Form1& form = rig.start();
    form.control<QDateEdit>(Field::AgreementDate)->setDate(QDate(2021, 8, 31));
    QCOMPARE(rig.stored(agreement::key(Field::AgreementDate)), StoredValue::dateText(QDate(2021, 8, 31)));
    form.control<QDateEdit>(Field::AgreementDate)->setDate(QDate(1921, 8, 31));
    QCOMPARE(rig.stored(agreement::key(Field::AgreementDate)), StoredValue::dateText(QDate(1921, 8, 31)));

    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    Rig german;
    Form1& gform = german.start();
    gform.control<QDateEdit>(Field::AgreementDate)->setDate(QDate(2021, 8, 31));
    QCOMPARE(german.stored(agreement::key(Field::AgreementDate)), StoredValue::dateText(QDate(2021, 8, 31)));
}

void tst_Form1::returnInDatePickerIsNoChange_data()
{
    QTest::addColumn<QString>("stored"); // empty: no date stored yet
    QTest::addColumn<QDate>("shown");
    QTest::newRow("today, never chosen") << QString() << QDate(2022, 4, 23);
    QTest::newRow("after a stored date that did not convert") << "31.08.2021" << QDate(2010, 1, 17);
}

// Qt's date edit announces its date again when Return is pressed in it; that is no edit, so a
// date never chosen is not fixed in the store, and an unreadable one is not replaced unasked.
void tst_Form1::returnInDatePickerIsNoChange()
{
    QFETCH(QString, stored);
    QFETCH(QDate, shown);
    Rig rig;
    rig.platform.todayValue = QDate(2022, 4, 23);
    if (!stored.isEmpty())
        rig.store.write(agreement::key(Field::AgreementDate), stored);
    const QString before = rig.stored(agreement::key(Field::AgreementDate));
    Form1& form = rig.start();
    QVERIFY(showActive(form));
    QTRY_VERIFY(form.control<QDateEdit>(Field::AgreementDate)->hasFocus());
    QCOMPARE(form.control<QDateEdit>(Field::AgreementDate)->date(), shown);

    QTest::keyClick(form.control<QDateEdit>(Field::AgreementDate), Qt::Key_Return);
    QCOMPARE(form.control<QDateEdit>(Field::AgreementDate)->date(), shown);
    QCOMPARE(rig.stored(agreement::key(Field::AgreementDate)), before);

    // A real change is stored, and so is a change back.
    form.control<QDateEdit>(Field::AgreementDate)->setDate(shown.addDays(1));
    QCOMPARE(rig.stored(agreement::key(Field::AgreementDate)), StoredValue::dateText(shown.addDays(1)));
    form.control<QDateEdit>(Field::AgreementDate)->setDate(shown);
    QCOMPARE(rig.stored(agreement::key(Field::AgreementDate)), StoredValue::dateText(shown));
}

void tst_Form1::restartShowsEverything()
{
    Rig rig;
    {
        Form1& form = rig.start();
        form.control<QDateEdit>(Field::AgreementDate)->setDate(QDate(1999, 12, 31));
        form.control<QLineEdit>(Field::Contractor)->setText(QStringLiteral("Ærø Builders, Inc."));
        form.control<QLineEdit>(Field::Owner)->setText(QStringLiteral("  spaced  "));
        form.control<QLineEdit>(Field::Location)->setText(QStringLiteral("12 \"Main\" St = corner"));
        form.control<QPlainTextEdit>(Field::WorkPerformed)
            ->setPlainText(QStringLiteral("roof\n\nwalls\twith tab") + QChar(0x00A0) + "nbsp");
        form.control<QLineEdit>(Field::ContractPrice)->setText(QStringLiteral("$9,876.54"));
        form.control<QPlainTextEdit>(Field::PaymentProgress)
            ->setPlainText(QStringLiteral("line 1\nline 2\n"));
    }
    rig.form.reset();
    Form1& again = rig.start();
    QVERIFY(rig.platform.messages.empty());
    QCOMPARE(again.control<QDateEdit>(Field::AgreementDate)->date(), QDate(1999, 12, 31));
    QCOMPARE(again.control<QLineEdit>(Field::Contractor)->text(), QStringLiteral("Ærø Builders, Inc."));
    QCOMPARE(again.control<QLineEdit>(Field::Owner)->text(), QStringLiteral("  spaced  "));
    QCOMPARE(again.control<QLineEdit>(Field::Location)->text(), QStringLiteral("12 \"Main\" St = corner"));
    QCOMPARE(again.control<QPlainTextEdit>(Field::WorkPerformed)
                 ->document()
                 ->toRawText()
                 .replace(QChar::ParagraphSeparator, QLatin1Char('\n')),
             QStringLiteral("roof\n\nwalls\twith tab") + QChar(0x00A0) + "nbsp");
    QCOMPARE(again.control<QLineEdit>(Field::ContractPrice)->text(), QStringLiteral("$9,876.54"));
    QCOMPARE(again.control<QPlainTextEdit>(Field::PaymentProgress)->toPlainText(),
             QStringLiteral("line 1\nline 2\n"));
}

void tst_Form1::hundredThousandCharacterPaste_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QString single;
    for (int i = 0; single.size() < 100000; ++i)
        single += QString::number(i % 10);
    QString lines;
    while (lines.size() < 100000)
        lines += QStringLiteral("0123456789 abcdefgh\n");
    QTest::newRow("single line") << "txtContractor" << single;
    QTest::newRow("multi-line") << "txtWorkPerformed" << lines;
}

void tst_Form1::hundredThousandCharacterPaste()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QCOMPARE(text.size(), 100000);
    Rig rig;
    {
        Form1& form = rig.start();
        QApplication::clipboard()->setText(text);
        if (QApplication::clipboard()->text() != text)
            QSKIP("no clipboard on this platform");
        QWidget* box = form.findChild<QWidget*>(name);
        if (auto* line = qobject_cast<QLineEdit*>(box))
            line->paste();
        else
            qobject_cast<QPlainTextEdit*>(box)->paste();
        QCOMPARE(textOf(box), text);
        QCOMPARE(rig.stored(name.toLatin1().constData()), text);
    }
    rig.form.reset();
    Form1& again = rig.start();
    again.show();
    QCOMPARE(textOf(again.findChild<QWidget*>(name)), text);
}

void tst_Form1::focusSelectsAll_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("byMouse");
    for (const agreement::Particular& p : agreement::kParticulars) {
        if (p.kind == agreement::Kind::Date)
            continue;
        QTest::addRow("%s by key", p.key) << QString::fromLatin1(p.key) << false;
        QTest::addRow("%s by mouse", p.key) << QString::fromLatin1(p.key) << true;
    }
}

void tst_Form1::focusSelectsAll()
{
    QFETCH(QString, name);
    QFETCH(bool, byMouse);
    Rig rig;
    rig.store.write(agreement::key(Field::ContractPrice), QStringLiteral("1234.5"));
    Form1& form = rig.start();
    QWidget* box = form.findChild<QWidget*>(name);
    if (auto* line = qobject_cast<QLineEdit*>(box)) {
        if (line != form.control<QLineEdit>(Field::ContractPrice))
            line->setText(QStringLiteral("Some text here"));
    } else {
        qobject_cast<QPlainTextEdit*>(box)->setPlainText(QStringLiteral("two\nlines"));
    }
    const QString whole = textOf(box);
    QVERIFY(showActive(form));
    QTRY_VERIFY(form.control<QDateEdit>(Field::AgreementDate)->hasFocus());

    if (byMouse) {
        QTest::mouseClick(mouseTarget(box), Qt::LeftButton, {}, QPoint(20, 8));
    } else {
        // Tab from the control before it.
        QWidget* previous = box->previousInFocusChain();
        while (!(previous->focusPolicy() & Qt::TabFocus) || !previous->isVisible())
            previous = previous->previousInFocusChain();
        previous->setFocus(Qt::OtherFocusReason);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QVERIFY(box->hasFocus());
    QCOMPARE(selectionOf(box), whole);

    // The first key replaces the whole text.
    QTest::keyClick(box, Qt::Key_Z);
    QCOMPARE(textOf(box), QStringLiteral("z"));

    if (byMouse) {
        // A click in a box that has the focus already puts the caret as usual.
        QTest::keyClicks(box, QStringLiteral("yxwvut"));
        QTest::mouseClick(mouseTarget(box), Qt::LeftButton, {}, QPoint(20, 8));
        QVERIFY(selectionOf(box).isEmpty());
    }
    QVERIFY(rig.platform.messages.empty());
}

void tst_Form1::priceCheck_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("shown");

    QTest::newRow("us number") << "en_US"
                               << "1234.5" << true << "$1,234.50";
    QTest::newRow("us already formatted") << "en_US"
                                          << "$1,234.50" << true << "$1,234.50";
    QTest::newRow("us negative") << "en_US"
                                 << "-5" << true << "($5.00)";
    QTest::newRow("us brackets") << "en_US"
                                 << "(5)" << true << "($5.00)";
    QTest::newRow("us blanks") << "en_US"
                               << "  42  " << true << "$42.00";
    QTest::newRow("us grouping") << "en_US"
                                 << "1,000,000" << true << "$1,000,000.00";
    QTest::newRow("us letters") << "en_US"
                                << "abc" << false << "$0.00";
    QTest::newRow("us empty") << "en_US"
                              << "" << false << "$0.00";
    QTest::newRow("us blank") << "en_US"
                              << "   " << false << "$0.00";
    QTest::newRow("us german form") << "en_US"
                                    << "1.234,50" << false << "$0.00";

    QTest::newRow("de number") << "de_DE"
                               << "1234,5" << true << QString("1.234,50" + kNbspEuro);
    QTest::newRow("de already formatted")
        << "de_DE" << QString("1.234,50" + kNbspEuro) << true << QString("1.234,50" + kNbspEuro);
    QTest::newRow("de negative") << "de_DE"
                                 << "-7,25" << true << QString("-7,25" + kNbspEuro);
    QTest::newRow("de brackets") << "de_DE"
                                 << "(3)" << true << QString("-3,00" + kNbspEuro);
    QTest::newRow("de blanks") << "de_DE"
                               << " 5 " << true << QString("5,00" + kNbspEuro);
    QTest::newRow("de us form") << "de_DE"
                                << "1,234.50" << false << QString("0,00" + kNbspEuro);
    QTest::newRow("de letters") << "de_DE"
                                << "abc" << false << QString("0,00" + kNbspEuro);
    QTest::newRow("de empty") << "de_DE"
                              << "" << false << QString("0,00" + kNbspEuro);
}

void tst_Form1::priceCheck()
{
    QFETCH(QString, locale);
    QFETCH(QString, typed);
    QFETCH(bool, valid);
    QFETCH(QString, shown);
    QLocale::setDefault(QLocale(locale));
    Rig rig;
    Form1& form = rig.start();
    QVERIFY(showActive(form));
    form.control<QLineEdit>(Field::ContractPrice)->setFocus(Qt::OtherFocusReason);
    QVERIFY(form.control<QLineEdit>(Field::ContractPrice)->hasFocus());
    QTest::keyClick(form.control<QLineEdit>(Field::ContractPrice), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(form.control<QLineEdit>(Field::ContractPrice), Qt::Key_Delete);
    // As typed or pasted; the key simulation knows no euro sign.
    form.control<QLineEdit>(Field::ContractPrice)->insert(typed);
    QCOMPARE(form.control<QLineEdit>(Field::ContractPrice)->text(), typed);

    QString textWhileBoxOpen;
    rig.platform.onMessage = [&](const FakePlatform::Message&) {
        textWhileBoxOpen = form.control<QLineEdit>(Field::ContractPrice)->text();
    };
    QTest::keyClick(form.control<QLineEdit>(Field::ContractPrice), Qt::Key_Tab);

    QCOMPARE(form.control<QLineEdit>(Field::ContractPrice)->text(), shown);
    QCOMPARE(rig.stored(agreement::key(Field::ContractPrice)), shown);
    if (valid) {
        QVERIFY(rig.platform.messages.empty());
        QVERIFY(form.control<QPlainTextEdit>(Field::PaymentProgress)->hasFocus());
    } else {
        QCOMPARE(rig.platform.messages.size(), std::size_t(1));
        QCOMPARE(rig.platform.messages.front().text, QStringLiteral("Please enter a valid amount."));
        QCOMPARE(rig.platform.messages.front().caption, kTitle);
        QCOMPARE(rig.platform.messages.front().icon, Platform::Icon::None);
        QCOMPARE(textWhileBoxOpen, typed);
        QVERIFY(form.control<QLineEdit>(Field::ContractPrice)->hasFocus());
        QCOMPARE(form.control<QLineEdit>(Field::ContractPrice)->selectedText(), shown);
        QCOMPARE(form.control<QLineEdit>(Field::ContractPrice)->selectionStart(), 0);
        // The reset text is valid: the next Tab leaves the box.
        QTest::keyClick(form.control<QLineEdit>(Field::ContractPrice), Qt::Key_Tab);
        QCOMPARE(rig.platform.messages.size(), std::size_t(1));
        QVERIFY(form.control<QPlainTextEdit>(Field::PaymentProgress)->hasFocus());
        QCOMPARE(form.control<QLineEdit>(Field::ContractPrice)->text(), shown);
    }
}

void tst_Form1::priceCheckOnlyOnFocusMoveInsideWindow()
{
    Rig rig;
    Form1& form = rig.start();
    QVERIFY(showActive(form));

    // A program change is no focus move.
    form.control<QLineEdit>(Field::ContractPrice)->setText(QStringLiteral("not yet"));
    QVERIFY(rig.platform.messages.empty());

    // Switching to another window leaves the text as it is.
    form.control<QLineEdit>(Field::ContractPrice)->setFocus(Qt::OtherFocusReason);
    QWidget other;
    QVERIFY(showActive(other));
    QVERIFY(rig.platform.messages.empty());
    QCOMPARE(form.control<QLineEdit>(Field::ContractPrice)->text(), QStringLiteral("not yet"));

    // Coming back does not run it either, nor select the text.
    QVERIFY(showActive(form));
    QTRY_VERIFY(form.control<QLineEdit>(Field::ContractPrice)->hasFocus());
    QVERIFY(rig.platform.messages.empty());

    // A click on another control is a focus move.
    QTest::mouseClick(form.control<QLineEdit>(Field::Location), Qt::LeftButton, {}, QPoint(10, 8));
    QCOMPARE(rig.platform.messages.size(), std::size_t(1));
    QVERIFY(form.control<QLineEdit>(Field::ContractPrice)->hasFocus());
    QCOMPARE(form.control<QLineEdit>(Field::ContractPrice)->text(), QStringLiteral("$0.00"));

    // Closing runs nothing but the end of the program.
    form.control<QLineEdit>(Field::ContractPrice)->setText(QStringLiteral("still not"));
    form.close();
    QCOMPARE(rig.platform.messages.size(), std::size_t(1));
    QCOMPARE(rig.stored(agreement::key(Field::ContractPrice)), QStringLiteral("still not"));
    QCOMPARE(rig.platform.endProgramCalls, 1);
}

void tst_Form1::hoverPointers()
{
    Rig rig;
    QVERIFY(writeFile(rig.dir.filePath(QStringLiteral("HAND-M.CUR")), TestFiles::cursorFile(QPoint(0, 0))));
    Form1& form = rig.start();
    QVERIFY(showActive(form));
    WindowPointer& pointer = form.mousePointer();
    QCOMPARE(pointer.value(), MousePointer::Default);

    const QList<QWidget*> buttons = {form.PushButton22, form.PushButton2, form.PushButton3};
    const QList<QWidget*> surfaces = {&form,
                                      form.Frame1,
                                      form.control<QDateEdit>(Field::AgreementDate),
                                      form.control<QLineEdit>(Field::Contractor),
                                      form.control<QLineEdit>(Field::Owner),
                                      form.control<QLineEdit>(Field::Location),
                                      form.control<QPlainTextEdit>(Field::WorkPerformed),
                                      form.control<QLineEdit>(Field::ContractPrice),
                                      form.control<QPlainTextEdit>(Field::PaymentProgress)};
    for (QEvent::Type type : {QEvent::MouseMove, QEvent::Enter}) {
        for (QWidget* button : buttons) {
            for (QWidget* surface : surfaces) {
                sendHover(button, type);
                QCOMPARE(pointer.value(), MousePointer::Custom);
                QCOMPARE(form.control<QLineEdit>(Field::Contractor)->cursor().shape(), Qt::BitmapCursor);
                sendHover(surface, type);
                QCOMPARE(pointer.value(), MousePointer::Default);
            }
        }
    }
    QCOMPARE(form.control<QLineEdit>(Field::Contractor)->cursor().shape(), Qt::IBeamCursor);

    pointer.set(MousePointer::Busy);
    for (QWidget* w : buttons + surfaces) {
        sendHover(w, QEvent::MouseMove);
        QCOMPARE(pointer.value(), MousePointer::Busy);
        QCOMPARE(w->cursor().shape(), Qt::WaitCursor);
    }
}

void tst_Form1::sampleData()
{
    Rig rig;
    rig.platform.todayValue = QDate(2022, 4, 23);
    Form1& form = rig.start();
    form.control<QDateEdit>(Field::AgreementDate)->setDate(QDate(2015, 6, 1));

    for (int round = 0; round < 2; ++round) {
        form.PushButton3->click();
        QVERIFY(rig.platform.messages.empty());
        QVERIFY(rig.platform.questions.empty()); // empty boxes, the price at zero, then the example
        const agreement::Particulars example = agreement::example(QDate(2022, 4, 23), QLocale());
        QCOMPARE(form.particulars(), example);
        // The amount in currency form, never the bare number.
        QCOMPARE(example[Field::ContractPrice], QStringLiteral("$74.00"));
        QCOMPARE(rig.stored(agreement::key(Field::AgreementDate)), StoredValue::dateText(QDate(2022, 4, 23)));
        for (const agreement::Particular& p : agreement::kParticulars) {
            if (p.kind != agreement::Kind::Date)
                QCOMPARE(rig.stored(p.key), example[p.field]);
        }
    }
}

void tst_Form1::sampleDataAsksBeforeReplacingTyped_data()
{
    QTest::addColumn<bool>("yes");
    QTest::newRow("yes") << true;
    QTest::newRow("no") << false;
}

void tst_Form1::sampleDataAsksBeforeReplacingTyped()
{
    QFETCH(bool, yes);
    Rig rig;
    Form1& form = rig.start();
    form.control<QLineEdit>(Field::Contractor)->setText(QStringLiteral("typed"));
    rig.platform.yesNoAnswers = {yes};
    form.PushButton3->click();
    QCOMPARE(rig.platform.askedQuestions.size(), std::size_t(1));
    const FakePlatform::Question& question = rig.platform.askedQuestions.front();
    QCOMPARE(question.text, QLatin1String(Form1Text::kReplaceWithExample));
    QCOMPARE(question.caption, form.appTitle());
    QCOMPARE(question.defaultAnswer, Platform::Answer::No);
    QCOMPARE(form.control<QLineEdit>(Field::Contractor)->text() == QStringLiteral("typed"), !yes);
    QCOMPARE(rig.stored(agreement::key(Field::Contractor)),
             form.control<QLineEdit>(Field::Contractor)->text());
    QCOMPARE(form.control<QLineEdit>(Field::Owner)->text().isEmpty(), !yes);
}

// Ctrl+O asks for a file and fills the form with the agreement's particulars, asking first
// about what was typed.
void tst_Form1::openSavedAgreement()
{
    Rig rig;
    Form1& form = rig.start();
    const agreement::Particulars saved{
        QDate(2027, 3, 15),
        {{QString(), QStringLiteral("Northwind"), QStringLiteral("Ellison"), QStringLiteral("Juniper Road"),
          QStringLiteral("Roof\nGutters"), Currency::format(12500, QLocale()), QStringLiteral("Thirds")}},
        {}};
    const std::vector<std::uint8_t> bytes =
        agreement::fill(agreement::Template::document(),
                        agreement::insertions(saved, QDate(2027, 3, 1), QLocale()))
            .serialize();
    QFile file(rig.dir.filePath(QStringLiteral("saved.doc")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    file.close();
    form.control<QLineEdit>(Field::Contractor)->setText(QStringLiteral("typed"));
    rig.platform.openFileAnswers = {file.fileName()};
    QVERIFY(showActive(form));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(rig.platform.openDialogs.size(), std::size_t(1));
    QCOMPARE(rig.platform.questions, std::vector<QString>{QLatin1String(Form1Text::kReplaceWithSaved)});
    QCOMPARE(form.particulars(), saved);
    QCOMPARE(rig.stored(agreement::key(Field::WorkPerformed)), saved[Field::WorkPerformed]);
}

void tst_Form1::dropForeignFile_data()
{
    QTest::addColumn<QString>("target");    // a control's name, empty for the window
    QTest::addColumn<bool>("wordDocument"); // else a text file
    QTest::newRow("Word document on the window") << QString() << true;
    QTest::newRow("Word document on a text box") << "txtContractor" << true;
    QTest::newRow("Word document on a multi-line box") << "txtWorkPerformed" << true;
    QTest::newRow("text file on the date") << "dtpAgreementDate" << false;
}

// A file dropped anywhere on the window is opened as an agreement, not typed into the box under
// it as an address; one that is no agreement of ours is said plainly and changes nothing.
void tst_Form1::dropForeignFile()
{
    QFETCH(QString, target);
    QFETCH(bool, wordDocument);
    Rig rig;
    Form1& form = rig.start();
    const agreement::Particulars before = form.particulars();
    const QString foreign = wordDocument ? QFINDTESTDATA("../data/word-features.doc")
                                         : rig.dir.filePath(QStringLiteral("notes.txt"));
    QVERIFY(wordDocument ? !foreign.isEmpty() : writeFile(foreign, "notes"));
    QWidget* receiver = &form;
    if (!target.isEmpty()) {
        receiver = mouseTarget(form.findChild<QWidget*>(target));
        if (auto* picker = qobject_cast<QDateEdit*>(receiver))
            receiver = picker->findChild<QLineEdit*>();
    }
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(foreign)});
    // As file managers offer it, for the text boxes to take.
    data.setText(QUrl::fromLocalFile(foreign).toString());
    QVERIFY(showActive(form));
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(receiver, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(receiver, &drop);
    QCOMPARE(rig.platform.messageTexts(),
             QStringList{QString::fromUtf8(Form1Text::kNotAnAgreement)
                             .arg(QDir::toNativeSeparators(foreign),
                                  QLatin1String(agreement::ReadBackText::kNotOurs))});
    QCOMPARE(form.particulars(), before);
}

void tst_Form1::help()
{
    Rig rig;
    Form1& form = rig.start();
    form.PushButton2->click();
    QCOMPARE(rig.platform.messages.size(), std::size_t(1));
    const QString text = rig.platform.messages.front().text;
    QVERIFY(text.startsWith(QStringLiteral(
        "Questions? Please contact Team Quillmark at https://www.quillmark.example/contact/\n")));
    // It says where the preview's page commands are, and their keys.
    for (const PageActions::Command& command : PageActions::commands())
        QVERIFY2(text.contains(PageActions::withKeys(command.caption, command.keys)), qPrintable(text));
    QCOMPARE(rig.platform.messages.front().caption, kTitle);
    QCOMPARE(rig.platform.messages.front().icon, Platform::Icon::None);
    QVERIFY(rig.platform.openedUrls.empty());
}

void tst_Form1::startCreatingTemplateHook()
{
    Rig rig;
    Form1& form = rig.start();
    form.PushButton22->click();
    int clicks = 0;
    form.onStartCreatingTemplate = [&clicks] { ++clicks; };
    form.PushButton22->click();
    QCOMPARE(clicks, 1);
    QVERIFY(rig.platform.messages.empty());
}

void tst_Form1::closingEndsProgram()
{
    Rig rig;
    Form1& form = rig.start();
    QVERIFY(showActive(form));
    QVERIFY(form.close());
    QCOMPARE(rig.platform.endProgramCalls, 1);
    QVERIFY(rig.platform.messages.empty());
}

// The home improvement agreement's own particulars appear below the seven, scrolled past the screen,
// each stored under its template; the choice and the values come back at the next start.
void tst_Form1::templateChosenWithItsExtras()
{
    const QString home = QLatin1String(agreement::HomeImprovement::kName);
    const QStringList wanted = agreement::HomeImprovement::get().wanted().extras;
    QVERIFY(!wanted.isEmpty());
    Rig rig;
    {
        Form1& form = rig.start();
        const QSize standardSize = form.size();
        QCOMPARE(form.cboAgreement->count(), rig.form->templates().names().size());
        choose(form, home);
        QVERIFY(rig.platform.messages.empty());
        QCOMPARE(extraNames(form), wanted);
        QVERIFY(form.tagTemplate());
        QVERIFY(form.height() > standardSize.height());
        QVERIFY(form.frameGeometry().height() <= form.screen()->availableGeometry().height());
        QVERIFY(form.extrasArea->widget()->height() > form.extrasArea->viewport()->height());

        form.extraBoxes().back()->setText(QStringLiteral("two years"));
        QCOMPARE(rig.stored(TemplateLibrary::extraKey(home, wanted.back()).constData()),
                 QStringLiteral("two years"));
        QCOMPARE(form.particulars().extras.back(),
                 (agreement::Extra{wanted.back(), QStringLiteral("two years")}));

        choose(form, QLatin1String(agreement::Template::kName));
        QVERIFY(form.extraBoxes().isEmpty());
        QVERIFY(!form.tagTemplate());
        QCOMPARE(form.size(), standardSize);
        choose(form, home);
    }
    rig.form.reset();
    Form1& again = rig.start();
    QCOMPARE(again.cboAgreement->currentText(), home);
    QCOMPARE(again.extraBoxes().back()->text(), QStringLiteral("two years"));
}

void tst_Form1::templateRefused_data()
{
    QTest::addColumn<bool>("atStart"); // else chosen in the list
    QTest::newRow("chosen in the list") << false;
    QTest::newRow("chosen last, now faulty") << true;
}

// A template that cannot be used is said with its faults, and the agreement before stays chosen.
void tst_Form1::templateRefused()
{
    QFETCH(bool, atStart);
    Rig rig;
    QVERIFY(rig.addTemplate(QStringLiteral("own-faulty.doc")));
    const QString faulty = QStringLiteral("own-faulty");
    if (atStart)
        rig.store.write(TemplateLibrary::kChoiceKey, faulty);
    Form1& form = rig.start();
    if (!atStart)
        choose(form, faulty);
    QCOMPARE(rig.platform.messages.size(), std::size_t(1));
    const QString header = QString::fromUtf8(Form1Text::kTemplateRefused).arg(faulty, QString());
    QVERIFY2(rig.platform.messages.front().text.startsWith(header),
             qPrintable(rig.platform.messages.front().text));
    QCOMPARE(form.cboAgreement->currentText(), QLatin1String(agreement::Template::kName));
    QVERIFY(!form.tagTemplate());
    QCOMPARE(rig.stored(TemplateLibrary::kChoiceKey),
             atStart ? QLatin1String(agreement::Template::kName) : QStringLiteral("<absent>"));
}

// Add Template copies the file in and chooses it; Remove Template takes it away again.
void tst_Form1::addAndRemoveTemplate()
{
    Rig rig;
    Form1& form = rig.start();
    QVERIFY(!form.cmdRemoveTemplate->isEnabled());
    rig.platform.openFileAnswers = {QFINDTESTDATA("../data/own-plain.doc")};
    form.cmdAddTemplate->click();
    QCOMPARE(rig.platform.openDialogs.size(), std::size_t(1));
    QCOMPARE(rig.platform.openDialogs.front().filter, QLatin1String(Form1Text::kAddTemplateFilter));
    QVERIFY(rig.platform.messages.empty());
    QCOMPARE(form.cboAgreement->currentText(), QStringLiteral("own-plain"));
    QVERIFY(QFile::exists(rig.templates() + QStringLiteral("/own-plain.doc")));
    QVERIFY(!form.extraBoxes().isEmpty());
    QVERIFY(form.cmdRemoveTemplate->isEnabled());

    rig.platform.yesNoAnswers = {true};
    form.cmdRemoveTemplate->click();
    QCOMPARE(rig.platform.askedQuestions.back().defaultAnswer, Platform::Answer::No);
    QCOMPARE(form.cboAgreement->findText(QStringLiteral("own-plain")), -1);
    QCOMPARE(form.cboAgreement->currentText(), QLatin1String(agreement::Template::kName));
    QVERIFY(form.extraBoxes().isEmpty());
    QVERIFY(!QFile::exists(rig.templates() + QStringLiteral("/own-plain.doc")));
}

void tst_Form1::newAgreement_data()
{
    QTest::addColumn<bool>("typed");
    QTest::addColumn<bool>("yes");
    QTest::newRow("nothing typed") << false << true;
    QTest::newRow("typed, yes") << true << true;
    QTest::newRow("typed, no") << true << false;
}

// Ctrl+N empties every particular, the template's own too, and the date follows today again.
void tst_Form1::newAgreement()
{
    QFETCH(bool, typed);
    QFETCH(bool, yes);
    Rig rig;
    Form1& form = rig.start();
    choose(form, QLatin1String(agreement::HomeImprovement::kName));
    form.control<QDateEdit>(Field::AgreementDate)->setDate(QDate(2015, 6, 1));
    if (typed) {
        form.control<QLineEdit>(Field::Contractor)->setText(QStringLiteral("typed"));
        form.extraBoxes().front()->setText(QStringLiteral("typed too"));
    }
    const agreement::Particulars before = form.particulars();
    rig.platform.yesNoAnswers = {yes};
    QVERIFY(showActive(form));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_N, Qt::ControlModifier);
    QCOMPARE(rig.platform.askedQuestions.size(), std::size_t(typed));
    if (typed)
        QCOMPARE(rig.platform.askedQuestions.front().defaultAnswer, Platform::Answer::No);
    if (!yes) {
        QCOMPARE(form.particulars(), before);
        return;
    }
    const agreement::Particulars emptied = form.particulars();
    QCOMPARE(emptied.agreementDate, rig.platform.todayValue);
    QCOMPARE(emptied[Field::Contractor], QString());
    QCOMPARE(emptied[Field::ContractPrice], Currency::format(0, QLocale()));
    for (const agreement::Extra& extra : emptied.extras)
        QCOMPARE(extra.value, QString());
    QCOMPARE(rig.stored(agreement::key(Field::AgreementDate)), QString());
}

void tst_Form1::openAgreementOfATemplate_data()
{
    QTest::addColumn<bool>("listed");
    QTest::newRow("template in the list") << true;
    QTest::newRow("template not in the list") << false;
}

// An agreement made from a template of tags chooses that template and fills its particulars too;
// one whose template is not in the list fills the seven and says so.
void tst_Form1::openAgreementOfATemplate()
{
    QFETCH(bool, listed);
    Rig rig;
    if (listed)
        QVERIFY(rig.addTemplate(QStringLiteral("own-plain.doc")));
    Form1& form = rig.start();
    const agreement::TagTemplate own =
        agreement::TagTemplate::fromFile(QFINDTESTDATA("../data/own-plain.doc"));
    agreement::Particulars saved{
        QDate(2027, 3, 15),
        {{QString(), QStringLiteral("Northwind"), QStringLiteral("Ellison"), QStringLiteral("Juniper Road"),
          QStringLiteral("Roof"), Currency::format(12500, QLocale()), QStringLiteral("Thirds")}},
        {}};
    for (const QString& name : own.wanted().extras)
        saved.extras.push_back({name, name + QStringLiteral(" value")});
    const agreement::FilledAgreement filled(own, saved, QDate(2027, 3, 1), QLocale());
    QFile file(rig.dir.filePath(QStringLiteral("saved.doc")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(reinterpret_cast<const char*>(filled.bytes().data()),
               static_cast<qint64>(filled.bytes().size()));
    file.close();
    rig.platform.openFileAnswers = {file.fileName()};
    QVERIFY(showActive(form));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_O, Qt::ControlModifier);
    if (listed) {
        QVERIFY(rig.platform.messages.empty());
        QCOMPARE(form.cboAgreement->currentText(), own.name());
        QCOMPARE(form.particulars(), saved);
    } else {
        QCOMPARE(rig.platform.messageTexts(),
                 QStringList{QString::fromUtf8(Form1Text::kTemplateNotListed)
                                 .arg(QDir::toNativeSeparators(file.fileName()), own.name())});
        agreement::Particulars seven = saved;
        seven.extras.clear();
        QCOMPARE(form.particulars(), seven);
    }
}

QTEST_MAIN(tst_Form1)
#include "tst_form1.moc"
