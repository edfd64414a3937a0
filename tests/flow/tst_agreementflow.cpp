#include "agreement/readback.h"
#include "agreement/tagtemplate.h"
#include "app/templatelibrary.h"
#include "flowrig.h"
#include "render/pagepicture.h"
#include "render/pdftools.h"
#include "shell/terminationsignals.h"
#include "support/docxbuilder.h"
#include "support/sampleparticulars.h"
#include "support/testsystem.h"

#include <QtTest>

#include <QComboBox>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include <limits>

#include <csignal>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif
#ifdef Q_OS_WIN
#include <QAbstractEventDispatcher>

#include <windows.h>
#endif

namespace
{

const QString kTabs(8, QLatin1Char('\t'));
const QString kOverflowAt =
    QStringLiteral("Overflow\r\nin Pactforge2021/08/31.Form1.PushButton22_Click at line ");

// The template's paragraphs 11, 21 and 24 before anything is typed into them.
const QString kP11 = QStringLiteral(
    "      The Contractor shall furnish all materials and perform all of the work on the property at");
const QString kP21 = QStringLiteral(
    "The Owner shall pay the contractor for material and labor to be performed under the sum of ");
const QString kP24 = QStringLiteral("Payments of Contract Price shall be made as follows ");

QString p5(const QString& day, const QString& month, const QString& contractor, const QString& owner)
{
    return QStringLiteral("THIS AGREEMENT made the") + day + QStringLiteral("day of,") + month +
           QStringLiteral(", by and between") + contractor +
           QStringLiteral(", Hereafter called the Contractor and") + owner +
           QStringLiteral(", hereinafter called the Owner");
}

QString p32(const QString& owner, const QString& contractor)
{
    return QStringLiteral("Owner ") + owner + kTabs + QStringLiteral("Contractor") + contractor +
           QLatin1Char(' ');
}

#ifdef Q_OS_WIN
// As Windows ends a session: the message to each of two top-level windows.
bool endTheSession(int message)
{
    MSG msg{};
    msg.message = static_cast<UINT>(message);
    msg.wParam = TRUE;
    qintptr result = 0;
    for (int window = 0; window < 2; ++window)
        QAbstractEventDispatcher::instance()->filterNativeEvent("windows_generic_MSG", &msg, &result);
    return true;
}
#else
bool endTheSession(int signal)
{
    return ::raise(signal) == 0;
}
#endif

QString collapsed(QString text)
{
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    return text.replace(blanks, QStringLiteral(" "));
}

// A copy of the template with `marker` typed into its next-to-last (empty) paragraph.
QByteArray markedTemplate(const QString& marker)
{
    const QByteArray bytes = templateResource();
    doc::WordDocument document = doc::WordDocument::parse(std::span(
        reinterpret_cast<const std::uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size())));
    document.insertText(691, marker.toStdU16String());
    const std::vector<std::uint8_t> out = document.serialize();
    return QByteArray(reinterpret_cast<const char*>(out.data()), static_cast<qsizetype>(out.size()));
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

class tst_AgreementFlow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void filledParagraphs_data();
    void filledParagraphs();
    void sampleAgreementRoundTrip();
    void tagTemplateFilledAndReadBack();
    void ownDocxTemplateKeepsItsFormat();
    void closingPreviewDeletesWorkingDocument();
    void closingMainWindowRunsNothingOfThePreview();
    void terminationSignalLeavesNothing_data();
    void terminationSignalLeavesNothing();
    void backChangeAndStartAgain();
    void counterOverflow_data();
    void counterOverflow();
    void temporaryFolderUnset();
    void temporaryFolderWithWideName();
    void leftTemplateUsedUnchanged();
    void unusableOwnTemplateLeftAlone_data();
    void unusableOwnTemplateLeftAlone();
    void missingTemporaryFolderStillShowsTheAgreement();
    void plantedTemplateIgnored_data();
    void plantedTemplateIgnored();
    void linkAtPictureNameNotFollowed();
    void unreplaceablePictureFileKeepsPreview_data();
    void unreplaceablePictureFileKeepsPreview();
    void preparationsAreSilent();
    void takenNameIsDrawnAgain();
    void danglingLinkAtDrawnNameNotFollowed();
    void outputsComeFromTheAgreement_data();
    void outputsComeFromTheAgreement();
    void saveOverReadOnlyTargetAnsweredYes();
    void saveIntoMissingFolderReportsNoDone();
    void saveIntoUnwritableFolderReportsNoDone();
    void independentReaders_data();
    void independentReaders();

private:
    // One run from the click to the preview; checks what every sound run leaves behind and
    // returns the working document's path (empty after a failed check).
    QString runClean(FlowRig& rig);
};

void tst_AgreementFlow::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
}

void tst_AgreementFlow::init()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

