#include "settingsstore.h"

#include "apptitle.h"

#include <QStringList>

SettingsStore::SettingsStore()
    : mSettings(std::make_unique<QSettings>(QStringLiteral("Quillmark"), QLatin1String(kProductName)))
{
}

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

void SettingsStore::write(const char* key, const QString& value)
{
    // Every write rewrites and flushes the whole file, and start-up hands each restored value
    // straight back: a value the file already holds is not written again. The sync first
    // picks up what another running copy wrote (a stat when nothing changed), so the
    // comparison is with the file, not with a stale cache.
    mSettings->sync();
    const QVariant stored = mSettings->value(QLatin1String(key));
    if (stored.userType() == QMetaType::QString && stored.toString() == value)
        return;
    mSettings->setValue(QLatin1String(key), value);
    mSettings->sync();
}
