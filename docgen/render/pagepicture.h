#pragma once

#include "doc/readmodel.h"
#include "render/layoutmath.h"

#include <QByteArray>
#include <QColor>
#include <QPicture>
#include <QPointF>
#include <QRect>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

class QMimeData;
class QPainter;

// The page picture: every page of a document's main text as vector pictures, one under the other on a grey
// ground, and its ways to the clipboard and to the picture file.
namespace render
{

// Our own clipboard format: the pages' picture data, replayed sharp at any zoom.
inline constexpr char kPictureMimeType[] = "application/x-brindlewick-pages";

// A copied page's resolution: print quality, for a copy that prints and zooms as sharp as the page.
inline constexpr int kCopyDpi = 300;

inline constexpr QColor kPageGround{0x80, 0x80, 0x80};
inline constexpr QColor kPageEdge{0x40, 0x40, 0x40};

struct PageLayout;

class PagePicture
{
public:
    struct Page {
        QPicture picture; // a picture from elsewhere, from its own origin; null for a laid-out page
        QRect rect;       // where the page sits in the whole picture
    };

    PagePicture() = default;
    // A picture from elsewhere (a pasted image): one page that is the whole picture, with no ground.
    PagePicture(const QPicture& single); // NOLINT(google-explicit-constructor): any picture is one page
    // Laid-out pages, each painted from the layout at scale into its rect, on the ground.
    PagePicture(QSize size, const std::vector<QRect>& pageRects, std::shared_ptr<const PageLayout> layout,
                double scale);

    bool isNull() const { return mPages.empty() || mSize.isEmpty(); }
    QRect boundingRect() const { return QRect(QPoint(0, 0), mSize); }
    // Our own pages lie on a ground; a picture from elsewhere is shown as it is.
    bool hasGround() const { return mGround; }
    int pageCount() const { return static_cast<int>(mPages.size()); }
    const std::vector<Page>& pages() const { return mPages; }
    // The height of the tallest page, in the picture's pixels.
    int tallestPage() const;
    // The page that holds picture row y, or the nearest one (0 for a picture without pages).
    int pageAt(int y) const;

    // The ground under area and, laid on it, the edge, shadow and picture of each page that area touches;
    // in the picture's own coordinates.
    void paint(QPainter& painter, const QRectF& area) const;
    // Whether area (picture coordinates) touches the page, its edge and shadow included.
    static bool touches(const Page& page, const QRectF& area);
    // The ground and page edges around one page, without the page's picture.
    void paintFrame(QPainter& painter, const Page& page) const;
    // The sheet and text of one page, its top left corner at `at`. Pages are painted when shown, not
    // before: a long agreement costs only the pages in view.
    void drawPage(QPainter& painter, int index, QPointF at) const;

    // One page alone on white: a laid-out page at its paper size and dpi, a picture from elsewhere at its
    // own size.
    QImage pageImage(int index, int dpi) const;
    // The text of a laid-out page (see render::pageText); empty for a picture from elsewhere.
    QString pageText(int index) const;

    QByteArray toData() const;
    // nullopt for data that is not a sound page picture.
    static std::optional<PagePicture> fromData(const QByteArray& data);

private:
    QSize mSize;
    std::vector<Page> mPages;
    bool mGround = false;
    std::shared_ptr<const PageLayout> mLayout; // what laid-out pages are painted from
    double mScale = 1;                         // layout pixels to picture pixels
};

// Lays out the main text on its pages: the picture's natural size fits the preview (see fitPicture()), and
// each page is the document's sheet, margins included, with its edge. Text only, no raster content.
PagePicture renderPage(const doc::ReadModel& model);

// The clipboard contents for a picture: the image at 96 dpi (pasted into other programs as PNG, BMP and
// the like) and the vector pages in our own format, each made only when asked for.
std::unique_ptr<QMimeData> pictureToMimeData(const PagePicture& picture);

// The clipboard contents for one page of a picture that is not null: its image at kCopyDpi, made only when
// asked for, and its text as plain text.
std::unique_ptr<QMimeData> pageToMimeData(const PagePicture& picture, int index);

// Rasterizes a picture at its own size onto white.
QImage pictureToImage(const PagePicture& picture);

// Writes the picture's data to path, owner-only, replacing it only once the new file is complete and
// replacing rather than following a link at the name. Throws std::runtime_error (doc::Error when writing
// fails) naming the file and the cause.
void savePictureFile(const PagePicture& picture, const QString& path);

} // namespace render
