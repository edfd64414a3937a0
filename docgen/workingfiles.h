#pragma once

#include <QByteArray>
#include <QString>

// The working files live in one temporary folder; these helpers create, test and remove
// them. Nothing here shows a message: failures are thrown (std::runtime_error with a
// readable description) or, where the callers want silence, swallowed.

// The folder named by "TEMP"; when that is unset or empty, a private folder of the user's
// own (owner-only permissions, checked to be a real directory owned by us), never the
// file system root. Throws when no safe folder can be made.
QString temporaryFolder();

// fileName inside temporaryFolder(), joined with the native separator.
QString workingPath(const QString& fileName);

// True when the file's last-modified time can be read; false on any failure.
bool FileExists(const QString& path);

// Lets pending events run once, then deletes the file, forcing a read-only one.
// Never throws and never reports: a file that cannot go is left where it is.
void DeleteFileQuietly(const QString& path);

// Creates path exclusively and writes bytes into it. Refuses anything already at the name,
// a planted symbolic link included, so a working file is never written through a link.
// A file left half-written by a failure is removed again.
void WriteBytesToFile(const QByteArray& bytes, const QString& path);

// Writes bytes beside path and renames the result into place: readers see the old or the
// new content, never a mix, and a symbolic link at path is replaced, not followed.
void ReplaceFileAtomically(const QByteArray& bytes, const QString& path);
