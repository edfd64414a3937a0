#include "doc/bytes.h"

#include <QtTest>

#include <cstdint>
#include <limits>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

class tst_ByteCursor : public QObject
{
    Q_OBJECT

private slots:
    void readsLittleEndian();
    void failureSticks_data();
    void failureSticks();
    void seekAndBytes();
    void checkedArithmetic_data();
    void checkedArithmetic();
    void rangeFits_data();
    void rangeFits();
    void writerAndStoreAgree();
};

void tst_ByteCursor::readsLittleEndian()
{
    const Bytes data{0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08,
                     0xFE, 0xFF, 0x80, 0x00, 0x00, 0x80, 0x7F};
    doc::ByteCursor c(data);
    QCOMPARE(c.u64(), std::uint64_t{0x0807060504030201});
    QCOMPARE(c.i16(), std::int16_t{-2});
    QCOMPARE(c.i32(), std::numeric_limits<std::int32_t>::min() + 0x80);
    QCOMPARE(c.u8(), std::uint8_t{0x7F});
    QVERIFY(c.ok());
    QCOMPARE(c.remaining(), std::size_t{0});

    doc::ByteCursor d(data, 1);
    QCOMPARE(d.u16(), std::uint16_t{0x0302});
    QCOMPARE(d.u32(), std::uint32_t{0x07060504});
    QCOMPARE(d.offset(), std::size_t{7});
}

void tst_ByteCursor::failureSticks_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("width");
    QTest::newRow("u16 with one byte left") << 1 << 2;
    QTest::newRow("u32 with three bytes left") << 3 << 4;
    QTest::newRow("u64 with seven bytes left") << 7 << 8;
    QTest::newRow("u8 on empty data") << 0 << 1;
}

void tst_ByteCursor::failureSticks()
{
    QFETCH(int, size);
    QFETCH(int, width);
    const Bytes data(static_cast<std::size_t>(size), 0xAB);
    doc::ByteCursor c(data);
    std::uint64_t v = 1;
    switch (width) {
    case 1:
        v = c.u8();
        break;
    case 2:
        v = c.u16();
        break;
    case 4:
        v = c.u32();
        break;
    default:
        v = c.u64();
        break;
    }
    QCOMPARE(v, std::uint64_t{0});
    QVERIFY(!c.ok());
    // Once failed, even reads that would fit yield nothing.
    c.seek(0);
    QCOMPARE(c.remaining(), std::size_t{0});
    if (size > 0)
        QCOMPARE(c.u8(), std::uint8_t{0});
    QVERIFY(!c.ok());
}

void tst_ByteCursor::seekAndBytes()
{
    const Bytes data{1, 2, 3, 4, 5};
    doc::ByteCursor c(data);
    c.seek(5);
    QVERIFY(c.ok());
    QVERIFY(c.bytes(0).empty());
    QVERIFY(c.ok());
    c.seek(2);
    c.skip(1);
    const auto view = c.bytes(2);
    QCOMPARE(view.size(), std::size_t{2});
    QCOMPARE(view[0], std::uint8_t{4});
    QVERIFY(c.bytes(1).empty());
    QVERIFY(!c.ok());

    doc::ByteCursor past(data, 6);
    QVERIFY(!past.ok());
    doc::ByteCursor huge(data);
    huge.skip(std::numeric_limits<std::size_t>::max());
    QVERIFY(!huge.ok());
}

void tst_ByteCursor::checkedArithmetic_data()
{
    constexpr std::size_t max = std::numeric_limits<std::size_t>::max();
    QTest::addColumn<quint64>("a");
    QTest::addColumn<quint64>("b");
    QTest::addColumn<bool>("addFits");
    QTest::addColumn<bool>("mulFits");
    QTest::newRow("small") << quint64{3} << quint64{4} << true << true;
    QTest::newRow("zero times max") << quint64{0} << quint64{max} << true << true;
    QTest::newRow("max plus zero") << quint64{max} << quint64{0} << true << true;
    QTest::newRow("max plus one") << quint64{max} << quint64{1} << false << true;
    QTest::newRow("half times two") << quint64{max / 2} << quint64{2} << true << true;
    QTest::newRow("half plus one times two") << quint64{max / 2 + 1} << quint64{2} << true << false;
}

void tst_ByteCursor::checkedArithmetic()
{
    QFETCH(quint64, a);
    QFETCH(quint64, b);
    QFETCH(bool, addFits);
    QFETCH(bool, mulFits);
    const auto sum = doc::checkedAdd(a, b);
    const auto product = doc::checkedMul(a, b);
    QCOMPARE(sum.has_value(), addFits);
    QCOMPARE(product.has_value(), mulFits);
    if (sum)
        QCOMPARE(quint64{*sum} - b, a);
    if (product && a != 0)
        QCOMPARE(quint64{*product} / a, b);
}

void tst_ByteCursor::rangeFits_data()
{
    QTest::addColumn<quint64>("size");
    QTest::addColumn<quint64>("offset");
    QTest::addColumn<quint64>("length");
    QTest::addColumn<bool>("fits");
    QTest::newRow("whole") << quint64{10} << quint64{0} << quint64{10} << true;
    QTest::newRow("empty at end") << quint64{10} << quint64{10} << quint64{0} << true;
    QTest::newRow("one past") << quint64{10} << quint64{5} << quint64{6} << false;
    QTest::newRow("offset past") << quint64{10} << quint64{11} << quint64{0} << false;
    QTest::newRow("length wraps") << quint64{10} << quint64{5} << std::numeric_limits<quint64>::max()
                                  << false;
}

void tst_ByteCursor::rangeFits()
{
    QFETCH(quint64, size);
    QFETCH(quint64, offset);
    QFETCH(quint64, length);
    QFETCH(bool, fits);
    QCOMPARE(doc::rangeFits(static_cast<std::size_t>(size), offset, length), fits);
}

void tst_ByteCursor::writerAndStoreAgree()
{
    doc::ByteWriter w;
    w.u8(0x11);
    w.u16(0x2233);
    w.u32(0x44556677);
    w.u64(0x8899AABBCCDDEEFF);
    w.i16(-1);
    w.i32(-2);
    w.fill(3, 0x5A);
    w.bytes(Bytes{9, 8});
    QCOMPARE(w.size(), std::size_t{1 + 2 + 4 + 8 + 2 + 4 + 3 + 2});

    Bytes stored(w.size(), 0);
    doc::storeU16(stored, 1, 0x2233);
    doc::storeU32(stored, 3, 0x44556677);
    doc::storeU64(stored, 7, 0x8899AABBCCDDEEFF);

    Bytes written = std::move(w).take();
    doc::ByteCursor c(written);
    QCOMPARE(c.u8(), std::uint8_t{0x11});
    QCOMPARE(c.u16(), std::uint16_t{0x2233});
    QCOMPARE(c.u32(), std::uint32_t{0x44556677});
    QCOMPARE(c.u64(), std::uint64_t{0x8899AABBCCDDEEFF});
    QCOMPARE(c.i16(), std::int16_t{-1});
    QCOMPARE(c.i32(), std::int32_t{-2});
    QCOMPARE(c.u8(), std::uint8_t{0x5A});
    QVERIFY(c.ok());
    QVERIFY(std::equal(stored.begin() + 1, stored.begin() + 15, written.begin() + 1));
    QCOMPARE(written.back(), std::uint8_t{8});
}

QTEST_GUILESS_MAIN(tst_ByteCursor)
#include "tst_bytecursor.moc"