QString tst_AgreementFlow::runClean(FlowRig& rig)
{
    [&] {
        QVERIFY(rig.loaded);
        QVERIFY(rig.oneWindowVisible());
        rig.start();
        QCOMPARE(rig.platform.messageTexts(), QStringList());
        QVERIFY(rig.preview());
        QVERIFY(rig.preview()->isVisible());
        QVERIFY(!rig.form.isVisible());
        QVERIFY(rig.oneWindowVisible());
        // Neither template.doc nor temp.bmp stays behind: only the working document.
        const QStringList files = rig.tempFiles();
        QCOMPARE(files.size(), 1);
        QVERIFY2(QRegularExpression(QStringLiteral("^vellum[1-9]{8}\\.doc$")).match(files.first()).hasMatch(),
                 qPrintable(files.first()));
        QCOMPARE(QFileInfo(rig.preview()->mWordFile).canonicalFilePath(),
                 QFileInfo(QDir(rig.temp).filePath(files.first())).canonicalFilePath());
        QCOMPARE(rig.preview()->geometry().mZoom, 1.0f);
        // Names and prices are for the user's eyes only.
        constexpr QFileDevice::Permissions kUserFlags =
            QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser;
        if (TestSystem::kPrivacyInPermissions)
            QCOMPARE(QFile::permissions(rig.preview()->mWordFile) & ~kUserFlags,
                     QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }();
    return QTest::currentTestFailed() ? QString() : rig.preview()->mWordFile;
}

void tst_AgreementFlow::filledParagraphs_data()
{
    QTest::addColumn<Particulars>("particulars");
    QTest::addColumn<QStringList>("expected"); // paragraphs 5, 11, 16, 21, 24, 30, 32

    QTest::newRow("every box empty") << Particulars{QDate(2021, 6, 5), {}, {}}
                                     << QStringList{p5(" 5th ", " June, 2021", " ", " "),
                                                    kP11 + QLatin1Char(' '),
                                                    QStringLiteral(" "),
                                                    kP21,
                                                    kP24,
                                                    QStringLiteral("Signed this 23rd day of April, 2022"),
                                                    p32(" ", " ")};
    QTest::newRow("1 March 2022, owner B, contractor A")
        << Particulars{QDate(2022, 3, 1), {{{}, "A", "B", "Lot 7", "Fence", "$1.00", "All at once"}}, {}}
        << QStringList{
               QStringLiteral("THIS AGREEMENT made the 1st day of, March, 2022, by and between A, Hereafter "
                              "called the Contractor and B, hereinafter called the Owner"),
               kP11 + QStringLiteral(" Lot 7"),
               QStringLiteral(" Fence"),
               kP21 + QStringLiteral("$1.00"),
               kP24 + QStringLiteral("All at once"),
               QStringLiteral("Signed this 23rd day of April, 2022"),
               QStringLiteral("Owner  B") + kTabs + QStringLiteral("Contractor A ")};
    QTest::newRow("tabs and line breaks")
        << Particulars{QDate(2021, 12, 22),
                       {{{},
                         "Ann\tLee",
                         "Bo\r\nLo",
                         "Elm st\nNo. 4",
                         "Dig\nPour\r\nBuild\n",
                         "$2.00",
                         "Half\nHalf"}},
                       {}}
        << QStringList{p5(" 22nd ", " December, 2021", " Ann\tLee", " Bo\vLo"),
                       kP11 + QStringLiteral(" Elm st\vNo. 4"),
                       QStringLiteral(" Dig\vPour\vBuild\v"),
                       kP21 + QStringLiteral("$2.00"),
                       kP24 + QStringLiteral("Half\vHalf"),
                       QStringLiteral("Signed this 23rd day of April, 2022"),
                       p32(" Bo\vLo", " Ann\tLee")};
    const QString wide = QStringLiteral("Zoë Ødegård 张伟 €");
    QTest::newRow("outside Latin-1")
        << Particulars{QDate(2021, 2, 3), {{{}, wide, wide, wide, wide, QStringLiteral("€5"), wide}}, {}}
        << QStringList{p5(" 3rd ", " February, 2021", " " + wide, " " + wide),
                       kP11 + QLatin1Char(' ') + wide,
                       QLatin1Char(' ') + wide,
                       kP21 + QStringLiteral("€5"),
                       kP24 + wide,
                       QStringLiteral("Signed this 23rd day of April, 2022"),
                       p32(" " + wide, " " + wide)};
    const QString longWork = QString(4999, QLatin1Char('w')) + QLatin1Char('.');
    QTest::newRow("5,000-character work description")
        << Particulars{QDate(2021, 6, 11), {{{}, "C", "O", "L", longWork, "$3.00", "P"}}, {}}
        << QStringList{p5(" 11th ", " June, 2021", " C", " O"),
                       kP11 + QStringLiteral(" L"),
                       QLatin1Char(' ') + longWork,
                       kP21 + QStringLiteral("$3.00"),
                       kP24 + QStringLiteral("P"),
                       QStringLiteral("Signed this 23rd day of April, 2022"),
                       p32(" O", " C")};
}

void tst_AgreementFlow::filledParagraphs()
{
    QFETCH(Particulars, particulars);
    QFETCH(QStringList, expected);
    FlowRig rig;
    enterInto(particulars, rig.form);
    const QString working = runClean(rig);
    if (working.isEmpty())
        return;
    const QStringList paragraphs = paragraphsOf(working);
    QCOMPARE(paragraphs.size(), 36); // 35 paragraphs and what follows the last mark
    const int numbers[] = {5, 11, 16, 21, 24, 30, 32};
    for (int i = 0; i < 7; ++i) {
        const QString what = QStringLiteral("paragraph %1").arg(numbers[i]);
        QVERIFY2(paragraphs[numbers[i] - 1] == expected[i],
                 qPrintable(what + QStringLiteral(": ") + paragraphs[numbers[i] - 1].left(300)));
    }
    // Untouched paragraphs around the insertions stay as they were.
    QCOMPARE(paragraphs[6],
             QStringLiteral("WITNESSETH that the Contractor and the Owner for the considerations named "
                            "agree as follows:"));
    QCOMPARE(paragraphs[22], QStringLiteral("Progress Payments"));
    QCOMPARE(paragraphs[32], QStringLiteral(" "));
}

void tst_AgreementFlow::sampleAgreementRoundTrip()
{
    FlowRig rig;
    rig.form.findChild<QPushButton*>(QStringLiteral("PushButton3"))->click();
    rig.form.control<QDateEdit>(Field::AgreementDate)->setDate(kSample.agreementDate);
    QCOMPARE(rig.form.control<QLineEdit>(Field::ContractPrice)->text(), kSample[Field::ContractPrice]);
    const QString working = runClean(rig);
    if (working.isEmpty())
        return;
    QCOMPARE(
        paragraphsOf(working)[4],
        QStringLiteral("THIS AGREEMENT made the 5th day of, June, 2021, by and between Corwin Ashdale Jr., "
                       "Hereafter called the Contractor and Tobias Quenby, hereinafter called the Owner"));

    // The clipboard holds the page: our vector picture for the preview and an image for other programs.
    QVERIFY(rig.platform.clipboardData);
    QVERIFY(rig.platform.clipboardData->hasFormat(QLatin1String(render::kPictureMimeType)));
    QVERIFY(rig.platform.clipboardData->hasImage());
    const QImage pasted = qvariant_cast<QImage>(rig.platform.clipboardData->imageData());
    QVERIFY(!pasted.isNull());

    // The page at its natural size is below the zoom limit, and the preview shows it at zoom 1.
    const ZoomGeometry& geometry = rig.preview()->geometry();
    QVERIFY2(geometry.mOrigWidth > 6000 && geometry.mOrigWidth < ZoomGeometry::kPaintWidthLimit,
             qPrintable(QString::number(geometry.mOrigWidth)));
    QVERIFY2(geometry.mOrigHeight > 8000 && geometry.mOrigHeight < ZoomGeometry::kPaintHeightLimit,
             qPrintable(QString::number(geometry.mOrigHeight)));
    QCOMPARE(geometry.mZoom, 1.0f);
    // The source holder's inner size less 2 twips, as the preview measures it.
    QCOMPARE(pasted.width() * 15 - 2, geometry.mOrigWidth);
    QCOMPARE(pasted.height() * 15 - 2, geometry.mOrigHeight);

    // Saving copies the working document byte for byte, twice, and the preview stays.
    const QByteArray workingBytes = fileBytes(working);
    QVERIFY(workingBytes.size() > 10000);
    const QString first = rig.dir.filePath(QStringLiteral("agreement.doc"));
    const QString second = rig.dir.filePath(QStringLiteral("agreement copy"));
    rig.save(first);
    rig.save(second);
    QCOMPARE(rig.platform.messageTexts(), QStringList({QStringLiteral("Done."), QStringLiteral("Done.")}));
    QCOMPARE(fileBytes(first), workingBytes);
    QCOMPARE(fileBytes(second), workingBytes);
    QVERIFY(rig.preview()->isVisible());
    QVERIFY(rig.oneWindowVisible());

    // Back: the working document goes, the main window returns with its particulars.
    rig.back();
    QVERIFY(!QFile::exists(working));
    QCOMPARE(rig.tempFiles(), QStringList());
    QVERIFY(rig.form.isVisible());
    QVERIFY(rig.preview()->isHidden());
    QVERIFY(rig.oneWindowVisible());
    QCOMPARE(rig.form.control<QLineEdit>(Field::Contractor)->text(), kSample[Field::Contractor]);
    QCOMPARE(rig.form.control<QDateEdit>(Field::AgreementDate)->date(), kSample.agreementDate);
    QCOMPARE(rig.platform.messages.size(), std::size_t(2));
    QCOMPARE(rig.platform.endProgramCalls, 0);
    QCOMPARE(fileBytes(first), workingBytes);
}

// A template of tags is filled with the template's own particulars too, and the agreement reads
// back with all of them and the template's name.
void tst_AgreementFlow::tagTemplateFilledAndReadBack()
{
    FlowRig rig;
    const QString home = QLatin1String(agreement::HomeImprovement::kName);
    const int index = rig.form.cboAgreement->findText(home);
    rig.form.cboAgreement->setCurrentIndex(index);
    emit rig.form.cboAgreement->activated(index);
    enterInto(kSample, rig.form);
    QVERIFY(!rig.form.extraBoxes().isEmpty());
    rig.form.extraBoxes().front()->setText(QStringLiteral("CSLB 1234567"));
    const QString working = runClean(rig);
    if (working.isEmpty())
        return;
    const agreement::ReadBack back = agreement::readBackFile(filePath(working), QLocale());
    QCOMPARE(back.templateName, home);
    QCOMPARE(back.particulars, rig.form.particulars());
}

// An own .docx template added in the window is filled into a working .docx, which Save offers and
// copies as it is.
void tst_AgreementFlow::ownDocxTemplateKeepsItsFormat()
{
    FlowRig rig;
    const QString docx = QLatin1String(agreement::extension(agreement::DocumentFormat::Docx));
    const QString source = rig.dir.filePath(QStringLiteral("own") + docx);
    QVERIFY(DocxBuilder::write(source, DocxBuilder::package(DocxBuilder::splitTagBody())));
    rig.platform.openFileAnswers = {source};
    rig.form.cmdAddTemplate->click();
    const auto removeCopy = qScopeGuard([&] {
        QFile::remove(TemplateLibrary::userFolder() + QLatin1Char('/') + QFileInfo(source).fileName());
    });
    QCOMPARE(rig.form.cboAgreement->currentText(), QFileInfo(source).completeBaseName());
    enterInto(kSample, rig.form);
    rig.start();
    QVERIFY(rig.preview());
    const QString working = rig.preview()->mWordFile;
    QVERIFY2(working.endsWith(docx), qPrintable(working));
    const QString saved = rig.dir.filePath(QStringLiteral("saved") + docx);
    rig.save(saved);
    QCOMPARE(rig.platform.saveDialogs.back().filter, QString::fromLatin1(Form2::kSaveFilter).arg(docx));
    QCOMPARE(fileBytes(saved), fileBytes(working));
    const agreement::ReadBack back = agreement::readBackFile(filePath(saved), QLocale());
    QCOMPARE(back.templateName, QFileInfo(source).completeBaseName());
    QCOMPARE(back.particulars[Field::Owner], kSample[Field::Owner]);
}

void tst_AgreementFlow::closingPreviewDeletesWorkingDocument()
{
    FlowRig rig;
    enterInto(kSample, rig.form);
    const QString working = runClean(rig);
    if (working.isEmpty())
        return;
    QVERIFY(rig.preview()->close());
    QVERIFY(!QFile::exists(working));
    QCOMPARE(rig.tempFiles(), QStringList());
    QCOMPARE(rig.platform.endProgramCalls, 1);
    QVERIFY(!rig.form.isVisible());
    QCOMPARE(rig.platform.messageTexts(), QStringList());
}

// The preview, hidden after "< Back", still names the last working document; were its close
// steps to run, they would delete whatever lies under that name and end the program twice.
void tst_AgreementFlow::closingMainWindowRunsNothingOfThePreview()
{
    FlowRig rig;
    enterInto(kSample, rig.form);
    const QString working = runClean(rig);
    if (working.isEmpty())
        return;
    rig.back();
    QVERIFY(rig.form.isVisible());
    QVERIFY(writeFile(working, "another file under the old name"));

    QVERIFY(rig.form.close());
    QCOMPARE(rig.platform.endProgramCalls, 1);
    QVERIFY(QFile::exists(working));
    QVERIFY(rig.preview()->isHidden());
    QCOMPARE(rig.platform.messageTexts(), QStringList());
}

void tst_AgreementFlow::terminationSignalLeavesNothing_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<bool>("inFillingsBox"); // else with the preview open
#ifdef Q_OS_WIN
    QTest::newRow("WM_ENDSESSION") << int(WM_ENDSESSION) << false;
    QTest::newRow("WM_ENDSESSION in an overflow box") << int(WM_ENDSESSION) << true;
#else
    QTest::newRow("SIGTERM") << int(SIGTERM) << false;
    QTest::newRow("SIGHUP") << int(SIGHUP) << false;
    QTest::newRow("SIGINT") << int(SIGINT) << false;
    QTest::newRow("SIGTERM in an overflow box") << int(SIGTERM) << true;
#endif
}

