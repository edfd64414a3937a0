#include "app/form1.h"
#include "product/product.h"

#include "agreement/agreementdate.h"
#include "agreement/agreementtemplate.h"
#include "agreement/currency.h"
#include "agreement/ordinal.h"
#include "agreement/readback.h"
#include "app/apptitle.h"
#include "app/storedvalue.h"
#include "app/textwrap.h"
#include "doc/error.h"
#include "preview/pageactions.h"
#include "render/pagefonts.h"
#include "render/units.h"
#include "shell/errorreport.h"
#include "shell/windowaccessible.h"
#include "shell/windowlook.h"
#include "shell/windowplacement.h"
#include "shell/workingfiles.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QStandardPaths>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTextDocument>

#include <algorithm>
#include <limits>

namespace
{

int px(int twips)
{
    return render::roundTwipsToPixels(twips);
}

QRect twipRect(int left, int top, int width, int height)
{
    return QRect(px(left), px(top), px(width), px(height));
}

constexpr int kClientWidth = 8520;
// The agreement's row stands above the buttons and the frame, which keep their places to each
// other below it. A whole number of pixels, so that nothing below moves by a rounding.
constexpr int kRowTop = 120;
constexpr int kRowHeight = 345;
constexpr int kBelowRow = kRowTop + kRowHeight;
static_assert(kBelowRow % render::kTwipsPerPixel == 0);
constexpr int kFrameTop = kBelowRow + 1110;
constexpr int kFrameLeft = 120;
constexpr int kFrameWidth = 8280;
// The frame ends this far below its lowest particular, and the window this far below the frame.
constexpr int kFrameBelowRows = 190;
constexpr int kClientBelowFrame = 125;
constexpr int kRowsBottom = [] {
    int bottom = 0;
    for (const agreement::Particular& row : agreement::kParticulars)
        bottom = std::max(bottom, row.place.top + row.place.height);
    return bottom;
}();
constexpr int kFrameHeight = kRowsBottom + kFrameBelowRows;
// An extra particular's row, below the seven and as far apart as they are: a box as high as one
// of theirs, its caption where theirs stand.
constexpr agreement::Place kExtraPlace = agreement::particular(agreement::Field::Contractor).place;
constexpr int kExtraGap = kExtraPlace.top - [] {
    const agreement::Place& above = agreement::particular(agreement::Field::AgreementDate).place;
    return above.top + above.height;
}();
constexpr int kExtraPitch = kExtraPlace.height + kExtraGap;
constexpr int kLabelHeight = 225;
// A caption stands this far below the top of its control.
constexpr int kCaptionDrop = 45;
constexpr int kHomePageDraw = 7;
// The step numbers of the first particular's restore at start-up and of its example value.
constexpr int kFirstRestoreStep = 128;
constexpr int kFirstSampleStep = 100;
// The report numbers seven particulars two lines apart; any further one reports at the
// seventh's line, so it never takes the Word check's number (142).
constexpr int kNumberedParticulars = 7;
constexpr int particularStep(int first, agreement::Field field)
{
    return first + 2 * std::min(static_cast<int>(agreement::indexOf(field)), kNumberedParticulars - 1);
}
const QDate kDesignDate(2010, 1, 17);

constexpr char kSkinFile[] = "/x/o.cjs";
constexpr char kIconResource[] = ":/icon.png";

const QString kInvalidAmount = QStringLiteral("Please enter a valid amount.");
const QString kStoreFailureLink = QStringLiteral(" <a href=\"why\">Why?</a>");
const QString kWindowName = QStringLiteral("Agreement particulars");

const QString kWordAdvice = QStringLiteral(
    "Error 842001. A normal instance of Word could not be created.\r\n\r\n"
    "1. Please make sure Word is installed on this computer.\r\n\r\n"
    "2. Please open Word normally and make sure a blank document opens immediately without any "
    "interrupting window (such as an Word file recovery window).\r\n\r\n"
    "3. Please make sure that when you double-click on a DOC or DOCX file that Word opens normally "
    "without any interrupting messages.\r\n\r\n"
    "4. All versions of Word are supported by this software except for the rare Word Starter and "
    "Student editions.");

void setBackground(QWidget* widget, const QColor& colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

// Wrapping is chosen before the text arrives, so the text is laid out once.
void setPlainText(QPlainTextEdit* box, const QString& text)
{
    if (plainText(box) == text)
        return;
    box->setWordWrapMode(TextWrap::modeFor(text));
    box->setPlainText(text);
}

// What a screen reader says for a field: its label without the blanks and the colon.
QString spokenCaption(const QString& caption)
{
    QString name = caption.trimmed();
    if (name.endsWith(QLatin1Char(':')))
        name.chop(1);
    return name;
}

// Dragged files are the window's wherever they are dropped on it: one is opened as an agreement,
// and none is typed into the text box under the pointer as its address. Text and web addresses
// are still the boxes' to take.
class FileDrops : public QObject
{
public:
    FileDrops(QWidget& window, std::function<void(const QString&)> open)
        : QObject(&window), mOpen(std::move(open))
    {
        window.installEventFilter(this);
        for (QWidget* child : window.findChildren<QWidget*>())
            child->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        // Controls made later, such as a template's own particulars, are watched as they come.
        if (event->type() == QEvent::ChildAdded) {
            if (QObject* child = static_cast<QChildEvent*>(event)->child(); child->isWidgetType())
                child->installEventFilter(this);
        }
        if (event->type() != QEvent::DragEnter && event->type() != QEvent::DragMove &&
            event->type() != QEvent::Drop)
            return QObject::eventFilter(watched, event);
        auto* drop = static_cast<QDropEvent*>(event);
        const QList<QUrl> urls = drop->mimeData()->urls();
        if (std::none_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); }))
            return QObject::eventFilter(watched, event);
        if (urls.size() != 1) {
            drop->ignore();
            return true;
        }
        drop->acceptProposedAction();
        if (event->type() == QEvent::Drop)
            mOpen(urls.front().toLocalFile());
        return true;
    }

