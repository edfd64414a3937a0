#include "doc/fileio.h"

#include "doc/error.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace doc::fileio
{

namespace
{

[[noreturn]] void fail(const std::string& what, const std::filesystem::path& path, int code)
{
    throw Error(Error::Kind::Io, what + " " + displayName(path) + ": " + std::strerror(code));
}

[[noreturn]] void fail(const std::string& what, const std::filesystem::path& path, const std::string& reason)
{
    throw Error(Error::Kind::Io, what + " " + displayName(path) + ": " + reason);
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
    return ::_wopen(path.c_str(), _O_RDONLY | _O_BINARY);
}
int openExclusive(const std::filesystem::path& path)
{
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
    return ::_read(fd, to, static_cast<unsigned>(std::min<std::size_t>(count, 1U << 30)));
}
long long writeSome(int fd, const std::uint8_t* from, std::size_t count)
{
    return ::_write(fd, from, static_cast<unsigned>(std::min<std::size_t>(count, 1U << 30)));
}
int flushToDisk(int fd)
{
    return ::_commit(fd);
}
// Windows gives new files the folder's inherited access; there is no umask to apply.
int setAccess(int, Access)
{
    return 0;
}
int renameOver(const std::filesystem::path& from, const std::filesystem::path& to)
{
    constexpr DWORD kFlags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
    if (::MoveFileExW(from.c_str(), to.c_str(), kFlags))
        return 0;
    // A read-only target refuses to be replaced until its mark is taken away.
    const DWORD attributes = ::GetFileAttributesW(to.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
        ::SetFileAttributesW(to.c_str(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY}) &&
        ::MoveFileExW(from.c_str(), to.c_str(), kFlags))
        return 0;
    errno = EACCES;
    return -1;
}
void flushFolder(const std::filesystem::path&) {}
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
int setAccess(int fd, Access access)
{
    if (access == Access::OwnerOnly)
        return 0;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return ::fchmod(fd, (S_IRUSR | S_IWUSR | S_IRGRP | S_IWGRP | S_IROTH | S_IWOTH) & ~mask);
}
int renameOver(const std::filesystem::path& from, const std::filesystem::path& to)
{
    return ::rename(from.c_str(), to.c_str());
}
// The rename itself reaches the disk only with its folder.
void flushFolder(const std::filesystem::path& folder)
{
    Descriptor fd(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.valid())
        ::fsync(fd.get());
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

// Writes, flushes and closes fd; on failure removes path and throws.
void finish(Descriptor& fd, std::span<const std::uint8_t> bytes, const std::filesystem::path& path,
            Access access, Flush flush, const std::filesystem::path& reportedPath)
{
    try {
        if (setAccess(fd.get(), access) != 0)
            fail("Cannot write", reportedPath, errno);
        writeAll(fd.get(), bytes, reportedPath);
        if (flush == Flush::ToDisk && flushToDisk(fd.get()) != 0)
            fail("Cannot write", reportedPath, errno);
        if (fd.close() != 0)
            fail("Cannot write", reportedPath, errno);
    } catch (...) {
        fd.close();
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
        throw;
    }
}

} // namespace

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
    Descriptor fd(openExclusive(path));
    if (!fd.valid())
        fail("Cannot create", path, errno);
    finish(fd, bytes, path, access, flush, path);
}

void replaceFile(const std::filesystem::path& target, std::span<const std::uint8_t> bytes, Access access,
                 Flush flush)
{
    std::random_device random;
    std::filesystem::path temporary;
    int fd = -1;
    int lastError = EEXIST;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        temporary = target;
        temporary += ".tmp" + std::to_string(random() % 1000000);
        fd = openExclusive(temporary);
        if (fd < 0)
            lastError = errno;
        if (fd < 0 && lastError != EEXIST)
            break;
    }
    if (fd < 0)
        fail("Cannot write", target, lastError);
    Descriptor out(fd);
    finish(out, bytes, temporary, access, flush, target);
    if (renameOver(temporary, target) != 0) {
        const int code = errno;
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        fail("Cannot write", target, code);
    }
    if (flush == Flush::ToDisk)
        flushFolder(target.parent_path());
}

} // namespace doc::fileio
