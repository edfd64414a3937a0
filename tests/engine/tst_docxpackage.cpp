#include "doc/error.h"
#include "docx/package.h"
#include "docx/xml.h"

#include <QtTest>

#include <string>
#include <vector>

using Bytes = std::vector<std::uint8_t>;
using Kind = doc::Error::Kind;
Q_DECLARE_METATYPE(Bytes)
Q_DECLARE_METATYPE(docx::PackageLimits)
Q_DECLARE_METATYPE(doc::Error::Kind)

namespace
{

Bytes bytesOf(std::string_view text)
{
    return Bytes(text.begin(), text.end());
}

Bytes zipOf(const std::vector<docx::Entry>& entries)
{
    docx::Package package;
    for (const auto& entry : entries)
        package.set(entry.name, entry.bytes);
    return package.write();
}

// Every occurrence of from, in the local and the central headers alike, becomes to (as long).
Bytes replaced(Bytes archive, std::string_view from, std::string_view to)
{
    const auto same = [](std::uint8_t a, char b) { return a == static_cast<std::uint8_t>(b); };
    for (auto at = archive.begin();
         (at = std::search(at, archive.end(), from.begin(), from.end(), same)) != archive.end();)
        at = std::copy(to.begin(), to.end(), at);
    return archive;
}

// Where four bytes of a central directory entry stand from its signature: the flags and the
// method, the checksum, the unpacked size.
constexpr std::size_t kFlagsAndMethod = 8;
constexpr std::size_t kCrc = 16;
constexpr std::size_t kUnpackedSize = 24;

// The first entry's four bytes at offset in the central directory, bits flipped there and in the
// local header that repeats them.
Bytes patched(const Bytes& archive, std::size_t offset, std::uint32_t bits)
{
    const std::string_view signature("PK\x01\x02", 4);
    const auto at = std::search(archive.begin(), archive.end(), signature.begin(), signature.end()) +
                    static_cast<std::ptrdiff_t>(offset);
    const std::string from(at, at + 4);
    std::string to = from;
    for (std::size_t i = 0; i < 4; ++i)
        to[i] = static_cast<char>(to[i] ^ static_cast<char>(bits >> (8 * i)));
    return replaced(archive, from, to);
}

const docx::xml::Node* find(const docx::xml::Node& node, std::string_view local)
{
    if (node.local == local)
        return &node;
    for (const auto& child : node.children) {
        if (const auto* found = find(child, local))
            return found;
    }
    return nullptr;
}

} // namespace

class tst_DocxPackage : public QObject
{
    Q_OBJECT

private slots:
    void refused_data();
    void refused();
    void roundTrip_data();
    void roundTrip();
    void xml_data();
    void xml();
};

void tst_DocxPackage::refused_data()
{
    QTest::addColumn<Bytes>("archive");
    QTest::addColumn<docx::PackageLimits>("limits");
    QTest::addColumn<Kind>("kind");

    const docx::PackageLimits limits;
    const Bytes small = bytesOf("<a/>");
    const Bytes sound = zipOf({{"a.xml", small}, {"b.xml", small}, {"c.xml", small}});
    const Bytes bomb = zipOf({{"a.xml", Bytes(limits.maxRatio * 8192, ' ')}});
    QTest::newRow("bomb by ratio") << bomb << limits << Kind::Io;
    docx::PackageLimits tight;
    tight.maxTotalBytes = 2 * small.size();
    QTest::newRow("bomb by total size") << sound << tight << Kind::Io;
    tight = {};
    tight.maxEntryBytes = small.size() - 1;
    QTest::newRow("entry too large") << sound << tight << Kind::Io;
    tight = {};
    tight.maxEntries = 2;
    QTest::newRow("too many entries") << sound << tight << Kind::Io;
    for (const std::string_view name : {"../x", "a/../../x", "/x", "C:\\x", "c:x"}) {
        const Bytes archive =
            replaced(zipOf({{std::string(name.size(), 'z'), small}}), std::string(name.size(), 'z'), name);
        QTest::newRow(name.data()) << archive << limits << Kind::Corrupt;
    }
    QTest::newRow("duplicate names") << replaced(sound, "b.xml", "A.XML") << limits << Kind::Corrupt;
    QTest::newRow("size declared too small")
        << patched(zipOf({{"a.xml", Bytes(0x12c, 'x')}}), kUnpackedSize, 0x100) << limits << Kind::Corrupt;
    QTest::newRow("checksum") << patched(sound, kCrc, 0x01) << limits << Kind::Corrupt;
    QTest::newRow("truncated archive") << Bytes(sound.begin(), sound.end() - 30) << limits << Kind::Corrupt;
    QTest::newRow("not a zip") << bytesOf("<a/>") << limits << Kind::NotWordDocument;
    QTest::newRow("encrypted") << patched(sound, kFlagsAndMethod, 0x01) << limits << Kind::Unsupported;
    QTest::newRow("compressed by bzip2")
        << patched(sound, kFlagsAndMethod, (8 ^ 12) << 16) << limits << Kind::Unsupported;
}

void tst_DocxPackage::refused()
{
    QFETCH(Bytes, archive);
    QFETCH(docx::PackageLimits, limits);
    QFETCH(Kind, kind);
    try {
        docx::Package::read(archive, limits);
        QFAIL("read");
    } catch (const doc::Error& e) {
        QVERIFY2(e.kind() == kind, e.what());
    }
}