private:
    std::function<void(const QString&)> mOpen;
};

// Whether the file is no agreement of this program's at all, rather than one that failed to read.
bool notOurs(const std::exception& error)
{
    if (dynamic_cast<const agreement::NotAnAgreement*>(&error))
        return true;
    const auto* docError = dynamic_cast<const doc::Error*>(&error);
    return docError && (docError->kind() == doc::Error::Kind::NotCompoundFile ||
                        docError->kind() == doc::Error::Kind::NotWordDocument);
}

// An extra particular's value by its name, as names are matched; empty when particulars lack it.
QString extraValue(const agreement::Particulars& particulars, const QString& name)
{
    const QString key = agreement::matchingName(name);
    const auto given =
        std::find_if(particulars.extras.begin(), particulars.extras.end(),
                     [&](const agreement::Extra& e) { return agreement::matchingName(e.name) == key; });
    return given == particulars.extras.end() ? QString() : given->value;
}

// The picker has no call that opens its calendar; a press on its arrow does.
void openCalendar(QDateEdit* picker)
{
    QStyleOptionComboBox option;
    option.initFrom(picker);
    option.editable = true;
    option.subControls = QStyle::SC_All;
    const QRect arrow =
        picker->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxArrow, picker);
    const QPointF at = QRectF(arrow.isValid() ? arrow : picker->rect()).center();
    QMouseEvent press(QEvent::MouseButtonPress, at, picker->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(picker, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, picker->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QCoreApplication::sendEvent(picker, &release);
}

} // namespace

// The text as typed: toPlainText() would turn non-breaking spaces into plain ones.
QString plainText(const QPlainTextEdit* box)
{
    QString text = box->document()->toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    text.replace(QChar::LineSeparator, QLatin1Char('\n'));
    return text;
}

Form1::Form1(Platform& platform, SettingsStore& store, WordCheck startWordCheck, QString programDir,
             QString templatesFolder)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      mPlatform(platform), mStore(store), mStartWordCheck(std::move(startWordCheck)),
      mProgramDir(programDir.isEmpty() ? QCoreApplication::applicationDirPath() : std::move(programDir)),
      mPointer(*this), mLibrary(store, std::move(templatesFolder)),
      mTemplateName(QLatin1String(agreement::Template::kName))
{
    // Before anything asks for the window's accessible interface, which is then kept.
    WindowAccessible::announceAsWindow(*this);
    setObjectName(QStringLiteral("Form1"));
    createControls();
    connectHandlers();
}

