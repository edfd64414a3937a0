#include "doc/cfb.h"
#include "doc/error.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <cstdint>
#include <vector>

using Bytes = std::vector<std::uint8_t>;
Q_DECLARE_METATYPE(doc::Error::Kind)

namespace
{

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
           (static_cast<std::uint32_t>(b[offset + 2]) << 16) |
           (static_cast<std::uint32_t>(b[offset + 3]) << 24);
}

bool writeFile(const QString& path, const Bytes& data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) &&
           f.write(reinterpret_cast<const char*>(data.data()), static_cast<qint64>(data.size())) ==
               static_cast<qint64>(data.size());
}

void put32(Bytes& b, std::size_t offset, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[offset + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

// The raw directory entries of a compound file, found by following the directory chain
// through the FAT sectors the header lists. Enough for well-formed files of any size.
std::vector<Bytes> directoryEntries(const Bytes& file)
{
    const std::size_t sectorSize = std::size_t{1} << (file[0x1E] | (file[0x1F] << 8));
    const auto sectorOffset = [&](std::uint32_t s) { return (std::size_t{s} + 1) * sectorSize; };
    std::vector<std::uint32_t> fatSectors;
    const std::uint32_t fatCount = le32(file, 0x2C);
    for (std::uint32_t i = 0; i < fatCount && i < 109; ++i)
        fatSectors.push_back(le32(file, 0x4C + 4 * i));
    for (std::uint32_t difat = le32(file, 0x44); fatSectors.size() < fatCount;) {
        for (std::size_t i = 0; i < sectorSize / 4 - 1 && fatSectors.size() < fatCount; ++i)
            fatSectors.push_back(le32(file, sectorOffset(difat) + 4 * i));
        difat = le32(file, sectorOffset(difat) + sectorSize - 4);
    }
    const auto next = [&](std::uint32_t s) {
        const std::size_t perSector = sectorSize / 4;
        return le32(file, sectorOffset(fatSectors[s / perSector]) + 4 * (s % perSector));
    };
    std::vector<Bytes> entries;
    for (std::uint32_t s = le32(file, 0x30); s != 0xFFFFFFFE && entries.size() < 100000; s = next(s)) {
        for (std::size_t at = sectorOffset(s); at < sectorOffset(s) + sectorSize; at += 128)
            entries.emplace_back(file.begin() + static_cast<std::ptrdiff_t>(at),
                                 file.begin() + static_cast<std::ptrdiff_t>(at + 128));
    }
    return entries;
}

QString findTestData(const QString& name)
{
    return QFINDTESTDATA(QStringLiteral("../data/") + name);
}

// One committed file per failure mode (tests/data/corrupt/make-cfb-corpus.py).
struct DamagedFile {
    const char* name;
    QString file;
    doc::Error::Kind kind;
    QString description;
};

std::vector<DamagedFile> damagedFiles()
{
    using Kind = doc::Error::Kind;
    return {
        {"empty", "cfb-empty.bin", Kind::NotCompoundFile, "not a compound file"},
        {"bad signature", "cfb-bad-signature.bin", Kind::NotCompoundFile, "not a compound file"},
        {"truncated header", "cfb-truncated-header.bin", Kind::Truncated, "truncated compound file"},
        {"truncated version 4 header", "cfb-truncated-version4-header.bin", Kind::Truncated,
         "truncated compound file"},
        {"bad byte order", "cfb-bad-byte-order.bin", Kind::Corrupt, "corrupt compound file: bad byte order"},
        {"unsupported version", "cfb-unsupported-version.bin", Kind::Unsupported,
         "unsupported compound file: version 2"},
        {"bad sector shift", "cfb-bad-sector-shift.bin", Kind::Corrupt,
         "corrupt compound file: bad sector shift"},
        {"bad mini sector shift", "cfb-bad-mini-sector-shift.bin", Kind::Corrupt,
         "corrupt compound file: bad mini sector shift"},
        {"bad mini stream cutoff", "cfb-bad-mini-stream-cutoff.bin", Kind::Corrupt,
         "corrupt compound file: bad mini stream cutoff"},
        {"bad FAT count", "cfb-bad-fat-count.bin", Kind::Corrupt,
         "corrupt compound file: bad FAT sector count"},
        {"FAT sector past end", "cfb-fat-sector-past-end.bin", Kind::Truncated, "truncated compound file"},
        {"FAT cycle", "cfb-fat-cycle.bin", Kind::Corrupt, "corrupt compound file: sector chain loops"},
        {"directory chain cycle", "cfb-directory-chain-cycle.bin", Kind::Corrupt,
         "corrupt compound file: sector chain loops"},
        {"chain too short", "cfb-chain-too-short.bin", Kind::Corrupt,
         "corrupt compound file: chain shorter than stream"},
        {"shared sector", "cfb-shared-sector.bin", Kind::Corrupt, "corrupt compound file: sector used twice"},
        {"bad sector number", "cfb-bad-sector-number.bin", Kind::Corrupt,
         "corrupt compound file: bad sector number"},
        {"stream past end", "cfb-stream-past-end.bin", Kind::Truncated, "truncated compound file"},
        {"huge stream size", "cfb-huge-stream-size.bin", Kind::Corrupt,
         "corrupt compound file: stream size exceeds file"},
        {"mini FAT cycle", "cfb-minifat-cycle.bin", Kind::Corrupt,
         "corrupt compound file: sector chain loops"},
        {"mini sector past mini stream", "cfb-mini-sector-past-mini-stream.bin", Kind::Corrupt,
         "corrupt compound file: mini sector past mini stream"},
        {"directory cycle", "cfb-directory-cycle.bin", Kind::Corrupt,
         "corrupt compound file: directory tree loops"},
        {"bad directory link", "cfb-bad-directory-link.bin", Kind::Corrupt,
         "corrupt compound file: bad directory link"},
        {"unallocated entry linked", "cfb-unallocated-entry-linked.bin", Kind::Corrupt,
         "corrupt compound file: bad directory entry"},
        {"no root entry", "cfb-no-root-entry.bin", Kind::Corrupt, "corrupt compound file: no root entry"},
        {"bad entry name", "cfb-bad-entry-name.bin", Kind::Corrupt, "corrupt compound file: bad entry name"},
        {"nested too deep", "cfb-nested-too-deep.bin", Kind::Unsupported,
         "unsupported compound file: storages nested too deep"},
        {"duplicate name", "cfb-duplicate-name.bin", Kind::Corrupt, "corrupt compound file: duplicate name"},
    };
}

} // namespace

class tst_CompoundFile : public QObject
{
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
    void addsStreamAtRoot_data();
    void addsStreamAtRoot();
    void readsSmallFiles_data();
    void readsSmallFiles();
    void keepsDirectoryEntries_data();
    void keepsDirectoryEntries();
    void rejectsDamagedFiles_data();
    void rejectsDamagedFiles();
    void corpusIsCovered();
    void rejectsDifatLoop();
    void acceptsDeepestNesting();
    void acceptsShortLastSector();
    void cutFilesAreTruncated_data();
    void cutFilesAreTruncated();
    void orphanEntryIsEmptied();
    void sizeHighHalf_data();
    void sizeHighHalf();
    void copyIsIndependent();
    void othersReadOutput();
};

void tst_CompoundFile::initTestCase()
{
    const QString path = findTestData(QStringLiteral("cfb-sample.doc"));
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
        QVERIFY(cf.hasStream("\x01"
                             "CompObj"));
        QVERIFY(cf.hasStream("\x05"
                             "SummaryInformation"));
        const Bytes& word = cf.stream("WordDocument");
        // The FIB opens with wIdent 0xA5EC.
        QVERIFY(word.size() > 4096);
        QCOMPARE(word[0], std::uint8_t{0xEC});
        QCOMPARE(word[1], std::uint8_t{0xA5});
        // Property sets open with the byte order mark FFFE.
        const Bytes& summary = cf.stream("\x05"
                                         "SummaryInformation");
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
        copy.setStream("NoSuch/Inner", Bytes{1, 2, 3});
        QFAIL("no error");
    } catch (const doc::Error& e) {
        QCOMPARE(e.kind(), doc::Error::Kind::BadArgument);
        QCOMPARE(QString::fromUtf8(e.what()), QStringLiteral("no such stream: NoSuch/Inner"));
    }
    QVERIFY(!copy.hasStream("NoSuch/Inner"));
}

