#include "shell/cursorfile.h"
#include "support/cursorfiles.h"

#include <QtTest>

#include <QBuffer>
#include <QImageWriter>

class tst_CursorFile : public QObject
{
    Q_OBJECT

private slots:
    void hotSpot_data();
    void hotSpot();
    void read_data();
    void read();
    void committedHandCursor();
};

namespace
{

} // namespace

void tst_CursorFile::hotSpot_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QPoint>("spot");
    QTest::newRow("cursor") << TestFiles::cursorFile(QPoint(3, 5)) << true << QPoint(3, 5);
    QTest::newRow("cursor at origin") << TestFiles::cursorFile(QPoint(0, 0)) << true << QPoint(0, 0);
    QTest::newRow("icon has none") << TestFiles::cursorFile(QPoint(3, 5), 1) << false << QPoint();
    QTest::newRow("empty") << QByteArray() << false << QPoint();
    QTest::newRow("header only") << TestFiles::cursorFile(QPoint(3, 5)).left(6) << false << QPoint();
    QTest::newRow("text") << QByteArray("this is no cursor at all") << false << QPoint();
}

void tst_CursorFile::hotSpot()
{
    QFETCH(QByteArray, data);
    QFETCH(bool, found);
    QFETCH(QPoint, spot);
    const std::optional<QPoint> result = CursorFile::hotSpot(data);
    QCOMPARE(result.has_value(), found);
    if (found)
        QCOMPARE(*result, spot);
}

void tst_CursorFile::read_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<bool>("readable");
    QTest::addColumn<QPoint>("spot");
    QTest::newRow("cursor") << TestFiles::cursorFile(QPoint(3, 5)) << true << QPoint(3, 5);
    QTest::newRow("icon takes the centre")
        << TestFiles::cursorFile(QPoint(3, 5), 1) << true << QPoint(16, 16);
    QTest::newRow("hot spot outside takes the centre")
        << TestFiles::cursorFile(QPoint(40, 50)) << true << QPoint(16, 16);
    QTest::newRow("empty") << QByteArray() << false << QPoint();
    QTest::newRow("truncated") << TestFiles::cursorFile(QPoint(3, 5)).left(40) << false << QPoint();
    QTest::newRow("text") << QByteArray("this is no cursor at all") << false << QPoint();
}

void tst_CursorFile::read()
{
    QFETCH(QByteArray, data);
    QFETCH(bool, readable);
    QFETCH(QPoint, spot);
    const std::optional<QCursor> cursor = CursorFile::read(data);
    QCOMPARE(cursor.has_value(), readable);
    if (readable) {
        QCOMPARE(cursor->pixmap().size(), QSize(32, 32));
        QCOMPARE(cursor->hotSpot(), spot);
    }
}

void tst_CursorFile::committedHandCursor()
{
    QFile file(QStringLiteral(BRINDLEWICK_SOURCE_DIR "/resources/HAND-M.CUR"));
    if (!file.exists())
        QSKIP("no hand cursor committed");
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray data = file.readAll();
    const std::optional<QCursor> cursor = CursorFile::read(data);
    QVERIFY(cursor.has_value());
    QVERIFY(!cursor->pixmap().isNull());
    QVERIFY(CursorFile::hotSpot(data).has_value());
    QCOMPARE(cursor->hotSpot(), *CursorFile::hotSpot(data));
}

QTEST_MAIN(tst_CursorFile)
#include "tst_cursorfile.moc"
