#include "wordtestsupport.h"

#include <QDir>
#include <QFileInfo>
#include <QtTest>

#include <algorithm>
#include <iterator>
#include <map>

using namespace wordtest;
using doc::WordDocument;

Q_DECLARE_METATYPE(doc::Error::Kind)
Q_DECLARE_METATYPE(wordtest::Bytes)

namespace
{

// The features fixture's main text (LibreOffice writes the footnote reference as 0x02, the
// comment's as 0x05 after the commented range, and the page field as 0x13 " PAGE " 0x14 "1" 0x15).
const std::u16string kHeading = u"Features Heading";
const std::u16string kSecond = u"Plain bold and italic words.\x02 After the note.";
const std::u16string kThird = u"Before marked after\tpage \x13 PAGE \x14"
                              u"1\x15 end.";
const std::u16string kFourth = u"Last paragraph\x05.";

std::u16string featuresText()
{
    return kHeading + u"\r" + kSecond + u"\r" + kThird + u"\r" + kFourth + u"\r";
}

QString show(const std::u16string& s)
{
    return QString::fromStdU16String(s);
}

// The document a fixture row names: the LibreOffice file as written, or rewritten into
// compressed pieces.
Bytes fixture(const QString& shape)
{
    const Bytes plain = readFile(dataPath(QStringLiteral("word-features.doc")));
    if (shape == QLatin1String("utf16"))
        return plain;
    if (shape == QLatin1String("compressed"))
        return compressPieces(plain, {}).value_or(Bytes{});
    return compressPieces(plain, {5, 40, 60}).value_or(Bytes{});
}

// The formatting of every main-text character, paragraph marks included.
struct CharFormat {
    std::string font;
    double size = 0;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool operator==(const CharFormat&) const = default;
};

std::vector<CharFormat> formats(const doc::ReadModel& model)
{
    std::vector<CharFormat> out;
    for (const auto& p : model.paragraphs) {
        for (const auto& r : p.runs)
            for (std::uint32_t i = 0; i < r.length; ++i)
                out.push_back({r.fontName, r.sizePt, r.bold, r.italic, r.underline});
        const auto& m = p.markFormat;
        out.push_back({m.fontName, m.sizePt, m.bold, m.italic, m.underline});
    }
    return out;
}

QString colorName(std::uint32_t color)
{
    return color == doc::kAutoColor ? QStringLiteral("auto")
                                    : QStringLiteral("#%1").arg(color, 6, 16, QChar(u'0'));
}

QString borderName(const doc::Border& border)
{
    static const QStringList styles{"none", "single", "double", "dotted", "dashed"};
    return QStringLiteral("%1 %2pt %3")
        .arg(styles[int(border.style)])
        .arg(border.widthPt)
        .arg(colorName(border.color));
}

// A paragraph's look, or with words that of the run holding exactly those words, as text.
QString lookField(const doc::Paragraph& p, const QString& words, const QString& field)
{
    if (words.isEmpty()) {
        const std::map<QString, QString> fields{
            {"keepWithNext", QString::number(p.keepWithNext)},
            {"keepTogether", QString::number(p.keepTogether)},
            {"pageBreakBefore", QString::number(p.pageBreakBefore)},
            {"widowControl", QString::number(p.widowControl)},
            {"shading", colorName(p.shading)},
            {"borderTop", borderName(p.borders.top)},
            {"borderLeft", borderName(p.borders.left)},
            {"borderBottom", borderName(p.borders.bottom)},
            {"borderRight", borderName(p.borders.right)},
        };
        return fields.at(field);
    }
    for (const auto& r : p.runs) {
        if (show(p.text.substr(r.start, r.length)) != words)
            continue;
        const std::map<QString, QString> fields{
            {"strike", QString::number(r.strike)},
            {"doubleStrike", QString::number(r.doubleStrike)},
            {"smallCaps", QString::number(r.smallCaps)},
            {"allCaps", QString::number(r.allCaps)},
            {"hidden", QString::number(r.hidden)},
            {"position", QString::number(int(r.position))},
            {"spacing", QString::number(r.spacing)},
            {"kerning", QString::number(r.kerning)},
            {"color", colorName(r.color)},
            {"highlight", colorName(r.highlight)},
        };
        return fields.at(field);
    }
    return QStringLiteral("no run of ") + words;
}

std::map<std::string, Bytes> streams(const Bytes& file)
{
    const doc::CompoundFile cf = doc::CompoundFile::parse(file);
    std::map<std::string, Bytes> out;
    for (const auto& path : cf.streamPaths())
        out[path] = cf.stream(path);
    return out;
}

// A \005DocumentSummaryInformation stream as Word lays it out: an empty summary set, then a
// user-defined set in codePage with a dictionary of names (each stored with its terminator)
// and values (each a TypedPropertyValue).
using Entries = std::vector<std::pair<std::uint32_t, Bytes>>;
constexpr std::size_t kUserSetAt = 92;

Bytes summaryStream(std::uint16_t codePage, const Entries& names, const Entries& values)
{
    const Bytes fmtid{0xD5, 0xCD, 0xD5, 0x9C, 0x2E, 0x1B, 0x10, 0x93,
                      0x97, 0x08, 0x00, 0x2B, 0x2C, 0xF9, 0xAE};
    doc::ByteWriter set;
    const auto pad = [](doc::ByteWriter& w) { w.fill((4 - w.size() % 4) % 4, 0); };
    doc::ByteWriter body;
    std::vector<std::pair<std::uint32_t, std::size_t>> offsets{{0, 0}};
    body.u32(std::uint32_t(names.size()));
    for (const auto& [id, name] : names) {
        body.u32(id);
        body.u32(std::uint32_t(codePage == 1200 ? name.size() / 2 : name.size()));
        body.bytes(name);
        if (codePage == 1200)
            pad(body);
    }
    pad(body);
    offsets.emplace_back(1, body.size());
    body.u32(2);
    body.u32(codePage);
    for (const auto& [id, value] : values) {
        offsets.emplace_back(id, body.size());
        body.bytes(value);
        pad(body);
    }
    const std::size_t header = 8 + 8 * offsets.size();
    set.u32(std::uint32_t(header + body.size()));
    set.u32(std::uint32_t(offsets.size()));
    for (const auto& [id, offset] : offsets) {
        set.u32(id);
        set.u32(std::uint32_t(header + offset));
    }
    set.bytes(body.data());

    doc::ByteWriter out;
    out.u16(0xFFFE);
    out.fill(22, 0);
    out.u32(2);
    out.u8(0x02);
    out.bytes(fmtid);
    out.u32(68);
    out.u8(0x05);
    out.bytes(fmtid);
    out.u32(kUserSetAt);
    // The summary set: its size, one property, the code page at 16 (VT_I2 1252).
    for (std::uint32_t v : {24u, 1u, 1u, 16u, 2u, 1252u})
        out.u32(v);
    out.bytes(set.data());
    return std::move(out).take();
}

// An 8-bit string with its terminator.
Bytes narrow(const char* text)
{
    const std::string s(text);
    Bytes out(s.begin(), s.end());
    out.push_back(0);
    return out;
}

Bytes utf16(const std::u16string& text)
{
    doc::ByteWriter out;
    for (char16_t c : text + u'\0')
        out.u16(c);
    return std::move(out).take();
}

Bytes typed(std::uint16_t type, std::uint32_t count, const Bytes& data)
{
    doc::ByteWriter out;
    out.u16(type);
    out.u16(0);
    out.u32(count);
    out.bytes(data);
    return std::move(out).take();
}

QStringList shown(const std::vector<WordDocument::Property>& properties)
{
    QStringList out;
    for (const auto& p : properties)
        out << show(p.name) + u'=' + show(p.value);
    return out;
}

// The template with its summary stream replaced, or taken away (renamed) when stream is empty.
Bytes withSummaryStream(const Bytes& stream)
{
    Bytes file = readFile(templatePath());
    const Bytes name = utf16(u"\x05"
                             u"DocumentSummaryInformation");
    if (stream.empty()) {
        const auto at = std::search(file.begin(), file.end(), name.begin(), name.end() - 2);
        *(at + 2) = 'X';
        return file;
    }
    doc::CompoundFile cf = doc::CompoundFile::parse(file);
    cf.setStream("\x05"
                 "DocumentSummaryInformation",
                 stream);
    return cf.serialize();
}

// The text of a story's first paragraph.
QString firstParagraph(const doc::ReadModel& model, const std::vector<doc::Block>& blocks)
{
    for (const doc::Block& b : blocks)
        if (b.kind == doc::Block::Kind::Paragraph)
            return show(model.paragraphs[b.index].text);
    return {};
}

// The Data stream's first picture as Word writes one in the line: at half its size, with an FBSE
// holding its own JPEG blip after its shape, where LibreOffice leaves the picture to the shape before it;
// cropped, its left half cut off.
Bytes withOwnBlip(const Bytes& data, bool cropped)
{
    doc::ByteWriter blip; // OfficeArtBlipJPEG: one UID and the tag before the data
    blip.u16(0x46A << 4);
    blip.u16(0xF01D);
    blip.u32(16 + 1 + 4);
    blip.fill(16 + 1, 0);
    blip.bytes(Bytes{0xFF, 0xD8, 0xFF, 0xD9});
    doc::ByteWriter fbse;
    constexpr std::uint8_t kJpeg = 5;
    fbse.u16(0x2 | kJpeg << 4);
    fbse.u16(0xF007);
    fbse.u32(std::uint32_t(36 + blip.size()));
    fbse.u8(kJpeg);
    fbse.u8(kJpeg);
    fbse.fill(16 + 2, 0);                 // rgbUid, tag
    fbse.u32(std::uint32_t(blip.size())); // size
    fbse.u32(1);                          // cRef
    fbse.fill(8, 0);                      // foDelay, unused1, cbName, unused2, unused3
    fbse.bytes(blip.data());
    const std::uint32_t lcb = doc::ByteCursor(data).u32();
    Bytes picture(data.begin(), data.begin() + lcb);
    picture.insert(picture.end(), fbse.data().begin(), fbse.data().end());
    doc::storeU32(picture, 0, std::uint32_t(picture.size()));
    doc::storeU16(picture, 32, 500); // mx
    doc::storeU16(picture, 34, 500); // my
    if (cropped)                     // dxaCropLeft: half dxaGoal
        doc::storeU16(picture, 36, std::uint16_t(doc::ByteCursor(picture, 28).i16() / 2));
    return picture;
}

QString pictureName(const doc::ReadModel& model, std::size_t index)
{
    static const QStringList formats{"PNG", "JPEG", "DIB", "EMF", "WMF", "PICT", "TIFF", "unknown"};
    const doc::Picture& p = model.pictures[index];
    const doc::Crop& c = p.crop;
    return QStringLiteral("%1 %2x%3").arg(formats[int(p.format)]).arg(p.width).arg(p.height) +
           (c == doc::Crop{}
                ? QString()
                : QStringLiteral(" cropped %1/%2/%3/%4").arg(c.left).arg(c.top).arg(c.right).arg(c.bottom));
}

// Every picture and shape of the model, by paragraph and offset of its character.
QStringList drawingObjects(const doc::ReadModel& model)
{
    static const QStringList wraps{"square", "top and bottom", "none", "tight", "through"};
    static const QStringList horizontal{"margin", "page", "column"};
    static const QStringList vertical{"margin", "page", "paragraph"};
    QStringList objects;
    for (std::size_t i = 0; i < model.paragraphs.size(); ++i) {
        const doc::Paragraph& p = model.paragraphs[i];
        const QString at = QStringLiteral("%1@%2 ").arg(i);
        for (const doc::ObjectAt& o : p.pictures)
            objects << at.arg(o.offset) + QStringLiteral("inline ") + pictureName(model, o.index);
        for (const doc::ObjectAt& o : p.shapes) {
            const doc::Shape& s = model.shapes[o.index];
            QString text = at.arg(o.offset) + horizontal[int(s.horizontalFrom)] + u'/' +
                           vertical[int(s.verticalFrom)] + u' ' + wraps[int(s.wrap)] +
                           (s.behindText ? QStringLiteral(" behind") : "");
            if (s.picture)
                text += QStringLiteral(" picture ") + pictureName(model, *s.picture);
            if (s.textBox)
                text += QStringLiteral(" text box of %1: ").arg(model.textBoxes[*s.textBox].size()) +
                        firstParagraph(model, model.textBoxes[*s.textBox]) +
                        QStringLiteral(" inside %1/%2/%3/%4")
                            .arg(s.textMargins.left)
                            .arg(s.textMargins.top)
                            .arg(s.textMargins.right)
                            .arg(s.textMargins.bottom);
            if (s.outline.present())
                text += QStringLiteral(" outline %1 %2pt")
                            .arg(s.outline.color, 6, 16, QChar(u'0'))
                            .arg(s.outline.widthPt);
            if (s.fill != doc::kAutoColor)
                text += QStringLiteral(" fill %1").arg(s.fill, 6, 16, QChar(u'0'));
            objects << text;
        }
    }
    return objects;
}

// Facts about a document's blocks, tables and sections, each as a line of text.
QString blockKinds(const std::vector<doc::Block>& blocks)
{
    QStringList kinds;
    for (const doc::Block& b : blocks)
        kinds << (b.kind == doc::Block::Kind::Table ? QStringLiteral("T") : QStringLiteral("P"));
    return kinds.join(u' ');
}

QString cellText(const doc::ReadModel& model, const doc::TableCell& cell)
{
    QStringList texts;
    for (const doc::Block& b : cell.blocks)
        texts << (b.kind == doc::Block::Kind::Paragraph ? show(model.paragraphs[b.index].text)
                                                        : QStringLiteral("T"));
    return texts.join(u'/');
}

QString borderText(const doc::Border& b)
{
    return b.present() ? QStringLiteral("%1pt %2").arg(b.widthPt).arg(b.color, 6, 16, QLatin1Char('0'))
                       : QStringLiteral("none");
}

// The body's tables in reading order, then the fact named by what about the one it names.
QString structureFact(const doc::ReadModel& model, const QString& what)
{
    std::vector<const doc::Table*> tables;
    for (const doc::Block& b : model.body)
        if (b.kind == doc::Block::Kind::Table)
            tables.push_back(&model.tables[b.index]);
    const QStringList words = what.split(u' ');
    const auto table = [&](int i) -> const doc::Table& { return *tables.at(std::size_t(i)); };
    QStringList out;
    if (what == QLatin1String("blocks"))
        return blockKinds(model.body);
    if (words[0] == QLatin1String("edges")) { // edges TABLE [ROW]: each row's cells, left-right
        const auto& rows = table(words[1].toInt()).rows;
        for (std::size_t r = 0; r < rows.size(); ++r) {
            if (words.size() > 2 && r != words[2].toUInt())
                continue;
            const auto& row = rows[r];
            QStringList cells;
            for (const auto& c : row.cells)
                cells << QStringLiteral("%1-%2").arg(c.left).arg(c.right);
            out << cells.join(u' ');
        }
        return out.join(QLatin1String(" | "));
    }
    if (words[0] == QLatin1String("rows")) { // rows TABLE: height, repeated, kept whole
        for (const auto& row : table(words[1].toInt()).rows)
            out << QStringLiteral("%1%2%3")
                       .arg(row.height)
                       .arg(row.header ? "h" : "")
                       .arg(row.cantSplit ? "k" : "");
        return out.join(u' ');
    }
    if (words[0] == QLatin1String("cell")) { // cell TABLE ROW CELL: its text and look
        const auto& c = table(words[1].toInt()).rows.at(words[2].toUInt()).cells.at(words[3].toUInt());
        return QStringLiteral("%1; merge %2, align %3, fill %4, margins %5 %6 %7 %8, borders %9 %10 %11 %12")
            .arg(cellText(model, c))
            .arg(int(c.verticalMerge))
            .arg(int(c.verticalAlignment))
            .arg(c.shading, 0, 16)
            .arg(c.marginTop)
            .arg(c.marginLeft)
            .arg(c.marginBottom)
            .arg(c.marginRight)
            .arg(borderText(c.borders.top), borderText(c.borders.left), borderText(c.borders.bottom),
                 borderText(c.borders.right));
    }
    if (words[0] == QLatin1String("nested")) { // nested TABLE ROW CELL: the cells of its table
        const auto& c = table(words[1].toInt()).rows.at(words[2].toUInt()).cells.at(words[3].toUInt());
        for (const doc::Block& b : c.blocks)
            if (b.kind == doc::Block::Kind::Table)
                for (const auto& row : model.tables[b.index].rows)
                    for (const auto& inner : row.cells)
                        out << cellText(model, inner);
        return blockKinds(c.blocks) + QLatin1String(": ") + out.join(u' ');
    }
    if (what == QLatin1String("sections")) {
        for (const doc::Section& s : model.sections)
            out << QStringLiteral("%1x%2 %3/%4/%5/%6 %7/%8 start %9 title %10 first %11 blocks %12")
                       .arg(s.page.pageWidth)
                       .arg(s.page.pageHeight)
                       .arg(s.page.marginTop)
                       .arg(s.page.marginRight)
                       .arg(s.page.marginBottom)
                       .arg(s.page.marginLeft)
                       .arg(s.page.headerDistance)
                       .arg(s.page.footerDistance)
                       .arg(int(s.start))
                       .arg(s.titlePage)
                       .arg(s.firstPageNumber.value_or(0))
                       .arg(s.blockEnd);
        return out.join(QLatin1String(" | ")) +
               (model.facingPages ? QLatin1String(" facing") : QLatin1String(""));
    }
    if (what == QLatin1String("paper")) { // each section's page size and start
        for (const doc::Section& s : model.sections)
            out << QStringLiteral("%1x%2/%3").arg(s.page.pageWidth).arg(s.page.pageHeight).arg(int(s.start));
        return out.join(u' ');
    }
    if (words[0] == QLatin1String("headers")) { // headers SECTION: each kind's first paragraph
        for (const auto& h : model.sections.at(words[1].toUInt()).headers)
            out << (h ? firstParagraph(model, model.headers.at(*h)) : QStringLiteral("-"));
        return out.join(u'|');
    }
    return QStringLiteral("unknown fact ") + what;
}

// The document with bytes of its first table row's cell definitions (TDefTable, from its sprm
// code) set as patch lists them, "offset:value" each.
Bytes withFirstRowPatched(const Bytes& file, const QString& patch)
{
    doc::CompoundFile cf = doc::CompoundFile::parse(file);
    Bytes stream = cf.stream("WordDocument");
    const Bytes tDefTable{0x08, 0xD6};
    const auto at = std::search(stream.begin(), stream.end(), tDefTable.begin(), tDefTable.end());
    if (at == stream.end())
        return {};
    for (const QString& change : patch.split(u' ')) {
        const QStringList parts = change.split(u':');
        *(at + parts[0].toInt()) = std::uint8_t(parts[1].toInt());
    }
    cf.setStream("WordDocument", stream);
    return cf.serialize();
}

} // namespace

