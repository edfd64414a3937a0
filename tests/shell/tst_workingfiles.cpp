#include "shell/workingfiles.h"

#include "doc/error.h"
#include "doc/fileio.h"
#include "support/testsystem.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <stdexcept>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#endif

namespace
{

#ifndef Q_OS_UNIX
// What these tests check of the folder taken when TEMP is unset.
constexpr char kPosixFallback[] =
    "the folder taken without TEMP is a POSIX system's (XDG_RUNTIME_DIR, its mode "
    "and owner)";
#endif

QByteArray readAll(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<unreadable>");
    return file.readAll();
}

void replace(const QByteArray& bytes, const QString& path)
{
    doc::fileio::replaceFile(filePath(path),
                             std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                       static_cast<std::size_t>(bytes.size())),
                             doc::fileio::Access::OwnerOnly);
}

void writePlain(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

// Restores an environment variable when the test leaves.
class EnvGuard
{
public:
    explicit EnvGuard(const char* name)
        : mName(name), mWasSet(qEnvironmentVariableIsSet(name)), mOld(qgetenv(name))
    {
    }
    ~EnvGuard()
    {
        if (mWasSet)
            qputenv(mName, mOld);
        else
            qunsetenv(mName);
    }

private:
    const char* mName;
    bool mWasSet;
    QByteArray mOld;
};

} // namespace

class tst_WorkingFiles : public QObject
{
    Q_OBJECT

private slots:
    void temporaryFolderFromTemp();
    void temporaryFolderWithoutTemp_data();
    void temporaryFolderWithoutTemp();
    void temporaryFolderReplacesForeignFolder_data();
    void temporaryFolderReplacesForeignFolder();
    void linkFollowedOnlyWhereTheKernelWould_data();
    void linkFollowedOnlyWhereTheKernelWould();
    void workingPathJoinsWithSeparator();
    void fileExists_data();
    void fileExists();
    void writeCreatesExactBytes();
    void writeRefusesExistingFile();
    void writeRefusesPlantedLink();
    void writeReportsUnwritableFolder();
    void writeReportsFileInPlaceOfFolder();
    void deleteRemovesReadOnlyFile();
    void deleteMissingFileDoesNothing();
    void deleteLeavesLinkTargetAlone();
    void deleteLeavesWhatItCannotDeleteAsItWas_data();
    void deleteLeavesWhatItCannotDeleteAsItWas();
    void deleteRunsPendingEvents();
    void replaceOverwritesContent();
    void replaceDoesNotFollowLink();
    void replaceReportsMissingFolder();
    void replaceKeepsUsersFile_data();
    void replaceKeepsUsersFile();
    void replaceRefusesWhatIsNotTheUsersFile_data();
    void replaceRefusesWhatIsNotTheUsersFile();
    void publishTakesOnlyAFreeName();
    void crashDuringReplaceLeavesNothing_data();
    void crashDuringReplaceLeavesNothing();
    void staleWorkingDocumentsRemoved();
    void readRefusesWhatItShouldNotRead_data();
    void readRefusesWhatItShouldNotRead();

private:
    QTemporaryDir mDir;
};

void tst_WorkingFiles::temporaryFolderFromTemp()
{
    EnvGuard guard("TEMP");
    qputenv("TEMP", mDir.path().toLocal8Bit());
    QCOMPARE(temporaryFolder(), mDir.path());
}

void tst_WorkingFiles::temporaryFolderWithoutTemp_data()
{
    QTest::addColumn<bool>("emptyInsteadOfUnset");
    QTest::addColumn<QString>("runtime"); // what XDG_RUNTIME_DIR names
    QTest::newRow("unset, runtime dir") << false << "own";
    QTest::newRow("empty, runtime dir") << true << "own";
    QTest::newRow("unset, no runtime dir") << false << "";
    QTest::newRow("runtime dir missing") << false << "missing";
    QTest::newRow("another user's runtime dir") << false << "another user's";
}