void tst_CompoundFile::addsStreamAtRoot_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("error");
    QTest::newRow("sorts first") << "cfb-sample.doc"
                                 << "A" << 100 << "";
    QTest::newRow("sorts among others, large") << "cfb-sample.doc"
                                               << "Data" << 5000 << "";
    QTest::newRow("longest name, empty") << "cfb-sample.doc" << QString(31, QLatin1Char('z')) << 0 << "";
    QTest::newRow("beside a storage") << "cfb-version3.bin"
                                      << "\x05Summary" << 10 << "";
    QTest::newRow("a storage's name but for case") << "cfb-version3.bin"
                                                   << "sub" << 10 << "name taken: sub";
    QTest::newRow("empty name") << "cfb-sample.doc"
                                << "" << 10 << "bad stream name: ";
    QTest::newRow("name too long") << "cfb-sample.doc" << QString(32, QLatin1Char('z')) << 10
                                   << "bad stream name: " + QString(32, QLatin1Char('z'));
    QTest::newRow("colon") << "cfb-sample.doc"
                           << "a:b" << 10 << "bad stream name: a:b";
}

void tst_CompoundFile::addsStreamAtRoot()
{
    // The new stream reads back with the others unchanged (so every entry is reachable), and
    // the root's tree is a sound red-black tree in name order ([MS-CFB] 2.6.4): shorter names
    // first, then upper case.
    QFETCH(QString, file);
    QFETCH(QString, name);
    QFETCH(int, size);
    QFETCH(QString, error);
    const std::string path = name.toStdString();
    const auto original = doc::CompoundFile::parse(readFile(findTestData(file)));
    auto edited = original;
    const Bytes data = pattern(static_cast<std::size_t>(size), 5);
    try {
        edited.setStream(path, data);
        QVERIFY2(error.isEmpty(), "no error");
    } catch (const doc::Error& e) {
        QCOMPARE(e.kind(), doc::Error::Kind::BadArgument);
        QCOMPARE(QString::fromUtf8(e.what()), error);
        QCOMPARE(edited.streamPaths(), original.streamPaths());
        return;
    }
    const Bytes written = edited.serialize();
    const auto reread = doc::CompoundFile::parse(written);
    auto expected = original.streamPaths();
    expected.push_back(path);
    auto paths = reread.streamPaths();
    std::sort(expected.begin(), expected.end());
    std::sort(paths.begin(), paths.end());
    QCOMPARE(paths, expected);
    QVERIFY(reread.stream(path) == data);
    for (const auto& other : original.streamPaths())
        QVERIFY2(reread.stream(other) == original.stream(other), other.c_str());

    const auto entries = directoryEntries(written);
    const auto nameOf = [&](std::uint32_t id) {
        const Bytes& e = entries[id];
        QString n;
        for (std::size_t i = 0; i + 2 < std::size_t(e[64] | (e[65] << 8)); i += 2)
            n += QChar(char16_t(e[i] | (e[i + 1] << 8))).toUpper();
        return n;
    };
    const auto less = [](const QString& a, const QString& b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    };
    // Returns the black height of the subtree, or -1 when it breaks a rule.
    const auto check = [&](auto& self, std::uint32_t id, const QString* low, const QString* high,
                           bool parentRed) -> int {
        if (id == 0xFFFFFFFF)
            return 1;
        const QString n = nameOf(id);
        const bool red = entries[id][67] == 0;
        if ((low && !less(*low, n)) || (high && !less(n, *high)) || (red && parentRed))
            return -1;
        const int left = self(self, le32(entries[id], 68), low, &n, red);
        const int right = self(self, le32(entries[id], 72), &n, high, red);
        return left < 0 || left != right ? -1 : left + (red ? 0 : 1);
    };
    const std::uint32_t top = le32(entries[0], 76);
    QCOMPARE(int(entries[top][67]), 1);
    QVERIFY(check(check, top, nullptr, nullptr, false) > 0);
}