class tst_WordDocument : public QObject
{
    Q_OBJECT

private slots:
    void normalizeTypedText_data();
    void normalizeTypedText();
    void readsLibreOfficeDocument_data();
    void readsLibreOfficeDocument();
    void storiesCoverTheText_data();
    void storiesCoverTheText();
    void readModelFormatting();
    void readModelStructure_data();
    void readModelStructure();
    void readsDrawings_data();
    void readsDrawings();
    void readModelLook_data();
    void readModelLook();
    void readModelListLabels_data();
    void readModelListLabels();
    void pieceModifiersFormatTheirText();
    void unchangedDocumentWritesItsStreamsBack();
    void insertRoundTrip_data();
    void insertRoundTrip();
    void unicodeReadsBackExactly_data();
    void unicodeReadsBackExactly();
    void lineBreaks_data();
    void lineBreaks();
    void typedTextTakesFormatOfCharacterBefore_data();
    void typedTextTakesFormatOfCharacterBefore();
    void typingAfterAnAnchorIsPlainText();
    void typingInvalidatesOnlyItsParagraphsHeight();
    void bookmarksNotesAndFieldsFollowTheirText();
    void headerAndFooterStay();
    void emptyInsertionChangesNothing();
    void manyRunsFillSeveralFkpPages();
    void positionOutsideMainTextIsRefused_data();
    void positionOutsideMainTextIsRefused();
    void independentReadersSeeInsertedText_data();
    void independentReadersSeeInsertedText();
    void replaceText_data();
    void replaceText();
    void replacedTextTakesTheFormatOfItsSource_data();
    void replacedTextTakesTheFormatOfItsSource();
    void replaceTextRefuses_data();
    void replaceTextRefuses();
    void independentReadersSeeReplacedText_data();
    void independentReadersSeeReplacedText();
    void corruptInputIsRefused_data();
    void corruptInputIsRefused();
    void damagedButReadableInputSavesSoundly_data();
    void damagedButReadableInputSavesSoundly();
    void saveReplacesTheTarget();
    void failedSaveLeavesNothing();
    void loadReportsMissingFile();
    void propertiesRoundTrip_data();
    void propertiesRoundTrip();
    void propertiesKeepWhatElseTheSetHolds_data();
    void propertiesKeepWhatElseTheSetHolds();
    void badPropertiesAreRefused_data();
    void badPropertiesAreRefused();
    void libreOfficeSeesProperties();
};

void tst_WordDocument::normalizeTypedText_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain") << "Corwin"
                           << "Corwin";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("crlf") << "a\r\nb"
                          << "a\vb";
    QTest::newRow("lf") << "a\nb"
                        << "a\vb";
    QTest::newRow("cr") << "a\rb"
                        << "a\vb";
    QTest::newRow("lf cr is two breaks") << "a\n\rb"
                                         << "a\v\vb";
    QTest::newRow("blank line crlf") << "a\r\n\r\nb"
                                     << "a\v\vb";
    QTest::newRow("trailing cr") << "a\r"
                                 << "a\v";
    QTest::newRow("tab kept") << "a\tb"
                              << "a\tb";
    QTest::newRow("controls dropped") << QString::fromUtf16(u"\x01"
                                                            "a\x07\x08\x0b\x0c\x1f"
                                                            "b\x13")
                                      << "ab";
    QTest::newRow("non-latin kept") << QString::fromUtf16(u"Zo\u00eb \u5f20\u4f1f \u20ac")
                                    << QString::fromUtf16(u"Zo\u00eb \u5f20\u4f1f \u20ac");
}

