// The read model: the stories in blocks of paragraphs and tables ([MS-DOC] 2.4.3), the sections
// with their pages (2.8.26 PlcfSed) and header stories (2.8.22 Plcfhdd), pictures and shapes.

#include "doc/drawings.h"
#include "doc/paragraphreader.h"
#include "doc/rowformat.h"
#include "doc/wordstate.h"

#include <algorithm>

namespace doc::word
{

namespace
{

// Tables nested deeper than this are read as the paragraphs of the cell holding them.
constexpr int kDeepestTable = 2;
// Text boxes read through the drawings may anchor further text boxes; a damaged file must not
// take that round for ever.
constexpr int kDeepestStory = 3;
// Plcfhdd: the notes' separator stories, then the header stories of each section.
constexpr std::size_t kSeparatorStories = 6;

// A paragraph of a story, with where it stands in the tables.
struct ParagraphMark {
    std::uint32_t start = 0;
    std::uint32_t mark = 0; // its mark, or its last character when it has none
    int depth = 0;          // 0 outside tables, 1 in a table, 2 in a table in a cell
    bool cellEnd = false;   // its mark ends a cell of the table at depth
    bool rowEnd = false;    // its mark ends a row of that table and holds the row's properties
};

// The grpprl of the paragraph marked at cp. One too long for its FKP page lives in the Data stream,
// where sprmPHugePapx points to its size and bytes (PrcData), as wide table rows have it.
std::span<const std::uint8_t> papxGrpprl(const WordState& d, std::uint32_t cp)
{
    const auto& bytes = d.papxs[d.props[cp].papx].grpprlAndIstd;
    const auto grpprl = std::span<const std::uint8_t>(bytes).subspan(std::min<std::size_t>(2, bytes.size()));
    for (const Prl& prl : readGrpprl(grpprl)) {
        if (prl.sprm != sprm::PHugePapx || !d.file.hasStream("Data"))
            continue;
        ByteCursor operand(prl.operand);
        ByteCursor data(d.file.stream("Data"), operand.u32());
        const auto huge = data.bytes(data.u16());
        if (operand.ok() && data.ok())
            return huge;
    }
    return grpprl;
}

ParagraphMark paragraphMark(const WordState& d, std::uint32_t start, std::uint32_t mark)
{
    bool inTable = false;
    bool ttp = false;
    bool innerCell = false;
    bool innerTtp = false;
    std::optional<std::int32_t> itap;
    for (const Prl& prl : readGrpprl(papxGrpprl(d, mark))) {
        ByteCursor c(prl.operand);
        switch (prl.sprm) {
        case sprm::PFInTable:
            inTable = c.u8() != 0;
            break;
        case sprm::PFTtp:
            ttp = c.u8() != 0;
            break;
        case sprm::PFInnerTableCell:
            innerCell = c.u8() != 0;
            break;
        case sprm::PFInnerTtp:
            innerTtp = c.u8() != 0;
            break;
        case sprm::PItap:
            itap = c.i32();
            break;
        default:
            break;
        }
    }
    ParagraphMark p{start, mark};
    p.depth = std::max(itap.value_or(inTable ? 1 : 0), 0);
    if (p.depth == 1) {
        p.rowEnd = ttp;
        p.cellEnd = !ttp && d.props[mark].paraEnd && d.text[mark] == mark::CellEnd;
    } else if (p.depth > 1) {
        p.rowEnd = innerTtp;
        p.cellEnd = innerCell && !innerTtp;
    }
    return p;
}

// The CPs and entries of a CP structure as the text stands now.
const CpTable* cpTable(const WordState& d, std::size_t fibIndex)
{
    const auto it = std::find_if(d.cpTables.begin(), d.cpTables.end(),
                                 [fibIndex](const CpTable& t) { return t.fibIndex == fibIndex; });
    return it == d.cpTables.end() ? nullptr : &*it;
}

std::int32_t columnWidth(const SectionLayout& page)
{
    return page.pageWidth - page.marginLeft - page.marginRight;
}

// A section's Sepx ([MS-DOC] 2.8.26 Sed, 2.9.253 Sepx) over the default section properties.
void readSepx(const WordState& d, std::span<const std::uint8_t> sed, Section& section)
{
    ByteCursor c(sed);
    c.skip(2);
    const std::uint32_t fcSepx = c.u32();
    constexpr std::uint32_t kNoSepx = 0xFFFFFFFF;
    if (!c.ok() || fcSepx == kNoSepx)
        return;
    ByteCursor sepx(d.wordDocument, fcSepx);
    const std::size_t cb = std::size_t(std::max<std::int16_t>(sepx.i16(), 0));
    const auto grpprl = sepx.bytes(cb);
    if (!sepx.ok())
        return;
    SectionLayout& page = section.page;
    bool restart = false;
    int pgnStart = 1;
    for (const Prl& prl : readGrpprl(grpprl)) {
        ByteCursor op(prl.operand);
        switch (prl.sprm) {
        case sprm::SXaPage:
            page.pageWidth = op.u16();
            break;
        case sprm::SYaPage:
            page.pageHeight = op.u16();
            break;
        case sprm::SDxaLeft:
            page.marginLeft = op.u16();
            break;
        case sprm::SDxaRight:
            page.marginRight = op.u16();
            break;
        case sprm::SDyaTop:
            page.marginTop = op.i16();
            break;
        case sprm::SDyaBottom:
            page.marginBottom = op.i16();
            break;
        case sprm::SDyaHdrTop:
            page.headerDistance = op.u16();
            break;
        case sprm::SDyaHdrBottom:
            page.footerDistance = op.u16();
            break;
        case sprm::SBkc:
            switch (op.u8()) {
            case 0:
                section.start = Section::Start::Continuous;
                break;
            case 1:
                section.start = Section::Start::NewColumn;
                break;
            case 3:
                section.start = Section::Start::EvenPage;
                break;
            case 4:
                section.start = Section::Start::OddPage;
                break;
            default:
                section.start = Section::Start::NewPage;
                break;
            }
            break;
        case sprm::SFTitlePage:
            section.titlePage = op.u8() != 0;
            break;
        case sprm::SFPgnRestart:
            restart = op.u8() != 0;
            break;
        case sprm::SPgnStart97:
            pgnStart = op.u16();
            break;
        case sprm::SPgnStart:
            pgnStart = op.i32();
            break;
        default:
            break;
        }
    }
    if (restart)
        section.firstPageNumber = pgnStart;
}

class StructureReader
{
public:
    StructureReader(const WordState& d, ReadModel& model)
        : mD(d), mModel(model), mParagraphs(d),
          mDrawings(d, model,
                    [this](std::uint32_t start, std::uint32_t end) { return readStory(start, end); })
    {
    }

