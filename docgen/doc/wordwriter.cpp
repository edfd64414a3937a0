// Writes an edited WordState back as a compound file. The old text and FKP pages stay where
// they are (other structures, such as delayed pictures, may point into the stream); the new
// text, its pieces and property runs are appended, and the Fib points at them.

#include "doc/fkp.h"
#include "doc/wordstate.h"

#include <algorithm>
#include <map>

namespace doc::word
{

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

// The text as written: its pieces and where each character landed.
struct WrittenText {
    std::vector<OutPiece> pieces;
    std::vector<std::uint32_t> fcOf;  // each character's first byte, then fcLim
    std::vector<std::uint32_t> fcEnd; // the byte after each character
    std::uint32_t fcFirst = 0;
    std::uint32_t fcLim = 0;
};

// Appends the text to wd: a piece for each stretch of one source piece in one encoding, as
// a compressed piece's characters that cp1252 cannot hold are stored as UTF-16.
WrittenText writeText(const WordState& d, std::vector<std::uint8_t>& wd)
{
    WrittenText out;
    out.fcFirst = std::uint32_t(wd.size());
    out.fcOf.resize(d.text.size() + 1);
    out.fcEnd.resize(d.text.size());
    for (std::size_t cp = 0; cp < d.text.size(); ++cp) {
        const char16_t c = d.text[cp];
        const std::uint32_t piece = d.props[cp].piece;
        const auto narrow = toCompressed(c);
        const bool compressed = d.pieces[piece].compressed && narrow.has_value();
        if (out.pieces.empty() || out.pieces.back().piece != piece ||
            out.pieces.back().compressed != compressed) {
            if (!compressed)
                alignTo(wd, 2);
            out.pieces.push_back({std::uint32_t(cp), std::uint32_t(wd.size()), piece, compressed});
        }
        out.fcOf[cp] = std::uint32_t(wd.size());
        if (compressed) {
            wd.push_back(*narrow);
        } else {
            wd.push_back(std::uint8_t(c));
            wd.push_back(std::uint8_t(c >> 8));
        }
        out.fcEnd[cp] = std::uint32_t(wd.size());
    }
    out.fcLim = std::uint32_t(wd.size());
    out.fcOf[d.text.size()] = out.fcLim;
    return out;
}

// Character runs over the new FCs; they reach over the padding before a UTF-16 piece.
std::vector<ChpxRun> chpxRunsOf(const WordState& d, const WrittenText& text)
{
    std::vector<ChpxRun> runs;
    for (std::size_t cp = 0; cp < d.text.size(); ++cp) {
        const std::uint32_t chpx = d.props[cp].chpx;
        if (runs.empty() || runs.back().chpx != chpx)
            runs.push_back({text.fcOf[cp], text.fcEnd[cp], chpx});
        runs.back().fcLim = text.fcOf[cp + 1];
    }
    return runs;
}

struct ParagraphRuns {
    std::vector<PapxRun> runs;
    std::vector<Papx> papxs; // those read, then copies without a cached height
};

// Paragraph runs over the new FCs. A paragraph run ends right after its mark, as paragraph
// ends are found by comparing run ends with piece ends ([MS-DOC] 2.4.2), and a filler covers
// the padding. A typed paragraph's cached height (its PHE) no longer holds: it is zeroed, as
// writers without a layout do, so Word measures the paragraph again.
ParagraphRuns papxRunsOf(const WordState& d, const WrittenText& text)
{
    ParagraphRuns out{{}, d.papxs};
    std::map<std::uint32_t, std::uint32_t> withoutHeight;
    const auto papxOfMark = [&out, &withoutHeight](std::uint32_t papx, bool typed) {
        const auto& phe = out.papxs[papx].phe;
        if (!typed || std::all_of(phe.begin(), phe.end(), [](std::uint8_t b) { return b == 0; }))
            return papx;
        auto [it, added] = withoutHeight.try_emplace(papx, std::uint32_t(out.papxs.size()));
        if (added)
            out.papxs.push_back(Papx{out.papxs[papx].grpprlAndIstd, {}});
        return it->second;
    };
    std::vector<PapxRun>& runs = out.runs;
    bool runOpen = false;
    bool paragraphTyped = false;
    for (std::size_t cp = 0; cp < d.text.size(); ++cp) {
        const CharProps& p = d.props[cp];
        if (!runOpen) {
            if (!runs.empty() && runs.back().fcLim < text.fcOf[cp])
                runs.push_back({runs.back().fcLim, text.fcOf[cp], runs.back().papx});
            runs.push_back({text.fcOf[cp], text.fcEnd[cp], p.papx});
            runOpen = true;
        }
        runs.back().fcLim = text.fcEnd[cp];
        paragraphTyped = paragraphTyped || p.typed;
        if (p.paraEnd || cp + 1 == d.text.size()) {
            runs.back().papx = papxOfMark(p.papx, paragraphTyped);
            runOpen = false;
            paragraphTyped = false;
        }
    }
    return out;
}

// Clx: the Prc entries as read, then the new PlcPcd.
std::vector<std::uint8_t> writeClx(const WordState& d, const std::vector<OutPiece>& pieces)
{
    ByteWriter clx;
    clx.bytes(d.prcs);
    clx.u8(0x02);
    clx.u32(std::uint32_t(4 * (pieces.size() + 1) + 8 * pieces.size()));
    for (const auto& piece : pieces)
        clx.u32(piece.cpFirst);
    clx.u32(std::uint32_t(d.text.size()));
    for (const auto& piece : pieces) {
        const auto& attributes = d.pieces[piece.piece];
        clx.u16(attributes.flags);
        clx.u32(piece.compressed ? (piece.fc * 2) | kFcCompressedBit : piece.fc);
        clx.u16(attributes.prm);
    }
    return std::move(clx).take();
}

// Appends the new structures to the table stream; returns the Fib's fc/lcb pairs for it.
std::vector<std::uint32_t> appendTables(const WordState& d, std::vector<std::uint8_t>& table,
                                        const std::vector<std::uint8_t>& clx, const FkpPages& chp,
                                        const FkpPages& pap)
{
    std::vector<std::uint32_t> fcLcb = d.rgFcLcb;
    auto append = [&table, &fcLcb](std::size_t index, const std::vector<std::uint8_t>& bytes) {
        alignTo(table, 2);
        fcLcb[2 * index] = std::uint32_t(table.size());
        fcLcb[2 * index + 1] = std::uint32_t(bytes.size());
        table.insert(table.end(), bytes.begin(), bytes.end());
    };
    append(fclcb::Clx, clx);
    append(fclcb::PlcfBteChpx, chp.plcBte);
    append(fclcb::PlcfBtePapx, pap.plcBte);
    for (std::size_t index : d.droppedTables)
        fcLcb[2 * index + 1] = 0;
    // Moved tables get a copy of their own: in a damaged file they may share bytes with
    // each other or with other structures, which writing in place would garble. One left
    // without entries (its last field removed) is written as absent.
    for (const auto& cpTable : d.cpTables)
        append(cpTable.fibIndex, cpTableBytes(cpTable));
    return fcLcb;
}

// Writes the Fib's new values over those read, in place in wd.
void updateFib(const WordState& d, std::vector<std::uint8_t>& wd, const std::vector<std::uint32_t>& fcLcb,
               const WrittenText& text, const FkpPages& chp, const FkpPages& pap)
{
    std::vector<std::uint32_t> rgLw = d.rgLw;
    rgLw[lw::cbMac] = std::uint32_t(wd.size());
    rgLw[lw::pnChpFirst] = chp.pnFirst;
    rgLw[lw::cpnBteChp] = chp.cpnBte;
    rgLw[lw::pnPapFirst] = pap.pnFirst;
    rgLw[lw::cpnBtePap] = pap.cpnBte;
    storeU32(wd, fibbase::fcMin, text.fcFirst);
    storeU32(wd, fibbase::fcMac, text.fcLim);
    // With fComplex clear, readers may take the text as one run from fcMin to fcMac in
    // the first piece's encoding (antiword does); several pieces are what a fast save leaves.
    if (text.pieces.size() > 1) {
        ByteCursor flags(wd, fibbase::flags);
        storeU16(wd, fibbase::flags, std::uint16_t(flags.u16() | fibbase::fComplex));
    }
    for (std::size_t i = 0; i < rgLw.size(); ++i)
        storeU32(wd, d.offsetRgLw + 4 * i, rgLw[i]);
    for (std::size_t i = 0; i < fcLcb.size(); ++i)
        storeU32(wd, d.offsetRgFcLcb + 4 * i, fcLcb[i]);
}

} // namespace

std::vector<std::uint8_t> writeWordState(const WordState& d)
{
    if (!d.changed)
        return d.file.serialize();

    std::vector<std::uint8_t> wd = d.wordDocument;
    alignTo(wd, kFkpPageSize);
    const WrittenText text = writeText(d, wd);
    const std::vector<ChpxRun> chpxRuns = chpxRunsOf(d, text);
    const ParagraphRuns paragraphs = papxRunsOf(d, text);

    alignTo(wd, kFkpPageSize);
    const FkpPages chp = writeChpxFkps(wd, chpxRuns, d.chpxs);
    const FkpPages pap = writePapxFkps(wd, paragraphs.runs, paragraphs.papxs);

    std::vector<std::uint8_t> table = d.table;
    const std::vector<std::uint32_t> fcLcb = appendTables(d, table, writeClx(d, text.pieces), chp, pap);
    updateFib(d, wd, fcLcb, text, chp, pap);

    CompoundFile file = d.file;
    file.setStream("WordDocument", std::move(wd));
    file.setStream(d.tableName, std::move(table));
    return file.serialize();
}

} // namespace doc::word
