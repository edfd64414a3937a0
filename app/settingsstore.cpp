#include "app/settingsstore.h"
#include "product/product.h"

#include "app/apptitle.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringList>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace
{

#ifdef Q_OS_WIN
constexpr char kRegistryRoot[] = "HKEY_CURRENT_USER\\";

// The user's store, under kRegistryRoot. Qt's test mode moves the INI files out of the
// user's way but leaves the registry alone: tests get a key of their own.
QString registryKey()
{
    QString key = QStringLiteral("Software\\");
    if (QStandardPaths::isTestModeEnabled())
        key += QStringLiteral("qttest\\");
    return key + QLatin1String(Product::kOrganization) + QLatin1Char('\\') + QLatin1String(Product::kName);
}

// The system's reason why the key cannot be opened for writing, when it cannot.
QString registryFailure()
{
    HKEY key = nullptr;
    const LONG result =
        RegCreateKeyExW(HKEY_CURRENT_USER, reinterpret_cast<const wchar_t*>(registryKey().utf16()), 0,
                        nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
    if (result != ERROR_SUCCESS)
        return qt_error_string(static_cast<int>(result));
    RegCloseKey(key);
    return QStringLiteral("the registry key could not be written");
}

std::unique_ptr<QSettings> userSettings()
{
    return std::make_unique<QSettings>(QLatin1String(kRegistryRoot) + registryKey(), QSettings::NativeFormat);
}

// The registry: no file.
QString userFile()
{
    return QString();
}
#else
std::unique_ptr<QSettings> userSettings()
{
    return std::make_unique<QSettings>(QLatin1String(Product::kOrganization), QLatin1String(Product::kName));
}

// Where userSettings() keeps its file: its size is looked at before QSettings reads it whole.
QString userFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QLatin1Char('/') +
           QLatin1String(Product::kOrganization) + QLatin1Char('/') + QLatin1String(Product::kName) +
           QStringLiteral(".conf");
}

// The folder and those missing above it, as the XDG base directories want them made.
bool makeFolder(const QByteArray& folder)
{
    if (::mkdir(folder.constData(), 0700) == 0 || errno == EEXIST)
        return true;
    const qsizetype slash = folder.lastIndexOf('/');
    if (errno != ENOENT || slash <= 0)
        return false;
    return makeFolder(folder.left(slash)) && (::mkdir(folder.constData(), 0700) == 0 || errno == EEXIST);
}

// Takes group's and others' access away from what the user owns.
void withdrawOthers(const QByteArray& path)
{
    struct stat info {
    };
    if (::stat(path.constData(), &info) == 0 && info.st_uid == ::geteuid() && (info.st_mode & 077) != 0)
        ::chmod(path.constData(), info.st_mode & 07700);
}
#endif

bool fits(const QString& file)
{
    return file.isEmpty() || QFileInfo(file).size() <= SettingsStore::kMaxFileBytes;
}

} // namespace

SettingsStore::SettingsStore() : mFile(userFile()), mUsers(true)
{
    if (!fits(mFile))
        return;
    keepPrivate(false);
    mSettings = openSettings();
}

SettingsStore::SettingsStore(const QString& iniFile) : mFile(QFileInfo(iniFile).absoluteFilePath())
{
    if (!fits(mFile))
        return;
    keepPrivate(false);
    mSettings = openSettings();
}

std::unique_ptr<QSettings> SettingsStore::openSettings() const
{
    return mUsers ? userSettings() : std::make_unique<QSettings>(mFile, QSettings::IniFormat);
}

// QSettings makes a new file as the umask allows, readable by everyone under the usual one, and
// keeps the mode of one that exists: the file is made first, for the user alone.
void SettingsStore::keepPrivate(bool create) const
{
#ifdef Q_OS_WIN
    // The registry key and the profile's files are the user's already.
    Q_UNUSED(create);
#else
    const QByteArray file = QFile::encodeName(mFile);
    const QByteArray folder = QFile::encodeName(QFileInfo(mFile).absolutePath());
    if (create && makeFolder(folder)) {
        const int fd = ::open(file.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0)
            ::close(fd);
    }
    if (mUsers)
        withdrawOthers(folder);
    withdrawOthers(file);
#endif
}

QString SettingsStore::read(const char* key, const QString& fallback) const
{
    if (!mSettings)
        return fallback;
    const QVariant value = mSettings->value(QLatin1String(key));
    if (!value.isValid())
        return fallback;
    // A hand-edited INI line with unquoted commas reads as a list; it was one text.
    if (value.userType() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", "));
    return value.toString();
}

bool SettingsStore::write(const char* key, const QString& value)
{
    return write({{key, value}});
}

bool SettingsStore::write(const std::vector<Entry>& entries)
{
    if (!mSettings)
        return false;
    // Every write rewrites and flushes the whole file, and start-up hands each restored value
    // straight back: a value the file already holds is not written again. The sync first
    // picks up what another running copy wrote (a stat when nothing changed), so the
    // comparison is with the file, not with a stale cache.
    bool changed = false;
    if (mSettings->status() != QSettings::AccessError) {
        mSettings->sync();
    } else {
        // QSettings keeps its first failure for good, though the file may take writes again (a
        // folder back in place, room on the disk): a fresh one takes over, with what the failed
        // one holds unwritten.
        std::unique_ptr<QSettings> fresh = openSettings();
        for (const QString& key : mSettings->allKeys()) {
            if (fresh->value(key) != mSettings->value(key))
                fresh->setValue(key, mSettings->value(key));
        }
        mSettings = std::move(fresh);
        changed = true;
    }
    for (const Entry& entry : entries) {
        const QVariant stored = mSettings->value(QLatin1String(entry.key));
        if (stored.userType() == QMetaType::QString && stored.toString() == entry.value)
            continue;
        mSettings->setValue(QLatin1String(entry.key), entry.value);
        changed = true;
    }
    if (changed) {
        keepPrivate(true);
        mSettings->sync();
    }
    return mSettings->status() != QSettings::AccessError;
}

QString SettingsStore::location() const
{
#ifdef Q_OS_WIN
    if (mFile.isEmpty())
        return QLatin1String(kRegistryRoot) + registryKey();
#endif
    return QDir::toNativeSeparators(mFile);
}

QString SettingsStore::writeFailure() const
{
#ifdef Q_OS_WIN
    if (mFile.isEmpty())
        return location() + QStringLiteral(": ") + registryFailure();
#endif
    if (!mSettings) {
        const auto size = [](qint64 bytes) {
            return QLocale().formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
        };
        return location() +
               QStringLiteral(
                   ": the file is %1, more than the %2 the particulars can take up, so it was not read "
                   "and is left as it is. Move it away to have the particulars remembered again.")
                   .arg(size(QFileInfo(mFile).size()), size(kMaxFileBytes));
    }
    // QSettings only says that it failed; the reason comes from writing as it writes: a
    // new file beside the old one, renamed into place.
    const QString& path = mFile;
    QString reason;
    QFile existing(path);
    if (existing.exists() && !existing.open(QIODevice::ReadWrite)) {
        reason = existing.errorString();
    } else {
        QSaveFile probe(path);
        const QByteArray filler(qMax<qint64>(existing.size(), 4096), '\n');
        if (!probe.open(QIODevice::WriteOnly) || probe.write(filler) != filler.size() || !probe.flush())
            reason = probe.errorString();
        probe.cancelWriting();
    }
    if (reason.isEmpty())
        reason = QStringLiteral("the file could not be written");
    return location() + QStringLiteral(": ") + reason;
}