// A logout ends the program as closing the preview does: the agreement's working copy goes.
// Windows ends a session with a message to each top-level window, twice here.
void tst_AgreementFlow::terminationSignalLeavesNothing()
{
    QFETCH(int, signal);
    QFETCH(bool, inFillingsBox);
    FlowRig rig;
    Particulars particulars = kSample;
    TerminationSignals termination;
    connect(&termination, &TerminationSignals::requested, this, [&rig] { rig.program.terminate(); });
    if (inFillingsBox) {
        particulars[Field::Contractor] = QString(32767, QLatin1Char('x'));
        enterInto(particulars, rig.form);
        rig.platform.onMessage = [&](const FakePlatform::Message&) {
            if (rig.platform.endProgramCalls == 0 && endTheSession(signal))
                QTRY_COMPARE(rig.platform.endProgramCalls, 1); // the box's own event loop
        };
        rig.start();
        QVERIFY(!rig.tempFiles().isEmpty());
    } else {
        enterInto(particulars, rig.form);
        if (runClean(rig).isEmpty())
            return;
        QVERIFY(endTheSession(signal));
        QTRY_COMPARE(rig.platform.endProgramCalls, 1);
    }
    rig.program.finish();
    QCOMPARE(rig.tempFiles(), QStringList());
}