void tst_WorkingFiles::temporaryFolderWithoutTemp()
{
#ifndef Q_OS_UNIX
    QSKIP(kPosixFallback);
#else
    QFETCH(bool, emptyInsteadOfUnset);
    QFETCH(QString, runtime);
    EnvGuard temp("TEMP");
    EnvGuard runtimeGuard("XDG_RUNTIME_DIR");
    EnvGuard tmpdir("TMPDIR");
    QTemporaryDir root;
    const QString runtimeDir = root.filePath(QStringLiteral("runtime"));
    const QString systemTemp = root.filePath(QStringLiteral("systemtmp"));
    if (runtime != QLatin1String("missing"))
        QVERIFY(QDir().mkpath(runtimeDir));
    QVERIFY(QDir().mkpath(systemTemp));
    if (runtime == QLatin1String("another user's") && !TestSystem::giveToAnotherUser(runtimeDir))
        QSKIP(TestSystem::kNoOtherOwner);
    if (emptyInsteadOfUnset)
        qputenv("TEMP", "");
    else
        qunsetenv("TEMP");
    if (!runtime.isEmpty())
        qputenv("XDG_RUNTIME_DIR", runtimeDir.toLocal8Bit());
    else
        qunsetenv("XDG_RUNTIME_DIR");
    qputenv("TMPDIR", systemTemp.toLocal8Bit());

    const QString folder = temporaryFolder();
    const QString expected = runtime == QLatin1String("own")
                                 ? runtimeDir + QStringLiteral("/brindlewick")
                                 : systemTemp + QStringLiteral("/brindlewick-%1").arg(::geteuid());
    QCOMPARE(folder, expected);
    QVERIFY(!folder.isEmpty() && folder != QStringLiteral("/"));

    struct stat info {
    };
    QCOMPARE(::lstat(QFile::encodeName(folder).constData(), &info), 0);
    QVERIFY(S_ISDIR(info.st_mode));
    QCOMPARE(info.st_mode & 0777, 0700u);
    QCOMPARE(info.st_uid, ::geteuid());

    // A second call finds the same folder and accepts it.
    QCOMPARE(temporaryFolder(), folder);
#endif
}

void tst_WorkingFiles::temporaryFolderReplacesForeignFolder_data()
{
    QTest::addColumn<bool>("link");
    QTest::newRow("a link to elsewhere") << true;
    QTest::newRow("another user's folder") << false;
}

// Someone else's folder at the usual name is left alone; the run quietly uses a fresh
// private folder of its own beside it, the same one for every working file.
void tst_WorkingFiles::temporaryFolderReplacesForeignFolder()
{
#ifndef Q_OS_UNIX
    QSKIP(kPosixFallback);
#else
    QFETCH(bool, link);
    EnvGuard temp("TEMP");
    EnvGuard runtime("XDG_RUNTIME_DIR");
    QTemporaryDir planted;
    const QString runtimeDir = planted.path();
    const QString usual = runtimeDir + QStringLiteral("/brindlewick");
    if (link) {
        QVERIFY(QFile::link(mDir.path(), usual));
    } else if (!QDir().mkpath(usual) || !TestSystem::giveToAnotherUser(usual)) {
        QSKIP(TestSystem::kNoOtherOwner);
    }
    qunsetenv("TEMP");
    qputenv("XDG_RUNTIME_DIR", runtimeDir.toLocal8Bit());

    const QString folder = temporaryFolder();
    QVERIFY2(folder.startsWith(usual) && folder != usual, qPrintable(folder));
    struct stat info {
    };
    QCOMPARE(::lstat(QFile::encodeName(folder).constData(), &info), 0);
    QVERIFY(S_ISDIR(info.st_mode));
    QCOMPARE(info.st_mode & 0777, 0700u);
    QCOMPARE(info.st_uid, ::geteuid());
    QCOMPARE(temporaryFolder(), folder);
    QCOMPARE(QFileInfo(usual).isSymLink(), link);
#endif
}

void tst_WorkingFiles::linkFollowedOnlyWhereTheKernelWould_data()
{
    QTest::addColumn<uint>("folderMode");
    QTest::addColumn<uint>("folderOwner");
    QTest::addColumn<uint>("linkOwner");
    QTest::addColumn<uint>("follower");
    QTest::addColumn<bool>("followed");
    QTest::newRow("another user's link in a plain folder") << 0755u << 1000u << 1001u << 1000u << true;
    QTest::newRow("world-writable, not sticky") << 0777u << 0u << 1001u << 1000u << true;
    QTest::newRow("own link in /tmp") << 01777u << 0u << 1000u << 1000u << true;
    QTest::newRow("folder owner's link in /tmp") << 01777u << 0u << 0u << 1000u << true;
    QTest::newRow("another user's link in /tmp") << 01777u << 0u << 1001u << 1000u << false;
    QTest::newRow("another user's link in /tmp, for root") << 01777u << 0u << 1001u << 0u << false;
    QTest::newRow("another user's link in a group's sticky folder")
        << 01770u << 1000u << 1001u << 1002u << false;
}

