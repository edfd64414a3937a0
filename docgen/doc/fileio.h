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

// True when what stands at path (a file, a link itself, anything) belongs to another user:
// something planted in a shared folder, to be left as it is. Always false on Windows, where a
// user's temporary folder is closed to other users.
bool isAnotherUsers(const std::filesystem::path& path);

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
// never a mix or nothing. A read-only target is replaced as well. Only a regular file or a
// free name is written: a folder, device, FIFO or socket there is refused. The new file is
// anonymous until complete where the file system allows; elsewhere it has a short hidden
// name, so any legal target name fits. On failure target is unchanged and the new file is gone.
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
// or not it exists. Throws when the links go round in a circle, or when a link is one that
// mayFollowLink says another user could have planted.
std::filesystem::path finalTarget(const std::filesystem::path& path);

// Whether a symbolic link may be followed where a file is written, as Linux's
// protected_symlinks decides, which never sees the links followed here by hand: anywhere but
// in a sticky folder that others may write to (the system's temporary folder), where only the
// follower's own links and the folder owner's are. Modes and owners are POSIX's.
bool mayFollowLink(std::uint32_t folderMode, std::uint32_t folderOwner, std::uint32_t linkOwner,
                   std::uint32_t follower);

// The folder for the program's working files and for the notes of its saves: the one TEMP
// names; when TEMP is unset or empty, a private folder of the user's own (owner-only, a real
// folder, not a link) in $XDG_RUNTIME_DIR when that is a real folder of the user's, else in the
// system's temporary folder. When another user or a link holds that name, a fresh private
// folder is made beside it, used for the rest of the run and removed at exit if empty. Throws
// when no such folder can be made.
std::filesystem::path workingFolder();

// While a named temporary exists, replaceFile keeps a note of it in folder (a folder of the
// user's own), so that a run that died half-way does not leave a copy of the document
// behind for good. Until a folder is set no notes are kept.
void keepTemporaryNotesIn(const std::filesystem::path& folder);
// Removes the temporaries whose notes in folder are older than age, and those notes: what a
// run that died while saving left. Only a temporary's own name, owned by this user, goes.
// Returns how many temporaries went; never throws.
int removeAbandonedTemporaries(const std::filesystem::path& folder, std::chrono::seconds age);
// Once a run, before its first save, in the window and on the command line alike: notes are
// kept in workingFolder() from now on, and the temporaries of saves that earlier runs left
// half-way go. Never throws.
void takeChargeOfTemporaries();

// The path as UTF-8, for messages.
std::string displayName(const std::filesystem::path& path);

#ifdef _WIN32
// Windows' own words for a system error code, in UTF-8.
std::string windowsReason(unsigned long code);
#endif

} // namespace doc::fileio
