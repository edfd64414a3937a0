#include "render/pagefonts.h"

#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QHash>
#include <QMutex>
#include <QRawFont>
#include <QResource>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

namespace render
{

namespace
{

// The fonts templates commonly name (see KnownFont).
constexpr std::array kKnownFonts{
    // The carried fonts, and the Windows and PostScript fonts they have the metrics of.
    KnownFont{kSerifFamily, FontKind::Serif, kSerifFamily},
    KnownFont{"Times New Roman", FontKind::Serif, kSerifFamily},
    KnownFont{"Times", FontKind::Serif, kSerifFamily},
    KnownFont{kSansFamily, FontKind::Sans, kSansFamily},
    KnownFont{"Arial", FontKind::Sans, kSansFamily},
    KnownFont{"Helvetica", FontKind::Sans, kSansFamily},
    // Fonts with free ones of the same metrics that a system may have.
    KnownFont{kMonoFamily, FontKind::Monospace, kMonoFamily},
    KnownFont{"Courier New", FontKind::Monospace, kMonoFamily},
    KnownFont{"Courier", FontKind::Monospace, kMonoFamily},
    KnownFont{"Calibri", FontKind::Sans, "Carlito"},
    KnownFont{"Carlito", FontKind::Sans, "Carlito"},
    KnownFont{"Cambria", FontKind::Serif, "Caladea"},
    KnownFont{"Caladea", FontKind::Serif, "Caladea"},
    KnownFont{"Arial Narrow", FontKind::Sans, "Liberation Sans Narrow"},
    // Fonts known by their kind alone.
    KnownFont{"Aptos", FontKind::Sans, nullptr},
    KnownFont{"Arial Unicode MS", FontKind::Sans, nullptr},
    KnownFont{"Candara", FontKind::Sans, nullptr},
    KnownFont{"Century Gothic", FontKind::Sans, nullptr},
    KnownFont{"Corbel", FontKind::Sans, nullptr},
    KnownFont{"Franklin Gothic Book", FontKind::Sans, nullptr},
    KnownFont{"Gill Sans MT", FontKind::Sans, nullptr},
    KnownFont{"Lucida Sans", FontKind::Sans, nullptr},
    KnownFont{"Malgun Gothic", FontKind::Sans, nullptr},
    KnownFont{"Microsoft YaHei", FontKind::Sans, nullptr},
    KnownFont{"MS Gothic", FontKind::Sans, nullptr},
    KnownFont{"MS Sans Serif", FontKind::Sans, nullptr},
    KnownFont{"Segoe UI", FontKind::Sans, nullptr},
    KnownFont{"Tahoma", FontKind::Sans, nullptr},
    KnownFont{"Trebuchet MS", FontKind::Sans, nullptr},
    KnownFont{"Verdana", FontKind::Sans, nullptr},
    KnownFont{"Consolas", FontKind::Monospace, nullptr},
    KnownFont{"Lucida Console", FontKind::Monospace, nullptr},
    KnownFont{"Book Antiqua", FontKind::Serif, nullptr},
    KnownFont{"Bookman Old Style", FontKind::Serif, nullptr},
    KnownFont{"Century Schoolbook", FontKind::Serif, nullptr},
    KnownFont{"Constantia", FontKind::Serif, nullptr},
    KnownFont{"Garamond", FontKind::Serif, nullptr},
    KnownFont{"Georgia", FontKind::Serif, nullptr},
    KnownFont{"MS Mincho", FontKind::Serif, nullptr},
    KnownFont{"Palatino Linotype", FontKind::Serif, nullptr},
    KnownFont{"SimSun", FontKind::Serif, nullptr},
};

struct CarriedFace {
    const char* family;
    bool bold;
    bool italic;
    const char* file;
};

// The windows' two faces first.
constexpr std::array<CarriedFace, 8> kFaces{{
    {kSansFamily, false, false, "LiberationSans-Regular.ttf"},
    {kSansFamily, true, false, "LiberationSans-Bold.ttf"},
    {kSansFamily, false, true, "LiberationSans-Italic.ttf"},
    {kSansFamily, true, true, "LiberationSans-BoldItalic.ttf"},
    {kSerifFamily, false, false, "LiberationSerif-Regular.ttf"},
    {kSerifFamily, true, false, "LiberationSerif-Bold.ttf"},
    {kSerifFamily, false, true, "LiberationSerif-Italic.ttf"},
    {kSerifFamily, true, true, "LiberationSerif-BoldItalic.ttf"},
}};
constexpr std::size_t kWindowFaces = 2;

bool isCarried(const char* family)
{
    return family && std::any_of(kFaces.begin(), kFaces.end(), [&](const CarriedFace& face) {
               return std::strcmp(face.family, family) == 0;
           });
}

QString chooseFamily(const QString& documentFont)
{
    const auto listed = std::find_if(kKnownFonts.begin(), kKnownFonts.end(), [&](const KnownFont& font) {
        return documentFont.compare(QLatin1String(font.name), Qt::CaseInsensitive) == 0;
    });
    const KnownFont* known = listed == kKnownFonts.end() ? nullptr : &*listed;
    const QString sameMetrics = known ? QLatin1String(known->sameMetrics) : QString();
    if (known && isCarried(known->sameMetrics))
        return sameMetrics;
    if (QFontDatabase::hasFamily(documentFont))
        return documentFont;
    if (!sameMetrics.isEmpty() && QFontDatabase::hasFamily(sameMetrics))
        return sameMetrics;
    return kindFallback(known ? known->kind : FontKind::Serif);
}

// Reads one carried face, once; each face read costs time and memory, so only faces in use are. Layouts on
// several threads may ask for the same face at once.
bool addFace(std::size_t index)
{
    static std::array<std::optional<bool>, kFaces.size()> added;
    static QMutex adding;
    const QMutexLocker lock(&adding);
    if (!added[index]) {
        // The stored bytes themselves: by name, Qt would copy the font onto the heap, and the
        // font engine reads only the tables it needs.
        const QResource font(QStringLiteral(":/fonts/") + QLatin1String(kFaces[index].file));
        const QByteArray data =
            font.compressionAlgorithm() == QResource::NoCompression
                ? QByteArray::fromRawData(reinterpret_cast<const char*>(font.data()), font.size())
                : font.uncompressedData();
        added[index] = QFontDatabase::addApplicationFontFromData(data) >= 0;
    }
    return *added[index];
}

bool addWindowFaces()
{
    static const bool added = [] {
        bool all = true;
        for (std::size_t i = 0; i < kWindowFaces; ++i)
            all = addFace(i) && all;
        // Where a system has none of the Windows fonts (Wine), the windows get these for their Arial.
        for (const KnownFont& font : kKnownFonts)
            if (isCarried(font.sameMetrics) && std::strcmp(font.name, font.sameMetrics) != 0)
                QFont::insertSubstitution(QLatin1String(font.name), QLatin1String(font.sameMetrics));
        return all;
    }();
    return added;
}

} // namespace

bool registerPageFonts(Faces faces)
{
    bool all = addWindowFaces();
    for (std::size_t i = kWindowFaces; faces == Faces::All && i < kFaces.size(); ++i)
        all = addFace(i) && all;
    return all;
}

bool registerPageFace(const QString& family, bool bold, bool italic)
{
    bool ok = addWindowFaces();
    for (std::size_t i = 0; i < kFaces.size(); ++i)
        if (family == QLatin1String(kFaces[i].family) && kFaces[i].bold == bold && kFaces[i].italic == italic)
            ok = addFace(i) && ok;
    return ok;
}

std::span<const KnownFont> knownFonts()
{
    return kKnownFonts;
}

QString pageFontFamily(const QString& documentFont)
{
    // Asked for every run laid out; the fonts a system has do not change while the program runs.
    thread_local QHash<QString, QString> chosen;
    const auto found = chosen.constFind(documentFont);
    if (found != chosen.cend())
        return *found;
    return *chosen.insert(documentFont, chooseFamily(documentFont));
}

QString kindFallback(FontKind kind)
{
    switch (kind) {
    case FontKind::Serif:
        return QLatin1String(kSerifFamily);
    case FontKind::Sans:
        return QLatin1String(kSansFamily);
    case FontKind::Monospace:
        break;
    }
    if (QFontDatabase::hasFamily(QLatin1String(kMonoFamily)))
        return QLatin1String(kMonoFamily);
    return QFontInfo(QFontDatabase::systemFont(QFontDatabase::FixedFont)).family();
}

double lineGap(const QFont& font)
{
    const QFontMetricsF metrics(font);
    const QRawFont raw = QRawFont::fromFont(font);
    const QByteArray hhea = raw.fontTable("hhea");
    if (hhea.size() < 10 || raw.unitsPerEm() <= 0)
        return metrics.leading();
    const auto at = [&](int offset) { return qFromBigEndian<qint16>(hhea.constData() + offset); };
    const double typographic = (at(4) - at(6)) * raw.pixelSize() / raw.unitsPerEm();
    return std::max(0.0,
                    metrics.leading() - std::max(0.0, metrics.ascent() + metrics.descent() - typographic));
}

} // namespace render
