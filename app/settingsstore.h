#pragma once

#include "agreement/particulars.h"

#include <QSettings>
#include <QString>

#include <memory>
#include <vector>

// The settings keys beside the seven particulars' own (agreement/particulars.h).
namespace SettingsKey
{
// The price's amount beside its shown text: a plain decimal ("1234.50"), which reads back as the same amount
// under every locale.
inline constexpr char txtContractPriceAmount[] = "txtContractPriceAmount";
} // namespace SettingsKey

// The per-user store of the particulars: string values under application "Quillmark",
// section "Brindlewick Paperwork Studio", in an INI file on Linux and in the registry
// (HKEY_CURRENT_USER\Software\Quillmark\Brindlewick Paperwork Studio) on Windows. In
// QStandardPaths' test mode the user's store is a test store, on Windows too. Every write
// reaches the disk before it returns, so a killed process loses nothing; writing the value a
// key already holds leaves the file as it is; nothing is ever removed. On POSIX systems the
// file is the user's alone (0600), and so is the folder it is made in (0700).
class SettingsStore
{
public:
    // Seven particulars of 100,000 characters each fit with room to spare; every change rewrites
    // the whole file, which takes about 30 ms a megabyte. A larger file is set aside for the run:
    // neither read nor written, every key reads as absent and every write fails.
    static constexpr qint64 kMaxFileBytes = qint64{4} << 20;

    // The user's own store.
    SettingsStore();
    // A store in one INI file (tests, or a portable copy).
    explicit SettingsStore(const QString& iniFile);

    // The stored text, or fallback when the key is absent.
    QString read(const char* key, const QString& fallback = QString()) const;
    struct Entry {
        const char* key;
        QString value;
    };
    // False when the value could not be written to the file (it is kept for this run).
    bool write(const char* key, const QString& value);
    // Several values with one rewrite of the file, so that they reach it together.
    bool write(const std::vector<Entry>& entries);
    // Why the store cannot be written: its file or registry key and the system's reason, or
    // that the file was set aside.
    QString writeFailure() const;
    // The store's file or registry key, as the system writes it; QSettings opens it in its
    // native format.
    QString location() const;

private:
    // The INI file; empty for the registry.
    QString mFile;
    // The user's own store, whose folder is its own too, not one it was merely put in.
    bool mUsers = false;
    // None while the file is set aside.
    std::unique_ptr<QSettings> mSettings;

    std::unique_ptr<QSettings> openSettings() const;
    // Leaves the file and its folder to the user alone; create makes them when missing.
    void keepPrivate(bool create) const;
};
