#include "doc/fileio.h"
#include "doc/fileio_system.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

namespace doc::fileio
{

std::string reasonFor(int code)
{
    // The C runtime keeps the system's own code beside errno for failures that came from it.
    const unsigned long system = _doserrno;
    return system != 0 ? windowsReason(system) : std::strerror(code);
}

int closeDescriptor(int fd)
{
    return ::_close(fd);
}

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
int statOpen(int fd, OpenFileInfo& info)
{
    struct ::_stat64 status {
    };
    if (::_fstat64(fd, &status) != 0)
        return -1;
    info.regular = (status.st_mode & _S_IFMT) == _S_IFREG;
    info.size = static_cast<unsigned long long>(status.st_size);
    return 0;
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
// Windows has no sticky folders: a link is followed wherever the system itself follows one.
void refuseForeignLink(const std::filesystem::path&, const std::filesystem::path&) {}
// ReplaceFileW would move a folder at the name aside rather than refuse it.
const char* notAFileKind(const std::filesystem::path& destination)
{
    const DWORD attributes = ::GetFileAttributesW(destination.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) ? "a folder"
                                                                                            : nullptr;
}
// A replaced file keeps its access list, attributes and read-only mark. Throws with Windows'
// reason.
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

void placeFile(const std::filesystem::path& target, const std::filesystem::path& destination,
               std::span<const std::uint8_t> bytes, Access access, Flush flush, Placement placement)
{
    placeThroughNamedTemporary(destination, bytes, keptFrom(destination, access), flush, target, placement);
}

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

// A user's own folders are closed to other users; nothing here was planted by one.
bool isAnotherUsers(const std::filesystem::path&)
{
    return false;
}

bool isPrivateFile(const std::filesystem::path& path)
{
    Descriptor fd(openForReading(path, Links::Refuse));
    if (!fd.valid())
        return false;
    OpenFileInfo info;
    if (statOpen(fd.get(), info) != 0 || !info.regular)
        return false;
    // Folder access lists decide who may write; a reparse point is never ours to trust.
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

void flushFileSystemOf(const std::filesystem::path&)
{
    // Windows writes a volume's caches out only for administrators; each move wrote through.
}

} // namespace doc::fileio
