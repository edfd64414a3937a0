#include "doc/fileio.h"
#include "doc/fileio_system.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/xattr.h>
#endif

namespace doc::fileio
{

namespace
{

mode_t usualMode()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return (S_IRUSR | S_IWUSR | S_IRGRP | S_IWGRP | S_IROTH | S_IWOTH) & ~mask;
}
// The access list travels as an extended attribute; one that cannot be copied (a label the
// user may not set) leaves the file with its mode, which is never wider than the old one's.
void copyAttributes(const std::filesystem::path& from, int to)
{
#ifdef __linux__
    const ssize_t size = ::listxattr(from.c_str(), nullptr, 0);
    if (size <= 0)
        return;
    std::vector<char> names(static_cast<std::size_t>(size));
    const ssize_t got = ::listxattr(from.c_str(), names.data(), names.size());
    for (ssize_t at = 0; at < got; at += static_cast<ssize_t>(std::strlen(names.data() + at)) + 1) {
        const char* name = names.data() + at;
        const ssize_t length = ::getxattr(from.c_str(), name, nullptr, 0);
        if (length < 0)
            continue;
        std::vector<char> value(static_cast<std::size_t>(length));
        const ssize_t read = ::getxattr(from.c_str(), name, value.data(), value.size());
        if (read >= 0)
            ::fsetxattr(to, name, value.data(), static_cast<std::size_t>(read), 0);
    }
#else
    (void)from;
    (void)to;
#endif
}
int openFolder(const std::filesystem::path& folder)
{
    return ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}
// A real folder (not a link to one) of this user's; info is what lstat found there.
bool isOwnFolder(const std::filesystem::path& path, struct stat& info)
{
    return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid();
}
// The fresh folder made when the usual one was taken, and the usual name it stands in for.
struct FreshFolder {
    std::filesystem::path usual;
    std::filesystem::path made;
};
FreshFolder& freshFolder()
{
    static FreshFolder folder;
    return folder;
}
void removeFreshFolder()
{
    // Only an empty folder goes; what a run still holds stays with it.
    if (!freshFolder().made.empty())
        ::rmdir(freshFolder().made.c_str());
}
// Someone else holds the usual name (a folder of theirs, or a link): the run uses a fresh
// folder of its own beside it, made with owner-only permissions, and removes it at the end
// when it is empty.
std::filesystem::path freshPrivateFolder(const std::filesystem::path& usual)
{
    FreshFolder& fresh = freshFolder();
    struct stat info {
    };
    if (fresh.usual == usual && isOwnFolder(fresh.made, info))
        return fresh.made;
    std::string pattern = usual.native() + "-XXXXXX";
    if (!::mkdtemp(pattern.data()))
        fail("Cannot create folder", usual, errno);
    removeFreshFolder();
    fresh = {usual, pattern};
    [[maybe_unused]] static const bool removedAtExit = std::atexit(removeFreshFolder) == 0;
    return fresh.made;
}
// The folder must be a real directory (not a link to one), ours, and closed to others;
// otherwise another user could read or plant our working files.
std::filesystem::path privateFolder(const std::filesystem::path& path)
{
    if (::mkdir(path.c_str(), S_IRWXU) != 0 && errno != EEXIST)
        fail("Cannot create folder", path, errno);
    struct stat info {
    };
    if (!isOwnFolder(path, info))
        return freshPrivateFolder(path);
    if ((info.st_mode & (S_IRWXG | S_IRWXO)) != 0 && ::chmod(path.c_str(), S_IRWXU) != 0)
        fail("Cannot make private the folder", path, errno);
    return path;
}
std::filesystem::path environmentPath(const char* name)
{
    const char* value = std::getenv(name);
    return value ? std::filesystem::path(value) : std::filesystem::path();
}
std::string userName(uid_t uid)
{
    std::vector<char> buffer(1 << 14);
    struct passwd entry {
    };
    struct passwd* found = nullptr;
    const std::string number = std::to_string(uid);
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return std::string(found->pw_name) + " (" + number + ")";
    return "user " + number;
}

#ifdef O_TMPFILE
bool anonymousFilesUnsupported(int code)
{
    return code == EOPNOTSUPP || code == EISDIR || code == EINVAL || code == ENOSYS;
}

// Gives the anonymous file fd the name `name` in folder; false with errno set when it cannot.
bool linkAs(int fd, int folder, const std::string& name)
{
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    if (::linkat(AT_FDCWD, self.c_str(), folder, name.c_str(), AT_SYMLINK_FOLLOW) == 0)
        return true;
    // Without /proc, only a privileged process may link a descriptor directly.
    return errno == ENOENT && ::linkat(fd, "", folder, name.c_str(), AT_EMPTY_PATH) == 0;
}
#endif

} // namespace

