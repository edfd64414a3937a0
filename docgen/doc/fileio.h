#pragma once

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
    OwnerOnly, // read and write for the owner only
    Default,   // what a newly created file gets (the umask decides)
};

enum class Flush {
    ToDisk, // the file survives a power cut once the call has returned
    Skip,   // a working file, made again on every run: waiting for the disk would only slow the run
};

// Creates path exclusively (anything already at the name, a link included, is refused),
// writes bytes and flushes them to disk. A file left half-written is removed again.
void createFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes,
                Access access = Access::OwnerOnly, Flush flush = Flush::ToDisk);

// Writes bytes to a new file beside target, flushes it to disk and renames it over target:
// the name holds the old file or the complete new one at every moment, never a mix or
// nothing. A read-only target is replaced as well; a link at target is replaced, not
// followed. On failure target is unchanged and the temporary file is gone.
void replaceFile(const std::filesystem::path& target, std::span<const std::uint8_t> bytes, Access access,
                 Flush flush = Flush::ToDisk);

// The path as UTF-8, for messages.
std::string displayName(const std::filesystem::path& path);

} // namespace doc::fileio
