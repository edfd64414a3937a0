#pragma once

// What the file reading and writing shares between its common part (fileio_common.cpp) and each
// system's own (fileio_posix.cpp, fileio_windows.cpp): the calls each system answers in its own way,
// and the common steps a system's placing of a file is made of.

#include "doc/fileio.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace doc::fileio
{

// Throws the I/O error "<what> <path>: <reason>".
[[noreturn]] void fail(const std::string& what, const std::filesystem::path& path, const std::string& reason);
// The same with the reason for an errno code (with the system's own code where it keeps one).
[[noreturn]] void fail(const std::string& what, const std::filesystem::path& path, int code);
std::string reasonFor(int code);

// Closes a descriptor; the result reports a write that never reached the disk.
int closeDescriptor(int fd);

// An open descriptor that is closed however the scope is left.
class Descriptor
{
public:
    explicit Descriptor(int fd) : mFd(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() { close(); }
    int get() const { return mFd; }
    bool valid() const { return mFd >= 0; }
    // Closing can report a write that never reached the disk; the result counts.
    int close()
    {
        if (mFd < 0)
            return 0;
        const int result = closeDescriptor(mFd);
        mFd = -1;
        return result;
    }

private:
    int mFd;
};

// What an open file is: a regular file or not, and its size.
struct OpenFileInfo {
    bool regular = false;
    unsigned long long size = 0;
};

// Each returns -1 (or a negative count) with errno set when it fails.
int openForReading(const std::filesystem::path& path, Links links);
int openExclusive(const std::filesystem::path& path);
int statOpen(int fd, OpenFileInfo& info);
long long readSome(int fd, std::uint8_t* to, std::size_t count);
long long writeSome(int fd, const std::uint8_t* from, std::size_t count);
int flushToDisk(int fd);

// What a new file takes over from the regular file it replaces, for the user's own file: its
// owner, group, mode and extended attributes where the system does not keep them itself
// (Windows keeps them, and takes nothing over by hand).
struct Kept {
    bool replacing = false;
    bool usersFile = false;
    std::filesystem::path from;
    std::uint32_t owner = 0;
    std::uint32_t group = 0;
    std::uint32_t mode = 0;
};
Kept keptFrom(const std::filesystem::path& destination, Access access);
// Settles a new file's access once its bytes are written; -1 with errno set when it cannot.
int applyAccess(int fd, const Kept& kept);

// A regular file of this user's at the name itself (not behind a link).
bool ownRegularFile(const std::filesystem::path& path);
// Throws when link is a link another user planted where following it is not safe.
void refuseForeignLink(const std::filesystem::path& link, const std::filesystem::path& reported);
// What stands at destination when it is something a file must not replace ("a folder", ...);
// nullptr otherwise, nothing there included.
const char* notAFileKind(const std::filesystem::path& destination);
// Puts from in to's place; throws naming reported.
void renameOver(const std::filesystem::path& from, const std::filesystem::path& to,
                const std::filesystem::path& reported);
// Gives from to's name only while nothing stands there; throws naming reported.
void moveToFreeName(const std::filesystem::path& from, const std::filesystem::path& to,
                    const std::filesystem::path& reported);
// Makes a rename in folder reach the disk.
void flushFolder(const std::filesystem::path& folder);
// The private working folder named name, made when missing.
std::filesystem::path workingFolderOf(const std::string& name);

// Writes bytes, settles the file's access and flushes it; throws naming reported.
void writeOut(int fd, std::span<const std::uint8_t> bytes, const Kept& kept, Flush flush,
              const std::filesystem::path& reported);

// Whether a new file takes the place of what stands at the name, or only a free name.
enum class Placement { Replace, FreeNameOnly };

// A short hidden name for a temporary beside the file it becomes.
std::string temporaryName();

// The note of one named temporary, kept while the temporary may exist. A note that cannot be
// written costs only the clean-up after a crash, never the save.
class TemporaryNote
{
public:
    explicit TemporaryNote(const std::filesystem::path& temporary);
    TemporaryNote(const TemporaryNote&) = delete;
    TemporaryNote& operator=(const TemporaryNote&) = delete;
    ~TemporaryNote();

private:
    std::filesystem::path mPath;
};

// Writes the complete file under a short hidden name beside destination, noted while it
// exists, then gives it destination's name; errors name reported.
void placeThroughNamedTemporary(const std::filesystem::path& destination, std::span<const std::uint8_t> bytes,
                                const Kept& kept, Flush flush, const std::filesystem::path& reported,
                                Placement placement);
// Writes bytes to a new file and gives it destination's name, as placement says; errors name
// target, the name the caller was given.
void placeFile(const std::filesystem::path& target, const std::filesystem::path& destination,
               std::span<const std::uint8_t> bytes, Access access, Flush flush, Placement placement);

} // namespace doc::fileio
