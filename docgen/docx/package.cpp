#include "docx/package.h"

#include "doc/bytes.h"
#include "doc/error.h"

#include <minizip/unzip.h>
#include <minizip/zip.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <numeric>
#include <optional>
#include <unordered_set>

namespace docx
{

namespace
{

// Below this size an entry may pack as tightly as it likes: a few kilobytes of zeros are no bomb.
constexpr std::size_t kRatioFreeBytes = 4096;
// General purpose flags ([APPNOTE] 4.4.4): encrypted, and the name in UTF-8.
constexpr unsigned long kFlagEncrypted = 1u << 0;
constexpr unsigned long kFlagUtf8Name = 1u << 11;
// Every entry is dated the day zip's DOS time starts, so that the same entries always give the
// same bytes.
constexpr unsigned kDosEpochYear = 1980;

char lowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}

bool sameName(std::string_view a, std::string_view b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return lowerAscii(x) == lowerAscii(y); });
}

// The zip library reads and writes through these callbacks: an archive in memory, never a file.
struct MemoryFile {
    std::span<const std::uint8_t> in;
    std::vector<std::uint8_t>* out = nullptr;
    std::uint64_t position = 0;

    std::uint64_t size() const { return out ? out->size() : in.size(); }
    static MemoryFile& of(voidpf stream) { return *static_cast<MemoryFile*>(stream); }

    static voidpf ZCALLBACK open(voidpf opaque, const void*, int) { return opaque; }

    static uLong ZCALLBACK read(voidpf, voidpf stream, void* buffer, uLong count)
    {
        MemoryFile& f = of(stream);
        if (f.position >= f.in.size())
            return 0;
        const auto n = static_cast<uLong>(std::min<std::uint64_t>(count, f.in.size() - f.position));
        std::copy_n(f.in.begin() + static_cast<std::ptrdiff_t>(f.position), n,
                    static_cast<std::uint8_t*>(buffer));
        f.position += n;
        return n;
    }

    static uLong ZCALLBACK write(voidpf, voidpf stream, const void* buffer, uLong count)
    {
        MemoryFile& f = of(stream);
        if (!f.out)
            return 0;
        const auto* bytes = static_cast<const std::uint8_t*>(buffer);
        const auto end = static_cast<std::size_t>(f.position) + count;
        if (end > f.out->size())
            f.out->resize(end);
        std::copy_n(bytes, count, f.out->begin() + static_cast<std::ptrdiff_t>(f.position));
        f.position = end;
        return count;
    }

    static ZPOS64_T ZCALLBACK tell(voidpf, voidpf stream) { return of(stream).position; }

    static long ZCALLBACK seek(voidpf, voidpf stream, ZPOS64_T offset, int origin)
    {
        MemoryFile& f = of(stream);
        std::uint64_t base = 0;
        if (origin == ZLIB_FILEFUNC_SEEK_CUR)
            base = f.position;
        else if (origin == ZLIB_FILEFUNC_SEEK_END)
            base = f.size();
        if (offset > f.size() || base > f.size() - offset)
            return -1;
        f.position = base + offset;
        return 0;
    }

    static int ZCALLBACK close(voidpf, voidpf) { return 0; }
    static int ZCALLBACK error(voidpf, voidpf) { return 0; }

    zlib_filefunc64_def functions()
    {
        zlib_filefunc64_def f{};
        f.zopen64_file = &open;
        f.zread_file = &read;
        f.zwrite_file = &write;
        f.ztell64_file = &tell;
        f.zseek64_file = &seek;
        f.zclose_file = &close;
        f.zerror_file = &error;
        f.opaque = this;
        return f;
    }
};

[[noreturn]] void corrupt(const std::string& what)
{
    throw doc::Error(doc::Error::Kind::Corrupt, "damaged zip archive: " + what);
}

[[noreturn]] void tooLarge(const std::string& what)
{
    throw doc::Error(doc::Error::Kind::Io, "package too large: " + what);
}

