#include "doc/wordformat.h"

#include <algorithm>

namespace doc::word
{

void throwTruncated(const std::string& what)
{
    throw Error(Error::Kind::Truncated, "truncated Word document: " + what);
}

void throwCorrupt(const std::string& what)
{
    throw Error(Error::Kind::Corrupt, "corrupt Word document: " + what);
}

Plc readPlc(std::span<const std::uint8_t> bytes, std::size_t cbData, const char* name)
{
    Plc plc;
    if (bytes.empty())
        return plc;
    const std::size_t entry = 4 + cbData;
    if (bytes.size() < 4 || (bytes.size() - 4) % entry != 0)
        throwCorrupt(std::string("bad length of ") + name);
    const std::size_t n = (bytes.size() - 4) / entry;
    ByteCursor cursor(bytes);
    plc.cps.reserve(n + 1);
    for (std::size_t i = 0; i <= n; ++i) {
        const std::uint32_t cp = cursor.u32();
        if (!plc.cps.empty() && cp < plc.cps.back())
            throwCorrupt(std::string("positions out of order in ") + name);
        plc.cps.push_back(cp);
    }
    plc.data.reserve(n);
    for (std::size_t i = 0; i < n; ++i)
        plc.data.push_back(cursor.bytes(cbData));
    assert(cursor.ok());
    return plc;
}

namespace
{

// The operand size of a sprm from its spra bits; nullopt for the variable-length kinds.
std::optional<std::size_t> fixedOperandSize(std::uint16_t sprm)
{
    switch (sprm >> 13) {
    case 0:
    case 1:
        return 1;
    case 2:
    case 4:
    case 5:
        return 2;
    case 3:
        return 4;
    case 7:
        return 3;
    default:
        return std::nullopt;
    }
}

} // namespace

std::vector<Prl> readGrpprl(std::span<const std::uint8_t> grpprl)
{
    std::vector<Prl> prls;
    ByteCursor cursor(grpprl);
    while (cursor.remaining() >= 2) {
        Prl prl;
        prl.sprm = cursor.u16();
        std::size_t size = 0;
        if (const auto fixed = fixedOperandSize(prl.sprm)) {
            size = *fixed;
        } else if (prl.sprm == sprm::TDefTable) {
            // TDefTableOperand: a 2-byte cb counting the rest plus one.
            const std::size_t cb = cursor.u16();
            if (!cursor.ok() || cb == 0)
                break;
            cursor.seek(cursor.offset() - 2);
            size = cb + 1;
        } else if (prl.sprm == sprm::PChgTabs && cursor.remaining() >= 1 && grpprl[cursor.offset()] == 255) {
            // PChgTabsOperand with cb 255: its length follows from its two counts.
            const std::size_t start = cursor.offset();
            cursor.skip(1);
            const std::size_t del = cursor.u8();
            cursor.skip(4 * del);
            const std::size_t add = cursor.u8();
            cursor.skip(3 * add);
            if (!cursor.ok())
                break;
            size = cursor.offset() - start;
            cursor.seek(start);
        } else {
            const std::size_t cb = cursor.u8();
            if (!cursor.ok())
                break;
            cursor.seek(cursor.offset() - 1);
            size = cb + 1;
        }
        prl.operand = cursor.bytes(size);
        if (!cursor.ok())
            break;
        prls.push_back(prl);
    }
    return prls;
}

namespace
{

constexpr std::array<std::uint32_t, 17> kIcoColors = {
    kAutoColor, 0x000000, 0x0000FF, 0x00FFFF, 0x00FF00, 0xFF00FF, 0xFF0000, 0xFFFF00, 0xFFFFFF,
    0x000080,   0x008080, 0x008000, 0x800080, 0x800000, 0x808000, 0x808080, 0xC0C0C0,
};

Border::Style borderStyle(std::uint8_t brcType)
{
    switch (brcType) {
    case 0x00:
    case 0xFF:
        return Border::Style::None;
    case 0x03: // double
    case 0x0A: // triple
    case 0x0B: // thin-thick and thick-thin pairs
    case 0x0C:
    case 0x0D:
    case 0x0E:
    case 0x0F:
    case 0x10:
    case 0x11:
    case 0x12:
    case 0x13:
    case 0x15: // double wave
        return Border::Style::Double;
    case 0x06:
        return Border::Style::Dotted;
    case 0x07: // dashes, dot-dash and dot-dot-dash
    case 0x08:
    case 0x09:
    case 0x16:
    case 0x17:
        return Border::Style::Dashed;
    default:
        return Border::Style::Single;
    }
}

// dptLineWidth in eighths of a point (at least two) for line borders, whole points for art borders.
double borderWidthPt(std::uint8_t dptLineWidth, std::uint8_t brcType)
{
    if (brcType >= 0x40)
        return dptLineWidth;
    return std::max<std::uint8_t>(dptLineWidth, 2) / 8.0;
}

// The share of the foreground colour in a shading pattern, in percent.
int patternPercent(std::uint16_t ipat)
{
    static constexpr std::array<int, 14> kPercents = {0, 100, 5, 10, 20, 25, 30, 40, 50, 60, 70, 75, 80, 90};
    if (ipat < kPercents.size())
        return kPercents[ipat];
    constexpr std::uint16_t ipatLastStripe = 0x19; // stripes and crosses cover about half
    return ipat <= ipatLastStripe ? 50 : 0;
}

std::uint32_t blend(std::uint32_t fore, std::uint32_t back, int percent)
{
    std::uint32_t result = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const std::uint32_t f = (fore >> shift) & 0xFF;
        const std::uint32_t b = (back >> shift) & 0xFF;
        result |= ((f * std::uint32_t(percent) + b * std::uint32_t(100 - percent) + 50) / 100) << shift;
    }
    return result;
}

std::uint32_t shading(std::uint32_t fore, std::uint32_t back, std::uint16_t ipat)
{
    return shadingFill(fore, back, patternPercent(ipat));
}

} // namespace