std::string reasonFor(int code)
{
    return std::strerror(code);
}

int closeDescriptor(int fd)
{
    return ::close(fd);
}

int openForReading(const std::filesystem::path& path, Links links)
{
    int flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC;
    if (links == Links::Refuse)
        flags |= O_NOFOLLOW;
    return ::open(path.c_str(), flags);
}
int openExclusive(const std::filesystem::path& path)
{
    // O_EXCL refuses a symbolic link at the name as well.
    return ::open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, S_IRUSR | S_IWUSR);
}
int statOpen(int fd, OpenFileInfo& info)
{
    struct stat status {
    };
    if (::fstat(fd, &status) != 0)
        return -1;
    info.regular = S_ISREG(status.st_mode);
    info.size = static_cast<unsigned long long>(status.st_size);
    return 0;
}
long long readSome(int fd, std::uint8_t* to, std::size_t count)
{
    return ::read(fd, to, count);
}
long long writeSome(int fd, const std::uint8_t* from, std::size_t count)
{
    return ::write(fd, from, count);
}
int flushToDisk(int fd)
{
    return ::fsync(fd);
}
Kept keptFrom(const std::filesystem::path& destination, Access access)
{
    Kept kept;
    kept.usersFile = access == Access::UsersFile;
    kept.from = destination;
    struct stat old {
    };
    kept.replacing = kept.usersFile && ::stat(destination.c_str(), &old) == 0 && S_ISREG(old.st_mode);
    kept.owner = old.st_uid;
    kept.group = old.st_gid;
    kept.mode = old.st_mode & 07777;
    return kept;
}
// A new file starts owner-only; what it ends with is settled once its bytes are written.
int applyAccess(int fd, const Kept& kept)
{
    if (!kept.usersFile)
        return 0;
    if (!kept.replacing)
        return ::fchmod(fd, usualMode());
    // Where the user may not give the file away, the group alone may still be kept.
    if (kept.owner != ::geteuid() || kept.group != ::getegid()) {
        [[maybe_unused]] const bool keptOwner = ::fchown(fd, kept.owner, kept.group) == 0 ||
                                                ::fchown(fd, static_cast<uid_t>(-1), kept.group) == 0;
    }
    if (::fchmod(fd, kept.mode) != 0)
        return -1;
    copyAttributes(kept.from, fd);
    return 0;
}
bool ownRegularFile(const std::filesystem::path& path)
{
    struct stat info {
    };
    return ::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid();
}
void refuseForeignLink(const std::filesystem::path& link, const std::filesystem::path& reported)
{
    const std::filesystem::path folder = link.has_parent_path() ? link.parent_path() : ".";
    struct stat linkInfo {
    };
    struct stat folderInfo {
    };
    if (::lstat(link.c_str(), &linkInfo) != 0 || ::stat(folder.c_str(), &folderInfo) != 0)
        fail("Cannot write", reported, errno);
    if (!mayFollowLink(folderInfo.st_mode, folderInfo.st_uid, linkInfo.st_uid, ::geteuid()))
        fail("Cannot write", reported,
             "the symbolic link " + displayName(link) + " belongs to another user, " +
                 userName(linkInfo.st_uid) + ", in a folder others may write to; it is not followed");
}
// What stands at destination when it is neither a regular file nor a link (which a working
// file replaces); nullptr otherwise, nothing there included.
const char* notAFileKind(const std::filesystem::path& destination)
{
    struct stat info {
    };
    if (::lstat(destination.c_str(), &info) != 0 || S_ISREG(info.st_mode) || S_ISLNK(info.st_mode))
        return nullptr;
    if (S_ISDIR(info.st_mode))
        return "a folder";
    if (S_ISFIFO(info.st_mode))
        return "a FIFO";
    return S_ISSOCK(info.st_mode) ? "a socket" : "a device";
}
void renameOver(const std::filesystem::path& from, const std::filesystem::path& to,
                const std::filesystem::path& reported)
{
    if (::rename(from.c_str(), to.c_str()) != 0)
        fail("Cannot write", reported, errno);
}
void moveToFreeName(const std::filesystem::path& from, const std::filesystem::path& to,
                    const std::filesystem::path& reported)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return;
    if (errno != EINVAL && errno != ENOSYS)
        fail("Cannot create", reported, errno);
    // A file system without the no-replace rename: a second link fails on a taken name too.
    if (::link(from.c_str(), to.c_str()) != 0)
        fail("Cannot create", reported, errno);
    ::unlink(from.c_str());
}
// The rename itself reaches the disk only with its folder.
void flushFolder(const std::filesystem::path& folder)
{
    Descriptor fd(openFolder(folder));
    if (fd.valid())
        ::fsync(fd.get());
}
std::filesystem::path workingFolderOf(const std::string& name)
{
    if (std::filesystem::path temp = environmentPath("TEMP"); !temp.empty())
        return temp;
    // After su, or once the session that made it has ended, the variable may name another
    // user's folder or none at all: the system's temporary folder serves then.
    const std::filesystem::path runtime = environmentPath("XDG_RUNTIME_DIR");
    struct stat info {
    };
    if (!runtime.empty() && isOwnFolder(runtime, info))
        return privateFolder(runtime / name);
    std::filesystem::path system = environmentPath("TMPDIR");
    if (system.empty())
        system = "/tmp";
    return privateFolder(system / (name + '-' + std::to_string(::geteuid())));
}

