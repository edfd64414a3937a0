// Figures for the preview: one zoom step with its full repaint at the largest zoom the
// agreement's page reaches, and one drag step with the painting it causes. The drag is
// painted at the screen's device pixel ratio; QT_SCALE_FACTOR=2 stands in for a
// high-density screen.
#include "preview/form2.h"
#include "support/fakeplatform.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPaintEvent>
#include <QPainter>
#include <QPicture>
#include <QScrollBar>

#include <cstdio>

namespace
{

// About the agreement: a 720 x 1000 pixel page of text lines.
QPicture agreementPage()
{
    QPicture picture;
    QPainter painter(&picture);
    painter.fillRect(QRect(0, 0, 720, 1000), Qt::white);
    painter.setPen(Qt::black);
    painter.setFont(QFont(QStringLiteral("Liberation Serif"), 12, QFont::Bold));
    painter.drawText(QRect(0, 40, 720, 30), Qt::AlignHCenter, QStringLiteral("Contractor Agreement"));
    painter.setFont(QFont(QStringLiteral("Liberation Serif"), 11));
    for (int y = 100; y < 960; y += 18)
        painter.drawText(QPointF(72, y),
                         QStringLiteral("This Agreement is made between the Contractor and the Owner "
                                        "for the work described below, line %1.")
                             .arg(y));
    painter.end();
    return picture;
}

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
    form.placePicture(agreementPage());
    form.show();
    QApplication::processEvents();

    // Zoom in is refused for the agreement (1.25 of 10798 twips passes the width limit),
    // so its largest zoom is 1: time a step out and back in, each repainting in full.
    auto* picture1 = form.findChild<QWidget*>(QStringLiteral("Picture1"));
    form.StepZoom(0);
    std::printf("agreement zoom after a step in: %.2f (largest reached)\n", double(form.geometry().mZoom));
    for (const qreal ratio : {1.0, 2.0}) {
        constexpr int kRounds = 20;
        QImage image(picture1->size() * ratio, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(ratio);
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < kRounds; ++i) {
            form.StepZoom(1);
            form.StepZoom(0);
            picture1->render(&image);
        }
        std::printf("zoom step at %.2f with full repaint, device pixel ratio %.0f: %.3f ms\n",
                    double(form.geometry().mZoom), ratio, msSince(timer, kRounds));
    }

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
