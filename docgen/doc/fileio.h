#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

// Whole-file reads and writes for the engine and the program. Failures throw doc::Error of
// kind Io whose description carries the system's reason and the path. Paths are
// std::filesystem::path, so names outside the ANSI code page survive on Windows.
namespace doc::fileio
{

enum class Links {
    Follow,
    Refuse, // a symbolic link at the name is refused, not followed
};

// Reads a whole regular file. It is opened without blocking, so a FIFO or device planted
// at the name is refused instead of freezing the caller, and a file larger than maxBytes
// is refused before anything is read.
std::vector<std::uint8_t> readFile(const std::filesystem::path& path, std::size_t maxBytes,
                                   Links links = Links::Follow);

// True when path is a regular file (not a link) owned by this user and writable by no one
// else: a file another local user can neither have planted nor change.
bool isPrivateFile(const std::filesystem::path& path);

enum class Access {
    // A working file: read and write for the owner only, whatever stood at the name; a link
    // at the name is replaced, never written through.
    OwnerOnly,
    // The user's own file: a link at the name is followed to the file it names (a dangling
    // one too); a replaced file keeps its mode, access list, extended attributes and, where
    // the user may set them, its owner and group; a new file gets what the umask gives.
    UsersFile,
};

enum class Flush {
    ToDisk, // the file survives a power cut once the call has returned
    Skip,   // a working file, made again on every run: waiting for the disk would only slow the run
};

// Creates path exclusively (anything already at the name, a link included, is refused),
// writes bytes and flushes them to disk. A file left half-written is removed again.
void createFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes,
                Access access = Access::OwnerOnly, Flush flush = Flush::ToDisk);

// Writes bytes to a new file in target's folder, flushes it to disk and puts it in target's
// place in one step: the name holds the old file or the complete new one at every moment,
// never a mix or nothing. A read-only target is replaced as well. The new file is anonymous
// until complete where the file system allows; elsewhere it has a short hidden name, so any
// legal target name fits. On failure target is unchanged and the new file is gone.
void replaceFile(const std::filesystem::path& target, std::span<const std::uint8_t> bytes, Access access,
                 Flush flush = Flush::ToDisk);

// replaceFile's route where no anonymous file can be had, always through a named temporary.
void replaceFileThroughNamedTemporary(const std::filesystem::path& target,
                                      std::span<const std::uint8_t> bytes, Access access,
                                      Flush flush = Flush::ToDisk);

// Writes bytes to a new file beside target, flushes it as asked, and gives it target's name
// only if nothing stands there yet: the name holds nothing or the complete file at every
// moment, and whatever was at the name (a file, a link) is left as it was. Throws doc::Error
// (Io) when the name is taken or the file cannot be written; no temporary file is left, and any
// legal name fits, as with replaceFile.
void publishFile(const std::filesystem::path& target, std::span<const std::uint8_t> bytes, Access access,
                 Flush flush = Flush::ToDisk);

// Brings everything written to the file system that holds folder onto the disk: one wait for
// a batch of files written with Flush::Skip, instead of one for each.
void flushFileSystemOf(const std::filesystem::path& folder);

// The file that path names once every symbolic link on the way has been followed, whether
// or not it exists. Throws when the links go round in a circle.
std::filesystem::path finalTarget(const std::filesystem::path& path);

// While a named temporary exists, replaceFile keeps a note of it in folder (a folder of the
// user's own), so that a run that died half-way does not leave a copy of the document
// behind for good. Until a folder is set no notes are kept.
void keepTemporaryNotesIn(const std::filesystem::path& folder);
// Removes the temporaries whose notes in folder are older than age, and those notes: what a
// run that died while saving left. Only a temporary's own name, owned by this user, goes.
// Returns how many temporaries went; never throws.
int removeAbandonedTemporaries(const std::filesystem::path& folder, std::chrono::seconds age);

// The path as UTF-8, for messages.
std::string displayName(const std::filesystem::path& path);

#ifdef _WIN32
// Windows' own words for a system error code, in UTF-8.
std::string windowsReason(unsigned long code);
#endif

} // namespace doc::fileio
