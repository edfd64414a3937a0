#include "shell/workingfiles.h"

#include "doc/fileio.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace
{

[[noreturn]] void fail(const QString& reason, const QString& path)
{
    throw std::runtime_error((reason + QStringLiteral(": ") + QDir::toNativeSeparators(path)).toStdString());
}

QString systemError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

#ifdef Q_OS_UNIX
// The folder must be a real directory (not a link to one), ours, and closed to others;
// otherwise another user could read or plant our working files.
QString privateFolder(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    if (::mkdir(native.constData(), S_IRWXU) != 0 && errno != EEXIST)
        fail(systemError(errno), path);
    struct stat info {
    };
    if (::lstat(native.constData(), &info) != 0)
        fail(systemError(errno), path);
    if (!S_ISDIR(info.st_mode))
        fail(QStringLiteral("Not a private directory"), path);
    if (info.st_uid != ::geteuid())
        fail(QStringLiteral("Directory belongs to another user"), path);
    if ((info.st_mode & (S_IRWXG | S_IRWXO)) != 0 && ::chmod(native.constData(), S_IRWXU) != 0)
        fail(systemError(errno), path);
    return path;
}
#else
QString privateFolder(const QString& path)
{
    if (!QDir().mkpath(path))
        fail(QStringLiteral("Cannot create folder"), path);
    return path;
}
#endif

QString userFolderName()
{
#ifdef Q_OS_UNIX
    return QStringLiteral("brindlewick-%1").arg(::geteuid());
#else
    return QStringLiteral("brindlewick");
#endif
}

} // namespace

QString temporaryFolder()
{
    const QString temp = qEnvironmentVariable("TEMP");
    if (!temp.isEmpty())
        return temp;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty())
        return privateFolder(runtime + QStringLiteral("/brindlewick"));
    return privateFolder(QDir::tempPath() + QLatin1Char('/') + userFolderName());
}

QString workingPath(const QString& fileName)
{
    return temporaryFolder() + QDir::separator() + fileName;
}

bool FileExists(const QString& path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    return info.exists() && info.lastModified().isValid();
}

void DeleteFileQuietly(const QString& path)
{
    try {
        QCoreApplication::processEvents();
        if (path.isEmpty() || QFile::remove(path))
            return;
        // The forced delete: take away the read-only mark, then try again. Only a plain
        // file: a link's permissions are its target's, and a folder is not ours to unlock.
        // What still cannot go keeps the permissions it had.
        const QFileInfo info(path);
        if (!info.isFile() || info.isSymLink())
            return;
        // The "User" flags say what we may do, not what is stored; setting them back would
        // grant the owner whatever we happen to be allowed.
        constexpr QFileDevice::Permissions kStored =
            QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
            QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup |
            QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
        const QFileDevice::Permissions before = info.permissions() & kStored;
        QFile::setPermissions(path, before | QFileDevice::WriteOwner);
        if (!QFile::remove(path))
            QFile::setPermissions(path, before);
    } catch (...) {
    }
}

std::filesystem::path filePath(const QString& path)
{
    return std::filesystem::path(path.toStdU16String());
}

void WriteBytesToFile(const QByteArray& bytes, const QString& path)
{
    doc::fileio::createFile(filePath(path),
                            std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                      static_cast<std::size_t>(bytes.size())),
                            doc::fileio::Access::OwnerOnly, doc::fileio::Flush::Skip);
}

bool WorkingDocumentName::matches(const QString& fileName)
{
    static const QRegularExpression pattern(QStringLiteral("^%1[1-9]{%2}%3$")
                                                .arg(QLatin1String(kPrefix))
                                                .arg(kDigits)
                                                .arg(QRegularExpression::escape(QLatin1String(kSuffix))));
    return pattern.match(fileName).hasMatch();
}

#ifdef _WIN32

namespace
{

HANDLE openShared(const QString& path)
{
    return ::CreateFileW(reinterpret_cast<const wchar_t*>(path.utf16()), GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

bool lockRange(HANDLE handle, DWORD flags)
{
    OVERLAPPED at{};
    return ::LockFileEx(handle, flags, 0, 1, 0, &at);
}

} // namespace

WorkingFileLock::WorkingFileLock(const QString& path)
{
    HANDLE handle = openShared(path);
    if (handle != INVALID_HANDLE_VALUE && !lockRange(handle, LOCKFILE_FAIL_IMMEDIATELY)) {
        ::CloseHandle(handle);
        handle = INVALID_HANDLE_VALUE;
    }
    mHandle = handle == INVALID_HANDLE_VALUE ? kNone : handle;
}

void WorkingFileLock::release()
{
    if (mHandle != kNone)
        ::CloseHandle(mHandle);
    mHandle = kNone;
}

int removeStaleWorkingDocuments(const QString& folder, const QDateTime& before)
{
    int removed = 0;
    for (const QFileInfo& entry : QDir(folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (!WorkingDocumentName::matches(entry.fileName()) || entry.isSymLink() ||
            entry.lastModified() >= before)
            continue;
        const QString path = entry.absoluteFilePath();
        HANDLE handle = openShared(path);
        if (handle == INVALID_HANDLE_VALUE)
            continue;
        const bool unused = lockRange(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY);
        ::CloseHandle(handle);
        if (unused && ::DeleteFileW(reinterpret_cast<const wchar_t*>(path.utf16())))
            ++removed;
    }
    return removed;
}

#else

WorkingFileLock::WorkingFileLock(const QString& path)
{
    mHandle = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (mHandle != kNone && ::flock(mHandle, LOCK_SH | LOCK_NB) != 0)
        release();
}

void WorkingFileLock::release()
{
    if (mHandle != kNone)
        ::close(mHandle);
    mHandle = kNone;
}

int removeStaleWorkingDocuments(const QString& folder, const QDateTime& before)
{
    int removed = 0;
    const QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        if (!WorkingDocumentName::matches(name))
            continue;
        const QByteArray path = QFile::encodeName(QDir(folder).filePath(name));
        const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat info {
        };
        // The exclusive lock is granted only while no running copy holds its shared one.
        if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid() &&
            info.st_mtime < before.toSecsSinceEpoch() && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            ::unlink(path.constData()) == 0)
            ++removed;
        ::close(fd);
    }
    return removed;
}

#endif

WorkingFileLock::WorkingFileLock(WorkingFileLock&& other) noexcept
    : mHandle(std::exchange(other.mHandle, kNone))
{
}

WorkingFileLock& WorkingFileLock::operator=(WorkingFileLock&& other) noexcept
{
    if (this != &other) {
        release();
        mHandle = std::exchange(other.mHandle, kNone);
    }
    return *this;
}

bool WorkingFileLock::held() const
{
    return mHandle != kNone;
}

WorkingFileLock::~WorkingFileLock()
{
    release();
}
