#include "doc/error.h"
#include "doc/tags.h"
#include "docx/docxdocument.h"
#include "docx/package.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

using Bytes = std::vector<std::uint8_t>;
using Parts = std::map<std::string, std::string>;
using Property = docx::DocxDocument::Property;

Q_DECLARE_METATYPE(Parts)
Q_DECLARE_METATYPE(std::vector<Property>)
Q_DECLARE_METATYPE(doc::Error::Kind)

namespace
{

constexpr char kNamespaces[] =
    R"( xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main")"
    R"( xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships")"
    R"( xmlns:mc="http://schemas.openxmlformats.org/markup-compatibility/2006")"
    R"( xmlns:wp="http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing")"
    R"( xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main")"
    R"( xmlns:wps="http://schemas.microsoft.com/office/word/2010/wordprocessingShape")"
    R"( xmlns:v="urn:schemas-microsoft-com:vml")";
constexpr char kXmlDeclaration[] = R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)";
constexpr char kDocumentHead[] = "<w:body><w:p><w:r><w:t>Before</w:t></w:r></w:p>";
constexpr char kDocumentTail[] =
    R"(<w:p><w:r><w:t>After</w:t></w:r></w:p><w:sectPr><w:headerReference w:type="default" r:id="rIdH"/></w:sectPr></w:body></w:document>)";
constexpr char kMainName[] = "word/document.xml";
constexpr char kMainType[] =
    "application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml";
constexpr char kRelationships[] = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";

std::string documentXml(const std::string& body)
{
    return std::string(kXmlDeclaration) + "<w:document" + kNamespaces + ">" + kDocumentHead + body +
           kDocumentTail;
}

std::string headerXml(const std::string& body)
{
    return std::string(kXmlDeclaration) + "<w:hdr" + kNamespaces + ">" + body + "</w:hdr>";
}

std::string relationship(const std::string& id, const std::string& type, const std::string& target)
{
    return "<Relationship Id=\"" + id + "\" Type=\"" + kRelationships + "/" + type + "\" Target=\"" + target +
           "\"/>";
}

std::string relationshipsXml(const std::string& list)
{
    return std::string(kXmlDeclaration) +
           R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)" + list +
           "</Relationships>";
}

std::string contentTypesXml(const std::string& mainType)
{
    return std::string(kXmlDeclaration) +
           R"(<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">)"
           R"(<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>)"
           R"(<Default Extension="xml" ContentType="application/xml"/>)"
           R"(<Override PartName="/word/document.xml" ContentType=")" +
           mainType +
           R"("/><Override PartName="/word/header1.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.header+xml"/></Types>)";
}

// A small word-processing package: the body between a paragraph before and one after, and a
// header; entries in `changes` replace or add parts (an empty text removes one).
Parts wordParts(const std::string& body, const std::string& header = "<w:p/>", const Parts& changes = {})
{
    Parts parts{
        {docx::kContentTypesName, contentTypesXml(kMainType)},
        {"_rels/.rels", relationshipsXml(relationship("rId1", "officeDocument", kMainName))},
        {kMainName, documentXml(body)},
        {"word/_rels/document.xml.rels", relationshipsXml(relationship("rIdH", "header", "header1.xml"))},
        {"word/header1.xml", headerXml(header)},
    };
    for (const auto& [name, xml] : changes)
        if (xml.empty())
            parts.erase(name);
        else
            parts[name] = xml;
    return parts;
}

Bytes zipped(const Parts& parts)
{
    docx::Package package;
    for (const auto& [name, xml] : parts)
        package.set(name, Bytes(xml.begin(), xml.end()));
    return package.write();
}

std::string entryText(const docx::Package& package, const std::string& name)
{
    const docx::Entry* entry = package.find(name);
    return entry ? std::string(entry->bytes.begin(), entry->bytes.end()) : std::string();
}

// Every tag replaced by value, from the last back, as a template is filled.
void fillTags(docx::DocxDocument& document, const std::u16string& value)
{
    const auto scan = doc::tags::scan(document.text(), document.stories());
    for (auto tag = scan.tags.rbegin(); tag != scan.tags.rend(); ++tag)
        document.replaceText(tag->cp, tag->length, value,
                             tag->mergeField ? std::optional<std::uint32_t>(tag->cp + 1) : std::nullopt);
}

std::string paragraph(const std::string& runs)
{
    return "<w:p>" + runs + "</w:p>";
}

std::string textRun(const std::string& text, const std::string& properties = {})
{
    return "<w:r>" + (properties.empty() ? "" : "<w:rPr>" + properties + "</w:rPr>") + "<w:t>" + text +
           "</w:t></w:r>";
}

