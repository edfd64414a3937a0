// Paragraphs with their formatting resolved (style sheet, then paragraph and character properties,
// [MS-DOC] 2.4.6 - 2.4.8).

#include "doc/numbering.h"
#include "doc/paragraphreader.h"
#include "doc/utf.h"
#include "doc/wordstate.h"

#include <algorithm>
#include <array>
#include <optional>
#include <span>
#include <utility>

namespace doc::word
{

namespace
{

struct Chp {
    std::uint16_t ftc = 0;
    std::uint16_t hps = 20;
    std::uint16_t hpsKern = 0; // the smallest size kerned; 0: none
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    bool doubleStrike = false;
    bool smallCaps = false;
    bool allCaps = false;
    bool hidden = false;
    CharacterRun::Position position = CharacterRun::Position::Normal;
    std::int16_t dxaSpace = 0;
    std::uint32_t color = kAutoColor;
    std::uint32_t highlight = kAutoColor;
    std::uint32_t shading = kAutoColor;
};

struct Pap {
    Paragraph::Alignment alignment = Paragraph::Alignment::Left;
    std::int32_t dxaLeft = 0;
    std::int32_t dxaRight = 0;
    std::int32_t dxaLeft1 = 0;
    std::int32_t dyaBefore = 0;
    std::int32_t dyaAfter = 0;
    std::int32_t dyaLine = 240;
    bool multiple = true;
    std::vector<TabStop> tabs;
    bool keep = false;
    bool keepFollow = false;
    bool pageBreakBefore = false;
    bool widowControl = true;
    Borders borders;
    std::uint32_t shading = kAutoColor;
    std::uint8_t ilvl = 0;
    std::int16_t ilfo = 0; // from 1; 0: in no list
};

std::int16_t operandI16(const Prl& prl)
{
    ByteCursor c(prl.operand);
    return c.i16();
}

std::uint16_t operandU16(const Prl& prl)
{
    ByteCursor c(prl.operand);
    return c.u16();
}

std::uint8_t operandU8(const Prl& prl)
{
    return prl.operand.empty() ? 0 : prl.operand[0];
}

std::uint32_t operandU32(const Prl& prl)
{
    ByteCursor c(prl.operand);
    return c.u32();
}

// A BrcOperand's or SHDOperand's structure after its cb byte.
std::span<const std::uint8_t> afterCb(const Prl& prl)
{
    return prl.operand.empty() ? prl.operand : prl.operand.subspan(1);
}

// ToggleOperand: 0 and 1 set, 0x80 takes the style's value, 0x81 its opposite.
bool toggle(std::uint8_t value, bool styleValue)
{
    switch (value) {
    case 0:
        return false;
    case 0x80:
        return styleValue;
    case 0x81:
        return !styleValue;
    default:
        return true;
    }
}

void applyChpx(Chp& chp, std::span<const std::uint8_t> grpprl, const Chp& style)
{
    for (const Prl& prl : readGrpprl(grpprl)) {
        switch (prl.sprm) {
        case sprm::CFBold:
            chp.bold = toggle(operandU8(prl), style.bold);
            break;
        case sprm::CFItalic:
            chp.italic = toggle(operandU8(prl), style.italic);
            break;
        case sprm::CKul:
            chp.underline = operandU8(prl) != 0;
            break;
        case sprm::CFStrike:
            chp.strike = toggle(operandU8(prl), style.strike);
            break;
        case sprm::CFDStrike:
            chp.doubleStrike = toggle(operandU8(prl), style.doubleStrike);
            break;
        case sprm::CFSmallCaps:
            chp.smallCaps = toggle(operandU8(prl), style.smallCaps);
            break;
        case sprm::CFCaps:
            chp.allCaps = toggle(operandU8(prl), style.allCaps);
            break;
        case sprm::CFVanish:
            chp.hidden = toggle(operandU8(prl), style.hidden);
            break;
        case sprm::CIss:
            switch (operandU8(prl)) {
            case 1:
                chp.position = CharacterRun::Position::Superscript;
                break;
            case 2:
                chp.position = CharacterRun::Position::Subscript;
                break;
            default:
                chp.position = CharacterRun::Position::Normal;
                break;
            }
            break;
        case sprm::CDxaSpace:
            chp.dxaSpace = operandI16(prl);
            break;
        case sprm::CIco:
            chp.color = colorFromIco(operandU8(prl));
            break;
        case sprm::CCv:
            chp.color = colorFromColorRef(operandU32(prl));
            break;
        case sprm::CHighlight:
            chp.highlight = colorFromIco(operandU8(prl));
            break;
        case sprm::CShd80:
            chp.shading = shadingFrom(prl.operand);
            break;
        case sprm::CShd:
            chp.shading = shadingFrom(afterCb(prl));
            break;
        case sprm::CHps:
            if (const auto hps = operandU16(prl); hps != 0)
                chp.hps = hps;
            break;
        case sprm::CHpsKern:
            chp.hpsKern = operandU16(prl);
            break;
        case sprm::CRgFtc0:
            chp.ftc = operandU16(prl);
            break;
        default:
            break;
        }
    }
}

TabStop::Alignment tabAlignment(std::uint8_t tbd)
{
    switch (tbd & 0x07) {
    case 1:
        return TabStop::Alignment::Center;
    case 2:
        return TabStop::Alignment::Right;
    case 3:
        return TabStop::Alignment::Decimal;
    case 4:
        return TabStop::Alignment::Bar;
    default:
        return TabStop::Alignment::Left;
    }
}

char16_t tabLeader(std::uint8_t tbd)
{
    switch ((tbd >> 3) & 0x07) {
    case 1:
    case 5:
        return u'.';
    case 2:
        return u'-';
    case 3:
    case 4:
        return u'_';
    default:
        return u' ';
    }
}

// PChgTabsPapxOperand / PChgTabsOperand: deletions (with a tolerance in the latter) then additions.
void changeTabs(std::vector<TabStop>& tabs, const Prl& prl, bool withClose)
{
    ByteCursor c(prl.operand);
    c.skip(1); // cb
    const std::size_t del = c.u8();
    std::vector<std::int16_t> positions(del);
    for (auto& p : positions)
        p = c.i16();
    std::vector<std::int16_t> close(withClose ? del : 0);
    for (auto& p : close)
        p = c.i16();
    const std::size_t add = c.u8();
    std::vector<std::int16_t> added(add);
    for (auto& p : added)
        p = c.i16();
    std::vector<std::uint8_t> tbds(add);
    for (auto& t : tbds)
        t = c.u8();
    if (!c.ok())
        return;
    for (std::size_t i = 0; i < del; ++i) {
        const std::int32_t tolerance = withClose ? std::abs(std::int32_t(close[i])) : 0;
        std::erase_if(tabs,
                      [&](const TabStop& t) { return std::abs(t.position - positions[i]) <= tolerance; });
    }
    for (std::size_t i = 0; i < add; ++i) {
        std::erase_if(tabs, [&](const TabStop& t) { return t.position == added[i]; });
        tabs.push_back({added[i], tabAlignment(tbds[i]), tabLeader(tbds[i])});
    }
    std::sort(tabs.begin(), tabs.end(),
              [](const TabStop& a, const TabStop& b) { return a.position < b.position; });
}

void applyPapx(Pap& pap, std::span<const std::uint8_t> grpprl)
{
    for (const Prl& prl : readGrpprl(grpprl)) {
        switch (prl.sprm) {
        case sprm::PJc80:
        case sprm::PJc:
            switch (operandU8(prl)) {
            case 1:
                pap.alignment = Paragraph::Alignment::Center;
                break;
            case 2:
                pap.alignment = Paragraph::Alignment::Right;
                break;
            case 3:
            case 4:
            case 5:
                pap.alignment = Paragraph::Alignment::Justify;
                break;
            default:
                pap.alignment = Paragraph::Alignment::Left;
                break;
            }
            break;
        case sprm::PDxaLeft80:
        case sprm::PDxaLeft:
            pap.dxaLeft = operandI16(prl);
            break;
        case sprm::PDxaRight80:
        case sprm::PDxaRight:
            pap.dxaRight = operandI16(prl);
            break;
        case sprm::PDxaLeft1_80:
        case sprm::PDxaLeft1:
            pap.dxaLeft1 = operandI16(prl);
            break;
        case sprm::PDyaBefore:
            pap.dyaBefore = operandU16(prl);
            break;
        case sprm::PDyaAfter:
            pap.dyaAfter = operandU16(prl);
            break;
        case sprm::PDyaLine: {
            ByteCursor c(prl.operand);
            const std::int16_t dyaLine = c.i16();
            const std::int16_t fMultLinespace = c.i16();
            if (c.ok()) {
                pap.dyaLine = dyaLine;
                pap.multiple = fMultLinespace != 0;
            }
            break;
        }
        case sprm::PChgTabsPapx:
            changeTabs(pap.tabs, prl, false);
            break;
        case sprm::PChgTabs:
            changeTabs(pap.tabs, prl, true);
            break;
        case sprm::PFKeep:
            pap.keep = operandU8(prl) != 0;
            break;
        case sprm::PFKeepFollow:
            pap.keepFollow = operandU8(prl) != 0;
            break;
        case sprm::PFPageBreakBefore:
            pap.pageBreakBefore = operandU8(prl) != 0;
            break;
        case sprm::PFWidowControl:
            pap.widowControl = operandU8(prl) != 0;
            break;
        case sprm::PIlvl:
            pap.ilvl = operandU8(prl);
            break;
        case sprm::PIlfo:
            pap.ilfo = operandI16(prl);
            break;
        case sprm::PBrcTop80:
            pap.borders.top = borderFrom(prl.operand);
            break;
        case sprm::PBrcLeft80:
            pap.borders.left = borderFrom(prl.operand);
            break;
        case sprm::PBrcBottom80:
            pap.borders.bottom = borderFrom(prl.operand);
            break;
        case sprm::PBrcRight80:
            pap.borders.right = borderFrom(prl.operand);
            break;
        case sprm::PBrcBetween80:
            pap.borders.between = borderFrom(prl.operand);
            break;
        case sprm::PBrcTop:
            pap.borders.top = borderFrom(afterCb(prl));
            break;
        case sprm::PBrcLeft:
            pap.borders.left = borderFrom(afterCb(prl));
            break;
        case sprm::PBrcBottom:
            pap.borders.bottom = borderFrom(afterCb(prl));
            break;
        case sprm::PBrcRight:
            pap.borders.right = borderFrom(afterCb(prl));
            break;
        case sprm::PBrcBetween:
            pap.borders.between = borderFrom(afterCb(prl));
            break;
        case sprm::PShd80:
            pap.shading = shadingFrom(prl.operand);
            break;
        case sprm::PShd:
            pap.shading = shadingFrom(afterCb(prl));
            break;
        default:
            break;
        }
    }
}

// The STSH ([MS-DOC] 2.9.271) with each style's properties resolved through its istdBase chain.
class StyleSheet
{
public:
    explicit StyleSheet(std::span<const std::uint8_t> stsh)
    {
        ByteCursor c(stsh);
        const std::size_t cbStshi = c.u16();
        const std::size_t stshiStart = c.offset();
        const std::size_t cstd = c.u16();
        const std::size_t cbSTDBaseInFile = c.u16();
        c.skip(8);
        mDefaultFtc = c.u16(); // rgftcStandardChpStsh[0]
        if (!c.ok())
            return;
        c.seek(stshiStart + cbStshi);
        // Each style takes at least its 2-byte size, which bounds cstd by the data.
        if (cstd > c.remaining() / 2)
            return;
        mStyles.resize(cstd);
        for (auto& style : mStyles) {
            const std::size_t cbStd = c.u16();
            const auto stdBytes = c.bytes(cbStd);
            if (!c.ok())
                break;
            if (cbStd != 0)
                readStd(style, stdBytes, cbSTDBaseInFile);
        }
    }

