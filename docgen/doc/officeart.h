#pragma once

// OfficeArt records ([MS-ODRAW] 2.2) as a Word document keeps them: the picture store, the drawings'
// shapes with their properties, and the pictures themselves. Internal to the engine. Nothing here
// throws: a damaged record reads as absent.

#include "doc/readmodel.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace doc::word::officeart
{

// OfficeArtRecordHeader ([MS-ODRAW] 2.2.1) with the bytes it holds.
struct Record {
    std::uint8_t recVer = 0;
    std::uint16_t recInstance = 0;
    std::uint16_t recType = 0;
    std::span<const std::uint8_t> body;
};

namespace rt
{
constexpr std::uint16_t DggContainer = 0xF000;
constexpr std::uint16_t BStoreContainer = 0xF001;
constexpr std::uint16_t SpContainer = 0xF004;
constexpr std::uint16_t FBSE = 0xF007;
constexpr std::uint16_t FSP = 0xF00A;
constexpr std::uint16_t FOPT = 0xF00B;
constexpr std::uint16_t ClientTextbox = 0xF00D;
constexpr std::uint16_t SecondaryFOPT = 0xF121;
constexpr std::uint16_t TertiaryFOPT = 0xF122;
constexpr std::uint16_t BlipFirst = 0xF018;
constexpr std::uint16_t BlipLast = 0xF117;
} // namespace rt

// The records that follow each other in bytes, up to the first that runs past the end.
std::vector<Record> records(std::span<const std::uint8_t> bytes);

// A picture from an OfficeArtBlip record ([MS-ODRAW] 2.2.23), its data as stored (a metafile may
// be compressed); Format::Unknown for a kind of blip not named there. Size left zero.
std::optional<Picture> readBlip(const Record& blip);

// The picture of a picture store entry: an FBSE with its blip embedded or at foDelay in
// delayStream, or a blip record standing alone.
std::optional<Picture> readStoreEntry(const Record& entry, std::span<const std::uint8_t> delayStream);

// What the engine reads of a shape ([MS-ODRAW] 2.2.14 OfficeArtSpContainer): its id from the FSP, and
// from its property tables the picture, the text and the position's origins.
struct ShapeProperties {
    std::uint32_t spid = 0;
    std::optional<std::uint32_t> pib;   // 1-based, into the picture store
    std::optional<std::uint32_t> lTxid; // text id: story index (1-based) << 16, place in its chain
    // As Word writes them: 0 margin, 1 page, 2 text (column or paragraph), 3 character or line, one
    // less than [MS-ODRAW] 2.3.4.20 numbers them, and so as FSPA's bx and by.
    std::optional<std::uint32_t> posrelh;
    std::optional<std::uint32_t> posrelv;
    std::optional<bool> behindDocument; // fBehindDocument, when its fUsef bit is set
    // In EMUs, left, top, right, bottom: the text's margins inside the shape ([MS-ODRAW] 2.3.21) and how
    // near wrapped text comes to it (2.3.4).
    std::array<std::optional<std::int32_t>, 4> textMargins;
    std::array<std::optional<std::int32_t>, 4> wrapDistances;
    // The outline and the fill ([MS-ODRAW] 2.3.8, 2.3.7): fLine and fFilled where their fUsef bits are set,
    // colours as OfficeArtCOLORREF.
    std::optional<bool> line;
    std::optional<std::uint32_t> lineColor;
    std::optional<std::int32_t> lineWidth; // EMUs
    std::optional<bool> filled;
    std::optional<std::uint32_t> fillColor;
    // cropFromLeft, cropFromTop, cropFromRight, cropFromBottom ([MS-ODRAW] 2.3.23): 16.16 fixed-point shares
    // of the picture's width or height, negative where it is cropped outward.
    std::optional<std::int32_t> cropFromLeft;
    std::optional<std::int32_t> cropFromTop;
    std::optional<std::int32_t> cropFromRight;
    std::optional<std::int32_t> cropFromBottom;
};
ShapeProperties readShape(const Record& spContainer);

// The shapes of every drawing and the picture store of an OfficeArtContent ([MS-DOC] 2.11.1).
struct Content {
    std::vector<Record> store; // OfficeArtBStoreContainerFileBlock records, in pib order
    std::vector<ShapeProperties> shapes;
};
Content readContent(std::span<const std::uint8_t> bytes);

} // namespace doc::word::officeart