void tst_WordDocument::normalizeTypedText()
{
    QFETCH(QString, typed);
    QFETCH(QString, expected);
    QCOMPARE(show(doc::normalizeTypedText(typed.toStdU16String())), expected);
}

void tst_WordDocument::readsLibreOfficeDocument_data()
{
    QTest::addColumn<QString>("shape");
    QTest::newRow("one UTF-16 piece") << "utf16";
    QTest::newRow("one compressed piece") << "compressed";
    QTest::newRow("four compressed pieces") << "pieces";
}

void tst_WordDocument::readsLibreOfficeDocument()
{
    QFETCH(QString, shape);
    const Bytes bytes = fixture(shape);
    QVERIFY(!bytes.empty());
    try {
        const WordDocument document = WordDocument::parse(bytes);
        QCOMPARE(show(document.mainText()), show(featuresText()));
        QCOMPARE(document.mainTextLength(), std::uint32_t(featuresText().size()));
        // Every shape carries the same formatting.
        const WordDocument reference = WordDocument::parse(fixture(QStringLiteral("utf16")));
        QVERIFY(formats(document.readModel()) == formats(reference.readModel()));
    } catch (const doc::Error& e) {
        QFAIL(e.what());
    }
}

void tst_WordDocument::storiesCoverTheText_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("stories"); // each as "story number|its text"
    QTest::newRow("headers") << "word-header.doc"
                             << QStringList{
                                    QStringLiteral("0|First body paragraph.\rSecond body paragraph.\r"),
                                    QStringLiteral("2|Running header\r\rRunning footer\r\r\r\r\r\r\r")};
    QTest::newRow("footnote and comment") << "word-features.doc"
                                          << QStringList{QStringLiteral("0|") + show(featuresText()),
                                                         QStringLiteral("1|\x02") + "Footnote text.\r\r",
                                                         QStringLiteral("4|\x05") + "A comment.\r\r"};
}

void tst_WordDocument::storiesCoverTheText()
{
    QFETCH(QString, file);
    QFETCH(QStringList, stories);
    const WordDocument document = WordDocument::load(fsPath(dataPath(file)));
    const std::u16string text = document.text();
    QStringList found;
    std::uint32_t next = 0;
    for (const auto& story : document.stories()) {
        QCOMPARE(story.start, next);
        next = story.start + story.length;
        found << QString::number(int(story.story)) + u'|' + show(text.substr(story.start, story.length));
    }
    QCOMPARE(found, stories);
    // The closing paragraph mark after the last story.
    QCOMPARE(show(text.substr(next)), QStringLiteral("\r"));
}

void tst_WordDocument::readModelFormatting()
{
    const WordDocument document = WordDocument::load(fsPath(dataPath(QStringLiteral("word-features.doc"))));
    const doc::ReadModel model = document.readModel();
    QCOMPARE(model.paragraphs.size(), std::size_t(4));

    const auto& heading = model.paragraphs[0];
    QCOMPARE(show(heading.text), show(kHeading));
    QCOMPARE(heading.alignment, doc::Paragraph::Alignment::Center);
    QCOMPARE(heading.spaceAfter, 144);
    QCOMPARE(heading.runs.size(), std::size_t(1));
    QCOMPARE(heading.runs[0].fontName, std::string("Arial"));
    QCOMPARE(heading.runs[0].sizePt, 16.0);
    QVERIFY(heading.runs[0].bold);
    QVERIFY(heading.markFormat.bold);

    const auto& second = model.paragraphs[1];
    QCOMPARE(show(second.text), show(kSecond));
    QCOMPARE(second.alignment, doc::Paragraph::Alignment::Left);
    std::vector<std::pair<std::u16string, std::pair<bool, bool>>> runs;
    for (const auto& r : second.runs)
        runs.push_back({second.text.substr(r.start, r.length), {r.bold, r.italic}});
    QVERIFY(std::find(runs.begin(), runs.end(), std::pair{std::u16string(u"bold"), std::pair{true, false}}) !=
            runs.end());
    QVERIFY(std::find(runs.begin(), runs.end(),
                      std::pair{std::u16string(u"italic"), std::pair{false, true}}) != runs.end());
    std::uint32_t covered = 0;
    for (const auto& r : second.runs) {
        QCOMPARE(r.start, covered);
        covered += r.length;
        QCOMPARE(r.fontName, std::string("Times New Roman"));
        QCOMPARE(r.sizePt, 12.0);
    }
    QCOMPARE(covered, std::uint32_t(second.text.size()));

    const auto& third = model.paragraphs[2];
    QCOMPARE(third.leftIndent, 720);
    QCOMPARE(third.tabs.size(), std::size_t(1));
    // The source sets the stop 2 in from the 0.5 in indent; Word measures from the margin.
    QCOMPARE(third.tabs[0].position, 3600);
    QCOMPARE(third.tabs[0].alignment, doc::TabStop::Alignment::Left);

    QCOMPARE(model.section().pageWidth, 11906);
    QCOMPARE(model.section().pageHeight, 16838);
    QCOMPARE(model.section().marginLeft, 1134);
    QCOMPARE(model.section().marginTop, 1134);
    QCOMPARE(model.section().defaultTabWidth, 720);
}

void tst_WordDocument::readModelStructure_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>(
        "patch"); // changes to the first row's cell definitions, see withFirstRowPatched
    QTest::addColumn<QString>("what");
    QTest::addColumn<QString>("expected");
    const QString tables = QStringLiteral("structure-tables.doc");
    QTest::newRow("tables among paragraphs") << tables << ""
                                             << "blocks"
                                             << "P T P T P T P";
    QTest::newRow("cell edges, merged across in one cell")
        << tables << ""
        << "edges 0"
        << "0-2880 2880-5760 5760-8640 | 0-5760 5760-8640 | 0-2880 2880-5760 5760-8640 | 0-2880 2880-5760 "
           "5760-8640";
    QTest::newRow("repeated heading row, fixed row kept whole") << tables << ""
                                                                << "rows 0"
                                                                << "0h 0 -720k 0";
    QTest::newRow("bordered cell with margins") << tables << ""
                                                << "cell 0 0 0"
                                                << "Heading one; merge 0, align 0, fill ff000000, margins 72 "
                                                   "72 72 72, borders 0.5pt 000000 0.5pt 000000 "
                                                   "0.5pt 000000 0.5pt 000000";
    QTest::newRow("merged down, shaded and centred")
        << tables << ""
        << "cell 0 1 1"
        << "Down two; merge 1, align 1, fill ffff00, margins 72 72 72 72, borders 0.5pt 000000 0.5pt 000000 "
           "0.5pt 000000 0.5pt 000000";
    QTest::newRow("part of the cell above")
        << tables << ""
        << "cell 0 2 2"
        << "; merge 2, align 1, fill ffff00, margins 72 72 72 72, borders "
           "0.5pt 000000 0.5pt 000000 0.5pt 000000 0.5pt 000000";
    QTest::newRow("table in a cell") << tables << ""
                                     << "nested 0 3 1"
                                     << "P T P: In one In two";
    QTest::newRow("centred borderless table")
        << tables << ""
        << "cell 1 0 1"
        << "Right; merge 0, align 0, fill ff000000, margins 0 0 0 0, borders "
           "none none none none";
    QTest::newRow("centred table's edges") << tables << ""
                                           << "edges 1"
                                           << "2520-4680 4680-6840";
    // TC80s follow the sprm (2 bytes), cb (2), the count (1) and four edges (8): 20 bytes each.
    QTest::newRow("cells Word merged across are one") << tables << "13:3 33:1"
                                                      << "edges 0 0"
                                                      << "0-5760 5760-8640";
    QTest::newRow("cells merged across the other way round") << tables << "13:1 33:2"
                                                             << "edges 0 0"
                                                             << "0-5760 5760-8640";
    QTest::newRow("a row its mark does not define is paragraphs") << tables << "4:1"
                                                                  << "blocks"
                                                                  << "P P P P T P T P T P";
    QTest::newRow("a wide row's properties from the Data stream")
        << tables << ""
        << "cell 2 0 23"
        << "24; merge 0, align 0, fill ffff00, margins 0 0 0 0, borders 0.5pt 000000 0.5pt 000000 0.5pt "
           "000000 "
           "0.5pt 000000";
    const QString sections = QStringLiteral("structure-sections.doc");
    QTest::newRow("sections with their pages")
        << sections << ""
        << "sections"
        << "12240x15840 1860/1440/1860/1440 1440/1440 start 2 title 1 first 0 blocks 3 | 15840x12240 "
           "1500/1080/1080/1080 1080/720 start 2 title 0 first 5 blocks 4 facing";
    QTest::newRow("first, odd and even headers")
        << sections << ""
        << "headers 0"
        << "Even header|Odd header|Plain footer|Plain footer|First header|";
    QTest::newRow("a section's own header, an empty footer of its own") << sections << ""
                                                                        << "headers 1"
                                                                        << "Wide header|Wide header||||";
    QTest::newRow("merged across three columns") << "layout-tables.doc"
                                                 << ""
                                                 << "edges 0 37"
                                                 << "0-7653 7653-9354";
    QTest::newRow("merged down and aligned")
        << "layout-tables.doc"
        << ""
        << "cell 0 9 2"
        << "on completion of both slopes; merge 1, align 1, fill ff000000, margins 28 85 28 85, borders "
           "0.25pt 000000 0.25pt 000000 0.25pt 000000 0.25pt 000000";
    QTest::newRow("corpus table in a cell")
        << "layout-tables.doc"
        << ""
        << "nested 1 0 0"
        << "P T P: Line Colour Timberline HDZ Charcoal Duration Storm Driftwood";
    QTest::newRow("corpus sections") << "layout-sections.doc"
                                     << ""
                                     << "paper"
                                     << "12240x15840/2 15840x12240/2 12240x15840/2";
    QTest::newRow("corpus letterhead")
        << "layout-headers.doc"
        << ""
        << "headers 0"
        << "NORTHWIND BUILDING SERVICES LLC|NORTHWIND BUILDING SERVICES LLC|Page \x13 PAGE \x14"
           "1\x15 of \x13 NUMPAGES \x14"
           "3\x15|Page \x13 PAGE \x14"
           "1\x15 of \x13 NUMPAGES \x14"
           "3\x15||";
}

void tst_WordDocument::readModelStructure()
{
    QFETCH(QString, file);
    QFETCH(QString, patch);
    QFETCH(QString, what);
    QFETCH(QString, expected);
    Bytes bytes = readFile(dataPath(file));
    if (!patch.isEmpty())
        bytes = withFirstRowPatched(bytes, patch);
    QCOMPARE(structureFact(WordDocument::parse(bytes).readModel(), what), expected);
}