std::string complexField(const std::string& code, const std::string& result, const std::string& codeLook)
{
    return R"(<w:r><w:fldChar w:fldCharType="begin"/></w:r><w:r><w:rPr>)" + codeLook +
           "</w:rPr><w:instrText>" + code +
           R"(</w:instrText></w:r><w:r><w:fldChar w:fldCharType="separate"/></w:r>)" + textRun(result) +
           R"(<w:r><w:fldChar w:fldCharType="end"/></w:r>)";
}

// A floating text box as Word writes it: a drawing, and the same box as VML for older readers.
std::string textBox(const std::string& content)
{
    const std::string box = "<w:txbxContent>" + content + "</w:txbxContent>";
    return R"(<w:r><mc:AlternateContent><mc:Choice Requires="wps"><w:drawing><wp:anchor>)"
           "<a:graphic><a:graphicData><wps:wsp><wps:txbx>" +
           box + "</wps:txbx></wps:wsp></a:graphicData></a:graphic></wp:anchor></w:drawing></mc:Choice>" +
           "<mc:Fallback><w:pict><v:shape><v:textbox>" + box +
           "</v:textbox></v:shape></w:pict></mc:Fallback></mc:AlternateContent></w:r>";
}

// The package of wordParts with parts the main part relates by type (styles, numbering, settings, theme),
// each at word/<type>.xml.
Parts withRelated(const std::string& body, const std::map<std::string, std::string>& related)
{
    std::string list = relationship("rIdH", "header", "header1.xml");
    Parts changes;
    for (const auto& [type, xml] : related) {
        list += relationship("rId" + type, type, type + ".xml");
        changes["word/" + type + ".xml"] = std::string(kXmlDeclaration) + xml;
    }
    changes["word/_rels/document.xml.rels"] = relationshipsXml(list);
    return wordParts(body, "<w:p/>", changes);
}

std::string stylesXml(const std::string& styles)
{
    return std::string("<w:styles") + kNamespaces + ">" + styles + "</w:styles>";
}

} // namespace

class tst_DocxDocument : public QObject
{
    Q_OBJECT

private slots:
    void text_data();
    void text();
    void replaceText_data();
    void replaceText();
    void refused_data();
    void refused();
    void properties_data();
    void properties();
    void libreOfficeReadsFilled();
    void readModel_data();
    void readModel();
};

void tst_DocxDocument::text_data()
{
    QTest::addColumn<Parts>("parts");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("tags");

    const QString before = QStringLiteral("Before\r");
    const QString after = QStringLiteral("After\r");
    const QString emptyHeader = QStringLiteral("\r");
    const auto row = [&](const char* name, const Parts& parts, const QString& body, const QString& rest,
                         const QStringList& tags) {
        QTest::newRow(name) << parts << before + body + after + rest << tags;
    };
    const QStringList name{QStringLiteral("Name")};
    row("split runs", wordParts(paragraph(textRun("{{Na") + textRun("me}}"))), QStringLiteral("{{Name}}\r"),
        emptyHeader, name);
    row("spelling and revision marks",
        wordParts(paragraph(R"(<w:r w:rsidR="00A1"><w:t>{{</w:t></w:r><w:proofErr w:type="spellStart"/>)"
                            R"(<w:r w:rsidR="00B2"><w:t>Name</w:t></w:r><w:proofErr w:type="spellEnd"/>)" +
                            textRun("}}"))),
        QStringLiteral("{{Name}}\r"), emptyHeader, name);
    row("half-bold name", wordParts(paragraph(textRun("{{Na") + textRun("me}}", "<w:b/>"))),
        QStringLiteral("{{Name}}\r"), emptyHeader, name);
    row("simple merge field",
        wordParts(
            paragraph(R"(<w:fldSimple w:instr=" MERGEFIELD Name ">)" + textRun("«Name»") + "</w:fldSimple>")),
        QStringLiteral("\x13 MERGEFIELD Name \x14«Name»\x15\r"), emptyHeader, name);
    row("complex merge field", wordParts(paragraph(complexField(" MERGEFIELD Name ", "«Name»", "<w:b/>"))),
        QStringLiteral("\x13 MERGEFIELD Name \x14«Name»\x15\r"), emptyHeader, name);
    row("table",
        wordParts("<w:tbl><w:tr><w:tc>" + paragraph(textRun("{{Name}}")) + "</w:tc><w:tc>" +
                  paragraph(textRun("b")) + paragraph({}) + "</w:tc></w:tr></w:tbl>"),
        QStringLiteral("{{Name}}\x07"
                       "b\r\x07\x07"),
        emptyHeader, name);
    row("breaks and tabs",
        wordParts(paragraph(
            R"(<w:r><w:t>a</w:t><w:tab/><w:t>b</w:t><w:br/><w:t>c</w:t><w:cr/><w:br w:type="page"/></w:r>)")),
        QStringLiteral("a\tb\x0b"
                       "c\x0b\x0c\r"),
        emptyHeader, {});
    row("deleted and inserted text",
        wordParts(paragraph("<w:del><w:r><w:delText>old</w:delText></w:r></w:del><w:ins>" +
                            textRun("{{Name}}") + "</w:ins>")),
        QStringLiteral("{{Name}}\r"), emptyHeader, name);
    row("header", wordParts({}, paragraph(textRun("{{Owner}}"))), {}, QStringLiteral("{{Owner}}\r"),
        {QStringLiteral("Owner")});
    row("text box read once, in its story", wordParts(paragraph(textBox(paragraph(textRun("{{Name}}"))))),
        QStringLiteral("\x08\r"), QStringLiteral("\r{{Name}}\r"), name);
}

