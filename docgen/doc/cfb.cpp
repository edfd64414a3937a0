#include "doc/cfb.h"

#include "doc/utf.h"

#include "doc/bytes.h"
#include "doc/error.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <map>
#include <optional>
#include <utility>

namespace doc
{

namespace
{

constexpr std::array<std::uint8_t, 8> kSignature{0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr std::size_t kHeaderSize = 512;

// Compound File Header ([MS-CFB] 2.2).
namespace header
{
constexpr std::size_t minorVersion = 0x18;
constexpr std::size_t majorVersion = 0x1A;
constexpr std::size_t byteOrder = 0x1C;
constexpr std::size_t sectorShift = 0x1E;
constexpr std::size_t miniSectorShift = 0x20;
constexpr std::size_t numFatSectors = 0x2C;
constexpr std::size_t firstDirectorySector = 0x30;
constexpr std::size_t miniStreamCutoffSize = 0x38;
constexpr std::size_t firstMiniFatSector = 0x3C;
constexpr std::size_t numMiniFatSectors = 0x40;
constexpr std::size_t firstDifatSector = 0x44;
constexpr std::size_t numDifatSectors = 0x48;
constexpr std::size_t difat = 0x4C;
constexpr std::size_t kDifatEntries = 109;
} // namespace header

// Compound File Directory Entry ([MS-CFB] 2.6.1).
namespace dirent
{
constexpr std::size_t size = 128;
constexpr std::size_t name = 0;
constexpr std::size_t nameLength = 64;
constexpr std::size_t objectType = 66;
constexpr std::size_t colorFlag = 67;
constexpr std::size_t leftSiblingId = 68;
constexpr std::size_t rightSiblingId = 72;
constexpr std::size_t childId = 76;
constexpr std::size_t startingSectorLocation = 116;
constexpr std::size_t streamSize = 120;
} // namespace dirent

constexpr std::uint32_t MAXREGSECT = 0xFFFFFFFA;
constexpr std::uint32_t DIFSECT = 0xFFFFFFFC;
constexpr std::uint32_t FATSECT = 0xFFFFFFFD;
constexpr std::uint32_t ENDOFCHAIN = 0xFFFFFFFE;
constexpr std::uint32_t FREESECT = 0xFFFFFFFF;
constexpr std::uint32_t NOSTREAM = 0xFFFFFFFF;
constexpr std::uint8_t kRed = 0;
constexpr std::uint8_t kBlack = 1;
constexpr std::size_t kMaxNameUnits = dirent::nameLength / 2 - 1;

enum ObjectType : std::uint8_t {
    UnknownOrUnallocated = 0,
    StorageObject = 1,
    StreamObject = 2,
    RootStorageObject = 5
};

constexpr std::uint64_t kMiniStreamCutoffSize = 4096;
constexpr std::size_t kMiniSectorSize = 64;
constexpr std::uint16_t kMiniSectorShift = 6;
constexpr std::size_t kMaxStorageDepth = 16;
constexpr std::size_t kWrittenSectorSize = 512;
constexpr std::uint16_t kWrittenSectorShift = 9;

using RawEntry = std::array<std::uint8_t, dirent::size>;

[[noreturn]] void notCompoundFile()
{
    throw Error(Error::Kind::NotCompoundFile, "not a compound file");
}

[[noreturn]] void truncated()
{
    throw Error(Error::Kind::Truncated, "truncated compound file");
}

[[noreturn]] void corrupt(const std::string& what)
{
    throw Error(Error::Kind::Corrupt, "corrupt compound file: " + what);
}

[[noreturn]] void unsupported(const std::string& what)
{
    throw Error(Error::Kind::Unsupported, "unsupported compound file: " + what);
}

std::uint32_t loadU32(std::span<const std::uint8_t> data, std::size_t offset)
{
    ByteCursor c(data, offset);
    const std::uint32_t v = c.u32();
    assert(c.ok());
    return v;
}

std::uint64_t ceilDiv(std::uint64_t value, std::uint64_t divisor)
{
    return value / divisor + (value % divisor != 0 ? 1 : 0);
}

// The entry's name as stored.
std::u16string entryUnits(const RawEntry& raw)
{
    ByteCursor c(raw, dirent::nameLength);
    const std::uint16_t lengthBytes = c.u16();
    if (lengthBytes > dirent::nameLength || lengthBytes % 2 != 0)
        corrupt("bad entry name");
    std::u16string units;
    c.seek(dirent::name);
    for (std::size_t i = 0; i < lengthBytes / 2; ++i) {
        const char16_t u = c.u16();
        if (u == 0)
            break;
        units += u;
    }
    return units;
}

// The entry's name as UTF-8; unpaired surrogates become U+FFFD.
std::string entryName(const RawEntry& raw)
{
    return utf::toUtf8(entryUnits(raw));
}

// The order of siblings in a storage's tree ([MS-CFB] 2.6.4): shorter names first, then
// unit by unit in upper case.
int compareNames(const std::u16string& a, const std::u16string& b)
{
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const char16_t x = utf::toUpper(a[i]);
        const char16_t y = utf::toUpper(b[i]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    return 0;
}

RawEntry unusedEntry()
{
    RawEntry raw{};
    storeU32(raw, dirent::leftSiblingId, NOSTREAM);
    storeU32(raw, dirent::rightSiblingId, NOSTREAM);
    storeU32(raw, dirent::childId, NOSTREAM);
    return raw;
}

struct Entry {
    RawEntry raw{};      // as read; the writer patches only start sector and size
    bool stream = false; // a stream reachable from the root, with its data loaded
    bool inRoot = false; // reachable, and a child of the root
    std::string path;
    std::vector<std::uint8_t> data;
};

} // namespace

struct CompoundFile::Impl {
    std::vector<Entry> entries;
    std::map<std::string, std::size_t> streams; // path -> index into entries

    const Entry& find(const std::string& path) const;
    void addRootStream(const std::string& name, std::vector<std::uint8_t> data);
    void rebuildRootTree();
};

const Entry& CompoundFile::Impl::find(const std::string& path) const
{
    const auto it = streams.find(path);
    if (it == streams.end())
        throw Error(Error::Kind::Corrupt, "no such stream: " + path);
    return entries[it->second];
}

namespace
{

// Loads a compound file's directory and streams, trusting no count or link it has not checked.
class Reader
{
public:
    explicit Reader(std::span<const std::uint8_t> file) : mFile(file) {}

    std::vector<Entry> read(std::map<std::string, std::size_t>& streams);

private:
    void readHeader();
    void readFat();
    void readDirectory();
    void readMiniStream();
    void walkTree(std::map<std::string, std::size_t>& streams);
    std::vector<std::uint8_t> streamData(const RawEntry& raw);

    std::span<const std::uint8_t> sectorBytes(std::uint32_t sector, std::size_t length) const;
    std::vector<std::uint32_t> walk(bool mini, std::uint32_t start, std::optional<std::uint64_t> count);
    std::uint64_t entrySize(const RawEntry& raw) const;

    std::span<const std::uint8_t> mFile;
    std::size_t mSectorShift = 0;
    std::size_t mSectorSize = 0;
    std::uint64_t mSectorCount = 0; // sectors that begin inside the file
    bool mVersion4 = false;
    std::uint32_t mNumFatSectors = 0;
    std::uint32_t mFirstDirectorySector = 0;
    std::uint32_t mFirstMiniFatSector = 0;
    std::uint32_t mNumMiniFatSectors = 0;
    std::uint32_t mFirstDifatSector = 0;
    std::uint32_t mNumDifatSectors = 0;

    std::vector<std::uint32_t> mFat;
    std::vector<std::uint32_t> mMiniFat;
    // Which chain claimed each sector (0: none), so a loop and two chains sharing a
    // sector are both caught and no byte of the file is copied twice.
    std::vector<std::uint32_t> mOwner;
    std::vector<std::uint32_t> mMiniOwner;
    std::uint32_t mChainSerial = 0;
    std::vector<std::uint8_t> mMiniStream;
    std::vector<Entry> mEntries;
};

std::vector<Entry> Reader::read(std::map<std::string, std::size_t>& streams)
{
    readHeader();
    readFat();
    readDirectory();
    readMiniStream();
    walkTree(streams);
    return std::move(mEntries);
}

void Reader::readHeader()
{
    const std::size_t signatureSeen = std::min(mFile.size(), kSignature.size());
    if (signatureSeen == 0 ||
        !std::equal(mFile.begin(), mFile.begin() + static_cast<std::ptrdiff_t>(signatureSeen),
                    kSignature.begin()))
        notCompoundFile();
    if (mFile.size() < kHeaderSize)
        truncated();

    ByteCursor c(mFile, header::minorVersion);
    c.u16(); // minor version: any value is accepted, as other readers do
    const std::uint16_t majorVersion = c.u16();
    const std::uint16_t byteOrder = c.u16();
    const std::uint16_t sectorShift = c.u16();
    const std::uint16_t miniSectorShift = c.u16();
    assert(c.offset() == header::miniSectorShift + 2);

    if (byteOrder != 0xFFFE)
        corrupt("bad byte order");
    if (majorVersion != 3 && majorVersion != 4)
        unsupported("version " + std::to_string(majorVersion));
    mVersion4 = majorVersion == 4;
    if (sectorShift != (mVersion4 ? 12 : 9))
        corrupt("bad sector shift");
    if (miniSectorShift != kMiniSectorShift)
        corrupt("bad mini sector shift");
    if (loadU32(mFile, header::miniStreamCutoffSize) != kMiniStreamCutoffSize)
        corrupt("bad mini stream cutoff");

    mSectorShift = sectorShift;
    mSectorSize = std::size_t{1} << sectorShift;
    // A version 4 header fills a whole 4096-byte sector.
    if (mFile.size() < mSectorSize)
        truncated();
    mSectorCount = ceilDiv(mFile.size() - mSectorSize, mSectorSize);

    mNumFatSectors = loadU32(mFile, header::numFatSectors);
    mFirstDirectorySector = loadU32(mFile, header::firstDirectorySector);
    mFirstMiniFatSector = loadU32(mFile, header::firstMiniFatSector);
    mNumMiniFatSectors = loadU32(mFile, header::numMiniFatSectors);
    mFirstDifatSector = loadU32(mFile, header::firstDifatSector);
    mNumDifatSectors = loadU32(mFile, header::numDifatSectors);

    if (mNumFatSectors == 0 || mNumFatSectors > mSectorCount)
        corrupt("bad FAT sector count");
    const std::uint64_t kFatSectorsPerDifatSector = mSectorSize / 4 - 1;
    if (mNumDifatSectors > mSectorCount ||
        mNumFatSectors > header::kDifatEntries + mNumDifatSectors * kFatSectorsPerDifatSector)
        corrupt("bad DIFAT sector count");
    if (mNumMiniFatSectors > mSectorCount)
        corrupt("bad mini FAT sector count");
}

std::span<const std::uint8_t> Reader::sectorBytes(std::uint32_t sector, std::size_t length) const
{
    assert(length <= mSectorSize);
    if (sector > MAXREGSECT)
        corrupt("bad sector number");
    const std::uint64_t offset = (std::uint64_t{sector} + 1) << mSectorShift;
    if (!rangeFits(mFile.size(), offset, length))
        truncated();
    return mFile.subspan(static_cast<std::size_t>(offset), length);
}

void Reader::readFat()
{
    // The DIFAT: the first 109 FAT sector numbers sit in the header, the rest in a chain of
    // DIFAT sectors whose last entry links to the next.
    std::vector<std::uint32_t> fatSectors;
    fatSectors.reserve(mNumFatSectors);
    for (std::size_t i = 0; i < header::kDifatEntries && fatSectors.size() < mNumFatSectors; ++i)
        fatSectors.push_back(loadU32(mFile, header::difat + 4 * i));

    std::vector<std::uint32_t> difatSectors;
    std::vector<bool> difatSeen(static_cast<std::size_t>(mSectorCount), false);
    const std::size_t perDifatSector = mSectorSize / 4 - 1;
    std::uint32_t next = mFirstDifatSector;
    while (fatSectors.size() < mNumFatSectors) {
        if (next >= mSectorCount) {
            if (next > MAXREGSECT)
                corrupt("broken DIFAT chain");
            truncated();
        }
        if (difatSeen[next])
            corrupt("DIFAT chain loops");
        difatSeen[next] = true;
        difatSectors.push_back(next);
        const auto sector = sectorBytes(next, mSectorSize);
        for (std::size_t i = 0; i < perDifatSector && fatSectors.size() < mNumFatSectors; ++i)
            fatSectors.push_back(loadU32(sector, 4 * i));
        next = loadU32(sector, 4 * perDifatSector);
    }

    mFat.reserve(fatSectors.size() * (mSectorSize / 4));
    for (std::uint32_t fatSector : fatSectors) {
        if (fatSector >= mSectorCount && fatSector <= MAXREGSECT)
            truncated();
        const auto sector = sectorBytes(fatSector, mSectorSize);
        for (std::size_t i = 0; i < mSectorSize / 4; ++i)
            mFat.push_back(loadU32(sector, 4 * i));
    }

    mOwner.assign(mFat.size(), 0);
    ++mChainSerial;
    for (std::uint32_t s : fatSectors) {
        if (s >= mOwner.size() || mOwner[s] != 0)
            corrupt("bad FAT sector");
        mOwner[s] = mChainSerial;
    }
    for (std::uint32_t s : difatSectors) {
        if (s >= mOwner.size() || mOwner[s] != 0)
            corrupt("bad DIFAT sector");
        mOwner[s] = mChainSerial;
    }
}

// The sectors of one chain: `count` of them when the length is known, else up to ENDOFCHAIN.
std::vector<std::uint32_t> Reader::walk(bool mini, std::uint32_t start, std::optional<std::uint64_t> count)
{
    const std::vector<std::uint32_t>& table = mini ? mMiniFat : mFat;
    std::vector<std::uint32_t>& owner = mini ? mMiniOwner : mOwner;
    const std::uint32_t serial = ++mChainSerial;
    if (count && *count > table.size())
        corrupt("stream size exceeds file");
    std::vector<std::uint32_t> chain;
    if (count)
        chain.reserve(static_cast<std::size_t>(*count));
    std::uint32_t sector = start;
    while (count ? chain.size() < *count : sector != ENDOFCHAIN) {
        if (sector >= table.size()) {
            if (sector == ENDOFCHAIN)
                corrupt("chain shorter than stream");
            if (!mini && sector <= MAXREGSECT)
                truncated();
            corrupt("bad sector number");
        }
        if (owner[sector] != 0)
            corrupt(owner[sector] == serial ? "sector chain loops" : "sector used twice");
        owner[sector] = serial;
        chain.push_back(sector);
        sector = table[sector];
    }
    return chain;
}

void Reader::readDirectory()
{
    const auto chain = walk(false, mFirstDirectorySector, std::nullopt);
    if (chain.empty())
        corrupt("no directory");
    const std::size_t perSector = mSectorSize / dirent::size;
    mEntries.reserve(chain.size() * perSector);
    for (std::uint32_t s : chain) {
        const auto sector = sectorBytes(s, mSectorSize);
        for (std::size_t i = 0; i < perSector; ++i) {
            Entry entry;
            std::copy_n(sector.begin() + static_cast<std::ptrdiff_t>(i * dirent::size), dirent::size,
                        entry.raw.begin());
            mEntries.push_back(std::move(entry));
        }
    }
    if (mEntries[0].raw[dirent::objectType] != RootStorageObject)
        corrupt("no root entry");
}

std::uint64_t Reader::entrySize(const RawEntry& raw) const
{
    const std::uint64_t size = ByteCursor(raw, dirent::streamSize).u64();
    // Version 3 writers may leave garbage in the high half.
    return mVersion4 ? size : (size & 0xFFFFFFFFu);
}

void Reader::readMiniStream()
{
    // The mini FAT's length is known only from its chain; its header count is advisory.
    // Some writers mark an absent mini FAT with FREESECT instead of ENDOFCHAIN.
    const bool noMiniFat = mNumMiniFatSectors == 0 && mFirstMiniFatSector > MAXREGSECT;
    for (std::uint32_t s : walk(false, noMiniFat ? ENDOFCHAIN : mFirstMiniFatSector, std::nullopt)) {
        const auto sector = sectorBytes(s, mSectorSize);
        for (std::size_t i = 0; i < mSectorSize / 4; ++i)
            mMiniFat.push_back(loadU32(sector, 4 * i));
    }
    mMiniOwner.assign(mMiniFat.size(), 0);

    const RawEntry& root = mEntries[0].raw;
    const std::uint64_t size = entrySize(root);
    const auto chain =
        walk(false, ByteCursor(root, dirent::startingSectorLocation).u32(), ceilDiv(size, mSectorSize));
    mMiniStream.reserve(std::min<std::uint64_t>(size, mFile.size()));
    for (std::uint32_t s : chain) {
        const std::size_t length = std::min<std::uint64_t>(mSectorSize, size - mMiniStream.size());
        const auto bytes = sectorBytes(s, length);
        mMiniStream.insert(mMiniStream.end(), bytes.begin(), bytes.end());
    }
}

std::vector<std::uint8_t> Reader::streamData(const RawEntry& raw)
{
    const std::uint64_t size = entrySize(raw);
    const std::uint32_t start = ByteCursor(raw, dirent::startingSectorLocation).u32();
    const bool mini = size < kMiniStreamCutoffSize;
    const std::size_t sectorSize = mini ? kMiniSectorSize : mSectorSize;
    const auto chain = walk(mini, start, ceilDiv(size, sectorSize));
    // The chain's sectors belong to this stream alone, but may lie past the end of a cut
    // file: the size is trusted only as far as the data is there.
    std::vector<std::uint8_t> data;
    data.reserve(std::min<std::uint64_t>(size, mini ? mMiniStream.size() : mFile.size()));
    for (std::uint32_t s : chain) {
        const std::size_t length = std::min<std::uint64_t>(sectorSize, size - data.size());
        if (mini) {
            const std::size_t offset = std::size_t{s} * kMiniSectorSize;
            if (!rangeFits(mMiniStream.size(), offset, length))
                corrupt("mini sector past mini stream");
            const auto bytes = std::span<const std::uint8_t>(mMiniStream).subspan(offset, length);
            data.insert(data.end(), bytes.begin(), bytes.end());
        } else {
            const auto bytes = sectorBytes(s, length);
            data.insert(data.end(), bytes.begin(), bytes.end());
        }
    }
    return data;
}

void Reader::walkTree(std::map<std::string, std::size_t>& streams)
{
    // The red-black trees are walked with an explicit stack, as a hostile file may chain
    // thousands of siblings. Each entry may be reached once only.
    struct Pending {
        std::uint32_t id;
        std::size_t parent; // the storage holding it; 0 is the root, whose path is empty
        std::size_t depth;  // storages above it, the root not counted
    };
    std::vector<bool> seen(mEntries.size(), false);
    seen[0] = true;
    std::vector<Pending> pending{{ByteCursor(mEntries[0].raw, dirent::childId).u32(), 0, 0}};
    while (!pending.empty()) {
        const Pending next = pending.back();
        pending.pop_back();
        if (next.id == NOSTREAM)
            continue;
        if (next.id >= mEntries.size())
            corrupt("bad directory link");
        if (seen[next.id])
            corrupt("directory tree loops");
        seen[next.id] = true;
        Entry& entry = mEntries[next.id];
        const std::uint8_t type = entry.raw[dirent::objectType];
        if (type != StorageObject && type != StreamObject)
            corrupt("bad directory entry");
        entry.inRoot = next.parent == 0;
        entry.path =
            next.parent == 0 ? entryName(entry.raw) : mEntries[next.parent].path + '/' + entryName(entry.raw);

        ByteCursor links(entry.raw, dirent::leftSiblingId);
        const std::uint32_t left = links.u32();
        const std::uint32_t right = links.u32();
        const std::uint32_t child = links.u32();
        assert(links.offset() == dirent::childId + 4);
        pending.push_back({left, next.parent, next.depth});
        pending.push_back({right, next.parent, next.depth});
        if (type == StorageObject) {
            // Paths grow with the depth; a cap keeps them, and so memory, proportional to
            // the file. Word documents nest three levels at most (ObjectPool/_id/stream).
            if (child != NOSTREAM && next.depth + 1 >= kMaxStorageDepth)
                unsupported("storages nested too deep");
            pending.push_back({child, next.id, next.depth + 1});
        } else {
            if (!streams.emplace(entry.path, next.id).second)
                corrupt("duplicate name");
            entry.data = streamData(entry.raw);
            entry.stream = true;
        }
    }
}

} // namespace

CompoundFile::CompoundFile() : d(std::make_unique<Impl>()) {}
CompoundFile::CompoundFile(CompoundFile&&) noexcept = default;
CompoundFile& CompoundFile::operator=(CompoundFile&&) noexcept = default;
CompoundFile::CompoundFile(const CompoundFile& other) : d(std::make_unique<Impl>(*other.d)) {}
CompoundFile::~CompoundFile() = default;

CompoundFile& CompoundFile::operator=(const CompoundFile& other)
{
    if (this != &other)
        d = std::make_unique<Impl>(*other.d);
    return *this;
}

CompoundFile CompoundFile::parse(std::span<const std::uint8_t> bytes)
{
    CompoundFile file;
    file.d->entries = Reader(bytes).read(file.d->streams);
    return file;
}

bool CompoundFile::hasStream(const std::string& path) const
{
    return d->streams.count(path) != 0;
}

const std::vector<std::uint8_t>& CompoundFile::stream(const std::string& path) const
{
    return d->find(path).data;
}

void CompoundFile::setStream(const std::string& path, std::vector<std::uint8_t> data)
{
    // A version 3 file records stream sizes in 32 bits.
    if (data.size() > 0xFFFFFFFFu)
        throw Error(Error::Kind::BadArgument, "stream too large: " + path);
    const auto it = d->streams.find(path);
    if (it != d->streams.end())
        d->entries[it->second].data = std::move(data);
    else if (path.find('/') == std::string::npos)
        d->addRootStream(path, std::move(data));
    else
        throw Error(Error::Kind::BadArgument, "no such stream: " + path);
}

void CompoundFile::Impl::addRootStream(const std::string& name, std::vector<std::uint8_t> data)
{
    const std::u16string units = utf::fromUtf8(name);
    if (units.empty() || units.size() > kMaxNameUnits || utf::toUtf8(units) != name ||
        units.find_first_of(u"/\\:!") != std::u16string::npos)
        throw Error(Error::Kind::BadArgument, "bad stream name: " + name);
    for (const Entry& entry : entries) {
        if (entry.inRoot && compareNames(entryUnits(entry.raw), units) == 0)
            throw Error(Error::Kind::BadArgument, "name taken: " + name);
    }

    Entry entry;
    entry.raw = unusedEntry();
    for (std::size_t i = 0; i < units.size(); ++i)
        storeU16(entry.raw, dirent::name + 2 * i, units[i]);
    storeU16(entry.raw, dirent::nameLength, static_cast<std::uint16_t>(2 * (units.size() + 1)));
    entry.raw[dirent::objectType] = StreamObject;
    entry.stream = true;
    entry.inRoot = true;
    entry.path = name;
    entry.data = std::move(data);
    // An unallocated slot is taken first: nothing links to it.
    const auto slot = std::find_if(entries.begin() + 1, entries.end(), [](const Entry& e) {
        return e.raw[dirent::objectType] == UnknownOrUnallocated;
    });
    const std::size_t index = static_cast<std::size_t>(slot - entries.begin());
    if (slot == entries.end())
        entries.push_back(std::move(entry));
    else
        *slot = std::move(entry);
    streams.emplace(name, index);
    rebuildRootTree();
}

// Rebuilds the root's red-black tree over its children, balanced: each subtree's root is the
// middle of its names, so every path ends at the same depth or one below it; the nodes on
// that lowest level are red and all others black, which gives every path as many black nodes.
void CompoundFile::Impl::rebuildRootTree()
{
    std::vector<std::pair<std::u16string, std::uint32_t>> children;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].inRoot)
            children.emplace_back(entryUnits(entries[i].raw), static_cast<std::uint32_t>(i));
    }
    std::sort(children.begin(), children.end(),
              [](const auto& a, const auto& b) { return compareNames(a.first, b.first) < 0; });
    std::size_t blackDepth = 0; // floor(log2(n + 1))
    while ((std::size_t{2} << blackDepth) <= children.size() + 1)
        ++blackDepth;
    const auto build = [&](auto& self, std::size_t first, std::size_t last,
                           std::size_t depth) -> std::uint32_t {
        if (first == last)
            return NOSTREAM;
        const std::size_t middle = first + (last - first) / 2;
        RawEntry& raw = entries[children[middle].second].raw;
        storeU32(raw, dirent::leftSiblingId, self(self, first, middle, depth + 1));
        storeU32(raw, dirent::rightSiblingId, self(self, middle + 1, last, depth + 1));
        raw[dirent::colorFlag] = depth > blackDepth ? kRed : kBlack;
        return children[middle].second;
    };
    storeU32(entries[0].raw, dirent::childId, build(build, 0, children.size(), 1));
}

