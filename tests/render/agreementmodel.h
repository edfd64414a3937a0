#pragma once

#include "doc/readmodel.h"

#include <string>
#include <utility>
#include <vector>

// A hand-made read model shaped like the filled contractor agreement: Letter page, one-inch margins,
// an 18 pt bold centered title, a 9 pt rule, justified 12 pt body, bold headings and the signing line's tabs.
namespace testmodel
{

inline doc::CharacterRun run(std::uint32_t start, std::uint32_t length, double sizePt = 12.0,
                             bool bold = false)
{
    doc::CharacterRun r;
    r.start = start;
    r.length = length;
    r.sizePt = sizePt;
    r.bold = bold;
    return r;
}

inline doc::Paragraph paragraph(const std::u16string& text, doc::Paragraph::Alignment alignment,
                                double sizePt = 12.0, bool bold = false)
{
    doc::Paragraph p;
    p.text = text;
    p.alignment = alignment;
    if (!text.empty())
        p.runs.push_back(run(0, static_cast<std::uint32_t>(text.size()), sizePt, bold));
    p.markFormat = run(0, 0, sizePt, bold);
    return p;
}

// The model's paragraphs as its main text, in order.
inline void paragraphsAsBody(doc::ReadModel& model)
{
    model.body.clear();
    for (std::size_t i = 0; i < model.paragraphs.size(); ++i)
        model.body.push_back({doc::Block::Kind::Paragraph, i});
}

inline doc::ReadModel agreement()
{
    using A = doc::Paragraph::Alignment;
    doc::ReadModel model;
    model.section().marginLeft = 1440;
    model.section().marginRight = 1440;
    auto& ps = model.paragraphs;
    ps.push_back(paragraph(u"\x08"
                           u"Contractor Agreement",
                           A::Center, 18, true));
    ps.push_back(paragraph(std::u16string(93, u'_'), A::Center, 9));
    ps.push_back(paragraph(u"", A::Justify));
    ps.push_back(paragraph(u"", A::Justify));
    ps.push_back(
        paragraph(u"THIS AGREEMENT made the 14th day of March, 2026, by and between Northwind Building "
                  u"Services LLC, Hereafter called the Contractor and Margaret Ellison-Whitfield, "
                  u"hereinafter called the Owner",
                  A::Justify));
    ps.push_back(paragraph(u"", A::Justify));
    ps.push_back(
        paragraph(u"WITNESSETH that the Contractor and the Owner for the considerations named agree as "
                  u"follows:",
                  A::Justify));
    ps.push_back(paragraph(u"", A::Justify));
    ps.push_back(paragraph(u"Scope of Work", A::Left, 12, true));
    ps.push_back(paragraph(u"", A::Justify));
    ps.push_back(
        paragraph(u"      The Contractor shall furnish all materials and perform all of the work on the "
                  u"property at 1187 Juniper Hollow Road, Cedar Falls, Iowa 50613",
                  A::Justify));
    ps.push_back(paragraph(u"", A::Justify));
    ps.push_back(paragraph(u"", A::Justify));
    ps.push_back(paragraph(u"Work Performed", A::Left, 12, true));
    ps.push_back(paragraph(u"", A::Justify));
    ps.push_back(
        paragraph(u" Remove the existing asphalt shingles down to the deck, replace damaged sheathing, "
                  u"install ice and water shield along the eaves and valleys, and lay new architectural "
                  u"shingles with ridge venting.\x0B"
                  u"Haul away all debris and leave the site broom clean.",
                  A::Justify));
    ps.push_back(paragraph(u"", A::Justify));
    ps.push_back(paragraph(u"", A::Justify));
    ps.push_back(paragraph(u"", A::Justify));
    ps.push_back(paragraph(u"Contract Price", A::Left, 12, true));
    ps.push_back(
        paragraph(u"The Owner shall pay the contractor for material and labor to be performed under the "
                  u"sum of $18,450.00",
                  A::Justify));
    ps.push_back(paragraph(u"", A::Justify));
    ps.push_back(paragraph(u"Progress Payments", A::Left, 12, true));
    ps.push_back(
        paragraph(u"Payments of Contract Price shall be made as follows One third on signing, one third "
                  u"when the old roof is off and the deck is sound, and the balance on completion.",
                  A::Justify));
    for (int i = 0; i < 5; ++i)
        ps.push_back(paragraph(u"", A::Justify));
    ps.push_back(paragraph(u"Signed this 14th day of March, 2026", A::Justify));
    ps.push_back(paragraph(u"", A::Justify));
    doc::Paragraph signatures = paragraph(u"Owner Margaret Ellison-Whitfield\t\t\t\t\t\t\t\tContractor "
                                          u"Northwind Building Services LLC",
                                          A::Left);
    for (int i = 0; i < 8; ++i)
        signatures.tabs.push_back({4536 + 72 * i, doc::TabStop::Alignment::Left, u' '});
    ps.push_back(signatures);
    ps.push_back(paragraph(u" ", A::Justify));
    ps.push_back(paragraph(u"", A::Justify));
    ps.push_back(paragraph(u"", A::Justify));
    paragraphsAsBody(model);
    return model;
}

} // namespace testmodel