void tst_AgreementFlow::backChangeAndStartAgain()
{
    FlowRig rig;
    enterInto(kSample, rig.form);
    rig.platform.randomValues = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
    const QString first = runClean(rig);
    if (first.isEmpty())
        return;
    QCOMPARE(QFileInfo(first).fileName(), QStringLiteral("vellum11111111.doc"));
    Form2* preview = rig.preview();
    rig.previewButton("PushButton2")->click(); // zoom out
    QCOMPARE(preview->geometry().mZoom, 0.75f);

    rig.back();
    QVERIFY(rig.oneWindowVisible());
    QVERIFY(!QFile::exists(first));
    rig.form.control<QLineEdit>(Field::Owner)->setText(QStringLiteral("Wren Halloway"));
    const QString second = runClean(rig);
    if (second.isEmpty())
        return;
    QCOMPARE(rig.preview(), preview);
    QCOMPARE(QFileInfo(second).fileName(), QStringLiteral("vellum55555555.doc"));
    QCOMPARE(preview->geometry().mZoom, 1.0f);
    QCOMPARE(preview->geometry().left(), 0.0f);
    QCOMPARE(preview->geometry().top(), 0.0f);
    const QStringList paragraphs = paragraphsOf(second);
    QVERIFY2(paragraphs[4].contains(QStringLiteral("Contractor and Wren Halloway, hereinafter")),
             qPrintable(paragraphs[4]));
    QCOMPARE(paragraphs[31], p32(QStringLiteral(" Wren Halloway"), QStringLiteral(" Corwin Ashdale Jr.")));
    QCOMPARE(rig.tempFiles(), QStringList(QStringLiteral("vellum55555555.doc")));
}

void tst_AgreementFlow::counterOverflow_data()
{
    QTest::addColumn<int>("box"); // 0 contractor, 1 work performed
    QTest::addColumn<int>("length");
    QTest::addColumn<QList<int>>("lines");
    // " " + 32,767 characters is one past the top of the running length at insertions 3 and 12.
    QTest::newRow("contractor of 32,767 characters") << 0 << 32767 << QList<int>{154, 244};
    QTest::newRow("work of 40,000 characters") << 1 << 40000 << QList<int>{184};
}