void tst_WorkingFiles::linkFollowedOnlyWhereTheKernelWould()
{
    QFETCH(uint, folderMode);
    QFETCH(uint, folderOwner);
    QFETCH(uint, linkOwner);
    QFETCH(uint, follower);
    QFETCH(bool, followed);
    QCOMPARE(doc::fileio::mayFollowLink(folderMode, folderOwner, linkOwner, follower), followed);
}

void tst_WorkingFiles::workingPathJoinsWithSeparator()
{
    EnvGuard guard("TEMP");
    qputenv("TEMP", mDir.path().toLocal8Bit());
    QCOMPARE(workingPath(QStringLiteral("template.doc")),
             mDir.path() + QDir::separator() + QStringLiteral("template.doc"));
}

void tst_WorkingFiles::fileExists_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("expected");
    QTest::newRow("missing") << "missing" << false;
    QTest::newRow("empty path") << "empty" << false;
    QTest::newRow("plain file") << "file" << true;
    QTest::newRow("read-only file") << "readonly" << true;
    // A folder has a date and time too.
    QTest::newRow("directory") << "dir" << true;
    QTest::newRow("dangling link") << "dangling" << false;
}

void tst_WorkingFiles::fileExists()
{
    QFETCH(QString, kind);
    QFETCH(bool, expected);
    const QString path = mDir.path() + QStringLiteral("/exists-") + kind;
    if (kind == QLatin1String("file") || kind == QLatin1String("readonly"))
        writePlain(path, "x");
    if (kind == QLatin1String("readonly"))
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner));
    if (kind == QLatin1String("dir"))
        QVERIFY(QDir().mkpath(path));
    if (kind == QLatin1String("dangling") &&
        !TestSystem::makeLink(mDir.path() + QStringLiteral("/nothing-here"), path))
        QSKIP(TestSystem::kNoLinks);
    QCOMPARE(FileExists(kind == QLatin1String("empty") ? QString() : path), expected);
}

void tst_WorkingFiles::writeCreatesExactBytes()
{
    const QString path = mDir.path() + QStringLiteral("/fresh.doc");
    QByteArray bytes;
    for (int i = 0; i < 28672; ++i)
        bytes.append(char(i * 7 + 3));
    WriteBytesToFile(bytes, path);
    QCOMPARE(readAll(path), bytes);
}

void tst_WorkingFiles::writeRefusesExistingFile()
{
    const QString path = mDir.path() + QStringLiteral("/existing.doc");
    writePlain(path, "old content");
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, WriteBytesToFile("new", path));
    QCOMPARE(readAll(path), QByteArray("old content"));
}

void tst_WorkingFiles::writeRefusesPlantedLink()
{
    const QString victim = mDir.path() + QStringLiteral("/victim.txt");
    const QString link = mDir.path() + QStringLiteral("/template.doc");
    writePlain(victim, "precious");
    if (!TestSystem::makeLink(victim, link))
        QSKIP(TestSystem::kNoLinks);
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, WriteBytesToFile("attack", link));
    QCOMPARE(readAll(victim), QByteArray("precious"));
    QVERIFY(QFileInfo(link).isSymLink());

    // A dangling link must not create its target either.
    const QString target = mDir.path() + QStringLiteral("/would-be-created");
    const QString dangling = mDir.path() + QStringLiteral("/temp.bmp");
    QVERIFY(QFile::link(target, dangling));
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, WriteBytesToFile("attack", dangling));
    QVERIFY(!QFileInfo::exists(target));
}

