#include "workingfiles.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#ifdef Q_OS_UNIX
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

void WriteBytesToFile(const QByteArray& bytes, const QString& path)
{
    QFile file(path);
    // NewOnly is O_CREAT | O_EXCL, which also refuses a symbolic link at the name.
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        fail(file.errorString(), path);
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        const QString reason = file.errorString();
        file.close();
        QFile::remove(path);
        fail(reason, path);
    }
    file.close();
}

void ReplaceFileAtomically(const QByteArray& bytes, const QString& path)
{
    // QSaveFile would resolve a link at path and write its target, so the temporary
    // file and the rename are done here.
    const QFileInfo target(path);
    QTemporaryFile file(target.absolutePath() + QLatin1Char('/') + target.fileName() +
                        QStringLiteral(".XXXXXX"));
    if (!file.open())
        fail(file.errorString(), path);
    if (file.write(bytes) != bytes.size() || !file.flush())
        fail(file.errorString(), path);
    file.close();
    const QByteArray from = QFile::encodeName(file.fileName());
    const QByteArray to = QFile::encodeName(target.absoluteFilePath());
    // std::rename replaces the name itself, a link included, in one step.
    if (std::rename(from.constData(), to.constData()) != 0)
        fail(systemError(errno), path);
    file.setAutoRemove(false);
}