void tst_WordDocument::readModelLook_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("paragraph");
    QTest::addColumn<QString>("words"); // the run's; empty for the paragraph's own look
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("expected");
    const QString look = QStringLiteral("layout-look.doc");
    const QString extras = QStringLiteral("look-extras.doc");
    const QString super = QString::number(int(doc::CharacterRun::Position::Superscript));
    const QString sub = QString::number(int(doc::CharacterRun::Position::Subscript));
    QTest::newRow("superscript") << look << 1 << "th"
                                 << "position" << super;
    QTest::newRow("subscript") << look << 10 << "2"
                               << "position" << sub;
    QTest::newRow("small capitals") << look << 1 << "Northwind Building Services LLC"
                                    << "smallCaps"
                                    << "1";
    QTest::newRow("all capitals") << look << 1 << "Margaret Ellison-Whitfield"
                                  << "allCaps"
                                  << "1";
    QTest::newRow("struck") << look << 8 << "$17,900.00"
                            << "strike"
                            << "1";
    QTest::newRow("double struck") << extras << 0 << "$900"
                                   << "doubleStrike"
                                   << "1";
    QTest::newRow("hidden") << look << 8 << "Internal note: margin 22 percent, do not print. "
                            << "hidden"
                            << "1";
    QTest::newRow("spaced out") << look << 11 << "IMPORTANT"
                                << "spacing"
                                << "57";
    QTest::newRow("condensed") << look << 11 << "twenty-four hours"
                               << "spacing"
                               << "-11";
    QTest::newRow("kerned") << look << 11 << "IMPORTANT"
                            << "kerning"
                            << "1";
    QTest::newRow("colour") << extras << 0 << "overdue"
                            << "color"
                            << "#c00000";
    QTest::newRow("shaded characters") << look << 8 << "$18,450.00"
                                       << "highlight"
                                       << "#ffff00";
    QTest::newRow("keep with next") << look << 3 << ""
                                    << "keepWithNext"
                                    << "1";
    QTest::newRow("keep together") << extras << 1 << ""
                                   << "keepTogether"
                                   << "1";
    QTest::newRow("widows allowed") << extras << 1 << ""
                                    << "widowControl"
                                    << "0";
    QTest::newRow("page break before") << extras << 7 << ""
                                       << "pageBreakBefore"
                                       << "1";
    QTest::newRow("shading") << look << 2 << ""
                             << "shading"
                             << "#fff2cc";
    QTest::newRow("box border") << look << 2 << ""
                                << "borderRight"
                                << "single 1.5pt #000000";
    QTest::newRow("bottom rule") << look << 1 << ""
                                 << "borderBottom"
                                 << "single 0.75pt #808080";
    QTest::newRow("dotted border") << extras << 7 << ""
                                   << "borderLeft"
                                   << "dotted 1pt #ff0000";
}

void tst_WordDocument::readModelLook()
{
    QFETCH(QString, file);
    QFETCH(int, paragraph);
    QFETCH(QString, words);
    QFETCH(QString, field);
    QFETCH(QString, expected);
    const doc::ReadModel model = WordDocument::load(fsPath(dataPath(file))).readModel();
    QVERIFY(std::size_t(paragraph) < model.paragraphs.size());
    QCOMPARE(lookField(model.paragraphs[std::size_t(paragraph)], words, field), expected);
}

void tst_WordDocument::readModelListLabels_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("paragraph");
    QTest::addColumn<QString>("label");
    QTest::addColumn<int>("alignment");
    QTest::addColumn<int>("follow");
    QTest::addColumn<QString>("font");
    const QString lists = QStringLiteral("layout-lists.doc");
    const QString extras = QStringLiteral("look-extras.doc");
    const int left = int(doc::ListLabel::Alignment::Left);
    const int right = int(doc::ListLabel::Alignment::Right);
    const int tab = int(doc::ListLabel::Follow::Tab);
    const int space = int(doc::ListLabel::Follow::Space);
    const QString serif = QStringLiteral("Times New Roman");
    // The labels as LibreOffice shows them, but for the Wingdings bullet, which it lacks.
    QTest::newRow("capital roman in a heading") << lists << 1 << "Article I." << left << space << "Arial";
    QTest::newRow("decimal") << lists << 2 << "1." << left << tab << serif;
    QTest::newRow("letter below it") << lists << 3 << "a)" << left << tab << serif;
    QTest::newRow("roman below that") << lists << 7 << "iii)" << left << tab << serif;
    QTest::newRow("back up a level") << lists << 9 << "2." << left << tab << serif;
    QTest::newRow("lower level restarts") << lists << 11 << "a)" << left << tab << serif;
    QTest::newRow("counts on past other lists") << lists << 26 << "7." << left << tab << serif;
    QTest::newRow("Symbol bullet") << lists << 18 << QString::fromUtf16(u"\u2022") << left << tab << serif;
    QTest::newRow("another list starts at one") << lists << 32 << "1." << left << tab << serif;
    QTest::newRow("capital letters right aligned") << extras << 3 << "B." << right << tab << serif;
    QTest::newRow("restarted at four") << extras << 4 << "D." << right << tab << serif;
    QTest::newRow("list beside the restart counts on") << extras << 5 << "C." << right << tab << serif;
    QTest::newRow("Wingdings square")
        << extras << 6 << QString::fromUtf16(u"\u25AA") << left << space << serif;
}

void tst_WordDocument::readModelListLabels()
{
    QFETCH(QString, file);
    QFETCH(int, paragraph);
    QFETCH(QString, label);
    QFETCH(int, alignment);
    QFETCH(int, follow);
    QFETCH(QString, font);
    const doc::ReadModel model = WordDocument::load(fsPath(dataPath(file))).readModel();
    QVERIFY(std::size_t(paragraph) < model.paragraphs.size());
    const auto& list = model.paragraphs[std::size_t(paragraph)].list;
    QVERIFY(list);
    QCOMPARE(show(list->text), label);
    QCOMPARE(int(list->alignment), alignment);
    QCOMPARE(int(list->follow), follow);
    QCOMPARE(QString::fromStdString(list->format.fontName), font);
}

void tst_WordDocument::readsDrawings_data()
{
    QTest::addColumn<QString>("file");
    // The Data stream: as written, "cut" empty, "own" and "cropped" see withOwnBlip.
    QTest::addColumn<QString>("data");
    QTest::addColumn<QStringList>("objects");
    const QStringList floating{"0@0 page/page none picture PNG 907x907",
                               "3@0 column/paragraph square picture JPEG 2721x1870",
                               "9@0 column/paragraph top and bottom picture PNG 4535x680",
                               "15@0 column/paragraph top and bottom picture WMF 3401x2041"};
    QTest::newRow("pictures in the line and floating")
        << "layout-pictures.doc"
        << "" << QStringList{"0@11 inline PNG 2042x681"} + floating;
    QTest::newRow("a picture in the line with its own blip, scaled")
        << "layout-pictures.doc"
        << "own" << QStringList{"0@11 inline JPEG 1021x340"} + floating;
    QTest::newRow("a picture in the line, cropped")
        << "layout-pictures.doc"
        << "cropped" << QStringList{"0@11 inline JPEG 510x340 cropped 0.5/0/0/0"} + floating;
    QTest::newRow("a picture in the line, its shape cropped")
        << "look-extras.doc"
        << "" << QStringList{"8@17 inline PNG 451x300 cropped 0/0/0.250458/0"};
    const QString unsized = QString::number(doc::kUnsizedPicture);
    QTest::newRow("a picture past a cut Data stream kept, of no size known")
        << "layout-pictures.doc"
        << "cut" << QStringList{"0@11 inline unknown " + unsized + u'x' + unsized} + floating;
    // LibreOffice's text boxes: no inner margins, its blue outline and fill.
    const QString look = " inside 0/0/0/0 outline 3465a4 0.75pt fill 729fcf";
    QTest::newRow("text boxes on the page and by a paragraph")
        << "layout-textboxes.doc"
        << ""
        << QStringList{"3@0 page/page top and bottom text box of 3: NORTHWIND BUILDING SERVICES LLC" + look,
                       "9@0 column/paragraph square text box of 4: Owner: Margaret Ellison-Whitfield" + look};
    QTest::newRow("text boxes in the text and the header")
        << "word-stories.doc"
        << ""
        << QStringList{"1@0 column/paragraph top and bottom text box of 1: Box {{Owner}}" + look,
                       "4@0 column/paragraph top and bottom text box of 1: Corner {{Owner}}" + look};
}

void tst_WordDocument::readsDrawings()
{
    QFETCH(QString, file);
    QFETCH(QString, data);
    QFETCH(QStringList, objects);
    Bytes bytes = readFile(dataPath(file));
    if (!data.isEmpty()) {
        doc::CompoundFile cf = doc::CompoundFile::parse(bytes);
        cf.setStream("Data", data == QLatin1String("cut")
                                 ? Bytes()
                                 : withOwnBlip(cf.stream("Data"), data == QLatin1String("cropped")));
        bytes = cf.serialize();
    }
    QCOMPARE(drawingObjects(WordDocument::parse(bytes).readModel()), objects);
}

void tst_WordDocument::pieceModifiersFormatTheirText()
{
    // Pieces [5, 40) bold by a Prm0, [40, 60) italic and [60, end) underlined by Prm1s
    // naming the Clx's first and second Prc.
    const Bytes prcs = {0x01, 3, 0, 0x36, 0x08, 0x01, 0x01, 3, 0, 0x3E, 0x2A, 0x01};
    const auto bytes =
        compressPieces(fixture(QStringLiteral("utf16")), {5, 40, 60}, {0, 0x01AA, 0x0001, 0x0003}, prcs);
    QVERIFY(bytes);
    WordDocument document = WordDocument::parse(*bytes);
    const auto base = formats(WordDocument::parse(fixture(QStringLiteral("utf16"))).readModel());
    const std::size_t second = kHeading.size() + 1;
    const auto check = [&](const WordDocument& d, std::size_t typedAt, std::size_t typedCount) {
        const auto all = formats(d.readModel());
        const auto original = [&](std::size_t i) {
            return i < typedAt ? i : std::max(i - typedCount, typedAt - 1);
        };
        for (std::size_t i = second; i < second + kSecond.size(); ++i) {
            const std::size_t o = original(i);
            QCOMPARE(all[i].bold, base[o].bold || o < 40);
            QCOMPARE(all[i].italic, base[o].italic || (o >= 40 && o < 60));
            QCOMPARE(all[i].underline, base[o].underline || o >= 60);
        }
    };
    check(document, std::size_t(-1), 0);
    document.insertText(45, u"ital");
    const WordDocument reread = WordDocument::parse(document.serialize());
    check(reread, 45, 4);
}

void tst_WordDocument::unchangedDocumentWritesItsStreamsBack()
{
    const Bytes bytes = readFile(templatePath());
    const WordDocument document = WordDocument::parse(bytes);
    QVERIFY(streams(document.serialize()) == streams(bytes));
}

