#include "preview/previewlayout.h"
#include "render/units.h"

namespace PreviewLayout
{

namespace
{

// The layout in twips, as (left, top, width, height).
struct TwipRect {
    int left, top, width, height;
};
constexpr int kClientWidth = 9840;
constexpr int kClientHeight = 9390;
constexpr TwipRect kZoomOri{10320, 480, 735, 375};
constexpr TwipRect kFrame1{120, 7860, 9600, 855};
constexpr TwipRect kPushButton1{240, 300, 4440, 405};
constexpr TwipRect kPushButton2{4800, 300, 4560, 405};
constexpr TwipRect kPicture2{120, 120, render::kViewportSize.width, render::kViewportSize.height};
constexpr TwipRect kPicture1{0, 0, 2340, 3435};
constexpr TwipRect kVScroll1{9450, 120, 255, 7425};
constexpr TwipRect kHScroll1{120, 7545, 9330, 255};
constexpr TwipRect kPushButton6{4920, 8850, 4800, 405};
constexpr TwipRect kPushButton8{120, 8850, 4680, 405};
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

// A row of two buttons sharing extra width: the first grows by half, the second moves by that and takes
// the rest.
void share(QRect& first, QRect& second, int extra)
{
    const int half = extra / 2;
    first.setWidth(first.width() + half);
    second.translate(half, 0);
    second.setWidth(second.width() + extra - half);
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
    share(p.pushButton1, p.pushButton2, dw);
    p.picture2 = px(kPicture2).adjusted(0, 0, dw, dh);
    p.picture1 = px(kPicture1);
    p.vScroll1 = px(kVScroll1).translated(dw, 0).adjusted(0, 0, 0, dh);
    p.hScroll1 = px(kHScroll1).translated(0, dh).adjusted(0, 0, dw, 0);
    p.pushButton8 = px(kPushButton8).translated(0, dh);
    p.pushButton6 = px(kPushButton6).translated(0, dh);
    share(p.pushButton8, p.pushButton6, dw);
    return p;
}

} // namespace PreviewLayout