// The counters overflow as reported, yet every text is typed where it belongs.
void tst_AgreementFlow::counterOverflow()
{
    QFETCH(int, box);
    QFETCH(int, length);
    QFETCH(QList<int>, lines);
    FlowRig rig;
    Particulars particulars = kSample;
    const QString text = QString(length - 1, QLatin1Char('x')) + QLatin1Char('!');
    (box == 0 ? particulars[Field::Contractor] : particulars[Field::WorkPerformed]) = text;
    enterInto(particulars, rig.form);
    rig.start();

    const QStringList messages = rig.platform.messageTexts();
    QCOMPARE(messages.size(), lines.size());
    for (qsizetype i = 0; i < lines.size(); ++i)
        QVERIFY2(messages[i].startsWith(kOverflowAt + QString::number(lines[i]) + QStringLiteral("\r\r")),
                 qPrintable(messages[i].left(200)));
    QVERIFY(rig.preview() && rig.preview()->isVisible());
    const QString working = rig.preview()->mWordFile;
    QCOMPARE(rig.tempFiles(), QStringList(QFileInfo(working).fileName()));
    const QStringList paragraphs = paragraphsOf(working);
    const QString contractor = QLatin1Char(' ') + particulars[Field::Contractor];
    const QString owner = QLatin1Char(' ') + particulars[Field::Owner];
    QCOMPARE(paragraphs[4], p5(QStringLiteral(" 5th "), QStringLiteral(" June, 2021"), contractor, owner));
    QCOMPARE(paragraphs[15], QLatin1Char(' ') + particulars[Field::WorkPerformed]);
    QCOMPARE(paragraphs[20], kP21 + particulars[Field::ContractPrice]);
    QCOMPARE(paragraphs[23], kP24 + particulars[Field::PaymentProgress]);
    QCOMPARE(paragraphs[29], QStringLiteral("Signed this 23rd day of April, 2022"));
    QCOMPARE(paragraphs[31], p32(owner, contractor));
}

void tst_AgreementFlow::temporaryFolderUnset()
{
#ifndef Q_OS_UNIX
    QSKIP("The private folder's checks are those of a POSIX system");
#else
    FlowRig rig;
    enterInto(kSample, rig.form);
    const QByteArray runtimeBefore = qgetenv("XDG_RUNTIME_DIR");
    const QString runtime = rig.dir.filePath(QStringLiteral("runtime"));
    QVERIFY(QDir().mkpath(runtime));
    qunsetenv("TEMP");
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
    rig.start();
    const QString working = rig.preview() ? rig.preview()->mWordFile : QString();
    const QStringList messages = rig.platform.messageTexts();
    if (runtimeBefore.isNull())
        qunsetenv("XDG_RUNTIME_DIR");
    else
        qputenv("XDG_RUNTIME_DIR", runtimeBefore);

    QCOMPARE(messages, QStringList());
    const QString folder = runtime + QStringLiteral("/brindlewick");
    QCOMPARE(QFileInfo(working).absolutePath(), folder);
    QVERIFY(QFile::exists(working));
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList(QFileInfo(working).fileName()));
    struct stat info {
    };
    QCOMPARE(::lstat(QFile::encodeName(folder).constData(), &info), 0);
    QCOMPARE(info.st_mode & 0777, 0700u);
    rig.back();
    QVERIFY(!QFile::exists(working));
#endif
}

void tst_AgreementFlow::temporaryFolderWithWideName()
{
    FlowRig rig;
    enterInto(kSample, rig.form);
    rig.temp = rig.dir.filePath(QStringLiteral("Tëmp 张伟 folder"));
    QVERIFY(QDir().mkpath(rig.temp));
    qputenv("TEMP", QFile::encodeName(rig.temp));
    const QString working = runClean(rig);
    if (working.isEmpty())
        return;
    QCOMPARE(QFileInfo(working).absolutePath(), rig.temp);
    QCOMPARE(paragraphsOf(working)[31],
             p32(QStringLiteral(" Tobias Quenby"), QStringLiteral(" Corwin Ashdale Jr.")));
    const QString saved = rig.dir.filePath(QStringLiteral("Vertrag für Zoë.doc"));
    rig.save(saved);
    QCOMPARE(fileBytes(saved), fileBytes(working));
    rig.back();
    QCOMPARE(rig.tempFiles(), QStringList());
}

void tst_AgreementFlow::leftTemplateUsedUnchanged()
{
    FlowRig rig;
    enterInto(kSample, rig.form);
    const QByteArray marked = markedTemplate(QStringLiteral("Left behind by an earlier run"));
    QVERIFY(writeFile(QDir(rig.temp).filePath(QStringLiteral("template.doc")), marked));
    const QString working = runClean(rig);
    if (working.isEmpty())
        return;
    const QStringList paragraphs = paragraphsOf(working);
    QCOMPARE(paragraphs[33], QStringLiteral("Left behind by an earlier run"));
    QCOMPARE(paragraphs[29], QStringLiteral("Signed this 23rd day of April, 2022"));
}

void tst_AgreementFlow::unusableOwnTemplateLeftAlone_data()
{
    QTest::addColumn<QByteArray>("content");
    QByteArray noise(30 << 10, '\0');
    for (qsizetype k = 0; k < noise.size(); ++k)
        noise[k] = char((k * 7919) ^ (k >> 5));
    QFile letter(QStringLiteral(BRINDLEWICK_TEST_DATA "/word-features.doc"));
    QVERIFY(letter.open(QIODevice::ReadOnly));
    QTest::newRow("random bytes") << noise;
    QTest::newRow("20 MB") << QByteArray(20 << 20, 'J');
    QTest::newRow("another Word document") << letter.readAll();
}