    std::uint16_t defaultFtc() const { return mDefaultFtc; }

    // A paragraph style's properties; defaults for an unknown istd.
    const std::pair<Pap, Chp>& paragraphStyle(std::uint16_t istd) { return resolve(istd, 0); }

    // Applies a character style's chain to chp.
    void applyCharacterStyle(Chp& chp, std::uint16_t istd, std::size_t depth = 0) const
    {
        if (istd >= mStyles.size() || depth > mStyles.size())
            return;
        const Std& style = mStyles[istd];
        if (style.stk != stkCharacter)
            return;
        applyCharacterStyle(chp, style.istdBase, depth + 1);
        const Chp inherited = chp;
        applyChpx(chp, style.chpx, inherited);
    }

private:
    static constexpr std::uint16_t stkParagraph = 1;
    static constexpr std::uint16_t stkCharacter = 2;
    static constexpr std::uint16_t istdNil = 0x0FFF;

    struct Std {
        bool present = false;
        std::uint16_t stk = 0;
        std::uint16_t istdBase = istdNil;
        std::vector<std::uint8_t> papx; // grpprl of the UpxPapx, after its istd
        std::vector<std::uint8_t> chpx;
        std::optional<std::pair<Pap, Chp>> resolved;
        bool resolving = false;
    };

