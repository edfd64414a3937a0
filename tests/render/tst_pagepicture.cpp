#include "agreementmodel.h"
#include "doc/error.h"
#include "doc/worddocument.h"
#include "pdftools.h"
#include "preview/previewsizes.h"
#include "preview/zoomgeometry.h"
#include "render/pagelayout.h"
#include "render/pagepicture.h"
#include "render/pdfexport.h"
#include "support/testsystem.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QMimeData>
#include <QPaintEngine>
#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(doc::ReadModel)

namespace
{

// Receives a picture's replay and counts what kind of drawing it holds.
class RecordingEngine : public QPaintEngine
{
public:
    RecordingEngine() : QPaintEngine(QPaintEngine::AllFeatures) {}
    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    void updateState(const QPaintEngineState&) override {}
    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override { ++raster; }
    void drawImage(const QRectF&, const QImage&, const QRectF&, Qt::ImageConversionFlags) override
    {
        ++raster;
    }
    void drawTiledPixmap(const QRectF&, const QPixmap&, const QPointF&) override { ++raster; }
    void drawTextItem(const QPointF&, const QTextItem& item) override { text += item.text(); }
    void drawPath(const QPainterPath&) override {}
    Type type() const override { return QPaintEngine::User; }

    int raster = 0;
    QString text;
};

class RecordingDevice : public QPaintDevice
{
public:
    QPaintEngine* paintEngine() const override { return &engine; }
    int metric(PaintDeviceMetric metric) const override
    {
        switch (metric) {
        case PdmWidth:
        case PdmHeight:
            return 2000;
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY:
            return 96;
        case PdmDepth:
            return 32;
        case PdmDevicePixelRatio:
            return 1;
        case PdmDevicePixelRatioScaled:
            return static_cast<int>(devicePixelRatioFScale());
        default:
            return 1000;
        }
    }
    mutable RecordingEngine engine;
};

QImage replay(const render::PagePicture& picture, qreal scale = 1)
{
    QImage image(picture.boundingRect().size() * scale, QImage::Format_RGB32);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    picture.paint(painter, picture.boundingRect());
    painter.end();
    return image;
}

// What the preview does at a zoom step: the picture stretched by the painter.
QImage replayZoomed(const render::PagePicture& picture, qreal zoom)
{
    QImage image((QSizeF(picture.boundingRect().size()) * zoom).toSize(), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.scale(zoom, zoom);
    picture.paint(painter, picture.boundingRect());
    painter.end();
    return image;
}

// The first page's sheet inside its edge, from an image of the picture drawn at scale.
QImage firstSheet(const QImage& image, const render::PagePicture& picture, qreal scale)
{
    const QRectF sheet = QRectF(picture.pages().front().rect).adjusted(1, 1, -1, -1);
    return image.copy(QRectF(sheet.topLeft() * scale, sheet.size() * scale).toRect());
}

QString withoutBlanks(QString text)
{
    return text.remove(QRegularExpression(QStringLiteral("\\s")));
}

// The text a picture's page draws, without its blanks.
QString pageText(const render::PagePicture& picture, int page)
{
    RecordingDevice device;
    QPainter painter(&device);
    picture.drawPage(painter, page, QPointF());
    painter.end();
    return withoutBlanks(device.engine.text);
}

QRect inkBounds(const QImage& image)
{
    QRect bounds;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) < 128)
                bounds |= QRect(x, y, 1, 1);
    return bounds;
}

// A page of inch margins filled with lines, on paper of the given size.
doc::ReadModel fullPage(std::int32_t width, std::int32_t height)
{
    doc::ReadModel model;
    model.section().pageWidth = width;
    model.section().pageHeight = height;
    model.section().marginLeft = model.section().marginRight = 1440;
    model.paragraphs.assign(200, testmodel::paragraph(u"Line", doc::Paragraph::Alignment::Left));
    testmodel::paragraphsAsBody(model);
    return model;
}

QImage solidImage(QSize size, QColor color)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

QByteArray encoded(const QImage& image, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

} // namespace