void tst_DocxDocument::text()
{
    QFETCH(Parts, parts);
    QFETCH(QString, text);
    QFETCH(QStringList, tags);

    const auto document = docx::DocxDocument::parse(zipped(parts));
    QCOMPARE(QString::fromStdU16String(document.text()), text);
    const auto stories = document.stories();
    std::uint32_t covered = 0;
    for (const auto& story : stories) {
        QCOMPARE(story.start, covered);
        covered += story.length;
    }
    QCOMPARE(covered, document.text().size());
    QStringList found;
    for (const auto& tag : doc::tags::scan(document.text(), stories).tags)
        found << QString::fromStdU16String(tag.name);
    QCOMPARE(found, tags);
}

void tst_DocxDocument::replaceText_data()
{
    QTest::addColumn<Parts>("parts");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("part");
    QTest::addColumn<QString>("filled");   // the part as written: only the tag's runs changed
    QTest::addColumn<QString>("expected"); // text() after

    const auto row = [](const char* name, const std::string& body, const QString& value,
                        const std::string& filled, const QString& text) {
        QTest::newRow(name) << wordParts(body) << value << QString::fromLatin1(kMainName)
                            << QString::fromStdString(documentXml(filled))
                            << QStringLiteral("Before\r") + text + QStringLiteral("After\r");
    };
    row("split runs", paragraph(textRun("a{{Na") + textRun("me}}b")), QStringLiteral("Ann"),
        paragraph(textRun("aAnn") + textRun("b")), QStringLiteral("aAnnb\r"));
    row("formatting of the first character",
        paragraph(textRun("{{", "<w:i/>") + "<w:proofErr/>" + textRun("Na", "<w:b/>") + textRun("me}}")),
        QStringLiteral("Ann"), paragraph(textRun("Ann", "<w:i/>") + "<w:proofErr/>"),
        QStringLiteral("Ann\r"));
    row("simple merge field takes its result's look",
        paragraph(R"(<w:fldSimple w:instr=" MERGEFIELD Name ">)" + textRun("«Name»", "<w:u/>") +
                  "</w:fldSimple>"),
        QStringLiteral("Ann"), paragraph(textRun("Ann", "<w:u/>")), QStringLiteral("Ann\r"));
    row("complex merge field takes its code's look",
        paragraph(textRun("x") + complexField(" MERGEFIELD Name ", "«Name»", "<w:b/>")),
        QStringLiteral("Ann"), paragraph(textRun("x") + textRun("Ann", "<w:b/>")), QStringLiteral("xAnn\r"));
    row("line break and white space", paragraph(textRun("{{Name}}")), QStringLiteral(" A\nB"),
        paragraph(R"(<w:r><w:t xml:space="preserve"> A</w:t><w:br/><w:t>B</w:t></w:r>)"),
        QStringLiteral(" A\x0b"
                       "B\r"));
    row("markup characters", paragraph(textRun("{{Name}}")), QStringLiteral("<&>"),
        paragraph(textRun("&lt;&amp;&gt;")), QStringLiteral("<&>\r"));
    row("in a table cell", "<w:tbl><w:tr><w:tc>" + paragraph(textRun("{{Name}}")) + "</w:tc></w:tr></w:tbl>",
        QStringLiteral("Ann"), "<w:tbl><w:tr><w:tc>" + paragraph(textRun("Ann")) + "</w:tc></w:tr></w:tbl>",
        QStringLiteral("Ann\x07\x07"));
    row("in a text box, both of its copies", paragraph(textBox(paragraph(textRun("{{Name}}")))),
        QStringLiteral("Ann"), paragraph(textBox(paragraph(textRun("Ann")))), QStringLiteral("\x08\r"));
    QTest::newRow("in a header") << wordParts({}, paragraph(textRun("{{Na") + textRun("me}}")))
                                 << QStringLiteral("Ann") << QStringLiteral("word/header1.xml")
                                 << QString::fromStdString(headerXml(paragraph(textRun("Ann"))))
                                 << QStringLiteral("Before\rAfter\rAnn\r");
}