void tst_WordDocument::insertRoundTrip_data()
{
    QTest::addColumn<QString>("shape");
    QTest::addColumn<int>("cp");
    QTest::addColumn<QString>("text");
    const int secondStart = int(kHeading.size()) + 1;
    const int thirdStart = secondStart + int(kSecond.size()) + 1;
    const int lastMark = int(featuresText().size()) - 1;
    const QString unicode = QString::fromUtf16(u"Zo\u00eb \u5f20\u4f1f \u20ac");
    for (const QString& shape :
         {QStringLiteral("utf16"), QStringLiteral("compressed"), QStringLiteral("pieces")}) {
        const QByteArray s = shape.toLatin1();
        QTest::newRow(s + " at 0") << shape << 0 << "Start ";
        QTest::newRow(s + " in bold") << shape << secondStart + 8 << "BOLD";
        QTest::newRow(s + " at piece boundary") << shape << 40 << "edge";
        QTest::newRow(s + " before footnote ref") << shape << secondStart + 28 << " more";
        QTest::newRow(s + " in bookmark") << shape << thirdStart + 9 << "ZZ";
        QTest::newRow(s + " before field") << shape << thirdStart + 25 << "p. ";
        QTest::newRow(s + " before last mark") << shape << lastMark << " The end.";
        QTest::newRow(s + " unicode mid") << shape << secondStart + 3 << unicode;
    }
}

void tst_WordDocument::insertRoundTrip()
{
    QFETCH(QString, shape);
    QFETCH(int, cp);
    QFETCH(QString, text);
    const Bytes original = fixture(shape);
    try {
        WordDocument document = WordDocument::parse(original);
        const auto before = formats(document.readModel());
        const std::u16string typed = text.toStdU16String();
        QCOMPARE(document.insertText(std::uint32_t(cp), typed), std::uint32_t(typed.size()));

        std::u16string expected = featuresText();
        expected.insert(std::size_t(cp), typed);
        QCOMPARE(show(document.mainText()), show(expected));

        const Bytes saved = document.serialize();
        const QString fault = wordStructureFault(saved);
        QVERIFY2(fault.isEmpty(), qPrintable(fault));
        const WordDocument reread = WordDocument::parse(saved);
        QCOMPARE(show(reread.mainText()), show(expected));
        QCOMPARE(reread.mainTextLength(), std::uint32_t(expected.size()));

        // Formatting: the old characters keep theirs, the typed ones take the one before.
        const auto after = formats(reread.readModel());
        QCOMPARE(after.size(), before.size() + typed.size());
        const std::size_t source = cp > 0 ? std::size_t(cp) - 1 : 0;
        for (std::size_t i = 0; i < after.size(); ++i) {
            const std::size_t old =
                i < std::size_t(cp) ? i : (i < cp + typed.size() ? source : i - typed.size());
            QVERIFY2(after[i] == before[old], qPrintable(QStringLiteral("format of character %1").arg(i)));
        }
        QCOMPARE(reread.readModel().paragraphs.size(), document.readModel().paragraphs.size());

        // Only the WordDocument and table streams change.
        auto savedStreams = streams(saved);
        auto originalStreams = streams(original);
        QCOMPARE(savedStreams.size(), originalStreams.size());
        for (const auto& [path, data] : originalStreams) {
            if (path == "WordDocument" || path == "1Table" || path == "0Table")
                continue;
            QVERIFY2(savedStreams[path] == data, path.c_str());
        }

        // The footnote story and the field result survive.
        const auto converted = readWith(Reader::Antiword, saved, nullptr);
        if (converted) {
            QVERIFY2(converted->contains(QStringLiteral("Footnote text.")), qPrintable(*converted));
            QVERIFY2(converted->contains(QStringLiteral(" end.")), qPrintable(*converted));
        }
    } catch (const doc::Error& e) {
        QFAIL(e.what());
    }
}

void tst_WordDocument::unicodeReadsBackExactly_data()
{
    QTest::addColumn<QString>("shape");
    QTest::newRow("UTF-16 piece") << "utf16";
    QTest::newRow("compressed piece") << "compressed";
}

void tst_WordDocument::unicodeReadsBackExactly()
{
    QFETCH(QString, shape);
    const std::u16string name = u"Zo\u00eb \u00d8deg\u00e5rd \u5f20\u4f1f \u20ac \u201cquoted\u201d";
    WordDocument document = WordDocument::parse(fixture(shape));
    document.insertText(6, name);
    const WordDocument reread = WordDocument::parse(document.serialize());
    QCOMPARE(show(reread.mainText().substr(6, name.size())), show(name));
    QVERIFY(reread.mainText().find(u'?') == std::u16string::npos);
}

void tst_WordDocument::lineBreaks_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored");
    QTest::newRow("crlf") << "one\r\ntwo\r\nthree"
                          << "one\vtwo\vthree";
    QTest::newRow("lf") << "one\ntwo\nthree"
                        << "one\vtwo\vthree";
    QTest::newRow("cr") << "one\rtwo\rthree"
                        << "one\vtwo\vthree";
    QTest::newRow("mixed") << "a\r\n\nb\r"
                           << "a\v\vb\v";
}

void tst_WordDocument::lineBreaks()
{
    QFETCH(QString, typed);
    QFETCH(QString, stored);
    WordDocument document = WordDocument::parse(fixture(QStringLiteral("utf16")));
    const std::uint32_t cp = std::uint32_t(kHeading.size()) + 1;
    const std::uint32_t count = document.insertText(cp, typed.toStdU16String());
    QCOMPARE(count, std::uint32_t(stored.size()));
    const WordDocument reread = WordDocument::parse(document.serialize());
    QCOMPARE(show(reread.mainText().substr(cp, count)), stored);
    // A line break is not a paragraph mark: the paragraph count stays.
    QCOMPARE(reread.readModel().paragraphs.size(), std::size_t(4));
}

void tst_WordDocument::typedTextTakesFormatOfCharacterBefore_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("cp");
    QTest::addColumn<bool>("bold");
    QTest::addColumn<bool>("italic");
    QTest::addColumn<double>("size");
    const QString features = dataPath(QStringLiteral("word-features.doc"));
    const int second = int(kHeading.size()) + 1;
    QTest::newRow("end of bold heading") << features << int(kHeading.size()) << true << false << 16.0;
    QTest::newRow("start of heading") << features << 0 << true << false << 16.0;
    QTest::newRow("after bold word") << features << second + 10 << true << false << 12.0;
    QTest::newRow("before bold word") << features << second + 6 << false << false << 12.0;
    QTest::newRow("after italic word") << features << second + 21 << false << true << 12.0;
    QTest::newRow("template title") << templatePath() << 10 << true << false << 18.0;
    QTest::newRow("template body") << templatePath() << 141 << false << false << 12.0;
}

void tst_WordDocument::typedTextTakesFormatOfCharacterBefore()
{
    QFETCH(QString, path);
    QFETCH(int, cp);
    QFETCH(bool, bold);
    QFETCH(bool, italic);
    QFETCH(double, size);
    WordDocument document = WordDocument::load(fsPath(path));
    document.insertText(std::uint32_t(cp), u"XYZ");
    const WordDocument reread = WordDocument::parse(document.serialize());
    const auto all = formats(reread.readModel());
    for (std::size_t i = std::size_t(cp); i < std::size_t(cp) + 3; ++i) {
        QCOMPARE(all[i].bold, bold);
        QCOMPARE(all[i].italic, italic);
        QCOMPARE(all[i].size, size);
    }
}

void tst_WordDocument::typingAfterAnAnchorIsPlainText()
{
    // Position 1 of the template follows the anchor of its floating shape; the typed text
    // must come out as ordinary text, not as further anchors.
    WordDocument document = WordDocument::load(fsPath(templatePath()));
    document.insertText(1, u"Draft ");
    const Bytes saved = document.serialize();
    const WordDocument reread = WordDocument::parse(saved);
    QCOMPARE(show(reread.mainText().substr(0, 7)), show(u"\x08"
                                                        u"Draft "));
    const auto text = readWith(Reader::Antiword, saved, nullptr);
    if (!text)
        QSKIP("antiword is not installed");
    QVERIFY2(text->contains(QStringLiteral("Draft Contractor Agreement")), qPrintable(*text));
}

void tst_WordDocument::typingInvalidatesOnlyItsParagraphsHeight()
{
    // Give every paragraph a cached height (PHE), as Word does.
    doc::CompoundFile file = doc::CompoundFile::parse(fixture(QStringLiteral("utf16")));
    Bytes wd = file.stream("WordDocument");
    const std::string tname = tableName(wd);
    forEachBxPap(wd, file.stream(tname), [&wd](std::size_t, std::size_t bx) {
        for (std::size_t k = 1; k < 13; ++k)
            wd[bx + k] = std::uint8_t(k);
    });
    file.setStream("WordDocument", wd);

    WordDocument document = WordDocument::parse(file.serialize());
    document.insertText(std::uint32_t(kHeading.size()) + 4, u"typed");
    const doc::CompoundFile saved = doc::CompoundFile::parse(document.serialize());
    const Bytes& savedWd = saved.stream("WordDocument");
    std::vector<bool> zeroed;
    forEachBxPap(savedWd, saved.stream(tname), [&](std::size_t, std::size_t bx) {
        zeroed.push_back(std::all_of(savedWd.begin() + std::ptrdiff_t(bx + 1),
                                     savedWd.begin() + std::ptrdiff_t(bx + 13),
                                     [](std::uint8_t b) { return b == 0; }));
    });
    QVERIFY(zeroed.size() >= 4);
    QCOMPARE(zeroed[0], false);
    QCOMPARE(zeroed[1], true);
    QCOMPARE(std::count(zeroed.begin(), zeroed.end(), true), 1);
}

void tst_WordDocument::bookmarksNotesAndFieldsFollowTheirText()
{
    WordDocument document = WordDocument::parse(fixture(QStringLiteral("utf16")));
    const std::uint32_t second = std::uint32_t(kHeading.size()) + 1;
    const std::uint32_t third = second + std::uint32_t(kSecond.size()) + 1;
    // From the back, so each position refers to the fixture as committed.
    const std::uint32_t fourth = third + std::uint32_t(kThird.size()) + 1;
    document.insertText(fourth + 5 + 9, u"Y"); // at the commented range's end, before its mark: joins it
    document.insertText(fourth + 5, u"X");     // at its start: goes inside
    document.insertText(third + 25, u"No. ");  // right before the field's begin mark
    document.insertText(third + 13, u"!");     // at the bookmark's end: stays outside
    document.insertText(third + 7, u"<");      // at the bookmark's start: goes inside
    document.insertText(third + 2, u"XX");
    document.insertText(second + 28, u"++"); // right before the footnote reference
    const auto xml = libreOfficeFlatXml(document.serialize());
    if (!xml)
        QSKIP("LibreOffice is not installed");
    QVERIFY2(xml->contains(
                 QStringLiteral("words.++<text:span text:style-name=\"Footnote_20_anchor\"><text:note ")),
             qPrintable(*xml));
    QVERIFY2(xml->contains(QStringLiteral("BeXXfore <text:bookmark-start text:name=\"mark\"/>&lt;marked"
                                          "<text:bookmark-end text:name=\"mark\"/>! after<text:tab/>page No. "
                                          "<text:page-number")),
             qPrintable(*xml));
    // The commented range keeps its start and grows with the text typed at its end.
    QString withoutComments = *xml;
    withoutComments.replace(QRegularExpression(QStringLiteral("<office:annotation .*</office:annotation>"),
                                               QRegularExpression::DotMatchesEverythingOption |
                                                   QRegularExpression::InvertedGreedinessOption),
                            QStringLiteral("[comment]"));
    QVERIFY2(withoutComments.contains(QRegularExpression(QStringLiteral(
                 "Last \\[comment\\]XparagraphY<office:annotation-end office:name=\"[^\"]+\"/>\\."))),
             qPrintable(withoutComments));
}