class tst_PagePicture : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void naturalSize_data();
    void naturalSize();
    void noRasterContent();
    void inkWhereTheLayoutSays_data();
    void inkWhereTheLayoutSays();
    void sharpAtDoubleDensity();
    void mimeRoundTrip();
    void copiedPage();
    void fileRoundTrip_data();
    void fileRoundTrip();
    void cutDataRefused();
    void saveReplacesAnEarlierFile();
    void saveReplacesALinkNotItsTarget();
    void saveFailures();

private:
    render::PagePicture mPage;
    QTemporaryDir mDir;
};

void tst_PagePicture::initTestCase()
{
    QVERIFY(mDir.isValid());
    mPage = render::renderPage(testmodel::agreement());
}

void tst_PagePicture::naturalSize_data()
{
    QTest::addColumn<doc::ReadModel>("model");
    QTest::addColumn<int>("pages");
    QTest::addColumn<QSize>("pageSize");
    QTest::addColumn<float>("largestZoom");

    const doc::ReadModel emptyTemplate =
        doc::WordDocument::load(BRINDLEWICK_SOURCE_DIR "/resources/template.doc").readModel();
    doc::ReadModel twoPages = testmodel::agreement();
    twoPages.paragraphs.insert(
        twoPages.paragraphs.begin() + 8, 30,
        testmodel::paragraph(u"Build a tree house.", doc::Paragraph::Alignment::Justify));
    testmodel::paragraphsAsBody(twoPages);
    doc::ReadModel halfLetterLine = fullPage(7920, 12240);
    halfLetterLine.section().marginLeft = halfLetterLine.section().marginRight = 720;
    halfLetterLine.paragraphs.resize(1);
    testmodel::paragraphsAsBody(halfLetterLine);

    // Letter: the width binds, the page shrunk into the viewport's 620 with the ground beside it.
    QTest::newRow("sample agreement") << testmodel::agreement() << 1 << QSize(604, 782) << 1.25f;
    QTest::newRow("empty template") << emptyTemplate << 1 << QSize(604, 782) << 1.25f;
    QTest::newRow("two pages") << twoPages << 2 << QSize(604, 782) << 1.25f;
    QTest::newRow("long, letter") << fullPage(12240, 15840) << 5 << QSize(604, 782) << 1.25f;
    // Legal: the height binds, so that zoom 1.25 still paints each page.
    QTest::newRow("long, legal") << fullPage(12240, 20160) << 4 << QSize(509, 837) << 1.25f;
    // A small page keeps its size, which allows more zoom.
    QTest::newRow("half letter, one line") << halfLetterLine << 1 << QSize(528, 816) << 1.25f;
}

void tst_PagePicture::naturalSize()
{
    // The picture holds every page, as the PDF and the printout break them, one under the other.
    QFETCH(doc::ReadModel, model);
    QFETCH(int, pages);
    QFETCH(QSize, pageSize);
    QFETCH(float, largestZoom);
    const render::PagePicture picture = render::renderPage(model);
    const int gap = render::kPageGapPx;
    QCOMPARE(picture.pageCount(), pages);
    QCOMPARE(picture.boundingRect(),
             QRect(0, 0, pageSize.width() + 2 * gap, pages * (pageSize.height() + gap) + gap));
    for (int page = 0; page < pages; ++page)
        QCOMPARE(picture.pages().at(std::size_t(page)).rect,
                 QRect(QPoint(gap, gap + page * (pageSize.height() + gap)), pageSize));

    if (pdftools::available()) {
        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("pages.pdf"));
        render::exportPdf(model, pdf.toStdU16String());
        const QStringList pdfPages =
            pdftools::pdfText(pdf, {QStringLiteral("-raw")}).split(QLatin1Char('\f'));
        QCOMPARE(pdfPages.size() - 1, pages);
        for (int page = 0; page < pages; ++page)
            QCOMPARE(pageText(picture, page), withoutBlanks(pdfPages.at(page)));
    }

    // The preview's own arithmetic: no horizontal scrolling at zoom 1, and the zoom steps that paint.
    ZoomGeometry preview(PreviewSizes::kViewportSize.width, PreviewSizes::kViewportSize.height,
                         PreviewSizes::kViewportBorderTwips);
    const QSize size = picture.boundingRect().size();
    preview.assignPicture(size.width() * render::kTwipsPerPixel, size.height() * render::kTwipsPerPixel);
    preview.setSourcePageHeight(picture.tallestPage() * render::kTwipsPerPixel);
    preview.copyDisplayWidthToSource();
    preview.copyDisplayHeightToSource();
    preview.measureOrigWidth();
    preview.measureOrigHeight();
    preview.zoomWidthAtOne();
    QVERIFY(preview.mZoomWidth <= preview.viewportInnerWidth());
    float painted = 0;
    for (float zoom = 1; ZoomGeometry::zoomAccepted(zoom); zoom = ZoomGeometry::steppedZoom(zoom, 0)) {
        preview.mZoom = zoom;
        preview.computeZoomWidth();
        preview.computeZoomHeight();
        if (!preview.fitsPaintLimit())
            break;
        painted = zoom;
    }
    QCOMPARE(painted, largestZoom);
}

