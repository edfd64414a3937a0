#include "worddocument.h"

#include "wordformat.h"

#include <algorithm>
#include <limits>
#include <map>

namespace doc
{

using namespace word;

namespace
{

// [MS-DOC] 2.4.1: in compressed pieces these bytes stand for characters outside Latin-1.
constexpr std::array<char16_t, 32> compressedHigh = {
    0x0080, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x008E, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x009E, 0x0178,
};

char16_t fromCompressed(std::uint8_t byte)
{
    if (byte >= 0x80 && byte <= 0x9F)
        return compressedHigh[byte - 0x80];
    return byte;
}

// The byte a compressed piece stores for c, or nullopt when c needs UTF-16.
std::optional<std::uint8_t> toCompressed(char16_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return static_cast<std::uint8_t>(c);
    for (std::size_t i = 0; i < compressedHigh.size(); ++i)
        if (compressedHigh[i] == c)
            return static_cast<std::uint8_t>(0x80 + i);
    return std::nullopt;
}

// Main-text structures that hold CPs, with their entry sizes. Caches Word rebuilds by
// itself (spelling and grammar state, paragraph heights, language detection) are cleared
// instead when the text changes.
struct CpTableKind {
    std::size_t fibIndex;
    std::size_t cbData;
    bool characterPositions;
    const char* name;
};
constexpr std::array<CpTableKind, 11> cpTableKinds = {{
    {fclcb::PlcfSed, 12, false, "PlcfSed"},
    {fclcb::PlcffndRef, 2, true, "PlcffndRef"},
    {fclcb::PlcfandRef, 30, true, "PlcfandRef"},
    {fclcb::PlcfendRef, 2, true, "PlcfendRef"},
    {fclcb::PlcfFldMom, 2, true, "PlcfFldMom"},
    {fclcb::PlcSpaMom, 26, true, "PlcSpaMom"},
    {fclcb::PlcfBkf, 4, false, "PlcfBkf"},
    {fclcb::PlcfBkl, 0, false, "PlcfBkl"},
    {fclcb::PlcfAtnBkf, 4, false, "PlcfAtnBkf"},
    // A commented range ends right at its comment's mark, so its end moves with the mark.
    {fclcb::PlcfAtnBkl, 0, true, "PlcfAtnBkl"},
    {fclcb::PlcfTch, 4, false, "PlcfTch"},
}};
constexpr std::array<std::size_t, 4> droppedCaches = {fclcb::PlcfPhe, fclcb::PlcfSpl, fclcb::PlcfGram,
                                                      fclcb::PlcfLad};

// Sprms that make a character an anchor or special mark; typed text does not inherit them.
bool isSpecialCharacterSprm(std::uint16_t s)
{
    switch (s) {
    case sprm::CFSpec:
    case sprm::CPicLocation:
    case sprm::CFData:
    case sprm::CFOle2:
    case sprm::CFObj:
    case sprm::CObjLocation:
    case sprm::CFFldVanish:
    case sprm::CFRMarkDel:
    case sprm::CFRMarkIns:
        return true;
    default:
        return false;
    }
}

constexpr std::uint32_t noIndex = std::numeric_limits<std::uint32_t>::max();

struct ChpxRun {
    std::uint32_t fcFirst = 0;
    std::uint32_t fcLim = 0;
    std::uint32_t chpx = 0;
};

struct PapxRun {
    std::uint32_t fcFirst = 0;
    std::uint32_t fcLim = 0;
    std::uint32_t papx = 0;
};

// The runs of the FKP pages listed by a PlcBteChpx or PlcBtePapx, sorted by FC.
template <typename Run, typename ReadPage>
std::vector<Run> readBte(const WordDocument::Impl& d, std::size_t fibIndex, const char* name,
                         ReadPage readPage)
{
    const Plc bte = readPlc(d.tableBytes(fibIndex, name), 4, name);
    std::vector<Run> runs;
    // A page listed again would be read again: a short table could make us hold many
    // copies of the same runs.
    std::vector<bool> seen(d.wordDocument.size() / fkpPageSize);
    for (std::size_t i = 0; i < bte.count(); ++i) {
        ByteCursor pnCursor(bte.data[i]);
        const std::uint32_t pn = pnCursor.u32() & pnMask;
        const std::uint64_t offset = std::uint64_t(pn) * fkpPageSize;
        if (!rangeFits(d.wordDocument.size(), offset, fkpPageSize))
            throwTruncated(std::string("FKP page of ") + name + " past the stream");
        if (seen[pn])
            throwCorrupt(std::string("FKP page of ") + name + " listed twice");
        seen[pn] = true;
        readPage(std::span<const std::uint8_t>(d.wordDocument).subspan(std::size_t(offset), fkpPageSize),
                 runs);
    }
    std::stable_sort(runs.begin(), runs.end(),
                     [](const Run& a, const Run& b) { return a.fcFirst < b.fcFirst; });
    return runs;
}

// The run holding fc, or nullptr.
template <typename Run> const Run* findRun(const std::vector<Run>& runs, std::uint32_t fc)
{
    auto it = std::upper_bound(runs.begin(), runs.end(), fc,
                               [](std::uint32_t value, const Run& run) { return value < run.fcFirst; });
    if (it == runs.begin())
        return nullptr;
    --it;
    return fc < it->fcLim ? &*it : nullptr;
}

// Reads the FKP header common to both kinds: count at byte 511, then count + 1 FCs.
std::vector<std::uint32_t> readFkpFcs(std::span<const std::uint8_t> page, std::size_t entrySize,
                                      const char* name)
{
    const std::size_t count = page[fkpPageSize - 1];
    if (count == 0 || 4 * (count + 1) + entrySize * count > fkpPageSize - 1)
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

} // namespace

std::span<const std::uint8_t> WordDocument::Impl::tableBytes(std::size_t index, const char* name) const
{
    const auto [fc, lcb] = fcLcb(index);
    if (lcb == 0)
        return {};
    if (!rangeFits(table.size(), fc, lcb))
        throwTruncated(std::string(name) + " past the table stream");
    return std::span<const std::uint8_t>(table).subspan(fc, lcb);
}

WordDocument::WordDocument(std::unique_ptr<Impl> impl) : d(std::move(impl)) {}
WordDocument::WordDocument(WordDocument&&) noexcept = default;
WordDocument& WordDocument::operator=(WordDocument&&) noexcept = default;
WordDocument::WordDocument(const WordDocument& other) : d(std::make_unique<Impl>(*other.d)) {}
WordDocument& WordDocument::operator=(const WordDocument& other)
{
    if (this != &other)
        d = std::make_unique<Impl>(*other.d);
    return *this;
}
WordDocument::~WordDocument() = default;

WordDocument WordDocument::parse(std::span<const std::uint8_t> bytes)
{
    auto d = std::make_unique<Impl>(CompoundFile::parse(bytes));
    if (!d->file.hasStream("WordDocument"))
        throw Error(Error::Kind::NotWordDocument, "not a Word 97-2003 document");
    d->wordDocument = d->file.stream("WordDocument");
    const std::vector<std::uint8_t>& wd = d->wordDocument;

    // Fib ([MS-DOC] 2.5.1)
    ByteCursor fib(wd);
    const std::uint16_t wIdent = fib.u16();
    const std::uint16_t nFib = fib.u16();
    fib.seek(fibbase::flags);
    const std::uint16_t flags = fib.u16();
    if (!fib.ok())
        throwTruncated("Fib");
    if (wIdent != fibbase::wIdentWord || nFib < fibbase::nFibWord97)
        throw Error(Error::Kind::Unsupported, "unsupported: Word 6/95 document");
    if (flags & (fibbase::fEncrypted | fibbase::fObfuscated))
        throw Error(Error::Kind::Unsupported, "unsupported: encrypted document");

    fib.seek(fibbase::size);
    const std::size_t csw = fib.u16();
    fib.skip(2 * csw);
    const std::size_t cslw = fib.u16();
    d->offsetRgLw = fib.offset();
    if (fib.ok() && cslw >= lw::count97) {
        d->rgLw.resize(cslw);
        for (auto& value : d->rgLw)
            value = fib.u32();
    }
    const std::size_t cbRgFcLcb = fib.u16();
    d->offsetRgFcLcb = fib.offset();
    if (fib.ok() && cbRgFcLcb >= fclcb::count97) {
        d->rgFcLcb.resize(2 * cbRgFcLcb);
        for (auto& value : d->rgFcLcb)
            value = fib.u32();
    }
    if (!fib.ok())
        throwTruncated("Fib");
    if (d->rgLw.empty() || d->rgFcLcb.empty())
        throwCorrupt("Fib too small");

    d->tableName = (flags & fibbase::fWhichTblStm) ? "1Table" : "0Table";
    if (!d->file.hasStream(d->tableName))
        throwCorrupt("table stream missing");
    d->table = d->file.stream(d->tableName);

    // Clx ([MS-DOC] 2.9.38): Prc entries, then the Pcdt.
    const auto clx = d->tableBytes(fclcb::Clx, "Clx");
    if (clx.empty())
        throwCorrupt("no piece table");
    ByteCursor cursor(clx);
    while (cursor.remaining() > 0 && clx[cursor.offset()] == 0x01) {
        const std::size_t start = cursor.offset();
        cursor.skip(1);
        const std::int16_t cbGrpprl = cursor.i16();
        if (cbGrpprl < 0)
            throwCorrupt("Prc size");
        cursor.skip(std::size_t(cbGrpprl));
        if (!cursor.ok())
            throwTruncated("Prc");
        d->prcGrpprls.emplace_back(start + 3, std::size_t(cbGrpprl));
    }
    d->prcs.assign(clx.begin(), clx.begin() + std::ptrdiff_t(cursor.offset()));
    if (cursor.u8() != 0x02)
        throwCorrupt("no piece table");
    const std::uint32_t lcbPlcPcd = cursor.u32();
    const auto plcPcdBytes = cursor.bytes(lcbPlcPcd);
    if (!cursor.ok())
        throwTruncated("piece table");
    const Plc plcPcd = readPlc(plcPcdBytes, 8, "PlcPcd");
    if (plcPcd.count() == 0)
        throwCorrupt("no piece table");
    if (plcPcd.cps.front() != 0)
        throwCorrupt("piece table does not start at 0");
    // Valid pieces do not overlap, so the text can never hold more characters than the
    // stream has bytes; this also bounds what a hostile piece table can make us allocate.
    const std::uint32_t cpMac = plcPcd.cps.back();
    if (cpMac > wd.size())
        throwCorrupt("piece table longer than the text");

    std::uint64_t storiesLength = 0;
    for (std::size_t i : {lw::ccpText, lw::ccpFtn, lw::ccpHdd, lw::ccpMcr, lw::ccpAtn, lw::ccpEdn,
                          lw::ccpTxbx, lw::ccpHdrTxbx})
        storiesLength += d->rgLw[i];
    if (storiesLength > cpMac || d->ccpText() == 0)
        throwCorrupt("story lengths do not match the piece table");

    const auto chpxRuns =
        readBte<ChpxRun>(*d, fclcb::PlcfBteChpx, "PlcfBteChpx",
                         [&d](std::span<const std::uint8_t> page, std::vector<ChpxRun>& runs) {
                             const auto fcs = readFkpFcs(page, 1, "ChpxFkp");
                             const std::size_t crun = fcs.size() - 1;
                             const std::size_t rgbStart = 4 * (crun + 1);
                             // Runs that share a Chpx share its copy.
                             std::array<std::uint32_t, fkpPageSize / 2> chpxAt;
                             chpxAt.fill(noIndex);
                             for (std::size_t i = 0; i < crun; ++i) {
                                 const std::size_t offset = 2 * std::size_t(page[rgbStart + i]);
                                 if (chpxAt[offset / 2] != noIndex) {
                                     runs.push_back({fcs[i], fcs[i + 1], chpxAt[offset / 2]});
                                     continue;
                                 }
                                 std::vector<std::uint8_t> grpprl;
                                 if (offset != 0) {
                                     if (offset < rgbStart + crun || offset >= fkpPageSize - 1)
                                         throwCorrupt("Chpx outside its page");
                                     const std::size_t cb = page[offset];
                                     if (offset + 1 + cb > fkpPageSize - 1)
                                         throwCorrupt("Chpx outside its page");
                                     grpprl.assign(page.begin() + std::ptrdiff_t(offset + 1),
                                                   page.begin() + std::ptrdiff_t(offset + 1 + cb));
                                 }
                                 d->chpxs.push_back(std::move(grpprl));
                                 chpxAt[offset / 2] = std::uint32_t(d->chpxs.size() - 1);
                                 runs.push_back({fcs[i], fcs[i + 1], chpxAt[offset / 2]});
                             }
                         });
    const auto papxRuns = readBte<PapxRun>(
        *d, fclcb::PlcfBtePapx, "PlcfBtePapx",
        [&d](std::span<const std::uint8_t> page, std::vector<PapxRun>& runs) {
            constexpr std::size_t cbBxPap = 13;
            const auto fcs = readFkpFcs(page, cbBxPap, "PapxFkp");
            const std::size_t cpara = fcs.size() - 1;
            const std::size_t rgbxStart = 4 * (cpara + 1);
            for (std::size_t i = 0; i < cpara; ++i) {
                const std::size_t bx = rgbxStart + cbBxPap * i;
                Papx papx;
                std::copy_n(page.begin() + std::ptrdiff_t(bx + 1), papx.phe.size(), papx.phe.begin());
                const std::size_t offset = 2 * std::size_t(page[bx]);
                if (offset == 0) {
                    papx.grpprlAndIstd = {0, 0};
                } else {
                    if (offset < rgbxStart + cbBxPap * cpara || offset + 2 > fkpPageSize - 1)
                        throwCorrupt("Papx outside its page");
                    std::size_t size = 2 * std::size_t(page[offset]);
                    std::size_t start = offset + 1;
                    if (size == 0) {
                        size = 2 * std::size_t(page[offset + 1]);
                        start = offset + 2;
                    } else {
                        size -= 1;
                    }
                    if (size < 2 || start + size > fkpPageSize - 1)
                        throwCorrupt("Papx outside its page");
                    papx.grpprlAndIstd.assign(page.begin() + std::ptrdiff_t(start),
                                              page.begin() + std::ptrdiff_t(start + size));
                }
                d->papxs.push_back(std::move(papx));
                runs.push_back({fcs[i], fcs[i + 1], std::uint32_t(d->papxs.size() - 1)});
            }
        });
    // Characters no run covers get empty properties.
    d->chpxs.emplace_back();
    const auto noChpx = std::uint32_t(d->chpxs.size() - 1);
    d->papxs.push_back(Papx{{0, 0}, {}});
    const auto noPapx = std::uint32_t(d->papxs.size() - 1);

    // The text, with the properties of each character.
    d->text.reserve(cpMac);
    d->props.reserve(cpMac);
    for (std::size_t i = 0; i < plcPcd.count(); ++i) {
        ByteCursor pcd(plcPcd.data[i]);
        PieceAttributes attributes;
        attributes.flags = pcd.u16();
        const std::uint32_t fcCompressed = pcd.u32();
        attributes.prm = pcd.u16();
        attributes.compressed = (fcCompressed & fcCompressedBit) != 0;
        const std::uint32_t fc = attributes.compressed ? (fcCompressed & ~fcCompressedBit) / 2 : fcCompressed;
        const std::uint32_t width = attributes.compressed ? 1 : 2;
        const std::uint32_t length = plcPcd.cps[i + 1] - plcPcd.cps[i];
        if (!rangeFits(wd.size(), fc, std::uint64_t(length) * width))
            throwTruncated("piece past the stream");
        d->pieces.push_back(attributes);
        const auto piece = std::uint32_t(d->pieces.size() - 1);

        for (std::uint32_t k = 0; k < length; ++k) {
            const std::uint32_t at = fc + k * width;
            d->text.push_back(attributes.compressed ? fromCompressed(wd[at])
                                                    : char16_t(wd[at] | (wd[at + 1] << 8)));
            CharProps props;
            props.piece = piece;
            const ChpxRun* chpx = findRun(chpxRuns, at);
            props.chpx = chpx ? chpx->chpx : noChpx;
            const PapxRun* papx = findRun(papxRuns, at);
            props.papx = papx ? papx->papx : noPapx;
            props.paraEnd = papx && papx->fcLim == at + width;
            d->props.push_back(props);
        }
    }

    // Main-text CP tables, read now so each insertion only moves numbers.
    for (const auto& kind : cpTableKinds) {
        const Plc plc = readPlc(d->tableBytes(kind.fibIndex, kind.name), kind.cbData, kind.name);
        if (plc.cps.empty())
            continue;
        d->cpTables.push_back({kind.fibIndex, kind.characterPositions, plc.cps});
    }
    for (std::size_t index : droppedCaches)
        if (d->fcLcb(index).second != 0)
            d->droppedTables.push_back(index);

    return WordDocument(std::move(d));
}

WordDocument WordDocument::load(const std::filesystem::path& path, std::size_t maxBytes)
{
    return parse(fileio::readFile(path, maxBytes));
}

std::u16string WordDocument::mainText() const
{
    return d->text.substr(0, d->ccpText());
}

std::uint32_t WordDocument::mainTextLength() const
{
    return d->ccpText();
}

std::u16string normalizeTypedText(std::u16string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c == u'\r') {
            out.push_back(u'\v');
            if (i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
        } else if (c == u'\n') {
            out.push_back(u'\v');
        } else if (c >= 0x20 || c == u'\t') {
            out.push_back(c);
        }
    }
    return out;
}

std::uint32_t WordDocument::insertText(std::uint32_t cp, std::u16string_view text)
{
    if (cp >= d->ccpText())
        throw Error(Error::Kind::BadArgument, "insertion position past the main text");
    const std::u16string typed = normalizeTypedText(text);
    if (typed.empty())
        return 0;
    // Piece descriptors hold 30-bit offsets, an 8-bit piece's doubled; saving appends the
    // text after the stream as read, at worst 3 bytes a character (2, and padding at a
    // switch of encoding). Beyond that the saved file would point at the wrong bytes.
    constexpr std::uint64_t fcLimit = std::uint64_t(1) << 29;
    if (d->wordDocument.size() + fkpPageSize + 3 * (std::uint64_t(d->text.size()) + typed.size()) >= fcLimit)
        throw Error(Error::Kind::BadArgument, "text too long");
    const auto count = std::uint32_t(typed.size());

    CharProps typing = d->props[cp > 0 ? cp - 1 : 0];
    typing.paraEnd = false;
    typing.typed = true;
    // Typing next to an anchor or field mark must not make the new text special too.
    const auto& source = d->chpxs[typing.chpx];
    const auto prls = readGrpprl(source);
    if (std::any_of(prls.begin(), prls.end(), [](const Prl& p) { return isSpecialCharacterSprm(p.sprm); })) {
        std::vector<std::uint8_t> plain;
        for (const Prl& p : prls) {
            if (isSpecialCharacterSprm(p.sprm))
                continue;
            plain.push_back(std::uint8_t(p.sprm));
            plain.push_back(std::uint8_t(p.sprm >> 8));
            plain.insert(plain.end(), p.operand.begin(), p.operand.end());
        }
        d->chpxs.push_back(std::move(plain));
        typing.chpx = std::uint32_t(d->chpxs.size() - 1);
    }

    d->text.insert(cp, typed);
    d->props.insert(d->props.begin() + cp, count, typing);
    d->rgLw[lw::ccpText] += count;
    // Positions past any text (a damaged file's) stop at the largest value rather than
    // wrap around, so they stay in order.
    for (auto& table : d->cpTables)
        for (auto& value : table.cps)
            if (value > cp || (table.characterPositions && value == cp))
                value += std::min(count, std::numeric_limits<std::uint32_t>::max() - value);
    d->changed = true;
    return count;
}

namespace
{

void alignTo(std::vector<std::uint8_t>& data, std::size_t alignment)
{
    data.resize((data.size() + alignment - 1) / alignment * alignment, 0);
}

struct OutPiece {
    std::uint32_t cpFirst = 0;
    std::uint32_t fc = 0; // byte offset in the new WordDocument stream
    std::uint32_t piece = 0;
    bool compressed = false;
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

// What one run stores in its FKP page: the property bytes with their length prefix
// (empty: the run has none, offset 0), and the bytes that follow its offset in the entry.
struct FkpEntry {
    std::uint32_t properties = 0; // runs with the same index share the stored bytes
    std::vector<std::uint8_t> stored;
    std::span<const std::uint8_t> extra;
};

// Packs runs into FKP pages appended to wd, the stored properties going downwards from the
// count byte at even offsets; returns the PlcBte. A ChpxFkp ([MS-DOC] 2.9.44) has 1-byte
// entries, a PapxFkp (2.9.175) 13-byte ones (the offset, then the PHE).
template <typename Run, typename Encode>
std::vector<std::uint8_t> writeFkps(std::vector<std::uint8_t>& wd, const std::vector<Run>& runs,
                                    std::size_t cbEntry, std::size_t maxEntries, Encode encode,
                                    std::uint32_t& firstPn, std::uint32_t& pageCount)
{
    std::vector<std::uint32_t> bteFcs;
    std::vector<std::uint32_t> btePns;
    std::size_t next = 0;
    firstPn = std::uint32_t(wd.size() / fkpPageSize);
    while (next < runs.size()) {
        std::array<std::uint8_t, fkpPageSize> page{};
        std::vector<std::size_t> taken;
        std::vector<std::uint8_t> offsets;
        std::vector<std::span<const std::uint8_t>> extras;
        std::map<std::uint32_t, std::uint8_t> placed;
        std::size_t top = fkpPageSize - 1;
        while (next < runs.size()) {
            const FkpEntry entry = encode(runs[next]);
            std::uint8_t b = 0;
            std::size_t newTop = top;
            if (!entry.stored.empty()) {
                if (auto it = placed.find(entry.properties); it != placed.end())
                    b = it->second;
                else if (top >= 1 + entry.stored.size())
                    newTop = (top - entry.stored.size()) & ~std::size_t(1);
                else
                    break;
            }
            const std::size_t count = taken.size() + 1;
            if (4 * (count + 1) + cbEntry * count > newTop || count > maxEntries)
                break;
            if (newTop != top) {
                top = newTop;
                std::copy(entry.stored.begin(), entry.stored.end(), page.begin() + std::ptrdiff_t(top));
                b = std::uint8_t(top / 2);
                placed.emplace(entry.properties, b);
            }
            taken.push_back(next);
            offsets.push_back(b);
            extras.push_back(entry.extra);
            ++next;
        }
        assert(!taken.empty());
        const std::size_t count = taken.size();
        for (std::size_t i = 0; i < count; ++i) {
            storeU32(page, 4 * i, runs[taken[i]].fcFirst);
            const std::size_t at = 4 * (count + 1) + cbEntry * i;
            page[at] = offsets[i];
            std::copy(extras[i].begin(), extras[i].end(), page.begin() + std::ptrdiff_t(at + 1));
        }
        storeU32(page, 4 * count, runs[taken.back()].fcLim);
        page[fkpPageSize - 1] = std::uint8_t(count);
        bteFcs.push_back(runs[taken.front()].fcFirst);
        btePns.push_back(std::uint32_t(wd.size() / fkpPageSize));
        wd.insert(wd.end(), page.begin(), page.end());
    }
    pageCount = std::uint32_t(btePns.size());
    return writeBtePlc(bteFcs, runs.empty() ? 0 : runs.back().fcLim, btePns);
}

} // namespace

std::vector<std::uint8_t> WordDocument::serialize() const
{
    if (!d->changed)
        return d->file.serialize();

    // The old text and FKP pages stay where they are (other structures, such as delayed
    // pictures, may point into the stream); the new ones are appended.
    std::vector<std::uint8_t> wd = d->wordDocument;
    std::vector<std::uint8_t> table = d->table;
    alignTo(wd, fkpPageSize);
    const auto fcTextFirst = std::uint32_t(wd.size());

    std::vector<OutPiece> outPieces;
    std::vector<std::uint32_t> fcOf(d->text.size() + 1);
    std::vector<std::uint32_t> fcEnd(d->text.size());
    for (std::size_t cp = 0; cp < d->text.size(); ++cp) {
        const char16_t c = d->text[cp];
        const std::uint32_t piece = d->props[cp].piece;
        const auto narrow = toCompressed(c);
        const bool compressed = d->pieces[piece].compressed && narrow.has_value();
        if (outPieces.empty() || outPieces.back().piece != piece ||
            outPieces.back().compressed != compressed) {
            if (!compressed)
                alignTo(wd, 2);
            outPieces.push_back({std::uint32_t(cp), std::uint32_t(wd.size()), piece, compressed});
        }
        fcOf[cp] = std::uint32_t(wd.size());
        if (compressed) {
            wd.push_back(*narrow);
        } else {
            wd.push_back(std::uint8_t(c));
            wd.push_back(std::uint8_t(c >> 8));
        }
        fcEnd[cp] = std::uint32_t(wd.size());
    }
    const auto fcTextLim = std::uint32_t(wd.size());
    fcOf[d->text.size()] = fcTextLim;

    // Property runs over the new FCs. Character runs reach over the padding before a
    // UTF-16 piece; a paragraph run ends right after its mark, as paragraph ends are found
    // by comparing run ends with piece ends ([MS-DOC] 2.4.2), and a filler covers the padding.
    // A typed paragraph's cached height (its PHE) no longer holds: it is zeroed, as writers
    // without a layout do, so Word measures the paragraph again.
    std::vector<Papx> papxs = d->papxs;
    std::map<std::uint32_t, std::uint32_t> withoutHeight;
    const auto papxOfMark = [&papxs, &withoutHeight](std::uint32_t papx, bool typed) {
        const auto& phe = papxs[papx].phe;
        if (!typed || std::all_of(phe.begin(), phe.end(), [](std::uint8_t b) { return b == 0; }))
            return papx;
        auto [it, added] = withoutHeight.try_emplace(papx, std::uint32_t(papxs.size()));
        if (added)
            papxs.push_back(Papx{papxs[papx].grpprlAndIstd, {}});
        return it->second;
    };
    std::vector<ChpxRun> chpxRuns;
    std::vector<PapxRun> papxRuns;
    bool papxRunOpen = false;
    bool paragraphTyped = false;
    for (std::size_t cp = 0; cp < d->text.size(); ++cp) {
        const CharProps& p = d->props[cp];
        const std::uint32_t fcLim = fcEnd[cp];
        if (chpxRuns.empty() || chpxRuns.back().chpx != p.chpx)
            chpxRuns.push_back({fcOf[cp], fcLim, p.chpx});
        chpxRuns.back().fcLim = fcOf[cp + 1];
        if (!papxRunOpen) {
            if (!papxRuns.empty() && papxRuns.back().fcLim < fcOf[cp])
                papxRuns.push_back({papxRuns.back().fcLim, fcOf[cp], papxRuns.back().papx});
            papxRuns.push_back({fcOf[cp], fcLim, p.papx});
            papxRunOpen = true;
        }
        papxRuns.back().fcLim = fcLim;
        paragraphTyped = paragraphTyped || p.typed;
        if (p.paraEnd || cp + 1 == d->text.size()) {
            papxRuns.back().papx = papxOfMark(p.papx, paragraphTyped);
            papxRunOpen = false;
            paragraphTyped = false;
        }
    }

    alignTo(wd, fkpPageSize);
    std::uint32_t pnChpFirst = 0, cpnBteChp = 0, pnPapFirst = 0, cpnBtePap = 0;
    // Chpx: cb, then the grpprl.
    constexpr std::size_t maxChpxRuns = 0x65;
    const auto plcBteChpx = writeFkps(
        wd, chpxRuns, 1, maxChpxRuns,
        [this](const ChpxRun& run) {
            const auto& grpprl = d->chpxs[run.chpx];
            FkpEntry entry{run.chpx, {}, {}};
            if (!grpprl.empty()) {
                entry.stored.push_back(std::uint8_t(grpprl.size()));
                entry.stored.insert(entry.stored.end(), grpprl.begin(), grpprl.end());
            }
            return entry;
        },
        pnChpFirst, cpnBteChp);
    // PapxInFkp: an odd length is stored as cb = (size + 1) / 2, an even one as 0, size / 2.
    constexpr std::size_t cbBxPap = 13;
    constexpr std::size_t maxPapxRuns = 0x1D;
    const auto plcBtePapx = writeFkps(
        wd, papxRuns, cbBxPap, maxPapxRuns,
        [&papxs](const PapxRun& run) {
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
        },
        pnPapFirst, cpnBtePap);

    // Clx: the Prc entries as read, then the new piece table.
    ByteWriter clx;
    clx.bytes(d->prcs);
    clx.u8(0x02);
    clx.u32(std::uint32_t(4 * (outPieces.size() + 1) + 8 * outPieces.size()));
    for (const auto& piece : outPieces)
        clx.u32(piece.cpFirst);
    clx.u32(std::uint32_t(d->text.size()));
    for (const auto& piece : outPieces) {
        const auto& attributes = d->pieces[piece.piece];
        clx.u16(attributes.flags);
        clx.u32(piece.compressed ? (piece.fc * 2) | fcCompressedBit : piece.fc);
        clx.u16(attributes.prm);
    }

    std::vector<std::uint32_t> fcLcb = d->rgFcLcb;
    auto append = [&table, &fcLcb](std::size_t index, const std::vector<std::uint8_t>& bytes) {
        alignTo(table, 2);
        fcLcb[2 * index] = std::uint32_t(table.size());
        fcLcb[2 * index + 1] = std::uint32_t(bytes.size());
        table.insert(table.end(), bytes.begin(), bytes.end());
    };
    append(fclcb::Clx, clx.data());
    append(fclcb::PlcfBteChpx, plcBteChpx);
    append(fclcb::PlcfBtePapx, plcBtePapx);
    for (std::size_t index : d->droppedTables)
        fcLcb[2 * index + 1] = 0;
    // Moved tables get a copy of their own: in a damaged file they may share bytes with
    // each other or with other structures, which writing in place would garble.
    for (const auto& cpTable : d->cpTables) {
        const auto [fc, lcb] = d->fcLcb(cpTable.fibIndex);
        std::vector<std::uint8_t> plc(d->table.begin() + fc, d->table.begin() + fc + lcb);
        for (std::size_t i = 0; i < cpTable.cps.size(); ++i)
            storeU32(plc, 4 * i, cpTable.cps[i]);
        append(cpTable.fibIndex, plc);
    }

    std::vector<std::uint32_t> rgLw = d->rgLw;
    rgLw[lw::cbMac] = std::uint32_t(wd.size());
    rgLw[lw::pnChpFirst] = pnChpFirst;
    rgLw[lw::cpnBteChp] = cpnBteChp;
    rgLw[lw::pnPapFirst] = pnPapFirst;
    rgLw[lw::cpnBtePap] = cpnBtePap;
    storeU32(wd, fibbase::fcMin, fcTextFirst);
    storeU32(wd, fibbase::fcMac, fcTextLim);
    // With fComplex clear, readers may take the text as one run from fcMin to fcMac in
    // the first piece's encoding (antiword does); several pieces are what a fast save leaves.
    if (outPieces.size() > 1) {
        ByteCursor flags(wd, fibbase::flags);
        storeU16(wd, fibbase::flags, std::uint16_t(flags.u16() | fibbase::fComplex));
    }
    for (std::size_t i = 0; i < rgLw.size(); ++i)
        storeU32(wd, d->offsetRgLw + 4 * i, rgLw[i]);
    for (std::size_t i = 0; i < fcLcb.size(); ++i)
        storeU32(wd, d->offsetRgFcLcb + 4 * i, fcLcb[i]);

    CompoundFile file = d->file;
    file.setStream("WordDocument", std::move(wd));
    file.setStream(d->tableName, std::move(table));
    return file.serialize();
}

void WordDocument::save(const std::filesystem::path& path, fileio::Access access) const
{
    fileio::replaceFile(path, serialize(), access);
}

} // namespace doc
