#include "shell/workingfiles.h"

#include "doc/fileio.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <tuple>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

QString temporaryFolder()
{
    const std::filesystem::path folder = doc::fileio::workingFolder();
#ifdef _WIN32
    return QString::fromStdWString(folder.native());
#else
    return QFile::decodeName(folder.native().c_str());
#endif
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
    static const QRegularExpression pattern = [] {
        QStringList suffixes;
        for (const char* suffix : kSuffixes)
            suffixes << QRegularExpression::escape(QLatin1String(suffix));
        return QRegularExpression(QStringLiteral("^%1[1-9]{%2}(%3)$")
                                      .arg(QLatin1String(kPrefix))
                                      .arg(kDigits)
                                      .arg(suffixes.join(QLatin1Char('|'))));
    }();
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

WorkingFileLock::WorkingFileLock(const QString& path) : mPath(path)
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

namespace
{

std::optional<std::tuple<DWORD, DWORD, DWORD>> identityOf(HANDLE handle)
{
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(handle, &info))
        return std::nullopt;
    return std::tuple(info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow);
}

std::optional<std::tuple<DWORD, DWORD, DWORD>> identityAt(const QString& path)
{
    if (path.isEmpty())
        return std::nullopt;
    HANDLE handle = ::CreateFileW(reinterpret_cast<const wchar_t*>(path.utf16()), 0,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return std::nullopt;
    const auto identity = identityOf(handle);
    ::CloseHandle(handle);
    return identity;
}

} // namespace

int removeStaleWorkingDocuments(const QString& folder, const QDateTime& before, int maxNames)
{
    int removed = 0;
    int looked = 0;
    QDirIterator listing(folder, QDir::Files | QDir::Hidden | QDir::System);
    while (listing.hasNext()) {
        const QString path = listing.next();
        const QFileInfo entry = listing.fileInfo();
        if (!WorkingDocumentName::matches(entry.fileName()))
            continue;
        if (++looked > maxNames)
            break;
        if (entry.isSymLink() || entry.lastModified() >= before)
            continue;
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

WorkingFileLock::WorkingFileLock(const QString& path) : mPath(path)
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

namespace
{

// The file's identity, links followed; nullopt when nothing is there.
std::optional<std::pair<dev_t, ino_t>> identityAt(const QString& path)
{
    struct stat info {
    };
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    return std::pair(info.st_dev, info.st_ino);
}

std::optional<std::pair<dev_t, ino_t>> identityOf(int fd)
{
    struct stat info {
    };
    if (::fstat(fd, &info) != 0)
        return std::nullopt;
    return std::pair(info.st_dev, info.st_ino);
}

} // namespace

int removeStaleWorkingDocuments(const QString& folder, const QDateTime& before, int maxNames)
{
    int removed = 0;
    DIR* listing = ::opendir(QFile::encodeName(folder).constData());
    if (!listing)
        return 0;
    const int folderFd = ::dirfd(listing);
    int looked = 0;
    // Listed as the folder holds them, unsorted: only the names are read until one matches.
    while (const dirent* entry = ::readdir(listing)) {
        if (!WorkingDocumentName::matches(QFile::decodeName(entry->d_name)))
            continue;
        if (++looked > maxNames)
            break;
        struct stat info {
        };
        // Another user's files are passed over on their owner alone, without being opened.
        if (::fstatat(folderFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode) ||
            info.st_uid != ::geteuid() || info.st_mtime >= before.toSecsSinceEpoch())
            continue;
        const int fd = ::openat(folderFd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        // The exclusive lock is granted only while no running copy holds its shared one.
        if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid() &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::unlinkat(folderFd, entry->d_name, 0) == 0)
            ++removed;
        ::close(fd);
    }
    ::closedir(listing);
    return removed;
}

#endif

bool WorkingFileLock::isAt(const QString& path) const
{
    if (mHandle == kNone)
        return false;
    const auto there = identityAt(path);
    return there && there == identityOf(mHandle);
}

bool WorkingFileLock::replacedAt(const QString& path) const
{
    if (mHandle == kNone)
        return false;
    const auto there = identityAt(path);
    return there && there != identityOf(mHandle);
}

WorkingFileLock::WorkingFileLock(WorkingFileLock&& other) noexcept
    : mHandle(std::exchange(other.mHandle, kNone)), mPath(std::move(other.mPath))
{
}

WorkingFileLock& WorkingFileLock::operator=(WorkingFileLock&& other) noexcept
{
    if (this != &other) {
        release();
        mHandle = std::exchange(other.mHandle, kNone);
        mPath = std::move(other.mPath);
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

void prepareWorkingFolder()
{
    try {
        doc::fileio::takeChargeOfTemporaries();
        removeStaleWorkingDocuments(temporaryFolder(), QDateTime::currentDateTime().addDays(-1));
    } catch (const std::exception&) {
    }
}
