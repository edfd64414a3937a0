#include "doc/fkp.h"

#include <cassert>
#include <limits>
#include <map>
#include <string>

namespace doc::word
{

namespace
{

constexpr std::size_t cbBxPap = 13; // a PapxFkp entry: the Papx offset, then the PHE
constexpr std::size_t kMaxChpxRuns = 0x65;
constexpr std::size_t kMaxPapxRuns = 0x1D;
constexpr std::uint32_t noIndex = std::numeric_limits<std::uint32_t>::max();

// The runs of the FKP pages a PlcBte lists, sorted by FC.
template <typename Run, typename ReadPage>
std::vector<Run> readBte(std::span<const std::uint8_t> plcBte, std::span<const std::uint8_t> wordDocument,
                         const char* name, ReadPage readPage)
{
    const Plc bte = readPlc(plcBte, 4, name);
    std::vector<Run> runs;
    // A page listed again would be read again: a short table could make us hold many
    // copies of the same runs.
    std::vector<bool> seen(wordDocument.size() / kFkpPageSize);
    for (std::size_t i = 0; i < bte.count(); ++i) {
        ByteCursor pnCursor(bte.data[i]);
        const std::uint32_t pn = pnCursor.u32() & kPnMask;
        const std::uint64_t offset = std::uint64_t(pn) * kFkpPageSize;
        if (!rangeFits(wordDocument.size(), offset, kFkpPageSize))
            throwTruncated(std::string("FKP page of ") + name + " past the stream");
        if (seen[pn])
            throwCorrupt(std::string("FKP page of ") + name + " listed twice");
        seen[pn] = true;
        readPage(wordDocument.subspan(std::size_t(offset), kFkpPageSize), runs);
    }
    std::stable_sort(runs.begin(), runs.end(),
                     [](const Run& a, const Run& b) { return a.fcFirst < b.fcFirst; });
    return runs;
}

// Reads the FKP header common to both kinds: count at byte 511, then count + 1 FCs.
std::vector<std::uint32_t> readFkpFcs(std::span<const std::uint8_t> page, std::size_t entrySize,
                                      const char* name)
{
    const std::size_t count = page[kFkpPageSize - 1];
    if (count == 0 || 4 * (count + 1) + entrySize * count > kFkpPageSize - 1)
        throwCorrupt(std::string(name) + " run count past the page");
    ByteCursor cursor(page);
    std::vector<std::uint32_t> fcs(count + 1);
    for (auto& fc : fcs) {
        fc = cursor.u32();
        if (&fc != fcs.data() && fc < *(&fc - 1))
            throwCorrupt(std::string(name) + " positions out of order");
    }
    return fcs;
}

// The grpprl of the Chpx at offset, which lies past the page's entries (entriesEnd);
// offset 0 stands for none.
std::vector<std::uint8_t> readChpx(std::span<const std::uint8_t> page, std::size_t offset,
                                   std::size_t entriesEnd)
{
    if (offset == 0)
        return {};
    if (offset < entriesEnd || offset >= kFkpPageSize - 1)
        throwCorrupt("Chpx outside its page");
    const std::size_t cb = page[offset];
    if (offset + 1 + cb > kFkpPageSize - 1)
        throwCorrupt("Chpx outside its page");
    return {page.begin() + std::ptrdiff_t(offset + 1), page.begin() + std::ptrdiff_t(offset + 1 + cb)};
}

void readChpxFkp(std::span<const std::uint8_t> page, std::vector<ChpxRun>& runs,
                 std::vector<std::vector<std::uint8_t>>& chpxs)
{
    const auto fcs = readFkpFcs(page, 1, "ChpxFkp");
    const std::size_t crun = fcs.size() - 1;
    const std::size_t rgbStart = 4 * (crun + 1);
    std::array<std::uint32_t, kFkpPageSize / 2> chpxAt;
    chpxAt.fill(noIndex);
    for (std::size_t i = 0; i < crun; ++i) {
        const std::size_t offset = 2 * std::size_t(page[rgbStart + i]);
        std::uint32_t& chpx = chpxAt[offset / 2];
        if (chpx == noIndex) {
            chpxs.push_back(readChpx(page, offset, rgbStart + crun));
            chpx = std::uint32_t(chpxs.size() - 1);
        }
        runs.push_back({fcs[i], fcs[i + 1], chpx});
    }
}

// The istd and grpprl of the PapxInFkp at offset, which lies past the page's entries
// (entriesEnd); offset 0 stands for the plain style. An odd cb counts 2 * cb - 1 bytes,
// cb 0 is followed by the count of 2-byte units.
std::vector<std::uint8_t> readPapxInFkp(std::span<const std::uint8_t> page, std::size_t offset,
                                        std::size_t entriesEnd)
{
    if (offset == 0)
        return {0, 0};
    if (offset < entriesEnd || offset + 2 > kFkpPageSize - 1)
        throwCorrupt("Papx outside its page");
    std::size_t size = 2 * std::size_t(page[offset]);
    std::size_t start = offset + 1;
    if (size == 0) {
        size = 2 * std::size_t(page[offset + 1]);
        start = offset + 2;
    } else {
        size -= 1;
    }
    if (size < 2 || start + size > kFkpPageSize - 1)
        throwCorrupt("Papx outside its page");
    return {page.begin() + std::ptrdiff_t(start), page.begin() + std::ptrdiff_t(start + size)};
}

void readPapxFkp(std::span<const std::uint8_t> page, std::vector<PapxRun>& runs, std::vector<Papx>& papxs)
{
    const auto fcs = readFkpFcs(page, cbBxPap, "PapxFkp");
    const std::size_t cpara = fcs.size() - 1;
    const std::size_t rgbxStart = 4 * (cpara + 1);
    for (std::size_t i = 0; i < cpara; ++i) {
        const std::size_t bx = rgbxStart + cbBxPap * i;
        Papx papx;
        std::copy_n(page.begin() + std::ptrdiff_t(bx + 1), papx.phe.size(), papx.phe.begin());
        papx.grpprlAndIstd = readPapxInFkp(page, 2 * std::size_t(page[bx]), rgbxStart + cbBxPap * cpara);
        papxs.push_back(std::move(papx));
        runs.push_back({fcs[i], fcs[i + 1], std::uint32_t(papxs.size() - 1)});
    }
}

// What one run stores in its FKP page: the property bytes with their length prefix
// (empty: the run has none, offset 0), and the bytes that follow its offset in the entry.
struct FkpEntry {
    std::uint32_t properties = 0; // runs with the same index share the stored bytes
    std::vector<std::uint8_t> stored;
    std::span<const std::uint8_t> extra;
};

// Chpx: cb, then the grpprl.
FkpEntry chpxEntry(const ChpxRun& run, const std::vector<std::vector<std::uint8_t>>& chpxs)
{
    const auto& grpprl = chpxs[run.chpx];
    FkpEntry entry{run.chpx, {}, {}};
    if (!grpprl.empty()) {
        entry.stored.push_back(std::uint8_t(grpprl.size()));
        entry.stored.insert(entry.stored.end(), grpprl.begin(), grpprl.end());
    }
    return entry;
}

// PapxInFkp: an odd length is stored as cb = (size + 1) / 2, an even one as 0, size / 2.
FkpEntry papxEntry(const PapxRun& run, const std::vector<Papx>& papxs)
{
    const Papx& papx = papxs[run.papx];
    const auto& bytes = papx.grpprlAndIstd;
    FkpEntry entry{run.papx, {}, papx.phe};
    if (bytes.size() % 2 == 1) {
        entry.stored.push_back(std::uint8_t((bytes.size() + 1) / 2));
    } else {
        entry.stored.push_back(0);
        entry.stored.push_back(std::uint8_t(bytes.size() / 2));
    }
    entry.stored.insert(entry.stored.end(), bytes.begin(), bytes.end());
    return entry;
}

// One FKP page being filled: the runs' FCs and entries from the front, the stored
// properties going downwards from the count byte at even offsets.
class FkpPage
{
public:
    FkpPage(std::size_t cbEntry, std::size_t maxEntries) : mCbEntry(cbEntry), mMaxEntries(maxEntries) {}