    void readStd(Std& style, std::span<const std::uint8_t> bytes, std::size_t cbSTDBaseInFile)
    {
        ByteCursor c(bytes);
        c.skip(2);
        const std::uint16_t stkBase = c.u16();
        const std::uint16_t cupxNext = c.u16();
        c.seek(cbSTDBaseInFile);
        const std::size_t cch = c.u16();
        c.skip(2 * (cch + 1));
        if (!c.ok())
            return;
        style.present = true;
        style.stk = stkBase & 0x000F;
        style.istdBase = stkBase >> 4;
        const std::size_t cupx = cupxNext & 0x000F;
        std::vector<std::span<const std::uint8_t>> upxs;
        for (std::size_t i = 0; i < cupx; ++i) {
            if (c.offset() % 2 == 1)
                c.skip(1);
            const std::size_t cbUpx = c.u16();
            const auto upx = c.bytes(cbUpx);
            if (!c.ok())
                break;
            upxs.push_back(upx);
        }
        if (style.stk == stkParagraph && upxs.size() >= 2) {
            if (upxs[0].size() >= 2)
                style.papx.assign(upxs[0].begin() + 2, upxs[0].end());
            style.chpx.assign(upxs[1].begin(), upxs[1].end());
        } else if (style.stk == stkCharacter && !upxs.empty()) {
            style.chpx.assign(upxs[0].begin(), upxs[0].end());
        }
    }

