#include "app/settingsstore.h"
#include "shell/product.h"

#include "app/apptitle.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStringList>

#ifdef Q_OS_WIN
#include <QStandardPaths>

#include <windows.h>
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
#else
std::unique_ptr<QSettings> userSettings()
{
    return std::make_unique<QSettings>(QLatin1String(Product::kOrganization), QLatin1String(Product::kName));
}
#endif

} // namespace

SettingsStore::SettingsStore() : mSettings(userSettings()) {}

SettingsStore::SettingsStore(const QString& iniFile)
    : mSettings(std::make_unique<QSettings>(iniFile, QSettings::IniFormat))
{
}

QString SettingsStore::read(const char* key, const QString& fallback) const
{
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
    // Every write rewrites and flushes the whole file, and start-up hands each restored value
    // straight back: a value the file already holds is not written again. The sync first
    // picks up what another running copy wrote (a stat when nothing changed), so the
    // comparison is with the file, not with a stale cache.
    mSettings->sync();
    bool changed = false;
    for (const Entry& entry : entries) {
        const QVariant stored = mSettings->value(QLatin1String(entry.key));
        if (stored.userType() == QMetaType::QString && stored.toString() == entry.value)
            continue;
        mSettings->setValue(QLatin1String(entry.key), entry.value);
        changed = true;
    }
    if (changed)
        mSettings->sync();
    return mSettings->status() != QSettings::AccessError;
}

QString SettingsStore::location() const
{
#ifdef Q_OS_WIN
    if (mSettings->format() == QSettings::NativeFormat)
        return QLatin1String(kRegistryRoot) + registryKey();
#endif
    return QDir::toNativeSeparators(mSettings->fileName());
}

QString SettingsStore::writeFailure() const
{
#ifdef Q_OS_WIN
    if (mSettings->format() == QSettings::NativeFormat)
        return location() + QStringLiteral(": ") + registryFailure();
#endif
    // QSettings only says that it failed; the reason comes from writing as it writes: a
    // new file beside the old one, renamed into place.
    const QString path = mSettings->fileName();
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