void tst_DocxDocument::replaceText()
{
    QFETCH(Parts, parts);
    QFETCH(QString, value);
    QFETCH(QString, part);
    QFETCH(QString, filled);
    QFETCH(QString, expected);

    auto document = docx::DocxDocument::parse(zipped(parts));
    fillTags(document, value.toStdU16String());
    QCOMPARE(QString::fromStdU16String(document.text()).left(expected.size()), expected);

    const auto written = docx::Package::read(document.serialize());
    for (const auto& entry : written.entries())
        QCOMPARE(QString::fromStdString(entryText(written, entry.name)),
                 QString::fromStdString(entry.name) == part ? filled
                                                            : QString::fromStdString(parts.at(entry.name)));
    QCOMPARE(docx::DocxDocument::parse(document.serialize()).text(), document.text());
}

void tst_DocxDocument::refused_data()
{
    QTest::addColumn<Bytes>("bytes");
    QTest::addColumn<int>("cp"); // -1: refused when read; else replacing from here is refused
    QTest::addColumn<int>("count");
    QTest::addColumn<doc::Error::Kind>("kind");

    using Kind = doc::Error::Kind;
    const auto read = [](const char* name, const Parts& parts, Kind kind) {
        QTest::newRow(name) << zipped(parts) << -1 << 0 << kind;
    };
    const std::string macroType = "application/vnd.ms-word.document.macroEnabled.main+xml";
    QTest::newRow("no zip") << Bytes(64, 0x41) << -1 << 0 << Kind::NotWordDocument;
    read("no main part", wordParts({}, {}, {{"_rels/.rels", relationshipsXml({})}}), Kind::NotWordDocument);
    read("main part named twice",
         wordParts(
             {}, {},
             {{"_rels/.rels", relationshipsXml(relationship("rId1", "officeDocument", kMainName) +
                                               relationship("rId2", "officeDocument", "word/other.xml"))}}),
         Kind::Corrupt);
    read("main part missing", wordParts({}, {}, {{kMainName, {}}}), Kind::Corrupt);
    read("macro-enabled main part",
         wordParts({}, {}, {{docx::kContentTypesName, contentTypesXml(macroType)}}), Kind::Unsupported);
    read("renamed .docm with its macros", wordParts({}, {}, {{"word/vbaProject.bin", "macros"}}),
         Kind::Unsupported);
    read("malformed XML", wordParts("<w:p>"), Kind::Corrupt);
    read("entity declared",
         wordParts(
             {}, {},
             {{kMainName, std::string(kXmlDeclaration) + R"(<!DOCTYPE w:document [<!ENTITY a "aaaaaaaa">]>)" +
                              documentXml("&a;").substr(std::strlen(kXmlDeclaration))}}),
         Kind::Corrupt);
    read("relationship out of the package",
         wordParts({}, {},
                   {{"word/_rels/document.xml.rels",
                     relationshipsXml(relationship("rIdH", "header", "../../x.xml"))}}),
         Kind::Corrupt);

    // "Before\r" is 7 characters; the body starts there.
    const auto replace = [](const char* name, const std::string& body, int cp, int count) {
        QTest::newRow(name) << zipped(wordParts(body)) << cp << count << Kind::BadArgument;
    };
    replace("across paragraphs", {}, 5, 4);
    replace("field cut at its code", paragraph(complexField(" MERGEFIELD Name ", "x", {})), 7, 3);
    replace("field cut at its result", paragraph(complexField(" MERGEFIELD Name ", "x", {})), 25, 2);
    replace("simple field's code",
            paragraph(R"(<w:fldSimple w:instr=" PAGE ">)" + textRun("1") + "</w:fldSimple>"), 9, 2);
    replace("past the text", {}, 7, 100);
}

