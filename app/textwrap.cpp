#include "app/textwrap.h"

namespace TextWrap
{

QTextOption::WrapMode modeFor(QStringView text)
{
    qsizetype word = 0;
    for (const QChar c : text) {
        word = c.isSpace() ? 0 : word + 1;
        if (word > kLongestWord)
            return QTextOption::WrapAnywhere;
    }
    return QTextOption::WrapAtWordBoundaryOrAnywhere;
}

} // namespace TextWrap
