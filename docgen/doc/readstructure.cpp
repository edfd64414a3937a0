// The read model: the stories in blocks of paragraphs and tables, the sections with their pages and
// headers, pictures and shapes.

#include "doc/drawings.h"
#include "doc/paragraphreader.h"
#include "doc/wordstate.h"

namespace doc::word
{

ReadModel readModel(const WordState& d)
{
    ReadModel model;
    ParagraphReader reader(d);
    Drawings drawings(d, model, [](std::uint32_t, std::uint32_t) { return std::vector<Block>(); });
    const std::uint32_t ccpText = d.ccpText();
    std::uint32_t start = 0;
    for (std::uint32_t cp = 0; cp < ccpText; ++cp) {
        if (!d.props[cp].paraEnd && cp + 1 != ccpText)
            continue;
        Paragraph paragraph = reader.read(start, cp);
        drawings.attach(paragraph, start);
        model.body.push_back({Block::Kind::Paragraph, model.paragraphs.size()});
        model.paragraphs.push_back(std::move(paragraph));
        start = cp + 1;
    }
    readPage(d, model.section());
    model.sections.front().blockEnd = model.body.size();
    return model;
}

} // namespace doc::word
