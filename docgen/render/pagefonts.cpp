#include "render/pagefonts.h"

#include <QFont>
#include <QFontDatabase>
#include <QResource>

#include <array>
#include <utility>

namespace render
{

namespace
{

// The Windows fonts and the carried fonts with their metrics.
constexpr std::array<std::pair<const char*, const char*>, 2> kStandIns{
    {{"Times New Roman", kSerifFamily}, {"Arial", kSansFamily}}};

} // namespace

bool registerPageFonts()
{
    static const bool registered = [] {
        static constexpr std::array kFiles{"LiberationSerif-Regular.ttf", "LiberationSerif-Bold.ttf",
                                           "LiberationSerif-Italic.ttf",  "LiberationSerif-BoldItalic.ttf",
                                           "LiberationSans-Regular.ttf",  "LiberationSans-Bold.ttf",
                                           "LiberationSans-Italic.ttf",   "LiberationSans-BoldItalic.ttf"};
        bool all = true;
        for (const char* file : kFiles) {
            // The stored bytes themselves: by name, Qt would copy each font onto the heap, and the
            // font engine reads only the tables it needs.
            const QResource font(QStringLiteral(":/fonts/") + QLatin1String(file));
            const QByteArray data =
                font.compressionAlgorithm() == QResource::NoCompression
                    ? QByteArray::fromRawData(reinterpret_cast<const char*>(font.data()), font.size())
                    : font.uncompressedData();
            all = QFontDatabase::addApplicationFontFromData(data) >= 0 && all;
        }
        // Where a system has none of the Windows fonts (Wine), the windows get these for their Arial.
        for (const auto& [windows, carried] : kStandIns)
            QFont::insertSubstitution(QLatin1String(windows), QLatin1String(carried));
        return all;
    }();
    return registered;
}

QString pageFontFamily(const QString& documentFont)
{
    for (const auto& [windows, carried] : kStandIns)
        if (documentFont == QLatin1String(windows))
            return QLatin1String(carried);
    return documentFont;
}

} // namespace render