void placeFile(const std::filesystem::path& target, const std::filesystem::path& destination,
               std::span<const std::uint8_t> bytes, Access access, Flush flush, Placement placement)
{
    Kept kept = keptFrom(destination, access);
    // A free name has nothing to take over; whatever stands there is refused below.
    kept.replacing = kept.replacing && placement == Placement::Replace;
#ifdef O_TMPFILE
    Descriptor folder(openFolder(destination.parent_path()));
    if (!folder.valid())
        fail("Cannot write", target, errno);
    Descriptor out(::openat(folder.get(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, S_IRUSR | S_IWUSR));
    if (!out.valid() && anonymousFilesUnsupported(errno))
        return placeThroughNamedTemporary(destination, bytes, kept, flush, target, placement);
    if (!out.valid())
        fail("Cannot write", target, errno);
    // Until it is linked in, the file has no name: a failure or a crash leaves nothing.
    writeOut(out.get(), bytes, kept, flush, target);
    const std::string leaf = destination.filename().string();
    if (!linkAs(out.get(), folder.get(), leaf)) {
        if (errno != EEXIST)
            fail("Cannot write", target, errno);
        if (placement == Placement::FreeNameOnly)
            fail("Cannot create", target, EEXIST);
        // Something stands at the name: the complete file takes a short name for the instant
        // before it is renamed over it.
        std::string name;
        std::optional<TemporaryNote> note;
        bool linked = false;
        for (int attempt = 0; attempt < 16 && !linked; ++attempt) {
            name = temporaryName();
            note.emplace(destination.parent_path() / name);
            linked = linkAs(out.get(), folder.get(), name);
            if (!linked && errno != EEXIST)
                fail("Cannot write", target, errno);
        }
        if (!linked)
            fail("Cannot write", target, EEXIST);
        if (::renameat(folder.get(), name.c_str(), folder.get(), leaf.c_str()) != 0) {
            const int code = errno;
            ::unlinkat(folder.get(), name.c_str(), 0);
            fail("Cannot write", target, code);
        }
    }
    if (flush == Flush::ToDisk)
        ::fsync(folder.get());
#else
    placeThroughNamedTemporary(destination, bytes, kept, flush, target, placement);
#endif
}

bool isAnotherUsers(const std::filesystem::path& path)
{
    struct stat info {
    };
    return ::lstat(path.c_str(), &info) == 0 && info.st_uid != ::geteuid();
}

bool isPrivateFile(const std::filesystem::path& path)
{
    Descriptor fd(openForReading(path, Links::Refuse));
    if (!fd.valid())
        return false;
    struct stat info {
    };
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    return info.st_uid == ::geteuid() && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

void flushFileSystemOf(const std::filesystem::path& folder)
{
    Descriptor fd(openFolder(folder));
    if (fd.valid())
        ::syncfs(fd.get());
}

} // namespace doc::fileio
