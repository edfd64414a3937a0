#include "app/settingsstore.h"
#include "product/product.h"

#include <QtTest>

#include <QTemporaryDir>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

using agreement::Field;

namespace
{

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

#ifdef Q_OS_UNIX
// A second name for the file: a write replaces the file by a new one, which the second name
// does not follow, so the file is left with one name.
bool addSecondName(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    return ::link(name.constData(), (name + ".second").constData()) == 0;
}

bool stillHasSecondName(const QString& path)
{
    struct stat info {
    };
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 && info.st_nlink == 2;
}

int permissions(const QString& path)
{
    struct stat info {
    };
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 0777) : -1;
}
#endif

} // namespace

class tst_SettingsStore : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void absentKeyGivesFallback();
    void valuesComeBackWhole_data();
    void valuesComeBackWhole();
    void emptyValueIsNoAbsentKey();
    void writeIsOnDiskAtOnce();
    void severalValuesInOneWrite();
    void sameValueLeavesFileAlone();
    void anotherCopysWriteIsOverwritten();
    void missingFileGivesDefaults();
    void damagedFileGivesDefaults();
    void oversizedFileIsSetAside_data();
    void oversizedFileIsSetAside();
    void keptForTheUserAlone_data();
    void keptForTheUserAlone();
    void handEditedCommaText();
    void userStoreNames();

private:
    QString iniPath(const char* name) const { return mDir.filePath(QLatin1String(name)); }
    QTemporaryDir mDir;
};

void tst_SettingsStore::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(mDir.isValid());
}

void tst_SettingsStore::cleanupTestCase()
{
    QSettings(SettingsStore().location(), QSettings::NativeFormat).clear();
}

void tst_SettingsStore::absentKeyGivesFallback()
{
    SettingsStore store(iniPath("absent.ini"));
    QCOMPARE(store.read(agreement::key(Field::Contractor)), QString());
    QCOMPARE(store.read(agreement::key(Field::ContractPrice), QStringLiteral("0")), QStringLiteral("0"));
}

void tst_SettingsStore::valuesComeBackWhole_data()
{
    QTest::addColumn<QString>("value");
    QTest::newRow("plain") << "Corwin Ashdale Jr.";
    QTest::newRow("currency with comma") << "$1,234.50";
    QTest::newRow("line breaks") << "first line\nsecond line\r\nthird";
    QTest::newRow("quotes and equals") << "a \"quoted\" = 'b'; [section] #not a comment";
    QTest::newRow("backslashes") << "C:\\Temp\\x\\";
    QTest::newRow("unicode") << QString::fromUtf8("Ærø – 東京 – \xF0\x9F\x8F\xA0");
    QTest::newRow("blanks kept") << "  padded  ";
    QTest::newRow("100,000 characters") << QString(100000, QLatin1Char('x'));
    QTest::newRow("looks like a variant") << "@Variant(\\0\\0\\0\\x7f)";
}

void tst_SettingsStore::valuesComeBackWhole()
{
    QFETCH(QString, value);
    const QString path = iniPath("whole.ini");
    {
        SettingsStore store(path);
        store.write(agreement::key(Field::WorkPerformed), value);
    }
    SettingsStore again(path);
    QCOMPARE(again.read(agreement::key(Field::WorkPerformed)), value);
}

void tst_SettingsStore::emptyValueIsNoAbsentKey()
{
    const QString path = iniPath("empty.ini");
    SettingsStore store(path);
    store.write(agreement::key(Field::Owner), QStringLiteral("Tobias"));
    store.write(agreement::key(Field::Owner), QString());
    SettingsStore again(path);
    QCOMPARE(again.read(agreement::key(Field::Owner), QStringLiteral("fallback")), QString());
}

// Nothing waits for the program's end: the file holds the value when write() returns.
void tst_SettingsStore::writeIsOnDiskAtOnce()
{
    const QString path = iniPath("disk.ini");
    SettingsStore store(path);
    store.write(agreement::key(Field::Location), QStringLiteral("Birchwood st"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains("txtLocation=Birchwood st"));
}

void tst_SettingsStore::severalValuesInOneWrite()
{
    const QString path = iniPath("several.ini");
    SettingsStore store(path);
    QVERIFY(store.write({{agreement::key(Field::ContractPrice), QStringLiteral("$1,234.50")},
                         {SettingsKey::txtContractPriceAmount, QStringLiteral("1234.50")}}));
    SettingsStore again(path);
    QCOMPARE(again.read(agreement::key(Field::ContractPrice)), QStringLiteral("$1,234.50"));
    QCOMPARE(again.read(SettingsKey::txtContractPriceAmount), QStringLiteral("1234.50"));
}

void tst_SettingsStore::sameValueLeavesFileAlone()
{
#ifndef Q_OS_UNIX
    QSKIP("The file is watched through a hard link");
#else
    const QString path = iniPath("same.ini");
    SettingsStore store(path);
    store.write(agreement::key(Field::Contractor), QStringLiteral("Corwin"));
    store.write(agreement::key(Field::Owner), QString());
    const QByteArray written = contents(path);
    QVERIFY(addSecondName(path));

    store.write(agreement::key(Field::Contractor), QStringLiteral("Corwin"));
    store.write(agreement::key(Field::Owner), QString());
    QVERIFY(stillHasSecondName(path));
    QCOMPARE(contents(path), written);

    // An empty text where the key is absent is a change: the key must come to exist.
    store.write(agreement::key(Field::Location), QString());
    QVERIFY(!stillHasSecondName(path));
    SettingsStore again(path);
    QCOMPARE(again.read(agreement::key(Field::Location), QStringLiteral("absent")), QString());
#endif
}

// Another running copy of the program rewrites the file: a value is compared with the file,
// not with what this copy read earlier.
void tst_SettingsStore::anotherCopysWriteIsOverwritten()
{
    const QString path = iniPath("two.ini");
    SettingsStore store(path);
    store.write(agreement::key(Field::Contractor), QStringLiteral("from this copy"));
    {
        QFile other(path);
        QVERIFY(other.open(QIODevice::WriteOnly | QIODevice::Truncate));
        other.write("[General]\ntxtContractor=from the other copy\n");
    }
    store.write(agreement::key(Field::Contractor), QStringLiteral("from this copy"));
    QVERIFY2(contents(path).contains("txtContractor=from this copy"), contents(path).constData());
}

void tst_SettingsStore::missingFileGivesDefaults()
{
    SettingsStore store(mDir.filePath(QStringLiteral("no/such/folder/settings.ini")));
    QCOMPARE(store.read(agreement::key(Field::ContractPrice), QStringLiteral("0")), QStringLiteral("0"));
}

void tst_SettingsStore::damagedFileGivesDefaults()
{
    const QString path = iniPath("damaged.ini");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QByteArray junk;
    for (int i = 0; i < 4096; ++i)
        junk.append(static_cast<char>((i * 37 + 11) % 256));
    file.write(junk);
    file.close();
    SettingsStore store(path);
    QCOMPARE(store.read(agreement::key(Field::Contractor), QStringLiteral("default")),
             QStringLiteral("default"));
}

void tst_SettingsStore::oversizedFileIsSetAside_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("setAside");
    QTest::newRow("at the limit") << SettingsStore::kMaxFileBytes << false;
    QTest::newRow("past the limit") << SettingsStore::kMaxFileBytes + 1 << true;
}

