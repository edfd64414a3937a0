#include "shell/errorreport.h"
#include "support/fakeplatform.h"

#include <QtTest>

class tst_ErrorReport : public QObject
{
    Q_OBJECT

private slots:
    void exactText();
    void goesOnAfterFailures();
    void failingCalleeReportsCallersStep();
};

void tst_ErrorReport::exactText()
{
    QCOMPARE(ErrorReport::locationText(QStringLiteral("Form1"), QStringLiteral("Form_Load")),
             QStringLiteral("in Pactforge2021/08/31.Form1.Form_Load "));
    const QString text = ErrorReport::messageText(
        QStringLiteral("Type mismatch"), QStringLiteral("in Pactforge2021/08/31.Form1.Form_Load "), 138);
    QCOMPARE(text, QStringLiteral("Type mismatch\r\nin Pactforge2021/08/31.Form1.Form_Load at line 138\r\r"
                                  "Please email screenshot of this message to support@quillmark.example"));
}

void tst_ErrorReport::goesOnAfterFailures()
{
    FakePlatform platform;
    ErrorReport report(platform, QStringLiteral("Form2"), QStringLiteral("picture1_MouseDown"));
    QStringList ran;
    QVERIFY(report.step(102, [&] { ran << "102"; }));
    QVERIFY(!report.step(104, [&] { throw StepFailure(QStringLiteral("first")); }));
    QVERIFY(report.step(106, [&] { ran << "106"; }));
    QVERIFY(!report.step(108, [&] { throw std::runtime_error("second"); }));
    QVERIFY(report.step(110, [&] { ran << "110"; }));

    QCOMPARE(ran, QStringList({"102", "106", "110"}));
    QCOMPARE(platform.messages.size(), std::size_t(2));
    QVERIFY(platform.messages[0].text.startsWith(
        QStringLiteral("first\r\nin Pactforge2021/08/31.Form2.picture1_MouseDown at line 104\r\r")));
    QVERIFY(platform.messages[1].text.startsWith(QStringLiteral("second\r\n")));
    QVERIFY(platform.messages[1].text.contains(QStringLiteral(" at line 108\r\r")));
    QCOMPARE(platform.messages[1].caption, QStringLiteral("Application Error"));
    QCOMPARE(platform.messages[1].icon, Platform::Icon::Warning);
}

void tst_ErrorReport::failingCalleeReportsCallersStep()
{
    FakePlatform platform;
    ErrorReport report(platform, QStringLiteral("Form1"), QStringLiteral("Form_Load"));
    bool restOfCalleeRan = false;
    const bool calleeFails = true;
    auto callee = [&] {
        if (calleeFails)
            throw StepFailure(QStringLiteral("callee failed"));
        restOfCalleeRan = true;
    };
    bool nextStepRan = false;
    report.step(100, callee);
    report.step(104, [&] { nextStepRan = true; });
    QVERIFY(!restOfCalleeRan);
    QVERIFY(nextStepRan);
    QCOMPARE(platform.messages.size(), std::size_t(1));
    QVERIFY(platform.messages[0].text.contains(QStringLiteral("Form1.Form_Load at line 100\r\r")));
}

QTEST_GUILESS_MAIN(tst_ErrorReport)
#include "tst_errorreport.moc"
