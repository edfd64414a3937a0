#include "doc/tags.h"

#include <QtTest>

using doc::WordDocument;
namespace tags = doc::tags;

namespace
{

QString kindName(tags::Fault::Kind kind)
{
    switch (kind) {
    case tags::Fault::Kind::Unclosed:
        return QStringLiteral("Unclosed");
    case tags::Fault::Kind::Empty:
        return QStringLiteral("Empty");
    case tags::Fault::Kind::BrokenByParagraph:
        return QStringLiteral("BrokenByParagraph");
    case tags::Fault::Kind::BrokenByField:
        return QStringLiteral("BrokenByField");
    case tags::Fault::Kind::TooLong:
        return QStringLiteral("TooLong");
    case tags::Fault::Kind::Nested:
        return QStringLiteral("Nested");
    case tags::Fault::Kind::InFieldCode:
        return QStringLiteral("InFieldCode");
    }
    return {};
}

QString show(const std::u16string& s)
{
    return QString::fromStdU16String(s);
}

QStringList tagList(const tags::Scan& scan)
{
    QStringList out;
    for (const auto& tag : scan.tags)
        out << QStringLiteral("%1@%2:%3%4")
                   .arg(show(tag.name))
                   .arg(tag.cp)
                   .arg(tag.length)
                   .arg(tag.mergeField ? QStringLiteral(" merge") : QString());
    return out;
}

QStringList faultList(const tags::Scan& scan)
{
    QStringList out;
    for (const auto& fault : scan.faults)
        out << QStringLiteral("%1@%2").arg(kindName(fault.kind)).arg(fault.cp);
    return out;
}

QString name(std::size_t length)
{
    return QString(qsizetype(length), u'n');
}

} // namespace

class tst_Tags : public QObject
{
    Q_OBJECT

private slots:
    void scanText_data();
    void scanText();
    void scanDocument();
};

void tst_Tags::scanText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("tags");   // name@cp:length, " merge" for a merge field
    QTest::addColumn<QStringList>("faults"); // kind@cp

    const QString begin = QStringLiteral("\x13");
    const QString separator = QStringLiteral("\x14");
    const QString end = QStringLiteral("\x15");

    QTest::newRow("tag") << "Dear {{Owner}}," << QStringList{"Owner@5:9"} << QStringList{};
    QTest::newRow("outer spaces trimmed, inner kept")
        << "{{ Site  Address }}" << QStringList{"Site  Address@0:19"} << QStringList{};
    QTest::newRow("longest name") << "{{" + name(tags::kMaxNameLength) + "}}"
                                  << QStringList{name(tags::kMaxNameLength) +
                                                 "@0:" + QString::number(tags::kMaxNameLength + 4)}
                                  << QStringList{};
    QTest::newRow("too long") << "{{" + name(tags::kMaxNameLength + 1) + "}} {{A}}" << QStringList{"A@70:5"}
                              << QStringList{"TooLong@0"};
    QTest::newRow("empty") << "{{ \t}}{{}}" << QStringList{} << QStringList{"Empty@0", "Empty@6"};
    QTest::newRow("unclosed to the next paragraph's end")
        << "a {{Owner\rno close\rx}}" << QStringList{} << QStringList{"Unclosed@2"};
    QTest::newRow("unclosed before the next tag")
        << "{{Owner\r{{Date}}" << QStringList{"Date@8:8"} << QStringList{"Unclosed@0"};
    QTest::newRow("unclosed at the end") << "{{A}} {{B" << QStringList{"A@0:5"} << QStringList{"Unclosed@6"};
    QTest::newRow("broken by paragraph")
        << "{{Own\rer}} {{Date}}" << QStringList{"Date@11:8"} << QStringList{"BrokenByParagraph@0"};
    QTest::newRow("broken by cell") << "{{Owner\x07}}" << QStringList{} << QStringList{"BrokenByParagraph@0"};
    QTest::newRow("broken by line break")
        << "{{Own\ver}}" << QStringList{} << QStringList{"BrokenByParagraph@0"};
    QTest::newRow("broken by page") << "{{Own\fer}}" << QStringList{} << QStringList{"BrokenByParagraph@0"};
    QTest::newRow("broken by field") << "{{Own" + begin + " PAGE " + separator + "1" + end + "er}}"
                                     << QStringList{} << QStringList{"BrokenByField@0"};
    QTest::newRow("nested") << "{{ {{Owner}} }} {{Date}}" << QStringList{"Date@16:8"}
                            << QStringList{"Nested@0"};
    QTest::newRow("in field code") << begin + " IF {{Owner}} " + end + "{{Date}}" << QStringList{"Date@16:8"}
                                   << QStringList{"InFieldCode@5"};
    QTest::newRow("in a nested field's code")
        << begin + " REF x " + separator + begin + " {{A}} " + end + "{{B}}" + end << QStringList{"B@18:5"}
        << QStringList{"InFieldCode@11"};
    QTest::newRow("in a field's result")
        << begin + " REF x " + separator + "{{Owner}}" + end << QStringList{"Owner@9:9"} << QStringList{};
    QTest::newRow("merge field") << "a " + begin + " MERGEFIELD Owner \\* MERGEFORMAT " + separator +
                                        "\u00abOwner\u00bb" + end + " b"
                                 << QStringList{"Owner@2:43 merge"} << QStringList{};
    QTest::newRow("merge field quoted, any case, no result")
        << begin + "mergefield \"Site Address\"" + end << QStringList{"Site Address@0:27 merge"}
        << QStringList{};
    QTest::newRow("merge field result not scanned") << begin + " MERGEFIELD A " + separator + "{{B}}" + end
                                                    << QStringList{"A@0:22 merge"} << QStringList{};
    QTest::newRow("merge field without a name")
        << begin + " MERGEFIELD " + end << QStringList{} << QStringList{"Empty@0"};
    QTest::newRow("merge field name too long")
        << begin + " MERGEFIELD " + name(tags::kMaxNameLength + 1) + end << QStringList{}
        << QStringList{"TooLong@0"};
    QTest::newRow("other field") << begin + " MERGEFIELDS A " + end << QStringList{} << QStringList{};
    QTest::newRow("unbalanced marks") << end + separator + "{{A}}" + begin + " {{B}}" << QStringList{"A@2:5"}
                                      << QStringList{"InFieldCode@9"};
}

