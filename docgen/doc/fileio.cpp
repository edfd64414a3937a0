#include "doc/fileio.h"

#include "doc/error.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <optional>
#include <random>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/xattr.h>
#endif
#endif

namespace doc::fileio
{

namespace
{

#ifdef _WIN32
std::string reasonFor(int code)
{
    // The C runtime keeps the system's own code beside errno for failures that came from it.
    const unsigned long system = _doserrno;
    return system != 0 ? windowsReason(system) : std::strerror(code);
}
#else
std::string reasonFor(int code)
{
    return std::strerror(code);
}
#endif

[[noreturn]] void fail(const std::string& what, const std::filesystem::path& path, const std::string& reason)
{
    throw Error(Error::Kind::Io, what + " " + displayName(path) + ": " + reason);
}

[[noreturn]] void fail(const std::string& what, const std::filesystem::path& path, int code)
{
    fail(what, path, reasonFor(code));
}

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
#ifdef _WIN32
        const int result = ::_close(mFd);
#else
        const int result = ::close(mFd);
#endif
        mFd = -1;
        return result;
    }

private:
    int mFd;
};

#ifdef _WIN32
using StatBuffer = struct ::_stat64;
int openForReading(const std::filesystem::path& path, Links)
{
    _doserrno = 0;
    return ::_wopen(path.c_str(), _O_RDONLY | _O_BINARY);
}
int openExclusive(const std::filesystem::path& path)
{
    _doserrno = 0;
    return ::_wopen(path.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
}
int statOpen(int fd, StatBuffer& info)
{
    return ::_fstat64(fd, &info);
}
bool isRegular(const StatBuffer& info)
{
    return (info.st_mode & _S_IFMT) == _S_IFREG;
}
long long readSome(int fd, std::uint8_t* to, std::size_t count)
{
    _doserrno = 0;
    return ::_read(fd, to, static_cast<unsigned>(std::min<std::size_t>(count, 1U << 30)));
}
// Straight to the system, so that a failure keeps Windows' own code (a full disk, say),
// which the C runtime would fold into a vaguer errno.
long long writeSome(int fd, const std::uint8_t* from, std::size_t count)
{
    DWORD written = 0;
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
    if (::WriteFile(handle, from, static_cast<DWORD>(std::min<std::size_t>(count, 1U << 30)), &written,
                    nullptr))
        return written;
    _doserrno = ::GetLastError();
    errno = EIO;
    return -1;
}
int flushToDisk(int fd)
{
    if (::FlushFileBuffers(reinterpret_cast<HANDLE>(::_get_osfhandle(fd))))
        return 0;
    _doserrno = ::GetLastError();
    errno = EIO;
    return -1;
}
// What a new file takes over from the one it replaces.
struct Kept {
};
// Windows gives new files the folder's inherited access, and ReplaceFileW keeps the replaced
// file's access list and attributes: there is nothing to copy by hand.
Kept keptFrom(const std::filesystem::path&, Access)
{
    return {};
}
int applyAccess(int, const Kept&)
{
    return 0;
}
bool ownRegularFile(const std::filesystem::path& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
}
// A user's own folders are closed to other users; nothing here was planted by one.
bool ownedByAnotherUser(const std::filesystem::path&)
{
    return false;
}
// Windows has no sticky folders: a link is followed wherever the system itself follows one.
void refuseForeignLink(const std::filesystem::path&, const std::filesystem::path&) {}
// ReplaceFileW would move a folder at the name aside rather than refuse it.
const char* notAFileKind(const std::filesystem::path& destination)
{
    const DWORD attributes = ::GetFileAttributesW(destination.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) ? "a folder"
                                                                                            : nullptr;
}
// Puts from in to's place; a replaced file keeps its access list, attributes and read-only
// mark. Throws with Windows' reason.
void renameOver(const std::filesystem::path& from, const std::filesystem::path& to,
                const std::filesystem::path& reported)
{
    const DWORD attributes = ::GetFileAttributesW(to.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        const bool readOnly = attributes & FILE_ATTRIBUTE_READONLY;
        // A read-only file refuses to be replaced until its mark is taken away.
        if (readOnly)
            ::SetFileAttributesW(to.c_str(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY});
        if (::ReplaceFileW(to.c_str(), from.c_str(), nullptr,
                           REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS, nullptr,
                           nullptr)) {
            if (readOnly)
                ::SetFileAttributesW(to.c_str(), attributes);
            return;
        }
        const DWORD code = ::GetLastError();
        if (readOnly)
            ::SetFileAttributesW(to.c_str(), attributes);
        if (code != ERROR_FILE_NOT_FOUND)
            fail("Cannot write", reported, windowsReason(code));
    }
    if (!::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        fail("Cannot write", reported, windowsReason(::GetLastError()));
}
// Gives from to's name only while nothing stands there.
void moveToFreeName(const std::filesystem::path& from, const std::filesystem::path& to,
                    const std::filesystem::path& reported)
{
    if (!::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH))
        fail("Cannot create", reported, windowsReason(::GetLastError()));
}
void flushFolder(const std::filesystem::path&) {}
std::filesystem::path workingFolderOf(const std::string& name)
{
    const wchar_t* temp = ::_wgetenv(L"TEMP");
    if (temp && *temp)
        return temp;
    std::error_code error;
    const std::filesystem::path system = std::filesystem::temp_directory_path(error);
    if (error)
        fail("Cannot create folder", name, error.message());
    const std::filesystem::path folder = system / name;
    if (!std::filesystem::create_directories(folder, error) && error)
        fail("Cannot create folder", folder, error.message());
    return folder;
}
#else
using StatBuffer = struct ::stat;
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
int statOpen(int fd, StatBuffer& info)
{
    return ::fstat(fd, &info);
}
bool isRegular(const StatBuffer& info)
{
    return S_ISREG(info.st_mode);
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
// What a new file takes over from the one it replaces; nothing for a working file.
struct Kept {
    bool replacing = false;
    bool usersFile = false;
    std::filesystem::path from;
    struct stat old {
    };
};
Kept keptFrom(const std::filesystem::path& destination, Access access)
{
    Kept kept;
    kept.usersFile = access == Access::UsersFile;
    kept.from = destination;
    kept.replacing =
        kept.usersFile && ::stat(destination.c_str(), &kept.old) == 0 && S_ISREG(kept.old.st_mode);
    return kept;
}
// A new file starts owner-only; what it ends with is settled once its bytes are written.
int applyAccess(int fd, const Kept& kept)
{
    if (!kept.usersFile)
        return 0;
    if (!kept.replacing)
        return ::fchmod(fd, usualMode());
    const struct stat& old = kept.old;
    // Where the user may not give the file away, the group alone may still be kept.
    if (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) {
        [[maybe_unused]] const bool keptOwner = ::fchown(fd, old.st_uid, old.st_gid) == 0 ||
                                                ::fchown(fd, static_cast<uid_t>(-1), old.st_gid) == 0;
    }
    if (::fchmod(fd, old.st_mode & 07777) != 0)
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
bool ownedByAnotherUser(const std::filesystem::path& path)
{
    struct stat info {
    };
    return ::lstat(path.c_str(), &info) == 0 && info.st_uid != ::geteuid();
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
int openFolder(const std::filesystem::path& folder)
{
    return ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
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
#endif

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

// Writes bytes, settles the file's access and flushes it; throws naming reported.
void writeOut(int fd, std::span<const std::uint8_t> bytes, const Kept& kept, Flush flush,
              const std::filesystem::path& reported)
{
    writeAll(fd, bytes, reported);
    if (applyAccess(fd, kept) != 0)
        fail("Cannot write", reported, errno);
    if (flush == Flush::ToDisk && flushToDisk(fd) != 0)
        fail("Cannot write", reported, errno);
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

// Whether a new file takes the place of what stands at the name, or only a free name.
enum class Placement { Replace, FreeNameOnly };

// Short enough beside any legal name, hidden where names starting with a dot are.
constexpr char kTemporaryPrefix[] = ".~bw";
constexpr char kTemporarySuffix[] = ".tmp";
constexpr std::size_t kTemporaryRandomChars = 8;

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

// The note of one named temporary, kept while the temporary may exist. A note that cannot be
// written costs only the clean-up after a crash, never the save.
class TemporaryNote
{
public:
    explicit TemporaryNote(const std::filesystem::path& temporary)
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
    TemporaryNote(const TemporaryNote&) = delete;
    TemporaryNote& operator=(const TemporaryNote&) = delete;
    ~TemporaryNote()
    {
        if (mPath.empty())
            return;
        std::error_code ignored;
        std::filesystem::remove(mPath, ignored);
    }

private:
    std::filesystem::path mPath;
};

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

std::string displayName(const std::filesystem::path& path)
{
    const std::u8string name = path.u8string();
    return std::string(name.begin(), name.end());
}

#ifdef _WIN32
std::string windowsReason(unsigned long code)
{
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                              FORMAT_MESSAGE_IGNORE_INSERTS,
                                          nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring reason(text ? text : L"", length);
    ::LocalFree(text);
    while (!reason.empty() && (reason.back() == L'\n' || reason.back() == L'\r' || reason.back() == L'.'))
        reason.pop_back();
    if (reason.empty())
        return "Windows error " + std::to_string(code);
    return displayName(std::filesystem::path(reason));
}

#endif

std::vector<std::uint8_t> readFile(const std::filesystem::path& path, std::size_t maxBytes, Links links)
{
    Descriptor fd(openForReading(path, links));
    if (!fd.valid() && links == Links::Refuse && errno == ELOOP)
        fail("Cannot open", path, "a symbolic link stands at the name");
    if (!fd.valid())
        fail("Cannot open", path, errno);
    StatBuffer info{};
    if (statOpen(fd.get(), info) != 0)
        fail("Cannot read", path, errno);
    if (!isRegular(info))
        fail("Cannot read", path, "not a regular file");
    const auto size = static_cast<unsigned long long>(info.st_size);
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

bool isAnotherUsers(const std::filesystem::path& path)
{
    return ownedByAnotherUser(path);
}

bool isPrivateFile(const std::filesystem::path& path)
{
    Descriptor fd(openForReading(path, Links::Refuse));
    if (!fd.valid())
        return false;
    StatBuffer info{};
    if (statOpen(fd.get(), info) != 0 || !isRegular(info))
        return false;
#ifdef _WIN32
    // Folder access lists decide who may write; a reparse point is never ours to trust.
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
#else
    return info.st_uid == ::geteuid() && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
#endif
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

namespace
{

// Writes the complete file under a short hidden name beside destination, noted while it
// exists, then gives it destination's name; errors name reported.
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

// Writes bytes to a new file and gives it destination's name, as placement says; errors name
// target, the name the caller was given.
void placeFile(const std::filesystem::path& target, const std::filesystem::path& destination,
               std::span<const std::uint8_t> bytes, Access access, Flush flush, Placement placement)
{
    Kept kept = keptFrom(destination, access);
#ifndef _WIN32
    // A free name has nothing to take over; whatever stands there is refused below.
    kept.replacing = kept.replacing && placement == Placement::Replace;
#endif
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

} // namespace

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

void flushFileSystemOf(const std::filesystem::path& folder)
{
#ifdef _WIN32
    (void)folder; // Windows writes a volume's caches out only for administrators; each move wrote through
#else
    Descriptor fd(openFolder(folder));
    if (fd.valid())
        ::syncfs(fd.get());
#endif
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