void Form1::createControls()
{
    render::registerPageFonts(render::Faces::Windows);
    QFont windowFont(QStringLiteral("Arial"));
    windowFont.setPointSizeF(9);
    windowFont.setBold(true);
    setFont(windowFont);
    QFont buttonFont(QStringLiteral("Arial"));
    buttonFont.setPointSizeF(11.25);
    buttonFont.setBold(true);
    setWindowTitle(QStringLiteral("Form1"));
    setAccessibleName(kWindowName);

    const auto button = [&](const char* name, const QString& caption, QRect geometry) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QLatin1String(name));
        b->setFont(buttonFont);
        b->setGeometry(geometry);
        // Enter on the focused button presses it, as on Windows.
        b->setAutoDefault(true);
        return b;
    };
    PushButton22 = button("PushButton22", QStringLiteral("Start Creating Template"),
                          twipRect(120, kBelowRow + 120, 8280, 400));
    PushButton2 = button("PushButton2", QStringLiteral("Help"), twipRect(120, kBelowRow + 630, 4080, 405));
    PushButton3 = button("PushButton3", QStringLiteral("Load Sample/Example Data"),
                         twipRect(4320, kBelowRow + 630, 4080, 405));

    Frame1 = new QGroupBox(QStringLiteral("Contractor Agreement Details"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setGeometry(twipRect(kFrameLeft, kFrameTop, kFrameWidth, kFrameHeight));

    for (const agreement::Particular& particular : agreement::kParticulars)
        createControl(particular);

    // The extras' rows scroll in a panel of their own, below the seven, once there are any.
    extrasArea = new QScrollArea(Frame1);
    extrasArea->setObjectName(QStringLiteral("extrasArea"));
    extrasArea->setFrameShape(QFrame::NoFrame);
    extrasArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The panel fills the area's width; its height is its rows', and the frame shows through.
    extrasArea->setWidgetResizable(true);
    extrasArea->viewport()->setAutoFillBackground(false);
    const QString extrasName = QStringLiteral("The agreement's own particulars");
    extrasArea->setAccessibleName(extrasName);
    extrasArea->horizontalScrollBar()->setAccessibleName(extrasName +
                                                         QStringLiteral(", scroll left and right"));
    extrasArea->verticalScrollBar()->setAccessibleName(extrasName + QStringLiteral(", scroll up and down"));
    mExtrasPanel = new QWidget;
    extrasArea->setWidget(mExtrasPanel);
    // setWidget() has the panel paint itself; the frame is to show through.
    mExtrasPanel->setAutoFillBackground(false);
    extrasArea->hide();
    createAgreementRow();

    // The design colours, until a skin replaces them.
    setBackground(this, Qt::white);
    setBackground(Frame1, Qt::white);
    for (QLabel* label : Label4)
        setBackground(label, Qt::white);
    setBackground(lblAgreement, Qt::white);

    // One line below the frame, as wide, which keeps the window on a small screen at a scale of
    // 2. Why the store fails is its tool tip, and a click on its link says it in a box.
    lblStoreFailure = new QLabel(QLatin1String(Form1Text::kStoreFailure) + kStoreFailureLink, this);
    lblStoreFailure->setObjectName(QStringLiteral("lblStoreFailure"));
    lblStoreFailure->setTextFormat(Qt::RichText);
    lblStoreFailure->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
    lblStoreFailure->setWordWrap(true);
    lblStoreFailure->setMargin(px(60));
    const QRect frame = Frame1->geometry();
    lblStoreFailure->resize(frame.width(), lblStoreFailure->heightForWidth(frame.width()));
    setBackground(lblStoreFailure, QColor(0xFF, 0xF4, 0xCE));
    lblStoreFailure->hide();
    fitHeight();

    orderTabs();
    mControls.front()->setFocus(Qt::OtherFocusReason);

    WindowPlacement::placeOnScreen(*this, size());
}

// A line as high as a text box at the top, as wide as the frame: the caption, the list, and the
// buttons for the user's own templates at the right, as wide as their captions ask. All in the
// window's font, which leaves the list room for a name.
void Form1::createAgreementRow()
{
    const QRect row = twipRect(kFrameLeft, kRowTop, kFrameWidth, kRowHeight);
    lblAgreement = new QLabel(QStringLiteral("&Agreement:"), this);
    lblAgreement->setObjectName(QStringLiteral("lblAgreement"));
    lblAgreement->setGeometry(row.left(), row.top(), lblAgreement->sizeHint().width(), row.height());

    const auto button = [&](const char* name, const QString& caption) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(true);
        return b;
    };
    cmdAddTemplate = button("cmdAddTemplate", QStringLiteral("Add Template\u2026"));
    cmdRemoveTemplate = button("cmdRemoveTemplate", QStringLiteral("Remove Template"));
    const int spacing = px(kFrameLeft);
    int right = row.right() + 1;
    for (QPushButton* b : {cmdRemoveTemplate, cmdAddTemplate}) {
        const int width = b->sizeHint().width();
        right -= width;
        b->setGeometry(right, row.top(), width, row.height());
        right -= spacing;
    }

    cboAgreement = new QComboBox(this);
    cboAgreement->setObjectName(QLatin1String(TemplateLibrary::kChoiceKey));
    const int left = lblAgreement->geometry().right() + 1 + spacing;
    cboAgreement->setGeometry(left, row.top(), right - left, row.height());
    lblAgreement->setBuddy(cboAgreement);
    cboAgreement->setAccessibleName(spokenCaption(lblAgreement->text().remove(QLatin1Char('&'))));
    listTemplates();
    cmdRemoveTemplate->setEnabled(false);
}

// The agreement's particulars in their order, the buttons, then the agreement's row; the
// window opens in the first particular.
void Form1::orderTabs()
{
    QList<QWidget*> order(mControls.begin(), mControls.end());
    for (const ExtraRow& extra : mExtras)
        order << extra.box;
    order << PushButton22 << PushButton2 << PushButton3 << cboAgreement << cmdAddTemplate
          << cmdRemoveTemplate;
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
}

void Form1::createControl(const agreement::Particular& particular)
{
    using agreement::Kind;
    QWidget* control = nullptr;
    switch (particular.kind) {
    case Kind::Date: {
        auto* picker = new QDateEdit(Frame1);
        picker->setCalendarPopup(true);
        picker->setDisplayFormat(QStringLiteral("dd-MMM-yyyy"));
        picker->setDateRange(AgreementDate::first(), AgreementDate::last());
        picker->setDate(kDesignDate);
        control = picker;
        break;
    }
    case Kind::Line:
    case Kind::Amount: {
        auto* box = new QLineEdit(Frame1);
        // No length limit of the control's own: a pasted text is kept whole.
        box->setMaxLength(std::numeric_limits<int>::max());
        control = box;
        break;
    }
    case Kind::Lines: {
        auto* box = new QPlainTextEdit(Frame1);
        box->setTabChangesFocus(true);
        // A bar that appears once the text is laid out narrows the box and lays it out again.
        box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        // The style draws no focus for a multi-line box; the same frame in the highlight colour
        // shows it without changing the box's size.
        box->setStyleSheet(QStringLiteral("QPlainTextEdit { border: 1px solid palette(mid); }"
                                          "QPlainTextEdit:focus { border: 1px solid palette(highlight); }"));
        control = box;
        break;
    }
    }
    const agreement::Place& place = particular.place;
    control->setObjectName(QLatin1String(particular.key));
    control->setGeometry(twipRect(place.left, place.top, place.width, place.height));
    const std::size_t index = agreement::indexOf(particular.field);
    mControls[index] = control;

    auto* label = new QLabel(QLatin1String(particular.caption), Frame1);
    label->setObjectName(QStringLiteral("Label4_%1").arg(index));
    label->move(px(place.captionLeft), px(place.top + kCaptionDrop));
    label->resize(label->sizeHint().width(), px(kLabelHeight));
    label->setBuddy(control);
    Label4[index] = label;
    const QString name = spokenCaption(label->text());
    control->setAccessibleName(name);
    if (auto* multi = qobject_cast<QPlainTextEdit*>(control)) {
        multi->horizontalScrollBar()->setAccessibleName(name + QStringLiteral(", scroll left and right"));
        multi->verticalScrollBar()->setAccessibleName(name + QStringLiteral(", scroll up and down"));
    }
}

