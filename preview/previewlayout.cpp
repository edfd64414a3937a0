#include "preview/previewlayout.h"
#include "preview/previewsizes.h"
#include "render/units.h"

#include <initializer_list>

namespace PreviewLayout
{

namespace
{

// The layout in twips, as (left, top, width, height).
struct TwipRect {
    int left, top, width, height;
};
constexpr int kClientWidth = 9840;
// 9390 for the zoom, save and back controls, and 495 for the row of page commands below them.
constexpr int kClientHeight = 9885;
constexpr TwipRect kZoomOri{10320, 480, 735, 375};
constexpr TwipRect kFrame1{120, 7860, 9600, 855};
constexpr TwipRect kPushButton1{240, 300, 4440, 405};
constexpr TwipRect kPushButton2{4800, 300, 4560, 405};
constexpr TwipRect kPicture2{120, 120, PreviewSizes::kViewportSize.width, PreviewSizes::kViewportSize.height};
constexpr TwipRect kPicture1{0, 0, 2340, 3435};
constexpr TwipRect kVScroll1{9450, 120, 255, 7425};
constexpr TwipRect kHScroll1{120, 7545, 9330, 255};
constexpr TwipRect kPushButton6{4920, 8850, 4800, 405};
constexpr TwipRect kPushButton8{120, 8850, 4680, 405};
constexpr TwipRect kPageCommands[]{{120, 9345, 3120, 405}, {3360, 9345, 3120, 405}, {6600, 9345, 3120, 405}};
// The viewport never gets smaller than this, in pixels.
constexpr QSize kSmallestViewport{200, 120};

int px(int twips)
{
    return render::roundTwipsToPixels(twips);
}

QRect px(const TwipRect& r)
{
    return QRect(px(r.left), px(r.top), px(r.width), px(r.height));
}

// A row of buttons sharing extra width alike: each moves by what those before it took.
void share(std::initializer_list<QRect*> row, int extra)
{
    const int count = int(row.size());
    int index = 0;
    for (QRect* button : row) {
        const int before = extra * index / count;
        const int through = extra * (index + 1) / count;
        button->translate(before, 0);
        button->setWidth(button->width() + through - before);
        ++index;
    }
}

} // namespace

QSize designSize()
{
    return QSize(px(kClientWidth), px(kClientHeight));
}

QSize minimumSize()
{
    const QRect viewport = px(kPicture2);
    return designSize() - viewport.size() + kSmallestViewport;
}

Places place(QSize client)
{
    const QSize grown = client.expandedTo(minimumSize()) - designSize();
    const int dw = grown.width();
    const int dh = grown.height();
    Places p;
    p.zoomOri = px(kZoomOri).translated(dw, 0);
    p.frame1 = px(kFrame1).translated(0, dh);
    p.frame1.setWidth(p.frame1.width() + dw);
    p.pushButton1 = px(kPushButton1);
    p.pushButton2 = px(kPushButton2);
    share({&p.pushButton1, &p.pushButton2}, dw);
    p.picture2 = px(kPicture2).adjusted(0, 0, dw, dh);
    p.picture1 = px(kPicture1);
    p.vScroll1 = px(kVScroll1).translated(dw, 0).adjusted(0, 0, 0, dh);
    p.hScroll1 = px(kHScroll1).translated(0, dh).adjusted(0, 0, dw, 0);
    p.pushButton8 = px(kPushButton8).translated(0, dh);
    p.pushButton6 = px(kPushButton6).translated(0, dh);
    share({&p.pushButton8, &p.pushButton6}, dw);
    for (std::size_t i = 0; i < p.pageCommands.size(); ++i)
        p.pageCommands[i] = px(kPageCommands[i]).translated(0, dh);
    share({&p.pageCommands[0], &p.pageCommands[1], &p.pageCommands[2]}, dw);
    return p;
}

} // namespace PreviewLayout
