#include "doc/drawings.h"

#include "doc/officeart.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <tuple>

namespace doc::word
{

namespace
{

// posrelh / posrelv as Word numbers them.
constexpr std::uint32_t kRelativeToCharacter = 3;
constexpr std::uint32_t kRelativeToLine = 3;

// PICF ([MS-DOC] 2.9.192): lcb, cbHeader and MFPF's mm, then from PICMID on dxaGoal, dyaGoal, mx, my
// and the cropping, in the fields PICMID reserves after the scale, as the Word 97 format defined
// them (dxaCropLeft, dyaCropTop, dxaCropRight, dyaCropBottom).
namespace picf
{
constexpr std::size_t dxaGoal = 28;
constexpr std::size_t size = 0x44;
constexpr std::int16_t kMmShape = 0x64;
constexpr std::int16_t kMmShapeFile = 0x66; // a file name follows the header
constexpr std::int32_t kScaleUnit = 1000;   // mx, my in thousandths
} // namespace picf

constexpr double kFixedPointOne = 65536; // 16.16 fixed point

// FSPA ([MS-DOC] 2.9.253 Spa): spid, the rectangle, then flags fHdr:1, bx:2, by:2, wr:4, wrk:4,
// fRcaSimple:1, fBelowText:1, fAnchorLock:1.
namespace spa
{
constexpr std::size_t rca = 4;
constexpr unsigned bxShift = 1;
constexpr unsigned byShift = 3;
constexpr unsigned wrShift = 5;
constexpr std::uint16_t twoBits = 0x3;
constexpr std::uint16_t fourBits = 0xF;
constexpr std::uint16_t fBelowText = 0x4000;
} // namespace spa

// FTXBXS ([MS-DOC] 2.9.106): ftxbxsunion (8 bytes), fReusable, itxbxsDest, lid, txidUndo.
namespace ftxbxs
{
constexpr std::size_t fReusable = 8;
constexpr std::size_t lid = 14;
} // namespace ftxbxs

// Origins numbered as FSPA's bx and by, and Word's posrelh and posrelv, which take precedence.
Shape::HorizontalFrom horizontalFrom(std::uint32_t value)
{
    return value == 0   ? Shape::HorizontalFrom::Margin
           : value == 1 ? Shape::HorizontalFrom::Page
                        : Shape::HorizontalFrom::Column;
}
Shape::VerticalFrom verticalFrom(std::uint32_t value)
{
    return value == 0   ? Shape::VerticalFrom::Margin
           : value == 1 ? Shape::VerticalFrom::Page
                        : Shape::VerticalFrom::Paragraph;
}

// FSPA wr: 0 wraps round the shape as 2 does, 1 keeps text above and below, 3 lets it run over or
// under, 4 and 5 wrap tightly.
Shape::Wrap wrapFromWr(unsigned wr)
{
    switch (wr) {
    case 1:
        return Shape::Wrap::TopAndBottom;
    case 3:
        return Shape::Wrap::None;
    case 4:
        return Shape::Wrap::Tight;
    case 5:
        return Shape::Wrap::Through;
    default:
        return Shape::Wrap::Square;
    }
}

constexpr std::int32_t kEmusPerTwip = 635;
constexpr double kEmusPerPoint = 12700;
// A shape's outline and fill as Word draws them where its properties leave them out.
constexpr std::int32_t kDefaultLineWidth = 9525; // EMUs, three quarters of a point
constexpr std::uint32_t kWhite = 0xFFFFFF;
constexpr std::uint32_t kBlack = 0x000000;

// An OfficeArtCOLORREF ([MS-ODRAW] 2.2.2) as 0xRRGGBB; one taken from a palette or a scheme, fallback.
std::uint32_t colorOf(std::optional<std::uint32_t> colorRef, std::uint32_t fallback)
{
    if (!colorRef || (*colorRef >> 24) != 0)
        return fallback;
    const std::uint32_t c = *colorRef;
    return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}

Sides twipSides(const std::array<std::optional<std::int32_t>, 4>& emus, const Sides& fallback)
{
    const auto side = [](std::optional<std::int32_t> emu, std::int32_t fallbackTwips) {
        return emu ? *emu / kEmusPerTwip : fallbackTwips;
    };
    return {side(emus[0], fallback.left), side(emus[1], fallback.top), side(emus[2], fallback.right),
            side(emus[3], fallback.bottom)};
}

// A shape's outline and fill, text margins and wrap distances: unless its properties say otherwise, Word
// draws a text box's outline and fill, a picture's neither.
void readLook(const officeart::ShapeProperties& properties, Shape& shape)
{
    shape.wrapDistance = twipSides(properties.wrapDistances, shape.wrapDistance);
    shape.textMargins = twipSides(properties.textMargins, shape.textMargins);
    const bool textBox = shape.textBox.has_value();
    if (properties.line.value_or(textBox)) {
        shape.outline.style = Border::Style::Single;
        shape.outline.widthPt = properties.lineWidth.value_or(kDefaultLineWidth) / kEmusPerPoint;
        shape.outline.color = colorOf(properties.lineColor, kBlack);
    }
    if (properties.filled.value_or(textBox))
        shape.fill = colorOf(properties.fillColor, kWhite);
}

std::int32_t scaled(std::int32_t length, std::uint16_t scale)
{
    return static_cast<std::int32_t>(std::int64_t{length} * scale / picf::kScaleUnit);
}

// A crop made sound: a side cropped outward, or sides that would meet, leave the picture whole that way.
Crop soundCrop(double left, double top, double right, double bottom)
{
    const auto inward = [](double share) { return std::isfinite(share) ? std::clamp(share, 0.0, 1.0) : 0.0; };
    Crop crop{inward(left), inward(top), inward(right), inward(bottom)};
    if (crop.left + crop.right >= 1)
        crop.left = crop.right = 0;
    if (crop.top + crop.bottom >= 1)
        crop.top = crop.bottom = 0;
    return crop;
}

bool cropsPicture(const officeart::ShapeProperties& shape)
{
    return shape.cropFromLeft || shape.cropFromTop || shape.cropFromRight || shape.cropFromBottom;
}

Crop shapeCrop(const officeart::ShapeProperties& shape)
{
    const auto share = [](std::optional<std::int32_t> fixed) { return fixed.value_or(0) / kFixedPointOne; };
    return soundCrop(share(shape.cropFromLeft), share(shape.cropFromTop), share(shape.cropFromRight),
                     share(shape.cropFromBottom));
}

const CpTable* findTable(const WordState& d, std::size_t fibIndex)
{
    const auto it = std::find_if(d.cpTables.begin(), d.cpTables.end(),
                                 [fibIndex](const CpTable& t) { return t.fibIndex == fibIndex; });
    return it == d.cpTables.end() ? nullptr : &*it;
}

// The anchors of one PlcSpa, by whole-text CP, and the text box stories of the same part.
struct AnchorTable {
    const CpTable* spa = nullptr;
    std::uint32_t origin = 0; // whole-text CPs of the story its positions count in
    std::uint32_t end = 0;
    std::size_t txbxStory = 0;
    const CpTable* txbx = nullptr;
};

// Where a shape's anchor is: its PlcSpa and entry.
struct Anchor {
    const AnchorTable* table = nullptr;
    std::size_t entry = 0;
};

} // namespace

struct Drawings::Impl {
    Impl(const WordState& state, ReadModel& readModel, StoryReader reader)
        : d(state), model(readModel), readStory(std::move(reader))
    {
        if (d.file.hasStream("Data"))
            data = d.file.stream("Data");
        const auto [fc, lcb] = d.fcLcb(fclcb::DggInfo);
        if (lcb != 0 && rangeFits(d.table.size(), fc, lcb))
            content = officeart::readContent(std::span<const std::uint8_t>(d.table).subspan(fc, lcb));
        for (std::size_t i = 0; i < content.shapes.size(); ++i)
            shapeBySpid.emplace(content.shapes[i].spid, i);
        main = {findTable(d, fclcb::PlcSpaMom), 0, d.ccpText(), lw::ccpTxbx,
                findTable(d, fclcb::PlcftxbxTxt)};
        const std::uint32_t headerStart = d.storyStart(lw::ccpHdd);
        headers = {findTable(d, fclcb::PlcSpaHdr), headerStart, headerStart + d.rgLw[lw::ccpHdd],
                   lw::ccpHdrTxbx, findTable(d, fclcb::PlcfHdrtxbxTxt)};
        // Pictures may be shared by many objects: what is copied stays within the size of the file.
        budget = d.wordDocument.size() + d.table.size() + data.size() + kBudgetFloor;
    }

