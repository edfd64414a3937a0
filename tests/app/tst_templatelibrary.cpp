#include "app/templatelibrary.h"

#include "agreement/agreementtemplate.h"
#include "support/fakeplatform.h"

#include <QtTest>

#include <QTemporaryDir>

namespace
{

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString standard()
{
    return QLatin1String(agreement::Template::kName);
}

QString homeImprovement()
{
    return QLatin1String(agreement::HomeImprovement::kName);
}

} // namespace

class tst_TemplateLibrary : public QObject
{
    Q_OBJECT

private slots:
    void add_data();
    void add();
    void listChoiceAndRemoval();
};

void tst_TemplateLibrary::add_data()
{
    QTest::addColumn<QString>("fixture"); // in tests/data
    QTest::addColumn<QString>("addedAs"); // the name the file is added under
    QTest::addColumn<QString>("there");   // a fixture already in the folder under addedAs; empty: none
    QTest::addColumn<bool>("yes");        // the answer to the question, when one is asked
    QTest::addColumn<bool>("refused");
    QTest::addColumn<QString>("kept"); // the fixture the folder holds under addedAs afterwards; empty: none

    QTest::newRow("sound") << "own-plain.doc"
                           << "own-plain" << QString() << true << false << "own-plain.doc";
    QTest::newRow("faulty") << "own-faulty.doc"
                            << "own-faulty" << QString() << true << true << QString();
    QTest::newRow("name taken, kept") << "own-plain.doc"
                                      << "own-plain"
                                      << "own-tables.doc" << false << false << "own-tables.doc";
    QTest::newRow("name taken, replaced") << "own-plain.doc"
                                          << "own-plain"
                                          << "own-tables.doc" << true << false << "own-plain.doc";
    QTest::newRow("faulty over a sound one") << "own-faulty.doc"
                                             << "own-faulty"
                                             << "own-tables.doc" << true << true << "own-tables.doc";
    QTest::newRow("built-in's name") << "own-plain.doc" << homeImprovement() << QString() << true << true
                                     << QString();
    // A template with no tag is sound, if of little use; the program's own .docx is one.
    const QString docx = QStringLiteral("../../resources/template.docx");
    QTest::newRow("a .docx over a .doc of its name") << docx << "own-plain"
                                                     << "own-tables.doc" << true << false << docx;
}

// A template is checked before it is copied in; a name that is there is asked about first.
void tst_TemplateLibrary::add()
{
    QFETCH(QString, fixture);
    QFETCH(QString, addedAs);
    QFETCH(QString, there);
    QFETCH(bool, yes);
    QFETCH(bool, refused);
    QFETCH(QString, kept);
    QTemporaryDir dir;
    SettingsStore store(dir.filePath(QStringLiteral("settings.ini")));
    TemplateLibrary library(store, dir.filePath(QStringLiteral("templates")));
    // Each file keeps its extension, the copy in the folder too.
    const auto named = [&](const QString& folder, const QString& file) {
        return folder + QLatin1Char('/') + addedAs + QLatin1Char('.') + QFileInfo(file).suffix();
    };
    const QString source = named(dir.path(), fixture);
    QVERIFY(QFile::copy(QFINDTESTDATA("../data/" + fixture), source));
    if (!there.isEmpty()) {
        QVERIFY(QDir().mkpath(library.folder()));
        QVERIFY(QFile::copy(QFINDTESTDATA("../data/" + there), named(library.folder(), there)));
    }
    FakePlatform platform;
    platform.yesNoAnswers = {yes};
    QString added;
    QStringList faults;
    try {
        added = library.add(source, platform, QStringLiteral("caption"));
    } catch (const agreement::TemplateRefused& e) {
        faults = e.faults();
    }
    QCOMPARE(!faults.isEmpty(), refused);
    QCOMPARE(platform.questions.size(), std::size_t(!there.isEmpty() && !refused));
    QCOMPARE(added, !refused && (yes || there.isEmpty()) ? addedAs : QString());
    // The folder holds one copy under the name, the one kept.
    QCOMPARE(QDir(library.folder()).entryList({addedAs + QStringLiteral(".*")}, QDir::Files),
             kept.isEmpty() ? QStringList()
                            : QStringList{QFileInfo(named(library.folder(), kept)).fileName()});
    if (!kept.isEmpty())
        QCOMPARE(contents(named(library.folder(), kept)), contents(QFINDTESTDATA("../data/" + kept)));
    QCOMPARE(library.names().contains(addedAs), !kept.isEmpty() || addedAs == homeImprovement());
}

// The list's order, the choice across a restart, and a chosen template that is gone.
void tst_TemplateLibrary::listChoiceAndRemoval()
{
    QTemporaryDir dir;
    const QString settings = dir.filePath(QStringLiteral("settings.ini"));
    const QString folder = dir.filePath(QStringLiteral("templates"));
    QVERIFY(QDir().mkpath(folder));
    for (const char* name : {"b", "A", "c", "not a template.txt"})
        QVERIFY(QFile::copy(QFINDTESTDATA("../data/own-plain.doc"),
                            folder + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".doc")));
    QVERIFY(QFile::rename(folder + QStringLiteral("/not a template.txt.doc"),
                          folder + QStringLiteral("/not a template.txt")));
    {
        SettingsStore store(settings);
        TemplateLibrary library(store, folder);
        QCOMPARE(library.names(), (QStringList{standard(), homeImprovement(), "A", "b", "c"}));
        const TemplateLibrary::Choice first = library.loadChosen();
        QCOMPARE(first.name, standard());
        QVERIFY(!first.tagTemplate);
        QVERIFY(library.choose(QStringLiteral("b")));
        QVERIFY(!library.remove(homeImprovement()));
    }
    SettingsStore store(settings);
    TemplateLibrary library(store, folder);
    const TemplateLibrary::Choice again = library.loadChosen();
    QCOMPARE(again.name, QStringLiteral("b"));
    QVERIFY(again.tagTemplate);
    QCOMPARE(again.tagTemplate->name(), QStringLiteral("b"));

    QVERIFY(library.remove(QStringLiteral("b")));
    QCOMPARE(library.names(), (QStringList{standard(), homeImprovement(), "A", "c"}));
    const TemplateLibrary::Choice fallen = library.loadChosen();
    QCOMPARE(fallen.name, standard());
    QCOMPARE(fallen.refused, QStringLiteral("b"));
    QCOMPARE(fallen.faults.size(), 1);
    QCOMPARE(library.chosen(), standard());
}

QTEST_MAIN(tst_TemplateLibrary)
#include "tst_templatelibrary.moc"
