#include "cfb.h"
#include "error.h"

#include <QFile>
#include <QtTest>

#include <algorithm>
#include <cstdint>
#include <vector>

using Bytes = std::vector<std::uint8_t>;
Q_DECLARE_METATYPE(doc::Error::Kind)

namespace {

Bytes readFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray data = f.readAll();
    return Bytes(data.begin(), data.end());
}

Bytes pattern(std::size_t size, std::uint8_t seed)
{
    Bytes b(size);
    for (std::size_t i = 0; i < size; ++i)
        b[i] = static_cast<std::uint8_t>((i * 31 + seed + (i >> 9)) & 0xFF);
    return b;
}

std::uint32_t le32(const Bytes& b, std::size_t offset)
{
    return static_cast<std::uint32_t>(b[offset]) | (static_cast<std::uint32_t>(b[offset + 1]) << 8) |
           (static_cast<std::uint32_t>(b[offset + 2]) << 16) | (static_cast<std::uint32_t>(b[offset + 3]) << 24);
}

} // namespace

class tst_CompoundFile : public QObject {
    Q_OBJECT

private:
    Bytes mSample;

private slots:
    void initTestCase();
    void readsWordDocument();
    void roundTripKeepsStreams();
    void replaceStream_data();
    void replaceStream();
    void largeFileNeedsDifat();
    void missingStream();
};

void tst_CompoundFile::initTestCase()
{
    const QString path = QFINDTESTDATA("../data/cfb-sample.doc");
    QVERIFY(!path.isEmpty());
    mSample = readFile(path);
    QVERIFY(!mSample.empty());
}

void tst_CompoundFile::readsWordDocument()
{
    try {
        const auto cf = doc::CompoundFile::parse(mSample);
        QVERIFY(cf.hasStream("WordDocument"));
        QVERIFY(cf.hasStream("1Table"));
        QVERIFY(cf.hasStream("\x01" "CompObj"));
        QVERIFY(cf.hasStream("\x05" "SummaryInformation"));
        const Bytes& word = cf.stream("WordDocument");
        // The FIB opens with wIdent 0xA5EC.
        QVERIFY(word.size() > 4096);
        QCOMPARE(word[0], std::uint8_t{0xEC});
        QCOMPARE(word[1], std::uint8_t{0xA5});
        // Property sets open with the byte order mark FFFE.
        const Bytes& summary = cf.stream("\x05" "SummaryInformation");
        QVERIFY(summary.size() < 4096);
        QCOMPARE(summary[0], std::uint8_t{0xFE});
        QCOMPARE(summary[1], std::uint8_t{0xFF});
    } catch (const doc::Error& e) {
        QFAIL(e.what());
    }
}

void tst_CompoundFile::roundTripKeepsStreams()
{
    try {
        const auto original = doc::CompoundFile::parse(mSample);
        const Bytes written = original.serialize();
        const auto again = doc::CompoundFile::parse(written);
        QCOMPARE(again.streamPaths(), original.streamPaths());
        for (const auto& path : original.streamPaths())
            QVERIFY2(again.stream(path) == original.stream(path), path.c_str());
        QVERIFY(again.serialize() == written);
    } catch (const doc::Error& e) {
        QFAIL(e.what());
    }
}

void tst_CompoundFile::replaceStream_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("size");

    QTest::newRow("small grows, stays small") << "\x05SummaryInformation" << 3000;
    QTest::newRow("small grows past the cutoff") << "\x05SummaryInformation" << 10000;
    QTest::newRow("small to exactly the cutoff") << "\x05SummaryInformation" << 4096;
    QTest::newRow("small to one below the cutoff") << "\x05SummaryInformation" << 4095;
    QTest::newRow("small emptied") << "\x05SummaryInformation" << 0;
    QTest::newRow("large shrinks below the cutoff") << "WordDocument" << 100;
    QTest::newRow("large grows") << "WordDocument" << 200000;
    QTest::newRow("large shrinks, stays large") << "WordDocument" << 5000;
}

void tst_CompoundFile::replaceStream()
{
    QFETCH(QString, path);
    QFETCH(int, size);
    const std::string name = path.toStdString();
    try {
        const auto original = doc::CompoundFile::parse(mSample);
        auto edited = original;
        const Bytes data = pattern(static_cast<std::size_t>(size), 7);
        edited.setStream(name, data);
        const auto reread = doc::CompoundFile::parse(edited.serialize());
        QCOMPARE(reread.streamPaths(), original.streamPaths());
        QVERIFY(reread.stream(name) == data);
        for (const auto& other : original.streamPaths()) {
            if (other != name)
                QVERIFY2(reread.stream(other) == original.stream(other), other.c_str());
        }
        QVERIFY(original.stream(name) != data);
    } catch (const doc::Error& e) {
        QFAIL(e.what());
    }
}

void tst_CompoundFile::largeFileNeedsDifat()
{
    try {
        auto cf = doc::CompoundFile::parse(mSample);
        const Bytes big = pattern(8 * 1024 * 1024, 3);
        cf.setStream("WordDocument", big);
        const Bytes written = cf.serialize();
        // More than 109 FAT sectors: the header's DIFAT overflows into DIFAT sectors.
        QVERIFY(le32(written, 0x2C) > 109);
        QVERIFY(le32(written, 0x48) > 0);
        const auto reread = doc::CompoundFile::parse(written);
        QVERIFY(reread.stream("WordDocument") == big);
        QVERIFY(reread.stream("1Table") == cf.stream("1Table"));
    } catch (const doc::Error& e) {
        QFAIL(e.what());
    }
}

void tst_CompoundFile::missingStream()
{
    const auto cf = doc::CompoundFile::parse(mSample);
    QVERIFY(!cf.hasStream("NoSuch"));
    try {
        cf.stream("NoSuch");
        QFAIL("no error");
    } catch (const doc::Error& e) {
        QCOMPARE(e.kind(), doc::Error::Kind::Corrupt);
        QCOMPARE(QString::fromUtf8(e.what()), QStringLiteral("no such stream: NoSuch"));
    }
    auto copy = cf;
    try {
        copy.setStream("NoSuch", Bytes{1, 2, 3});
        QFAIL("no error");
    } catch (const doc::Error& e) {
        QCOMPARE(e.kind(), doc::Error::Kind::BadArgument);
        QCOMPARE(QString::fromUtf8(e.what()), QStringLiteral("no such stream: NoSuch"));
    }
    QVERIFY(!copy.hasStream("NoSuch"));
}

QTEST_GUILESS_MAIN(tst_CompoundFile)
#include "tst_compoundfile.moc"