    // The stories' blocks from whole-text CP start to end; tables take the width of the text
    // column of the page they are on (the first section's outside the main text).
    std::vector<Block> readStory(std::uint32_t start, std::uint32_t end)
    {
        std::vector<Block> blocks;
        end = std::min<std::uint32_t>(end, std::uint32_t(mD.text.size()));
        if (start >= end || mStoryDepth >= kDeepestStory)
            return blocks;
        ++mStoryDepth;
        std::vector<ParagraphMark> marks;
        std::uint32_t paragraphStart = start;
        for (std::uint32_t cp = start; cp < end; ++cp) {
            if (mD.props[cp].paraEnd || cp + 1 == end) {
                marks.push_back(paragraphMark(mD, paragraphStart, cp));
                paragraphStart = cp + 1;
            }
        }
        std::size_t i = 0;
        while (i < marks.size())
            readBlock(marks, i, 0, blocks);
        --mStoryDepth;
        return blocks;
    }

    // The width the main text's tables are aligned in, section by section.
    void setColumns(std::vector<std::pair<std::uint32_t, std::int32_t>> columns)
    {
        mColumns = std::move(columns);
    }

private:
    // One block at the table depth level: a paragraph, or a table nested deeper.
    void readBlock(const std::vector<ParagraphMark>& marks, std::size_t& i, int level,
                   std::vector<Block>& out)
    {
        if (marks[i].depth > level && level < kDeepestTable)
            readTable(marks, i, level + 1, out);
        else
            out.push_back(readParagraph(marks[i++]));
    }

    Block readParagraph(const ParagraphMark& mark)
    {
        Paragraph paragraph = mParagraphs.read(mark.start, mark.mark);
        mDrawings.attach(paragraph, mark.start);
        mModel.paragraphs.push_back(std::move(paragraph));
        return {Block::Kind::Paragraph, mModel.paragraphs.size() - 1};
    }

    struct PendingRow {
        TableRow row;
        RowFormat format;
        // Each cell's first and last TDefTable column.
        std::vector<std::pair<std::size_t, std::size_t>> columns;
    };

