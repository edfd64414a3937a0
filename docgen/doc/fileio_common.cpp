// The file reading and writing every system shares; each system's own calls are in
// fileio_posix.cpp and fileio_windows.cpp.
#include "doc/fileio.h"
#include "doc/fileio_system.h"

#include "doc/error.h"

#include <cerrno>
#include <cstring>
#include <exception>
#include <optional>
#include <random>

namespace doc::fileio
{

namespace
{

void writeAll(int fd, std::span<const std::uint8_t> bytes, const std::filesystem::path& path)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const long long written = writeSome(fd, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            fail("Cannot write", path, written < 0 ? errno : ENOSPC);
        done += static_cast<std::size_t>(written);
    }
}

// Never empty: an empty name would land in whatever the current folder is.
const std::filesystem::path& named(const std::filesystem::path& target)
{
    if (target.filename().empty())
        fail("Cannot write", target, "no file name was given");
    return target;
}

// The name a replacing write goes to: the link's final target for the user's own file, the
// name itself for a working file. Only a regular file, a free name or a working file's link
// is replaced: as root, a device at the name would otherwise become a plain file.
std::filesystem::path destinationOf(const std::filesystem::path& target, Access access)
{
    const std::filesystem::path destination =
        access == Access::UsersFile ? finalTarget(named(target)) : named(target);
    if (const char* kind = notAFileKind(destination))
        fail("Cannot write", target, displayName(destination) + " is " + kind + ", not a regular file");
    return destination;
}

// Short enough beside any legal name, hidden where names starting with a dot are.
constexpr char kTemporaryPrefix[] = ".~bw";
constexpr char kTemporarySuffix[] = ".tmp";
constexpr std::size_t kTemporaryRandomChars = 8;

bool isTemporaryName(const std::string& name)
{
    const std::size_t prefix = std::strlen(kTemporaryPrefix);
    const std::size_t suffix = std::strlen(kTemporarySuffix);
    return name.size() == prefix + kTemporaryRandomChars + suffix && name.starts_with(kTemporaryPrefix) &&
           name.ends_with(kTemporarySuffix);
}

constexpr char kNotePrefix[] = "save-";
constexpr char kNoteSuffix[] = ".note";
// The private working folder's name, with the user's number after it in a shared folder.
constexpr char kWorkingFolderName[] = "brindlewick";

std::filesystem::path& notesFolder()
{
    static std::filesystem::path folder;
    return folder;
}

} // namespace

[[noreturn]] void fail(const std::string& what, const std::filesystem::path& path, const std::string& reason)
{
    throw Error(Error::Kind::Io, what + " " + displayName(path) + ": " + reason);
}

[[noreturn]] void fail(const std::string& what, const std::filesystem::path& path, int code)
{
    fail(what, path, reasonFor(code));
}

std::string temporaryName()
{
    static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937 random{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kChars - 2);
    std::string name = kTemporaryPrefix;
    for (std::size_t k = 0; k < kTemporaryRandomChars; ++k)
        name += kChars[pick(random)];
    return name + kTemporarySuffix;
}

void writeOut(int fd, std::span<const std::uint8_t> bytes, const Kept& kept, Flush flush,
              const std::filesystem::path& reported)
{
    writeAll(fd, bytes, reported);
    if (applyAccess(fd, kept) != 0)
        fail("Cannot write", reported, errno);
    if (flush == Flush::ToDisk && flushToDisk(fd) != 0)
        fail("Cannot write", reported, errno);
}

TemporaryNote::TemporaryNote(const std::filesystem::path& temporary)
{
    if (notesFolder().empty())
        return;
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(temporary, error);
    const std::u8string text = (error ? temporary : absolute).u8string();
    const std::span bytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    try {
        mPath = notesFolder() / (kNotePrefix + temporary.filename().string() + kNoteSuffix);
        createFile(mPath, bytes, Access::OwnerOnly, Flush::Skip);
    } catch (const Error&) {
        mPath.clear();
    }
}

TemporaryNote::~TemporaryNote()
{
    if (mPath.empty())
        return;
    std::error_code ignored;
    std::filesystem::remove(mPath, ignored);
}

std::string displayName(const std::filesystem::path& path)
{
    const std::u8string name = path.u8string();
    return std::string(name.begin(), name.end());
}

std::vector<std::uint8_t> readFile(const std::filesystem::path& path, std::size_t maxBytes, Links links)
{
    Descriptor fd(openForReading(path, links));
    if (!fd.valid() && links == Links::Refuse && errno == ELOOP)
        fail("Cannot open", path, "a symbolic link stands at the name");
    if (!fd.valid())
        fail("Cannot open", path, errno);
    OpenFileInfo info;
    if (statOpen(fd.get(), info) != 0)
        fail("Cannot read", path, errno);
    if (!info.regular)
        fail("Cannot read", path, "not a regular file");
    const unsigned long long size = info.size;
    if (size > maxBytes)
        fail("Cannot read", path,
             "the file is " + std::to_string(size) + " bytes long; at most " + std::to_string(maxBytes) +
                 " are accepted");
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    std::size_t done = 0;
    // A file that grows while it is read is cut at the limit and refused.
    std::uint8_t probe = 0;
    for (;;) {
        std::uint8_t* to = done < bytes.size() ? bytes.data() + done : &probe;
        const long long got = readSome(fd.get(), to, done < bytes.size() ? bytes.size() - done : 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            fail("Cannot read", path, errno);
        if (got == 0)
            break;
        if (to == &probe)
            fail("Cannot read", path, "the file grew while it was read");
        done += static_cast<std::size_t>(got);
    }
    bytes.resize(done);
    return bytes;
}

void createFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes, Access access,
                Flush flush)
{
    // Looked at before the file is made: a name that is taken is refused anyway.
    const Kept kept = keptFrom(path, access);
    Descriptor fd(openExclusive(path));
    if (!fd.valid())
        fail("Cannot create", path, errno);
    try {
        writeOut(fd.get(), bytes, kept, flush, path);
        if (fd.close() != 0)
            fail("Cannot write", path, errno);
    } catch (...) {
        fd.close();
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
        throw;
    }
}