QDateEdit* Form1::datePicker() const
{
    return control<QDateEdit>(agreement::Field::AgreementDate);
}

void Form1::connectHandlers()
{
    for (QPushButton* b : {PushButton22, PushButton2, PushButton3, cmdAddTemplate, cmdRemoveTemplate})
        mPointer.watchButton(b);
    for (QWidget* surface : std::initializer_list<QWidget*>{this, Frame1, lblStoreFailure, cboAgreement,
                                                            extrasArea->viewport(), mExtrasPanel})
        mPointer.watchSurface(surface);

    connect(PushButton22, &QPushButton::clicked, this, [this] {
        if (onStartCreatingTemplate)
            onStartCreatingTemplate();
    });
    connect(PushButton2, &QPushButton::clicked, this, &Form1::PushButton2_Click);
    connect(PushButton3, &QPushButton::clicked, this, &Form1::PushButton3_Click);
    connect(new QShortcut(QKeySequence::Open, this), &QShortcut::activated, this, &Form1::openAgreement);
    actNewAgreement = new QAction(QLatin1String(Form1Text::kNewAgreement), this);
    actNewAgreement->setObjectName(QStringLiteral("actNewAgreement"));
    actNewAgreement->setShortcut(QKeySequence::New);
    addAction(actNewAgreement);
    connect(actNewAgreement, &QAction::triggered, this, &Form1::newAgreement);
    connect(cboAgreement, &QComboBox::activated, this,
            [this](int index) { chooseTemplate(cboAgreement->itemText(index)); });
    connect(cmdAddTemplate, &QPushButton::clicked, this, &Form1::addTemplate);
    connect(cmdRemoveTemplate, &QPushButton::clicked, this, &Form1::removeTemplate);
    setAcceptDrops(true);
    new FileDrops(*this, [this](const QString& file) { loadAgreement(file); });
    connect(lblStoreFailure, &QLabel::linkActivated, this, [this] {
        mPlatform.showMessage(QLatin1String(Form1Text::kStoreFailure) + QStringLiteral("\n\n") +
                                  lblStoreFailure->toolTip(),
                              mAppTitle, Platform::Icon::None);
    });

    for (const agreement::Particular& particular : agreement::kParticulars) {
        mPointer.watchSurface(control(particular.field));
        storeChanges(particular);
        // Select-all on focus, and Tab out of the date picker instead of through its fields.
        control(particular.field)->installEventFilter(this);
        if (auto* multi = control<QPlainTextEdit>(particular.field))
            multi->viewport()->installEventFilter(this);
    }

    mFocusWatch = connect(qApp, &QApplication::focusChanged, this, &Form1::focusMoved);
}

// Every change is written at once under the particular's key.
void Form1::storeChanges(const agreement::Particular& particular)
{
    const char* key = particular.key;
    switch (particular.kind) {
    case agreement::Kind::Date:
        mShownDate = datePicker()->date();
        connect(datePicker(), &QDateEdit::dateChanged, this, [this, key](QDate date) {
            const bool changed = date != mShownDate;
            mShownDate = date;
            if (changed && !mRestoringDate)
                store({{key, StoredValue::dateText(date)}});
        });
        break;
    case agreement::Kind::Line:
        connect(control<QLineEdit>(particular.field), &QLineEdit::textChanged, this,
                [this, key](const QString& text) {
                    store({{key, text}});
                });
        break;
    case agreement::Kind::Amount:
        // Other code reads the price as shown; its amount beside it is what another locale reads back.
        connect(control<QLineEdit>(particular.field), &QLineEdit::textChanged, this,
                [this, key](const QString& text) {
                    std::vector<SettingsStore::Entry> entries{{key, text}};
                    if (const std::optional<double> amount = Currency::parse(text, QLocale()))
                        entries.push_back(
                            {SettingsKey::txtContractPriceAmount, StoredValue::amountText(*amount)});
                    store(entries);
                });
        break;
    case agreement::Kind::Lines: {
        QPlainTextEdit* box = control<QPlainTextEdit>(particular.field);
        connect(box, &QPlainTextEdit::textChanged, this, [this, box, key] {
            const QString text = plainText(box);
            store({{key, text}});
            const QTextOption::WrapMode mode = TextWrap::modeFor(text);
            if (box->wordWrapMode() != mode)
                box->setWordWrapMode(mode);
        });
        break;
    }
    }
}

// Hiding the controls while they are destroyed moves the focus; this window is gone by then.
Form1::~Form1()
{
    disconnect(mFocusWatch);
}