void tst_CompoundFile::readsSmallFiles_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("version 3") << "cfb-version3.bin";
    QTest::newRow("version 4") << "cfb-version4.bin";
}

void tst_CompoundFile::readsSmallFiles()
{
    // Made by make-cfb-corpus.py, which documents the contents checked here.
    QFETCH(QString, file);
    const Bytes bytes = readFile(findTestData(file));
    QVERIFY(!bytes.empty());
    const std::string emojiName = "Gr\xC3\xBC\xC3\x9F"
                                  "e\xF0\x9F\x98\x80";
    try {
        const auto cf = doc::CompoundFile::parse(bytes);
        const std::vector<std::string> expected{"Big", "Small", "Sub/Inner", emojiName};
        QCOMPARE(cf.streamPaths(), expected);
        QVERIFY(!cf.hasStream("Sub"));

        const Bytes& big = cf.stream("Big");
        QCOMPARE(big.size(), std::size_t{4200});
        for (std::size_t i = 0; i < big.size(); ++i) {
            if (big[i] != static_cast<std::uint8_t>((i * 7 + 1) & 0xFF))
                QFAIL(qPrintable(QStringLiteral("Big differs at %1").arg(i)));
        }
        const Bytes& small = cf.stream("Small");
        QCOMPARE(small.size(), std::size_t{300});
        QCOMPARE(std::string(small.begin(), small.begin() + 13), std::string("small stream "));
        QVERIFY(cf.stream("Sub/Inner") == Bytes(100, 'i'));
        QCOMPARE(cf.stream(emojiName), (Bytes{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));

        // Whatever was read is written back as version 3.
        const Bytes written = cf.serialize();
        QCOMPARE(int(written[0x1A]), 3);
        QCOMPARE(int(written[0x1E]), 9);
        const auto again = doc::CompoundFile::parse(written);
        QCOMPARE(again.streamPaths(), expected);
        for (const auto& path : expected)
            QVERIFY2(again.stream(path) == cf.stream(path), path.c_str());
    } catch (const doc::Error& e) {
        QFAIL(e.what());
    }
}

void tst_CompoundFile::keepsDirectoryEntries_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("LibreOffice document") << "cfb-sample.doc";
    QTest::newRow("version 3") << "cfb-version3.bin";
    QTest::newRow("version 4") << "cfb-version4.bin";
}