// A file set aside is neither read nor written: the program goes on with the defaults, and the
// file stays as it is.
void tst_SettingsStore::oversizedFileIsSetAside()
{
    QFETCH(qint64, size);
    QFETCH(bool, setAside);
    const QString path = iniPath("oversized.ini");
    const QByteArray start = "[General]\ntxtContractor=stored\n";
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(start + QByteArray(size - start.size(), '\n'));
    }
    SettingsStore store(path);
    QCOMPARE(store.read(agreement::key(Field::Contractor), QStringLiteral("default")),
             setAside ? QStringLiteral("default") : QStringLiteral("stored"));
    QCOMPARE(store.write(agreement::key(Field::Contractor), QStringLiteral("typed")), !setAside);
    QCOMPARE(QFileInfo(path).size() == size, setAside);
}

void tst_SettingsStore::keptForTheUserAlone_data()
{
    QTest::addColumn<bool>("user"); // else a new file in new folders
    QTest::newRow("the user's, once open to all") << true;
    QTest::newRow("a new one in new folders") << false;
}

// The particulars name people and prices: on a machine whose homes others may read, the file
// and its folder are closed to them.
void tst_SettingsStore::keptForTheUserAlone()
{
#ifndef Q_OS_UNIX
    QSKIP("The registry key is the user's alone");
#else
    QFETCH(bool, user);
    const QString file = user ? SettingsStore().location() : iniPath("new/folders/settings.ini");
    const QString folder = QFileInfo(file).absolutePath();
    if (user) {
        QVERIFY(QDir().mkpath(folder));
        QFile existing(file);
        QVERIFY(existing.open(QIODevice::Append));
        existing.close();
        QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0755) == 0);
        QVERIFY(::chmod(QFile::encodeName(file).constData(), 0644) == 0);
    }
    {
        const std::unique_ptr<SettingsStore> store =
            user ? std::make_unique<SettingsStore>() : std::make_unique<SettingsStore>(file);
        QVERIFY(store->write(agreement::key(Field::Contractor), QStringLiteral("first")));
        QVERIFY(store->write(agreement::key(Field::Contractor), QStringLiteral("second")));
    }
    QCOMPARE(permissions(file), 0600);
    QCOMPARE(permissions(folder), 0700);
    if (!user)
        QCOMPARE(permissions(iniPath("new")), 0700);
#endif
}

void tst_SettingsStore::handEditedCommaText()
{
    const QString path = iniPath("hand.ini");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[General]\ntxtContractor=Smith, John\n");
    file.close();
    SettingsStore store(path);
    QCOMPARE(store.read(agreement::key(Field::Contractor)), QStringLiteral("Smith, John"));
}

// In test mode the user's store is a test store: on Windows a registry key of its own, which the
// user's own key does not see.
void tst_SettingsStore::userStoreNames()
{
    const QString value = QStringLiteral("in the user's store");
    QString location;
    {
        SettingsStore store;
        store.write(agreement::key(Field::Contractor), value);
        location = store.location();
    }
    QVERIFY2(location.contains(QStringLiteral("qttest")), qPrintable(location));
    QCOMPARE(QSettings(location, QSettings::NativeFormat)
                 .value(QLatin1String(agreement::key(Field::Contractor)))
                 .toString(),
             value);
#ifdef Q_OS_WIN
    const QSettings user(QLatin1String(Product::kOrganization), QLatin1String(Product::kName));
    QVERIFY2(user.value(QLatin1String(agreement::key(Field::Contractor))).toString() != value,
             qPrintable(user.fileName()));
#else
    QCOMPARE(QSettings(QLatin1String(Product::kOrganization), QLatin1String(Product::kName)).fileName(),
             QDir::fromNativeSeparators(location));
#endif
}

QTEST_GUILESS_MAIN(tst_SettingsStore)
#include "tst_settingsstore.moc"
