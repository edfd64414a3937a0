#include "doc/wordformat.h"

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

} // namespace doc::word