    // The rows of the table at depth level from marks[i] on. A row its mark does not describe
    // (no cells defined, more cells than defined) is read as the paragraphs it holds.
    void readTable(const std::vector<ParagraphMark>& marks, std::size_t& i, int level,
                   std::vector<Block>& out)
    {
        std::vector<PendingRow> rows;
        std::vector<std::vector<Block>> cells;
        std::vector<Block> cell;
        const std::uint32_t tableStart = marks[i].start;
        const auto flush = [&] {
            if (!rows.empty()) {
                out.push_back({Block::Kind::Table, mModel.tables.size()});
                mModel.tables.push_back(finishTable(rows, tableStart));
                rows.clear();
            }
        };
        const auto unwrap = [&] {
            flush();
            for (auto& blocks : cells)
                out.insert(out.end(), blocks.begin(), blocks.end());
            out.insert(out.end(), cell.begin(), cell.end());
            cells.clear();
            cell.clear();
        };
        while (i < marks.size() && marks[i].depth >= level) {
            const ParagraphMark& mark = marks[i];
            if (mark.depth == level && mark.rowEnd) {
                ++i;
                cells.push_back(std::move(cell));
                cell.clear();
                if (cells.back().empty())
                    cells.pop_back(); // the row mark itself holds no cell
                if (auto row = makeRow(cells, mark)) {
                    rows.push_back(std::move(*row));
                    cells.clear();
                } else {
                    unwrap();
                }
                continue;
            }
            if (mark.depth > level && level < kDeepestTable) {
                readTable(marks, i, level + 1, cell);
                continue;
            }
            cell.push_back(readParagraph(mark));
            ++i;
            if (mark.depth == level && mark.cellEnd) {
                cells.push_back(std::move(cell));
                cell.clear();
            }
        }
        unwrap();
    }

    std::optional<PendingRow> makeRow(std::vector<std::vector<Block>>& cells, const ParagraphMark& mark)
    {
        PendingRow pending;
        pending.format = readRowFormat(papxGrpprl(mD, mark.mark));
        const RowFormat& format = pending.format;
        if (!format.defined || cells.empty() || cells.size() > format.cells.size())
            return std::nullopt;
        TableRow& row = pending.row;
        row.height = format.height;
        row.header = format.header;
        row.cantSplit = format.cantSplit;
        std::uint8_t mergeStart = 0;
        for (std::size_t k = 0; k < cells.size(); ++k) {
            const CellFormat& f = format.cells[k];
            // A merged set starts with one value of horzMerge and goes on with the other, so
            // both readings of its two bits give the same sets. Word shows only the first
            // cell's text.
            if (f.horizontalMerge != 0 && mergeStart != 0 && f.horizontalMerge != mergeStart &&
                !row.cells.empty()) {
                row.cells.back().right = f.right;
                pending.columns.back().second = k;
                continue;
            }
            mergeStart = f.horizontalMerge;
            TableCell c;
            c.blocks = std::move(cells[k]);
            c.left = f.left;
            c.right = f.right;
            c.verticalMerge = f.verticalMerge;
            c.verticalAlignment = f.verticalAlignment;
            c.shading = f.shading;
            c.marginTop = f.margins[0];
            c.marginLeft = f.margins[1];
            c.marginBottom = f.margins[2];
            c.marginRight = f.margins[3];
            row.cells.push_back(std::move(c));
            pending.columns.emplace_back(k, k);
        }
        return pending;
    }

    // The table's borders on the cells without their own, and its rows placed as aligned.
    Table finishTable(std::vector<PendingRow>& rows, std::uint32_t start)
    {
        Table table;
        const std::optional<std::int32_t> column = columnAt(start);
        for (std::size_t r = 0; r < rows.size(); ++r) {
            PendingRow& pending = rows[r];
            const RowFormat& format = pending.format;
            const auto& outer = format.tableBorders;
            std::int32_t shift = 0;
            if (column && format.alignment != RowFormat::Alignment::Left && !format.cells.empty()) {
                const std::int32_t width = format.cells.back().right - format.cells.front().left;
                const std::int32_t free = *column - width;
                shift = (format.alignment == RowFormat::Alignment::Center ? free / 2 : free) -
                        format.cells.front().left;
            }
            for (std::size_t k = 0; k < pending.row.cells.size(); ++k) {
                TableCell& cell = pending.row.cells[k];
                cell.left += shift;
                cell.right += shift;
                const auto& own = format.cells[pending.columns[k].first].borders;
                const auto& ownRight = format.cells[pending.columns[k].second].borders;
                const bool first = r == 0;
                const bool last = r + 1 == rows.size();
                cell.borders.top = own[0].value_or(first ? outer[RowFormat::Top] : outer[RowFormat::InsideH]);
                cell.borders.left =
                    own[1].value_or(k == 0 ? outer[RowFormat::Left] : outer[RowFormat::InsideV]);
                cell.borders.bottom =
                    own[2].value_or(last ? outer[RowFormat::Bottom] : outer[RowFormat::InsideH]);
                cell.borders.right = ownRight[3].value_or(
                    k + 1 == pending.row.cells.size() ? outer[RowFormat::Right] : outer[RowFormat::InsideV]);
            }
            table.rows.push_back(std::move(pending.row));
        }
        return table;
    }