// A name that could reach outside a folder it were unpacked to, or that two systems read apart.
bool isUnsafeName(std::string_view name)
{
    if (name.empty() || name.front() == '/' || name.find('\\') != std::string_view::npos ||
        name.find('\0') != std::string_view::npos)
        return true;
    if (name.size() >= 2 && name[1] == ':' &&
        ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z')))
        return true;
    std::size_t start = 0;
    while (start <= name.size()) {
        const std::size_t slash = std::min(name.find('/', start), name.size());
        if (name.substr(start, slash - start) == "..")
            return true;
        start = slash + 1;
    }
    return false;
}

struct UnzipClose {
    void operator()(void* file) const { unzClose(file); }
};

struct Declared {
    std::string name;
    std::size_t bytes = 0;
    std::size_t packedBytes = 0;
    std::uint32_t crc = 0;
    bool deflated = false;
};

// Every entry's name and declared size from the central directory, checked against the limits
// before anything is unpacked.
std::vector<Declared> directory(unzFile zip, std::size_t archiveBytes, const PackageLimits& limits)
{
    unz_global_info64 global{};
    if (unzGetGlobalInfo64(zip, &global) != UNZ_OK)
        corrupt("no central directory");
    if (global.number_entry > limits.maxEntries)
        tooLarge(std::to_string(global.number_entry) + " entries");

    std::vector<Declared> entries;
    entries.reserve(static_cast<std::size_t>(global.number_entry));
    std::unordered_set<std::string> seen;
    std::size_t total = 0;
    std::vector<char> nameBuffer(USHRT_MAX + 1);
    for (int status = unzGoToFirstFile(zip); status != UNZ_END_OF_LIST_OF_FILE;
         status = unzGoToNextFile(zip)) {
        unz_file_info64 info{};
        if (status != UNZ_OK ||
            unzGetCurrentFileInfo64(zip, &info, nameBuffer.data(), static_cast<uLong>(nameBuffer.size()),
                                    nullptr, 0, nullptr, 0) != UNZ_OK)
            corrupt("a bad central directory entry");
        std::string name(nameBuffer.data(), std::min<std::size_t>(info.size_filename, nameBuffer.size()));
        if (isUnsafeName(name))
            corrupt("an entry named \"" + name + "\"");
        std::string key = name;
        std::transform(key.begin(), key.end(), key.begin(), lowerAscii);
        if (!seen.insert(std::move(key)).second)
            corrupt("\"" + name + "\" stored twice");
        if (info.flag & kFlagEncrypted)
            throw doc::Error(doc::Error::Kind::Unsupported, "encrypted zip entry: " + name);
        if (info.compression_method != 0 && info.compression_method != Z_DEFLATED)
            throw doc::Error(doc::Error::Kind::Unsupported, "zip entry compressed with method " +
                                                                std::to_string(info.compression_method) +
                                                                ": " + name);
        if (info.compressed_size > archiveBytes)
            corrupt("\"" + name + "\" larger than the archive");
        if (info.uncompressed_size > limits.maxEntryBytes)
            tooLarge("\"" + name + "\" unpacks to " + std::to_string(info.uncompressed_size) + " bytes");
        const auto bytes = static_cast<std::size_t>(info.uncompressed_size);
        const auto packed = std::max<std::size_t>(static_cast<std::size_t>(info.compressed_size), 1);
        if (bytes > kRatioFreeBytes && bytes / std::max<std::size_t>(limits.maxRatio, 1) > packed)
            tooLarge("\"" + name + "\" unpacks to " + std::to_string(bytes / packed) + " times its size");
        const auto sum = doc::checkedAdd(total, bytes);
        if (!sum || *sum > limits.maxTotalBytes)
            tooLarge("the entries unpack to more than " + std::to_string(limits.maxTotalBytes) + " bytes");
        total = *sum;
        entries.push_back({std::move(name), bytes, static_cast<std::size_t>(info.compressed_size),
                           static_cast<std::uint32_t>(info.crc), info.compression_method == Z_DEFLATED});
    }
    if (entries.size() != global.number_entry)
        corrupt("a short central directory");
    return entries;
}

// Reads the open entry into bytes, up to its size; returns how many bytes the entry gave.
std::size_t readCurrent(unzFile zip, std::vector<std::uint8_t>& bytes)
{
    std::size_t got = 0;
    while (got < bytes.size()) {
        const auto chunk = static_cast<unsigned>(std::min<std::size_t>(bytes.size() - got, INT_MAX));
        const int n = unzReadCurrentFile(zip, bytes.data() + got, chunk);
        if (n <= 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    return got;
}

// The current entry as it is packed in the archive.
std::vector<std::uint8_t> packedBytes(unzFile zip, const Declared& entry)
{
    int method = 0;
    int level = 0;
    if (unzOpenCurrentFile2(zip, &method, &level, 1) != UNZ_OK)
        corrupt("\"" + entry.name + "\" cannot be opened");
    std::vector<std::uint8_t> bytes(entry.packedBytes);
    const std::size_t got = readCurrent(zip, bytes);
    unzCloseCurrentFile(zip);
    if (got != bytes.size())
        corrupt("\"" + entry.name + "\" runs past the archive");
    return bytes;
}

// The current entry's bytes, no more than it declares: the zip library unpacks no further, and
// a stream that ends sooner or whose checksum differs (as one that runs longer does) is refused.
std::vector<std::uint8_t> unpack(unzFile zip, const Declared& entry)
{
    if (unzOpenCurrentFile(zip) != UNZ_OK)
        corrupt("\"" + entry.name + "\" cannot be opened");
    std::vector<std::uint8_t> bytes(entry.bytes);
    const std::size_t got = readCurrent(zip, bytes);
    const int closed = unzCloseCurrentFile(zip);
    if (got != bytes.size())
        corrupt("\"" + entry.name + "\" ends before the size it declares");
    if (closed != UNZ_OK)
        corrupt("\"" + entry.name + "\" fails its checksum");
    return bytes;
}

[[noreturn]] void cannotWrite(const Entry& entry)
{
    throw doc::Error(doc::Error::Kind::Io, "cannot write the zip entry " + entry.name);
}

struct ZipClose {
    void operator()(void* file) const { zipClose(file, nullptr); }
};

// One deflate stream, reset between entries: its state is a quarter of a megabyte, more than most
// parts it packs, and setting it up again for each (the memory fresh from the system each time)
// cost more than packing a whole agreement.
class Deflater
{
public:
    Deflater()
    {
        if (deflateInit2(&mStream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, DEF_MEM_LEVEL,
                         Z_DEFAULT_STRATEGY) != Z_OK)
            throw std::bad_alloc();
    }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;
    ~Deflater() { deflateEnd(&mStream); }

    // Hands the raw deflate stream of bytes to write, a piece at a time.
    template <typename Write> void pack(std::span<const std::uint8_t> bytes, Write write)
    {
        deflateReset(&mStream);
        std::size_t in = 0;
        int status = Z_OK;
        while (status != Z_STREAM_END) {
            const auto inChunk = std::min<std::size_t>(bytes.size() - in, UINT_MAX);
            mStream.next_in = const_cast<Bytef*>(bytes.data() + in);
            mStream.avail_in = static_cast<uInt>(inChunk);
            mStream.next_out = mPacked.data();
            mStream.avail_out = static_cast<uInt>(mPacked.size());
            status = deflate(&mStream, in + inChunk == bytes.size() ? Z_FINISH : Z_NO_FLUSH);
            if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR)
                throw std::bad_alloc();
            in += inChunk - mStream.avail_in;
            write(std::span(mPacked).first(mPacked.size() - mStream.avail_out));
        }
    }

private:
    z_stream mStream{};
    std::vector<std::uint8_t> mPacked = std::vector<std::uint8_t>(std::size_t{64} << 10);
};

// Opens an entry for its packed bytes, which write() then hands over.
void open(zipFile zip, const Entry& entry, bool deflated)
{
    zip_fileinfo info{};
    info.tmz_date.tm_year = kDosEpochYear;
    info.tmz_date.tm_mday = 1;
    const bool ascii = std::all_of(entry.name.begin(), entry.name.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    const int zip64 = entry.bytes.size() >= 0xffffffffu ? 1 : 0;
    if (zipOpenNewFileInZip4_64(zip, entry.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                deflated ? Z_DEFLATED : 0, Z_DEFAULT_COMPRESSION, 1, -MAX_WBITS,
                                DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, nullptr, 0, 0, ascii ? 0 : kFlagUtf8Name,
                                zip64) != ZIP_OK)
        cannotWrite(entry);
}

void put(zipFile zip, const Entry& entry, std::span<const std::uint8_t> packed)
{
    for (std::size_t done = 0; done < packed.size();) {
        const auto chunk = static_cast<unsigned>(std::min<std::size_t>(packed.size() - done, UINT_MAX));
        if (zipWriteInFileInZip(zip, packed.data() + done, chunk) != ZIP_OK)
            cannotWrite(entry);
        done += chunk;
    }
}

void close(zipFile zip, const Entry& entry, std::uint32_t crc)
{
    if (zipCloseFileInZipRaw64(zip, entry.bytes.size(), crc) != ZIP_OK)
        cannotWrite(entry);
}

} // namespace

Package Package::read(std::span<const std::uint8_t> bytes, const PackageLimits& limits)
{
    MemoryFile file{bytes};
    zlib_filefunc64_def functions = file.functions();
    const std::unique_ptr<void, UnzipClose> zip(unzOpen2_64(nullptr, &functions));
    if (!zip) {
        // A damaged archive still begins with a zip record's signature.
        if (bytes.size() >= 2 && bytes[0] == 'P' && bytes[1] == 'K')
            corrupt("no end of central directory");
        throw doc::Error(doc::Error::Kind::NotWordDocument, "not a zip archive");
    }
    const std::vector<Declared> declared = directory(zip.get(), bytes.size(), limits);
    Package package;
    package.mEntries.reserve(declared.size());
    package.mPacked.reserve(declared.size());
    std::size_t index = 0;
    for (int status = unzGoToFirstFile(zip.get()); index < declared.size();
         status = unzGoToNextFile(zip.get())) {
        if (status != UNZ_OK)
            corrupt("a bad central directory entry");
        const Declared& entry = declared[index++];
        package.mPacked.push_back(Packed{packedBytes(zip.get(), entry), entry.crc, entry.deflated});
        package.mEntries.push_back({entry.name, unpack(zip.get(), entry)});
    }
    return package;
}

const Entry* Package::find(std::string_view name) const
{
    const auto it = std::find_if(mEntries.begin(), mEntries.end(),
                                 [name](const Entry& e) { return sameName(e.name, name); });
    return it == mEntries.end() ? nullptr : &*it;
}

void Package::set(std::string name, std::vector<std::uint8_t> bytes)
{
    const auto it = std::find_if(mEntries.begin(), mEntries.end(),
                                 [&name](const Entry& e) { return sameName(e.name, name); });
    if (it != mEntries.end()) {
        it->bytes = std::move(bytes);
        mPacked[static_cast<std::size_t>(it - mEntries.begin())].reset();
    } else {
        mEntries.push_back({std::move(name), std::move(bytes)});
        mPacked.emplace_back();
    }
}

std::vector<std::uint8_t> Package::write() const
{
    std::vector<std::uint8_t> out;
    out.reserve(std::accumulate(mEntries.begin(), mEntries.end(), std::size_t{0},
                                [](std::size_t sum, const Entry& e) { return sum + e.bytes.size() / 4; }));
    MemoryFile file;
    file.out = &out;
    zlib_filefunc64_def functions = file.functions();
    std::unique_ptr<void, ZipClose> zip(zipOpen2_64(nullptr, APPEND_STATUS_CREATE, nullptr, &functions));
    if (!zip)
        throw doc::Error(doc::Error::Kind::Io, "cannot write the zip archive");
    const auto add = [&zip, this](std::size_t i) {
        const Entry& entry = mEntries[i];
        if (const auto& packed = mPacked[i]) {
            open(zip.get(), entry, packed->deflated);
            put(zip.get(), entry, packed->bytes);
            close(zip.get(), entry, packed->crc);
            return;
        }
        thread_local Deflater deflater;
        open(zip.get(), entry, true);
        deflater.pack(entry.bytes,
                      [&](std::span<const std::uint8_t> packed) { put(zip.get(), entry, packed); });
        close(zip.get(), entry,
              static_cast<std::uint32_t>(crc32_z(0, entry.bytes.data(), entry.bytes.size())));
    };
    const Entry* contentTypes = find(kContentTypesName);
    const std::size_t first =
        contentTypes ? static_cast<std::size_t>(contentTypes - mEntries.data()) : mEntries.size();
    if (contentTypes)
        add(first);
    for (std::size_t i = 0; i < mEntries.size(); ++i) {
        if (i != first)
            add(i);
    }
    if (zipClose(zip.release(), nullptr) != ZIP_OK)
        throw doc::Error(doc::Error::Kind::Io, "cannot write the zip archive");
    return out;
}

} // namespace docx