void tst_PagePicture::noRasterContent()
{
    RecordingDevice device;
    QPainter painter(&device);
    mPage.paint(painter, mPage.boundingRect());
    painter.end();
    QCOMPARE(device.engine.raster, 0);
    QString expected;
    for (const render::PageLine& line : render::layoutDocument(testmodel::agreement()).lines)
        for (const render::TextFragment& fragment : line.fragments)
            expected += fragment.text;
    QCOMPARE(device.engine.text, expected);
}

void tst_PagePicture::inkWhereTheLayoutSays_data()
{
    QTest::addColumn<double>("size");
    QTest::addColumn<double>("zoom");
    QTest::newRow("12 pt") << 12.0 << 1.0;
    QTest::newRow("11 pt") << 11.0 << 1.0;
    QTest::newRow("11 pt at zoom 3.5") << 11.0 << 3.5;
    QTest::newRow("18 pt at zoom 0.5") << 18.0 << 0.5;
}

void tst_PagePicture::inkWhereTheLayoutSays()
{
    // The painted glyphs take the room the layout measured for them, at every zoom: thirty more letters
    // move the ink's right edge by thirty of the layout's letter widths.
    QFETCH(double, size);
    QFETCH(double, zoom);
    // The picture is drawn at its fitting scale: the ink is measured back in the layout's pixels.
    double scale = 1;
    auto inkRight = [&](int letters, double& advance) {
        doc::ReadModel model;
        model.paragraphs = {testmodel::paragraph(std::u16string(static_cast<std::size_t>(letters), u'I'),
                                                 doc::Paragraph::Alignment::Left, size)};
        model.paragraphs[0].runs[0].fontName = "Courier New";
        testmodel::paragraphsAsBody(model);
        const render::PageLayout layout = render::layoutPage(model);
        const render::PageLine line = layout.lines.at(0);
        advance = (line.right - line.left) / letters;
        scale = render::fitPicture(layout).scale;
        const render::PagePicture picture = render::renderPage(model);
        return (inkBounds(firstSheet(replayZoomed(picture, zoom), picture, zoom)).right() + 1) /
               (zoom * scale);
    };
    double shortAdvance = 0;
    double longAdvance = 0;
    const double moved = inkRight(34, longAdvance) - inkRight(4, shortAdvance);
    QCOMPARE(shortAdvance, longAdvance);
    QVERIFY2(std::abs(moved - 30 * longAdvance) < 1 / (zoom * scale) + 0.2,
             qPrintable(QStringLiteral("ink moved %1, layout %2").arg(moved).arg(30 * longAdvance)));
}