    std::optional<std::int32_t> columnAt(std::uint32_t cp) const
    {
        for (const auto& [end, width] : mColumns)
            if (cp < end)
                return width;
        return std::nullopt;
    }

    const WordState& mD;
    ReadModel& mModel;
    ParagraphReader mParagraphs;
    Drawings mDrawings;
    std::vector<std::pair<std::uint32_t, std::int32_t>> mColumns; // (end CP, width), ascending
    int mStoryDepth = 0;
};

} // namespace

ReadModel readModel(const WordState& d)
{
    ReadModel model;
    const std::int32_t tabWidth = defaultTabWidth(d);
    const std::uint32_t ccpText = d.ccpText();

    // Sections, each up to its CP in PlcfSed; the last one takes the rest of the main text.
    std::vector<std::uint32_t> sectionEnds;
    if (const CpTable* sed = cpTable(d, fclcb::PlcfSed); sed && sed->count() > 0) {
        model.sections.assign(sed->count(), Section{});
        for (std::size_t i = 0; i < sed->count(); ++i) {
            Section& section = model.sections[i];
            section.page.defaultTabWidth = tabWidth;
            readSepx(d, std::span<const std::uint8_t>(sed->data).subspan(i * sed->cbData, sed->cbData),
                     section);
            sectionEnds.push_back(std::min(sed->cps[i + 1], ccpText));
        }
        sectionEnds.back() = ccpText;
    } else {
        model.sections.front().page.defaultTabWidth = tabWidth;
        sectionEnds.push_back(ccpText);
    }

    StructureReader reader(d, model);
    std::vector<std::pair<std::uint32_t, std::int32_t>> columns;
    for (std::size_t i = 0; i < sectionEnds.size(); ++i)
        columns.emplace_back(sectionEnds[i], columnWidth(model.sections[i].page));
    // Header stories follow the main text and the notes; their tables take the first page's width.
    columns.emplace_back(d.storyStart(lw::ccpHdd) + d.rgLw[lw::ccpHdd], columnWidth(model.section()));
    reader.setColumns(std::move(columns));

    std::uint32_t start = 0;
    for (std::size_t i = 0; i < sectionEnds.size(); ++i) {
        const std::uint32_t end = std::max(sectionEnds[i], start);
        const auto blocks = reader.readStory(start, end);
        model.body.insert(model.body.end(), blocks.begin(), blocks.end());
        model.sections[i].blockEnd = model.body.size();
        start = end;
    }

    // Header stories: an empty one leaves the section with its predecessor's.
    if (const CpTable* hdd = cpTable(d, fclcb::PlcfHdd); hdd && hdd->cps.size() >= 2) {
        const std::uint32_t origin = d.storyStart(lw::ccpHdd);
        const std::size_t stories = hdd->cps.size() - 2;
        for (std::size_t s = 0; s < model.sections.size(); ++s) {
            for (std::size_t kind = 0; kind < Section::kHeaderKinds; ++kind) {
                const std::size_t story = kSeparatorStories + s * Section::kHeaderKinds + kind;
                auto& header = model.sections[s].headers[kind];
                const std::uint32_t length = d.rgLw[lw::ccpHdd];
                if (story < stories && hdd->cps[story] < std::min(hdd->cps[story + 1], length)) {
                    header = model.headers.size();
                    // Each story ends with a paragraph mark of its own after its last paragraph.
                    model.headers.push_back(reader.readStory(
                        origin + hdd->cps[story], origin + std::min(hdd->cps[story + 1], length) - 1));
                } else if (s > 0) {
                    header = model.sections[s - 1].headers[kind];
                }
            }
        }
    }

    // DopBase: fFacingPages is the first bit.
    const auto dop = d.tableBytes(fclcb::Dop, "Dop");
    model.facingPages = !dop.empty() && (dop[0] & 0x01) != 0;
    return model;
}

} // namespace doc::word
