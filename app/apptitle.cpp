#include "app/apptitle.h"

namespace
{
constexpr qsizetype kMaxTitleLength = 40;
} // namespace

QString SetAppTitle(const QString& productName)
{
    QString title = productName;
    do {
        const qsizetype space = title.lastIndexOf(QLatin1Char(' '));
        if (space < 0)
            break;
        title.truncate(space);
    } while (title.size() > kMaxTitleLength);
    return title;
}