void tst_DocxDocument::refused()
{
    QFETCH(Bytes, bytes);
    QFETCH(int, cp);
    QFETCH(int, count);
    QFETCH(doc::Error::Kind, kind);

    std::optional<docx::DocxDocument> document;
    try {
        document = docx::DocxDocument::parse(bytes);
    } catch (const doc::Error& e) {
        QVERIFY2(cp < 0 && e.kind() == kind, e.what());
        return;
    }
    QVERIFY2(cp >= 0, "read");
    const std::u16string before = document->text();
    try {
        document->replaceText(std::uint32_t(cp), std::uint32_t(count), u"x");
        QFAIL("replaced");
    } catch (const doc::Error& e) {
        QVERIFY2(e.kind() == kind, e.what());
    }
    QVERIFY(document->text() == before);
}

void tst_DocxDocument::properties_data()
{
    QTest::addColumn<QByteArray>("held"); // docProps/custom.xml's properties, none when empty
    QTest::addColumn<std::vector<Property>>("set");
    QTest::addColumn<QString>("ownedPrefix");
    QTest::addColumn<std::vector<Property>>("expected");

    const auto text = [](const std::string& name, const std::string& value, int pid) {
        return QByteArray::fromStdString(R"(<property fmtid="{D5CDD505-2E9C-101B-9397-08002B2CF9AE}" pid=")" +
                                         std::to_string(pid) + R"(" name=")" + name + R"("><vt:lpwstr>)" +
                                         value + "</vt:lpwstr></property>");
    };
    QTest::newRow("added to a document without them")
        << QByteArray() << std::vector<Property>{{u"Owner", u"Ann"}} << QString()
        << std::vector<Property>{{u"Owner", u"Ann"}};
    QTest::newRow("set by name without regard to case")
        << text("owner", "Bob", 2) << std::vector<Property>{{u"OWNER", u"Ann"}} << QString()
        << std::vector<Property>{{u"OWNER", u"Ann"}};
    QTest::newRow("owned ones removed, others and other types kept")
        << text("bw.Old", "x", 2) + text("Other", "y", 3) +
               QByteArrayLiteral(
                   R"(<property fmtid="{D5CDD505-2E9C-101B-9397-08002B2CF9AE}" pid="4" name="bw.Count"><vt:i4>3</vt:i4></property>)")
        << std::vector<Property>{{u"bw.New", u"z"}} << QStringLiteral("bw.")
        << std::vector<Property>{{u"Other", u"y"}, {u"bw.New", u"z"}};
    QTest::newRow("characters XML cannot carry")
        << QByteArray() << std::vector<Property>{{u"A\tB", u"<&>\r\n\x01_x0041_ \U0001F600"}} << QString()
        << std::vector<Property>{{u"A\tB", u"<&>\r\n\x01_x0041_ \U0001F600"}};
}

void tst_DocxDocument::properties()
{
    QFETCH(QByteArray, held);
    QFETCH(std::vector<Property>, set);
    QFETCH(QString, ownedPrefix);
    QFETCH(std::vector<Property>, expected);

    Parts parts = wordParts({});
    if (!held.isEmpty()) {
        parts["docProps/custom.xml"] =
            std::string(kXmlDeclaration) +
            R"(<Properties xmlns="http://schemas.openxmlformats.org/officeDocument/2006/custom-properties" xmlns:vt="http://schemas.openxmlformats.org/officeDocument/2006/docPropsVTypes">)" +
            held.toStdString() + "</Properties>";
        parts["_rels/.rels"] =
            relationshipsXml(relationship("rId1", "officeDocument", kMainName) +
                             relationship("rId2", "custom-properties", "docProps/custom.xml"));
    }
    auto document = docx::DocxDocument::parse(zipped(parts));
    document.setProperties(set, ownedPrefix.toStdU16String());
    QVERIFY(document.properties() == expected);
    const auto reread = docx::DocxDocument::parse(document.serialize());
    QVERIFY(reread.properties() == expected);
    QCOMPARE(entryText(reread.package(), kMainName), parts.at(kMainName));
}

