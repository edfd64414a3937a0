#include "agreement/currency.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

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

// How the locale groups digits, in digits: the group before the decimal separator, each
// other group but the first (two in Indian grouping, 12,34,567), and the most the first may
// hold (Qt writes "1234.567" where a locale groups only from five digits on).
struct Grouping {
    qsizetype last = 3;
    qsizetype others = 3;
    qsizetype firstMost = 3;
};

std::vector<qsizetype> groupSizes(const QLocale& locale, qlonglong sample)
{
    QLocale grouped(locale);
    grouped.setNumberOptions(QLocale::DefaultNumberOptions);
    std::vector<qsizetype> sizes;
    for (const QString& group : grouped.toString(sample).split(locale.groupSeparator()))
        sizes.push_back(group.toUcs4().size());
    return sizes;
}

Grouping groupingOf(const QLocale& locale)
{
    Grouping g;
    const std::vector<qsizetype> sizes = groupSizes(locale, 1234567890);
    if (sizes.size() < 3)
        return g; // the locale writes no grouping; a typed one is read as the common one
    g.last = sizes.back();
    g.others = sizes[sizes.size() - 2];
    g.firstMost = std::max(g.others, groupSizes(locale, 1234567).front());
    return g;
}

// The integer part's digit runs, split at its grouping marks.
bool groupedAsTheLocaleDoes(const std::vector<qsizetype>& runs, bool leadingZero, const QLocale& locale)
{
    if (runs.size() < 2)
        return true;
    const Grouping g = groupingOf(locale);
    if (leadingZero || runs.front() < 1 || runs.front() > g.firstMost || runs.back() != g.last)
        return false;
    return std::all_of(runs.begin() + 1, runs.end() - 1, [&](qsizetype run) { return run == g.others; });
}

bool markAt(const QList<uint>& text, qsizetype at, const QList<uint>& mark)
{
    return !mark.isEmpty() && text.size() - at >= mark.size() &&
           std::equal(mark.begin(), mark.end(), text.begin() + at);
}

// The number without sign or symbol, in any script's digits, as plain "123.45".
std::variant<std::string, Refusal> plainNumber(const QString& text, const QLocale& locale)
{
    const QList<uint> chars = text.toUcs4();
    const QList<uint> groupMark = locale.groupSeparator().toUcs4();
    const QList<uint> decimalMark = locale.decimalPoint().toUcs4();
    std::string plain;
    std::vector<qsizetype> runs{0}; // the integer part's digits between grouping marks
    bool decimals = false;
    for (qsizetype i = 0; i < chars.size();) {
        const char32_t c = chars[i];
        if (QChar::isDigit(c)) {
            plain += static_cast<char>('0' + QChar::digitValue(c));
            if (!decimals)
                ++runs.back();
            ++i;
        } else if (!decimals && markAt(chars, i, decimalMark)) {
            decimals = true;
            plain += '.';
            i += decimalMark.size();
        } else if (markAt(chars, i, groupMark)) {
            if (decimals)
                return Refusal::Misgrouped;
            runs.push_back(0);
            i += groupMark.size();
        } else {
            return Refusal::NotAnAmount;
        }
    }
    if (plain.empty() || plain == ".")
        return Refusal::NotAnAmount;
    if (!groupedAsTheLocaleDoes(runs, plain.front() == '0', locale))
        return Refusal::Misgrouped;
    return plain;
}

// More whole digits than a double keeps: counted before converting, as no conversion of a
// long enough text succeeds.
bool tooManyWholeDigits(const std::string& plain)
{
    const std::size_t begin = std::min(plain.find_first_not_of('0'), plain.size());
    const std::size_t end = std::min(plain.find('.'), plain.size());
    return end > begin && end - begin > static_cast<std::size_t>(std::numeric_limits<double>::digits10);
}

} // namespace

std::variant<double, Refusal> read(const QString& text, const QLocale& locale)
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
                return Refusal::NotAnAmount; // a sign inside brackets
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
    const std::variant<std::string, Refusal> plain = plainNumber(rest, locale);
    if (const Refusal* refusal = std::get_if<Refusal>(&plain))
        return *refusal;
    const std::string& digits = std::get<std::string>(plain);
    if (tooManyWholeDigits(digits))
        return Refusal::TooLarge;
    const double value =
        QLocale::c().toDouble(QLatin1String(digits.data(), static_cast<qsizetype>(digits.size())));
    if (std::round(value * 100) / 100 > kLargest)
        return Refusal::TooLarge;
    return negative ? -value : value;
}

std::optional<double> parse(const QString& text, const QLocale& locale)
{
    const std::variant<double, Refusal> amount = read(text, locale);
    if (const double* value = std::get_if<double>(&amount))
        return *value;
    return std::nullopt;
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