void tst_CompoundFile::keepsDirectoryEntries()
{
    // Names, colours, links, CLSIDs, state bits and times come back exactly; the start
    // sector may move, and the size changes only for the root (the mini stream is repacked).
    QFETCH(QString, file);
    const Bytes original = readFile(findTestData(file));
    QVERIFY(!original.empty());
    Bytes written;
    try {
        written = doc::CompoundFile::parse(original).serialize();
    } catch (const doc::Error& e) {
        QFAIL(e.what());
    }
    const auto before = directoryEntries(original);
    const auto after = directoryEntries(written);
    QVERIFY(before.size() >= 4);
    QVERIFY(after.size() >= before.size());
    for (std::size_t i = 0; i < before.size(); ++i) {
        const QByteArray label = QByteArray::number(qulonglong(i));
        QVERIFY2(std::equal(before[i].begin(), before[i].begin() + 116, after[i].begin()), label);
        if (i > 0 && before[i][66] == 2)
            QVERIFY2(le32(before[i], 120) == le32(after[i], 120), label);
    }
    for (std::size_t i = before.size(); i < after.size(); ++i)
        QCOMPARE(int(after[i][66]), 0);
}

void tst_CompoundFile::rejectsDamagedFiles_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<doc::Error::Kind>("kind");
    QTest::addColumn<QString>("description");
    for (const DamagedFile& row : damagedFiles())
        QTest::newRow(row.name) << row.file << row.kind << row.description;
}