bool Form1::load()
{
    ErrorReport report(mPlatform, QStringLiteral("Form1"), QStringLiteral("Form_Load"));
    report.step(100, [this] { ApplySkin(); });
    report.step(104, [this] { setWindowTitle(QLatin1String(Product::kName)); });
    report.step(104, [this] { setWindowIcon(QIcon(QLatin1String(kIconResource))); });
    report.step(104, [this] { mAppTitle = SetAppTitle(QLatin1String(Product::kName)); });
    mPointer.loadHandCursor(report, 106, 108, mProgramDir);
    report.step(110, [this] { OpenHomePageAtRandom(); });
    // Each particular from its key, two step numbers apart in the table's order.
    for (const agreement::Particular& particular : agreement::kParticulars)
        report.step(particularStep(kFirstRestoreStep, particular.field),
                    [this, &particular] { restore(particular); });
    // The agreement chosen last, with its own particulars, reports as any further particular.
    report.step(particularStep(kFirstRestoreStep, agreement::kParticulars.back().field),
                [this] { restoreTemplate(); });
    bool wordAvailable = true;
    report.step(142, [&] { wordAvailable = CheckWordInstalled(); });
    return wordAvailable;
}

agreement::Particulars Form1::particulars() const
{
    agreement::Particulars out;
    out.agreementDate = datePicker()->date();
    for (const agreement::Particular& particular : agreement::kParticulars) {
        if (const auto* line = control<QLineEdit>(particular.field))
            out[particular.field] = line->text();
        else if (const auto* multi = control<QPlainTextEdit>(particular.field))
            out[particular.field] = plainText(multi);
    }
    for (const ExtraRow& extra : mExtras)
        out.extras.push_back({extra.name, extra.box->text()});
    return out;
}

QList<QLineEdit*> Form1::extraBoxes() const
{
    QList<QLineEdit*> boxes;
    for (const ExtraRow& extra : mExtras)
        boxes << extra.box;
    return boxes;
}

void Form1::showValue(agreement::Field field, const agreement::Particulars& particulars)
{
    if (auto* picker = control<QDateEdit>(field))
        picker->setDate(particulars.agreementDate);
    else if (auto* line = control<QLineEdit>(field))
        line->setText(particulars[field]);
    else
        setPlainText(control<QPlainTextEdit>(field), particulars[field]);
}

void Form1::showExtraValues(const agreement::Particulars& particulars)
{
    for (const ExtraRow& extra : mExtras)
        extra.box->setText(extraValue(particulars, extra.name));
}

QString Form1::fnDay(const QString& day)
{
    return ::fnDay(day);
}

void Form1::ApplySkin()
{
    if (!FileExists(mProgramDir + QLatin1String(kSkinFile)))
        return;
    // There is no skin engine here: the skin only brings the system's button face colour.
    // The window holds no picture boxes, so the preview's colouring covers every kind.
    WindowLook::SetControlColors(*this);
}

void Form1::OpenHomePageAtRandom()
{
    const int draw = static_cast<int>(mPlatform.randomFraction() * 100) + 1;
    if (draw == kHomePageDraw)
        mPlatform.openUrl(QUrl(QLatin1String(Product::kHomePage)));
}

void Form1::restore(const agreement::Particular& particular)
{
    switch (particular.kind) {
    case agreement::Kind::Date:
        restoreAgreementDate(particular);
        break;
    case agreement::Kind::Amount:
        restoreAmount(particular);
        break;
    case agreement::Kind::Line:
        control<QLineEdit>(particular.field)->setText(mStore.read(particular.key));
        break;
    case agreement::Kind::Lines:
        restoreMultiLine(particular);
        break;
    }
}

void Form1::restoreAgreementDate(const agreement::Particular& particular)
{
    const QString stored = mStore.read(particular.key);
    QDate date = mPlatform.today();
    if (!stored.isEmpty()) {
        date = StoredValue::readDate(stored, QLocale());
        if (!date.isValid()) {
            tellUnreadable(Form1Text::kUnreadableDate, stored);
            return;
        }
        if (!AgreementDate::inRange(date))
            throw StepFailure(QStringLiteral("Invalid property value"));
    }
    // What start-up shows is no edit: a date never chosen stays "today" at the next start.
    mRestoringDate = true;
    datePicker()->setDate(date);
    mRestoringDate = false;
    // A date in an earlier version's form is kept in the form every locale reads alike.
    if (!stored.isEmpty())
        store({{particular.key, StoredValue::dateText(date)}});
}

void Form1::restoreAmount(const agreement::Particular& particular)
{
    const QLocale locale;
    const QString shown = mStore.read(particular.key, QStringLiteral("0"));
    const std::optional<double> amount =
        StoredValue::readPrice(mStore.read(SettingsKey::txtContractPriceAmount), shown, locale);
    if (!amount) {
        tellUnreadable(Form1Text::kUnreadablePrice, shown);
        return;
    }
    control<QLineEdit>(particular.field)->setText(Currency::format(*amount, locale));
}

void Form1::tellUnreadable(const char* text, const QString& stored)
{
    mPlatform.showMessage(QString::fromUtf8(text).arg(stored), mAppTitle, Platform::Icon::None);
}

void Form1::store(const std::vector<SettingsStore::Entry>& entries)
{
    showStoreState(mStore.write(entries));
}

// A line in the window, not a box: a box would open in the middle of typing and take the next
// keystroke. The reason is worked out once while the store fails; the line goes when a write
// succeeds again.
void Form1::showStoreState(bool kept)
{
    if (kept == lblStoreFailure->isHidden())
        return;
    if (!kept)
        lblStoreFailure->setToolTip(mStore.writeFailure());
    lblStoreFailure->setVisible(!kept);
    fitHeight();
    if (!kept) {
        QAccessibleEvent alert(lblStoreFailure, QAccessible::Alert);
        QAccessible::updateAccessibility(&alert);
    }
}

