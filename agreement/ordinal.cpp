#include "agreement/ordinal.h"

namespace
{

// Only blanks are cut: a tab or line break around the digits makes the text no day.
QString trimBlanks(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == QLatin1Char(' '))
        ++begin;
    while (end > begin && text[end - 1] == QLatin1Char(' '))
        --end;
    return text.mid(begin, end - begin);
}

} // namespace

QString fnDay(const QString& day)
{
    const QString text = trimBlanks(day);
    // A number compare would accept "01", "+1" or "1.0"; only the plain digits of a day match.
    for (int n = 1; n <= 31; ++n) {
        if (text != QString::number(n))
            continue;
        switch (n) {
        case 1:
        case 21:
        case 31:
            return text + QStringLiteral("st");
        case 2:
        case 22:
            return text + QStringLiteral("nd");
        case 3:
        case 23:
            return text + QStringLiteral("rd");
        default:
            return text + QStringLiteral("th");
        }
    }
    return QString();
}
