#include "shell/platform.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

// The real save dialog, looked at while it is open and then cancelled.
class TestPlatform : public QObject
{
    Q_OBJECT

private slots:
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
