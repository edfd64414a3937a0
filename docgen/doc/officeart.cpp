#include "doc/officeart.h"

#include "doc/bytes.h"

#include <array>

namespace doc::word::officeart
{

namespace
{

constexpr std::size_t kHeaderSize = 8;
constexpr std::uint8_t kContainer = 0xF;
// Groups nest: deeper than this is damage, not a drawing.
constexpr int kMaxDepth = 16;

// The blip records ([MS-ODRAW] 2.2.24 - 2.2.30): the recInstance naming one UID, that plus one naming
// two; metafiles carry an OfficeArtMetafileHeader, bitmaps a tag byte, before the data.
struct BlipKind {
    std::uint16_t recType;
    std::uint16_t oneUid;
    Picture::Format format;
    bool metafile;
};
constexpr std::array<BlipKind, 10> kBlipKinds = {{
    {0xF01A, 0x3D4, Picture::Format::Emf, true},
    {0xF01B, 0x216, Picture::Format::Wmf, true},
    {0xF01C, 0x542, Picture::Format::Pict, true},
    {0xF01D, 0x46A, Picture::Format::Jpeg, false},
    {0xF01D, 0x6E2, Picture::Format::Jpeg, false},
    {0xF02A, 0x46A, Picture::Format::Jpeg, false},
    {0xF02A, 0x6E2, Picture::Format::Jpeg, false},
    {0xF01E, 0x6E0, Picture::Format::Png, false},
    {0xF01F, 0x7A8, Picture::Format::Dib, false},
    {0xF029, 0x6E4, Picture::Format::Tiff, false},
}};
constexpr std::size_t kUidSize = 16;
constexpr std::size_t kMetafileHeaderSize = 34;
constexpr std::size_t kTagSize = 1;

// OfficeArtFBSE ([MS-ODRAW] 2.2.32) before its name: btWin32, btMacOS, rgbUid, tag, size, cRef,
// foDelay, unused1, cbName, unused2, unused3.
constexpr std::size_t kFbseSize = 36;
constexpr std::size_t kFbseSizeField = 20;
constexpr std::size_t kFbseFoDelay = 28;
constexpr std::size_t kFbseCbName = 33;

// Property ids ([MS-ODRAW] 2.3).
namespace pid
{
constexpr std::uint16_t lTxid = 0x0080;
constexpr std::uint16_t dxTextLeft = 0x0081; // then dyTextTop, dxTextRight, dyTextBottom
constexpr std::uint16_t cropFromTop = 0x0100;
constexpr std::uint16_t cropFromBottom = 0x0101;
constexpr std::uint16_t cropFromLeft = 0x0102;
constexpr std::uint16_t cropFromRight = 0x0103;
constexpr std::uint16_t pib = 0x0104;
constexpr std::uint16_t fillColor = 0x0181;
constexpr std::uint16_t fillStyleBooleans = 0x01BF;
constexpr std::uint16_t lineColor = 0x01C0;
constexpr std::uint16_t lineWidth = 0x01CB;
constexpr std::uint16_t lineStyleBooleans = 0x01FF;
constexpr std::uint16_t dxWrapDistLeft = 0x0384; // then dyWrapDistTop, dxWrapDistRight, dyWrapDistBottom
constexpr std::uint16_t posrelh = 0x0390;
constexpr std::uint16_t posrelv = 0x0392;
constexpr std::uint16_t groupShapeBooleans = 0x03BF;
} // namespace pid
// Group Shape Boolean Properties ([MS-ODRAW] 2.3.4.44).
constexpr std::uint32_t fBehindDocument = 0x00000020;
constexpr std::uint32_t fUsefBehindDocument = 0x00200000;
// Fill and Line Style Boolean Properties ([MS-ODRAW] 2.3.7.43, 2.3.8.38).
constexpr std::uint32_t fFilled = 0x00000010;
constexpr std::uint32_t fUsefFilled = 0x00100000;
constexpr std::uint32_t fLine = 0x00000008;
constexpr std::uint32_t fUsefLine = 0x00080000;
constexpr std::uint16_t kPidMask = 0x3FFF;
constexpr std::uint16_t kComplexBit = 0x8000;
constexpr std::size_t kFoptEntrySize = 6;

bool isBlip(std::uint16_t recType)
{
    return recType >= rt::BlipFirst && recType <= rt::BlipLast;
}

// An OfficeArtFOPT's simple properties ([MS-ODRAW] 2.2.9); complex ones hold no value the engine reads.
void readProperties(const Record& fopt, ShapeProperties& shape)
{
    ByteCursor c(fopt.body);
    for (std::size_t i = 0; i < fopt.recInstance && c.remaining() >= kFoptEntrySize; ++i) {
        const std::uint16_t opid = c.u16();
        const std::uint32_t op = c.u32();
        if (opid & kComplexBit)
            continue;
        const std::uint16_t id = opid & kPidMask;
        if (id >= pid::dxTextLeft && id < pid::dxTextLeft + shape.textMargins.size()) {
            shape.textMargins[id - pid::dxTextLeft] = static_cast<std::int32_t>(op);
            continue;
        }
        if (id >= pid::dxWrapDistLeft && id < pid::dxWrapDistLeft + shape.wrapDistances.size()) {
            shape.wrapDistances[id - pid::dxWrapDistLeft] = static_cast<std::int32_t>(op);
            continue;
        }
        switch (id) {
        case pid::lTxid:
            shape.lTxid = op;
            break;
        case pid::cropFromTop:
            shape.cropFromTop = static_cast<std::int32_t>(op);
            break;
        case pid::cropFromBottom:
            shape.cropFromBottom = static_cast<std::int32_t>(op);
            break;
        case pid::cropFromLeft:
            shape.cropFromLeft = static_cast<std::int32_t>(op);
            break;
        case pid::cropFromRight:
            shape.cropFromRight = static_cast<std::int32_t>(op);
            break;
        case pid::pib:
            shape.pib = op;
            break;
        case pid::posrelh:
            shape.posrelh = op;
            break;
        case pid::posrelv:
            shape.posrelv = op;
            break;
        case pid::fillColor:
            shape.fillColor = op;
            break;
        case pid::fillStyleBooleans:
            if (op & fUsefFilled)
                shape.filled = (op & fFilled) != 0;
            break;
        case pid::lineColor:
            shape.lineColor = op;
            break;
        case pid::lineWidth:
            shape.lineWidth = static_cast<std::int32_t>(op);
            break;
        case pid::lineStyleBooleans:
            if (op & fUsefLine)
                shape.line = (op & fLine) != 0;
            break;
        case pid::groupShapeBooleans:
            if (op & fUsefBehindDocument)
                shape.behindDocument = (op & fBehindDocument) != 0;
            break;
        default:
            break;
        }
    }
}

void collectShapes(const Record& container, std::vector<ShapeProperties>& shapes, int depth)
{
    if (depth > kMaxDepth)
        return;
    for (const Record& child : records(container.body)) {
        if (child.recVer != kContainer)
            continue;
        if (child.recType == rt::SpContainer)
            shapes.push_back(readShape(child));
        else
            collectShapes(child, shapes, depth + 1);
    }
}

std::optional<Record> readRecord(ByteCursor& c)
{
    if (c.remaining() < kHeaderSize)
        return std::nullopt;
    const std::uint16_t verInstance = c.u16();
    Record record;
    record.recVer = static_cast<std::uint8_t>(verInstance & 0xF);
    record.recInstance = static_cast<std::uint16_t>(verInstance >> 4);
    record.recType = c.u16();
    const std::uint32_t recLen = c.u32();
    if (recLen > c.remaining())
        return std::nullopt;
    record.body = c.bytes(recLen);
    return record;
}

} // namespace

std::vector<Record> records(std::span<const std::uint8_t> bytes)
{
    std::vector<Record> result;
    ByteCursor c(bytes);
    while (const std::optional<Record> record = readRecord(c))
        result.push_back(*record);
    return result;
}

std::optional<Picture> readBlip(const Record& blip)
{
    if (!isBlip(blip.recType))
        return std::nullopt;
    Picture picture;
    std::size_t header = 0;
    bool known = false;
    for (const BlipKind& kind : kBlipKinds) {
        if (kind.recType != blip.recType)
            continue;
        known = true;
        if (blip.recInstance != kind.oneUid && blip.recInstance != kind.oneUid + 1)
            continue;
        picture.format = kind.format;
        header = (blip.recInstance == kind.oneUid ? kUidSize : 2 * kUidSize) +
                 (kind.metafile ? kMetafileHeaderSize : kTagSize);
        break;
    }
    if (known && header == 0)
        return std::nullopt;
    if (header > blip.body.size())
        return std::nullopt;
    const auto data = blip.body.subspan(header);
    picture.bytes.assign(data.begin(), data.end());
    return picture;
}

std::optional<Picture> readStoreEntry(const Record& entry, std::span<const std::uint8_t> delayStream)
{
    if (isBlip(entry.recType))
        return readBlip(entry);
    if (entry.recType != rt::FBSE)
        return std::nullopt;
    ByteCursor c(entry.body);
    c.seek(kFbseSizeField);
    const std::uint32_t size = c.u32();
    c.seek(kFbseFoDelay);
    const std::uint32_t foDelay = c.u32();
    c.seek(kFbseCbName);
    const std::uint8_t cbName = c.u8();
    c.seek(kFbseSize);
    c.skip(cbName);
    if (!c.ok())
        return std::nullopt;
    std::span<const std::uint8_t> blip = entry.body.subspan(c.offset());
    if (blip.size() < kHeaderSize) {
        if (!rangeFits(delayStream.size(), foDelay, size))
            return std::nullopt;
        blip = delayStream.subspan(foDelay, size);
    }
    const std::vector<Record> found = records(blip);
    if (found.empty())
        return std::nullopt;
    return readBlip(found.front());
}

ShapeProperties readShape(const Record& spContainer)
{
    ShapeProperties shape;
    for (const Record& child : records(spContainer.body)) {
        switch (child.recType) {
        case rt::FSP:
            shape.spid = ByteCursor(child.body).u32();
            break;
        case rt::FOPT:
        case rt::SecondaryFOPT:
        case rt::TertiaryFOPT:
            readProperties(child, shape);
            break;
        case rt::ClientTextbox:
            // Word's OfficeArtClientTextbox ([MS-DOC] 2.9.170) holds the text id when the properties do not.
            if (!shape.lTxid && child.body.size() >= 4)
                shape.lTxid = ByteCursor(child.body).u32();
            break;
        default:
            break;
        }
    }
    return shape;
}

Content readContent(std::span<const std::uint8_t> bytes)
{
    Content content;
    ByteCursor c(bytes);
    const std::optional<Record> dgg = readRecord(c);
    if (!dgg || dgg->recType != rt::DggContainer)
        return content;
    for (const Record& child : records(dgg->body))
        if (child.recType == rt::BStoreContainer)
            content.store = records(child.body);
    // Then each drawing: a dgglbl byte (main text or headers) and its OfficeArtDgContainer.
    while (c.remaining() > kHeaderSize) {
        c.skip(1);
        const std::optional<Record> drawing = readRecord(c);
        if (!drawing)
            break;
        collectShapes(*drawing, content.shapes, 0);
    }
    return content;
}

} // namespace doc::word::officeart