void tst_WordDocument::headerAndFooterStay()
{
    WordDocument document = WordDocument::load(fsPath(dataPath(QStringLiteral("word-header.doc"))));
    document.insertText(6, u"long ");
    const Bytes saved = document.serialize();
    QCOMPARE(show(WordDocument::parse(saved).mainText()),
             show(u"First long body paragraph.\rSecond body paragraph.\r"));
    bool anyReader = false;
    if (const auto wv = readWith(Reader::WvText, saved, nullptr)) {
        anyReader = true;
        QVERIFY2(wv->contains(QStringLiteral("First long body paragraph.")), qPrintable(*wv));
        QVERIFY2(wv->contains(QStringLiteral("Running header")), qPrintable(*wv));
        QVERIFY2(wv->contains(QStringLiteral("Running footer")), qPrintable(*wv));
    }
    if (const auto xml = libreOfficeFlatXml(saved)) {
        anyReader = true;
        QVERIFY2(xml->contains(QRegularExpression(QStringLiteral("<style:header>.*Running header</text:p>"),
                                                  QRegularExpression::DotMatchesEverythingOption)),
                 qPrintable(*xml));
        QVERIFY2(xml->contains(QRegularExpression(QStringLiteral("<style:footer>.*Running footer</text:p>"),
                                                  QRegularExpression::DotMatchesEverythingOption)),
                 qPrintable(*xml));
    }
    if (!anyReader)
        QSKIP("neither wvText nor LibreOffice is installed");
}

void tst_WordDocument::manyRunsFillSeveralFkpPages()
{
    // Each text typed after the anchor at 0 gets properties of its own: hundreds of
    // character runs, more than one ChpxFkp holds.
    WordDocument document = WordDocument::parse(readFile(templatePath()));
    std::u16string expected = document.mainText();
    for (int i = 0; i < 300; ++i) {
        document.insertText(1, u"x");
        expected.insert(1, u"x");
    }
    const Bytes saved = document.serialize();
    const QString fault = wordStructureFault(saved);
    QVERIFY2(fault.isEmpty(), qPrintable(fault));
    const Bytes wd = doc::CompoundFile::parse(saved).stream("WordDocument");
    const std::uint32_t lcbPlcfBteChpx = le32(wd, fcLcbOffset(wd, kPlcfBteChpx) + 4);
    QVERIFY2((lcbPlcfBteChpx - 4) / 8 >= 3, qPrintable(QString::number(lcbPlcfBteChpx)));
    QCOMPARE(show(WordDocument::parse(saved).mainText()), show(expected));
}

void tst_WordDocument::emptyInsertionChangesNothing()
{
    const Bytes original = readFile(templatePath());
    WordDocument document = WordDocument::parse(original);
    QCOMPARE(document.insertText(141, u""), 0u);
    QCOMPARE(document.insertText(141, u"\x01\x02"), 0u);
    QCOMPARE(document.mainTextLength(), 693u);
    QVERIFY(streams(document.serialize()) == streams(original));
}

void tst_WordDocument::positionOutsideMainTextIsRefused_data()
{
    QTest::addColumn<int>("cp");
    QTest::newRow("after the last mark") << 693;
    QTest::newRow("far past") << 100000;
}

void tst_WordDocument::positionOutsideMainTextIsRefused()
{
    QFETCH(int, cp);
    WordDocument document = WordDocument::load(fsPath(templatePath()));
    try {
        document.insertText(std::uint32_t(cp), u"x");
        QFAIL("insertion accepted");
    } catch (const doc::Error& e) {
        QCOMPARE(e.kind(), doc::Error::Kind::BadArgument);
    }
    QCOMPARE(document.mainTextLength(), 693u);
}

void tst_WordDocument::independentReadersSeeInsertedText_data()
{
    QTest::addColumn<QString>("shape");
    QTest::addColumn<int>("reader");
    for (const QString& shape :
         {QStringLiteral("utf16"), QStringLiteral("compressed"), QStringLiteral("pieces")}) {
        QTest::newRow(qPrintable(shape + " antiword")) << shape << int(Reader::Antiword);
        QTest::newRow(qPrintable(shape + " wvText")) << shape << int(Reader::WvText);
        QTest::newRow(qPrintable(shape + " LibreOffice")) << shape << int(Reader::LibreOffice);
    }
}

void tst_WordDocument::independentReadersSeeInsertedText()
{
    QFETCH(QString, shape);
    QFETCH(int, reader);
    WordDocument document = WordDocument::parse(fixture(shape));
    const std::uint32_t second = std::uint32_t(kHeading.size()) + 1;
    // Later insertions first, so every position refers to the fixture as committed.
    document.insertText(std::uint32_t(featuresText().size()) - 1, u" Appended at the end");
    document.insertText(second + 10, u" (strong)");
    document.insertText(second, u"Inserted first ");
    const auto text = readWith(Reader(reader), document.serialize(), nullptr);
    if (!text)
        QSKIP("reader not installed");
    const QString flat = QString(*text).replace(QLatin1Char('\n'), QLatin1Char(' ')).simplified();
    QVERIFY2(flat.contains(QStringLiteral("Inserted first Plain bold (strong) and italic words.")),
             qPrintable(flat));
    // Readers show the comment's mark in their own way, or not at all.
    QVERIFY2(
        flat.contains(QRegularExpression(QStringLiteral("Last paragraph.{0,12}\\. Appended at the end"))),
        qPrintable(flat));
    QVERIFY2(flat.contains(QStringLiteral("Features Heading")), qPrintable(flat));
}

namespace
{

// Where the occurrence-th (from 0) needle stands in a document's text(); past the text when
// it does not.
std::uint32_t placeOf(const WordDocument& document, const QString& needle, int occurrence = 0)
{
    const std::u16string text = document.text();
    const std::u16string n = needle.toStdU16String();
    std::size_t at = text.find(n);
    for (int i = 0; i < occurrence && at != std::u16string::npos; ++i)
        at = text.find(n, at + 1);
    return at == std::u16string::npos ? std::uint32_t(text.size()) : std::uint32_t(at);
}

// A PLC of a document, by Fib index: its CPs and the first byte of each entry.
struct Plc {
    std::vector<std::uint32_t> cps;
    Bytes firstBytes;
};

Plc plcOf(const Bytes& file, std::size_t fibIndex, std::size_t cbData)
{
    const doc::CompoundFile cf = doc::CompoundFile::parse(file);
    const Bytes wd = cf.stream("WordDocument");
    const Bytes table = cf.stream(tableName(wd));
    const std::uint32_t fc = le32(wd, fcLcbOffset(wd, fibIndex));
    const std::uint32_t lcb = le32(wd, fcLcbOffset(wd, fibIndex) + 4);
    Plc plc;
    if (lcb == 0)
        return plc;
    const std::size_t n = (lcb - 4) / (4 + cbData);
    for (std::size_t i = 0; i <= n; ++i)
        plc.cps.push_back(le32(table, fc + 4 * i));
    for (std::size_t i = 0; i < n; ++i)
        plc.firstBytes.push_back(table[fc + 4 * (n + 1) + cbData * i]);
    return plc;
}

// The entries of a document's field table (a PlcfFld), or -1 when one of them does not point
// at its field character in the story that starts at storyStart.
int fieldEntries(const Bytes& file, std::size_t fibIndex, std::uint32_t storyStart)
{
    const Plc plc = plcOf(file, fibIndex, 2);
    const std::u16string text = WordDocument::parse(file).text();
    for (std::size_t i = 0; i < plc.firstBytes.size(); ++i) {
        const std::uint32_t cp = storyStart + plc.cps[i];
        if (cp >= text.size() || text[cp] != (plc.firstBytes[i] & 0x1F))
            return -1;
    }
    return int(plc.firstBytes.size());
}

} // namespace

void tst_WordDocument::replaceText_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("needle");
    QTest::addColumn<int>("occurrence");
    QTest::addColumn<QString>("replacement");
    QTest::addColumn<int>("fieldTable"); // the edited story's PlcfFld, by Fib index
    QTest::addColumn<int>("fieldsLeft"); // its entries after the edit
    constexpr int kMain = 16, kHeaders = 17, kFootnotes = 18, kComments = 19, kTextBoxes = 57,
                  kHeaderTextBoxes = 59;
    // The stories fixture holds {{Owner}} in the main text, the header, the footer after a
    // page field, a text box and a text box of the header, in that order.
    const QString stories = QStringLiteral("word-stories.doc");
    const QString features = QStringLiteral("word-features.doc");
    const QString header = QStringLiteral("word-header.doc");
    const QString tag = QStringLiteral("{{Owner}}");
    const QString value = QString::fromUtf16(u"Zo\u00eb Smith-Jones");
    const QString pageField = QString::fromUtf16(u"\x13 PAGE \x14"
                                                 u"1\x15");
    QTest::newRow("main text") << stories << tag << 0 << value << kMain << 0;
    QTest::newRow("header") << stories << tag << 1 << value << kHeaders << 3;
    QTest::newRow("footer after a field") << stories << tag << 2 << value << kHeaders << 3;
    QTest::newRow("text box") << stories << tag << 3 << value << kTextBoxes << 0;
    QTest::newRow("header's text box") << stories << tag << 4 << value << kHeaderTextBoxes << 0;
    QTest::newRow("whole field in the footer") << stories << pageField << 0 << "7" << kHeaders << 0;
    QTest::newRow("whole field in the main text") << features << pageField << 0 << "7" << kMain << 0;
    QTest::newRow("text around a field")
        << features << "page " + pageField + " end" << 0 << "p. 7" << kMain << 0;
    QTest::newRow("text before a field") << features << "page " << 0 << "p. " << kMain << 3;
    QTest::newRow("footnote") << features << "Footnote" << 0 << value << kFootnotes << 0;
    QTest::newRow("comment") << features << "A comment" << 0 << value << kComments << 0;
    QTest::newRow("deleted") << header << "body " << 0 << "" << kMain << 0;
    QTest::newRow("line break at a header's start")
        << header << "Running header" << 0 << "Two\r\nlines" << kHeaders << 0;
}