void tst_Tags::scanText()
{
    QFETCH(QString, text);
    QFETCH(QStringList, tags);
    QFETCH(QStringList, faults);
    const tags::Scan scan = tags::scan(text.toStdU16String());
    QCOMPARE(tagList(scan), tags);
    QCOMPARE(faultList(scan), faults);
}

void tst_Tags::scanDocument()
{
    using Story = WordDocument::Story;
    struct Expected {
        Story story;
        std::u16string_view name;
        bool mergeField;
        std::size_t paragraph;
        std::u16string_view context;
    };
    // A LibreOffice document with a tag in its main text, a table cell, its header and a text box,
    // and a mail-merge field. Cells and rows end paragraphs; marks read as spaces.
    const Expected expected[] = {
        {Story::Main, u"Owner", false, 1, u"Agreement for {{ Owner }} of this day. Site"},
        {Story::Main, u"Site", false, 3, u"Owner }} of this day. Site At {{Site}} Signed SHAPE"},
        {Story::Main, u"Owner", true, 6, u"SHAPE by the owner. Dear MERGEFIELD Owner <Owner> ,"},
        {Story::Headers, u"Builder", false, 1, u"Built by {{Builder}}"},
        {Story::TextBoxes, u"Deposit", false, 1, u"Deposit {{Deposit}}"},
    };
    const WordDocument document =
        WordDocument::load(QStringLiteral(BRINDLEWICK_TEST_DATA "/tags.doc").toStdU16String());
    const tags::Scan scan = tags::scan(document);
    QCOMPARE(faultList(scan), QStringList{});
    QCOMPARE(scan.tags.size(), std::size(expected));
    for (std::size_t i = 0; i < scan.tags.size(); ++i) {
        const tags::Tag& tag = scan.tags[i];
        const tags::Where where = tags::where(document, tag.cp);
        QCOMPARE(show(tag.name), show(std::u16string(expected[i].name)));
        QCOMPARE(tag.mergeField, expected[i].mergeField);
        QVERIFY(where.story == expected[i].story);
        QCOMPARE(where.paragraph, expected[i].paragraph);
        QCOMPARE(show(where.context), show(std::u16string(expected[i].context)));
    }
}

QTEST_GUILESS_MAIN(tst_Tags)
#include "tst_tags.moc"
