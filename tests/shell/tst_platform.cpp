#include "shell/platform.h"
#include "shell/windowplacement.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

// The real save dialog, looked at while it is open and then cancelled.
class TestPlatform : public QObject
{
    Q_OBJECT

private slots:
    void windowPlacedInsideTheScreen_data()
    {
        QTest::addColumn<QRect>("available");
        QTest::addColumn<QRect>("client");
        QTest::newRow("room to spare: centred at the size asked")
            << QRect(0, 0, 1280, 1024) << QRect(312, 211, 656, 626);
        // 1280 x 1024 at a device pixel ratio of 2, under a panel: the title bar stays on the screen.
        QTest::newRow("too low: shrunk, title bar inside")
            << QRect(0, 24, 640, 488) << QRect(8, 56, 624, 448);
        QTest::newRow("smaller than the minimum: its corner inside")
            << QRect(100, 0, 300, 200) << QRect(108, 32, 400, 300);
    }
    void windowPlacedInsideTheScreen()
    {
        QFETCH(QRect, available);
        QFETCH(QRect, client);
        QCOMPARE(WindowPlacement::place(QSize(656, 626), QSize(400, 300), available, QMargins(8, 32, 8, 8)),
                 client);
    }
    // Qt takes a shown window's new position for its client area's while no frame is known: a shown
    // frameless window stands for one the window manager has not framed yet.
    void windowPlacedAlikeShownOrNot_data()
    {
        QTest::addColumn<bool>("shown");
        QTest::newRow("placed before it is shown") << false;
        QTest::newRow("placed once shown, before its frame is known") << true;
    }
    void windowPlacedAlikeShownOrNot()
    {
        QFETCH(bool, shown);
        QWidget window(nullptr, shown ? Qt::Window | Qt::FramelessWindowHint : Qt::Window);
        window.setMinimumSize(200, 100);
        if (shown)
            window.show();
        const QRect available = window.screen()->availableGeometry();
        // Taller than the screen, so the frame's top is the area's top.
        const QSize wanted(available.width() / 2, available.height());
        WindowPlacement::placeOnScreen(window, wanted);
        window.show();
        QCOMPARE(window.geometry(), WindowPlacement::place(wanted, window.minimumSize(), available,
                                                           WindowPlacement::kFrameEstimate));
    }
    void saveDialogOpensInAFolderThatIsThere_data()
    {
        QTest::addColumn<QString>("asked");
        QTest::addColumn<QString>("opened");
        QTest::addColumn<QString>("suggested");
        QTest::newRow("folder there") << "kept"
                                      << "kept" << QString();
        QTest::newRow("folder missing, a name suggested") << "kept/Documents"
                                                          << "kept"
                                                          << "suggested.pdf";
        QTest::newRow("several levels missing") << "kept/gone/Documents"
                                                << "kept" << QString();
    }

    void saveDialogOpensInAFolderThatIsThere()
    {
        QFETCH(QString, asked);
        QFETCH(QString, opened);
        QFETCH(QString, suggested);
        QTemporaryDir root;
        QVERIFY(QDir(root.path()).mkdir(QStringLiteral("kept")));

        QString folderShown, nameShown;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            folderShown = dialog->directory().absolutePath();
            if (const auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
                nameShown = name->text();
            dialog->reject();
        });
        QtPlatform platform;
        Platform::SaveDialog options;
        options.title = QStringLiteral("Save");
        options.filter = QStringLiteral("Word Files (*.doc)|*.doc");
        options.folder = root.filePath(asked);
        options.fileName = suggested;
        QCOMPARE(platform.getSaveFileName(options), QString());
        QCOMPARE(folderShown, QDir(root.filePath(opened)).absolutePath());
        QCOMPARE(nameShown, suggested);
    }
};

QTEST_MAIN(TestPlatform)
#include "tst_platform.moc"