void tst_WordDocument::replaceText()
{
    QFETCH(QString, file);
    QFETCH(QString, needle);
    QFETCH(int, occurrence);
    QFETCH(QString, replacement);
    QFETCH(int, fieldTable);
    QFETCH(int, fieldsLeft);
    const Bytes original = readFile(dataPath(file));
    WordDocument document = WordDocument::parse(original);
    const std::u16string before = document.text();
    const auto storiesBefore = document.stories();
    const std::uint32_t cp = placeOf(document, needle, occurrence);
    QVERIFY(cp < before.size());
    const auto count = std::uint32_t(needle.size());
    const std::u16string put = doc::normalizeTypedText(replacement.toStdU16String());
    QCOMPARE(document.replaceText(cp, count, replacement.toStdU16String()), std::uint32_t(put.size()));

    const Bytes saved = document.serialize();
    const QString fault = wordStructureFault(saved);
    QVERIFY2(fault.isEmpty(), qPrintable(fault));
    const WordDocument reread = WordDocument::parse(saved);
    std::u16string expected = before;
    expected.replace(cp, count, put);
    QCOMPARE(show(reread.text()), show(expected));
    // The edited story's length alone changes, and its fields' positions follow.
    const auto storiesAfter = reread.stories();
    QCOMPARE(storiesAfter.size(), storiesBefore.size());
    std::uint32_t editedStart = 0;
    for (std::size_t i = 0; i < storiesAfter.size(); ++i) {
        const auto& was = storiesBefore[i];
        const bool edited = cp >= was.start && cp - was.start < was.length;
        if (edited)
            editedStart = storiesAfter[i].start;
        QCOMPARE(std::size_t(storiesAfter[i].length), edited ? was.length - count + put.size() : was.length);
    }
    QCOMPARE(fieldEntries(saved, std::size_t(fieldTable), editedStart), fieldsLeft);
    // The parts of notes, headers and text boxes end where they did, moved in the story edited.
    using Story = WordDocument::Story;
    const std::int64_t delta = std::int64_t(put.size()) - count;
    for (const auto& [fibIndex, cbData, story] : {std::tuple{3, 0, Story::Footnotes},
                                                  {5, 0, Story::Comments},
                                                  {11, 0, Story::Headers},
                                                  {56, 22, Story::TextBoxes},
                                                  {58, 22, Story::HeaderTextBoxes}}) {
        const auto was = plcOf(original, fibIndex, cbData).cps;
        const auto now = plcOf(saved, fibIndex, cbData).cps;
        QCOMPARE(now.size(), was.size());
        // clang 14 lets no lambda capture a structured binding.
        const Story inStory = story;
        const auto edited = std::find_if(storiesBefore.begin(), storiesBefore.end(), [&](const auto& s) {
            return s.story == inStory && cp >= s.start && cp - s.start < s.length;
        });
        if (was.size() >= 2)
            QCOMPARE(std::int64_t(now[now.size() - 2]),
                     std::int64_t(was[was.size() - 2]) + (edited != storiesBefore.end() ? delta : 0));
    }
}

void tst_WordDocument::replacedTextTakesTheFormatOfItsSource_data()
{
    QTest::addColumn<QString>("needle");
    QTest::addColumn<QString>("source"); // empty: the replaced text's first character
    QTest::addColumn<bool>("bold");
    QTest::addColumn<bool>("italic");
    QTest::newRow("its own first character") << "bold"
                                             << "" << true << false;
    QTest::newRow("a character elsewhere") << "bold"
                                           << "italic" << false << true;
}

void tst_WordDocument::replacedTextTakesTheFormatOfItsSource()
{
    QFETCH(QString, needle);
    QFETCH(QString, source);
    QFETCH(bool, bold);
    QFETCH(bool, italic);
    WordDocument document = WordDocument::parse(fixture(QStringLiteral("utf16")));
    const std::uint32_t cp = placeOf(document, needle);
    const auto from = source.isEmpty() ? std::nullopt : std::optional(placeOf(document, source));
    document.replaceText(cp, std::uint32_t(needle.size()), u"abc", from);
    const auto after = formats(WordDocument::parse(document.serialize()).readModel());
    for (std::size_t i = cp; i < cp + 3; ++i) {
        QCOMPARE(after[i].bold, bold);
        QCOMPARE(after[i].italic, italic);
    }
}

void tst_WordDocument::replaceTextRefuses_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("needle"); // empty: the end of the text
    QTest::addColumn<int>("offset");     // from the needle
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("formatFrom"); // -1: none
    const QString features = QStringLiteral("word-features.doc");
    const QString header = QStringLiteral("word-header.doc");
    QTest::newRow("a field's begin alone") << features << "\x13" << 0 << 3 << -1;
    QTest::newRow("a field's end alone") << features << "\x15" << -1 << 3 << -1;
    QTest::newRow("a field's separator alone") << features << "\x14" << 0 << 1 << -1;
    QTest::newRow("a note reference") << features << "\x02" << -1 << 2 << -1;
    QTest::newRow("a shape's anchor") << "word-stories.doc"
                                      << "\x08" << 0 << 1 << -1;
    QTest::newRow("a paragraph mark") << features << "Heading\r" << 0 << 9 << -1;
    QTest::newRow("the main text's last mark") << header << "Second body paragraph.\r" << 0 << 23 << -1;
    QTest::newRow("across stories") << header << "paragraph.\rRunning" << 0 << 18 << -1;
    QTest::newRow("at the header story's closing mark") << header << "" << -2 << 0 << -1;
    QTest::newRow("at the document's closing mark") << header << "" << -1 << 0 << -1;
    QTest::newRow("past the text") << header << "" << 0 << 0 << -1;
    QTest::newRow("count past the end") << header << "First" << 0 << -1 << -1;
    QTest::newRow("format from past the text") << header << "First" << 0 << 5 << 100000;
}

void tst_WordDocument::replaceTextRefuses()
{
    QFETCH(QString, file);
    QFETCH(QString, needle);
    QFETCH(int, offset);
    QFETCH(int, count);
    QFETCH(int, formatFrom);
    WordDocument document = WordDocument::load(fsPath(dataPath(file)));
    const Bytes original = document.serialize();
    const std::u16string text = document.text();
    const std::uint32_t cp =
        (needle.isEmpty() ? std::uint32_t(text.size()) : placeOf(document, needle)) + offset;
    const auto from = formatFrom < 0 ? std::nullopt : std::optional(std::uint32_t(formatFrom));
    try {
        document.replaceText(cp, std::uint32_t(count), u"x", from);
        QFAIL("range accepted");
    } catch (const doc::Error& e) {
        QCOMPARE(e.kind(), doc::Error::Kind::BadArgument);
    }
    QCOMPARE(show(document.text()), show(text));
    QVERIFY(document.serialize() == original);
}

void tst_WordDocument::independentReadersSeeReplacedText_data()
{
    QTest::addColumn<int>("reader");
    QTest::addColumn<QStringList>("shown");
    const QStringList everyStory{
        QStringLiteral("Owner: Zoe Smith-Jones signs."), QStringLiteral("Box Zoe Smith-Jones"),
        QStringLiteral("Header Zoe Smith-Jones"), QStringLiteral("Page 7 of Zoe Smith-Jones"),
        QStringLiteral("Corner Zoe Smith-Jones")};
    // antiword leaves headers and footers out.
    QTest::newRow("antiword") << int(Reader::Antiword)
                              << QStringList{everyStory[0], everyStory[1], everyStory[4]};
    QTest::newRow("wvText") << int(Reader::WvText) << everyStory;
    QTest::newRow("LibreOffice") << int(Reader::LibreOffice) << everyStory;
}

void tst_WordDocument::independentReadersSeeReplacedText()
{
    QFETCH(int, reader);
    QFETCH(QStringList, shown);
    WordDocument document = WordDocument::load(fsPath(dataPath(QStringLiteral("word-stories.doc"))));
    // Every tag and the footer's page field, from the back, so each place found still holds.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> places;
    for (int i = 0; i < 5; ++i)
        places.emplace_back(placeOf(document, QStringLiteral("{{Owner}}"), i), 9);
    places.emplace_back(placeOf(document, QStringLiteral("\x13")), 10);
    std::sort(places.rbegin(), places.rend());
    for (const auto& [cp, count] : places)
        document.replaceText(cp, count, count == 9 ? u"Zoe Smith-Jones" : u"7");
    const Bytes saved = document.serialize();
    std::optional<QString> text;
    if (Reader(reader) == Reader::LibreOffice) {
        text = libreOfficeFlatXml(saved);
        if (text)
            text->replace(QRegularExpression(QStringLiteral("<[^>]*>")), QStringLiteral(" "));
    } else {
        text = readWith(Reader(reader), saved, nullptr);
    }
    if (!text)
        QSKIP("reader not installed");
    const QString flat = text->simplified();
    for (const QString& s : shown)
        QVERIFY2(flat.contains(s), qPrintable(flat));
    QVERIFY2(!flat.contains(QStringLiteral("{{")), qPrintable(flat));
}

void tst_WordDocument::corruptInputIsRefused_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<doc::Error::Kind>("kind");
    QTest::addColumn<QString>("description");
    using K = doc::Error::Kind;
    QTest::newRow("odd PLC length") << "word-odd-plc-length.doc" << K::Corrupt
                                    << "corrupt Word document: bad length of PlcfBteChpx";
    QTest::newRow("FKP run count past the page") << "word-fkp-run-count-past-page.doc" << K::Corrupt
                                                 << "corrupt Word document: ChpxFkp run count past the page";
    QTest::newRow("FKP page listed twice") << "word-fkp-page-listed-twice.doc" << K::Corrupt
                                           << "corrupt Word document: FKP page of PlcfBteChpx listed twice";
    QTest::newRow("piece past the stream")
        << "word-piece-past-stream.doc" << K::Truncated << "truncated Word document: piece past the stream";
    QTest::newRow("encrypted") << "word-encrypted.doc" << K::Unsupported << "unsupported: encrypted document";
    QTest::newRow("Word 95") << "word-word95-nfib.doc" << K::Unsupported << "unsupported: Word 6/95 document";
    QTest::newRow("missing WordDocument")
        << "word-missing-worddocument.doc" << K::NotWordDocument << "not a Word 97-2003 document";
    QTest::newRow("missing table stream")
        << "word-missing-table-stream.doc" << K::Corrupt << "corrupt Word document: table stream missing";
    QTest::newRow("no piece table") << "word-no-piece-table.doc" << K::Corrupt
                                    << "corrupt Word document: no piece table";
    QTest::newRow("truncated Fib") << "word-truncated-fib.doc" << K::Truncated
                                   << "truncated Word document: Fib";
    QTest::newRow("piece table out of order") << "word-piece-cps-out-of-order.doc" << K::Corrupt
                                              << "corrupt Word document: positions out of order in PlcPcd";
    QTest::newRow("text longer than stream") << "word-huge-piece-table.doc" << K::Corrupt
                                             << "corrupt Word document: piece table longer than the text";
}

void tst_WordDocument::corruptInputIsRefused()
{
    QFETCH(QString, name);
    QFETCH(doc::Error::Kind, kind);
    QFETCH(QString, description);
    const QString path = dataPath(QStringLiteral("corrupt/") + name);
    QVERIFY2(QFileInfo::exists(path), qPrintable(path));
    try {
        WordDocument::load(fsPath(path));
        QFAIL("corrupt file accepted");
    } catch (const doc::Error& e) {
        QCOMPARE(QString::fromUtf8(e.what()), description);
        QCOMPARE(e.kind(), kind);
    }
}

void tst_WordDocument::damagedButReadableInputSavesSoundly_data()
{
    QTest::addColumn<QString>("name");
    // Typing moved the ending position 0xFFFFFFFF round to a small number.
    QTest::newRow("PlcfTch past the text") << "word-plcftch-past-text.doc";
    // Moving the section table's positions in place wrote over the bookmark table sharing its bytes.
    QTest::newRow("PlcfSed overlaps PlcfBkf") << "word-plcfsed-overlaps-plcfbkf.doc";
}