    const std::pair<Pap, Chp>& resolve(std::uint16_t istd, std::size_t depth)
    {
        if (istd >= mStyles.size() || !mStyles[istd].present || mStyles[istd].stk != stkParagraph ||
            mStyles[istd].resolving || depth > mStyles.size())
            return defaults();
        Std& style = mStyles[istd];
        if (!style.resolved) {
            style.resolving = true; // an istdBase cycle ends at the defaults
            std::pair<Pap, Chp> result = resolve(style.istdBase, depth + 1);
            applyPapx(result.first, style.papx);
            const Chp inherited = result.second;
            applyChpx(result.second, style.chpx, inherited);
            style.resolving = false;
            style.resolved = std::move(result);
        }
        return *style.resolved;
    }

    const std::pair<Pap, Chp>& defaults()
    {
        if (!mDefaults) {
            Chp chp;
            chp.ftc = mDefaultFtc;
            mDefaults = std::pair<Pap, Chp>{Pap{}, chp};
        }
        return *mDefaults;
    }

    std::vector<Std> mStyles;
    std::uint16_t mDefaultFtc = 0;
    std::optional<std::pair<Pap, Chp>> mDefaults;
};

// SttbfFfn ([MS-DOC] 2.9.286): the font names by ftc.
std::vector<std::string> readFontNames(std::span<const std::uint8_t> sttbf)
{
    std::vector<std::string> names;
    ByteCursor c(sttbf);
    const std::size_t cData = c.u16();
    c.skip(2); // cbExtra
    if (!c.ok() || cData > c.remaining())
        return names;
    constexpr std::size_t kNameOffset = 39; // ffid, wWeight, chs, ixchSzAlt, panose, fs
    for (std::size_t i = 0; i < cData; ++i) {
        const std::size_t cb = c.u8();
        const auto ffn = c.bytes(cb);
        if (!c.ok())
            break;
        std::u16string name;
        for (std::size_t k = kNameOffset; k + 1 < ffn.size(); k += 2) {
            const char16_t ch = char16_t(ffn[k] | (ffn[k + 1] << 8));
            if (ch == 0)
                break;
            name.push_back(ch);
        }
        names.push_back(utf::toUtf8(name));
    }
    return names;
}

// The sprms a piece's Prm applies to all its text ([MS-DOC] 2.2.5.2 - 2.2.5.3): a Prm1 names
// a grpprl of the Clx; a Prm0 holds one sprm by its isprm with a one-byte operand, of which
// those the read model shows are mapped here.
std::vector<std::uint8_t> pieceGrpprl(const WordState& d, std::uint32_t piece)
{
    const std::uint16_t prm = d.pieces[piece].prm;
    if (prm & 1) {
        const std::size_t igrpprl = prm >> 1;
        if (igrpprl >= d.prcGrpprls.size())
            return {};
        const auto [offset, length] = d.prcGrpprls[igrpprl];
        return {d.prcs.begin() + std::ptrdiff_t(offset), d.prcs.begin() + std::ptrdiff_t(offset + length)};
    }
    static constexpr std::array<std::pair<std::uint8_t, std::uint16_t>, 14> kIsprms = {{
        {0x05, sprm::PJc80},
        {0x07, sprm::PFKeep},
        {0x08, sprm::PFKeepFollow},
        {0x09, sprm::PFPageBreakBefore},
        {0x0C, sprm::PIlvl},
        {0x33, sprm::PFWidowControl},
        {0x4D, sprm::CHighlight},
        {0x55, sprm::CFBold},
        {0x56, sprm::CFItalic},
        {0x57, sprm::CFStrike},
        {0x5A, sprm::CFSmallCaps},
        {0x5B, sprm::CFCaps},
        {0x5C, sprm::CFVanish},
        {0x5E, sprm::CKul},
    }};
    const std::uint8_t isprm = (prm >> 1) & 0x7F;
    const auto val = std::uint8_t(prm >> 8);
    const auto known =
        std::find_if(kIsprms.begin(), kIsprms.end(), [&](const auto& e) { return e.first == isprm; });
    if (known == kIsprms.end())
        return {};
    return {std::uint8_t(known->second), std::uint8_t(known->second >> 8), val};
}

// The character formatting at each CP: the paragraph's, then the character style, the
// Chpx and the piece's Prm.
class RunFormats
{
public:
    RunFormats(const WordState& d, const StyleSheet& styles)
        : mD(d), mStyles(styles), mFonts(readFontNames(d.tableBytes(fclcb::SttbfFfn, "SttbfFfn")))
    {
    }

