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
        QTest::newRow("folder there") << "kept"
                                      << "kept";
        QTest::newRow("folder missing") << "kept/Documents"
                                        << "kept";
        QTest::newRow("several levels missing") << "kept/gone/Documents"
                                                << "kept";
    }

    void saveDialogOpensInAFolderThatIsThere()
    {
        QFETCH(QString, asked);
        QFETCH(QString, opened);
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
        QCOMPARE(platform.getSaveFileName(options), QString());
        QCOMPARE(folderShown, QDir(root.filePath(opened)).absolutePath());
        QCOMPARE(nameShown, QString());
    }
};

QTEST_MAIN(TestPlatform)
#include "tst_platform.moc"