void tst_WorkingFiles::writeReportsUnwritableFolder()
{
    if (!TestSystem::lockedFoldersStopWrites())
        QSKIP(TestSystem::kNoLockedFolders);
    const QString folder = mDir.path() + QStringLiteral("/locked");
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    const QString path = folder + QStringLiteral("/template.doc");
    try {
        WriteBytesToFile("bytes", path);
        QFAIL("no failure reported");
    } catch (const std::runtime_error& e) {
        QCOMPARE(QString::fromUtf8(e.what()),
                 QStringLiteral("Cannot create ") + path + QStringLiteral(": Permission denied"));
    }
    QVERIFY(QFile::setPermissions(folder,
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
}

void tst_WorkingFiles::writeReportsFileInPlaceOfFolder()
{
    const QString notAFolder = mDir.path() + QStringLiteral("/plainfile");
    writePlain(notAFolder, "x");
    const QString path = notAFolder + QStringLiteral("/template.doc");
    const QString reason = TestSystem::reasonNotAFolder();
    try {
        WriteBytesToFile("bytes", path);
        QFAIL("no failure reported");
    } catch (const std::runtime_error& e) {
        QCOMPARE(QString::fromUtf8(e.what()),
                 QStringLiteral("Cannot create ") + path + QStringLiteral(": ") + reason);
    }
}

void tst_WorkingFiles::deleteRemovesReadOnlyFile()
{
    const QString path = mDir.path() + QStringLiteral("/readonly.doc");
    writePlain(path, "x");
    QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner));
    DeleteFileQuietly(path);
    QVERIFY(!QFileInfo::exists(path));
}

void tst_WorkingFiles::deleteMissingFileDoesNothing()
{
    const QString path = mDir.path() + QStringLiteral("/never-there.doc");
    DeleteFileQuietly(path);
    DeleteFileQuietly(QString());
    QVERIFY(!QFileInfo::exists(path));
}

void tst_WorkingFiles::deleteLeavesLinkTargetAlone()
{
    const QString target = mDir.path() + QStringLiteral("/link-target.txt");
    const QString link = mDir.path() + QStringLiteral("/vellum11111111.doc");
    writePlain(target, "keep");
    QVERIFY(QFile::link(target, link));
    DeleteFileQuietly(link);
    QVERIFY(!QFileInfo(link).isSymLink());
    QCOMPARE(readAll(target), QByteArray("keep"));
}

void tst_WorkingFiles::deleteLeavesWhatItCannotDeleteAsItWas_data()
{
    QTest::addColumn<bool>("folder");
    QTest::newRow("a folder under the name") << true;
    QTest::newRow("read-only file in a locked folder") << false;
}

void tst_WorkingFiles::deleteLeavesWhatItCannotDeleteAsItWas()
{
    QFETCH(bool, folder);
    const QFileDevice::Permissions readOnly = QFileDevice::ReadOwner | QFileDevice::ExeOwner;
    const QString locked = mDir.path() + QStringLiteral("/locked");
    QVERIFY(QDir().mkpath(locked));
    QString path = locked;
    if (!folder) {
        if (!TestSystem::lockedFoldersStopWrites())
            QSKIP(TestSystem::kNoLockedFolders);
        path = locked + QStringLiteral("/readonly.doc");
        writePlain(path, "x");
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner));
    }
    QVERIFY(QFile::setPermissions(locked, readOnly));
    const QFileDevice::Permissions before = QFileInfo(path).permissions();
    DeleteFileQuietly(path);
    const QFileInfo after(path);
    const QFileDevice::Permissions left = after.permissions();
    QVERIFY(QFile::setPermissions(locked, readOnly | QFileDevice::WriteOwner));
    QVERIFY(after.exists());
    QCOMPARE(left, before);
}

void tst_WorkingFiles::deleteRunsPendingEvents()
{
    bool ran = false;
    QMetaObject::invokeMethod(
        this, [&ran] { ran = true; }, Qt::QueuedConnection);
    DeleteFileQuietly(mDir.path() + QStringLiteral("/none"));
    QVERIFY(ran);
}

void tst_WorkingFiles::replaceOverwritesContent()
{
    const QString path = mDir.path() + QStringLiteral("/replace.bmp");
    writePlain(path, "old and longer content");
    replace("new", path);
    QCOMPARE(readAll(path), QByteArray("new"));
    QCOMPARE(QDir(mDir.path()).entryList({QStringLiteral("replace.bmp*")}, QDir::Files | QDir::Hidden).size(),
             1);
}

