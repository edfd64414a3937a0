#pragma once

#include "doc/fileio.h"

#include <QFile>
#include <QString>
#include <QtGlobal>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <sys/mount.h>
#endif
#ifdef Q_OS_WIN
#include <windows.h>
#endif

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

// What the tests set up that only some systems offer. Each helper says whether it could; a
// test skips with the reason beside it when it could not.
namespace TestSystem
{

// The system's words, as the engine reports them, for a file that is not there, a folder that
// is not there, and a file where the path needs a folder: POSIX's errno texts, Windows' own.
#ifdef Q_OS_WIN
inline QString reasonNoSuchFile()
{
    return QString::fromStdString(doc::fileio::windowsReason(ERROR_FILE_NOT_FOUND));
}
inline QString reasonNoSuchFolder()
{
    return QString::fromStdString(doc::fileio::windowsReason(ERROR_PATH_NOT_FOUND));
}
inline QString reasonNotAFolder()
{
    return reasonNoSuchFolder();
}
#else
inline QString reasonNoSuchFile()
{
    return QString::fromLocal8Bit(std::strerror(ENOENT));
}
inline QString reasonNoSuchFolder()
{
    return reasonNoSuchFile();
}
inline QString reasonNotAFolder()
{
    return QString::fromLocal8Bit(std::strerror(ENOTDIR));
}
#endif

// Taking the write permission from a folder stops this process writing into it.
inline constexpr char kNoLockedFolders[] =
    "a folder without write permission stops neither root nor anyone on Windows, where it is only marked "
    "read-only";
inline bool lockedFoldersStopWrites()
{
#ifdef Q_OS_UNIX
    return ::geteuid() != 0;
#else
    return false;
#endif
}

// QFile::permissions shows a file kept from other users: on Windows the file's access list keeps
// it private, which the permission bits do not show.
#ifdef Q_OS_UNIX
inline constexpr bool kPrivacyInPermissions = true;
#else
inline constexpr bool kPrivacyInPermissions = false;
#endif

inline constexpr char kNoLinks[] =
    "a symbolic link needs a privilege on Windows, where QFile::link makes a shortcut";
// A symbolic link at link to target, dangling or not.
inline bool makeLink(const QString& target, const QString& link)
{
#ifdef Q_OS_UNIX
    return QFile::link(target, link);
#else
    Q_UNUSED(target);
    Q_UNUSED(link);
    return false;
#endif
}

// A second name for file, as POSIX's link() and Windows' CreateHardLinkW make it.
inline bool makeHardLink(const QString& file, const QString& link)
{
#ifdef Q_OS_WIN
    return CreateHardLinkW(reinterpret_cast<const wchar_t*>(link.utf16()),
                           reinterpret_cast<const wchar_t*>(file.utf16()), nullptr);
#else
    return ::link(QFile::encodeName(file).constData(), QFile::encodeName(link).constData()) == 0;
#endif
}

// Puts from at to's name, in place of the file there, as POSIX's rename() does.
inline bool renameOver(const QString& from, const QString& to)
{
#ifdef Q_OS_WIN
    return MoveFileExW(reinterpret_cast<const wchar_t*>(from.utf16()),
                       reinterpret_cast<const wchar_t*>(to.utf16()), MOVEFILE_REPLACE_EXISTING);
#else
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
#endif
}

inline constexpr char kNoFifos[] = "Windows has no FIFOs";
inline bool makeFifo(const QString& path)
{
#ifdef Q_OS_UNIX
    return ::mkfifo(QFile::encodeName(path).constData(), 0666) == 0;
#else
    Q_UNUSED(path);
    return false;
#endif
}

inline constexpr char kNoOtherOwner[] = "giving a file to another user needs root on a POSIX system";
inline bool giveToAnotherUser(const QString& path)
{
#ifdef Q_OS_UNIX
    constexpr uid_t kNobody = 65534;
    return ::geteuid() == 0 && ::chown(QFile::encodeName(path).constData(), kNobody, kNobody) == 0;
#else
    Q_UNUSED(path);
    return false;
#endif
}

inline constexpr char kNoCrashes[] =
    "the crash is staged with fork() and a file size limit, which Windows has not";
#ifdef Q_OS_UNIX
inline constexpr bool kCrashesStaged = true;
#else
inline constexpr bool kCrashesStaged = false;
#endif
// Saves a megabyte at target in a child process that dies half-way, as a crash would: past
// a file size limit, before the new file takes the name. `named` takes the route of file
// systems without anonymous files. True when the child died so.
inline bool crashWhileSaving(const std::filesystem::path& target, bool named)
{
#ifdef Q_OS_UNIX
    const pid_t child = ::fork();
    if (child == 0) {
        const rlimit none{0, 0};
        const rlimit small{4096, 4096};
        ::setrlimit(RLIMIT_CORE, &none);
        ::setrlimit(RLIMIT_FSIZE, &small);
        const std::vector<std::uint8_t> bytes(1 << 20, 'x');
        (named ? doc::fileio::replaceFileThroughNamedTemporary : doc::fileio::replaceFile)(
            target, bytes, doc::fileio::Access::UsersFile, doc::fileio::Flush::ToDisk);
        ::_exit(0);
    }
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFSIGNALED(status) &&
           WTERMSIG(status) == SIGXFSZ;
#else
    (void)target;
    (void)named;
    return false;
#endif
}

inline constexpr char kNoSmallFileSystem[] = "mounting a small file system needs root on Linux";
// A tmpfs of this many kilobytes at folder, for a full disk.
inline bool mountSmallFileSystem(const QString& folder, int kilobytes)
{
#ifdef Q_OS_LINUX
    const QByteArray options = "size=" + QByteArray::number(kilobytes) + 'k';
    return ::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, options.constData()) == 0;
#else
    Q_UNUSED(folder);
    Q_UNUSED(kilobytes);
    return false;
#endif
}
inline void unmount(const QString& folder)
{
#ifdef Q_OS_LINUX
    ::umount(QFile::encodeName(folder).constData());
#else
    Q_UNUSED(folder);
#endif
}

} // namespace TestSystem
