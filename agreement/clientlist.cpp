#include "agreement/clientlist.h"

#include "agreement/agreementdate.h"
#include "agreement/currency.h"
#include "agreement/shortdate.h"

#include <set>

namespace agreement::ClientList
{

Columns columns(const std::vector<QString>& header, const QString& nameColumn, const Wanted& wanted)
{
    Columns out;
    out.of.fill(-1);
    out.extraNames = wanted.extras;
    out.extras.fill(-1, wanted.extras.size());
    QStringList extraKeys;
    for (const QString& extra : wanted.extras)
        extraKeys << matchingName(extra);
    out.count = static_cast<qsizetype>(header.size());
    for (qsizetype c = 0; c < out.count; ++c) {
        const QString& title = header[static_cast<std::size_t>(c)];
        if (!nameColumn.isEmpty() &&
            title.trimmed().compare(nameColumn.trimmed(), Qt::CaseInsensitive) == 0 && out.name < 0)
            out.name = c;
        const std::optional<Field> field = fieldNamed(title.trimmed());
        if (const qsizetype extra = extraKeys.indexOf(matchingName(title)); !field && extra >= 0) {
            if (out.extras[extra] >= 0)
                throw BadHeader(
                    QString::fromLatin1(Text::kDuplicateColumn).arg(wanted.extras[extra]).toStdString());
            out.extras[extra] = c;
            continue;
        }
        if (!field) {
            if (out.name != c)
                out.unknown << title;
            continue;
        }
        qsizetype& column = out.of[indexOf(*field)];
        if (column >= 0)
            throw BadHeader(QString::fromLatin1(Text::kDuplicateColumn)
                                .arg(QLatin1String(plainName(*field)))
                                .toStdString());
        column = c;
    }
    for (const Particular& f : kParticulars) {
        if (wanted.fields[indexOf(f.field)] && out.of[indexOf(f.field)] < 0)
            throw BadHeader(
                QString::fromLatin1(Text::kMissingColumn).arg(QLatin1String(f.plain)).toStdString());
    }
    for (qsizetype k = 0; k < out.extras.size(); ++k) {
        if (out.extras[k] < 0)
            throw BadHeader(QString::fromLatin1(Text::kMissingColumn).arg(wanted.extras[k]).toStdString());
    }
    if (!nameColumn.isEmpty() && out.name < 0)
        throw BadHeader(QString::fromLatin1(Text::kNoNameColumn).arg(nameColumn).toStdString());
    return out;
}

std::variant<QDate, QString> dateFromText(const QString& text, const QLocale& locale,
                                          AgreementDate::DateOrder order)
{
    const AgreementDate::Reading reading = AgreementDate::read(text, locale, order);
    if (!reading.date.isValid())
        return QString::fromUtf8(Text::kBadDate)
            .arg(dateText(kExampleDate), ShortDate::toText(kExampleDate, locale));
    if (reading.other.isValid())
        return QString::fromUtf8(Text::kTwoWayDate).arg(dateText(reading.date), dateText(reading.other));
    if (!AgreementDate::inRange(reading.date))
        return QString::fromUtf8(Text::kDateOutOfRange)
            .arg(dateText(AgreementDate::first()), dateText(AgreementDate::last()));
    return reading.date;
}

std::optional<QString> setFromText(Particulars& particulars, Field field, const QString& value,
                                   const QLocale& locale, AgreementDate::DateOrder order)
{
    const Kind kind = particular(field).kind;
    if (kind == Kind::Date) {
        const std::variant<QDate, QString> date = dateFromText(value, locale, order);
        if (const QString* reason = std::get_if<QString>(&date))
            return *reason;
        particulars.agreementDate = std::get<QDate>(date);
    } else if (kind == Kind::Amount) {
        const std::variant<double, Currency::Refusal> amount = Currency::read(value, locale);
        if (const Currency::Refusal* refusal = std::get_if<Currency::Refusal>(&amount)) {
            switch (*refusal) {
            case Currency::Refusal::NotAnAmount:
                break;
            case Currency::Refusal::Misgrouped:
                return QString::fromUtf8(Text::kMisgroupedPrice).arg(locale.groupSeparator());
            case Currency::Refusal::TooLarge:
                return QString::fromUtf8(Text::kPriceTooLarge)
                    .arg(Currency::format(Currency::kLargest, locale));
            }
            return QString::fromUtf8(Text::kBadPrice);
        }
        particulars[field] = Currency::format(std::get<double>(amount), locale);
    } else {
        particulars[field] = value;
    }
    return std::nullopt;
}

std::variant<Particulars, RowProblem> particulars(const CsvReader::Record& row, const Columns& columns,
                                                  const std::vector<QString>& header, const QLocale& locale,
                                                  AgreementDate::DateOrder order)
{
    if (!row.error.isEmpty())
        return RowProblem{{}, row.error};
    if (static_cast<qsizetype>(row.fields.size()) != columns.count)
        return RowProblem{{},
                          QString::fromLatin1(Text::kFieldCount).arg(row.fields.size()).arg(columns.count)};
    Particulars p;
    for (const Particular& f : kParticulars) {
        if (columns.of[indexOf(f.field)] < 0)
            continue;
        const auto column = static_cast<std::size_t>(columns.of[indexOf(f.field)]);
        if (const std::optional<QString> reason = setFromText(p, f.field, row.fields[column], locale, order))
            return RowProblem{header[column], *reason};
    }
    for (qsizetype k = 0; k < columns.extras.size(); ++k) {
        const auto column = static_cast<std::size_t>(columns.extras[k]);
        if (row.fields[column].trimmed().isEmpty())
            return RowProblem{header[column], QLatin1String(Text::kNoValue)};
        p.extras.append({columns.extraNames[k], row.fields[column]});
    }
    return p;
}

QString safeFileName(const QString& text)
{
    static const QString reserved = QStringLiteral("<>:\"/\\|?*");
    QString name;
    for (const QChar c : text)
        name += c.unicode() < 0x20 || c.unicode() == 0x7F || reserved.contains(c) ? QLatin1Char('_') : c;
    name = name.trimmed();
    while (name.toUtf8().size() > kMaxNameBytes) {
        name.chop(1);
        if (!name.isEmpty() && name.back().isHighSurrogate())
            name.chop(1);
    }
    while (!name.isEmpty() && (name.back() == QLatin1Char('.') || name.back().isSpace()))
        name.chop(1);
    if (name.startsWith(QLatin1Char('.')))
        name.prepend(QLatin1Char('_'));
    // Windows keeps these device names for itself, with any extension.
    static const QStringList devices = {QStringLiteral("CON"), QStringLiteral("PRN"), QStringLiteral("AUX"),
                                        QStringLiteral("NUL")};
    const QString stem = name.section(QLatin1Char('.'), 0, 0).trimmed().toUpper();
    const bool numbered = stem.size() == 4 &&
                          (stem.startsWith(QLatin1String("COM")) || stem.startsWith(QLatin1String("LPT"))) &&
                          stem[3] >= QLatin1Char('1') && stem[3] <= QLatin1Char('9');
    if (devices.contains(stem) || numbered)
        name.prepend(QLatin1Char('_'));
    return name;
}

std::vector<QString> fileNames(const std::vector<NamedRow>& rows)
{
    std::vector<QString> names;
    names.reserve(rows.size());
    std::set<QString> taken;
    for (const NamedRow& r : rows) {
        names.push_back(r.name.isEmpty() ? QStringLiteral("row-%1").arg(r.row) : r.name);
        taken.insert(names.back().toCaseFolded());
    }
    std::set<QString> given;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (given.insert(names[i].toCaseFolded()).second)
            continue;
        const QString stem = names[i] + QLatin1Char('-') + QString::number(rows[i].row);
        QString name = stem;
        for (int k = 2; taken.contains(name.toCaseFolded()); ++k)
            name = stem + QLatin1Char('-') + QString::number(k);
        taken.insert(name.toCaseFolded());
        names[i] = name;
    }
    return names;
}

} // namespace agreement::ClientList