    Chp chpAt(std::uint32_t cp, const Chp& paragraphChp) const
    {
        const CharProps& p = mD.props[cp];
        const auto& chpx = mD.chpxs[p.chpx];
        Chp style = paragraphChp;
        for (const Prl& prl : readGrpprl(chpx))
            if (prl.sprm == sprm::CIstd)
                mStyles.applyCharacterStyle(style, operandU16(prl));
        Chp chp = style;
        applyChpx(chp, chpx, style);
        applyChpx(chp, pieceGrpprl(mD, p.piece), style);
        return chp;
    }

    CharacterRun at(std::uint32_t cp, const Chp& paragraphChp) const { return run(chpAt(cp, paragraphChp)); }

    CharacterRun run(const Chp& chp) const
    {
        CharacterRun run;
        if (chp.ftc < mFonts.size() && !mFonts[chp.ftc].empty())
            run.fontName = mFonts[chp.ftc];
        run.sizePt = chp.hps / 2.0;
        run.bold = chp.bold;
        run.italic = chp.italic;
        run.underline = chp.underline;
        run.strike = chp.strike;
        run.doubleStrike = chp.doubleStrike;
        run.smallCaps = chp.smallCaps;
        run.allCaps = chp.allCaps;
        run.hidden = chp.hidden;
        run.position = chp.position;
        run.spacing = chp.dxaSpace;
        run.kerning = chp.hpsKern != 0 && chp.hps >= chp.hpsKern;
        run.color = chp.color;
        // Shading fills behind the characters as a highlight does; a highlight covers it.
        run.highlight = chp.highlight != kAutoColor ? chp.highlight : chp.shading;
        return run;
    }

private:
    const WordState& mD;
    const StyleSheet& mStyles;
    std::vector<std::string> mFonts;
};

// A list paragraph's label: numbered in reading order, formatted by its level over the paragraph
// mark's format.
ListLabel listLabel(Numbering& numbering, const ListLevel& level, const Pap& pap, const RunFormats& formats,
                    const Chp& markChp)
{
    ListLabel label;
    label.text = numbering.label(pap.ilfo, pap.ilvl);
    Chp chp = markChp;
    applyChpx(chp, level.chpx, markChp);
    label.format = formats.run(chp);
    if (symbolsToUnicode(label.text, label.format.fontName))
        label.format.fontName = formats.run(markChp).fontName;
    label.alignment = level.alignment;
    label.follow = level.follow;
    return label;
}

// The paragraph from start to cp, its mark or (without one) the main text's last character.
Paragraph readParagraph(const WordState& d, StyleSheet& styles, const RunFormats& formats,
                        Numbering& numbering, std::uint32_t start, std::uint32_t cp)
{
    const Papx& papx = d.papxs[d.props[cp].papx];
    ByteCursor c(papx.grpprlAndIstd);
    const std::uint16_t istd = c.u16();
    const auto& [stylePap, paragraphChp] = styles.paragraphStyle(istd);
    const auto direct = std::span<const std::uint8_t>(papx.grpprlAndIstd).subspan(2);
    const auto piece = pieceGrpprl(d, d.props[cp].piece);
    Pap pap = stylePap;
    applyPapx(pap, direct);
    applyPapx(pap, piece);
    // The list level's indents and tabs come between the style's and the paragraph's own.
    const ListLevel* level = numbering.level(pap.ilfo, pap.ilvl);
    if (level) {
        pap = stylePap;
        applyPapx(pap, level->papx);
        applyPapx(pap, direct);
        applyPapx(pap, piece);
    }

    Paragraph paragraph;
    const bool hasMark = d.props[cp].paraEnd;
    const std::uint32_t end = hasMark ? cp : cp + 1;
    paragraph.text = d.text.substr(start, end - start);
    for (std::uint32_t k = start; k < end; ++k) {
        // A character's format follows from its Chpx and piece alone: the next with the same
        // two goes on the run without being worked out again.
        if (k > start && d.props[k].chpx == d.props[k - 1].chpx && d.props[k].piece == d.props[k - 1].piece) {
            ++paragraph.runs.back().length;
            continue;
        }
        CharacterRun run = formats.at(k, paragraphChp);
        if (!paragraph.runs.empty() && sameFormat(paragraph.runs.back(), run)) {
            ++paragraph.runs.back().length;
        } else {
            run.start = k - start;
            run.length = 1;
            paragraph.runs.push_back(std::move(run));
        }
    }
    const Chp markChp = formats.chpAt(cp, paragraphChp);
    paragraph.markFormat = formats.run(markChp);
    paragraph.markFormat.start = end - start;
    paragraph.markFormat.length = hasMark ? 1 : 0;
    paragraph.alignment = pap.alignment;
    paragraph.leftIndent = pap.dxaLeft;
    paragraph.rightIndent = pap.dxaRight;
    paragraph.firstLineIndent = pap.dxaLeft1;
    paragraph.spaceBefore = pap.dyaBefore;
    paragraph.spaceAfter = pap.dyaAfter;
    paragraph.lineSpacing = pap.dyaLine;
    paragraph.lineSpacingMultiple = pap.multiple;
    paragraph.tabs = std::move(pap.tabs);
    paragraph.keepWithNext = pap.keepFollow;
    paragraph.keepTogether = pap.keep;
    paragraph.pageBreakBefore = pap.pageBreakBefore;
    paragraph.widowControl = pap.widowControl;
    paragraph.borders = pap.borders;
    paragraph.shading = pap.shading;
    if (level)
        paragraph.list = listLabel(numbering, *level, pap, formats, markChp);
    return paragraph;
}

} // namespace

struct ParagraphReader::Impl {
    explicit Impl(const WordState& state)
        : d(state), styles(state.tableBytes(fclcb::Stshf, "Stshf")), formats(state, styles), numbering(state)
    {
    }
    const WordState& d;
    StyleSheet styles;
    RunFormats formats;
    Numbering numbering; // its counters follow the paragraphs read
};

ParagraphReader::ParagraphReader(const WordState& d) : mImpl(std::make_unique<Impl>(d)) {}

ParagraphReader::~ParagraphReader() = default;

Paragraph ParagraphReader::read(std::uint32_t start, std::uint32_t markCp)
{
    return readParagraph(mImpl->d, mImpl->styles, mImpl->formats, mImpl->numbering, start, markCp);
}

std::int32_t defaultTabWidth(const WordState& d)
{
    // Dop ([MS-DOC] 2.7.2 DopBase): dxaTab at offset 10.
    constexpr std::size_t kDxaTabOffset = 10;
    ByteCursor dop(d.tableBytes(fclcb::Dop, "Dop"), kDxaTabOffset);
    const std::uint16_t dxaTab = dop.u16();
    return dop.ok() && dxaTab != 0 ? dxaTab : SectionLayout{}.defaultTabWidth;
}

} // namespace doc::word