// A "template.doc" of the user's own that the insertions do not fit is neither filled nor
// removed: the agreement comes from the program's own template, with one note a run.
void tst_AgreementFlow::unusableOwnTemplateLeftAlone()
{
    QFETCH(QByteArray, content);
    FlowRig rig;
    enterInto(kSample, rig.form);
    const QString templatePath = QDir(rig.temp).filePath(QStringLiteral("template.doc"));
    QVERIFY(writeFile(templatePath, content));
    for (int run = 0; run < 2; ++run) {
        rig.start();
        QCOMPARE(rig.platform.messages.size(), std::size_t(1));
        QVERIFY2(rig.platform.messages[0].text.contains(QDir::toNativeSeparators(templatePath)),
                 qPrintable(rig.platform.messages[0].text));
        QVERIFY(rig.preview() && rig.preview()->isVisible());
        QCOMPARE(paragraphsOf(rig.preview()->mWordFile)[29],
                 QStringLiteral("Signed this 23rd day of April, 2022"));
        QVERIFY(rig.preview()->geometry().sourceWidth() > 0);
        QCOMPARE(fileBytes(templatePath), content);
        rig.back();
    }
}

// Its working files cannot be written, yet the preview shows the agreement the click made, read
// back from no file.
void tst_AgreementFlow::missingTemporaryFolderStillShowsTheAgreement()
{
    FlowRig rig;
    enterInto(kSample, rig.form);
    QVERIFY(QDir(rig.temp).removeRecursively());
    rig.start();
    QVERIFY(!rig.platform.messages.empty());
    QVERIFY(rig.preview()->isVisible());
    QVERIFY(rig.preview()->geometry().sourceWidth() > 0);
}

void tst_AgreementFlow::plantedTemplateIgnored_data()
{
    QTest::addColumn<QString>("kind");
    for (const char* kind : {"other owner", "group-writable", "fifo", "link", "dangling link", "directory"})
        QTest::newRow(kind) << QString::fromLatin1(kind);
}

// What another user can plant at "template.doc" in a shared folder is neither used, nor
// followed, nor waited for, nor removed: the agreement comes from the program's own template.
void tst_AgreementFlow::plantedTemplateIgnored()
{
    QFETCH(QString, kind);
    FlowRig rig;
    enterInto(kSample, rig.form);
    const QString planted = QDir(rig.temp).filePath(QStringLiteral("template.doc"));
    const QString target = rig.dir.filePath(QStringLiteral("someone else's file"));
    const QByteArray clause = markedTemplate(QStringLiteral("Planted clause"));
    QVERIFY(writeFile(target, clause));
    if (kind == QLatin1String("link")) {
        if (!TestSystem::makeLink(target, planted))
            QSKIP(TestSystem::kNoLinks);
    } else if (kind == QLatin1String("dangling link")) {
        QVERIFY(QFile::remove(target));
        if (!TestSystem::makeLink(target, planted))
            QSKIP(TestSystem::kNoLinks);
    } else if (kind == QLatin1String("directory")) {
        QVERIFY(QDir().mkpath(planted));
    } else if (kind == QLatin1String("fifo")) {
        if (!TestSystem::makeFifo(planted))
            QSKIP(TestSystem::kNoFifos);
    } else {
        QVERIFY(writeFile(planted, clause));
        if (kind == QLatin1String("group-writable")) {
            if (!TestSystem::kPrivacyInPermissions)
                QSKIP("Windows keeps files from other users with access lists, not permission bits");
            QVERIFY(QFile::setPermissions(planted, QFile::permissions(planted) | QFileDevice::WriteGroup));
        } else if (!TestSystem::giveToAnotherUser(planted)) {
            QSKIP(TestSystem::kNoOtherOwner);
        }
    }
    rig.start();
    QCOMPARE(rig.platform.messageTexts(), QStringList());
    QVERIFY(rig.preview() && rig.preview()->isVisible());
    const QStringList paragraphs = paragraphsOf(rig.preview()->mWordFile);
    QCOMPARE(paragraphs[33], QString());
    QCOMPARE(paragraphs[29], QStringLiteral("Signed this 23rd day of April, 2022"));
    QVERIFY(QFileInfo(planted).isSymLink() || QFileInfo::exists(planted));
    if (QFile::exists(target))
        QCOMPARE(fileBytes(target), clause);
}

void tst_AgreementFlow::linkAtPictureNameNotFollowed()
{
    FlowRig rig;
    enterInto(kSample, rig.form);
    const QString target = rig.dir.filePath(QStringLiteral("picture target"));
    const QByteArray content("not to be touched");
    QVERIFY(writeFile(target, content));
    QVERIFY(QFile::link(target, QDir(rig.temp).filePath(QStringLiteral("temp.bmp"))));
    if (runClean(rig).isEmpty())
        return;
    QCOMPARE(fileBytes(target), content);
    QVERIFY(rig.preview()->geometry().mOrigWidth > 0);
}

void tst_AgreementFlow::unreplaceablePictureFileKeepsPreview_data()
{
    QTest::addColumn<bool>("othersFile");
    QTest::newRow("a folder of the user's") << false;
    QTest::newRow("another user's file") << true;
}

// A picture file that cannot be replaced costs the copy, never the preview: it shows the
// picture this run made. A failure of the user's own is reported once; another user's file
// in a shared folder is left as it is, without a word.
void tst_AgreementFlow::unreplaceablePictureFileKeepsPreview()
{
    QFETCH(bool, othersFile);
    FlowRig rig;
    enterInto(kSample, rig.form);
    const QString picture = QDir(rig.temp).filePath(QStringLiteral("temp.bmp"));
    if (othersFile) {
        QVERIFY(writeFile(picture, "theirs"));
        if (!TestSystem::giveToAnotherUser(picture))
            QSKIP(TestSystem::kNoOtherOwner);
    } else {
        QVERIFY(QDir().mkpath(picture));
    }
    rig.start();
    QVERIFY(rig.preview() && rig.preview()->isVisible());
    QVERIFY(rig.preview()->geometry().sourceWidth() > 0);
    QCOMPARE(rig.platform.messageTexts().size(), othersFile ? 0 : 1);
    if (othersFile)
        QCOMPARE(fileBytes(picture), QByteArray("theirs"));
}