    std::optional<std::size_t> inlinePicture(std::uint32_t cp, const officeart::ShapeProperties* stand);
    std::optional<Anchor> anchorAt(std::uint32_t cp) const;
    const officeart::ShapeProperties* shapeOf(const Anchor& anchor) const;
    std::optional<std::size_t> floatingShape(const Anchor& anchor);
    std::size_t storePicture(std::uint32_t pib, std::int32_t width, std::int32_t height, const Crop& crop);
    std::optional<std::size_t> textBox(const AnchorTable& table, const officeart::ShapeProperties& shape);
    // The picture read from a store entry, shown at width x height: one missing, or past the budget, is kept
    // as damaged.
    std::size_t addPicture(std::optional<Picture> picture, std::int32_t width, std::int32_t height,
                           const Crop& crop);

    static constexpr std::size_t kBudgetFloor = std::size_t{1} << 20;

    const WordState& d;
    ReadModel& model;
    StoryReader readStory;
    std::span<const std::uint8_t> data;
    officeart::Content content;
    std::map<std::uint32_t, std::size_t> shapeBySpid;
    AnchorTable main;
    AnchorTable headers;
    std::size_t budget = 0;
    // Each object read once however many characters name it.
    std::map<std::uint32_t, std::size_t> inlineByLocation;
    std::map<std::tuple<std::uint32_t, std::int32_t, std::int32_t, double, double, double, double>,
             std::size_t>
        storeBySize;
    std::map<std::pair<std::size_t, std::size_t>, std::optional<std::size_t>> textBoxByStory;
};

std::size_t Drawings::Impl::addPicture(std::optional<Picture> picture, std::int32_t width,
                                       std::int32_t height, const Crop& crop)
{
    if (!picture || picture->bytes.size() > budget)
        picture = Picture{};
    budget -= picture->bytes.size();
    const bool sized = width > 0 && height > 0;
    picture->width = sized ? width : kUnsizedPicture;
    picture->height = sized ? height : kUnsizedPicture;
    picture->crop = crop;
    model.pictures.push_back(std::move(*picture));
    return model.pictures.size() - 1;
}

// An inline picture: its character's sprmCPicLocation names a PICFAndOfficeArtData in the Data stream
// ([MS-DOC] 2.9.192): the PICF, a name for MM_SHAPEFILE, then the shape and its picture store entries.
// A PICF without a picture of its own may stand for the picture of the shape stand, shown at its size and
// cropped as that shape is.
std::optional<std::size_t> Drawings::Impl::inlinePicture(std::uint32_t cp,
                                                         const officeart::ShapeProperties* stand)
{
    const CharProps& props = d.props[cp];
    if (props.chpx >= d.chpxs.size())
        return std::nullopt;
    bool special = false;
    bool formData = false;
    std::optional<std::uint32_t> location;
    for (const Prl& prl : readGrpprl(d.chpxs[props.chpx])) {
        if (prl.sprm == sprm::CFSpec && !prl.operand.empty())
            special = prl.operand[0] != 0;
        else if (prl.sprm == sprm::CFData && !prl.operand.empty())
            formData = prl.operand[0] != 0;
        else if (prl.sprm == sprm::CPicLocation && prl.operand.size() >= 4)
            location = ByteCursor(prl.operand).u32();
    }
    if (!special || formData)
        return std::nullopt;
    if (!location)
        return addPicture(std::nullopt, 0, 0, {});
    if (const auto known = inlineByLocation.find(*location); known != inlineByLocation.end())
        return known->second;

    ByteCursor c(data, *location);
    const std::uint32_t lcb = c.u32();
    const std::uint16_t cbHeader = c.u16();
    const std::int16_t mm = c.i16();
    c.seek(*location + picf::dxaGoal);
    const std::int32_t dxaGoal = c.i16();
    const std::int32_t dyaGoal = c.i16();
    const std::uint16_t mx = c.u16();
    const std::uint16_t my = c.u16();
    const std::int32_t cropLeft = c.i16();
    const std::int32_t cropTop = c.i16();
    const std::int32_t cropRight = c.i16();
    const std::int32_t cropBottom = c.i16();
    const bool sized = c.ok();
    const std::int32_t width = sized ? scaled(dxaGoal - cropLeft - cropRight, mx) : 0;
    const std::int32_t height = sized ? scaled(dyaGoal - cropTop - cropBottom, my) : 0;
    const auto share = [](std::int32_t crop, std::int32_t goal) {
        return goal > 0 ? double(crop) / goal : 0.0;
    };
    Crop crop = soundCrop(share(cropLeft, dxaGoal), share(cropTop, dyaGoal), share(cropRight, dxaGoal),
                          share(cropBottom, dyaGoal));
    std::optional<Picture> picture;
    if (sized && cbHeader >= picf::size && lcb >= cbHeader && rangeFits(data.size(), *location, lcb) &&
        (mm == picf::kMmShape || mm == picf::kMmShapeFile)) {
        const auto object = data.subspan(*location, lcb);
        std::size_t at = cbHeader;
        if (mm == picf::kMmShapeFile && at < object.size())
            at += 1 + object[at];
        const std::vector<officeart::Record> found =
            at <= object.size() ? officeart::records(object.subspan(at)) : std::vector<officeart::Record>{};
        if (!found.empty() && found.front().recType == officeart::rt::SpContainer) {
            const officeart::ShapeProperties shape = officeart::readShape(found.front());
            if (cropsPicture(shape))
                crop = shapeCrop(shape);
            if (found.size() == 1 && stand)
                return inlineByLocation[*location] = storePicture(
                           *stand->pib, width, height, cropsPicture(*stand) ? shapeCrop(*stand) : crop);
            const std::size_t entry =
                shape.pib && *shape.pib >= 1 && *shape.pib < found.size() ? *shape.pib : 1;
            if (entry < found.size())
                picture = officeart::readStoreEntry(found[entry], d.wordDocument);
        }
    }
    return inlineByLocation[*location] = addPicture(std::move(picture), width, height, crop);
}

std::size_t Drawings::Impl::storePicture(std::uint32_t pib, std::int32_t width, std::int32_t height,
                                         const Crop& crop)
{
    const auto key = std::make_tuple(pib, width, height, crop.left, crop.top, crop.right, crop.bottom);
    if (const auto known = storeBySize.find(key); known != storeBySize.end())
        return known->second;
    std::optional<Picture> picture;
    if (pib >= 1 && pib <= content.store.size())
        picture = officeart::readStoreEntry(content.store[pib - 1], d.wordDocument);
    return storeBySize[key] = addPicture(std::move(picture), width, height, crop);
}

// A text box's story: the shape's lTxid names its FTXBXS by index, the first shape of a chain shows it
// ([MS-DOC] 2.9.170); without one, the FTXBXS whose lid is the shape's.
std::optional<std::size_t> Drawings::Impl::textBox(const AnchorTable& table,
                                                   const officeart::ShapeProperties& shape)
{
    if (!table.txbx || table.txbx->count() == 0)
        return std::nullopt;
    const CpTable& txbx = *table.txbx;
    const auto entryBytes = [&txbx](std::size_t i) {
        return std::span<const std::uint8_t>(txbx.data).subspan(i * txbx.cbData, txbx.cbData);
    };
    std::optional<std::size_t> index;
    if (shape.lTxid) {
        if ((*shape.lTxid & 0xFFFF) != 0)
            return std::nullopt;
        const std::size_t story = *shape.lTxid >> 16;
        if (story >= 1 && story <= txbx.count())
            index = story - 1;
    } else {
        for (std::size_t i = 0; i < txbx.count() && !index; ++i)
            if (ByteCursor(entryBytes(i), ftxbxs::lid).u32() == shape.spid)
                index = i;
    }
    if (!index)
        return std::nullopt;
    const auto key = std::make_pair(table.txbxStory, *index);
    if (const auto known = textBoxByStory.find(key); known != textBoxByStory.end())
        return known->second;
    std::optional<std::size_t>& result = textBoxByStory[key];
    if (ByteCursor(entryBytes(*index), ftxbxs::fReusable).u16() != 0)
        return result;
    const std::uint32_t storyStart = d.storyStart(table.txbxStory);
    const std::uint32_t from = txbx.cps[*index];
    const std::uint32_t to = txbx.cps[*index + 1];
    if (from >= to || to > d.rgLw[table.txbxStory] || std::uint64_t{storyStart} + to > d.text.size())
        return result;
    // The range ends with a mark of its own after the box's last paragraph, which Word does not show.
    std::vector<Block> blocks = readStory(storyStart + from, storyStart + to - 1);
    model.textBoxes.push_back(std::move(blocks));
    result = model.textBoxes.size() - 1;
    return result;
}

std::optional<Anchor> Drawings::Impl::anchorAt(std::uint32_t cp) const
{
    for (const AnchorTable* table : {&main, &headers}) {
        if (!table->spa || cp < table->origin || cp >= table->end)
            continue;
        const auto& cps = table->spa->cps;
        const std::uint32_t at = cp - table->origin;
        const auto it = std::lower_bound(cps.begin(), cps.end() - 1, at);
        if (it != cps.end() - 1 && *it == at)
            return Anchor{table, static_cast<std::size_t>(it - cps.begin())};
    }
    return std::nullopt;
}

const officeart::ShapeProperties* Drawings::Impl::shapeOf(const Anchor& anchor) const
{
    const CpTable& spa = *anchor.table->spa;
    const std::uint32_t spid =
        ByteCursor(std::span<const std::uint8_t>(spa.data).subspan(anchor.entry * spa.cbData, spa.cbData))
            .u32();
    const auto found = shapeBySpid.find(spid);
    return found == shapeBySpid.end() ? nullptr : &content.shapes[found->second];
}

std::optional<std::size_t> Drawings::Impl::floatingShape(const Anchor& anchor)
{
    const officeart::ShapeProperties* properties = shapeOf(anchor);
    const CpTable& spa = *anchor.table->spa;
    ByteCursor c(std::span<const std::uint8_t>(spa.data).subspan(anchor.entry * spa.cbData, spa.cbData),
                 spa::rca);
    Shape shape;
    shape.left = c.i32();
    shape.top = c.i32();
    shape.right = c.i32();
    shape.bottom = c.i32();
    const std::uint16_t flags = c.u16();
    if (!properties || !c.ok() || shape.right < shape.left || shape.bottom < shape.top)
        return std::nullopt;
    shape.horizontalFrom =
        horizontalFrom(properties->posrelh.value_or((flags >> spa::bxShift) & spa::twoBits));
    shape.verticalFrom = verticalFrom(properties->posrelv.value_or((flags >> spa::byShift) & spa::twoBits));
    shape.wrap = wrapFromWr((flags >> spa::wrShift) & spa::fourBits);
    // Only a shape text does not go round is in front of or behind it.
    shape.behindText = shape.wrap == Shape::Wrap::None &&
                       properties->behindDocument.value_or((flags & spa::fBelowText) != 0);
    const std::int64_t width = std::int64_t{shape.right} - shape.left;
    const std::int64_t height = std::int64_t{shape.bottom} - shape.top;
    if (properties->pib && width <= std::numeric_limits<std::int32_t>::max() &&
        height <= std::numeric_limits<std::int32_t>::max())
        shape.picture = storePicture(*properties->pib, static_cast<std::int32_t>(width),
                                     static_cast<std::int32_t>(height), shapeCrop(*properties));
    shape.textBox = textBox(*anchor.table, *properties);
    readLook(*properties, shape);
    model.shapes.push_back(shape);
    return model.shapes.size() - 1;
}

Drawings::Drawings(const WordState& d, ReadModel& model, StoryReader readStory)
    : mImpl(std::make_unique<Impl>(d, model, std::move(readStory)))
{
}

Drawings::~Drawings() = default;

void Drawings::attach(Paragraph& paragraph, std::uint32_t start)
{
    const std::size_t characters = mImpl->d.props.size();
    const std::size_t length =
        start < characters ? std::min<std::size_t>(paragraph.text.size(), characters - start) : 0;
    // A picture shape standing at its character over the picture character after it (how LibreOffice
    // writes a picture in the line) is that character's picture.
    const officeart::ShapeProperties* stand = nullptr;
    for (std::size_t i = 0; i < length; ++i) {
        const char16_t ch = paragraph.text[i];
        const auto cp = static_cast<std::uint32_t>(start + i);
        const auto offset = static_cast<std::uint32_t>(i);
        if (ch == mark::Picture) {
            if (const auto picture = mImpl->inlinePicture(cp, stand))
                paragraph.pictures.push_back({offset, *picture});
        }
        stand = nullptr;
        if (ch != mark::ShapeAnchor)
            continue;
        const std::optional<Anchor> anchor = mImpl->anchorAt(cp);
        if (!anchor)
            continue;
        const officeart::ShapeProperties* shape = mImpl->shapeOf(*anchor);
        if (shape && shape->pib && shape->posrelh == kRelativeToCharacter &&
            shape->posrelv == kRelativeToLine && i + 1 < length && paragraph.text[i + 1] == mark::Picture) {
            stand = shape;
            continue;
        }
        if (const auto index = mImpl->floatingShape(*anchor))
            paragraph.shapes.push_back({offset, *index});
    }
}

} // namespace doc::word
