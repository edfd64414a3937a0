#include "flowrig.h"

#include <QtTest>

#include <QWindow>

// The round on a real X server (Xvfb): windows that are mapped and exposed, not offscreen
// stand-ins, and a click delivered as a mouse press and release.
class tst_AgreementOnScreen : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void fillPreviewAndBack();
};

void tst_AgreementOnScreen::initTestCase()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        QSKIP("Needs the xcb platform on an X server; CTest runs it under xvfb-run");
    QStandardPaths::setTestModeEnabled(true);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void tst_AgreementOnScreen::fillPreviewAndBack()
{
    FlowRig rig;
    QVERIFY(rig.loaded);
    QVERIFY(QTest::qWaitForWindowExposed(&rig.form));
    rig.form.findChild<QPushButton*>(QStringLiteral("PushButton3"))->click(); // sample data

    QTest::mouseClick(rig.form.PushButton22, Qt::LeftButton);
    QCOMPARE(rig.platform.messageTexts(), QStringList());
    Form2* preview = rig.preview();
    QVERIFY(preview);
    QVERIFY(preview->isVisible());
    QVERIFY(QTest::qWaitForWindowExposed(preview));
    QVERIFY(preview->windowHandle() && preview->windowHandle()->isExposed());
    QTRY_VERIFY(!rig.form.windowHandle()->isExposed());
    QVERIFY(!rig.form.isVisible());
    QVERIFY(rig.oneWindowVisible());
    QCOMPARE(preview->geometry().mZoom, 1.0f);
    QVERIFY(preview->geometry().mOrigWidth > 0);
    const QString working = preview->mWordFile;
    QVERIFY(QFile::exists(working));

    QTest::mouseClick(rig.previewButton("PushButton8"), Qt::LeftButton);
    QVERIFY(!QFile::exists(working));
    QVERIFY(rig.form.isVisible());
    QVERIFY(QTest::qWaitForWindowExposed(&rig.form));
    QVERIFY(preview->isHidden());
    QTRY_VERIFY(!preview->windowHandle()->isExposed());
    QVERIFY(rig.oneWindowVisible());
    QCOMPARE(rig.tempFiles(), QStringList());
    QCOMPARE(rig.platform.messageTexts(), QStringList());
    QCOMPARE(rig.platform.endProgramCalls, 0);
}

QTEST_MAIN(tst_AgreementOnScreen)
#include "tst_agreementonscreen.moc"