void tst_CompoundFile::rejectsDamagedFiles()
{
    QFETCH(QString, file);
    QFETCH(doc::Error::Kind, kind);
    QFETCH(QString, description);
    const QString path = findTestData(QStringLiteral("corrupt/") + file);
    QVERIFY2(!path.isEmpty(), qPrintable(file));
    const Bytes bytes = readFile(path);
    try {
        doc::CompoundFile::parse(bytes);
        QFAIL("accepted");
    } catch (const doc::Error& e) {
        QCOMPARE(QString::fromUtf8(e.what()), description);
        QCOMPARE(e.kind(), kind);
    }
}

void tst_CompoundFile::corpusIsCovered()
{
    // Every damaged file committed, including any a fuzzer finds, needs a row in the table.
    const QString dir = findTestData(QStringLiteral("corrupt"));
    QVERIFY(!dir.isEmpty());
    QStringList committed = QDir(dir).entryList({QStringLiteral("cfb-*.bin")}, QDir::Files, QDir::Name);
    QStringList listed;
    for (const DamagedFile& row : damagedFiles())
        listed << row.file;
    listed.sort();
    QCOMPARE(committed, listed);
}

void tst_CompoundFile::rejectsDifatLoop()
{
    // A file large enough for two DIFAT sectors, whose first DIFAT sector links to itself.
    Bytes written;
    try {
        auto cf = doc::CompoundFile::parse(mSample);
        cf.setStream("WordDocument", pattern(20 * 1024 * 1024, 5));
        written = cf.serialize();
    } catch (const doc::Error& e) {
        QFAIL(e.what());
    }
    QCOMPARE(le32(written, 0x48), std::uint32_t{2});
    const std::uint32_t firstDifat = le32(written, 0x44);
    put32(written, (std::size_t{firstDifat} + 1) * 512 + 508, firstDifat);
    try {
        doc::CompoundFile::parse(written);
        QFAIL("accepted");
    } catch (const doc::Error& e) {
        QCOMPARE(e.kind(), doc::Error::Kind::Corrupt);
        QCOMPARE(QString::fromUtf8(e.what()), QStringLiteral("corrupt compound file: DIFAT chain loops"));
    }
}

void tst_CompoundFile::acceptsDeepestNesting()
{
    // One level less than cfb-nested-too-deep.bin.
    const Bytes bytes = readFile(findTestData(QStringLiteral("cfb-nested-deepest.bin")));
    QVERIFY(!bytes.empty());
    std::string path;
    for (int level = 0; level < 15; ++level)
        path += "S" + std::to_string(level) + "/";
    path += "Deep";
    try {
        const auto cf = doc::CompoundFile::parse(bytes);
        QCOMPARE(cf.streamPaths(), std::vector<std::string>{path});
        QCOMPARE(cf.stream(path), (Bytes{'d', 'e', 'e', 'p'}));
        QCOMPARE(doc::CompoundFile::parse(cf.serialize()).stream(path), cf.stream(path));
    } catch (const doc::Error& e) {
        QFAIL(e.what());
    }
}

void tst_CompoundFile::acceptsShortLastSector()
{
    // Some writers stop the file where the last stream ends instead of filling its sector.
    Bytes bytes = readFile(findTestData(QStringLiteral("cfb-version3.bin")));
    QVERIFY(!bytes.empty());
    const std::size_t bigTail = 4200 % 512;
    bytes.resize(bytes.size() - (512 - bigTail));
    try {
        const auto cf = doc::CompoundFile::parse(bytes);
        QCOMPARE(cf.stream("Big").size(), std::size_t{4200});
        QCOMPARE(cf.stream("Big").back(), static_cast<std::uint8_t>((4199 * 7 + 1) & 0xFF));
    } catch (const doc::Error& e) {
        QFAIL(e.what());
    }
    bytes.pop_back();
    try {
        doc::CompoundFile::parse(bytes);
        QFAIL("accepted");
    } catch (const doc::Error& e) {
        QCOMPARE(e.kind(), doc::Error::Kind::Truncated);
    }
}