void tst_WordDocument::damagedButReadableInputSavesSoundly()
{
    QFETCH(QString, name);
    const QString path = dataPath(QStringLiteral("corrupt/") + name);
    try {
        WordDocument document = WordDocument::load(fsPath(path));
        document.insertText(document.mainTextLength() / 2, u"typed");
        const WordDocument reread = WordDocument::parse(document.serialize());
        QCOMPARE(show(reread.mainText()), show(document.mainText()));
    } catch (const doc::Error& e) {
        QFAIL(e.what());
    }
}

void tst_WordDocument::saveReplacesTheTarget()
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("out.doc"));
    QVERIFY(writeFile(target, Bytes(100, 0x55)));
    const Bytes templateBytes = readFile(templatePath());
    WordDocument document = WordDocument::parse(templateBytes);
    document.insertText(141, u" 5th ");
    document.save(fsPath(target));
    QCOMPARE(readFile(target), document.serialize());
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("out.doc")});
    // Opening and editing never touches the file it came from.
    QCOMPARE(readFile(templatePath()), templateBytes);
}

void tst_WordDocument::failedSaveLeavesNothing()
{
    QTemporaryDir dir;
    const WordDocument document = WordDocument::load(fsPath(templatePath()));
    // A target that is a non-empty folder cannot be replaced by a file.
    const QString blocked = dir.filePath(QStringLiteral("blocked.doc"));
    QVERIFY(QDir().mkpath(blocked + QStringLiteral("/inside")));
    for (const QString& target : {blocked, dir.filePath(QStringLiteral("missing/out.doc"))}) {
        try {
            document.save(fsPath(target));
            QFAIL("save reported success");
        } catch (const doc::Error& e) {
            QCOMPARE(e.kind(), doc::Error::Kind::Io);
        }
    }
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("blocked.doc")});
}

void tst_WordDocument::loadReportsMissingFile()
{
    try {
        WordDocument::load("/nonexistent/folder/file.doc");
        QFAIL("missing file loaded");
    } catch (const doc::Error& e) {
        QCOMPARE(e.kind(), doc::Error::Kind::Io);
    }
}

void tst_WordDocument::propertiesRoundTrip_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("value");
    QTest::newRow("ASCII") << "Client"
                           << "Corwin & Sons, 12 Elm St.";
    QTest::newRow("CJK") << "\u5ba2\u6237"
                         << "\u5f20\u4f1f\u5efa\u7b51\u516c\u53f8";
    QTest::newRow("emoji") << "Client \U0001F3E0"
                           << "\U0001F477 Zo\u00eb";
    QTest::newRow("empty value") << "Client"
                                 << "";
    QTest::newRow("100,000 characters") << "Client" << QString(100000, QChar(0x00e9));
    QTest::newRow("longest name") << QString(int(255), QLatin1Char('n')) << "x";
}

void tst_WordDocument::propertiesRoundTrip()
{
    // What is set reads back after a save, with every other stream and the summary set as they were.
    QFETCH(QString, name);
    QFETCH(QString, value);
    const Bytes original = readFile(templatePath());
    WordDocument document = WordDocument::parse(original);
    const std::vector<WordDocument::Property> set{{u"Template", u"Own agreement"},
                                                  {name.toStdU16String(), value.toStdU16String()}};
    document.setProperties(set);
    QVERIFY(document.properties() == set);
    const Bytes saved = document.serialize();
    QVERIFY(WordDocument::parse(saved).properties() == set);

    auto before = streams(original);
    auto after = streams(saved);
    const std::string summary = "\x05"
                                "DocumentSummaryInformation";
    const Bytes oldStream = before[summary];
    const Bytes newStream = after[summary];
    const auto summarySet = [](const Bytes& stream) {
        const std::uint32_t at = le32(stream, 44);
        return Bytes(stream.begin() + at, stream.begin() + at + le32(stream, at));
    };
    QVERIFY(summarySet(newStream) == summarySet(oldStream));
    before.erase(summary);
    after.erase(summary);
    QVERIFY(after == before);
}

void tst_WordDocument::propertiesKeepWhatElseTheSetHolds_data()
{
    QTest::addColumn<Bytes>("stream");
    QTest::addColumn<QStringList>("read");
    // VT_I4 42, kept through every change though never shown.
    const Bytes number = typed(0x0003, 42, {});
    const Bytes sound = summaryStream(1252, {{2, narrow("Name")}, {3, narrow("Number")}, {4, narrow("Note")}},
                                      {{2, typed(0x001E, 5, narrow("Zo\xEB\x80"))},
                                       {3, number},
                                       {4, typed(0x001F, 4, utf16(u"\u20ac 5"))}});
    const QStringList soundRead{QStringLiteral("Name=Zo\u00eb\u20ac"), QStringLiteral("Note=\u20ac 5")};
    QTest::newRow("cp1252") << sound << soundRead;
    QTest::newRow("UTF-8") << summaryStream(65001, {{7, narrow("Ville")}, {8, narrow("Number")}},
                                            {{7, typed(0x001E, 8, narrow("Z\xC3\xBCrich"))}, {8, number}})
                           << QStringList{QStringLiteral("Ville=Z\u00fcrich")};
    QTest::newRow("Unicode") << summaryStream(1200, {{2, utf16(u"name")}, {5, utf16(u"Number")}},
                                              {{2, typed(0x001E, 8, utf16(u"\u00dcn\u00ef"))}, {5, number}})
                             << QStringList{QStringLiteral("name=\u00dcn\u00ef")};
    QTest::newRow("no stream") << Bytes{} << QStringList{};
    QTest::newRow("no property set") << Bytes(200, 0x41) << QStringList{};
    const auto damaged = [&sound](std::size_t at, std::uint32_t v) {
        Bytes b = sound;
        doc::storeU32(b, at, v);
        return b;
    };
    QTest::newRow("set size past the stream") << damaged(kUserSetAt, 0xFFFFFFF0) << QStringList{};
    QTest::newRow("property count past the set") << damaged(kUserSetAt + 4, 0x7FFFFFFF) << QStringList{};
    QTest::newRow("offset past the set") << damaged(kUserSetAt + 12, 0x10000) << QStringList{};
    // The dictionary follows the five identifier and offset pairs.
    const std::size_t dictionary = kUserSetAt + 8 + 5 * 8;
    QTest::newRow("name count past the set") << damaged(dictionary, 0x20000000) << QStringList{};
    QTest::newRow("name length past the set") << damaged(dictionary + 8, 0xFFFFFFFF) << QStringList{};
    const std::size_t lastValue = le32(sound, kUserSetAt + 8 + 4 * 8 + 4) + kUserSetAt;
    QTest::newRow("string length past the set")
        << damaged(lastValue + 4, 0x40000000) << QStringList{QStringLiteral("Name=Zo\u00eb\u20ac")};
}

void tst_WordDocument::propertiesKeepWhatElseTheSetHolds()
{
    // Reading never throws; setting a name that differs only in case replaces that property in
    // its place, removes the other text properties of the owner's prefix (case aside), name and
    // all, keeps the rest (the number too, where the set was read) and makes anew what could not
    // be read.
    QFETCH(Bytes, stream);
    QFETCH(QStringList, read);
    WordDocument document = WordDocument::parse(withSummaryStream(stream));
    QCOMPARE(shown(document.properties()), read);

    const QString owned = QStringLiteral("n");
    document.setProperties({{u"NAME", u"\u5f20"}}, owned.toStdU16String());
    const Bytes saved = document.serialize();
    QStringList expected = read;
    const auto same = std::find_if(expected.begin(), expected.end(), [](const QString& p) {
        return p.section(u'=', 0, 0).compare(QStringLiteral("name"), Qt::CaseInsensitive) == 0;
    });
    if (same == expected.end())
        expected << QStringLiteral("NAME=\u5f20");
    else
        *same = QStringLiteral("NAME=\u5f20");
    QStringList stale; // what the owner held but did not set again
    std::copy_if(expected.begin(), expected.end(), std::back_inserter(stale), [&](const QString& p) {
        return p.startsWith(owned, Qt::CaseInsensitive) && !p.startsWith(QStringLiteral("NAME="));
    });
    expected.removeIf([&stale](const QString& p) { return stale.contains(p); });
    QCOMPARE(shown(WordDocument::parse(saved).properties()), expected);
    const Bytes written = doc::CompoundFile::parse(saved).stream("\x05"
                                                                 "DocumentSummaryInformation");
    for (const QString& p : stale) {
        const Bytes entry = narrow(qPrintable(p.section(u'=', 0, 0)));
        QVERIFY(std::search(written.begin(), written.end(), entry.begin(), entry.end()) == written.end());
    }
    const Bytes number = typed(0x0003, 42, {});
    QCOMPARE(std::search(written.begin(), written.end(), number.begin(), number.end()) != written.end(),
             !read.isEmpty());
}

void tst_WordDocument::badPropertiesAreRefused_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("value");
    QTest::newRow("empty name") << ""
                                << "x";
    QTest::newRow("name too long") << QString(256, QLatin1Char('n')) << "x";
    QTest::newRow("U+0000 in the value") << "Client" << QString(QStringLiteral("a%1b")).arg(QChar(0));
}

void tst_WordDocument::badPropertiesAreRefused()
{
    QFETCH(QString, name);
    QFETCH(QString, value);
    WordDocument document = WordDocument::parse(readFile(templatePath()));
    const Bytes before = document.serialize();
    try {
        document.setProperties({{u"Template", u"x"}, {name.toStdU16String(), value.toStdU16String()}});
        QFAIL("accepted");
    } catch (const doc::Error& e) {
        QCOMPARE(e.kind(), doc::Error::Kind::BadArgument);
    }
    QVERIFY(document.serialize() == before);
}

void tst_WordDocument::libreOfficeSeesProperties()
{
    WordDocument document = WordDocument::parse(readFile(templatePath()));
    const std::u16string value = u"Zo\u00eb \u5f20 \U0001F3E0 & <5>";
    // Setting the properties of one prefix again drops its stale ones from the middle of the set.
    document.setProperties({{u"Client", u"old"}, {u"Clients", u"stale"}, {u"Template", u"Own"}});
    document.setProperties({{u"Client", value}}, u"Client");
    const auto xml = libreOfficeFlatXml(document.serialize());
    if (!xml)
        QSKIP("LibreOffice is not installed");
    QVERIFY2(xml->contains(QStringLiteral("meta:name=\"Client\"")), qPrintable(*xml));
    QVERIFY2(xml->contains(QStringLiteral(">Zo\u00eb \u5f20 \U0001F3E0 &amp; &lt;5&gt;</meta:user-defined>")),
             qPrintable(*xml));
    QVERIFY2(xml->contains(QStringLiteral("meta:name=\"Template\"")), qPrintable(*xml));
    QVERIFY2(!xml->contains(QStringLiteral("meta:name=\"Clients\"")), qPrintable(*xml));
}

QTEST_GUILESS_MAIN(tst_WordDocument)
#include "tst_worddocument.moc"