std::uint32_t shadingFill(std::uint32_t fore, std::uint32_t back, int percent)
{
    if (percent == 0)
        return back;
    // Auto is black in the pattern's foreground and white behind it.
    return blend(fore == kAutoColor ? 0x000000 : fore, back == kAutoColor ? 0xFFFFFF : back, percent);
}

std::uint32_t colorFromIco(std::uint8_t ico)
{
    return ico < kIcoColors.size() ? kIcoColors[ico] : kAutoColor;
}

std::uint32_t colorFromColorRef(std::uint32_t cv)
{
    if ((cv >> 24) == 0xFF)
        return kAutoColor;
    return ((cv & 0xFF) << 16) | (cv & 0xFF00) | ((cv >> 16) & 0xFF);
}

Border borderFrom(std::span<const std::uint8_t> brc)
{
    std::uint32_t color = kAutoColor;
    std::uint8_t brcType = 0;
    std::uint8_t dptLineWidth = 0;
    std::uint8_t spaceAndFlags = 0;
    if (brc.size() == 4) {
        if (brc[0] == 0xFF && brc[1] == 0xFF && brc[2] == 0xFF && brc[3] == 0xFF) // Brc80MayBeNil
            return {};
        dptLineWidth = brc[0];
        brcType = brc[1];
        color = colorFromIco(brc[2]);
        spaceAndFlags = brc[3];
    } else if (brc.size() == 8) {
        ByteCursor c(brc);
        color = colorFromColorRef(c.u32());
        dptLineWidth = c.u8();
        brcType = c.u8();
        spaceAndFlags = c.u8();
    } else {
        return {};
    }
    return lineBorder(brcType, dptLineWidth, color, spaceAndFlags & 0x1F);
}

Border lineBorder(std::uint8_t brcType, std::uint8_t dptLineWidth, std::uint32_t color, std::uint8_t spacePt)
{
    Border border;
    border.style = borderStyle(brcType);
    if (!border.present())
        return border;
    border.widthPt = borderWidthPt(dptLineWidth, brcType);
    border.color = color;
    border.spacePt = spacePt;
    return border;
}

std::uint32_t shadingFrom(std::span<const std::uint8_t> shd)
{
    if (shd.size() == 2) {
        const std::uint16_t shd80 = std::uint16_t(shd[0] | (shd[1] << 8));
        if (shd80 == 0xFFFF) // Shd80Nil
            return kAutoColor;
        return shading(colorFromIco(shd80 & 0x1F), colorFromIco((shd80 >> 5) & 0x1F), shd80 >> 10);
    }
    if (shd.size() == 10) {
        ByteCursor c(shd);
        const std::uint32_t fore = colorFromColorRef(c.u32());
        const std::uint32_t back = colorFromColorRef(c.u32());
        const std::uint16_t ipat = c.u16();
        constexpr std::uint16_t ipatNil = 0xFFFF;
        if (ipat == ipatNil)
            return kAutoColor;
        return shading(fore, back, ipat);
    }
    return kAutoColor;
}

} // namespace doc::word