void tst_CompoundFile::cutFilesAreTruncated_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("LibreOffice document") << "cfb-sample.doc";
    QTest::newRow("version 3") << "cfb-version3.bin";
    QTest::newRow("version 4") << "cfb-version4.bin";
}

void tst_CompoundFile::cutFilesAreTruncated()
{
    // A file cut short anywhere is reported as truncated, unless only padding after the
    // last stream was lost, in which case every stream is still read in full.
    QFETCH(QString, file);
    const Bytes whole = readFile(findTestData(file));
    QVERIFY(!whole.empty());
    const auto complete = doc::CompoundFile::parse(whole);
    for (std::size_t length = 1; length < whole.size(); length += 61) {
        const QByteArray label = "cut at " + QByteArray::number(qulonglong(length));
        try {
            const auto cut = doc::CompoundFile::parse(std::span(whole.data(), length));
            QVERIFY2(length > whole.size() - (std::size_t{1} << whole[0x1E]), label);
            QCOMPARE(cut.streamPaths(), complete.streamPaths());
            for (const auto& path : complete.streamPaths())
                QVERIFY2(cut.stream(path) == complete.stream(path), label);
        } catch (const doc::Error& e) {
            QVERIFY2(e.kind() == doc::Error::Kind::Truncated, label + ": " + e.what());
        }
    }
}

void tst_CompoundFile::orphanEntryIsEmptied()
{
    // Cutting the link from "Small" to the last stream leaves that entry unreachable: it
    // is not listed, and is written back without data rather than pointing at stale sectors.
    Bytes bytes = readFile(findTestData(QStringLiteral("cfb-version3.bin")));
    QVERIFY(!bytes.empty());
    const std::size_t smallEntry = (std::size_t{le32(bytes, 0x30)} + 1) * 512 + 2 * 128;
    QCOMPARE(le32(bytes, smallEntry + 72), std::uint32_t{5});
    put32(bytes, smallEntry + 72, 0xFFFFFFFF);
    try {
        const auto cf = doc::CompoundFile::parse(bytes);
        const std::vector<std::string> expected{"Big", "Small", "Sub/Inner"};
        QCOMPARE(cf.streamPaths(), expected);
        const Bytes written = cf.serialize();
        const auto entries = directoryEntries(written);
        QCOMPARE(int(entries[5][66]), 2);
        QCOMPARE(le32(entries[5], 116), std::uint32_t{0xFFFFFFFE});
        QCOMPARE(le32(entries[5], 120), std::uint32_t{0});
        QCOMPARE(doc::CompoundFile::parse(written).streamPaths(), expected);
    } catch (const doc::Error& e) {
        QFAIL(e.what());
    }
}

void tst_CompoundFile::sizeHighHalf_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("counts");
    // Version 3 writers may leave garbage in the high half of a stream size.
    QTest::newRow("version 3 ignores it") << "cfb-version3.bin" << false;
    QTest::newRow("version 4 counts it") << "cfb-version4.bin" << true;
}

void tst_CompoundFile::sizeHighHalf()
{
    QFETCH(QString, file);
    QFETCH(bool, counts);
    Bytes bytes = readFile(findTestData(file));
    QVERIFY(!bytes.empty());
    const auto entries = directoryEntries(bytes);
    QVERIFY(entries.size() > 1);
    QCOMPARE(le32(entries[1], 120), std::uint32_t{4200});
    // Entry 1 ("Big") lies in the first directory sector.
    const std::size_t sectorSize = std::size_t{1} << bytes[0x1E];
    const std::size_t entryOffset = (std::size_t{le32(bytes, 0x30)} + 1) * sectorSize + 128;
    put32(bytes, entryOffset + 124, 0x00000001);
    try {
        const auto cf = doc::CompoundFile::parse(bytes);
        QVERIFY(!counts);
        QCOMPARE(cf.stream("Big").size(), std::size_t{4200});
    } catch (const doc::Error& e) {
        QVERIFY2(counts, e.what());
        QCOMPARE(QString::fromUtf8(e.what()),
                 QStringLiteral("corrupt compound file: stream size exceeds file"));
    }
}

