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
    mSettings->setValue(QLatin1String(key), value);
    mSettings->sync();
}
