#include "agreement/currency.h"

#include <cmath>

namespace Currency
{

namespace
{

bool isBlank(QChar c)
{
    return c.isSpace() || c == QChar(0x202F);
}

QString trimBlanks(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.mid(begin, end - begin);
}

// Takes the symbol off either end; true when it was there.
bool stripSymbol(QString& text, const QString& symbol)
{
    if (symbol.isEmpty())
        return false;
    if (text.startsWith(symbol)) {
        text = trimBlanks(text.mid(symbol.size()));
        return true;
    }
    if (text.endsWith(symbol)) {
        text = trimBlanks(text.chopped(symbol.size()));
        return true;
    }
    return false;
}

// Takes a sign off either end; true when it was a minus.
bool stripSign(QString& text, const QLocale& locale, bool& found)
{
    const QString minus = locale.negativeSign();
    const QString plus = locale.positiveSign();
    const QString signs[] = {minus, plus, QStringLiteral("-"), QStringLiteral("+")};
    for (const QString& sign : signs) {
        if (sign.isEmpty())
            continue;
        const bool isMinus = sign == minus || sign == QLatin1String("-");
        if (text.startsWith(sign)) {
            text = trimBlanks(text.mid(sign.size()));
            found = true;
            return isMinus;
        }
        if (text.endsWith(sign)) {
            text = trimBlanks(text.chopped(sign.size()));
            found = true;
            return isMinus;
        }
    }
    found = false;
    return false;
}

} // namespace

std::optional<double> parse(const QString& text, const QLocale& locale)
{
    QString rest = trimBlanks(text);
    bool negative = false;
    if (rest.size() >= 2 && rest.front() == QLatin1Char('(') && rest.back() == QLatin1Char(')')) {
        negative = true;
        rest = trimBlanks(rest.mid(1, rest.size() - 2));
    }

    // Symbol and sign come in either order: "-$5", "$-5", "5 €-" and "-5 €".
    bool symbolSeen = false;
    bool signSeen = false;
    for (int pass = 0; pass < 2; ++pass) {
        if (!symbolSeen)
            symbolSeen = stripSymbol(rest, locale.currencySymbol(QLocale::CurrencySymbol));
        if (!signSeen) {
            const bool minus = stripSign(rest, locale, signSeen);
            if (signSeen && negative)
                return std::nullopt; // a sign inside brackets is no amount
            negative = negative || minus;
        }
    }

    // Where the locale groups with a blank, any blank the user typed between digits groups too.
    const QString group = locale.groupSeparator();
    if (group.size() == 1 && isBlank(group.front())) {
        for (QChar& c : rest) {
            if (isBlank(c))
                c = group.front();
        }
    }

    // A second sign or a stray symbol left over is no amount; so are words such as "inf".
    if (rest.isEmpty() || !(rest.front().isDigit() || rest.startsWith(locale.decimalPoint())))
        return std::nullopt;
    bool ok = false;
    const double value = locale.toDouble(rest, &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return negative ? -value : value;
}

QString format(double amount, const QLocale& locale)
{
    return locale.toCurrencyString(withoutNegativeZero(amount),
                                   locale.currencySymbol(QLocale::CurrencySymbol), 2);
}

double withoutNegativeZero(double amount)
{
    return std::abs(amount) < 0.005 ? 0.0 : amount;
}

} // namespace Currency