// The frame holds the seven and the extras' rows, as many as the screen has room for; the window
// ends below the frame, and below the store's line while that is shown.
void Form1::fitHeight()
{
    const int storeLine = lblStoreFailure->isHidden() ? 0 : lblStoreFailure->height() + Frame1->x();
    const int rows = static_cast<int>(mExtras.size());
    int frameHeight = px(kFrameHeight);
    if (rows > 0) {
        const int withoutExtras = px(kFrameTop) + frameHeight + px(kClientBelowFrame) + storeLine;
        const QMargins frame = WindowPlacement::kFrameEstimate;
        const int room =
            screen()->availableGeometry().height() - frame.top() - frame.bottom() - withoutExtras;
        // One row at least, however small the screen.
        const int growth = std::clamp(room, px(kExtraPitch), px(rows * kExtraPitch));
        extrasArea->setGeometry(0, px(kRowsBottom + kExtraGap), Frame1->width() - 2, growth - px(kExtraGap));
        mExtrasPanel->setMinimumHeight(px(rows * kExtraPitch - kExtraGap));
        frameHeight += growth;
    }
    extrasArea->setVisible(rows > 0);
    Frame1->resize(Frame1->width(), frameHeight);
    const int clientHeight = Frame1->geometry().bottom() + 1 + px(kClientBelowFrame);
    lblStoreFailure->move(Frame1->x(), clientHeight);
    setFixedSize(px(kClientWidth), clientHeight + storeLine);
    // A window that grew past the screen's foot moves up, as far as its top allows.
    if (isVisible()) {
        const QRect available = screen()->availableGeometry();
        const QRect outer = frameGeometry();
        if (outer.bottom() > available.bottom())
            move(x(), y() - std::min(outer.bottom() - available.bottom(), outer.top() - available.top()));
    }
}

void Form1::listTemplates()
{
    const QSignalBlocker quiet(cboAgreement);
    cboAgreement->clear();
    cboAgreement->addItems(mLibrary.names());
    cboAgreement->setCurrentIndex(std::max(0, cboAgreement->findText(mTemplateName)));
}

void Form1::restoreTemplate()
{
    TemplateLibrary::Choice choice = mLibrary.loadChosen();
    if (!choice.faults.isEmpty())
        tellRefused(choice.refused, choice.faults, Form1Text::kStandardInstead);
    showTemplate(choice.name, std::move(choice.tagTemplate));
}

void Form1::chooseTemplate(const QString& name)
{
    std::shared_ptr<const agreement::TagTemplate> chosen;
    try {
        chosen = mLibrary.load(name);
    } catch (const agreement::TemplateRefused& refused) {
        tellRefused(name, refused.faults());
        listTemplates();
        return;
    }
    showStoreState(mLibrary.choose(name));
    showTemplate(name, std::move(chosen));
}

void Form1::showTemplate(const QString& name, std::shared_ptr<const agreement::TagTemplate> tagTemplate)
{
    mTemplateName = name;
    mTagTemplate = std::move(tagTemplate);
    listTemplates();
    cmdRemoveTemplate->setEnabled(!TemplateLibrary::isBuiltIn(name));
    showExtras(mTagTemplate ? mTagTemplate->wanted().extras : QStringList());
}

void Form1::tellRefused(const QString& name, const QStringList& faults, const char* after)
{
    QString text = QString::fromUtf8(Form1Text::kTemplateRefused).arg(name, faults.join(QLatin1Char('\n')));
    if (after)
        text += QStringLiteral("\n\n") + QString::fromUtf8(after);
    mPlatform.showMessage(text, mAppTitle, Platform::Icon::None);
}

void Form1::addTemplate()
{
    const QString path = mPlatform.getOpenFileName(
        {QLatin1String(Form1Text::kAddTemplateTitle), QLatin1String(Form1Text::kAddTemplateFilter),
         QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)});
    if (path.isEmpty())
        return;
    QString name;
    try {
        name = mLibrary.add(path, mPlatform, mAppTitle);
    } catch (const agreement::TemplateRefused& refused) {
        tellRefused(QFileInfo(path).completeBaseName(), refused.faults());
        return;
    }
    if (!name.isEmpty())
        chooseTemplate(name);
}

void Form1::removeTemplate()
{
    const QString name = mTemplateName;
    if (TemplateLibrary::isBuiltIn(name) ||
        !mPlatform.askYesNo(QString::fromUtf8(Form1Text::kRemoveTemplate).arg(name), mAppTitle,
                            Platform::Answer::No))
        return;
    if (!mLibrary.remove(name)) {
        mPlatform.showMessage(QString::fromUtf8(Form1Text::kCannotRemove).arg(name, mLibrary.errorString()),
                              mAppTitle, Platform::Icon::None);
        return;
    }
    chooseTemplate(QLatin1String(agreement::Template::kName));
}