    // Takes the entry of run number `run` when the page still has room for it.
    bool add(std::size_t run, const FkpEntry& entry)
    {
        std::uint8_t b = 0;
        std::size_t newTop = mTop;
        if (!entry.stored.empty()) {
            if (auto it = mPlaced.find(entry.properties); it != mPlaced.end())
                b = it->second;
            else if (mTop >= 1 + entry.stored.size())
                newTop = (mTop - entry.stored.size()) & ~std::size_t(1);
            else
                return false;
        }
        const std::size_t count = mTaken.size() + 1;
        if (4 * (count + 1) + mCbEntry * count > newTop || count > mMaxEntries)
            return false;
        if (newTop != mTop) {
            mTop = newTop;
            std::copy(entry.stored.begin(), entry.stored.end(), mPage.begin() + std::ptrdiff_t(mTop));
            b = std::uint8_t(mTop / 2);
            mPlaced.emplace(entry.properties, b);
        }
        mTaken.push_back({run, b, entry.extra});
        return true;
    }

    std::size_t firstRun() const { return mTaken.front().run; }

    template <typename Run> const std::array<std::uint8_t, kFkpPageSize>& finish(const std::vector<Run>& runs)
    {
        assert(!mTaken.empty());
        const std::size_t count = mTaken.size();
        for (std::size_t i = 0; i < count; ++i) {
            storeU32(mPage, 4 * i, runs[mTaken[i].run].fcFirst);
            const std::size_t at = 4 * (count + 1) + mCbEntry * i;
            mPage[at] = mTaken[i].offset;
            std::copy(mTaken[i].extra.begin(), mTaken[i].extra.end(), mPage.begin() + std::ptrdiff_t(at + 1));
        }
        storeU32(mPage, 4 * count, runs[mTaken.back().run].fcLim);
        mPage[kFkpPageSize - 1] = std::uint8_t(count);
        return mPage;
    }

private:
    struct Taken {
        std::size_t run = 0;
        std::uint8_t offset = 0; // of the stored properties, in 2-byte units
        std::span<const std::uint8_t> extra;
    };

