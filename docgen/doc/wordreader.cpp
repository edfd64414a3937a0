// Reads a Word 97-2003 document into a WordState: Fib, table stream, Clx, property runs,
// then the text of every piece with the properties of each character.

#include "doc/fkp.h"
#include "doc/wordstate.h"

namespace doc::word
{

namespace
{

// FibBase ([MS-DOC] 2.5.2): its flags, once it is known to be an unencrypted Word 97 or
// later document.
std::uint16_t readFibBase(std::span<const std::uint8_t> wd)
{
    ByteCursor fib(wd);
    const std::uint16_t wIdent = fib.u16();
    const std::uint16_t nFib = fib.u16();
    fib.seek(fibbase::flags);
    const std::uint16_t flags = fib.u16();
    if (!fib.ok())
        throwTruncated("Fib");
    if (wIdent != fibbase::kWIdentWord || nFib < fibbase::kNFibWord97)
        throw Error(Error::Kind::Unsupported, "unsupported: Word 6/95 document");
    if (flags & (fibbase::fEncrypted | fibbase::fObfuscated))
        throw Error(Error::Kind::Unsupported, "unsupported: encrypted document");
    return flags;
}

// FibRgLw97 and FibRgFcLcb ([MS-DOC] 2.5.4 - 2.5.9), with their offsets, so that a save
// writes them back in place.
void readFibArrays(WordState& d)
{
    ByteCursor fib(d.wordDocument, fibbase::size);
    const std::size_t csw = fib.u16();
    fib.skip(2 * csw);
    const std::size_t cslw = fib.u16();
    d.offsetRgLw = fib.offset();
    if (fib.ok() && cslw >= lw::kCount97) {
        d.rgLw.resize(cslw);
        for (auto& value : d.rgLw)
            value = fib.u32();
    }
    const std::size_t cbRgFcLcb = fib.u16();
    d.offsetRgFcLcb = fib.offset();
    if (fib.ok() && cbRgFcLcb >= fclcb::kCount97) {
        d.rgFcLcb.resize(2 * cbRgFcLcb);
        for (auto& value : d.rgFcLcb)
            value = fib.u32();
    }
    if (!fib.ok())
        throwTruncated("Fib");
    if (d.rgLw.empty() || d.rgFcLcb.empty())
        throwCorrupt("Fib too small");
}

void readTableStream(WordState& d, std::uint16_t fibFlags)
{
    d.tableName = (fibFlags & fibbase::fWhichTblStm) ? "1Table" : "0Table";
    if (!d.file.hasStream(d.tableName))
        throwCorrupt("table stream missing");
    d.table = d.file.stream(d.tableName);
}

// Clx ([MS-DOC] 2.9.38): the Prc entries, copied whole, then the Pcdt's PlcPcd. The
// returned Plc's entries point into d.table.
Plc readClx(WordState& d)
{
    const auto clx = d.tableBytes(fclcb::Clx, "Clx");
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
        d.prcGrpprls.emplace_back(start + 3, std::size_t(cbGrpprl));
    }
    d.prcs.assign(clx.begin(), clx.begin() + std::ptrdiff_t(cursor.offset()));
    if (cursor.u8() != 0x02)
        throwCorrupt("no piece table");
    const std::uint32_t lcbPlcPcd = cursor.u32();
    const auto plcPcdBytes = cursor.bytes(lcbPlcPcd);
    if (!cursor.ok())
        throwTruncated("piece table");
    Plc plcPcd = readPlc(plcPcdBytes, 8, "PlcPcd");
    if (plcPcd.count() == 0)
        throwCorrupt("no piece table");
    if (plcPcd.cps.front() != 0)
        throwCorrupt("piece table does not start at 0");
    // Valid pieces do not overlap, so the text can never hold more characters than the
    // stream has bytes; this also bounds what a hostile piece table can make us allocate.
    if (plcPcd.cps.back() > d.wordDocument.size())
        throwCorrupt("piece table longer than the text");
    return plcPcd;
}

void checkStoryLengths(const WordState& d, std::uint32_t cpMac)
{
    std::uint64_t storiesLength = 0;
    for (std::size_t i : {lw::ccpText, lw::ccpFtn, lw::ccpHdd, lw::ccpMcr, lw::ccpAtn, lw::ccpEdn,
                          lw::ccpTxbx, lw::ccpHdrTxbx})
        storiesLength += d.rgLw[i];
    if (storiesLength > cpMac || d.ccpText() == 0)
        throwCorrupt("story lengths do not match the piece table");
}

// Pcd ([MS-DOC] 2.9.177): where a piece's text lies and how it is stored.
struct Pcd {
    PieceAttributes attributes;
    std::uint32_t fc = 0; // byte offset in the WordDocument stream
};

Pcd readPcd(std::span<const std::uint8_t> entry)
{
    ByteCursor cursor(entry);
    Pcd pcd;
    pcd.attributes.flags = cursor.u16();
    const std::uint32_t fcCompressed = cursor.u32();
    pcd.attributes.prm = cursor.u16();
    pcd.attributes.compressed = (fcCompressed & kFcCompressedBit) != 0;
    pcd.fc = pcd.attributes.compressed ? (fcCompressed & ~kFcCompressedBit) / 2 : fcCompressed;
    return pcd;
}

// The text of every piece, each character with the properties of the runs holding its FC.
void readText(WordState& d, const Plc& plcPcd, const std::vector<ChpxRun>& chpxRuns,
              const std::vector<PapxRun>& papxRuns)
{
    const std::vector<std::uint8_t>& wd = d.wordDocument;
    // Characters no run covers get empty properties.
    d.chpxs.emplace_back();
    const auto noChpx = std::uint32_t(d.chpxs.size() - 1);
    d.papxs.push_back(Papx{{0, 0}, {}});
    const auto noPapx = std::uint32_t(d.papxs.size() - 1);

    d.text.reserve(plcPcd.cps.back());
    d.props.reserve(plcPcd.cps.back());
    for (std::size_t i = 0; i < plcPcd.count(); ++i) {
        const auto [attributes, fc] = readPcd(plcPcd.data[i]);
        const std::uint32_t width = attributes.compressed ? 1 : 2;
        const std::uint32_t length = plcPcd.cps[i + 1] - plcPcd.cps[i];
        if (!rangeFits(wd.size(), fc, std::uint64_t(length) * width))
            throwTruncated("piece past the stream");
        d.pieces.push_back(attributes);
        const auto piece = std::uint32_t(d.pieces.size() - 1);

        for (std::uint32_t k = 0; k < length; ++k) {
            const std::uint32_t at = fc + k * width;
            d.text.push_back(attributes.compressed ? fromCompressed(wd[at])
                                                   : char16_t(wd[at] | (wd[at + 1] << 8)));
            CharProps props;
            props.piece = piece;
            const ChpxRun* chpx = findRun(chpxRuns, at);
            props.chpx = chpx ? chpx->chpx : noChpx;
            const PapxRun* papx = findRun(papxRuns, at);
            props.papx = papx ? papx->papx : noPapx;
            props.paraEnd = papx && papx->fcLim == at + width;
            d.props.push_back(props);
        }
    }
}

} // namespace

WordState readWordState(std::span<const std::uint8_t> bytes)
{
    WordState d(CompoundFile::parse(bytes));
    if (!d.file.hasStream("WordDocument"))
        throw Error(Error::Kind::NotWordDocument, "not a Word 97-2003 document");
    d.wordDocument = d.file.stream("WordDocument");

    const std::uint16_t fibFlags = readFibBase(d.wordDocument);
    readFibArrays(d);
    readTableStream(d, fibFlags);
    const Plc plcPcd = readClx(d);
    checkStoryLengths(d, plcPcd.cps.back());
    const auto chpxRuns =
        readChpxRuns(d.tableBytes(fclcb::PlcfBteChpx, "PlcfBteChpx"), d.wordDocument, d.chpxs);
    const auto papxRuns =
        readPapxRuns(d.tableBytes(fclcb::PlcfBtePapx, "PlcfBtePapx"), d.wordDocument, d.papxs);
    readText(d, plcPcd, chpxRuns, papxRuns);
    // Read now, so that each insertion only moves numbers.
    readCpTables(d);
    return d;
}

} // namespace doc::word