// The idle preparations show nothing and leave nothing; the click then goes as ever. With a
// hand cursor file of the user's, making the preview (which may report on it) is left to the click.
void tst_AgreementFlow::preparationsAreSilent()
{
    for (const bool handCursor : {false, true}) {
        FlowRig rig;
        enterInto(kSample, rig.form);
        if (handCursor)
            QVERIFY(writeFile(QDir(rig.programDir).filePath(QStringLiteral("HAND-M.CUR")), "not a cursor"));
        rig.filling.prepare(rig.programDir);
        QCOMPARE(rig.platform.messageTexts(), QStringList());
        QCOMPARE(rig.preview() != nullptr, !handCursor);
        QVERIFY(!rig.preview() || rig.preview()->isHidden());
        QCOMPARE(rig.tempFiles(), QStringList());
        if (!handCursor)
            QVERIFY(!runClean(rig).isEmpty());
    }
}

void tst_AgreementFlow::takenNameIsDrawnAgain()
{
    FlowRig rig;
    enterInto(kSample, rig.form);
    const QString taken = QDir(rig.temp).filePath(QStringLiteral("vellum11111111.doc"));
    const QByteArray content("someone's own document");
    QVERIFY(writeFile(taken, content));
    rig.platform.randomValues = {0.0,   0.0,   0.0,   0.0,   0.0, 0.0, 0.0, 0.0,
                                 0.999, 0.999, 0.999, 0.999, 0.0, 0.1, 0.2, 0.3};
    rig.start();
    QCOMPARE(rig.platform.messageTexts(), QStringList());
    QVERIFY(rig.preview());
    QCOMPARE(QFileInfo(rig.preview()->mWordFile).fileName(), QStringLiteral("vellum99991123.doc"));
    QCOMPARE(fileBytes(taken), content);
    QCOMPARE(rig.tempFiles(),
             QStringList({QStringLiteral("vellum11111111.doc"), QStringLiteral("vellum99991123.doc")}));
    rig.back();
    QCOMPARE(fileBytes(taken), content);
}

void tst_AgreementFlow::danglingLinkAtDrawnNameNotFollowed()
{
    FlowRig rig;
    enterInto(kSample, rig.form);
    const QString target = rig.dir.filePath(QStringLiteral("planted target.doc"));
    const QString link = QDir(rig.temp).filePath(QStringLiteral("vellum11111111.doc"));
    if (!TestSystem::makeLink(target, link))
        QSKIP(TestSystem::kNoLinks);
    rig.platform.randomValues = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
    rig.start();
    QCOMPARE(rig.platform.messageTexts(), QStringList());
    QVERIFY(!QFile::exists(target));
    QVERIFY(rig.preview());
    const QString working = rig.preview()->mWordFile;
    QVERIFY(!QFileInfo(working).isSymLink());
    QCOMPARE(paragraphsOf(working)[29], QStringLiteral("Signed this 23rd day of April, 2022"));
    rig.back();
    QVERIFY(!QFile::exists(target));
    QCOMPARE(rig.tempFiles(), QStringList());
}

void tst_AgreementFlow::outputsComeFromTheAgreement_data()
{
    QTest::addColumn<QString>("button");
    QTest::newRow("save") << QStringLiteral("PushButton6");
    QTest::newRow("print") << QStringLiteral("PrintButton");
    QTest::newRow("export as PDF") << QStringLiteral("ExportPdfButton");
    QTest::newRow("copy page") << QStringLiteral("CopyPageButton");
}

// Whatever someone puts at the working document's name, every output is the agreement shown.
void tst_AgreementFlow::outputsComeFromTheAgreement()
{
#ifdef Q_OS_WIN
    QSKIP("Windows lets no other file take the name of a file held open");
#endif
    QFETCH(QString, button);
    FlowRig rig;
    enterInto(kSample, rig.form);
    const QString working = runClean(rig);
    if (working.isEmpty())
        return;
    const QString planted = rig.dir.filePath(QStringLiteral("planted.doc"));
    QVERIFY(QFile::copy(QStringLiteral(BRINDLEWICK_SOURCE_DIR "/resources/template.doc"), planted));
    QVERIFY(TestSystem::renameOver(planted, working));

    const QString pdf = rig.dir.filePath(QStringLiteral("out.pdf"));
    const QString doc = rig.dir.filePath(QStringLiteral("out.doc"));
    rig.platform.printToFile = pdf;
    rig.platform.saveFileAnswers.push_back(button == QLatin1String("PushButton6") ? doc : pdf);
    QVERIFY(rig.previewButton(qPrintable(button)));
    rig.previewButton(qPrintable(button))->click();

    QString text;
    if (button == QLatin1String("PushButton6"))
        text = paragraphsOf(doc).join(u' ');
    else if (button == QLatin1String("CopyPageButton"))
        text = rig.platform.clipboardData ? rig.platform.clipboardData->text() : QString();
    else if (!pdftools::available())
        QSKIP("needs poppler-utils (pdftotext, pdffonts)");
    else
        text = pdftools::pdfText(pdf);
    const QString contractor = kSample[agreement::Field::Contractor];
    QVERIFY2(text.contains(contractor.section(u' ', 1, 1)), qPrintable(text));
}

