#include "agreement/agreementtemplate.h"
#include "agreement/tagtemplate.h"

#include <QFile>
#include <QIcon>
#include <QImage>
#include <QImageReader>
#include <QPixmap>
#include <QtEndian>
#include <QtTest>

// The resources linked into the program: the embedded files are the committed ones,
// and the hand cursor copied next to the program is one Qt can load.
class tst_Resources : public QObject
{
    Q_OBJECT

private slots:
    void embeddedFileMatchesCommitted_data();
    void embeddedFileMatchesCommitted();
    void templateIsCompoundFile();
    void docxTemplateHoldsThePlaces();
    void iconLoads();
    void handCursorLoads();
    void handCursorHotspotIsFingertip();
};

namespace
{

QByteArray readAll(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QString handCursorPath()
{
    return QStringLiteral(":/HAND-M.CUR");
}

} // namespace

void tst_Resources::embeddedFileMatchesCommitted_data()
{
    QTest::addColumn<QString>("resource");
    QTest::addColumn<QString>("committed");
    QTest::newRow("template") << QStringLiteral(":/CUSTOM/101") << QStringLiteral(BRINDLEWICK_TEMPLATE_DOC);
    QTest::newRow("template as .docx") << QString::fromLatin1(agreement::Template::kDocxResource)
                                       << QStringLiteral(BRINDLEWICK_SOURCE_DIR "/resources/template.docx");
    QTest::newRow("home improvement as .docx")
        << QString::fromLatin1(agreement::HomeImprovement::kDocxResource)
        << QStringLiteral(BRINDLEWICK_SOURCE_DIR "/resources/home-improvement.docx");
    QTest::newRow("icon") << QStringLiteral(":/icon.png") << QStringLiteral(BRINDLEWICK_ICON_PNG);
    QTest::newRow("hand cursor") << handCursorPath() << QStringLiteral(BRINDLEWICK_HAND_CURSOR);
}

void tst_Resources::embeddedFileMatchesCommitted()
{
    QFETCH(QString, resource);
    QFETCH(QString, committed);
    QFile embedded(resource);
    QVERIFY2(embedded.open(QIODevice::ReadOnly), qPrintable(embedded.errorString()));
    const QByteArray expected = readAll(committed);
    QVERIFY2(!expected.isEmpty(), qPrintable(committed));
    QCOMPARE(embedded.readAll(), expected);
}

void tst_Resources::templateIsCompoundFile()
{
    QFile embedded(QStringLiteral(":/CUSTOM/101"));
    QVERIFY(embedded.open(QIODevice::ReadOnly));
    QCOMPARE(embedded.read(8), QByteArray::fromHex("D0CF11E0A1B11AE1"));
}

// The template check that make-template.sh runs, on the .docx the program carries; its home improvement
// agreement's .docx twin.
void tst_Resources::docxTemplateHoldsThePlaces()
{
    const agreement::AgreementDocument& docx = agreement::Template::docxDocument();
    QCOMPARE(docx.format(), agreement::DocumentFormat::Docx);
    const QStringList problems = agreement::Template::check(docx);
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
    // The home improvement agreement's .docx asks for what its .doc asks for.
    const agreement::TagTemplate& homeImprovement = agreement::HomeImprovement::get();
    QCOMPARE(homeImprovement.twin()->format(), agreement::DocumentFormat::Docx);
    QCOMPARE(homeImprovement.twin()->particulars(), homeImprovement.particulars());
}

void tst_Resources::iconLoads()
{
    const QIcon icon(QStringLiteral(":/icon.png"));
    QVERIFY(!icon.isNull());
    const QImage image(QStringLiteral(":/icon.png"));
    QVERIFY(image.hasAlphaChannel());
    QCOMPARE(image.width(), image.height());
    QVERIFY(image.width() >= 32);
}

void tst_Resources::handCursorLoads()
{
    QImageReader reader(handCursorPath());
    QVERIFY2(reader.canRead(), qPrintable(reader.errorString()));
    const QPixmap pixmap(handCursorPath());
    QVERIFY2(!pixmap.isNull(), qPrintable(reader.errorString()));
    QCOMPARE(pixmap.size(), QSize(32, 32));

    // Only the hand is drawn: the corners show whatever lies under the pointer.
    const QImage image = pixmap.toImage();
    QVERIFY(image.hasAlphaChannel());
    QCOMPARE(qAlpha(image.pixel(31, 31)), 0);
    QCOMPARE(qAlpha(image.pixel(31, 0)), 0);
}

void tst_Resources::handCursorHotspotIsFingertip()
{
    // ICONDIR (6 bytes), then the first entry; a cursor keeps its hotspot where an
    // icon keeps planes and bit count.
    const QByteArray file = readAll(handCursorPath());
    QVERIFY(file.size() > 22);
    const auto* bytes = reinterpret_cast<const uchar*>(file.constData());
    QCOMPARE(qFromLittleEndian<quint16>(bytes + 2), quint16(2));
    const int hotX = qFromLittleEndian<quint16>(bytes + 10);
    const int hotY = qFromLittleEndian<quint16>(bytes + 12);

    const QImage image(handCursorPath());
    QVERIFY(!image.isNull());
    QVERIFY(image.rect().contains(hotX, hotY));
    QCOMPARE(qAlpha(image.pixel(hotX, hotY)), 255);
    // The fingertip is the topmost point of the hand.
    int topRow = -1;
    for (int y = 0; y < image.height() && topRow < 0; ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) != 0) {
                topRow = y;
                break;
            }
    QCOMPARE(hotY, topRow);
}

QTEST_MAIN(tst_Resources)
#include "tst_resources.moc"