void tst_DocxPackage::roundTrip_data()
{
    QTest::addColumn<Bytes>("archive");
    QTest::addColumn<QString>("changed"); // the entry set anew; added when not there

    QFile docx(QStringLiteral(BRINDLEWICK_SOURCE_DIR "/resources/template.docx"));
    QVERIFY(docx.open(QIODevice::ReadOnly));
    const QByteArray word = docx.readAll();
    QTest::newRow("a Word document's main part") << Bytes(word.begin(), word.end()) << "word/document.xml";
    QTest::newRow("a new part") << Bytes(word.begin(), word.end()) << "docProps/custom.xml";
    const Bytes first = zipOf({{"b.xml", bytesOf("<b/>")}, {docx::kContentTypesName, bytesOf("<Types/>")}});
    QTest::newRow("an empty part, the content types first") << first << "b.xml";
}

void tst_DocxPackage::roundTrip()
{
    QFETCH(Bytes, archive);
    QFETCH(QString, changed);
    const docx::Package before = docx::Package::read(archive);
    docx::Package package = before;
    package.set(changed.toStdString(), {});
    const docx::Package after = docx::Package::read(package.write());

    QCOMPARE(after.entries().front().name, docx::kContentTypesName);
    QCOMPARE(after.entries().size(), package.entries().size());
    for (const auto& entry : package.entries()) {
        const docx::Entry* read = after.find(entry.name);
        QVERIFY2(read && read->bytes == entry.bytes, entry.name.c_str());
        if (const docx::Entry* old = before.find(entry.name); old && entry.name != changed.toStdString())
            QVERIFY2(old->bytes == entry.bytes, entry.name.c_str());
    }
}

void tst_DocxPackage::xml_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<QString>("text");         // the element b's text; the null string when refused
    QTest::addColumn<QByteArray>("element");   // b as written
    QTest::addColumn<QByteArray>("content");   // its content as written
    QTest::addColumn<QByteArray>("firstText"); // its first text node as written

    const QByteArray word = docx::xml::kWordNs;
    QTest::newRow("nested") << QByteArray("<a><b x='1'>hi &amp; <c/>ho</b></a>") << "hi & ho"
                            << QByteArray("<b x='1'>hi &amp; <c/>ho</b>") << QByteArray("hi &amp; <c/>ho")
                            << QByteArray("hi &amp; ");
    QTest::newRow("empty") << QByteArray("<a>\n<b/>\n</a>") << "" << QByteArray("<b/>") << QByteArray()
                           << QByteArray();
    QTest::newRow("CDATA and a comment")
        << QByteArray("<b>x<![CDATA[<y>]]><!--c-->z</b>") << "x<y>z"
        << QByteArray("<b>x<![CDATA[<y>]]><!--c-->z</b>") << QByteArray("x<![CDATA[<y>]]><!--c-->z")
        << QByteArray("x<![CDATA[<y>]]>");
    QTest::newRow("namespaced") << "<w:a xmlns:w='" + word + "'><w:b>\xc3\xa9</w:b></w:a>" << u"\u00e9"_qs
                                << QByteArray("<w:b>\xc3\xa9</w:b>") << QByteArray("\xc3\xa9")
                                << QByteArray("\xc3\xa9");
    QTest::newRow("UTF-16") << QByteArray("\xff\xfe<\0b\0>\0x\0<\0/\0b\0>\0", 18) << "x"
                            << QByteArray("<\0b\0>\0x\0<\0/\0b\0>\0", 16) << QByteArray("x\0", 2)
                            << QByteArray("x\0", 2);
    const std::string characters = "<&\"'\t\r\n>";
    const QByteArray escaped = QByteArray::fromStdString(docx::xml::escape(characters));
    QTest::newRow("escaped") << "<b a=\"" + escaped + "\">" + escaped + "</b>"
                             << QString::fromStdString(characters)
                             << "<b a=\"" + escaped + "\">" + escaped + "</b>" << escaped << escaped;
    for (const char* refused :
         {"<!DOCTYPE b [<!ENTITY e 'xxxxxxxx'>]><b>&e;&e;</b>",
          "<!DOCTYPE b SYSTEM 'file:///etc/passwd'><b/>", "<?xml version='1.0' encoding='ISO-8859-1'?><b/>",
          "<a><b></a>", "<b>&e;</b>"})
        QTest::newRow(refused) << QByteArray(refused) << QString() << QByteArray() << QByteArray()
                               << QByteArray();
    QTest::newRow("too deep") << QByteArray("<a>").repeated(1000) + "<b/>" + QByteArray("</a>").repeated(1000)
                              << QString() << QByteArray() << QByteArray() << QByteArray();
}

void tst_DocxPackage::xml()
{
    QFETCH(QByteArray, xml);
    QFETCH(QString, text);
    QFETCH(QByteArray, element);
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, firstText);
    const auto bytes =
        std::span(reinterpret_cast<const std::uint8_t*>(xml.constData()), std::size_t(xml.size()));
    if (text.isNull()) {
        QVERIFY_THROWS_EXCEPTION(doc::Error, docx::xml::parse(bytes));
        return;
    }
    const docx::xml::Node root = docx::xml::parse(bytes);
    const docx::xml::Node* b = find(root, "b");
    QVERIFY(b);
    QCOMPARE(QString::fromStdString(b->allText()), text);
    QCOMPARE(b->isWord("b"), xml.contains("xmlns"));
    if (const std::string* attribute = b->attribute("", "a"))
        QCOMPARE(QString::fromStdString(*attribute), text);
    const auto written = [&xml](std::size_t begin, std::size_t end) {
        return xml.mid(qsizetype(begin), qsizetype(end - begin));
    };
    QCOMPARE(written(b->begin, b->end), element);
    QCOMPARE(written(b->contentBegin, b->contentEnd), content);
    const auto* first = b->children.empty() ? nullptr : &b->children.front();
    QCOMPARE(first ? written(first->begin, first->end) : QByteArray(), firstText);
}

QTEST_APPLESS_MAIN(tst_DocxPackage)
#include "tst_docxpackage.moc"