void tst_AgreementFlow::saveOverReadOnlyTargetAnsweredYes()
{
    FlowRig rig;
    enterInto(kSample, rig.form);
    const QString working = runClean(rig);
    if (working.isEmpty())
        return;
    const QString target = rig.dir.filePath(QStringLiteral("old agreement.doc"));
    QVERIFY(writeFile(target, QByteArray("an older agreement")));
    QVERIFY(QFile::setPermissions(target,
                                  QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther));
    rig.platform.yesNoAnswers = {true};
    rig.save(target);
    QCOMPARE(rig.platform.questions.size(), std::size_t(1));
    QCOMPARE(rig.platform.questions.front(),
             QStringLiteral("Are you sure you wish to overwrite ") + target + QStringLiteral(" ?"));
    QCOMPARE(rig.platform.messageTexts(), QStringList(QStringLiteral("Done.")));
    QCOMPARE(fileBytes(target), fileBytes(working));
}

void tst_AgreementFlow::saveIntoMissingFolderReportsNoDone()
{
    FlowRig rig;
    enterInto(kSample, rig.form);
    const QString working = runClean(rig);
    if (working.isEmpty())
        return;
    const QString target = rig.dir.filePath(QStringLiteral("no such folder/agreement.doc"));
    rig.save(target);
    const QStringList messages = rig.platform.messageTexts();
    QCOMPARE(messages.size(), 1);
    QVERIFY2(
        messages.first().contains(QStringLiteral("in Pactforge2021/08/31.Form2.PushButton6_Click at line 1")),
        qPrintable(messages.first()));
    QVERIFY(!QFile::exists(target));
    QVERIFY(QFile::exists(working));
    QVERIFY(rig.preview()->isVisible());
}

void tst_AgreementFlow::saveIntoUnwritableFolderReportsNoDone()
{
    // The missing-folder test covers a failed copy as well.
    if (!TestSystem::lockedFoldersStopWrites())
        QSKIP(TestSystem::kNoLockedFolders);
    FlowRig rig;
    enterInto(kSample, rig.form);
    const QString working = runClean(rig);
    if (working.isEmpty())
        return;
    const QString folder = rig.dir.filePath(QStringLiteral("locked"));
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    const QString target = folder + QStringLiteral("/agreement.doc");
    rig.save(target);
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const QStringList messages = rig.platform.messageTexts();
    QCOMPARE(messages.size(), 1);
    QVERIFY(messages.first().contains(
        QStringLiteral("in Pactforge2021/08/31.Form2.PushButton6_Click at line 1")));
    QVERIFY(!QFile::exists(target));
}

void tst_AgreementFlow::independentReaders_data()
{
    QTest::addColumn<QString>("reader");
    QTest::newRow("antiword") << "antiword";
    QTest::newRow("wvText") << "wvText";
    QTest::newRow("LibreOffice") << "soffice";
}

void tst_AgreementFlow::independentReaders()
{
    QFETCH(QString, reader);
    const QString program = QStandardPaths::findExecutable(reader);
    if (program.isEmpty())
        QSKIP(qPrintable(reader + QStringLiteral(" is not installed")));

    FlowRig rig;
    enterInto(kSample, rig.form);
    const QString working = runClean(rig);
    if (working.isEmpty())
        return;
    const QString saved = rig.dir.filePath(QStringLiteral("agreement.doc"));
    rig.save(saved);
    QCOMPARE(fileBytes(saved), fileBytes(working));

    QProcess process;
    QString text;
    if (reader == QLatin1String("antiword")) {
        process.start(program, {QStringLiteral("-w"), QStringLiteral("0"), saved});
        QVERIFY(process.waitForFinished(60000));
        text = QString::fromUtf8(process.readAllStandardOutput());
    } else if (reader == QLatin1String("wvText")) {
        const QString out = rig.dir.filePath(QStringLiteral("wv.txt"));
        process.start(program, {saved, out});
        QVERIFY(process.waitForFinished(60000));
        text = QString::fromUtf8(fileBytes(out));
    } else {
        const QString outDir = rig.dir.filePath(QStringLiteral("lo"));
        const QString profile =
            QUrl::fromLocalFile(rig.dir.filePath(QStringLiteral("lo-profile"))).toString();
        process.start(program,
                      {QStringLiteral("--headless"), QStringLiteral("-env:UserInstallation=") + profile,
                       QStringLiteral("--convert-to"), QStringLiteral("txt:Text"), QStringLiteral("--outdir"),
                       outDir, saved});
        QVERIFY(process.waitForFinished(180000));
        text = QString::fromUtf8(fileBytes(outDir + QStringLiteral("/agreement.txt")));
    }
    QVERIFY2(process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0,
             qPrintable(QString::fromUtf8(process.readAllStandardError())));
    const QString seen = collapsed(text);
    const QStringList particulars = {
        QStringLiteral("made the 5th day of, June, 2021, by and between Corwin Ashdale Jr., Hereafter"),
        QStringLiteral("Contractor and Tobias Quenby, hereinafter"),
        QStringLiteral("on the property at Birchwood st"),
        kSample[Field::WorkPerformed],
        QStringLiteral("under the sum of $74.00"),
        QStringLiteral("made as follows ") + kSample[Field::PaymentProgress],
        QStringLiteral("Signed this 23rd day of April, 2022"),
        QStringLiteral("Owner Tobias Quenby Contractor Corwin Ashdale Jr."),
    };
    for (const QString& particular : particulars)
        QVERIFY2(seen.contains(particular), qPrintable(particular + QStringLiteral(" not in: ") + seen));
}

QTEST_MAIN(tst_AgreementFlow)
#include "tst_agreementflow.moc"
