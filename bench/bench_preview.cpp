// Figures for the preview with the agreement's page picture: one zoom step and one wheel
// step, each with the repaint it causes at device pixel ratios 1 and 2, and one drag step with
// the painting it causes at the screen's ratio (QT_SCALE_FACTOR=2 stands in for a
// high-density screen).
#include "agreementmodel.h"
#include "doc/worddocument.h"
#include "preview/form2.h"
#include "preview/picturebox.h"
#include "render/pagepicture.h"
#include "support/fakeplatform.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPaintEvent>
#include <QPainter>
#include <QPicture>
#include <QScrollBar>
#include <QWheelEvent>

#include <cstdio>

namespace
{

// Counts the pixels a widget paints.
class PaintMeter : public QObject
{
public:
    qint64 pixels = 0;
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            ++paints;
            for (const QRect& r : static_cast<QPaintEvent*>(event)->region())
                pixels += qint64(r.width()) * r.height();
        }
        return false;
    }
};

double msSince(const QElapsedTimer& timer, int rounds)
{
    return double(timer.nsecsElapsed()) / 1e6 / rounds;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    FakePlatform platform;
    Form2 form(platform, QCoreApplication::applicationDirPath());
    form.placePicture(render::renderPage(testmodel::agreement()));
    form.show();
    QApplication::processEvents();

    auto* picture1 = form.findChild<QWidget*>(QStringLiteral("Picture1"));
    auto* viewport = form.findChild<QWidget*>(QStringLiteral("Picture2"));
    form.StepZoom(0);
    std::printf("agreement zoom after a step in: %.2f\n", double(form.geometry().mZoom));
    for (const qreal ratio : {1.0, 2.0}) {
        constexpr int kRounds = 20;
        QImage image(viewport->size() * ratio, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(ratio);
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < kRounds; ++i) {
            form.StepZoom(1);
            form.StepZoom(0);
            viewport->render(&image);
        }
        std::printf("zoom step at %.2f with the viewport's repaint, device pixel ratio %.0f: %.3f ms\n",
                    double(form.geometry().mZoom), ratio, msSince(timer, 2 * kRounds));
    }

    // One notch at a time, down and back up, so every step moves the page.
    for (const qreal ratio : {1.0, 2.0}) {
        constexpr int kSteps = 100;
        QImage image(viewport->size() * ratio, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(ratio);
        const QPointF at(picture1->width() / 2.0, picture1->height() / 2.0);
        const int top = picture1->y();
        int moved = 0;
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < kSteps; ++i) {
            const int notch = (i / 4) % 2 ? 120 : -120;
            QWheelEvent wheel(at, picture1->mapToGlobal(at), QPoint(), QPoint(0, notch), Qt::NoButton,
                              Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(picture1, &wheel);
            viewport->render(&image);
            if (i == 0)
                moved = top - picture1->y();
        }
        std::printf(
            "wheel step (bars, move, viewport repaint), device pixel ratio %.0f: %.3f ms; a notch moves "
            "the page %d px\n",
            ratio, msSince(timer, kSteps), moved);
    }

    // An agreement scrolled from its top to its end, and zoomed a step in and out: only the pages that come
    // into view are rendered.
    const auto scrollThrough = [&platform](const char* what, const doc::ReadModel& model) {
        Form2 longForm(platform, QCoreApplication::applicationDirPath());
        longForm.placePicture(render::renderPage(model));
        longForm.show();
        QApplication::processEvents();
        auto* page = longForm.findChild<PictureBox*>(QStringLiteral("Picture1"));
        auto* bar = longForm.findChild<QScrollBar*>(QStringLiteral("VScroll1"));
        int mostRendered = 0;
        QElapsedTimer timer;
        timer.start();
        for (int value = 0; value <= bar->maximum(); value += 10) {
            bar->setValue(value);
            QApplication::processEvents();
            mostRendered = std::max(mostRendered, page->renderedPages());
        }
        std::printf("%s, %d pages: a scroll step of 10 units with its paint %.3f ms; at most %d pages "
                    "rendered at once\n",
                    what, page->shown().pageCount(), msSince(timer, bar->maximum() / 10 + 1), mostRendered);
        constexpr int kRounds = 10;
        timer.restart();
        for (int i = 0; i < kRounds; ++i) {
            longForm.StepZoom(0);
            QApplication::processEvents();
            longForm.StepZoom(1);
            QApplication::processEvents();
        }
        std::printf("%s: a zoom step with its paint %.3f ms\n", what, msSince(timer, 2 * kRounds));
    };
    doc::ReadModel longAgreement = testmodel::agreement();
    longAgreement.paragraphs.insert(
        longAgreement.paragraphs.begin() + 8, 400,
        testmodel::paragraph(u"Build a tree house with a ladder and a rope swing.",
                             doc::Paragraph::Alignment::Justify));
    testmodel::paragraphsAsBody(longAgreement);
    scrollThrough("long agreement", longAgreement);
    // An own agreement of ten pages: a logo in the header, page numbers, two tables and lists.
    scrollThrough(
        "ten-page own agreement",
        doc::WordDocument::load(BRINDLEWICK_SOURCE_DIR "/tests/data/bench-agreement.doc").readModel());

    PaintMeter meter;
    picture1->installEventFilter(&meter);
    constexpr int kDragSteps = 100;
    const int fullPixels = picture1->width() * picture1->height();
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < kDragSteps; ++i) {
        form.picture1_MouseDown(1500.0f, 1500.0f);
        form.picture1_MouseMove(Qt::LeftButton, 1500.0f - 15.0f * ((i % 2) ? -3 : 3), 1500.0f - 45.0f);
        QApplication::processEvents();
    }
    std::printf(
        "drag step (move and paint), device pixel ratio %.0f: %.3f ms; %d paints covering %.1f%% of the "
        "picture per step\n",
        picture1->devicePixelRatioF(), msSince(timer, kDragSteps), meter.paints,
        100.0 * double(meter.pixels) / double(kDragSteps) / double(fullPixels));
    return 0;
}