void tst_WorkingFiles::replaceDoesNotFollowLink()
{
    const QString victim = mDir.path() + QStringLiteral("/victim2.txt");
    const QString link = mDir.path() + QStringLiteral("/linked.bmp");
    writePlain(victim, "precious");
    if (!TestSystem::makeLink(victim, link))
        QSKIP(TestSystem::kNoLinks);
    replace("picture", link);
    QCOMPARE(readAll(victim), QByteArray("precious"));
    QVERIFY(!QFileInfo(link).isSymLink());
    QCOMPARE(readAll(link), QByteArray("picture"));
}

void tst_WorkingFiles::replaceReportsMissingFolder()
{
    const QString path = mDir.path() + QStringLiteral("/no/such/folder/temp.bmp");
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, replace("x", path));
    QVERIFY(!QFileInfo::exists(path));
    // No name at all is refused too, rather than written into whatever folder is current.
    const QStringList here = QDir().entryList(QDir::AllEntries | QDir::Hidden);
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, replace("x", QString()));
    QCOMPARE(QDir().entryList(QDir::AllEntries | QDir::Hidden), here);
}

void tst_WorkingFiles::replaceKeepsUsersFile_data()
{
    QTest::addColumn<QString>("name");  // what the save is given, under the test folder
    QTest::addColumn<QString>("lands"); // where the bytes must land
    QTest::addColumn<QString>("link");  // the link standing at name, or "" for none
    QTest::addColumn<int>("mode");      // the old file's mode, or -1 for none
    QTest::newRow("link in the same folder") << "a/link.doc"
                                             << "a/shared.doc"
                                             << "shared.doc" << 0640;
    QTest::newRow("link to another folder") << "a/link.doc"
                                            << "b/shared.doc"
                                            << "../b/shared.doc" << 0600;
    QTest::newRow("dangling link") << "a/link.doc"
                                   << "b/new.doc"
                                   << "../b/new.doc" << -1;
    const QString longest = QStringLiteral("a/") + QString(251, QLatin1Char('n')) + QStringLiteral(".doc");
    QTest::newRow("255-byte name") << longest << longest << "" << 0600;
    QTest::newRow("0600 with an access list") << "a/private.doc"
                                              << "a/private.doc"
                                              << "" << 0600;
}

// The user's file gets the new bytes where it really is, and keeps what it had: its mode,
// its access list and other attributes; the link stays a link, and nothing else is left.
void tst_WorkingFiles::replaceKeepsUsersFile()
{
#ifndef Q_OS_UNIX
    QSKIP("modes, access lists kept as extended attributes and symbolic links are a POSIX system's");
#else
    QFETCH(QString, name);
    QFETCH(QString, lands);
    QFETCH(QString, link);
    QFETCH(int, mode);
    QTemporaryDir root;
    QVERIFY(QDir(root.path()).mkpath(QStringLiteral("a")) && QDir(root.path()).mkpath(QStringLiteral("b")));
    const QString at = root.filePath(name);
    const QString target = root.filePath(lands);
    // Read and write for the owner, read for user 65534, nothing for the group or others.
    const std::uint32_t acl[] = {2,          0x00060001, 0xFFFFFFFF, 0x00040002, 65534,     0x00000004,
                                 0xFFFFFFFF, 0x00040010, 0xFFFFFFFF, 0x00000020, 0xFFFFFFFF};
    const QByteArray native = QFile::encodeName(target);
    if (mode >= 0) {
        writePlain(target, "the old agreement");
        QCOMPARE(::chmod(native.constData(), mode_t(mode)), 0);
        if (::setxattr(native.constData(), "system.posix_acl_access", acl, sizeof acl, 0) != 0 ||
            ::setxattr(native.constData(), "user.origin", "typed", 5, 0) != 0)
            QSKIP("This file system keeps no access lists or extended attributes");
    }
    if (!link.isEmpty())
        QCOMPARE(::symlink(QFile::encodeName(link).constData(), QFile::encodeName(at).constData()), 0);
    struct stat before {
    };
    ::stat(native.constData(), &before);

    const QByteArray bytes("the new agreement");
    doc::fileio::replaceFile(filePath(at),
                             std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                       static_cast<std::size_t>(bytes.size())),
                             doc::fileio::Access::UsersFile);

    QCOMPARE(readAll(target), bytes);
    QCOMPARE(QFileInfo(at).isSymLink(), !link.isEmpty());
    struct stat after {
    };
    QCOMPARE(::stat(native.constData(), &after), 0);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    QCOMPARE(after.st_mode & 07777, mode >= 0 ? before.st_mode & 07777 : 0666 & ~mask);
    if (mode >= 0) {
        std::uint32_t kept[16] = {};
        QCOMPARE(::getxattr(native.constData(), "system.posix_acl_access", kept, sizeof kept),
                 ssize_t(sizeof acl));
        QVERIFY(std::equal(std::begin(acl), std::end(acl), kept));
        char origin[8] = {};
        QCOMPARE(::getxattr(native.constData(), "user.origin", origin, sizeof origin), ssize_t(5));
    }
    QStringList left;
    for (const char* folder : {"a", "b"})
        for (const QString& entry :
             QDir(root.filePath(QLatin1String(folder)))
                 .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
            left << QLatin1String(folder) + QLatin1Char('/') + entry;
    QStringList expected{name, lands};
    expected.removeDuplicates();
    left.sort();
    expected.sort();
    QCOMPARE(left, expected);
#endif
}