std::vector<std::string> CompoundFile::streamPaths() const
{
    std::vector<std::string> paths;
    for (const Entry& entry : d->entries) {
        if (entry.stream)
            paths.push_back(entry.path);
    }
    return paths;
}

namespace
{

// Sector numbers are handed out in file order; every chain is contiguous.
class SectorPlan
{
public:
    std::uint32_t allocate(std::uint64_t count)
    {
        const std::uint64_t first = mNext;
        mNext += count;
        assert(mNext <= MAXREGSECT);
        return static_cast<std::uint32_t>(first);
    }
    std::uint64_t used() const { return mNext; }

private:
    std::uint64_t mNext = 0;
};

void linkChain(std::vector<std::uint32_t>& table, std::uint32_t first, std::uint64_t count)
{
    for (std::uint64_t i = 0; i < count; ++i)
        table[first + i] = i + 1 < count ? static_cast<std::uint32_t>(first + i + 1) : ENDOFCHAIN;
}

} // namespace

std::vector<std::uint8_t> CompoundFile::serialize() const
{
    constexpr std::size_t ss = kWrittenSectorSize;
    constexpr std::size_t kIdsPerSector = ss / 4;
    constexpr std::size_t kFatSectorsPerDifatSector = kIdsPerSector - 1;

    std::vector<RawEntry> directory;
    directory.reserve(d->entries.size() + ss / dirent::size);
    for (const Entry& entry : d->entries)
        directory.push_back(entry.raw);
    while (directory.size() % (ss / dirent::size) != 0)
        directory.push_back(unusedEntry());

    // Small streams are packed into the mini stream; large ones get regular sectors below.
    std::vector<std::uint8_t> miniStream;
    std::vector<std::uint32_t> miniFat;
    std::vector<std::size_t> largeStreams;
    for (std::size_t i = 0; i < d->entries.size(); ++i) {
        const Entry& entry = d->entries[i];
        if (entry.raw[dirent::objectType] != StreamObject)
            continue;
        const std::uint64_t size = entry.stream ? entry.data.size() : 0;
        storeU64(directory[i], dirent::streamSize, size);
        if (size >= kMiniStreamCutoffSize) {
            largeStreams.push_back(i);
            continue;
        }
        if (size == 0) {
            storeU32(directory[i], dirent::startingSectorLocation, ENDOFCHAIN);
            continue;
        }
        const auto first = static_cast<std::uint32_t>(miniFat.size());
        const std::uint64_t count = ceilDiv(size, kMiniSectorSize);
        miniFat.resize(miniFat.size() + count);
        linkChain(miniFat, first, count);
        storeU32(directory[i], dirent::startingSectorLocation, first);
        miniStream.insert(miniStream.end(), entry.data.begin(), entry.data.end());
        miniStream.resize(miniFat.size() * kMiniSectorSize, 0);
    }

    const std::uint64_t directorySectors = directory.size() * dirent::size / ss;
    const std::uint64_t miniFatSectors = ceilDiv(miniFat.size() * 4, ss);
    const std::uint64_t miniStreamSectors = ceilDiv(miniStream.size(), ss);
    std::uint64_t contentSectors = directorySectors + miniFatSectors + miniStreamSectors;
    for (std::size_t i : largeStreams)
        contentSectors += ceilDiv(d->entries[i].data.size(), ss);

    // The FAT must also map its own sectors and the DIFAT sectors that list it.
    std::uint64_t fatSectors = 0;
    std::uint64_t difatSectors = 0;
    for (;;) {
        const std::uint64_t fat = ceilDiv(contentSectors + fatSectors + difatSectors, kIdsPerSector);
        const std::uint64_t difat =
            fat > header::kDifatEntries ? ceilDiv(fat - header::kDifatEntries, kFatSectorsPerDifatSector) : 0;
        if (fat == fatSectors && difat == difatSectors)
            break;
        fatSectors = fat;
        difatSectors = difat;
    }

    SectorPlan plan;
    const std::uint32_t firstFat = plan.allocate(fatSectors);
    const std::uint32_t firstDifat = plan.allocate(difatSectors);
    const std::uint32_t firstDirectory = plan.allocate(directorySectors);
    const std::uint32_t firstMiniFat = plan.allocate(miniFatSectors);
    const std::uint32_t firstMiniStream = plan.allocate(miniStreamSectors);

    std::vector<std::uint32_t> fat(fatSectors * kIdsPerSector, FREESECT);
    for (std::uint64_t i = 0; i < fatSectors; ++i)
        fat[firstFat + i] = FATSECT;
    for (std::uint64_t i = 0; i < difatSectors; ++i)
        fat[firstDifat + i] = DIFSECT;
    linkChain(fat, firstDirectory, directorySectors);
    linkChain(fat, firstMiniFat, miniFatSectors);
    linkChain(fat, firstMiniStream, miniStreamSectors);

    storeU32(directory[0], dirent::startingSectorLocation, miniStreamSectors ? firstMiniStream : ENDOFCHAIN);
    storeU64(directory[0], dirent::streamSize, miniStream.size());

    std::vector<std::uint32_t> largeStarts;
    for (std::size_t i : largeStreams) {
        const std::uint64_t count = ceilDiv(d->entries[i].data.size(), ss);
        const std::uint32_t first = plan.allocate(count);
        linkChain(fat, first, count);
        storeU32(directory[i], dirent::startingSectorLocation, first);
        largeStarts.push_back(first);
    }
    assert(plan.used() == contentSectors + fatSectors + difatSectors);

    std::vector<std::uint8_t> out(kHeaderSize + plan.used() * ss, 0);
    const std::span<std::uint8_t> file(out);
    const auto sectorOffset = [](std::uint64_t sector) {
        return static_cast<std::size_t>(kHeaderSize + sector * ss);
    };

    std::copy(kSignature.begin(), kSignature.end(), out.begin());
    storeU16(file, header::minorVersion, 0x003E);
    storeU16(file, header::majorVersion, 3);
    storeU16(file, header::byteOrder, 0xFFFE);
    storeU16(file, header::sectorShift, kWrittenSectorShift);
    storeU16(file, header::miniSectorShift, kMiniSectorShift);
    storeU32(file, header::numFatSectors, static_cast<std::uint32_t>(fatSectors));
    storeU32(file, header::firstDirectorySector, firstDirectory);
    storeU32(file, header::miniStreamCutoffSize, static_cast<std::uint32_t>(kMiniStreamCutoffSize));
    storeU32(file, header::firstMiniFatSector, miniFatSectors ? firstMiniFat : ENDOFCHAIN);
    storeU32(file, header::numMiniFatSectors, static_cast<std::uint32_t>(miniFatSectors));
    storeU32(file, header::firstDifatSector, difatSectors ? firstDifat : ENDOFCHAIN);
    storeU32(file, header::numDifatSectors, static_cast<std::uint32_t>(difatSectors));

    // The FAT sector numbers: 109 in the header, the rest in the DIFAT sectors.
    for (std::uint64_t i = 0; i < header::kDifatEntries; ++i)
        storeU32(file, header::difat + 4 * i,
                 i < fatSectors ? static_cast<std::uint32_t>(firstFat + i) : FREESECT);
    for (std::uint64_t k = 0; k < difatSectors; ++k) {
        const std::size_t base = sectorOffset(firstDifat + k);
        for (std::uint64_t j = 0; j < kFatSectorsPerDifatSector; ++j) {
            const std::uint64_t fatIndex = header::kDifatEntries + k * kFatSectorsPerDifatSector + j;
            storeU32(file, base + 4 * j,
                     fatIndex < fatSectors ? static_cast<std::uint32_t>(firstFat + fatIndex) : FREESECT);
        }
        storeU32(file, base + 4 * kFatSectorsPerDifatSector,
                 k + 1 < difatSectors ? static_cast<std::uint32_t>(firstDifat + k + 1) : ENDOFCHAIN);
    }

    for (std::size_t i = 0; i < fat.size(); ++i)
        storeU32(file, sectorOffset(firstFat) + 4 * i, fat[i]);

    for (std::size_t i = 0; i < directory.size(); ++i)
        std::copy(directory[i].begin(), directory[i].end(),
                  out.begin() + static_cast<std::ptrdiff_t>(sectorOffset(firstDirectory) + i * dirent::size));

    const std::size_t miniFatBase = sectorOffset(firstMiniFat);
    for (std::size_t i = 0; i < miniFatSectors * kIdsPerSector; ++i)
        storeU32(file, miniFatBase + 4 * i, i < miniFat.size() ? miniFat[i] : FREESECT);

    std::copy(miniStream.begin(), miniStream.end(),
              out.begin() + static_cast<std::ptrdiff_t>(sectorOffset(firstMiniStream)));
    for (std::size_t k = 0; k < largeStreams.size(); ++k) {
        const std::vector<std::uint8_t>& data = d->entries[largeStreams[k]].data;
        std::copy(data.begin(), data.end(),
                  out.begin() + static_cast<std::ptrdiff_t>(sectorOffset(largeStarts[k])));
    }
    return out;
}

} // namespace doc