std::filesystem::path finalTarget(const std::filesystem::path& path)
{
    std::filesystem::path current = path;
    // As many links as the system itself follows before it gives up.
    for (int hop = 0; hop < 40; ++hop) {
        std::error_code error;
        if (!std::filesystem::is_symlink(std::filesystem::symlink_status(current, error)))
            return current;
        refuseForeignLink(current, path);
        const std::filesystem::path next = std::filesystem::read_symlink(current, error);
        if (error)
            fail("Cannot write", path, error.message());
        current = next.is_absolute() ? next : current.parent_path() / next;
    }
    fail("Cannot write", path, "the symbolic links at the name go round in a circle");
}

void placeThroughNamedTemporary(const std::filesystem::path& destination, std::span<const std::uint8_t> bytes,
                                const Kept& kept, Flush flush, const std::filesystem::path& reported,
                                Placement placement)
{
    std::filesystem::path temporary;
    std::optional<TemporaryNote> note;
    int fd = -1;
    int lastError = EEXIST;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        temporary = destination.parent_path() / temporaryName();
        note.emplace(temporary);
        fd = openExclusive(temporary);
        if (fd < 0)
            lastError = errno;
        if (fd < 0 && lastError != EEXIST)
            break;
    }
    if (fd < 0)
        fail("Cannot write", reported, lastError);
    Descriptor out(fd);
    try {
        writeOut(out.get(), bytes, kept, flush, reported);
        if (out.close() != 0)
            fail("Cannot write", reported, errno);
        if (placement == Placement::Replace)
            renameOver(temporary, destination, reported);
        else
            moveToFreeName(temporary, destination, reported);
    } catch (...) {
        out.close();
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        throw;
    }
    if (flush == Flush::ToDisk)
        flushFolder(destination.parent_path());
}

void replaceFileThroughNamedTemporary(const std::filesystem::path& target,
                                      std::span<const std::uint8_t> bytes, Access access, Flush flush)
{
    const std::filesystem::path destination = destinationOf(target, access);
    placeThroughNamedTemporary(destination, bytes, keptFrom(destination, access), flush, target,
                               Placement::Replace);
}

void replaceFile(const std::filesystem::path& target, std::span<const std::uint8_t> bytes, Access access,
                 Flush flush)
{
    placeFile(target, destinationOf(target, access), bytes, access, flush, Placement::Replace);
}

void publishFile(const std::filesystem::path& target, std::span<const std::uint8_t> bytes, Access access,
                 Flush flush)
{
    placeFile(target, named(target), bytes, access, flush, Placement::FreeNameOnly);
}

bool mayFollowLink(std::uint32_t folderMode, std::uint32_t folderOwner, std::uint32_t linkOwner,
                   std::uint32_t follower)
{
    // POSIX's S_ISVTX, and S_IWGRP | S_IWOTH: a group's shared folder is as open to planting.
    constexpr std::uint32_t kSticky = 01000;
    constexpr std::uint32_t kWritableByOthers = 00022;
    const bool shared = (folderMode & kSticky) != 0 && (folderMode & kWritableByOthers) != 0;
    return !shared || linkOwner == follower || linkOwner == folderOwner;
}

std::filesystem::path workingFolder()
{
    return workingFolderOf(kWorkingFolderName);
}

void keepTemporaryNotesIn(const std::filesystem::path& folder)
{
    notesFolder() = folder;
}

int removeAbandonedTemporaries(const std::filesystem::path& folder, std::chrono::seconds age)
{
    int removed = 0;
    const auto before = std::filesystem::file_time_type::clock::now() - age;
    std::error_code error;
    for (auto entry = std::filesystem::directory_iterator(folder, error);
         !error && entry != std::filesystem::directory_iterator(); entry.increment(error)) {
        const std::filesystem::path note = entry->path();
        const std::string name = note.filename().string();
        std::error_code ignored;
        if (!name.starts_with(kNotePrefix) || !name.ends_with(kNoteSuffix) || !isPrivateFile(note) ||
            std::filesystem::last_write_time(note, ignored) > before)
            continue;
        try {
            const std::vector<std::uint8_t> text = readFile(note, 1 << 16, Links::Refuse);
            const std::filesystem::path temporary(std::u8string(text.begin(), text.end()));
            if (isTemporaryName(temporary.filename().string()) && ownRegularFile(temporary) &&
                std::filesystem::remove(temporary, ignored))
                ++removed;
        } catch (const Error&) {
        }
        std::filesystem::remove(note, ignored);
    }
    return removed;
}

void takeChargeOfTemporaries()
{
    try {
        const std::filesystem::path folder = workingFolder();
        keepTemporaryNotesIn(folder);
        // A save of the largest document takes seconds; a note an hour old is a run that died.
        removeAbandonedTemporaries(folder, std::chrono::hours(1));
    } catch (const std::exception&) {
    }
}

} // namespace doc::fileio