void tst_PagePicture::sharpAtDoubleDensity()
{
    QCOMPARE(replay(mPage, 2).size(), mPage.boundingRect().size() * 2);
    const QImage normal = firstSheet(replay(mPage), mPage, 1);
    const QImage dense = firstSheet(replay(mPage, 2), mPage, 2);
    const QRect small = inkBounds(normal);
    const QRect large = inkBounds(dense);
    QVERIFY(!small.isEmpty());
    // Drawn again at twice the resolution, not stretched: the ink covers twice the extent to within a pixel
    // or two of the anti-aliasing.
    QVERIFY2(std::abs(large.left() - 2 * small.left()) <= 2 && std::abs(large.top() - 2 * small.top()) <= 2 &&
                 std::abs(large.right() - 2 * small.right()) <= 3 &&
                 std::abs(large.bottom() - 2 * small.bottom()) <= 3,
             qPrintable(QStringLiteral("%1,%2 %3x%4 vs %5,%6 %7x%8")
                            .arg(small.x())
                            .arg(small.y())
                            .arg(small.width())
                            .arg(small.height())
                            .arg(large.x())
                            .arg(large.y())
                            .arg(large.width())
                            .arg(large.height())));
    // A stretched 96-dpi bitmap blurs: among the pixels with ink, far more are half-tone edge pixels than in
    // the picture drawn afresh at that density.
    auto edgeShare = [](const QImage& image) {
        int ink = 0;
        int edge = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const int gray = qGray(image.pixel(x, y));
                ink += gray < 224 ? 1 : 0;
                edge += gray >= 64 && gray < 192 ? 1 : 0;
            }
        }
        return double(edge) / ink;
    };
    const QImage stretched = normal.scaled(dense.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QVERIFY2(edgeShare(dense) < 0.8 * edgeShare(stretched),
             qPrintable(QStringLiteral("%1 vs %2").arg(edgeShare(dense)).arg(edgeShare(stretched))));
}

void tst_PagePicture::mimeRoundTrip()
{
    const std::unique_ptr<QMimeData> mime = render::pictureToMimeData(mPage);
    QVERIFY(mime->hasFormat(QString::fromLatin1(render::kPictureMimeType)));
    QVERIFY(mime->hasImage());
    const QImage image = qvariant_cast<QImage>(mime->imageData());
    QCOMPARE(image.size(), mPage.boundingRect().size());
    QCOMPARE(image.convertToFormat(QImage::Format_RGB32), replay(mPage));
    const std::optional<render::PagePicture> back =
        render::PagePicture::fromData(mime->data(QString::fromLatin1(render::kPictureMimeType)));
    QVERIFY(back);
    QCOMPARE(back->boundingRect(), mPage.boundingRect());
    // Still vector: at twice the density it matches the original drawn at twice the density.
    QCOMPARE(replay(*back, 2), replay(mPage, 2));
}

// One page, the one asked for, sharp enough to print, with its text.
void tst_PagePicture::copiedPage()
{
    doc::ReadModel model = testmodel::agreement();
    model.paragraphs.push_back(testmodel::paragraph(u"\x0CSecond page.", doc::Paragraph::Alignment::Left));
    testmodel::paragraphsAsBody(model);
    const render::PagePicture picture = render::renderPage(model);
    QCOMPARE(picture.pageCount(), 2);
    const std::unique_ptr<QMimeData> mime = render::pageToMimeData(picture, 1);
    QCOMPARE(mime->text(), QStringLiteral("Second page.\n"));
    const QImage image = qvariant_cast<QImage>(mime->imageData());
    const double inches = double(model.section().pageWidth) / render::kTwipsPerInch;
    QCOMPARE(image.width(), qRound(inches * render::kCopyDpi));
    QCOMPARE(qRound(image.dotsPerMeterX() * 0.0254), render::kCopyDpi);
    // Its one line stands below the top margin; the first page's text would go on down the page.
    const auto inkInRows = [&image](int from, int to) {
        for (int y = from; y < to; ++y)
            for (int x = 0; x < image.width(); ++x)
                if (qGray(image.pixel(x, y)) < 128)
                    return true;
        return false;
    };
    const int margin = model.section().marginTop * render::kCopyDpi / render::kTwipsPerInch;
    QVERIFY(!inkInRows(0, margin));
    QVERIFY(inkInRows(margin, margin + render::kCopyDpi / 2));
    QVERIFY(!inkInRows(margin + render::kCopyDpi / 2, image.height()));
}

