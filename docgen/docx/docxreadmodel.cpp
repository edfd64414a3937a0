// The read model of a word-processing document ([ECMA-376] Part 1, 17): its formatting resolved as
// Word resolves it (document defaults, paragraph style, list level, character style, then the
// paragraph's and the run's own properties), the main text by sections with their headers and
// footers, tables, lists, pictures and text boxes, in the same model the .doc reader gives.

#include "doc/numbering.h"
#include "doc/utf.h"
#include "doc/wordformat.h"
#include "docx/docxdocument.h"
#include "docx/docxstate.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>
#include <limits>
#include <map>
#include <tuple>

namespace docx
{

namespace
{

using doc::Block;
using doc::Border;
using doc::CharacterRun;
using doc::kAutoColor;
using doc::Paragraph;
using doc::Section;
using doc::Shape;
using doc::TableCell;
using doc::TabStop;
using xml::Node;
namespace mark = doc::word::mark;

constexpr char kDrawingNs[] = "http://schemas.openxmlformats.org/drawingml/2006/main";
constexpr char kPictureNs[] = "http://schemas.openxmlformats.org/drawingml/2006/picture";
constexpr char kShapeNs[] = "http://schemas.microsoft.com/office/word/2010/wordprocessingShape";
constexpr char kVmlNs[] = "urn:schemas-microsoft-com:vml";
constexpr char kWordVmlNs[] = "urn:schemas-microsoft-com:office:word";

// Tables nested deeper than this are read as the paragraphs of the cell holding them.
constexpr int kDeepestTable = 2;
// Text boxes hold paragraphs that may anchor further text boxes; a damaged file must not take that
// round for ever.
constexpr int kDeepestStory = 3;
// Lengths past this many twips (a few hundred metres) are damage; kept below it, sums of them cannot
// overflow.
constexpr std::int64_t kLongestLength = std::int64_t{1} << 24;
constexpr std::int64_t kEmuPerTwip = 635;
constexpr double kEmusPerPoint = 12700;
// A shape's outline where its style alone asks for one: three quarters of a point.
constexpr std::int64_t kDefaultLineWidth = 9525;
constexpr std::uint32_t kWhite = 0xFFFFFF;
constexpr std::uint32_t kBlack = 0x000000;
// Word's text size when nothing sets one, in half-points.
constexpr int kDefaultHalfPoints = 20;
// Space before and after a paragraph that asks for it automatically, as web pages space them.
constexpr std::int32_t kAutoSpacing = 280;
// A picture whose part is missing or shared too often: what is copied stays within the package's size.
constexpr std::size_t kBudgetFloor = std::size_t{1} << 20;

// ---- attribute values --------------------------------------------------------------------------

const std::string* wordAttribute(const Node& node, std::string_view name)
{
    return node.attribute(xml::kWordNs, name);
}

const std::string* value(const Node& node)
{
    return wordAttribute(node, "val");
}

const Node* wordChild(const Node& node, std::string_view name)
{
    return node.child(xml::kWordNs, name);
}

std::optional<std::int64_t> integer(const std::string* text)
{
    if (!text)
        return std::nullopt;
    std::int64_t result = 0;
    const char* begin = text->data();
    const char* end = begin + text->size();
    if (begin != end && *begin == '+')
        ++begin;
    const auto [at, error] = std::from_chars(begin, end, result);
    if (error != std::errc{} || begin == at)
        return std::nullopt;
    return result;
}

std::int32_t bounded(std::int64_t length)
{
    return static_cast<std::int32_t>(std::clamp(length, -kLongestLength, kLongestLength));
}

// Twips to a unit of length that Word's universal measure and CSS both write.
constexpr std::array<std::pair<std::string_view, double>, 5> kTwipsPerUnit = {{
    {"mm", 1440 / 25.4},
    {"cm", 1440 / 2.54},
    {"in", 1440},
    {"pt", 20},
    {"pc", 240},
}};

// The number before text's unit, one of kTwipsPerUnit or other, and the twips to that unit; nothing for
// text that ends in no unit.
std::optional<std::pair<std::string_view, double>> splitUnit(std::string_view text,
                                                             std::pair<std::string_view, double> other)
{
    for (const auto& [unit, twipsPer] : kTwipsPerUnit)
        if (text.ends_with(unit))
            return std::pair{text.substr(0, text.size() - unit.size()), twipsPer};
    if (text.ends_with(other.first))
        return std::pair{text.substr(0, text.size() - other.first.size()), other.second};
    return std::nullopt;
}

// A decimal number of units of twipsPer twips, in twips; nothing for what is no finite number.
std::optional<std::int32_t> scaledTwips(std::string_view number, double twipsPer)
{
    double value = 0;
    const auto [at, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (error != std::errc{} || at != number.data() + number.size() || !std::isfinite(value))
        return std::nullopt;
    return bounded(std::llround(std::clamp(value * twipsPer, -1e12, 1e12)));
}

// A length in twips, or in the universal measure's units where one is written ("2.5cm", "12pt").
std::optional<std::int32_t> twips(const std::string* text)
{
    if (!text)
        return std::nullopt;
    if (const auto measure = splitUnit(*text, {"pi", 240}))
        return scaledTwips(measure->first, measure->second);
    if (const auto number = integer(text))
        return bounded(*number);
    return std::nullopt;
}

std::optional<std::int32_t> twipsAttribute(const Node& node, std::string_view name)
{
    return twips(wordAttribute(node, name));
}

std::int32_t emuToTwips(std::int64_t emu)
{
    return bounded(emu / kEmuPerTwip);
}

std::optional<std::int64_t> plainAttribute(const Node& node, std::string_view name)
{
    for (const xml::Attribute& attribute : node.attributes)
        if (attribute.ns.empty() && attribute.local == name)
            return integer(&attribute.value);
    return std::nullopt;
}

// An on/off value that is written.
bool isOn(const std::string* v)
{
    return v && !(*v == "false" || *v == "0" || *v == "off");
}

// An on/off property: present without a value is on.
bool onOff(const Node& node)
{
    const std::string* v = value(node);
    return !v || isOn(v);
}

// "RRGGBB", or kAutoColor for "auto" and anything else.
std::uint32_t hexColor(const std::string* text)
{
    if (!text || text->size() != 6)
        return kAutoColor;
    std::uint32_t color = 0;
    const auto [at, error] = std::from_chars(text->data(), text->data() + text->size(), color, 16);
    return error == std::errc{} && at == text->data() + text->size() ? color : kAutoColor;
}

// The highlight colours by name, numbered as Word 97-2003 numbers them (Ico).
std::uint32_t highlightColor(const std::string* name)
{
    static constexpr std::array<std::string_view, 16> kNames = {
        "black",    "blue",     "cyan",      "green",       "magenta", "red",        "yellow",   "white",
        "darkBlue", "darkCyan", "darkGreen", "darkMagenta", "darkRed", "darkYellow", "darkGray", "lightGray",
    };
    if (!name)
        return kAutoColor;
    const auto found = std::find(kNames.begin(), kNames.end(), *name);
    return found == kNames.end()
               ? kAutoColor
               : doc::word::colorFromIco(static_cast<std::uint8_t>(found - kNames.begin() + 1));
}

// w:shd: a pattern of the colour over the fill.
std::uint32_t shading(const Node& shd)
{
    const std::string* pattern = value(shd);
    if (!pattern || *pattern == "nil")
        return kAutoColor;
    int percent = 0;
    if (*pattern == "solid") {
        percent = 100;
    } else if (pattern->starts_with("pct")) {
        const std::string digits = pattern->substr(3);
        percent = static_cast<int>(std::clamp<std::int64_t>(integer(&digits).value_or(0), 0, 100));
    } else if (*pattern != "clear") {
        percent = 50; // stripes and crosses cover about half
    }
    return doc::word::shadingFill(hexColor(wordAttribute(shd, "color")), hexColor(wordAttribute(shd, "fill")),
                                  percent);
}

// ST_Border's line styles, each as the Brc type Word 97-2003 gives it.
Border border(const Node& node)
{
    static constexpr std::array<std::pair<std::string_view, std::uint8_t>, 27> kTypes = {{
        {"single", 1},
        {"thick", 2},
        {"double", 3},
        {"dotted", 6},
        {"dashed", 7},
        {"dotDash", 8},
        {"dotDotDash", 9},
        {"triple", 10},
        {"thinThickSmallGap", 11},
        {"thickThinSmallGap", 12},
        {"thinThickThinSmallGap", 13},
        {"thinThickMediumGap", 14},
        {"thickThinMediumGap", 15},
        {"thinThickThinMediumGap", 16},
        {"thinThickLargeGap", 17},
        {"thickThinLargeGap", 18},
        {"thinThickThinLargeGap", 19},
        {"wave", 20},
        {"doubleWave", 21},
        {"dashSmallGap", 22},
        {"dashDotStroked", 23},
        {"threeDEmboss", 24},
        {"threeDEngrave", 25},
        {"outset", 26},
        {"inset", 27},
        {"nil", 0},
        {"none", 0},
    }};
    const std::string* style = value(node);
    if (!style)
        return {};
    const auto found =
        std::find_if(kTypes.begin(), kTypes.end(), [&](const auto& type) { return type.first == *style; });
    const std::uint8_t brcType = found == kTypes.end() ? 1 : found->second; // art borders drawn as lines
    const auto eighths = std::clamp<std::int64_t>(integer(wordAttribute(node, "sz")).value_or(0), 0, 255);
    const auto space = std::clamp<std::int64_t>(integer(wordAttribute(node, "space")).value_or(0), 0, 31);
    return doc::word::lineBorder(brcType, static_cast<std::uint8_t>(eighths),
                                 hexColor(wordAttribute(node, "color")), static_cast<std::uint8_t>(space));
}

// The element for a side, by its name or its bidirectional name.
const Node* side(const Node& parent, std::string_view name, std::string_view other)
{
    const Node* found = wordChild(parent, name);
    return found ? found : wordChild(parent, other);
}

// ---- character and paragraph properties ---------------------------------------------------------

// The theme's two fonts, for runs that name them by their place in the theme.
struct ThemeFonts {
    std::string major;
    std::string minor;
};

struct Chp {
    CharacterRun run; // start and length unused
    int halfPoints = kDefaultHalfPoints;
    int kern = 0; // the smallest size kerned, in half-points; 0: none
    std::uint32_t highlight = kAutoColor;
    std::uint32_t shading = kAutoColor;

    CharacterRun look() const
    {
        CharacterRun result = run;
        result.sizePt = halfPoints / 2.0;
        result.kerning = kern != 0 && halfPoints >= kern;
        // Shading fills behind the characters as a highlight does; a highlight covers it.
        result.highlight = highlight != kAutoColor ? highlight : shading;
        return result;
    }
};

void applyRPr(Chp& chp, const Node& rPr, const ThemeFonts& theme)
{
    CharacterRun& run = chp.run;
    for (const Node& e : rPr.children) {
        if (e.ns != xml::kWordNs)
            continue;
        const std::string& name = e.local;
        if (name == "rFonts") {
            const std::string* font = wordAttribute(e, "ascii");
            if (const std::string* themed = wordAttribute(e, "asciiTheme"))
                font = themed->starts_with("major") ? &theme.major : &theme.minor;
            if (!font || font->empty())
                font = wordAttribute(e, "hAnsi");
            if (font && !font->empty())
                run.fontName = *font;
        } else if (name == "b") {
            run.bold = onOff(e);
        } else if (name == "i") {
            run.italic = onOff(e);
        } else if (name == "u") {
            const std::string* v = value(e);
            run.underline = !v || *v != "none";
        } else if (name == "strike") {
            run.strike = onOff(e);
        } else if (name == "dstrike") {
            run.doubleStrike = onOff(e);
        } else if (name == "smallCaps") {
            run.smallCaps = onOff(e);
        } else if (name == "caps") {
            run.allCaps = onOff(e);
        } else if (name == "vanish") {
            run.hidden = onOff(e);
        } else if (name == "vertAlign") {
            const std::string* v = value(e);
            run.position = !v                    ? run.position
                           : *v == "superscript" ? CharacterRun::Position::Superscript
                           : *v == "subscript"   ? CharacterRun::Position::Subscript
                                                 : CharacterRun::Position::Normal;
        } else if (name == "spacing") {
            run.spacing = twips(value(e)).value_or(run.spacing);
        } else if (name == "kern") {
            chp.kern = static_cast<int>(std::clamp<std::int64_t>(integer(value(e)).value_or(0), 0, 3276));
        } else if (name == "sz") {
            if (const auto size = integer(value(e)); size && *size > 0)
                chp.halfPoints = static_cast<int>(std::min<std::int64_t>(*size, 3276));
        } else if (name == "color") {
            run.color = hexColor(value(e));
        } else if (name == "highlight") {
            chp.highlight = highlightColor(value(e));
        } else if (name == "shd") {
            chp.shading = shading(e);
        }
    }
}

struct Pap {
    Paragraph look; // its layout fields alone
    std::int64_t numId = 0;
    std::int64_t ilvl = 0;
    bool contextualSpacing = false; // no space between it and a neighbour of its own style

    Pap() { look.widowControl = false; } // off unless a style or the paragraph turns it on
};

Paragraph::Alignment alignment(const std::string* v, Paragraph::Alignment otherwise)
{
    if (!v)
        return otherwise;
    if (*v == "center")
        return Paragraph::Alignment::Center;
    if (*v == "right" || *v == "end")
        return Paragraph::Alignment::Right;
    if (*v == "both" || *v == "distribute" || v->ends_with("Kashida") || *v == "thaiDistribute")
        return Paragraph::Alignment::Justify;
    return Paragraph::Alignment::Left;
}

void applyTabs(std::vector<TabStop>& tabs, const Node& element)
{
    for (const Node& tab : element.children) {
        if (!tab.isWord("tab"))
            continue;
        const auto position = twipsAttribute(tab, "pos");
        const std::string* kind = value(tab);
        if (!position || !kind)
            continue;
        std::erase_if(tabs, [&](const TabStop& t) { return t.position == *position; });
        if (*kind == "clear")
            continue;
        TabStop stop;
        stop.position = *position;
        stop.alignment = *kind == "center"                    ? TabStop::Alignment::Center
                         : *kind == "right" || *kind == "end" ? TabStop::Alignment::Right
                         : *kind == "decimal"                 ? TabStop::Alignment::Decimal
                         : *kind == "bar"                     ? TabStop::Alignment::Bar
                                                              : TabStop::Alignment::Left;
        const std::string* leader = wordAttribute(tab, "leader");
        stop.leader = !leader                                         ? u' '
                      : *leader == "dot" || *leader == "middleDot"    ? u'.'
                      : *leader == "hyphen"                           ? u'-'
                      : *leader == "underscore" || *leader == "heavy" ? u'_'
                                                                      : u' ';
        tabs.push_back(stop);
    }
    std::sort(tabs.begin(), tabs.end(),
              [](const TabStop& a, const TabStop& b) { return a.position < b.position; });
}

void applyBorders(doc::Borders& borders, const Node& pBdr)
{
    if (const Node* e = wordChild(pBdr, "top"))
        borders.top = border(*e);
    if (const Node* e = side(pBdr, "left", "start"))
        borders.left = border(*e);
    if (const Node* e = wordChild(pBdr, "bottom"))
        borders.bottom = border(*e);
    if (const Node* e = side(pBdr, "right", "end"))
        borders.right = border(*e);
    if (const Node* e = wordChild(pBdr, "between"))
        borders.between = border(*e);
}

void applyPPr(Pap& pap, const Node& pPr)
{
    Paragraph& p = pap.look;
    for (const Node& e : pPr.children) {
        if (e.ns != xml::kWordNs)
            continue;
        const std::string& name = e.local;
        if (name == "jc") {
            p.alignment = alignment(value(e), p.alignment);
        } else if (name == "ind") {
            if (const auto left = twipsAttribute(e, "left"))
                p.leftIndent = *left;
            else if (const auto start = twipsAttribute(e, "start"))
                p.leftIndent = *start;
            if (const auto right = twipsAttribute(e, "right"))
                p.rightIndent = *right;
            else if (const auto end = twipsAttribute(e, "end"))
                p.rightIndent = *end;
            if (const auto hanging = twipsAttribute(e, "hanging"))
                p.firstLineIndent = -*hanging;
            else if (const auto firstLine = twipsAttribute(e, "firstLine"))
                p.firstLineIndent = *firstLine;
        } else if (name == "spacing") {
            p.spaceBefore = twipsAttribute(e, "before").value_or(p.spaceBefore);
            p.spaceAfter = twipsAttribute(e, "after").value_or(p.spaceAfter);
            if (isOn(wordAttribute(e, "beforeAutospacing")))
                p.spaceBefore = kAutoSpacing;
            if (isOn(wordAttribute(e, "afterAutospacing")))
                p.spaceAfter = kAutoSpacing;
            if (const auto line = twipsAttribute(e, "line")) {
                const std::string* rule = wordAttribute(e, "lineRule");
                p.lineSpacingMultiple = !rule || *rule == "auto";
                p.lineSpacing = rule && *rule == "exact" ? -std::abs(*line) : *line;
            }
        } else if (name == "tabs") {
            applyTabs(p.tabs, e);
        } else if (name == "keepNext") {
            p.keepWithNext = onOff(e);
        } else if (name == "keepLines") {
            p.keepTogether = onOff(e);
        } else if (name == "pageBreakBefore") {
            p.pageBreakBefore = onOff(e);
        } else if (name == "widowControl") {
            p.widowControl = onOff(e);
        } else if (name == "pBdr") {
            applyBorders(p.borders, e);
        } else if (name == "shd") {
            p.shading = shading(e);
        } else if (name == "contextualSpacing") {
            pap.contextualSpacing = onOff(e);
        } else if (name == "numPr") {
            if (const Node* ilvl = wordChild(e, "ilvl"))
                pap.ilvl = integer(value(*ilvl)).value_or(0);
            if (const Node* numId = wordChild(e, "numId"))
                pap.numId = integer(value(*numId)).value_or(0);
        }
    }
}

// ---- styles -------------------------------------------------------------------------------------

// The style sheet, each style resolved through its basedOn chain over the document defaults.
class Styles
{
public:
    Styles(const Node* root, const ThemeFonts& theme) : mTheme(theme)
    {
        if (!root)
            return;
        if (const Node* defaults = wordChild(*root, "docDefaults")) {
            if (const Node* r = wordChild(*defaults, "rPrDefault"); r && wordChild(*r, "rPr"))
                applyRPr(mBase.second, *wordChild(*r, "rPr"), mTheme);
            if (const Node* p = wordChild(*defaults, "pPrDefault"); p && wordChild(*p, "pPr"))
                applyPPr(mBase.first, *wordChild(*p, "pPr"));
        }
        for (const Node& e : root->children) {
            const std::string* id = e.isWord("style") ? wordAttribute(e, "styleId") : nullptr;
            if (!id)
                continue;
            Style style;
            const std::string* type = wordAttribute(e, "type");
            style.type = type ? *type : "paragraph";
            if (const Node* basedOn = wordChild(e, "basedOn"); basedOn && value(*basedOn))
                style.basedOn = *value(*basedOn);
            style.pPr = wordChild(e, "pPr");
            style.rPr = wordChild(e, "rPr");
            style.element = &e;
            if (isOn(wordAttribute(e, "default")))
                mDefaults.emplace(style.type, *id);
            mStyles.emplace(*id, std::move(style));
        }
    }

    const ThemeFonts& theme() const { return mTheme; }

    // A paragraph style's properties; the default paragraph style's for none or an unknown one.
    const std::pair<Pap, Chp>& paragraph(const std::string* id)
    {
        if (id && isType(*id, "paragraph"))
            return resolve(*id, 0);
        if (const auto fallback = mDefaults.find("paragraph"); fallback != mDefaults.end())
            return resolve(fallback->second, 0);
        return mBase;
    }

    // True for no style, one not known as a paragraph style, and the default paragraph style.
    bool isDefaultParagraph(const std::string* id) const
    {
        const auto fallback = mDefaults.find("paragraph");
        return !id || !isType(*id, "paragraph") || (fallback != mDefaults.end() && fallback->second == *id);
    }

    // Applies a character style's chain to chp.
    void applyCharacter(Chp& chp, const std::string& id, std::size_t depth = 0) const
    {
        const auto found = mStyles.find(id);
        if (found == mStyles.end() || found->second.type != "character" || depth > mStyles.size())
            return;
        if (!found->second.basedOn.empty())
            applyCharacter(chp, found->second.basedOn, depth + 1);
        if (found->second.rPr)
            applyRPr(chp, *found->second.rPr, mTheme);
    }

    // A table style's w:style and those of its bases, the base's first; the default table style's for
    // none.
    std::vector<const Node*> tableChain(const std::string* id) const
    {
        std::vector<const Node*> chain;
        std::string at = id ? *id : "";
        if (!id || !isType(at, "table")) {
            const auto fallback = mDefaults.find("table");
            at = fallback == mDefaults.end() ? "" : fallback->second;
        }
        for (std::size_t step = 0; !at.empty() && step <= mStyles.size(); ++step) {
            const auto found = mStyles.find(at);
            if (found == mStyles.end() || found->second.type != "table")
                break;
            chain.push_back(found->second.element);
            at = found->second.basedOn;
        }
        std::reverse(chain.begin(), chain.end());
        return chain;
    }

private:
    struct Style {
        std::string type;
        std::string basedOn;
        const Node* pPr = nullptr;
        const Node* rPr = nullptr;
        const Node* element = nullptr;
        std::optional<std::pair<Pap, Chp>> resolved;
        bool resolving = false;
    };

    bool isType(const std::string& id, std::string_view type) const
    {
        const auto found = mStyles.find(id);
        return found != mStyles.end() && found->second.type == type;
    }

    const std::pair<Pap, Chp>& resolve(const std::string& id, std::size_t depth)
    {
        const auto found = mStyles.find(id);
        if (found == mStyles.end() || found->second.type != "paragraph" || found->second.resolving ||
            depth > mStyles.size())
            return mBase;
        Style& style = found->second;
        if (!style.resolved) {
            style.resolving = true; // a basedOn cycle ends at the defaults
            std::pair<Pap, Chp> result = style.basedOn.empty() ? mBase : resolve(style.basedOn, depth + 1);
            if (style.pPr)
                applyPPr(result.first, *style.pPr);
            if (style.rPr)
                applyRPr(result.second, *style.rPr, mTheme);
            style.resolving = false;
            style.resolved = std::move(result);
        }
        return *style.resolved;
    }

    ThemeFonts mTheme;
    std::pair<Pap, Chp> mBase;
    std::map<std::string, Style, std::less<>> mStyles;
    std::map<std::string, std::string, std::less<>> mDefaults; // default style id by type
};

// ---- lists --------------------------------------------------------------------------------------

// numbering.xml's abstract lists and their instances, numbered by the engine's list counting: each
// w:num is an LFO of its abstract list.
class Lists
{
public:
    // What a list level adds to its paragraphs: its indents and tabs, and its label's look.
    struct LevelLook {
        const Node* pPr = nullptr;
        const Node* rPr = nullptr;
    };

    explicit Lists(const Node* root) : mNumbering({}, {}, {})
    {
        if (!root)
            return;
        using doc::word::kListLevels;
        std::map<std::int64_t, std::size_t> listById;
        std::vector<std::vector<doc::word::ListLevel>> lists;
        for (const Node& e : root->children) {
            const auto id =
                e.isWord("abstractNum") ? integer(wordAttribute(e, "abstractNumId")) : std::nullopt;
            if (!id || listById.contains(*id))
                continue;
            listById.emplace(*id, lists.size());
            lists.emplace_back(kListLevels);
            mListLooks.emplace_back();
            for (const Node& lvl : e.children) {
                const auto ilvl = lvl.isWord("lvl") ? integer(wordAttribute(lvl, "ilvl")) : std::nullopt;
                if (!ilvl || *ilvl < 0 || std::size_t(*ilvl) >= kListLevels)
                    continue;
                lists.back()[std::size_t(*ilvl)] = readLevel(lvl);
                mListLooks.back()[std::size_t(*ilvl)] = {wordChild(lvl, "pPr"), wordChild(lvl, "rPr")};
            }
        }
        std::vector<doc::word::Numbering::Override> overrides;
        std::vector<doc::word::ListLevel> overrideLevels;
        for (const Node& e : root->children) {
            const auto numId = e.isWord("num") ? integer(wordAttribute(e, "numId")) : std::nullopt;
            const Node* abstract = e.isWord("num") ? wordChild(e, "abstractNumId") : nullptr;
            const auto list =
                abstract ? listById.find(integer(value(*abstract)).value_or(-1)) : listById.end();
            if (!numId || list == listById.end() || mOverrideByNumId.contains(*numId))
                continue;
            doc::word::Numbering::Override lfo;
            lfo.list = list->second;
            std::array<LevelLook, kListLevels> looks = mListLooks[list->second];
            for (const Node& o : e.children) {
                const auto ilvl = o.isWord("lvlOverride") ? integer(wordAttribute(o, "ilvl")) : std::nullopt;
                if (!ilvl || *ilvl < 0 || std::size_t(*ilvl) >= kListLevels)
                    continue;
                const auto k = std::size_t(*ilvl);
                if (const Node* lvl = wordChild(o, "lvl")) {
                    lfo.level[k] = overrideLevels.size();
                    overrideLevels.push_back(readLevel(*lvl));
                    looks[k] = {wordChild(*lvl, "pPr"), wordChild(*lvl, "rPr")};
                }
                if (const Node* start = wordChild(o, "startOverride")) {
                    lfo.startAt[k] = static_cast<std::int32_t>(
                        std::clamp<std::int64_t>(integer(value(*start)).value_or(0), 0, 32767));
                    lfo.countsAlone = true;
                }
            }
            mOverrideByNumId.emplace(*numId, overrides.size());
            overrides.push_back(lfo);
            mLooks.push_back(looks);
        }
        mNumbering = doc::word::Numbering(std::move(lists), std::move(overrides), std::move(overrideLevels));
    }

    // The level a paragraph names, or null when it is in no list.
    const doc::word::ListLevel* level(std::int64_t numId, std::int64_t ilvl) const
    {
        const auto ilfo = this->ilfo(numId);
        return ilfo && inRange(ilvl) ? mNumbering.level(*ilfo, static_cast<std::uint8_t>(ilvl)) : nullptr;
    }

    LevelLook look(std::int64_t numId, std::int64_t ilvl) const
    {
        const auto ilfo = this->ilfo(numId);
        return ilfo && inRange(ilvl) ? mLooks[std::size_t(*ilfo - 1)][std::size_t(ilvl)] : LevelLook{};
    }

    // Counts a paragraph of that list and level, in reading order, and gives its label's text.
    std::u16string label(std::int64_t numId, std::int64_t ilvl)
    {
        const auto ilfo = this->ilfo(numId);
        return ilfo && inRange(ilvl) ? mNumbering.label(*ilfo, static_cast<std::uint8_t>(ilvl)) : u"";
    }

private:
    static bool inRange(std::int64_t ilvl) { return ilvl >= 0 && std::size_t(ilvl) < doc::word::kListLevels; }

    std::optional<std::int32_t> ilfo(std::int64_t numId) const
    {
        const auto found = mOverrideByNumId.find(numId);
        if (found == mOverrideByNumId.end())
            return std::nullopt;
        return static_cast<std::int32_t>(found->second + 1);
    }

    static std::uint8_t numberFormat(const std::string* name)
    {
        namespace nfc = doc::word::nfc;
        static constexpr std::array<std::pair<std::string_view, std::uint8_t>, 8> kFormats = {{
            {"upperRoman", nfc::UpperRoman},
            {"lowerRoman", nfc::LowerRoman},
            {"upperLetter", nfc::UpperLetter},
            {"lowerLetter", nfc::LowerLetter},
            {"ordinal", nfc::Ordinal},
            {"decimalZero", nfc::DecimalZero},
            {"bullet", nfc::Bullet},
            {"none", nfc::None},
        }};
        for (const auto& [formatName, format] : kFormats)
            if (name && *name == formatName)
                return format;
        return nfc::Decimal;
    }

    // A w:lvl: its label's text with "%n" placeholders turned into the levels' indices, as a .doc's
    // LVL holds them.
    static doc::word::ListLevel readLevel(const Node& lvl)
    {
        using doc::ListLabel;
        doc::word::ListLevel level;
        level.startAt = 0;
        if (const Node* start = wordChild(lvl, "start"))
            level.startAt = static_cast<std::int32_t>(
                std::clamp<std::int64_t>(integer(value(*start)).value_or(0), 0, 32767));
        if (const Node* format = wordChild(lvl, "numFmt"))
            level.nfc = numberFormat(value(*format));
        if (const Node* jc = wordChild(lvl, "lvlJc"); jc && value(*jc)) {
            const std::string& v = *value(*jc);
            level.alignment = v == "center"                ? ListLabel::Alignment::Center
                              : v == "right" || v == "end" ? ListLabel::Alignment::Right
                                                           : ListLabel::Alignment::Left;
        }
        if (const Node* suffix = wordChild(lvl, "suff"); suffix && value(*suffix)) {
            const std::string& v = *value(*suffix);
            level.follow = v == "space"     ? ListLabel::Follow::Space
                           : v == "nothing" ? ListLabel::Follow::Nothing
                                            : ListLabel::Follow::Tab;
        }
        if (const Node* legal = wordChild(lvl, "isLgl"))
            level.legal = onOff(*legal);
        if (const Node* restart = wordChild(lvl, "lvlRestart")) {
            level.noRestart = true;
            level.restartLimit = static_cast<std::uint8_t>(
                std::clamp<std::int64_t>(integer(value(*restart)).value_or(0), 0, 9));
        }
        const Node* text = wordChild(lvl, "lvlText");
        const std::u16string written = text && value(*text) ? doc::utf::fromUtf8(*value(*text)) : u"";
        std::size_t placeholders = 0;
        for (std::size_t i = 0; i < written.size(); ++i) {
            const bool placeholder = written[i] == u'%' && i + 1 < written.size() && written[i + 1] >= u'1' &&
                                     written[i + 1] <= u'9' && placeholders < doc::word::kListLevels;
            if (!placeholder) {
                level.text.push_back(written[i]);
                continue;
            }
            level.text.push_back(static_cast<char16_t>(written[i + 1] - u'1'));
            level.placeholders[placeholders++] = static_cast<std::uint8_t>(level.text.size());
            ++i;
        }
        return level;
    }

    doc::word::Numbering mNumbering;
    std::map<std::int64_t, std::size_t> mOverrideByNumId;
    std::vector<std::array<LevelLook, doc::word::kListLevels>> mListLooks; // by abstract list
    std::vector<std::array<LevelLook, doc::word::kListLevels>> mLooks;     // by LFO
};

// ---- pictures -----------------------------------------------------------------------------------

// A picture part as the model keeps it: a bitmap without its file header, a metafile without its
// placeable header.
doc::Picture pictureOf(const std::vector<std::uint8_t>& bytes)
{
    using Format = doc::Picture::Format;
    const auto startsWith = [&](std::initializer_list<std::uint8_t> signature, std::size_t at = 0) {
        return bytes.size() >= at + signature.size() &&
               std::equal(signature.begin(), signature.end(), bytes.begin() + std::ptrdiff_t(at));
    };
    constexpr std::size_t kBitmapFileHeader = 14;
    constexpr std::size_t kPlaceableHeader = 22;
    constexpr std::size_t kEmfSignatureAt = 40;
    doc::Picture picture;
    std::size_t skip = 0;
    if (startsWith({0x89, 'P', 'N', 'G'})) {
        picture.format = Format::Png;
    } else if (startsWith({0xFF, 0xD8})) {
        picture.format = Format::Jpeg;
    } else if (startsWith({'B', 'M'}) && bytes.size() > kBitmapFileHeader) {
        picture.format = Format::Dib;
        skip = kBitmapFileHeader;
    } else if (startsWith({'I', 'I', 0x2A, 0x00}) || startsWith({'M', 'M', 0x00, 0x2A})) {
        picture.format = Format::Tiff;
    } else if (startsWith({0x01, 0x00, 0x00, 0x00}) && startsWith({' ', 'E', 'M', 'F'}, kEmfSignatureAt)) {
        picture.format = Format::Emf;
    } else if (startsWith({0xD7, 0xCD, 0xC6, 0x9A}) && bytes.size() > kPlaceableHeader) {
        picture.format = Format::Wmf;
        skip = kPlaceableHeader;
    } else if (startsWith({0x01, 0x00, 0x09, 0x00}) || startsWith({0x02, 0x00, 0x09, 0x00})) {
        picture.format = Format::Wmf;
    } else {
        return picture;
    }
    picture.bytes.assign(bytes.begin() + std::ptrdiff_t(skip), bytes.end());
    return picture;
}

// A DrawingML colour (a:solidFill's): an RGB value, a system colour's last value, or black or white as
// a preset or scheme colour reads; fallback for none.
std::uint32_t drawingColor(const Node* fill, std::uint32_t fallback)
{
    if (!fill)
        return fallback;
    for (const Node& c : fill->children) {
        if (c.ns != kDrawingNs)
            continue;
        if (c.local == "srgbClr")
            return hexColor(c.attribute("", "val"));
        if (c.local == "sysClr")
            return hexColor(c.attribute("", "lastClr"));
        const std::string* v = c.attribute("", "val");
        if (c.local == "prstClr" || c.local == "schemeClr")
            return v && (*v == "white" || *v == "bg1" || *v == "lt1") ? kWhite : kBlack;
    }
    return fallback;
}

// A property of a CSS style ("width:136pt;position:absolute"), empty when it has none.
std::string styleValue(const std::string& style, std::string_view name)
{
    std::size_t at = 0;
    while (at < style.size()) {
        const std::size_t end = std::min(style.find(';', at), style.size());
        const std::size_t colon = style.find(':', at);
        if (colon < end) {
            std::string_view key(style.data() + at, colon - at);
            while (!key.empty() && key.front() == ' ')
                key.remove_prefix(1);
            if (key == name) {
                std::string result = style.substr(colon + 1, end - colon - 1);
                std::erase(result, ' ');
                return result;
            }
        }
        at = end + 1;
    }
    return {};
}

// A CSS length in twips: points, inches, centimetres, millimetres, picas or pixels (at 96 to the inch,
// also for a number alone); 0 for none.
std::int32_t cssLength(const std::string& text)
{
    constexpr std::pair<std::string_view, double> kPixel{"px", 15};
    const auto measure = splitUnit(text, kPixel).value_or(std::pair{std::string_view(text), kPixel.second});
    return scaledTwips(measure.first, measure.second).value_or(0);
}

// A VML colour: "#RRGGBB" (or "#RGB"), or black or white by name; fallback for none or another name.
std::uint32_t vmlColor(const std::string* text, std::uint32_t fallback)
{
    if (!text || text->empty())
        return fallback;
    std::string value = text->substr(0, text->find(' '));
    if (value == "white")
        return kWhite;
    if (value == "black")
        return kBlack;
    if (value.size() == 4 && value[0] == '#')
        value = {'#', value[1], value[1], value[2], value[2], value[3], value[3]};
    if (value.size() != 7 || value[0] != '#')
        return fallback;
    const std::string hex = value.substr(1);
    const std::uint32_t color = hexColor(&hex);
    return color == kAutoColor ? fallback : color;
}

// ---- the reader ---------------------------------------------------------------------------------

// A table's look from its style and its own properties.
struct TableLook {
    enum Edge { Top, Left, Bottom, Right, InsideH, InsideV, kEdges };
    std::array<Border, kEdges> borders{};
    std::array<std::int32_t, 4> margins{0, TableCell{}.marginLeft, 0, TableCell{}.marginRight}; // t l b r
    Paragraph::Alignment alignment = Paragraph::Alignment::Left;
    std::int32_t indent = 0;
    // Which of its style's conditional formats the table takes, as tblLook's older bit mask holds them.
    enum Condition : std::uint32_t {
        FirstRow = 0x0020,
        LastRow = 0x0040,
        FirstColumn = 0x0080,
        LastColumn = 0x0100,
        NoRowBands = 0x0200,
        NoColumnBands = 0x0400,
    };
    std::uint32_t conditions = 0;
    // The rows the first row's format reaches: the first, and the header rows that follow it.
    std::size_t headerRows = 1;
    std::size_t rowBand = 1; // rows to a band
    std::size_t columnBand = 1;
};

void applyMargins(std::array<std::int32_t, 4>& margins, const Node& mar)
{
    const std::array<const Node*, 4> sides = {wordChild(mar, "top"), side(mar, "left", "start"),
                                              wordChild(mar, "bottom"), side(mar, "right", "end")};
    for (std::size_t i = 0; i < sides.size(); ++i)
        if (sides[i])
            margins[i] = twipsAttribute(*sides[i], "w").value_or(margins[i]);
}

void applyTblPr(TableLook& look, const Node& tblPr)
{
    if (const Node* b = wordChild(tblPr, "tblBorders")) {
        const std::array<const Node*, TableLook::kEdges> edges = {
            wordChild(*b, "top"),     side(*b, "left", "start"), wordChild(*b, "bottom"),
            side(*b, "right", "end"), wordChild(*b, "insideH"),  wordChild(*b, "insideV")};
        for (std::size_t i = 0; i < edges.size(); ++i)
            if (edges[i])
                look.borders[i] = border(*edges[i]);
    }
    if (const Node* mar = wordChild(tblPr, "tblCellMar"))
        applyMargins(look.margins, *mar);
    if (const Node* jc = wordChild(tblPr, "jc"))
        look.alignment = alignment(value(*jc), look.alignment);
    if (const Node* ind = wordChild(tblPr, "tblInd"))
        look.indent = twipsAttribute(*ind, "w").value_or(look.indent);
    if (const Node* tblLook = wordChild(tblPr, "tblLook")) {
        // Word writes the mask and, since 2010, each condition by name, which wins.
        const std::string* mask = value(*tblLook);
        look.conditions = 0;
        if (mask)
            std::from_chars(mask->data(), mask->data() + mask->size(), look.conditions, 16);
        static constexpr std::array<std::pair<std::string_view, TableLook::Condition>, 6> kNames = {{
            {"firstRow", TableLook::FirstRow},
            {"lastRow", TableLook::LastRow},
            {"firstColumn", TableLook::FirstColumn},
            {"lastColumn", TableLook::LastColumn},
            {"noHBand", TableLook::NoRowBands},
            {"noVBand", TableLook::NoColumnBands},
        }};
        for (const auto& [name, condition] : kNames)
            if (const std::string* v = wordAttribute(*tblLook, name))
                look.conditions = isOn(v) ? look.conditions | condition : look.conditions & ~condition;
    }
    const auto bandSize = [&](std::string_view name, std::size_t& size) {
        if (const Node* e = wordChild(tblPr, name))
            size = static_cast<std::size_t>(std::clamp<std::int64_t>(integer(value(*e)).value_or(1), 1, 63));
    };
    bandSize("tblStyleRowBandSize", look.rowBand);
    bandSize("tblStyleColBandSize", look.columnBand);
}

// A conditional format that reaches a cell, and whether the cell's top, left, bottom and right lie on
// the edge of the region it formats (a region's inside borders fall between its cells).
struct Conditional {
    std::string_view type;
    std::array<bool, 4> outer;
};

// The conditional formats of the cell at row r of rows and column k of columns, in the order Word
// applies them, each over the ones before.
std::vector<Conditional> conditionals(const TableLook& look, std::size_t r, std::size_t rows, std::size_t k,
                                      std::size_t columns)
{
    const auto on = [&](TableLook::Condition c) { return (look.conditions & c) != 0; };
    const bool firstRow = on(TableLook::FirstRow) && r < look.headerRows;
    const bool lastRow = on(TableLook::LastRow) && r + 1 == rows;
    const bool firstColumn = on(TableLook::FirstColumn) && k == 0;
    const bool lastColumn = on(TableLook::LastColumn) && k + 1 == columns;
    const bool top = r == 0, left = k == 0, bottom = r + 1 == rows, right = k + 1 == columns;
    std::vector<Conditional> result{{"wholeTable", {top, left, bottom, right}}};
    // Bands count from the first row or column that is not a first or last one.
    const auto band = [](std::size_t at, std::size_t first, std::size_t end, std::size_t size) {
        const std::size_t start = first + (at - first) / size * size;
        return std::tuple{(at - first) / size % 2 == 0, at == start, at + 1 == std::min(start + size, end)};
    };
    if (!on(TableLook::NoRowBands) && !firstRow && !lastRow) {
        const std::size_t first = on(TableLook::FirstRow) ? look.headerRows : 0;
        const std::size_t end = on(TableLook::LastRow) ? rows - 1 : rows;
        const auto [odd, starts, ends] = band(r, first, end, look.rowBand);
        result.push_back({odd ? "band1Horz" : "band2Horz", {starts, left, ends, right}});
    }
    if (!on(TableLook::NoColumnBands) && !firstColumn && !lastColumn) {
        const std::size_t first = on(TableLook::FirstColumn) ? 1 : 0;
        const std::size_t end = on(TableLook::LastColumn) ? columns - 1 : columns;
        const auto [odd, starts, ends] = band(k, first, end, look.columnBand);
        result.push_back({odd ? "band1Vert" : "band2Vert", {top, starts, bottom, ends}});
    }
    if (firstColumn)
        result.push_back({"firstCol", {top, true, bottom, true}});
    if (lastColumn)
        result.push_back({"lastCol", {top, true, bottom, true}});
    if (firstRow)
        result.push_back({"firstRow", {top, left, r + 1 == look.headerRows, right}});
    if (lastRow)
        result.push_back({"lastRow", {true, left, true, right}});
    const std::array<bool, 4> alone{true, true, true, true};
    if (firstRow && firstColumn)
        result.push_back({"nwCell", alone});
    if (firstRow && lastColumn)
        result.push_back({"neCell", alone});
    if (lastRow && firstColumn)
        result.push_back({"swCell", alone});
    if (lastRow && lastColumn)
        result.push_back({"seCell", alone});
    return result;
}

// A table style's conditional format of that type; for the whole table, also the style's own.
std::vector<const Node*> conditionalFormats(const Node& style, std::string_view type)
{
    std::vector<const Node*> result;
    if (type == "wholeTable")
        result.push_back(&style);
    for (const Node& e : style.children)
        if (const std::string* t = e.isWord("tblStylePr") ? wordAttribute(e, "type") : nullptr;
            t && *t == type)
            result.push_back(&e);
    return result;
}

class ModelReader
{
public:
    explicit ModelReader(const DocxState& state)
        : d(state), mStyles(d.styles ? &d.styles->root : nullptr, themeFonts()),
          mLists(d.numbering ? &d.numbering->root : nullptr)
    {
        mBudget = kBudgetFloor;
        for (const Entry& entry : d.package.entries())
            mBudget += entry.bytes.size();
    }

    doc::ReadModel read()
    {
        readSettings();
        const Node* body = wordChild(d.main.root, "body");
        std::vector<const Node*> sectPrs;
        if (body)
            findSections(*body, sectPrs);
        if (const Node* last = body ? wordChild(*body, "sectPr") : nullptr)
            sectPrs.push_back(last);
        mModel.sections.assign(std::max<std::size_t>(sectPrs.size(), 1), Section{});
        for (std::size_t i = 0; i < sectPrs.size(); ++i)
            readSection(*sectPrs[i], mModel.sections[i]);
        for (Section& section : mModel.sections)
            section.page.defaultTabWidth = mDefaultTab;

        if (body) {
            mPart = &d.main;
            mInBody = true;
            readBlocks(*body, mModel.body, 0, columnWidth(mModel.sections.front().page));
            mInBody = false;
        }
        for (std::size_t i = mSection; i < mModel.sections.size(); ++i)
            mModel.sections[i].blockEnd = mModel.body.size();

        readHeaders(sectPrs);
        return std::move(mModel);
    }

private:
    ThemeFonts themeFonts() const
    {
        ThemeFonts fonts;
        for (const Relationship& r : d.main.relationships) {
            const Entry* entry =
                r.type.ends_with("/theme") && !r.external ? d.package.find(r.target) : nullptr;
            if (!entry)
                continue;
            try {
                const Node root = xml::parse(entry->bytes);
                const Node* elements = root.child(kDrawingNs, "themeElements");
                const Node* scheme = elements ? elements->child(kDrawingNs, "fontScheme") : nullptr;
                const auto typeface = [&](std::string_view which) {
                    const Node* font = scheme ? scheme->child(kDrawingNs, which) : nullptr;
                    const Node* latin = font ? font->child(kDrawingNs, "latin") : nullptr;
                    const std::string* face = latin ? latin->attribute("", "typeface") : nullptr;
                    return face ? *face : std::string();
                };
                fonts.major = typeface("majorFont");
                fonts.minor = typeface("minorFont");
            } catch (const doc::Error&) {
                // A theme that is not well-formed names no fonts.
            }
            break;
        }
        return fonts;
    }

    void readSettings()
    {
        if (!d.settings)
            return;
        const Node& root = d.settings->root;
        if (const Node* tab = wordChild(root, "defaultTabStop"))
            if (const auto width = twips(value(*tab)); width && *width > 0)
                mDefaultTab = *width;
        if (const Node* evenAndOdd = wordChild(root, "evenAndOddHeaders"))
            mModel.facingPages = onOff(*evenAndOdd);
        const Node* compat = wordChild(root, "compat");
        const Node* additive = compat ? wordChild(*compat, "doNotUseHTMLParagraphAutoSpacing") : nullptr;
        mSpacingCollapses = !additive || !onOff(*additive);
    }

    // The section properties paragraphs of the body end their sections with, in order.
    static void findSections(const Node& container, std::vector<const Node*>& out)
    {
        for (const Node& e : container.children) {
            if (e.isWord("p")) {
                const Node* pPr = wordChild(e, "pPr");
                if (const Node* sectPr = pPr ? wordChild(*pPr, "sectPr") : nullptr)
                    out.push_back(sectPr);
            } else if (e.isWord("sdt") || e.isWord("sdtContent") || e.isWord("customXml")) {
                findSections(e, out);
            }
        }
    }

    static void readSection(const Node& sectPr, Section& section)
    {
        doc::SectionLayout& page = section.page;
        if (const Node* size = wordChild(sectPr, "pgSz")) {
            page.pageWidth = twipsAttribute(*size, "w").value_or(page.pageWidth);
            page.pageHeight = twipsAttribute(*size, "h").value_or(page.pageHeight);
        }
        if (const Node* margins = wordChild(sectPr, "pgMar")) {
            page.marginLeft = twipsAttribute(*margins, "left").value_or(page.marginLeft);
            page.marginRight = twipsAttribute(*margins, "right").value_or(page.marginRight);
            page.marginTop = twipsAttribute(*margins, "top").value_or(page.marginTop);
            page.marginBottom = twipsAttribute(*margins, "bottom").value_or(page.marginBottom);
            page.headerDistance = twipsAttribute(*margins, "header").value_or(page.headerDistance);
            page.footerDistance = twipsAttribute(*margins, "footer").value_or(page.footerDistance);
        }
        if (const Node* type = wordChild(sectPr, "type"); type && value(*type)) {
            const std::string& v = *value(*type);
            section.start = v == "continuous"   ? Section::Start::Continuous
                            : v == "nextColumn" ? Section::Start::NewColumn
                            : v == "evenPage"   ? Section::Start::EvenPage
                            : v == "oddPage"    ? Section::Start::OddPage
                                                : Section::Start::NewPage;
        }
        if (const Node* title = wordChild(sectPr, "titlePg"))
            section.titlePage = onOff(*title);
        if (const Node* numbers = wordChild(sectPr, "pgNumType"))
            if (const auto start = integer(wordAttribute(*numbers, "start")))
                section.firstPageNumber = static_cast<int>(std::clamp<std::int64_t>(*start, 0, 32767));
    }

    static std::int32_t columnWidth(const doc::SectionLayout& page)
    {
        return page.pageWidth - page.marginLeft - page.marginRight;
    }

    // Header and footer stories by the sections' references; a section without one of a kind has
    // its predecessor's.
    void readHeaders(const std::vector<const Node*>& sectPrs)
    {
        std::map<const HeaderFooterPart*, std::size_t> read;
        for (std::size_t s = 0; s < mModel.sections.size(); ++s) {
            Section& section = mModel.sections[s];
            if (s > 0)
                section.headers = mModel.sections[s - 1].headers;
            if (s >= sectPrs.size())
                continue;
            for (const Node& reference : sectPrs[s]->children) {
                const bool footer = reference.isWord("footerReference");
                if (!footer && !reference.isWord("headerReference"))
                    continue;
                const std::string* type = wordAttribute(reference, "type");
                const std::string* id = reference.attribute(xml::kRelationshipsNs, "id");
                const HeaderFooterPart* part = id ? headerPart(*id) : nullptr;
                if (!part)
                    continue;
                const bool even = type && *type == "even";
                const bool first = type && *type == "first";
                const auto kind = first  ? (footer ? Section::FirstFooter : Section::FirstHeader)
                                  : even ? (footer ? Section::EvenFooter : Section::EvenHeader)
                                         : (footer ? Section::OddFooter : Section::OddHeader);
                auto [known, added] = read.emplace(part, mModel.headers.size());
                if (added) {
                    mPart = &part->part;
                    std::vector<Block> blocks;
                    readBlocks(part->part.root, blocks, 0, columnWidth(mModel.section()));
                    mModel.headers.push_back(std::move(blocks));
                }
                section.headers[kind] = known->second;
            }
        }
    }

    const HeaderFooterPart* headerPart(const std::string& id) const
    {
        for (const HeaderFooterPart& part : d.headersFooters)
            if (std::find(part.relationshipIds.begin(), part.relationshipIds.end(), id) !=
                part.relationshipIds.end())
                return &part;
        return nullptr;
    }

    // ---- blocks ----

    // The paragraphs and tables of a story's container, into out; width is what tables align in.
    void readBlocks(const Node& container, std::vector<Block>& out, int tableDepth, std::int32_t width)
    {
        for (const Node& e : container.children) {
            if (e.ns != xml::kWordNs)
                continue;
            if (e.local == "p") {
                readParagraph(e, out, tableDepth);
            } else if (e.local == "tbl") {
                if (tableDepth < kDeepestTable)
                    readTable(e, out, tableDepth + 1, width);
                else
                    flattenTable(e, out, tableDepth, width);
            } else if (e.local == "sdt" || e.local == "sdtContent" || e.local == "customXml" ||
                       e.local == "ins" || e.local == "moveTo" || e.local == "smartTag") {
                readBlocks(e, out, tableDepth, width);
            }
        }
    }

    // A table too deep to be one: its cells' paragraphs in order.
    void flattenTable(const Node& tbl, std::vector<Block>& out, int tableDepth, std::int32_t width)
    {
        for (const Node& row : tbl.children)
            if (row.isWord("tr"))
                for (const Node& cell : row.children)
                    if (cell.isWord("tc"))
                        readBlocks(cell, out, tableDepth, width);
    }

    // ---- paragraphs ----

    // Text being gathered for a paragraph: its characters and runs.
    struct Gathered {
        Paragraph paragraph;
        const Chp* base = nullptr; // the paragraph style's character properties
        int fieldDepth = 0;
    };

    void add(Gathered& g, std::u16string_view text, const Chp& chp)
    {
        if (text.empty())
            return;
        Paragraph& p = g.paragraph;
        CharacterRun look = chp.look();
        if (!p.runs.empty() && doc::sameFormat(p.runs.back(), look)) {
            p.runs.back().length += static_cast<std::uint32_t>(text.size());
        } else {
            look.start = static_cast<std::uint32_t>(p.text.size());
            look.length = static_cast<std::uint32_t>(text.size());
            p.runs.push_back(std::move(look));
        }
        p.text += text;
    }

    void readParagraph(const Node& p, std::vector<Block>& out, int tableDepth)
    {
        const Node* pPr = wordChild(p, "pPr");
        const Node* styleRef = pPr ? wordChild(*pPr, "pStyle") : nullptr;
        const std::string* styleId = styleRef ? value(*styleRef) : nullptr;
        // A table style's paragraph and run properties win over the default paragraph style's alone.
        std::pair<Pap, Chp> styled = mStyles.paragraph(styleId);
        if (!mTableStyles.empty() && mStyles.isDefaultParagraph(styleId))
            for (const Node* format : *mTableStyles.back()) {
                if (const Node* tablePPr = wordChild(*format, "pPr"))
                    applyPPr(styled.first, *tablePPr);
                if (const Node* tableRPr = wordChild(*format, "rPr"))
                    applyRPr(styled.second, *tableRPr, mStyles.theme());
            }
        const auto& [stylePap, styleChp] = styled;
        Pap pap = stylePap;
        if (pPr)
            applyPPr(pap, *pPr);
        // The list level's indents and tabs come between the style's and the paragraph's own.
        const doc::word::ListLevel* level = mLists.level(pap.numId, pap.ilvl);
        const Lists::LevelLook levelLook = mLists.look(pap.numId, pap.ilvl);
        if (level && levelLook.pPr) {
            const std::int64_t numId = pap.numId;
            const std::int64_t ilvl = pap.ilvl;
            pap = stylePap;
            applyPPr(pap, *levelLook.pPr);
            if (pPr)
                applyPPr(pap, *pPr);
            pap.numId = numId;
            pap.ilvl = ilvl;
        }

        Gathered g;
        g.paragraph = std::move(pap.look);
        g.base = &styleChp;
        readRuns(p, g);
        Paragraph paragraph = std::move(g.paragraph);

        Chp markChp = styleChp;
        if (const Node* markPr = pPr ? wordChild(*pPr, "rPr") : nullptr)
            applyRun(markChp, *markPr);
        paragraph.markFormat = markChp.look();
        paragraph.markFormat.start = static_cast<std::uint32_t>(paragraph.text.size());
        paragraph.markFormat.length = 1;
        if (level) {
            doc::ListLabel label;
            label.text = mLists.label(pap.numId, pap.ilvl);
            Chp labelChp = markChp;
            if (levelLook.rPr)
                applyRPr(labelChp, *levelLook.rPr, mStyles.theme());
            label.format = labelChp.look();
            if (doc::word::symbolsToUnicode(label.text, label.format.fontName))
                label.format.fontName = markChp.run.fontName;
            label.alignment = level->alignment;
            label.follow = level->follow;
            paragraph.list = std::move(label);
        }
        spaceFrom(out, paragraph,
                  {mStyles.isDefaultParagraph(styleId) ? std::string() : *styleId, pap.contextualSpacing});
        mModel.paragraphs.push_back(std::move(paragraph));
        out.push_back({Block::Kind::Paragraph, mModel.paragraphs.size() - 1});

        if (mInBody && tableDepth == 0 && pPr && wordChild(*pPr, "sectPr") &&
            mSection + 1 < mModel.sections.size())
            mModel.sections[mSection++].blockEnd = out.size();
    }

    // What decides the space between a paragraph and the one before it.
    struct Spacing {
        std::string style;
        bool contextual = false;
    };

    // The space between paragraph and the paragraph before it in out, which the layout adds up from the
    // one's space after and the other's space before: none from a side that leaves it out next to its own
    // style, and only the larger of the two where Word does not add them (as it does not, but for an old
    // document's compatibility setting).
    void spaceFrom(const std::vector<Block>& out, Paragraph& paragraph, Spacing spacing)
    {
        if (!out.empty() && out.back().kind == Block::Kind::Paragraph) {
            Paragraph& previous = mModel.paragraphs[out.back().index];
            const Spacing& before = mSpacing[out.back().index];
            if (before.style == spacing.style) {
                if (spacing.contextual)
                    paragraph.spaceBefore = 0;
                if (before.contextual)
                    previous.spaceAfter = 0;
            }
            if (mSpacingCollapses)
                paragraph.spaceBefore = std::max(0, paragraph.spaceBefore - std::max(previous.spaceAfter, 0));
        }
        mSpacing.push_back(std::move(spacing));
    }

    // A run's properties: its character style, then its own.
    void applyRun(Chp& chp, const Node& rPr) const
    {
        if (const Node* style = wordChild(rPr, "rStyle"); style && value(*style))
            mStyles.applyCharacter(chp, *value(*style));
        applyRPr(chp, rPr, mStyles.theme());
    }

    // The runs of a paragraph or of an element that holds runs (hyperlinks, fields, content
    // controls, insertions).
    void readRuns(const Node& parent, Gathered& g)
    {
        for (const Node& e : parent.children) {
            if (e.ns == kMarkupCompatibilityNs && e.local == "AlternateContent") {
                readAlternate(e, [&](const Node& content) { readRuns(content, g); });
                continue;
            }
            if (e.ns != xml::kWordNs)
                continue;
            const std::string& name = e.local;
            if (name == "r") {
                readRun(e, g);
            } else if (name == "fldSimple") {
                const std::string* instr = wordAttribute(e, "instr");
                Chp chp = *g.base;
                if (const Node* r = wordChild(e, "r"); r && wordChild(*r, "rPr"))
                    applyRun(chp, *wordChild(*r, "rPr"));
                add(g, std::u16string(1, mark::FieldBegin), chp);
                add(g, instr ? doc::utf::fromUtf8(*instr) : u"", chp);
                add(g, std::u16string(1, mark::FieldSeparator), chp);
                readRuns(e, g);
                add(g, std::u16string(1, mark::FieldEnd), chp);
            } else if (name == "hyperlink" || name == "smartTag" || name == "customXml" || name == "sdt" ||
                       name == "sdtContent" || name == "ins" || name == "moveTo" || name == "dir" ||
                       name == "bdo") {
                readRuns(e, g);
            }
        }
    }

    // Markup compatibility: the first choice, which holds what this reader knows (drawings), else
    // the fallback.
    template <typename Read> static void readAlternate(const Node& alternate, Read read)
    {
        const Node* choice = alternate.child(kMarkupCompatibilityNs, "Choice");
        const Node* chosen = choice ? choice : alternate.child(kMarkupCompatibilityNs, "Fallback");
        if (chosen)
            read(*chosen);
    }

    void readRun(const Node& r, Gathered& g)
    {
        Chp chp = *g.base;
        if (const Node* rPr = wordChild(r, "rPr"))
            applyRun(chp, *rPr);
        readRunContent(r, g, chp);
    }

    void readRunContent(const Node& r, Gathered& g, const Chp& chp)
    {
        for (const Node& e : r.children) {
            if (e.ns == kMarkupCompatibilityNs && e.local == "AlternateContent") {
                readAlternate(e, [&](const Node& content) { readRunContent(content, g, chp); });
                continue;
            }
            if (e.ns != xml::kWordNs)
                continue;
            const std::string& name = e.local;
            if (name == "t" || name == "instrText") {
                add(g, doc::utf::fromUtf8(e.allText()), chp);
            } else if (name == "tab" || name == "ptab") {
                add(g, u"\t", chp);
            } else if (name == "br") {
                const std::string* type = wordAttribute(e, "type");
                const char16_t ch = !type || *type == "textWrapping" ? mark::LineBreak
                                    : *type == "page"                ? mark::PageBreak
                                                                     : mark::ColumnBreak;
                add(g, std::u16string(1, ch), chp);
            } else if (name == "cr") {
                add(g, std::u16string(1, mark::LineBreak), chp);
            } else if (name == "noBreakHyphen") {
                add(g, std::u16string(1, mark::NonBreakingHyphen), chp);
            } else if (name == "softHyphen") {
                add(g, std::u16string(1, mark::SoftHyphen), chp);
            } else if (name == "sym") {
                readSymbol(e, g, chp);
            } else if (name == "fldChar") {
                const std::string* type = wordAttribute(e, "fldCharType");
                if (!type)
                    continue;
                const char16_t ch = *type == "begin"      ? mark::FieldBegin
                                    : *type == "separate" ? mark::FieldSeparator
                                                          : mark::FieldEnd;
                add(g, std::u16string(1, ch), chp);
            } else if (name == "drawing") {
                readDrawing(e, g, chp);
            } else if (name == "pict" || name == "object") {
                readVml(e, g, chp);
            }
        }
    }

    // A symbol character: a code in a symbol font, as the font draws it.
    void readSymbol(const Node& sym, Gathered& g, const Chp& chp)
    {
        const std::string* code = wordAttribute(sym, "char");
        std::uint32_t value = 0;
        if (!code ||
            std::from_chars(code->data(), code->data() + code->size(), value, 16).ec != std::errc{} ||
            value == 0 || value > 0xFFFF)
            return;
        std::u16string text(1, static_cast<char16_t>(value));
        Chp symbolChp = chp;
        if (const std::string* font = wordAttribute(sym, "font"))
            symbolChp.run.fontName = *font;
        if (doc::word::symbolsToUnicode(text, symbolChp.run.fontName))
            symbolChp.run.fontName = chp.run.fontName;
        add(g, text, symbolChp);
    }

    // ---- drawings ----

    void readDrawing(const Node& drawing, Gathered& g, const Chp& chp)
    {
        for (const Node& e : drawing.children) {
            if (e.ns != kWordDrawingNs)
                continue;
            if (e.local == "inline") {
                const auto picture = inlinePicture(e);
                if (!picture)
                    continue;
                g.paragraph.pictures.push_back(
                    {static_cast<std::uint32_t>(g.paragraph.text.size()), *picture});
                add(g, std::u16string(1, mark::Picture), chp);
            } else if (e.local == "anchor") {
                const auto shape = floatingShape(e);
                if (!shape)
                    continue;
                g.paragraph.shapes.push_back({static_cast<std::uint32_t>(g.paragraph.text.size()), *shape});
                add(g, std::u16string(1, mark::ShapeAnchor), chp);
            }
        }
    }

    // The size a drawing is shown at, in twips.
    static std::pair<std::int32_t, std::int32_t> extent(const Node& drawing)
    {
        const Node* e = drawing.child(kWordDrawingNs, "extent");
        if (!e)
            return {0, 0};
        return {emuToTwips(plainAttribute(*e, "cx").value_or(0)),
                emuToTwips(plainAttribute(*e, "cy").value_or(0))};
    }

    // The drawing's graphic data: a picture, a shape or a group.
    static const Node* graphicData(const Node& drawing)
    {
        const Node* graphic = drawing.child(kDrawingNs, "graphic");
        return graphic ? graphic->child(kDrawingNs, "graphicData") : nullptr;
    }

    std::optional<std::size_t> inlinePicture(const Node& drawing)
    {
        const Node* data = graphicData(drawing);
        const Node* pic = data ? data->child(kPictureNs, "pic") : nullptr;
        if (!pic)
            return std::nullopt;
        const auto [width, height] = extent(drawing);
        return picture(*pic, width, height);
    }

    // A pic:pic's picture, shown at width x height; nullopt for one of no size or past the budget.
    std::optional<std::size_t> picture(const Node& pic, std::int32_t width, std::int32_t height)
    {
        const Node* fill = pic.child(kPictureNs, "blipFill");
        const Node* blip = fill ? fill->child(kDrawingNs, "blip") : nullptr;
        doc::Crop crop;
        if (const Node* source = fill ? fill->child(kDrawingNs, "srcRect") : nullptr) {
            // Thousandths of a percent of the picture's size; what is left keeps at least a hundredth.
            const auto share = [&](std::string_view side) {
                return std::clamp<double>(plainAttribute(*source, side).value_or(0) / 100000.0, 0, 0.99);
            };
            crop = {share("l"), share("t"), share("r"), share("b")};
            if (crop.left + crop.right >= 1)
                crop.left = crop.right = 0;
            if (crop.top + crop.bottom >= 1)
                crop.top = crop.bottom = 0;
        }
        return storedPicture(blip ? blip->attribute(xml::kRelationshipsNs, "embed") : nullptr, width, height,
                             crop);
    }

    // The picture of the part a relationship of the part being read names, each read once for each size
    // it is shown at; one whose part is missing keeps its place, without its data.
    std::optional<std::size_t> storedPicture(const std::string* id, std::int32_t width, std::int32_t height,
                                             const doc::Crop& crop)
    {
        if (width <= 0 || height <= 0)
            return std::nullopt;
        const Relationship* relationship = id ? mPart->relationship(*id) : nullptr;
        const Entry* entry =
            relationship && !relationship->external ? d.package.find(relationship->target) : nullptr;
        const std::string name = entry ? entry->name : std::string();
        const auto key = std::make_tuple(name, width, height, crop.left, crop.top, crop.right, crop.bottom);
        if (const auto known = mPictures.find(key); known != mPictures.end())
            return known->second;
        doc::Picture picture = entry ? pictureOf(entry->bytes) : doc::Picture{};
        if (picture.bytes.size() > mBudget)
            picture = {};
        mBudget -= picture.bytes.size();
        picture.width = width;
        picture.height = height;
        picture.crop = crop;
        mModel.pictures.push_back(std::move(picture));
        mPictures.emplace(key, mModel.pictures.size() - 1);
        return mModel.pictures.size() - 1;
    }

    // Where a floating shape stands from one origin: that origin (DrawingML's names), an alignment in its
    // extent, or else an offset in twips.
    struct Placement {
        std::string from;
        std::string align;
        std::int32_t offset = 0;
    };

    static std::int32_t aligned(const Placement& placement, std::int32_t extent, std::int32_t size)
    {
        const std::string& how = placement.align;
        if (how == "center")
            return (extent - size) / 2;
        if (how == "right" || how == "bottom" || how == "outside")
            return extent - size;
        return how.empty() ? placement.offset : 0;
    }

    // The shape's rectangle from its origins on the page of the section being read.
    void place(Shape& shape, const Placement& h, const Placement& v, std::int32_t width,
               std::int32_t height) const
    {
        const doc::SectionLayout& page = mModel.sections[std::min(mSection, mModel.sections.size() - 1)].page;
        std::int32_t originWidth = columnWidth(page);
        std::int32_t shiftH = 0;
        shape.horizontalFrom = Shape::HorizontalFrom::Column;
        if (h.from == "page") {
            shape.horizontalFrom = Shape::HorizontalFrom::Page;
            originWidth = page.pageWidth;
        } else if (h.from == "margin" || h.from == "insideMargin" || h.from == "outsideMargin") {
            shape.horizontalFrom = Shape::HorizontalFrom::Margin;
        } else if (h.from == "leftMargin") {
            shape.horizontalFrom = Shape::HorizontalFrom::Page;
            originWidth = page.marginLeft;
        } else if (h.from == "rightMargin") {
            shape.horizontalFrom = Shape::HorizontalFrom::Page;
            originWidth = page.marginRight;
            shiftH = page.pageWidth - page.marginRight;
        }
        std::int32_t originHeight = page.pageHeight - page.marginTop - page.marginBottom;
        std::int32_t shiftV = 0;
        shape.verticalFrom = Shape::VerticalFrom::Paragraph;
        if (v.from == "page") {
            shape.verticalFrom = Shape::VerticalFrom::Page;
            originHeight = page.pageHeight;
        } else if (v.from == "margin") {
            shape.verticalFrom = Shape::VerticalFrom::Margin;
        } else if (v.from == "topMargin") {
            shape.verticalFrom = Shape::VerticalFrom::Page;
            originHeight = page.marginTop;
        } else if (v.from == "bottomMargin") {
            shape.verticalFrom = Shape::VerticalFrom::Page;
            originHeight = page.marginBottom;
            shiftV = page.pageHeight - page.marginBottom;
        } else {
            originHeight = height; // a paragraph's or a line's top: aligned shapes stand at it
        }
        shape.left = shiftH + aligned(h, originWidth, width);
        shape.top = shiftV + aligned(v, std::max(originHeight, height), height);
        shape.right = shape.left + width;
        shape.bottom = shape.top + height;
    }

    static Placement placement(const Node* position, std::string_view otherwise)
    {
        Placement result;
        const std::string* from = position ? position->attribute("", "relativeFrom") : nullptr;
        result.from = from ? *from : std::string(otherwise);
        if (const Node* align = position ? position->child(kWordDrawingNs, "align") : nullptr)
            result.align = align->allText();
        if (const Node* offset = position ? position->child(kWordDrawingNs, "posOffset") : nullptr) {
            const std::string text = offset->allText();
            result.offset = emuToTwips(integer(&text).value_or(0));
        }
        return result;
    }

    std::optional<std::size_t> floatingShape(const Node& anchor)
    {
        const auto [width, height] = extent(anchor);
        Shape shape;
        if (const Node* simple = anchor.child(kWordDrawingNs, "simplePos");
            simple && plainAttribute(anchor, "simplePos").value_or(0) != 0) {
            Placement h{"page", "", emuToTwips(plainAttribute(*simple, "x").value_or(0))};
            Placement v{"page", "", emuToTwips(plainAttribute(*simple, "y").value_or(0))};
            place(shape, h, v, width, height);
        } else {
            place(shape, placement(anchor.child(kWordDrawingNs, "positionH"), "column"),
                  placement(anchor.child(kWordDrawingNs, "positionV"), "paragraph"), width, height);
        }

        shape.wrap = Shape::Wrap::None;
        for (const Node& e : anchor.children) {
            if (e.ns != kWordDrawingNs)
                continue;
            if (e.local == "wrapSquare")
                shape.wrap = Shape::Wrap::Square;
            else if (e.local == "wrapTopAndBottom")
                shape.wrap = Shape::Wrap::TopAndBottom;
            else if (e.local == "wrapTight")
                shape.wrap = Shape::Wrap::Tight;
            else if (e.local == "wrapThrough")
                shape.wrap = Shape::Wrap::Through;
        }
        shape.behindText =
            shape.wrap == Shape::Wrap::None && plainAttribute(anchor, "behindDoc").value_or(0) != 0;

        const std::array<std::string_view, 4> distances = {"distL", "distT", "distR", "distB"};
        std::array<std::int32_t*, 4> wrapDistance = {&shape.wrapDistance.left, &shape.wrapDistance.top,
                                                     &shape.wrapDistance.right, &shape.wrapDistance.bottom};
        for (std::size_t i = 0; i < distances.size(); ++i)
            if (const auto emu = plainAttribute(anchor, distances[i]))
                *wrapDistance[i] = emuToTwips(*emu);

        if (const Node* data = graphicData(anchor)) {
            if (const Node* pic = data->child(kPictureNs, "pic")) {
                shape.picture = picture(*pic, width, height);
                readLook(pic->child(kPictureNs, "spPr"), nullptr, shape);
            }
            if (const Node* wsp = data->child(kShapeNs, "wsp")) {
                const Node* box = wsp->child(kShapeNs, "txbx");
                if (const Node* content = box ? wordChild(*box, "txbxContent") : nullptr)
                    shape.textBox = textBox(*content, width);
                readLook(wsp->child(kShapeNs, "spPr"), wsp->child(kShapeNs, "style"), shape);
                if (const Node* body = wsp->child(kShapeNs, "bodyPr")) {
                    const std::array<std::string_view, 4> insets = {"lIns", "tIns", "rIns", "bIns"};
                    std::array<std::int32_t*, 4> margins = {&shape.textMargins.left, &shape.textMargins.top,
                                                            &shape.textMargins.right,
                                                            &shape.textMargins.bottom};
                    for (std::size_t i = 0; i < insets.size(); ++i)
                        if (const auto emu = plainAttribute(*body, insets[i]))
                            *margins[i] = emuToTwips(*emu);
                }
            }
        }
        mModel.shapes.push_back(shape);
        return mModel.shapes.size() - 1;
    }

    // VML shapes, as Word wrote drawings before DrawingML and still writes them for older readers: an
    // inline picture, or a floating picture or text box placed by its CSS style.
    void readVml(const Node& container, Gathered& g, const Chp& chp)
    {
        for (const Node& vml : container.children) {
            const std::string* style = vml.ns == kVmlNs ? vml.attribute("", "style") : nullptr;
            if (!style || vml.local == "shapetype")
                continue;
            const std::int32_t width = cssLength(styleValue(*style, "width"));
            const std::int32_t height = cssLength(styleValue(*style, "height"));
            const Node* imagedata = vml.child(kVmlNs, "imagedata");
            const std::string* id = imagedata ? imagedata->attribute(xml::kRelationshipsNs, "id") : nullptr;
            if (styleValue(*style, "position") != "absolute") {
                if (const auto picture = id ? storedPicture(id, width, height, {}) : std::nullopt) {
                    g.paragraph.pictures.push_back(
                        {static_cast<std::uint32_t>(g.paragraph.text.size()), *picture});
                    add(g, std::u16string(1, mark::Picture), chp);
                }
                continue;
            }
            Shape shape;
            const auto origin = [](const std::string& vmlName, std::string_view text,
                                   std::string_view character) {
                static constexpr std::array<std::pair<std::string_view, std::string_view>, 6> kNames = {{
                    {"margin", "margin"},
                    {"page", "page"},
                    {"left-margin-area", "leftMargin"},
                    {"right-margin-area", "rightMargin"},
                    {"top-margin-area", "topMargin"},
                    {"bottom-margin-area", "bottomMargin"},
                }};
                for (const auto& [from, to] : kNames)
                    if (vmlName == from)
                        return std::string(to);
                return std::string(vmlName == "char" || vmlName == "line" ? character : text);
            };
            const auto alignment = [](const std::string& value) {
                return value == "absolute" ? std::string() : value;
            };
            place(shape,
                  {origin(styleValue(*style, "mso-position-horizontal-relative"), "column", "character"),
                   alignment(styleValue(*style, "mso-position-horizontal")),
                   cssLength(styleValue(*style, "margin-left"))},
                  {origin(styleValue(*style, "mso-position-vertical-relative"), "paragraph", "line"),
                   alignment(styleValue(*style, "mso-position-vertical")),
                   cssLength(styleValue(*style, "margin-top"))},
                  width, height);
            shape.wrap = Shape::Wrap::None;
            if (const Node* wrap = vml.child(kWordVmlNs, "wrap")) {
                const std::string* type = wrap->attribute("", "type");
                shape.wrap = !type                     ? Shape::Wrap::None
                             : *type == "square"       ? Shape::Wrap::Square
                             : *type == "topAndBottom" ? Shape::Wrap::TopAndBottom
                             : *type == "tight"        ? Shape::Wrap::Tight
                             : *type == "through"      ? Shape::Wrap::Through
                                                       : Shape::Wrap::None;
            }
            shape.behindText =
                shape.wrap == Shape::Wrap::None && styleValue(*style, "z-index").starts_with('-');
            if (id)
                shape.picture = storedPicture(id, width, height, {});
            const Node* box = vml.child(kVmlNs, "textbox");
            if (const Node* content = box ? wordChild(*box, "txbxContent") : nullptr)
                shape.textBox = textBox(*content, width);
            if (const std::string* inset = box ? box->attribute("", "inset") : nullptr) {
                std::array<std::int32_t*, 4> margins = {&shape.textMargins.left, &shape.textMargins.top,
                                                        &shape.textMargins.right, &shape.textMargins.bottom};
                std::size_t at = 0;
                for (std::int32_t* margin : margins) {
                    const std::size_t comma = std::min(inset->find(',', at), inset->size());
                    if (comma > at)
                        *margin = cssLength(inset->substr(at, comma - at));
                    at = std::min(comma + 1, inset->size());
                }
            }
            // Word's VML defaults: a text box filled white with a black outline, a picture neither.
            const auto flag = [&](std::string_view name, bool otherwise) {
                const std::string* v = vml.attribute("", name);
                return v ? !(*v == "f" || *v == "false") : otherwise;
            };
            const bool textBoxed = shape.textBox.has_value();
            if (flag("stroked", textBoxed)) {
                shape.outline.style = Border::Style::Single;
                const std::string* weight = vml.attribute("", "strokeweight");
                shape.outline.widthPt =
                    weight ? cssLength(*weight) / 20.0 : kDefaultLineWidth / kEmusPerPoint;
                shape.outline.color = vmlColor(vml.attribute("", "strokecolor"), kBlack);
            }
            if (flag("filled", textBoxed))
                shape.fill = vmlColor(vml.attribute("", "fillcolor"), kWhite);
            mModel.shapes.push_back(shape);
            g.paragraph.shapes.push_back(
                {static_cast<std::uint32_t>(g.paragraph.text.size()), mModel.shapes.size() - 1});
            add(g, std::u16string(1, mark::ShapeAnchor), chp);
        }
    }

    // A shape's outline and fill from its own properties, else from its style's references to the
    // theme's, which Word draws as a thin black line and a white fill.
    static void readLook(const Node* spPr, const Node* style, Shape& shape)
    {
        const Node* line = spPr ? spPr->child(kDrawingNs, "ln") : nullptr;
        const auto referenced = [&](std::string_view reference) {
            const Node* ref = style ? style->child(kDrawingNs, reference) : nullptr;
            return ref && plainAttribute(*ref, "idx").value_or(0) != 0;
        };
        if (line && !line->child(kDrawingNs, "noFill")) {
            shape.outline.style = Border::Style::Single;
            shape.outline.widthPt =
                double(plainAttribute(*line, "w").value_or(kDefaultLineWidth)) / kEmusPerPoint;
            shape.outline.color = drawingColor(line->child(kDrawingNs, "solidFill"), kBlack);
        } else if (!line && referenced("lnRef")) {
            shape.outline.style = Border::Style::Single;
            shape.outline.widthPt = kDefaultLineWidth / kEmusPerPoint;
            shape.outline.color = kBlack;
        }
        if (const Node* fill = spPr ? spPr->child(kDrawingNs, "solidFill") : nullptr)
            shape.fill = drawingColor(fill, kWhite);
        else if (!(spPr && spPr->child(kDrawingNs, "noFill")) && referenced("fillRef"))
            shape.fill = kWhite;
    }

    // A text box's story, read where its shape is anchored.
    std::optional<std::size_t> textBox(const Node& content, std::int32_t width)
    {
        if (mStoryDepth >= kDeepestStory)
            return std::nullopt;
        ++mStoryDepth;
        const bool inBody = std::exchange(mInBody, false);
        auto tableStyles = std::exchange(mTableStyles, {});
        std::vector<Block> blocks;
        readBlocks(content, blocks, 0, width);
        mInBody = inBody;
        mTableStyles = std::move(tableStyles);
        --mStoryDepth;
        mModel.textBoxes.push_back(std::move(blocks));
        return mModel.textBoxes.size() - 1;
    }

    // ---- tables ----

    void readTable(const Node& tbl, std::vector<Block>& out, int tableDepth, std::int32_t width)
    {
        TableLook look;
        const Node* tblPr = wordChild(tbl, "tblPr");
        const Node* styleRef = tblPr ? wordChild(*tblPr, "tblStyle") : nullptr;
        const std::vector<const Node*> styles = mStyles.tableChain(styleRef ? value(*styleRef) : nullptr);
        for (const Node* style : styles)
            if (const Node* styleTblPr = wordChild(*style, "tblPr"))
                applyTblPr(look, *styleTblPr);
        if (tblPr)
            applyTblPr(look, *tblPr);

        std::vector<std::int32_t> grid{0}; // the grid's column edges from the table's left edge
        if (const Node* tblGrid = wordChild(tbl, "tblGrid"))
            for (const Node& column : tblGrid->children)
                if (column.isWord("gridCol"))
                    grid.push_back(bounded(std::int64_t{grid.back()} +
                                           std::max(twipsAttribute(column, "w").value_or(0), 0)));

        std::vector<const Node*> rowNodes;
        collectRows(tbl, rowNodes);
        const auto isHeader = [](const Node* tr) {
            const Node* trPr = wordChild(*tr, "trPr");
            const Node* header = trPr ? wordChild(*trPr, "tblHeader") : nullptr;
            return header && onOff(*header);
        };
        while (look.headerRows < rowNodes.size() && isHeader(rowNodes[0]) &&
               isHeader(rowNodes[look.headerRows]))
            ++look.headerRows;
        std::vector<PendingRow> rows;
        for (std::size_t r = 0; r < rowNodes.size(); ++r)
            if (auto row = readRow(*rowNodes[r], look, styles, {r, rowNodes.size()}, grid, tableDepth))
                rows.push_back(std::move(*row));
        if (rows.empty())
            return;

        // The cells' borders, the table's where a cell has none of its own, and the rows placed as
        // the table is aligned.
        std::int32_t tableWidth = 0;
        for (const PendingRow& pending : rows)
            tableWidth = std::max(tableWidth, pending.row.cells.back().right);
        std::int32_t shift = look.indent;
        if (look.alignment == Paragraph::Alignment::Center)
            shift = (width - tableWidth) / 2;
        else if (look.alignment == Paragraph::Alignment::Right)
            shift = width - tableWidth;
        doc::Table table;
        for (std::size_t r = 0; r < rows.size(); ++r) {
            auto& cells = rows[r].row.cells;
            for (std::size_t k = 0; k < cells.size(); ++k) {
                TableCell& cell = cells[k];
                cell.left += shift;
                cell.right += shift;
                const auto& own = rows[r].borders[k];
                const auto& b = look.borders;
                cell.borders.top = own[0].value_or(r == 0 ? b[TableLook::Top] : b[TableLook::InsideH]);
                cell.borders.left = own[1].value_or(k == 0 ? b[TableLook::Left] : b[TableLook::InsideV]);
                cell.borders.bottom =
                    own[2].value_or(r + 1 == rows.size() ? b[TableLook::Bottom] : b[TableLook::InsideH]);
                cell.borders.right =
                    own[3].value_or(k + 1 == cells.size() ? b[TableLook::Right] : b[TableLook::InsideV]);
            }
            table.rows.push_back(std::move(rows[r].row));
        }
        mModel.tables.push_back(std::move(table));
        out.push_back({Block::Kind::Table, mModel.tables.size() - 1});
    }

    static void collectRows(const Node& container, std::vector<const Node*>& rows)
    {
        for (const Node& e : container.children) {
            if (e.isWord("tr"))
                rows.push_back(&e);
            else if (e.isWord("sdt") || e.isWord("sdtContent") || e.isWord("customXml"))
                collectRows(e, rows);
        }
    }

    static void collectCells(const Node& container, std::vector<const Node*>& cells)
    {
        for (const Node& e : container.children) {
            if (e.isWord("tc"))
                cells.push_back(&e);
            else if (e.isWord("sdt") || e.isWord("sdtContent") || e.isWord("customXml"))
                collectCells(e, cells);
        }
    }

    // A row with the borders its cells set themselves: top, left, bottom, right.
    struct PendingRow {
        doc::TableRow row;
        std::vector<std::array<std::optional<Border>, 4>> borders;
    };

    // place: the row's index and the table's count of rows.
    std::optional<PendingRow> readRow(const Node& tr, const TableLook& look,
                                      const std::vector<const Node*>& styles,
                                      std::pair<std::size_t, std::size_t> place,
                                      std::vector<std::int32_t>& grid, int tableDepth)
    {
        PendingRow pending;
        doc::TableRow& row = pending.row;
        std::size_t column = 0;
        if (const Node* trPr = wordChild(tr, "trPr")) {
            for (const Node& e : trPr->children) {
                if (e.isWord("gridBefore")) {
                    column = static_cast<std::size_t>(
                        std::clamp<std::int64_t>(integer(value(e)).value_or(0), 0, 63));
                } else if (e.isWord("trHeight")) {
                    const std::int32_t height = std::abs(twipsAttribute(e, "val").value_or(0));
                    const std::string* rule = wordAttribute(e, "hRule");
                    row.height = !rule || *rule == "atLeast" ? height : *rule == "exact" ? -height : 0;
                } else if (e.isWord("tblHeader")) {
                    row.header = onOff(e);
                } else if (e.isWord("cantSplit")) {
                    row.cantSplit = onOff(e);
                }
            }
        }
        std::vector<const Node*> cells;
        collectCells(tr, cells);
        for (std::size_t k = 0; k < cells.size(); ++k) {
            const Node* tc = cells[k];
            const Node* tcPr = wordChild(*tc, "tcPr");
            std::size_t span = 1;
            if (const Node* gridSpan = tcPr ? wordChild(*tcPr, "gridSpan") : nullptr)
                span = static_cast<std::size_t>(
                    std::clamp<std::int64_t>(integer(value(*gridSpan)).value_or(1), 1, 63));
            // A grid too short for the row takes the cells' own widths.
            const Node* tcW = tcPr ? wordChild(*tcPr, "tcW") : nullptr;
            const std::string* widthType = tcW ? wordAttribute(*tcW, "type") : nullptr;
            const std::int32_t ownWidth = tcW && (!widthType || *widthType == "dxa")
                                              ? std::max(twipsAttribute(*tcW, "w").value_or(0), 0)
                                              : 0;
            while (grid.size() < column + span + 1 && grid.size() < 64)
                grid.push_back(bounded(std::int64_t{grid.back()} + ownWidth / std::int32_t(span)));
            if (column + span >= grid.size())
                break;

            TableCell cell;
            cell.left = grid[column];
            cell.right = grid[column + span];
            column += span;
            std::array<std::int32_t, 4> margins = look.margins;
            std::array<std::optional<Border>, 4> own{};
            bool mergedAcross = false;
            // outer: whether each side lies on the edge of what the properties format, else their inside
            // borders reach it.
            const auto applyTcPr = [&](const Node& properties, const std::array<bool, 4>& outer) {
                for (const Node& e : properties.children) {
                    if (e.isWord("vMerge")) {
                        const std::string* v = value(e);
                        cell.verticalMerge = v && *v == "restart" ? TableCell::VerticalMerge::Restart
                                                                  : TableCell::VerticalMerge::Continue;
                    } else if (e.isWord("hMerge")) {
                        const std::string* v = value(e);
                        mergedAcross = !v || *v != "restart";
                    } else if (e.isWord("vAlign")) {
                        const std::string* v = value(e);
                        cell.verticalAlignment = !v ? cell.verticalAlignment
                                                 : *v == "center" || *v == "both"
                                                     ? TableCell::VerticalAlignment::Center
                                                 : *v == "bottom" ? TableCell::VerticalAlignment::Bottom
                                                                  : TableCell::VerticalAlignment::Top;
                    } else if (e.isWord("shd")) {
                        cell.shading = shading(e);
                    } else if (e.isWord("tcMar")) {
                        applyMargins(margins, e);
                    } else if (e.isWord("tcBorders")) {
                        const std::array<const Node*, 4> sides = {
                            outer[0] ? wordChild(e, "top") : wordChild(e, "insideH"),
                            outer[1] ? side(e, "left", "start") : wordChild(e, "insideV"),
                            outer[2] ? wordChild(e, "bottom") : wordChild(e, "insideH"),
                            outer[3] ? side(e, "right", "end") : wordChild(e, "insideV")};
                        for (std::size_t i = 0; i < sides.size(); ++i)
                            if (sides[i])
                                own[i] = border(*sides[i]);
                    }
                }
            };
            // The style's formats that reach the cell come below its own properties.
            std::vector<const Node*> formats;
            for (const Conditional& conditional :
                 conditionals(look, place.first, place.second, k, cells.size()))
                for (const Node* style : styles)
                    for (const Node* format : conditionalFormats(*style, conditional.type)) {
                        formats.push_back(format);
                        if (const Node* styleTcPr = wordChild(*format, "tcPr"))
                            applyTcPr(*styleTcPr, conditional.outer);
                    }
            if (tcPr)
                applyTcPr(*tcPr, {true, true, true, true});
            if (mergedAcross && !row.cells.empty()) {
                row.cells.back().right = cell.right;
                continue;
            }
            cell.marginTop = margins[0];
            cell.marginLeft = margins[1];
            cell.marginBottom = margins[2];
            cell.marginRight = margins[3];
            const std::int32_t inner = cell.right - cell.left - cell.marginLeft - cell.marginRight;
            mTableStyles.push_back(&formats);
            readBlocks(*tc, cell.blocks, tableDepth, std::max(inner, 0));
            mTableStyles.pop_back();
            row.cells.push_back(std::move(cell));
            pending.borders.push_back(own);
        }
        if (row.cells.empty())
            return std::nullopt;
        return pending;
    }

    const DocxState& d;
    doc::ReadModel mModel;
    Styles mStyles;
    Lists mLists;
    std::int32_t mDefaultTab = doc::SectionLayout{}.defaultTabWidth;
    const XmlPart* mPart = nullptr; // the part being read, whose relationships name its pictures
    bool mInBody = false;
    // The table style formats (a w:style or its w:tblStylePr) that reach the cells being read, innermost
    // last.
    std::vector<const std::vector<const Node*>*> mTableStyles;
    bool mSpacingCollapses = true;
    std::vector<Spacing> mSpacing; // by paragraph
    std::size_t mSection = 0;      // the body's section being read
    int mStoryDepth = 0;
    std::size_t mBudget = 0;
    std::map<std::tuple<std::string, std::int32_t, std::int32_t, double, double, double, double>, std::size_t>
        mPictures;
};

} // namespace

doc::ReadModel DocxDocument::readModel() const
{
    return ModelReader(*d).read();
}

} // namespace docx