// Each extra particular a box of one line, captioned with its name, stored under its template's
// and its own name as it changes.
void Form1::showExtras(const QStringList& names)
{
    for (const ExtraRow& extra : std::exchange(mExtras, {})) {
        delete extra.label;
        delete extra.box;
    }
    // White, or the skin's colour.
    const QColor background = Frame1->palette().color(QPalette::Window);
    int top = 0;
    for (const QString& name : names) {
        auto* box = new QLineEdit(mExtrasPanel);
        box->setObjectName(QStringLiteral("txtExtra%1").arg(mExtras.size()));
        box->setMaxLength(std::numeric_limits<int>::max());
        box->setGeometry(px(kExtraPlace.left), top, px(kExtraPlace.width), px(kExtraPlace.height));
        box->setAccessibleName(name);

        auto* label = new QLabel(mExtrasPanel);
        label->setTextFormat(Qt::PlainText);
        label->move(px(kExtraPlace.captionLeft), top + px(kCaptionDrop));
        // A long name is cut short before its box; the whole of it is the caption's tool tip.
        const QString caption = name + QLatin1Char(':');
        const QString shown = label->fontMetrics().elidedText(caption, Qt::ElideRight,
                                                              box->x() - label->x() - px(kCaptionDrop));
        if (shown != caption)
            label->setToolTip(name);
        label->setText(QString(shown).replace(QLatin1Char('&'), QStringLiteral("&&")));
        label->resize(label->sizeHint().width(), px(kLabelHeight));
        label->setBuddy(box);
        setBackground(label, background);

        const QByteArray key = TemplateLibrary::extraKey(mTemplateName, name);
        box->setText(mStore.read(key.constData()));
        connect(box, &QLineEdit::textChanged, this, [this, key](const QString& text) {
            store({{key.constData(), text}});
        });
        box->installEventFilter(this);
        mPointer.watchSurface(box);
        mPointer.watchSurface(label);
        label->show();
        box->show();
        mExtras.push_back({name, label, box});
        top += px(kExtraPitch);
    }
    orderTabs();
    fitHeight();
}

void Form1::newAgreement()
{
    agreement::Particulars empty;
    empty.agreementDate = mPlatform.today();
    // The price as a first start shows it.
    empty[agreement::Field::ContractPrice] = Currency::format(0, QLocale());
    if (holdsTyped(empty) &&
        !mPlatform.askYesNo(QLatin1String(Form1Text::kReplaceWithNew), mAppTitle, Platform::Answer::No))
        return;
    for (const agreement::Particular& particular : agreement::kParticulars) {
        if (particular.kind != agreement::Kind::Date)
            showValue(particular.field, empty);
    }
    // Today until a date is chosen, as at a first start: the next day's start shows its own.
    mRestoringDate = true;
    datePicker()->setDate(empty.agreementDate);
    mRestoringDate = false;
    store({{agreement::key(agreement::Field::AgreementDate), QString()}});
    showExtraValues(empty);
    mControls.front()->setFocus(Qt::OtherFocusReason);
}

void Form1::restoreMultiLine(const agreement::Particular& particular)
{
    QPlainTextEdit* box = control<QPlainTextEdit>(particular.field);
    const QString text = mStore.read(particular.key);
    // A box that is not on screen yet is laid out again when it is shown; a long text
    // waits for that, so it is laid out once.
    if (!isVisible() && text.size() > kDeferredLength) {
        mPendingTexts.push_back({box, text});
        return;
    }
    setPlainText(box, text);
}

void Form1::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    for (const PendingText& pending : std::exchange(mPendingTexts, {}))
        setPlainText(pending.box, pending.text);
}

bool Form1::CheckWordInstalled()
{
    bool created = false;
    try {
        created = mStartWordCheck && mStartWordCheck();
    } catch (...) {
        created = false;
    }
    if (created)
        return true;
    mPlatform.showMessage(kWordAdvice, mAppTitle, Platform::Icon::None);
    mPlatform.endProgram();
    return false;
}

void Form1::PushButton2_Click()
{
    ErrorReport report(mPlatform, QStringLiteral("Form1"), QStringLiteral("PushButton2_Click"));
    report.step(100, [this] {
        QStringList commands;
        for (const PageActions::Command& command : PageActions::commands())
            commands << PageActions::withKeys(command.caption, command.keys);
        mPlatform.showMessage(QStringLiteral("Questions? Please contact Team Quillmark at ") +
                                  QLatin1String(Product::kContactPage) + QStringLiteral("\n\n") +
                                  QLatin1String(Form1Text::kFormCommands) + QStringLiteral("\n\n") +
                                  QString::fromUtf8(Form1Text::kPreviewCommands).arg(commands.join(u", ")),
                              mAppTitle, Platform::Icon::None);
    });
}

bool Form1::holdsTyped(const agreement::Particulars& replacement) const
{
    const agreement::Particulars shown = particulars();
    // The price every start shows when none is stored is no more typed than an empty box.
    const QString noAmount = Currency::format(0, QLocale());
    const bool fieldLost = std::any_of(
        agreement::kParticulars.begin(), agreement::kParticulars.end(), [&](const agreement::Particular& p) {
            const QString& text = shown[p.field];
            return p.kind != agreement::Kind::Date && !text.isEmpty() && text != replacement[p.field] &&
                   !(p.kind == agreement::Kind::Amount && text == noAmount);
        });
    const bool extraLost =
        std::any_of(shown.extras.begin(), shown.extras.end(), [&](const agreement::Extra& e) {
            return !e.value.isEmpty() && e.value != extraValue(replacement, e.name);
        });
    return fieldLost || extraLost;
}