void tst_WorkingFiles::replaceRefusesWhatIsNotTheUsersFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("a FIFO") << "fifo";
    QTest::newRow("another user's link in a sticky shared folder") << "planted link";
}

// Only a regular file or a free name is written; a link someone else planted where anyone may
// write is not followed. What stands there stays as it was, and the refusal names it.
void tst_WorkingFiles::replaceRefusesWhatIsNotTheUsersFile()
{
    QFETCH(QString, kind);
    QTemporaryDir root;
    const QString target = root.filePath(QStringLiteral("agreement.doc"));
    const QString precious = root.filePath(QStringLiteral("precious.txt"));
    writePlain(precious, "precious");
    if (kind == QLatin1String("fifo")) {
        if (!TestSystem::makeFifo(target))
            QSKIP(TestSystem::kNoFifos);
    } else {
#ifdef Q_OS_UNIX
        QCOMPARE(::chmod(QFile::encodeName(root.path()).constData(), 01777), 0);
        QVERIFY(QFile::link(precious, target));
        if (::geteuid() != 0 || ::lchown(QFile::encodeName(target).constData(), 65534, 65534) != 0)
            QSKIP(TestSystem::kNoOtherOwner);
#else
        QSKIP(TestSystem::kNoLinks);
#endif
    }
    const QByteArray bytes("the agreement");
    try {
        doc::fileio::replaceFile(filePath(target),
                                 std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                           static_cast<std::size_t>(bytes.size())),
                                 doc::fileio::Access::UsersFile);
        QFAIL("written");
    } catch (const doc::Error& e) {
        QVERIFY2(QString::fromUtf8(e.what()).contains(target), e.what());
    }
    QCOMPARE(readAll(precious), QByteArray("precious"));
    QCOMPARE(QFileInfo(target).isSymLink(), kind != QLatin1String("fifo"));
    QCOMPARE(
        QDir(root.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
        QStringList({QStringLiteral("agreement.doc"), QStringLiteral("precious.txt")}));
}

// Any legal name can be published, a taken one is refused with what stands there kept, and
// nothing but the published file is left.
void tst_WorkingFiles::publishTakesOnlyAFreeName()
{
    QTemporaryDir dir;
    const QString name =
        dir.path() + QLatin1Char('/') + QString(251, QLatin1Char('n')) + QStringLiteral(".doc");
    const auto publish = [&](const QByteArray& bytes) {
        doc::fileio::publishFile(filePath(name),
                                 std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                           static_cast<std::size_t>(bytes.size())),
                                 doc::fileio::Access::UsersFile);
    };
    publish("the first agreement");
    QVERIFY_THROWS_EXCEPTION(doc::Error, publish("the second agreement"));
    QCOMPARE(readAll(name), QByteArray("the first agreement"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{QFileInfo(name).fileName()});
}

void tst_WorkingFiles::crashDuringReplaceLeavesNothing_data()
{
    QTest::addColumn<bool>("named");
    QTest::newRow("anonymous file") << false;
    QTest::newRow("named temporary") << true;
}

