#pragma once

#include "agreement/particulars.h"
#include "app/settingsstore.h"
#include "app/templatelibrary.h"
#include "shell/platform.h"
#include "shell/windowpointer.h"

#include <QDate>
#include <QString>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <vector>

class QAction;
class QComboBox;
class QDateEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QScrollArea;

// The text of a multi-line box as typed, line breaks as '\n'.
QString plainText(const QPlainTextEdit* box);

// What the main window says and asks of its own.
namespace Form1Text
{
// %1 is the stored text.
inline constexpr char kUnreadableDate[] =
    "The agreement date stored earlier (\"%1\") cannot be read for certain with the present regional "
    "settings, so the default date is shown. The stored date is kept until you change the agreement date.";
inline constexpr char kUnreadablePrice[] =
    "The contract price stored earlier (\"%1\") cannot be read with the present regional settings, so the "
    "box is left empty. The stored price is kept until you change the contract price.";
inline constexpr char kReplaceWithExample[] = "Replace the particulars you typed with the example?";
inline constexpr char kReplaceWithSaved[] =
    "Replace the particulars you typed with those of the saved agreement?";
// %1 is the file, %2 the reason.
inline constexpr char kCannotOpenAgreement[] = "%1 cannot be opened as an agreement: %2.";
// %1 is the file, %2 agreement::ReadBackText::kNotOurs.
inline constexpr char kNotAnAgreement[] = "%1 is %2, so its particulars cannot be read.";
// The store's reason is asked for beside it.
inline constexpr char kStoreFailure[] =
    "What you type cannot be remembered, because the settings cannot be saved.";
// %1 is the template, %2 its faults, one a line.
inline constexpr char kTemplateRefused[] = "The template \u201c%1\u201d cannot be used:\n%2";
inline constexpr char kStandardInstead[] = "The standard agreement is chosen instead.";
// %1 is the template.
inline constexpr char kRemoveTemplate[] =
    "Remove the template \u201c%1\u201d from the list? The file it was added from is left as it is.";
// %1 is the template, %2 the reason.
inline constexpr char kCannotRemove[] = "The template \u201c%1\u201d cannot be removed: %2";
// %1 is the file, %2 the template it was made from.
inline constexpr char kTemplateNotListed[] =
    "%1 was made from the template \u201c%2\u201d, which is not in the list of agreements, so only the "
    "particulars every agreement has are filled in.";
inline constexpr char kReplaceWithNew[] = "Empty the particulars you typed for a new agreement?";
inline constexpr char kOpenTitle[] = "Open Agreement";
inline constexpr char kOpenFilter[] = "Word Documents (*.docx *.doc)|*.docx;*.doc";
inline constexpr char kAddTemplateTitle[] = "Add Template";
inline constexpr char kAddTemplateFilter[] = "Word Documents (*.docx *.doc)|*.docx;*.doc";
inline constexpr char kNewAgreement[] = "New Agreement";
// Help's word on the form's own keys.
inline constexpr char kFormCommands[] =
    "Ctrl+N starts a new agreement, Ctrl+O fills the form from an agreement saved earlier.";
// Help's word on the preview's page commands; %1 lists them with their keys.
inline constexpr char kPreviewCommands[] =
    "In the preview, the row of buttons at the bottom prints the agreement, exports it as a PDF and copies "
    "the page in view: %1. A right click on the page offers them too.";
} // namespace Form1Text

// The main window: the agreement chosen, the seven agreement particulars and those of the
// chosen template, kept in the settings store as they change, and the buttons for the
// template, help and sample data.
class Form1 : public QWidget
{
    Q_OBJECT

public:
    // Whether a document engine instance could be created (and was let go again).
    using WordCheck = std::function<bool()>;

    // programDir holds the optional skin "x/o.cjs" and hand cursor "HAND-M.CUR"; empty means
    // the executable's folder. templatesFolder holds the user's templates; empty means the
    // program's data folder's.
    Form1(Platform& platform, SettingsStore& store, WordCheck startWordCheck, QString programDir = QString(),
          QString templatesFolder = QString());
    ~Form1() override;

    // The start-up sequence. False when the document engine is missing and the program has
    // been ended; the window must not be shown then.
    bool load();

    // The caption of message boxes that name none of their own; set by load().
    const QString& appTitle() const { return mAppTitle; }

    WindowPointer& mousePointer() { return mPointer; }

    static QString fnDay(const QString& day);

    // The particulars as the boxes show them, line breaks as '\n'; the extras are the chosen
    // template's.
    agreement::Particulars particulars() const;
    // The chosen template; null for the standard agreement.
    const std::shared_ptr<const agreement::TagTemplate>& tagTemplate() const { return mTagTemplate; }
    const TemplateLibrary& templates() const { return mLibrary; }

    // Runs on a click of "Start Creating Template".
    std::function<void()> onStartCreatingTemplate;