// What savePictureFile wrote, read as a picture.
render::PagePicture readBack(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return render::PagePicture::fromData(file.readAll()).value_or(render::PagePicture());
}

void tst_PagePicture::fileRoundTrip_data()
{
    QTest::addColumn<render::PagePicture>("page");
    QTest::newRow("agreement") << mPage;
    // The letterhead's logo on each of ten pages.
    QTest::newRow("letterhead") << render::renderPage(
        doc::WordDocument::load(BRINDLEWICK_SOURCE_DIR "/tests/data/bench-agreement.doc").readModel());
}

void tst_PagePicture::fileRoundTrip()
{
    QFETCH(render::PagePicture, page);
    const QString path = mDir.filePath(QStringLiteral("temp.bmp"));
    render::savePictureFile(page, path);
    const render::PagePicture loaded = readBack(path);
    QCOMPARE(loaded.pageCount(), page.pageCount());
    for (int i = 0; i < page.pageCount(); ++i)
        QCOMPARE(loaded.pageImage(i, 48), page.pageImage(i, 48));
    QCOMPARE(QDir(mDir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"temp.bmp"});
    if (TestSystem::kPrivacyInPermissions)
        QCOMPARE(QFile::permissions(path) & ~(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                              QFileDevice::ReadUser | QFileDevice::WriteUser),
                 QFileDevice::Permissions());
}

// The data also comes from other programs' clipboards: cut short anywhere, it is no picture.
void tst_PagePicture::cutDataRefused()
{
    const QByteArray data = mPage.toData();
    QVERIFY(render::PagePicture::fromData(data));
    for (qsizetype cut = 0; cut < data.size(); cut += 7)
        QVERIFY2(!render::PagePicture::fromData(data.left(cut)), qPrintable(QString::number(cut)));
}

void tst_PagePicture::saveReplacesAnEarlierFile()
{
    const QString path = mDir.filePath(QStringLiteral("earlier.bmp"));
    writeFile(path, encoded(solidImage(QSize(5, 5), Qt::blue), "BMP"));
    render::savePictureFile(mPage, path);
    QCOMPARE(readBack(path).boundingRect(), mPage.boundingRect());
}

void tst_PagePicture::saveReplacesALinkNotItsTarget()
{
    const QString target = mDir.filePath(QStringLiteral("victim.txt"));
    writeFile(target, "keep me");
    const QString path = mDir.filePath(QStringLiteral("linked.bmp"));
    QVERIFY(QFile::link(target, path));
    render::savePictureFile(mPage, path);
    QVERIFY(!QFileInfo(path).isSymLink());
    QFile victim(target);
    QVERIFY(victim.open(QIODevice::ReadOnly));
    QCOMPARE(victim.readAll(), QByteArray("keep me"));
    QCOMPARE(readBack(path).boundingRect(), mPage.boundingRect());
}

void tst_PagePicture::saveFailures()
{
    const QString missingFolder = mDir.filePath(QStringLiteral("no such folder/temp.bmp"));
    try {
        render::savePictureFile(mPage, missingFolder);
        QFAIL("saved into a missing folder");
    } catch (const doc::Error& error) {
        QCOMPARE(error.kind(), doc::Error::Kind::Io);
        QVERIFY2(QString::fromStdString(error.what()).contains(missingFolder), error.what());
    }
    const QString path = mDir.filePath(QStringLiteral("nothing.bmp"));
    try {
        render::savePictureFile(render::PagePicture(), path);
        QFAIL("saved an empty picture");
    } catch (const std::runtime_error& error) {
        QVERIFY2(
            QString::fromStdString(error.what()).startsWith(QStringLiteral("There is no picture to save")),
            error.what());
    }
    QVERIFY(!QFile::exists(path));
}

QTEST_MAIN(tst_PagePicture)
#include "tst_pagepicture.moc"