void tst_CompoundFile::copyIsIndependent()
{
    const auto original = doc::CompoundFile::parse(mSample);
    const Bytes before = original.stream("1Table");
    auto copy = original;
    copy.setStream("1Table", Bytes{1, 2, 3});
    QVERIFY(original.stream("1Table") == before);
    QCOMPARE(copy.stream("1Table"), (Bytes{1, 2, 3}));
    auto assigned = doc::CompoundFile::parse(readFile(findTestData(QStringLiteral("cfb-version3.bin"))));
    assigned = copy;
    QCOMPARE(assigned.streamPaths(), original.streamPaths());
    QCOMPARE(assigned.stream("1Table"), (Bytes{1, 2, 3}));
}

void tst_CompoundFile::othersReadOutput()
{
    const QString antiword = QStandardPaths::findExecutable(QStringLiteral("antiword"));
    const QString wvText = QStandardPaths::findExecutable(QStringLiteral("wvText"));
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (antiword.isEmpty() || wvText.isEmpty() || soffice.isEmpty())
        QSKIP("antiword, wvText or soffice is not installed (tools/deps.sh test)");

    // Word readers read the table stream only up to the offsets the FIB gives, so trailing
    // bytes are harmless: padding moves it out of the mini stream, and then makes the FAT
    // need DIFAT sectors.
    const std::vector<std::pair<QString, std::size_t>> variants{
        {QStringLiteral("unchanged"), 0},
        {QStringLiteral("table-past-cutoff"), 3000},
        {QStringLiteral("table-8mb"), 8 * 1024 * 1024},
    };
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QStringList docs;
    for (const auto& [name, padding] : variants) {
        try {
            auto cf = doc::CompoundFile::parse(mSample);
            Bytes table = cf.stream("1Table");
            table.resize(table.size() + padding, 0);
            cf.setStream("1Table", table);
            docs << dir.filePath(name + QStringLiteral(".doc"));
            QVERIFY(writeFile(docs.back(), cf.serialize()));
        } catch (const doc::Error& e) {
            QFAIL(e.what());
        }
    }

    const auto run = [](const QString& program, const QStringList& args) {
        QProcess p;
        p.start(program, args);
        if (!p.waitForFinished(180000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
            return QString();
        return QString::fromUtf8(p.readAllStandardOutput());
    };
    const auto fileText = [](const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    };
    const QString lastLine = QStringLiteral("Paragraph 39: The quick brown fox");

    for (const QString& docPath : docs) {
        const QByteArray label = QFileInfo(docPath).fileName().toUtf8();
        QVERIFY2(run(antiword, {docPath}).contains(lastLine), "antiword: " + label);
        const QString wvOut = docPath + QStringLiteral(".wv.txt");
        run(wvText, {docPath, wvOut});
        QVERIFY2(fileText(wvOut).contains(lastLine), "wvText: " + label);
    }

    // One LibreOffice run for all files; a private profile keeps it apart from other instances.
    const QString profile = QUrl::fromLocalFile(dir.filePath(QStringLiteral("profile"))).toString();
    const QString loOut = dir.filePath(QStringLiteral("lo"));
    run(soffice, QStringList{QStringLiteral("-env:UserInstallation=") + profile, QStringLiteral("--headless"),
                             QStringLiteral("--convert-to"), QStringLiteral("txt"),
                             QStringLiteral("--outdir"), loOut} +
                     docs);
    for (const QString& docPath : docs) {
        const QString txt =
            loOut + QLatin1Char('/') + QFileInfo(docPath).completeBaseName() + QStringLiteral(".txt");
        QVERIFY2(fileText(txt).contains(lastLine), "LibreOffice: " + QFileInfo(docPath).fileName().toUtf8());
    }
}

QTEST_GUILESS_MAIN(tst_CompoundFile)
#include "tst_compoundfile.moc"