    QPushButton* PushButton22 = nullptr;
    QPushButton* PushButton2 = nullptr;
    QPushButton* PushButton3 = nullptr;
    QGroupBox* Frame1 = nullptr;
    // A particular's control, named by its settings key (dtpAgreementDate, txtContractor ...):
    // a QDateEdit, a QLineEdit for one line or an amount, a QPlainTextEdit for several lines.
    QWidget* control(agreement::Field field) const { return mControls[agreement::indexOf(field)]; }
    template <class Box> Box* control(agreement::Field field) const
    {
        return qobject_cast<Box*>(control(field));
    }
    // The particulars' captions, in the table's order.
    std::array<QLabel*, agreement::kFieldCount> Label4{};
    // The row above the buttons: the agreement chosen, and the user's templates added and removed.
    QLabel* lblAgreement = nullptr;
    QComboBox* cboAgreement = nullptr;
    QPushButton* cmdAddTemplate = nullptr;
    QPushButton* cmdRemoveTemplate = nullptr;
    QAction* actNewAgreement = nullptr;
    // The chosen template's own particulars, in its order, below the seven; scrolled when they
    // would take the window past the screen.
    QScrollArea* extrasArea = nullptr;
    QList<QLineEdit*> extraBoxes() const;
    // Below the particulars while the settings store cannot keep them.
    QLabel* lblStoreFailure = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    void createAgreementRow();
    void connectHandlers();
    void orderTabs();

    void ApplySkin();
    void OpenHomePageAtRandom();
    QDateEdit* datePicker() const;
    void createControl(const agreement::Particular& particular);
    void storeChanges(const agreement::Particular& particular);
    void restore(const agreement::Particular& particular);
    void restoreAgreementDate(const agreement::Particular& particular);
    void restoreAmount(const agreement::Particular& particular);
    void restoreMultiLine(const agreement::Particular& particular);
    // Shows a particular's value as the particulars hold it.
    void showValue(agreement::Field field, const agreement::Particulars& particulars);
    // Shows the extras' values by name; an extra particulars lacks is emptied.
    void showExtraValues(const agreement::Particulars& particulars);
    // Writes particulars to the store, and says in the window whether the store keeps them.
    void store(const std::vector<SettingsStore::Entry>& entries);
    void showStoreState(bool kept);
    // The window's height for its frame and the store's line.
    void fitHeight();

    // The agreements in the list, the chosen one selected.
    void listTemplates();
    // Loads and shows the template named; one that cannot be used is said with its faults, and
    // the agreement chosen before stays.
    void chooseTemplate(const QString& name);
    void showTemplate(const QString& name, std::shared_ptr<const agreement::TagTemplate> tagTemplate);
    void tellRefused(const QString& name, const QStringList& faults, const char* after = nullptr);
    void restoreTemplate();
    void addTemplate();
    void removeTemplate();
    // The chosen template's extra particulars as boxes, each with its stored value.
    void showExtras(const QStringList& names);
    void newAgreement();
    // A stored particular that cannot be read keeps the control's default and its stored text.
    void tellUnreadable(const char* text, const QString& stored);
    // Whether a particular holds something typed that replacement would take away.
    bool holdsTyped(const agreement::Particulars& replacement) const;
    // Ctrl+O, or a file dropped anywhere on the window: the particulars of a saved agreement.
    void openAgreement();
    void loadAgreement(const QString& path);
    bool CheckWordInstalled();

    void PushButton2_Click();
    void PushButton3_Click();

    void focusMoved(QWidget* from, QWidget* to);
    void checkAmount(QLineEdit* box);

    Platform& mPlatform;
    SettingsStore& mStore;
    WordCheck mStartWordCheck;
    QString mProgramDir;
    QString mAppTitle;
    WindowPointer mPointer;
    TemplateLibrary mLibrary;
    QString mTemplateName;
    std::shared_ptr<const agreement::TagTemplate> mTagTemplate;
    std::array<QWidget*, agreement::kFieldCount> mControls{};
    struct ExtraRow {
        QString name;
        QLabel* label;
        QLineEdit* box;
    };
    std::vector<ExtraRow> mExtras;
    QWidget* mExtrasPanel = nullptr;
    // Where the mouse press that just focused a text box lands; it would undo the select-all.
    QWidget* mSelectOnPress = nullptr;
    QMetaObject::Connection mFocusWatch;
    // Set while start-up shows the stored or default date, which is not written back.
    bool mRestoringDate = false;
    // Restored texts longer than this wait until the window is shown.
    static constexpr qsizetype kDeferredLength = 10000;
    struct PendingText {
        QPlainTextEdit* box;
        QString text;
    };
    std::vector<PendingText> mPendingTexts;
    // The date the picker showed last: Return in the picker announces it again unchanged.
    QDate mShownDate;
};
