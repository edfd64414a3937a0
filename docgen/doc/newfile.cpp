#include "doc/newfile.h"

#include "doc/error.h"

#include <cerrno>
#include <cstring>
#include <random>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>
#endif

namespace doc::fileio
{

namespace
{

// Gives from the name to, unless to exists. 0 or an errno value.
int moveWithoutReplacing(const std::filesystem::path& from, const std::filesystem::path& to)
{
#ifdef _WIN32
    if (::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH))
        return 0;
    return ::GetLastError() == ERROR_ALREADY_EXISTS || ::GetLastError() == ERROR_FILE_EXISTS ? EEXIST
                                                                                             : EACCES;
#else
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // A file system without the no-replace rename: a second link fails on a taken name too.
    if (::link(from.c_str(), to.c_str()) != 0)
        return errno;
    ::unlink(from.c_str());
    return 0;
#endif
}

#ifndef _WIN32
void flushFolder(const std::filesystem::path& folder)
{
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}
#endif

} // namespace

void publishFile(const std::filesystem::path& target, std::span<const std::uint8_t> bytes, Access access,
                 Flush flush)
{
    std::random_device random;
    std::filesystem::path temporary;
    for (int attempt = 0;; ++attempt) {
        temporary = target;
        temporary += ".tmp" + std::to_string(random() % 1000000);
        try {
            createFile(temporary, bytes, access, flush);
            break;
        } catch (const Error&) {
            std::error_code ignored;
            if (attempt == 15 || !std::filesystem::exists(temporary, ignored))
                throw;
        }
    }
    if (const int code = moveWithoutReplacing(temporary, target); code != 0) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        throw Error(Error::Kind::Io, "Cannot create " + displayName(target) + ": " + std::strerror(code));
    }
#ifndef _WIN32
    if (flush == Flush::ToDisk)
        flushFolder(target.parent_path());
#endif
}

void flushFileSystemOf(const std::filesystem::path& folder)
{
#ifdef _WIN32
    (void)folder; // Windows writes a volume's caches out only for administrators; MoveFileEx wrote through
#else
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::syncfs(fd);
        ::close(fd);
    }
#endif
}

} // namespace doc::fileio
