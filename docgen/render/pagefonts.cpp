#include "render/pagefonts.h"

#include <QFont>
#include <QFontDatabase>
#include <QResource>

#include <array>
#include <initializer_list>
#include <utility>

namespace render
{

namespace
{

// The Windows fonts and the carried fonts with their metrics.
constexpr std::array<std::pair<const char*, const char*>, 2> kStandIns{
    {{"Times New Roman", kSerifFamily}, {"Arial", kSansFamily}}};

} // namespace

bool registerPageFonts(Faces faces)
{
    const auto add = [](std::initializer_list<const char*> files) {
        bool all = true;
        for (const char* file : files) {
            // The stored bytes themselves: by name, Qt would copy each font onto the heap, and the
            // font engine reads only the tables it needs.
            const QResource font(QStringLiteral(":/fonts/") + QLatin1String(file));
            const QByteArray data =
                font.compressionAlgorithm() == QResource::NoCompression
                    ? QByteArray::fromRawData(reinterpret_cast<const char*>(font.data()), font.size())
                    : font.uncompressedData();
            all = QFontDatabase::addApplicationFontFromData(data) >= 0 && all;
        }
        return all;
    };
    // The windows' faces come first and alone: reading a face costs start-up time, and the
    // page's faces are wanted only once something is laid out.
    static const bool windows = [&] {
        const bool all = add({"LiberationSans-Regular.ttf", "LiberationSans-Bold.ttf"});
        // Where a system has none of the Windows fonts (Wine), the windows get these for their Arial.
        for (const auto& [windowsFont, carried] : kStandIns)
            QFont::insertSubstitution(QLatin1String(windowsFont), QLatin1String(carried));
        return all;
    }();
    if (faces == Faces::Windows)
        return windows;
    static const bool rest =
        add({"LiberationSerif-Regular.ttf", "LiberationSerif-Bold.ttf", "LiberationSerif-Italic.ttf",
             "LiberationSerif-BoldItalic.ttf", "LiberationSans-Italic.ttf", "LiberationSans-BoldItalic.ttf"});
    return windows && rest;
}

QString pageFontFamily(const QString& documentFont)
{
    for (const auto& [windows, carried] : kStandIns)
        if (documentFont == QLatin1String(windows))
            return QLatin1String(carried);
    return documentFont;
}

} // namespace render