// A filled document as another program reads it: LibreOffice shows every value, and every XML
// part is well-formed to xmllint.
void tst_DocxDocument::libreOfficeReadsFilled()
{
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    const QString xmllint = QStandardPaths::findExecutable(QStringLiteral("xmllint"));
    if (soffice.isEmpty() || xmllint.isEmpty())
        QSKIP("LibreOffice or xmllint is not installed");
    const std::string body =
        paragraph(textRun("Dear {{Na") + textRun("me}},", "<w:b/>")) +
        paragraph(complexField(" MERGEFIELD Total ", "«Total»", {})) + "<w:tbl><w:tr><w:tc>" +
        paragraph(R"(<w:fldSimple w:instr=" MERGEFIELD Place ">)" + textRun("«Place»") + "</w:fldSimple>") +
        "</w:tc></w:tr></w:tbl>" + paragraph(textBox(paragraph(textRun("{{Name}} boxed"))));
    auto document = docx::DocxDocument::parse(zipped(wordParts(body, paragraph(textRun("{{Name}} heads")))));
    fillTags(document, u"Quillon");
    document.setProperties({{u"Owner", u"Quillon"}});

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("filled.docx"));
    document.save(std::filesystem::path(path.toStdU16String()));
    for (const auto& entry : document.package().entries()) {
        QFile part(dir.filePath(QStringLiteral("part.xml")));
        QVERIFY(part.open(QIODevice::WriteOnly | QIODevice::Truncate));
        part.write(reinterpret_cast<const char*>(entry.bytes.data()), qint64(entry.bytes.size()));
        part.close();
        QProcess lint;
        lint.start(xmllint, {QStringLiteral("--noout"), part.fileName()});
        QVERIFY(lint.waitForFinished(30000));
        QVERIFY2(lint.exitCode() == 0, entry.name.c_str());
    }

    // As flat OpenDocument, which keeps headers, text boxes and properties as the text does not.
    QProcess convert;
    convert.start(
        soffice, {QStringLiteral("-env:UserInstallation=file://") + dir.filePath(QStringLiteral("profile")),
                  QStringLiteral("--headless"), QStringLiteral("--norestore"), QStringLiteral("--convert-to"),
                  QStringLiteral("fodt"), QStringLiteral("--outdir"), dir.path(), path});
    QVERIFY(convert.waitForFinished(120000));
    QFile flat(dir.filePath(QStringLiteral("filled.fodt")));
    QVERIFY2(flat.open(QIODevice::ReadOnly), qPrintable(QString::fromUtf8(convert.readAllStandardError())));
    const QString shown = QString::fromUtf8(flat.readAll());
    // The property, the header, the three in the body and the text box.
    QCOMPARE(shown.count(QStringLiteral("Quillon")), 6);
    QVERIFY2(!shown.contains(QStringLiteral("{{")) && !shown.contains(QStringLiteral("«")),
             qPrintable(shown));
}