void Form1::PushButton3_Click()
{
    agreement::Particulars example = agreement::example(mPlatform.today(), QLocale());
    // The example has none of a template's own particulars: they stay as they are.
    example.extras = particulars().extras;
    if (holdsTyped(example) &&
        !mPlatform.askYesNo(QLatin1String(Form1Text::kReplaceWithExample), mAppTitle, Platform::Answer::No))
        return;
    ErrorReport report(mPlatform, QStringLiteral("Form1"), QStringLiteral("PushButton3_Click"));
    // Each particular two step numbers apart, in the table's order.
    for (const agreement::Particular& particular : agreement::kParticulars)
        report.step(particularStep(kFirstSampleStep, particular.field),
                    [&] { showValue(particular.field, example); });
}

void Form1::openAgreement()
{
    const QString path = mPlatform.getOpenFileName(
        {QLatin1String(Form1Text::kOpenTitle), QLatin1String(Form1Text::kOpenFilter),
         QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)});
    if (!path.isEmpty())
        loadAgreement(path);
}

void Form1::loadAgreement(const QString& path)
{
    agreement::ReadBack saved;
    try {
        saved = agreement::readBackFile(std::filesystem::path(path.toStdU16String()), QLocale());
    } catch (const std::exception& e) {
        // Why a document is not ours is for the command line's read; here the outcome is enough.
        const QString text =
            notOurs(e)
                ? QString::fromUtf8(Form1Text::kNotAnAgreement)
                      .arg(QDir::toNativeSeparators(path), QLatin1String(agreement::ReadBackText::kNotOurs))
                : QString::fromUtf8(Form1Text::kCannotOpenAgreement)
                      .arg(QDir::toNativeSeparators(path), QString::fromUtf8(e.what()));
        mPlatform.showMessage(text, mAppTitle, Platform::Icon::None);
        return;
    }
    const QString madeFrom =
        saved.templateName.isEmpty() ? QLatin1String(agreement::Template::kName) : saved.templateName;
    const QString listed = mLibrary.listed(madeFrom);
    agreement::Particulars replacement = saved.particulars;
    // Another template's extras stay stored under it; only the same template's are replaced.
    if (listed != mTemplateName)
        replacement.extras = particulars().extras;
    if (holdsTyped(replacement) &&
        !mPlatform.askYesNo(QLatin1String(Form1Text::kReplaceWithSaved), mAppTitle, Platform::Answer::No))
        return;
    if (listed.isEmpty())
        mPlatform.showMessage(
            QString::fromUtf8(Form1Text::kTemplateNotListed).arg(QDir::toNativeSeparators(path), madeFrom),
            mAppTitle, Platform::Icon::None);
    else if (listed != mTemplateName)
        chooseTemplate(listed);
    for (const agreement::Particular& particular : agreement::kParticulars)
        showValue(particular.field, saved.particulars);
    if (!listed.isEmpty() && listed == mTemplateName)
        showExtraValues(saved.particulars);
}

void Form1::closeEvent(QCloseEvent* event)
{
    event->accept();
    mPlatform.endProgram();
}

bool Form1::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::KeyPress: {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (watched != datePicker())
            break;
        // F4 and Alt+Down open the calendar, as a Windows date picker does; Alt+Down would
        // otherwise step the date.
        if (key->key() == Qt::Key_F4 || (key->key() == Qt::Key_Down && key->modifiers() == Qt::AltModifier)) {
            openCalendar(datePicker());
            return true;
        }
        if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))
            break;
        if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab)
            return focusNextPrevChild(key->key() == Qt::Key_Tab);
        break;
    }
    case QEvent::FocusIn: {
        // Returning from a menu or from another program is no new visit to the box.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason == Qt::PopupFocusReason || reason == Qt::ActiveWindowFocusReason)
            break;
        QWidget* pressTarget = nullptr;
        if (auto* line = qobject_cast<QLineEdit*>(watched)) {
            line->selectAll();
            pressTarget = line;
            if (mExtrasPanel->isAncestorOf(line))
                extrasArea->ensureWidgetVisible(line);
        } else if (auto* multi = qobject_cast<QPlainTextEdit*>(watched)) {
            multi->selectAll();
            pressTarget = multi->viewport();
        }
        mSelectOnPress = reason == Qt::MouseFocusReason ? pressTarget : nullptr;
        break;
    }
    case QEvent::FocusOut:
        mSelectOnPress = nullptr;
        break;
    case QEvent::MouseButtonPress: {
        // The press that gave the focus would put the caret where it landed; the text stays selected.
        if (watched != mSelectOnPress || static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton)
            break;
        mSelectOnPress = nullptr;
        return true;
    }
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void Form1::focusMoved(QWidget* from, QWidget* to)
{
    // Only a move to another control of this window: not closing, not another program, not a box.
    if (from == nullptr || to == nullptr || to->window() != this)
        return;
    for (const agreement::Particular& particular : agreement::kParticulars) {
        if (particular.kind == agreement::Kind::Amount && from == control(particular.field))
            checkAmount(control<QLineEdit>(particular.field));
    }
}

void Form1::checkAmount(QLineEdit* box)
{
    const QLocale locale;
    if (const std::optional<double> amount = Currency::parse(box->text(), locale)) {
        box->setText(Currency::format(*amount, locale));
        return;
    }
    mPlatform.showMessage(kInvalidAmount, mAppTitle, Platform::Icon::None);
    box->setText(Currency::format(0, locale));
    box->setFocus(Qt::OtherFocusReason);
    box->selectAll();
}
