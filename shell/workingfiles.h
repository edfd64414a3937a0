#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <cstdint>
#include <filesystem>
#include <vector>

// The working files live in one temporary folder; these helpers create, test and remove
// them. Nothing here shows a message: failures are thrown (std::runtime_error with a
// readable description) or, where the callers want silence, swallowed.

// The working folder, doc::fileio::workingFolder(): the folder named by "TEMP", else a private
// folder of the user's own. Throws when no safe folder can be made.
QString temporaryFolder();

// fileName inside temporaryFolder(), joined with the native separator.
QString workingPath(const QString& fileName);

// True when the file's last-modified time can be read; false on any failure.
bool FileExists(const QString& path);

// Lets pending events run once, then deletes the file, forcing a read-only one.
// Never throws and never reports: a file that cannot go is left where it is.
void DeleteFileQuietly(const QString& path);

// A path as the engine takes it, every character kept.
std::filesystem::path filePath(const QString& path);

// Creates path exclusively with owner-only permissions and writes bytes into it. Refuses
// anything already at the name, a planted symbolic link included, so a working file is
// never written through a link. A file left half-written by a failure is removed again.
void WriteBytesToFile(const QByteArray& bytes, const QString& path);

// The working document's name: "vellum", eight digits from 1 to 9, and the extension of its format,
// ".doc" or ".docx" (an agreement from an own .docx template).
namespace WorkingDocumentName
{
inline constexpr char kPrefix[] = "vellum";
inline constexpr int kDigits = 8;
inline constexpr const char* kSuffixes[] = {".doc", ".docx"};
bool matches(const QString& fileName);
} // namespace WorkingDocumentName

// Marks a working document as in use by this run for as long as the object lives, so
// that another copy's clean-up leaves it alone.
class WorkingFileLock
{
public:
    WorkingFileLock() = default;
    // Holds path; an empty lock when the file cannot be opened.
    explicit WorkingFileLock(const QString& path);
    WorkingFileLock(WorkingFileLock&& other) noexcept;
    WorkingFileLock& operator=(WorkingFileLock&& other) noexcept;
    WorkingFileLock(const WorkingFileLock&) = delete;
    WorkingFileLock& operator=(const WorkingFileLock&) = delete;
    ~WorkingFileLock();

    bool held() const;
    // True when the file held is what path names now, links followed.
    bool isAt(const QString& path) const;
    // True when a file is held and path now names another one: someone has put a file of
    // their own in its place.
    bool replacedAt(const QString& path) const;

private:
    void release();
#ifdef _WIN32
    using Handle = void*;
    static constexpr Handle kNone = nullptr;
#else
    using Handle = int;
    static constexpr Handle kNone = -1;
#endif
    Handle mHandle = kNone;
    QString mPath;
};

// Removes from folder the working documents (WorkingDocumentName) of this
// user last changed before `before` that no running copy holds: what a killed run left.
// Looks at no more than maxNames working documents' names, so that a shared folder full of
// other users' files cannot hold up the start. Returns how many went. Never throws.
int removeStaleWorkingDocuments(const QString& folder, const QDateTime& before, int maxNames = 1000);

// Once a run, when the main window is up: notes of half-written saves are kept in the
// temporary folder from now on, and what earlier runs left there goes (working documents a
// day old, and, as doc::fileio::takeChargeOfTemporaries says, the temporaries of saves cut
// short). What is left holds names and prices. Never throws.
void prepareWorkingFolder();