// A run killed half-way through writing leaves the old file as it was and, once the next
// run has looked at its notes, not a byte of the new one.
void tst_WorkingFiles::crashDuringReplaceLeavesNothing()
{
    if (!TestSystem::kCrashesStaged)
        QSKIP(TestSystem::kNoCrashes);
    QFETCH(bool, named);
    QTemporaryDir folder;
    QTemporaryDir notes;
    const QString target = folder.filePath(QStringLiteral("agreement.doc"));
    writePlain(target, "the old agreement");
    doc::fileio::keepTemporaryNotesIn(filePath(notes.path()));
    const auto forget = qScopeGuard([] { doc::fileio::keepTemporaryNotesIn({}); });
    QVERIFY(TestSystem::crashWhileSaving(filePath(target), named));
    QCOMPARE(doc::fileio::removeAbandonedTemporaries(filePath(notes.path()), std::chrono::seconds(0)),
             named ? 1 : 0);
    QCOMPARE(QDir(folder.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("agreement.doc")});
    QCOMPARE(readAll(target), QByteArray("the old agreement"));
    QCOMPARE(QDir(notes.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList());
}

// Only what a killed run left goes: an old working document that nobody holds.
void tst_WorkingFiles::staleWorkingDocumentsRemoved()
{
    QTemporaryDir folder;
    const QDateTime now = QDateTime::currentDateTime();
    const auto plant = [&](const QString& name, int ageDays) {
        const QString path = folder.filePath(name);
        writePlain(path, "names and prices");
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(now.addDays(-ageDays), QFileDevice::FileModificationTime));
    };
    plant(QStringLiteral("vellum11111111.doc"), 2);   // stale: goes
    plant(QStringLiteral("vellum22222222.doc"), 2);   // held by a running copy: stays
    plant(QStringLiteral("vellum33333333.doc"), 0);   // today's: stays
    plant(QStringLiteral("vellum0000000.doc"), 2);    // not a working document's name: stays
    plant(QStringLiteral("someone's letter.doc"), 2); // stays
    QVERIFY(QFile::link(folder.filePath(QStringLiteral("someone's letter.doc")),
                        folder.filePath(QStringLiteral("vellum44444444.doc"))));
    const WorkingFileLock held(folder.filePath(QStringLiteral("vellum22222222.doc")));
    QVERIFY(held.held());

    QCOMPARE(removeStaleWorkingDocuments(folder.path(), now.addDays(-1), 0), 0);
    QCOMPARE(removeStaleWorkingDocuments(folder.path(), now.addDays(-1)), 1);
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::System, QDir::Name),
             QStringList({QStringLiteral("someone's letter.doc"), QStringLiteral("vellum0000000.doc"),
                          QStringLiteral("vellum22222222.doc"), QStringLiteral("vellum33333333.doc"),
                          QStringLiteral("vellum44444444.doc")}));
}

void tst_WorkingFiles::readRefusesWhatItShouldNotRead_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    QTest::newRow("too big") << "big"
                             << "at most";
    QTest::newRow("fifo") << "fifo"
                          << "not a regular file";
    QTest::newRow("symbolic link") << "link"
                                   << "symbolic link";
}

// Refused before a byte is read, and without waiting for a writer that never comes.
void tst_WorkingFiles::readRefusesWhatItShouldNotRead()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    const QString big = mDir.filePath(QStringLiteral("big.doc"));
    QFile file(big);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(17 << 20));
    file.close();
    QString path = big;
    if (kind == QLatin1String("fifo")) {
        path = mDir.filePath(QStringLiteral("fifo.doc"));
        if (!QFileInfo::exists(path) && !TestSystem::makeFifo(path))
            QSKIP(TestSystem::kNoFifos);
    } else if (kind == QLatin1String("link")) {
#ifdef Q_OS_WIN
        QSKIP("QFile::link makes a shortcut on Windows, an ordinary file");
#endif
        path = mDir.filePath(QStringLiteral("link.doc"));
        QVERIFY(QFileInfo(path).isSymLink() || QFile::link(big, path));
    }
    try {
        doc::fileio::readFile(filePath(path), 16 << 20, doc::fileio::Links::Refuse);
        QFAIL(qPrintable(path + QStringLiteral(" was read")));
    } catch (const std::runtime_error& e) {
        const QString text = QString::fromUtf8(e.what());
        QVERIFY2(text.contains(path) && text.contains(reason), qPrintable(text));
    }
}

QTEST_GUILESS_MAIN(tst_WorkingFiles)
#include "tst_workingfiles.moc"