void tst_DocxDocument::readModel_data()
{
    // What the reader resolves that LibreOffice's .docx files (the layout corpus) never write; each row
    // reads one look of the paragraph whose text begins "Probe".
    QTest::addColumn<Parts>("parts");
    QTest::addColumn<QString>("look");
    QTest::addColumn<QString>("expected");
    const std::string probe = textRun("Probe");
    const auto probeWith = [&](const std::string& pPr, const std::string& runs = {}) {
        return "<w:p><w:pPr>" + pPr + "</w:pPr>" + (runs.empty() ? probe : runs) + "</w:p>";
    };
    const std::string chain = stylesXml(
        R"(<w:docDefaults><w:rPrDefault><w:rPr><w:sz w:val="20"/></w:rPr></w:rPrDefault></w:docDefaults>)"
        R"(<w:style w:type="paragraph" w:styleId="A"><w:basedOn w:val="B"/><w:rPr><w:b/></w:rPr></w:style>)"
        R"(<w:style w:type="paragraph" w:styleId="B"><w:rPr><w:sz w:val="28"/></w:rPr>)"
        R"(<w:pPr><w:tabs><w:tab w:val="left" w:pos="720"/></w:tabs></w:pPr></w:style>)"
        R"(<w:style w:type="paragraph" w:styleId="C"><w:basedOn w:val="D"/></w:style>)"
        R"(<w:style w:type="paragraph" w:styleId="D"><w:basedOn w:val="C"/></w:style>)");
    const std::string spaced = R"(<w:p><w:pPr><w:pStyle w:val="A"/><w:spacing w:after="120"/></w:pPr></w:p>)";
    const std::string additive = std::string("<w:settings") + kNamespaces +
                                 "><w:compat><w:doNotUseHTMLParagraphAutoSpacing/></w:compat></w:settings>";
    const std::string lists =
        std::string("<w:numbering") + kNamespaces +
        R"(><w:abstractNum w:abstractNumId="3"><w:lvl w:ilvl="0"><w:start w:val="1"/><w:numFmt w:val="lowerRoman"/>)"
        R"x(<w:lvlText w:val="(%1)"/></w:lvl></w:abstractNum><w:num w:numId="1"><w:abstractNumId w:val="3"/></w:num>)x"
        R"(<w:num w:numId="2"><w:abstractNumId w:val="3"/><w:lvlOverride w:ilvl="0"><w:startOverride w:val="4"/>)"
        R"(</w:lvlOverride></w:num></w:numbering>)";
    const auto listed = [](int numId) {
        return R"(<w:numPr><w:ilvl w:val="0"/><w:numId w:val=")" + std::to_string(numId) + R"("/></w:numPr>)";
    };
    const std::string theme =
        R"(<a:theme xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main"><a:themeElements>)"
        R"(<a:fontScheme><a:majorFont><a:latin typeface="Cambria"/></a:majorFont><a:minorFont>)"
        R"(<a:latin typeface="Calibri"/></a:minorFont></a:fontScheme></a:themeElements></a:theme>)";

    QTest::newRow("a style's base gives what the style leaves out")
        << withRelated(probeWith(R"(<w:pStyle w:val="A"/>)"), {{"styles", chain}}) << "size"
        << "14";
    QTest::newRow("a cycle of bases ends at the defaults")
        << withRelated(probeWith(R"(<w:pStyle w:val="C"/>)"), {{"styles", chain}}) << "size"
        << "10";
    QTest::newRow("a tab cleared where the style set it")
        << withRelated(
               probeWith(R"(<w:pStyle w:val="A"/><w:tabs><w:tab w:val="clear" w:pos="720"/></w:tabs>)"),
               {{"styles", chain}})
        << "tabs"
        << "0";
    QTest::newRow("the larger of the space after and before")
        << withRelated(spaced + probeWith(R"(<w:spacing w:before="200"/>)"), {{"styles", chain}})
        << "spaceBefore"
        << "80";
    QTest::newRow("both spaces where the document adds them")
        << withRelated(spaced + probeWith(R"(<w:spacing w:before="200"/>)"),
                       {{"styles", chain}, {"settings", additive}})
        << "spaceBefore"
        << "200";
    QTest::newRow("no space next to its own style")
        << withRelated(
               spaced +
                   probeWith(R"(<w:pStyle w:val="A"/><w:contextualSpacing/><w:spacing w:before="200"/>)"),
               {{"styles", chain}})
        << "spaceBefore"
        << "0";
    QTest::newRow("an exact line height")
        << wordParts(probeWith(R"(<w:spacing w:line="300" w:lineRule="exact"/>)")) << "lineSpacing"
        << "-300";
    QTest::newRow("a list continued across its instances")
        << withRelated(probeWith(listed(1), textRun("One")) + probeWith(listed(1)), {{"numbering", lists}})
        << "label"
        << "(ii)";
    QTest::newRow("a list restarted by its instance")
        << withRelated(probeWith(listed(1), textRun("One")) + probeWith(listed(2)), {{"numbering", lists}})
        << "label"
        << "(iv)";
    QTest::newRow("a font named by the theme")
        << withRelated(probeWith({}, textRun("Probe", R"(<w:rFonts w:asciiTheme="minorHAnsi"/>)")),
                       {{"theme", theme}})
        << "font"
        << "Calibri";
    QTest::newRow("a symbol font's bullet")
        << wordParts(probeWith({}, probe + R"(<w:r><w:sym w:font="Symbol" w:char="F0B7"/></w:r>)")) << "last"
        << QString(QChar(0x2022));
    const std::string tableStyled = stylesXml(
        R"(<w:style w:type="paragraph" w:default="1" w:styleId="Normal"><w:pPr><w:spacing w:after="160"/></w:pPr>)"
        R"(</w:style><w:style w:type="table" w:styleId="Grid"><w:pPr><w:spacing w:after="0"/></w:pPr></w:style>)");
    QTest::newRow("a table style's spacing over the default paragraph style's")
        << withRelated(
               R"(<w:tbl><w:tblPr><w:tblStyle w:val="Grid"/></w:tblPr><w:tblGrid><w:gridCol w:w="2000"/>)"
               R"(</w:tblGrid><w:tr><w:tc>)" +
                   probeWith({}) + "</w:tc></w:tr></w:tbl>",
               {{"styles", tableStyled}})
        << "spaceAfter"
        << "0";
    const std::string banded = stylesXml(
        R"(<w:style w:type="table" w:styleId="Grid4"><w:tblPr><w:tblStyleRowBandSize w:val="1"/></w:tblPr>)"
        R"(<w:tblStylePr w:type="firstRow"><w:rPr><w:b/></w:rPr><w:tcPr><w:shd w:val="clear" w:fill="4472C4"/>)"
        R"(</w:tcPr></w:tblStylePr><w:tblStylePr w:type="band1Horz"><w:tcPr>)"
        R"(<w:shd w:val="clear" w:fill="D9E2F3"/></w:tcPr></w:tblStylePr></w:style>)");
    // headerRows: how many rows, from the first, repeat as the table's header.
    const auto bandedTable = [&](const std::string& tblLook, int headerRows) {
        std::string rows;
        for (const char* text : {"Probe", "Two", "Three"})
            rows += std::string("<w:tr>") + (headerRows-- > 0 ? "<w:trPr><w:tblHeader/></w:trPr>" : "") +
                    "<w:tc>" + paragraph(textRun(text)) + "</w:tc></w:tr>";
        return withRelated(R"(<w:tbl><w:tblPr><w:tblStyle w:val="Grid4"/>)" + tblLook +
                               R"(</w:tblPr><w:tblGrid><w:gridCol w:w="2000"/></w:tblGrid>)" + rows +
                               "</w:tbl>",
                           {{"styles", banded}});
    };
    QTest::newRow("a table style's first row and banded rows")
        << bandedTable(R"(<w:tblLook w:val="04A0" w:firstRow="1" w:noHBand="0"/>)", 0) << "rows"
        << "4472c4 bold, d9e2f3, none";
    QTest::newRow("a table's look turning its style's first row off")
        << bandedTable(R"(<w:tblLook w:val="0020" w:firstRow="0"/>)", 1) << "rows"
        << "d9e2f3, none, d9e2f3";
    QTest::newRow("header rows after the first taking its format, bands after them")
        << bandedTable(R"(<w:tblLook w:val="04A0"/>)", 2) << "rows"
        << "4472c4 bold, 4472c4 bold, d9e2f3";
    QTest::newRow("a VML text box placed by its style")
        << wordParts(probeWith(
               {}, probe + R"(<w:r><w:pict><v:shape style="position:absolute;margin-left:36pt;margin-top:0;)"
                           R"(width:72pt;height:36pt;mso-position-horizontal-relative:page"><v:textbox>)"
                           R"(<w:txbxContent><w:p/></w:txbxContent></v:textbox></v:shape></w:pict></w:r>)"))
        << "shape"
        << "720 0 2160 720 text box";
}

