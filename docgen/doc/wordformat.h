#pragma once

// Structures of the Word 97-2003 binary format ([MS-DOC]) shared by the reader, the
// writer and the property resolution. Internal to the engine.

#include "doc/bytes.h"
#include "doc/error.h"
#include "doc/readmodel.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace doc::word
{

[[noreturn]] void throwTruncated(const std::string& what);
[[noreturn]] void throwCorrupt(const std::string& what);

// FibBase ([MS-DOC] 2.5.2) offsets and flags.
namespace fibbase
{
constexpr std::size_t wIdent = 0x00;
constexpr std::size_t nFib = 0x02;
constexpr std::size_t flags = 0x0A;
constexpr std::size_t fcMin = 0x18; // reserved in later revisions; older readers still use it
constexpr std::size_t fcMac = 0x1C;
constexpr std::size_t size = 0x20;
constexpr std::uint16_t kWIdentWord = 0xA5EC;
constexpr std::uint16_t kNFibWord97 = 0x00C1;
constexpr std::uint16_t fComplex = 0x0004;
constexpr std::uint16_t fEncrypted = 0x0100;
constexpr std::uint16_t fWhichTblStm = 0x0200;
constexpr std::uint16_t fObfuscated = 0x8000;
} // namespace fibbase

// FibRgLw97 ([MS-DOC] 2.5.4) entries by index.
namespace lw
{
constexpr std::size_t cbMac = 0;
constexpr std::size_t ccpText = 3;
constexpr std::size_t ccpFtn = 4;
constexpr std::size_t ccpHdd = 5;
constexpr std::size_t ccpMcr = 6;
constexpr std::size_t ccpAtn = 7;
constexpr std::size_t ccpEdn = 8;
constexpr std::size_t ccpTxbx = 9;
constexpr std::size_t ccpHdrTxbx = 10;
constexpr std::size_t pnChpFirst = 12;
constexpr std::size_t cpnBteChp = 13;
constexpr std::size_t pnPapFirst = 15;
constexpr std::size_t cpnBtePap = 16;
constexpr std::size_t kCount97 = 22;
} // namespace lw

// FibRgFcLcb97 and its successors ([MS-DOC] 2.5.6 - 2.5.9): the index of each fc/lcb pair.
namespace fclcb
{
constexpr std::size_t Stshf = 1;
constexpr std::size_t PlcffndRef = 2;
constexpr std::size_t PlcffndTxt = 3;
constexpr std::size_t PlcfandRef = 4;
constexpr std::size_t PlcfandTxt = 5;
constexpr std::size_t PlcfSed = 6;
constexpr std::size_t PlcfPhe = 8;
constexpr std::size_t PlcfHdd = 11;
constexpr std::size_t PlcfBteChpx = 12;
constexpr std::size_t PlcfBtePapx = 13;
constexpr std::size_t SttbfFfn = 15;
constexpr std::size_t PlcfFldMom = 16;
constexpr std::size_t PlcfFldHdr = 17;
constexpr std::size_t PlcfFldFtn = 18;
constexpr std::size_t PlcfFldAtn = 19;
constexpr std::size_t PlcfBkf = 22;
constexpr std::size_t PlcfBkl = 23;
constexpr std::size_t Dop = 31;
constexpr std::size_t Clx = 33;
constexpr std::size_t PlcSpaMom = 40;
constexpr std::size_t PlcSpaHdr = 41;
constexpr std::size_t PlcfAtnBkf = 42;
constexpr std::size_t PlcfAtnBkl = 43;
constexpr std::size_t PlcfendRef = 46;
constexpr std::size_t PlcfendTxt = 47;
constexpr std::size_t PlcfFldEdn = 48;
constexpr std::size_t DggInfo = 50;
constexpr std::size_t PlcfSpl = 55;
constexpr std::size_t PlcftxbxTxt = 56;
constexpr std::size_t PlcfFldTxbx = 57;
constexpr std::size_t PlcfHdrtxbxTxt = 58;
constexpr std::size_t PlcfFldHdrTxbx = 59;
constexpr std::size_t PlfLst = 73;
constexpr std::size_t PlfLfo = 74;
constexpr std::size_t PlcfTxbxBkd = 75;
constexpr std::size_t PlcfTxbxHdrBkd = 76;
constexpr std::size_t PlcfGram = 90;
constexpr std::size_t kCount97 = 93;
constexpr std::size_t PlcfTch = 93;
constexpr std::size_t PlcfLad = 98;
constexpr std::size_t PlcfBkfFactoid = 115;
constexpr std::size_t PlcfBklFactoid = 117;
constexpr std::size_t PlcfBkfFcc = 121;
constexpr std::size_t PlcfBklFcc = 122;
constexpr std::size_t PlcfBkfBPRepairs = 124;
constexpr std::size_t PlcfBklBPRepairs = 125;
constexpr std::size_t Plcffactoid = 132;
} // namespace fclcb

constexpr std::size_t kFkpPageSize = 512;
constexpr std::uint32_t kPnMask = 0x003FFFFF;
constexpr std::uint32_t kFcCompressedBit = 0x40000000;

// Compressed pieces ([MS-DOC] 2.4.1) hold one byte a character: Latin-1, except that these
// bytes stand for characters outside it.
constexpr std::array<char16_t, 32> kCompressedHigh = {
    0x0080, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x008E, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x009E, 0x0178,
};

inline char16_t fromCompressed(std::uint8_t byte)
{
    if (byte >= 0x80 && byte <= 0x9F)
        return kCompressedHigh[byte - 0x80];
    return byte;
}

// The byte a compressed piece stores for c, or nullopt when c needs UTF-16.
inline std::optional<std::uint8_t> toCompressed(char16_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return static_cast<std::uint8_t>(c);
    for (std::size_t i = 0; i < kCompressedHigh.size(); ++i)
        if (kCompressedHigh[i] == c)
            return static_cast<std::uint8_t>(0x80 + i);
    return std::nullopt;
}

// A PLC ([MS-DOC] 2.2.2): n + 1 ascending CPs followed by n entries of cbData bytes.
struct Plc {
    std::vector<std::uint32_t> cps;
    std::vector<std::span<const std::uint8_t>> data;
    std::size_t count() const { return data.size(); }
};
// The count comes from the byte length, which must fit exactly; CPs must not decrease.
Plc readPlc(std::span<const std::uint8_t> bytes, std::size_t cbData, const char* name);

// Colours, borders and fills as paragraphs, cells and characters store them ([MS-DOC] 2.9.119 Ico,
// 2.9.43 COLORREF, 2.9.16 Brc, 2.9.17 Brc80, 2.9.245 Shd, 2.9.248 Shd80). Damaged or nil values give
// kAutoColor and no border.
std::uint32_t colorFromIco(std::uint8_t ico);
std::uint32_t colorFromColorRef(std::uint32_t cv);
// A Brc80 (4 bytes, also Brc80MayBeNil) or a Brc (8 bytes); any other size is no border. A BrcOperand
// holds its Brc after its cb byte.
Border borderFrom(std::span<const std::uint8_t> brc);
// A border of Brc's brcType (which ST_Border numbers alike), dptLineWidth and space in points.
Border lineBorder(std::uint8_t brcType, std::uint8_t dptLineWidth, std::uint32_t color, std::uint8_t spacePt);
// The fill colour of a Shd80 (2 bytes) or a Shd (10 bytes), its pattern's share of the foreground
// colour blended over the background; kAutoColor for none. An SHDOperand holds its Shd after its cb
// byte.
std::uint32_t shadingFrom(std::span<const std::uint8_t> shd);
// A pattern's fill: percent of the foreground colour blended over the background.
std::uint32_t shadingFill(std::uint32_t fore, std::uint32_t back, int percent);

// A Sprm with its operand ([MS-DOC] 2.2.5.1).
struct Prl {
    std::uint16_t sprm = 0;
    std::span<const std::uint8_t> operand;
};
// Splits a grpprl into its Prls; a Prl that runs past the end ends the list.
std::vector<Prl> readGrpprl(std::span<const std::uint8_t> grpprl);

// Sprms the engine reads or filters.
// Characters the text holds for its structure ([MS-DOC] 2.8.25, 2.4.4): a field's begin, separator and
// end marks (also the low five bits of its Fld in a field table), a cell's or row's end, a line
// break, a page or section break, an inline picture and a floating shape's anchor, a column break
// and the hyphens Word shows its own way.
namespace mark
{
constexpr char16_t FieldBegin = 0x13;
constexpr char16_t FieldSeparator = 0x14;
constexpr char16_t FieldEnd = 0x15;
constexpr char16_t CellEnd = 0x07;
constexpr char16_t LineBreak = 0x0B;
constexpr char16_t PageBreak = 0x0C;
constexpr char16_t Picture = 0x01;
constexpr char16_t ShapeAnchor = 0x08;
constexpr char16_t ColumnBreak = 0x0E;
constexpr char16_t NonBreakingHyphen = 0x1E;
constexpr char16_t SoftHyphen = 0x1F;
} // namespace mark

namespace sprm
{
constexpr std::uint16_t CFRMarkDel = 0x0800;
constexpr std::uint16_t CFRMarkIns = 0x0801;
constexpr std::uint16_t CFFldVanish = 0x0802;
constexpr std::uint16_t CPicLocation = 0x6A03;
constexpr std::uint16_t CFData = 0x0806;
constexpr std::uint16_t CFOle2 = 0x080A;
constexpr std::uint16_t CObjLocation = 0x680E;
constexpr std::uint16_t CIstd = 0x4A30;
constexpr std::uint16_t CFBold = 0x0835;
constexpr std::uint16_t CFItalic = 0x0836;
constexpr std::uint16_t CFSpec = 0x0855;
constexpr std::uint16_t CFObj = 0x0856;
constexpr std::uint16_t CKul = 0x2A3E;
constexpr std::uint16_t CHps = 0x4A43;
constexpr std::uint16_t CHpsKern = 0x484B;
constexpr std::uint16_t CRgFtc0 = 0x4A4F;
constexpr std::uint16_t CFStrike = 0x0837;
constexpr std::uint16_t CFDStrike = 0x2A53;
constexpr std::uint16_t CFSmallCaps = 0x083A;
constexpr std::uint16_t CFCaps = 0x083B;
constexpr std::uint16_t CFVanish = 0x083C;
constexpr std::uint16_t CIss = 0x2A48;
constexpr std::uint16_t CDxaSpace = 0x8840;
constexpr std::uint16_t CIco = 0x2A42;
constexpr std::uint16_t CCv = 0x6870;
constexpr std::uint16_t CHighlight = 0x2A0C;
constexpr std::uint16_t CShd80 = 0x4866;
constexpr std::uint16_t CShd = 0xCA71;
constexpr std::uint16_t PJc80 = 0x2403;
constexpr std::uint16_t PJc = 0x2461;
constexpr std::uint16_t PDxaRight80 = 0x840E;
constexpr std::uint16_t PDxaLeft80 = 0x840F;
constexpr std::uint16_t PDxaLeft1_80 = 0x8411;
constexpr std::uint16_t PDxaRight = 0x845D;
constexpr std::uint16_t PDxaLeft = 0x845E;
constexpr std::uint16_t PDxaLeft1 = 0x8460;
constexpr std::uint16_t PDyaLine = 0x6412;
constexpr std::uint16_t PDyaBefore = 0xA413;
constexpr std::uint16_t PDyaAfter = 0xA414;
constexpr std::uint16_t PChgTabsPapx = 0xC60D;
constexpr std::uint16_t PChgTabs = 0xC615;
constexpr std::uint16_t PFKeep = 0x2405;
constexpr std::uint16_t PFKeepFollow = 0x2406;
constexpr std::uint16_t PFPageBreakBefore = 0x2407;
constexpr std::uint16_t PFWidowControl = 0x2431;
constexpr std::uint16_t PIlvl = 0x260A;
constexpr std::uint16_t PIlfo = 0x460B;
constexpr std::uint16_t PBrcTop80 = 0x6424;
constexpr std::uint16_t PBrcLeft80 = 0x6425;
constexpr std::uint16_t PBrcBottom80 = 0x6426;
constexpr std::uint16_t PBrcRight80 = 0x6427;
constexpr std::uint16_t PBrcBetween80 = 0x6428;
constexpr std::uint16_t PBrcTop = 0xC64E;
constexpr std::uint16_t PBrcLeft = 0xC64F;
constexpr std::uint16_t PBrcBottom = 0xC650;
constexpr std::uint16_t PBrcRight = 0xC651;
constexpr std::uint16_t PBrcBetween = 0xC652;
constexpr std::uint16_t PShd80 = 0x442D;
constexpr std::uint16_t PShd = 0xC64D;
constexpr std::uint16_t PFInTable = 0x2416;
constexpr std::uint16_t PFTtp = 0x2417;
constexpr std::uint16_t PFInnerTableCell = 0x244B;
constexpr std::uint16_t PFInnerTtp = 0x244C;
constexpr std::uint16_t PHugePapx = 0x6646;
constexpr std::uint16_t PItap = 0x6649;
constexpr std::uint16_t TDefTable = 0xD608;
constexpr std::uint16_t TJc90 = 0x5400;
constexpr std::uint16_t TJc = 0x548A;
constexpr std::uint16_t TDxaLeft = 0x9601;
constexpr std::uint16_t TDxaGapHalf = 0x9602;
constexpr std::uint16_t TFCantSplit90 = 0x3403;
constexpr std::uint16_t TFCantSplit = 0x3466;
constexpr std::uint16_t TTableHeader = 0x3404;
constexpr std::uint16_t TDyaRowHeight = 0x9407;
constexpr std::uint16_t TTableBorders80 = 0xD605;
constexpr std::uint16_t TTableBorders = 0xD613;
constexpr std::uint16_t TDefTableShd80 = 0xD609;
constexpr std::uint16_t TDefTableShd = 0xD612;
constexpr std::uint16_t TDefTableShd2nd = 0xD616;
constexpr std::uint16_t TDefTableShd3rd = 0xD60C;
constexpr std::uint16_t TSetBrc80 = 0xD620;
constexpr std::uint16_t TSetBrc = 0xD62F;
constexpr std::uint16_t TVertMerge = 0xD62B;
constexpr std::uint16_t TVertAlign = 0xD62C;
constexpr std::uint16_t TCellPadding = 0xD632;
constexpr std::uint16_t TCellPaddingDefault = 0xD634;
constexpr std::uint16_t SBkc = 0x3009;
constexpr std::uint16_t SFTitlePage = 0x300A;
constexpr std::uint16_t SFPgnRestart = 0x3011;
constexpr std::uint16_t SPgnStart97 = 0x501C;
constexpr std::uint16_t SPgnStart = 0x7044;
constexpr std::uint16_t SDyaHdrTop = 0xB017;
constexpr std::uint16_t SDyaHdrBottom = 0xB018;
constexpr std::uint16_t SXaPage = 0xB01F;
constexpr std::uint16_t SYaPage = 0xB020;
constexpr std::uint16_t SDxaLeft = 0xB021;
constexpr std::uint16_t SDxaRight = 0xB022;
constexpr std::uint16_t SDyaTop = 0x9023;
constexpr std::uint16_t SDyaBottom = 0x9024;
} // namespace sprm

// A table-stream structure holding CPs ([MS-DOC] 2.8), kept as read but for its positions
// and entries, which follow every edit of the text.
struct CpTable {
    enum class Positions {
        // Range limits: text typed at one joins the range that starts there; those inside
        // removed text go to its start.
        Limits,
        // As Limits, but a commented range ends right at its comment's mark, so its end
        // moves with the mark.
        LimitsAtMarks,
        // Field characters: they move with text typed at them, and go with their field.
        FieldMarks,
        // Note references and shape anchors: they move with text typed at them, and text
        // holding one cannot be removed, since other stories or drawings refer to it.
        Anchors,
    };
    std::size_t fibIndex = 0;
    // The FibRgLw97 index of the story these positions count from; nullopt for those that
    // count from the start of the whole text (the main text's, bookmarks in any story).
    std::optional<std::size_t> story;
    Positions positions = Positions::Limits;
    std::size_t cbData = 0;
    std::vector<std::uint32_t> cps;
    std::vector<std::uint8_t> data; // the entries, cbData bytes each
    std::size_t count() const { return cps.empty() ? 0 : cps.size() - 1; }
};

struct PieceAttributes {
    std::uint16_t flags = 0; // Pcd bits: fNoParaLast, fR1, fDirty, fR2
    std::uint16_t prm = 0;
    bool compressed = false;
};

struct Papx {
    std::vector<std::uint8_t> grpprlAndIstd; // istd (2 bytes) then the grpprl
    std::array<std::uint8_t, 12> phe{};
};

// What each character carries besides its code unit.
struct CharProps {
    std::uint32_t chpx = 0;  // index into WordState::chpxs
    std::uint32_t papx = 0;  // index into WordState::papxs
    std::uint32_t piece = 0; // index into WordState::pieces
    bool paraEnd = false;    // the last character of a paragraph (its mark)
    bool typed = false;      // inserted: its paragraph's cached height (PHE) no longer holds
};

} // namespace doc::word
