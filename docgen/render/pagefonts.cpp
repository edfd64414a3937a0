#include "render/pagefonts.h"

#include <QFont>
#include <QFontDatabase>
#include <QResource>

#include <array>
#include <optional>
#include <utility>

namespace render
{

namespace
{

// The Windows fonts and the carried fonts with their metrics.
constexpr std::array<std::pair<const char*, const char*>, 2> kStandIns{
    {{"Times New Roman", kSerifFamily}, {"Arial", kSansFamily}}};

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

// Reads one carried face, once; each face read costs time and memory, so only faces in use are.
bool addFace(std::size_t index)
{
    static std::array<std::optional<bool>, kFaces.size()> added;
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
        for (const auto& [windows, carried] : kStandIns)
            QFont::insertSubstitution(QLatin1String(windows), QLatin1String(carried));
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

QString pageFontFamily(const QString& documentFont)
{
    for (const auto& [windows, carried] : kStandIns)
        if (documentFont == QLatin1String(windows))
            return QLatin1String(carried);
    return documentFont;
}

} // namespace render
