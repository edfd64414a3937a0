// Page picture figures: laying out and recording the agreement page, replaying it at the preview's zoom
// steps, the clipboard and file packaging, and the PDF export. Prints medians; not a test.
#include "agreementmodel.h"
#include "benchstats.h"
#include "doc/worddocument.h"
#include "render/pagelayout.h"
#include "render/pagepicture.h"
#include "render/pdfexport.h"

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QPainter>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

namespace
{

double medianMicroseconds(int runs, const std::function<void()>& work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        times.push_back(
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
    }
    return benchstats::median(std::move(times));
}

void report(const char* what, double microseconds)
{
    std::printf("%-44s %10.1f us\n", what, microseconds);
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    QFile file(QStringLiteral(BRINDLEWICK_SOURCE_DIR "/resources/template.doc"));
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read the template\n");
        return 1;
    }
    const QByteArray bytes = file.readAll();
    const doc::ReadModel model =
        doc::WordDocument::parse(std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                           static_cast<std::size_t>(bytes.size())))
            .readModel();

    report("layout (first run, fonts cold)", medianMicroseconds(1, [&] { render::layoutPage(model); }));
    report("layout", medianMicroseconds(50, [&] { render::layoutPage(model); }));
    render::PagePicture picture;
    report("layout and record", medianMicroseconds(50, [&] { picture = render::renderPage(model); }));
    const render::PictureFit fit = render::fitPicture(render::layoutDocument(model));
    std::printf("picture: %d x %d px (%d x %d twips), %zu page(s) at scale %.4f, %lld bytes\n", fit.widthPx,
                fit.heightPx, fit.widthPx * render::kTwipsPerPixel, fit.heightPx * render::kTwipsPerPixel,
                fit.pages.size(), fit.scale, static_cast<long long>(picture.toData().size()));

    for (const double zoom : {1.0, 2.0, 3.5}) {
        const QSize size = (QSizeF(picture.boundingRect().size()) * zoom).toSize();
        QImage image(size, QImage::Format_RGB32);
        const double us = medianMicroseconds(10, [&] {
            image.fill(Qt::white);
            QPainter painter(&image);
            painter.setRenderHint(QPainter::TextAntialiasing);
            painter.scale(zoom, zoom);
            picture.paint(painter, picture.boundingRect());
        });
        char label[64];
        std::snprintf(label, sizeof label, "replay at zoom %.2f (%dx%d)", zoom, size.width(), size.height());
        report(label, us);
    }

    report("clipboard data (image + vector)",
           medianMicroseconds(10, [&] { render::pictureToMimeData(picture); }));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("temp.bmp"));
    report("save picture file", medianMicroseconds(20, [&] { render::savePictureFile(picture, path); }));

    // A 100,000-character work description: what a click pays for beyond the first page.
    doc::ReadModel longAgreement = testmodel::agreement();
    for (doc::Paragraph& paragraph : longAgreement.paragraphs) {
        if (paragraph.text.size() < 100 || paragraph.text.find(u"shingles") == std::u16string::npos)
            continue;
        std::u16string work;
        while (work.size() < 100000)
            work += u"Build a tree house with a ladder, a rope swing and a roof of cedar shingles. ";
        work.resize(100000);
        paragraph.text = work;
        paragraph.runs = {testmodel::run(0, static_cast<std::uint32_t>(work.size()))};
        break;
    }
    render::PageLayout longLayout;
    report("long: layout every page",
           medianMicroseconds(10, [&] { longLayout = render::layoutDocument(longAgreement); }));
    render::PagePicture longPicture;
    report("long: page picture",
           medianMicroseconds(10, [&] { longPicture = render::renderPage(longAgreement); }));
    QByteArray longData;
    report("long: picture data", medianMicroseconds(10, [&] { longData = longPicture.toData(); }));
    report("long: picture from data",
           medianMicroseconds(10, [&] { render::PagePicture::fromData(longData); }));
    {
        QImage image(longPicture.pages().front().rect.size(), QImage::Format_RGB32);
        report("long: paint page 1", medianMicroseconds(10, [&] {
                   QPainter painter(&image);
                   longPicture.drawPage(painter, 0, QPointF());
               }));
    }
    std::printf("long: %d pages, %lld bytes of picture data\n", longPicture.pageCount(),
                static_cast<long long>(longData.size()));

    // An own agreement of ten pages: a letterhead logo in the header, page numbers in the footer, two
    // tables and lists.
    const doc::ReadModel tenPages =
        doc::WordDocument::load(BRINDLEWICK_SOURCE_DIR "/tests/data/bench-agreement.doc").readModel();
    render::PageLayout tenPageLayout;
    report("ten pages: layout every page",
           medianMicroseconds(20, [&] { tenPageLayout = render::layoutDocument(tenPages); }));
    std::printf("ten pages: %d pages laid out\n", tenPageLayout.pageCount);

    const doc::ReadModel agreement = testmodel::agreement();
    const std::filesystem::path pdf = dir.filePath(QStringLiteral("agreement.pdf")).toStdU16String();
    report("pdf export, sample agreement (first run)",
           medianMicroseconds(1, [&] { render::exportPdf(agreement, pdf); }));
    report("pdf bytes, sample agreement", medianMicroseconds(20, [&] { render::pdfBytes(agreement); }));
    report("pdf export, sample agreement",
           medianMicroseconds(20, [&] { render::exportPdf(agreement, pdf); }));
    return 0;
}