void tst_DocxDocument::readModel()
{
    QFETCH(Parts, parts);
    QFETCH(QString, look);
    QFETCH(QString, expected);
    const doc::ReadModel model = docx::DocxDocument::parse(zipped(parts)).readModel();
    const auto found =
        std::find_if(model.paragraphs.begin(), model.paragraphs.end(), [](const doc::Paragraph& p) {
            return QString::fromStdU16String(p.text).startsWith(QStringLiteral("Probe"));
        });
    QVERIFY(found != model.paragraphs.end());
    const doc::Paragraph& p = *found;
    const std::map<QString, QString> looks{
        {QStringLiteral("size"), QString::number(p.runs.front().sizePt)},
        {QStringLiteral("font"), QString::fromStdString(p.runs.front().fontName)},
        {QStringLiteral("tabs"), QString::number(p.tabs.size())},
        {QStringLiteral("spaceBefore"), QString::number(p.spaceBefore)},
        {QStringLiteral("spaceAfter"), QString::number(p.spaceAfter)},
        {QStringLiteral("lineSpacing"), QString::number(p.lineSpacing)},
        {QStringLiteral("label"), p.list ? QString::fromStdU16String(p.list->text) : QString()},
        {QStringLiteral("last"), QString::fromStdU16String(p.text).right(1)},
    };
    if (look == QStringLiteral("rows")) {
        QVERIFY(!model.tables.empty());
        QStringList rows; // each row's first cell: its fill, and whether its text is bold
        for (const doc::TableRow& row : model.tables.front().rows) {
            const doc::TableCell& cell = row.cells.front();
            const doc::Paragraph& text = model.paragraphs[cell.blocks.front().index];
            rows << (cell.shading == doc::kAutoColor ? QStringLiteral("none")
                                                     : QString::number(cell.shading, 16)) +
                        (text.runs.front().bold ? QStringLiteral(" bold") : QString());
        }
        QCOMPARE(rows.join(QStringLiteral(", ")), expected);
        return;
    }
    if (look == QStringLiteral("shape")) {
        QCOMPARE(p.shapes.size(), std::size_t{1});
        const doc::Shape& shape = model.shapes[p.shapes.front().index];
        QCOMPARE(QStringLiteral("%1 %2 %3 %4%5")
                     .arg(shape.left)
                     .arg(shape.top)
                     .arg(shape.right)
                     .arg(shape.bottom)
                     .arg(shape.textBox ? QStringLiteral(" text box") : QString()),
                 expected);
        QCOMPARE(shape.horizontalFrom, doc::Shape::HorizontalFrom::Page);
        return;
    }
    QCOMPARE(looks.at(look), expected);
}

QTEST_GUILESS_MAIN(tst_DocxDocument)
#include "tst_docxdocument.moc"