    std::size_t mCbEntry;
    std::size_t mMaxEntries;
    std::array<std::uint8_t, kFkpPageSize> mPage{};
    std::vector<Taken> mTaken;
    std::map<std::uint32_t, std::uint8_t> mPlaced; // properties index -> offset
    std::size_t mTop = kFkpPageSize - 1;
};

// A PlcBteChpx or PlcBtePapx: the first FC of every page, the last page's limit, then the page numbers.
std::vector<std::uint8_t> writeBtePlc(const std::vector<std::uint32_t>& fcs, std::uint32_t fcLim,
                                      const std::vector<std::uint32_t>& pns)
{
    ByteWriter plc;
    for (auto fc : fcs)
        plc.u32(fc);
    plc.u32(fcLim);
    for (auto pn : pns)
        plc.u32(pn);
    return std::move(plc).take();
}

template <typename Run, typename Encode>
FkpPages writeFkps(std::vector<std::uint8_t>& wd, const std::vector<Run>& runs, std::size_t cbEntry,
                   std::size_t maxEntries, Encode encode)
{
    assert(wd.size() % kFkpPageSize == 0);
    FkpPages pages;
    pages.pnFirst = std::uint32_t(wd.size() / kFkpPageSize);
    std::vector<std::uint32_t> bteFcs;
    std::vector<std::uint32_t> btePns;
    std::size_t next = 0;
    while (next < runs.size()) {
        FkpPage page(cbEntry, maxEntries);
        while (next < runs.size() && page.add(next, encode(runs[next])))
            ++next;
        const auto& bytes = page.finish(runs);
        bteFcs.push_back(runs[page.firstRun()].fcFirst);
        btePns.push_back(std::uint32_t(wd.size() / kFkpPageSize));
        wd.insert(wd.end(), bytes.begin(), bytes.end());
    }
    pages.cpnBte = std::uint32_t(btePns.size());
    pages.plcBte = writeBtePlc(bteFcs, runs.empty() ? 0 : runs.back().fcLim, btePns);
    return pages;
}

} // namespace

std::vector<ChpxRun> readChpxRuns(std::span<const std::uint8_t> plcBteChpx,
                                  std::span<const std::uint8_t> wordDocument,
                                  std::vector<std::vector<std::uint8_t>>& chpxs)
{
    return readBte<ChpxRun>(plcBteChpx, wordDocument, "PlcfBteChpx",
                            [&chpxs](std::span<const std::uint8_t> page, std::vector<ChpxRun>& runs) {
                                readChpxFkp(page, runs, chpxs);
                            });
}

std::vector<PapxRun> readPapxRuns(std::span<const std::uint8_t> plcBtePapx,
                                  std::span<const std::uint8_t> wordDocument, std::vector<Papx>& papxs)
{
    return readBte<PapxRun>(plcBtePapx, wordDocument, "PlcfBtePapx",
                            [&papxs](std::span<const std::uint8_t> page, std::vector<PapxRun>& runs) {
                                readPapxFkp(page, runs, papxs);
                            });
}

FkpPages writeChpxFkps(std::vector<std::uint8_t>& wd, const std::vector<ChpxRun>& runs,
                       const std::vector<std::vector<std::uint8_t>>& chpxs)
{
    return writeFkps(wd, runs, 1, kMaxChpxRuns,
                     [&chpxs](const ChpxRun& run) { return chpxEntry(run, chpxs); });
}

FkpPages writePapxFkps(std::vector<std::uint8_t>& wd, const std::vector<PapxRun>& runs,
                       const std::vector<Papx>& papxs)
{
    return writeFkps(wd, runs, cbBxPap, kMaxPapxRuns,
                     [&papxs](const PapxRun& run) { return papxEntry(run, papxs); });
}

} // namespace doc::word
