#include "agreement/clientlist.h"

#include "agreement/currency.h"

namespace agreement::ClientList
{

Columns columns(const std::vector<QString>& header, const QString& nameColumn)
{
    Columns out;
    out.of.fill(-1);
    out.count = static_cast<qsizetype>(header.size());
    for (qsizetype c = 0; c < out.count; ++c) {
        const QString& title = header[static_cast<std::size_t>(c)];
        if (!nameColumn.isEmpty() &&
            title.trimmed().compare(nameColumn.trimmed(), Qt::CaseInsensitive) == 0 && out.name < 0)
            out.name = c;
        const std::optional<Field> field = fieldNamed(title.trimmed());
        if (!field) {
            if (out.name != c)
                out.unknown << title;
            continue;
        }
        qsizetype& column = out.of[static_cast<std::size_t>(*field)];
        if (column >= 0)
            throw BadHeader(QString::fromLatin1(Text::kDuplicateColumn)
                                .arg(QLatin1String(plainName(*field)))
                                .toStdString());
        column = c;
    }
    for (const FieldName& f : kFields) {
        if (out.of[static_cast<std::size_t>(f.field)] < 0)
            throw BadHeader(
                QString::fromLatin1(Text::kMissingColumn).arg(QLatin1String(f.plain)).toStdString());
    }
    if (!nameColumn.isEmpty() && out.name < 0)
        throw BadHeader(QString::fromLatin1(Text::kNoNameColumn).arg(nameColumn).toStdString());
    return out;
}

const char* setFromText(Particulars& particulars, Field field, const QString& value, const QLocale& locale)
{
    if (field == Field::AgreementDate) {
        particulars.agreementDate = dateFromText(value);
        if (!particulars.agreementDate.isValid())
            return Text::kBadDate;
    } else if (field == Field::ContractPrice) {
        const std::optional<double> amount = Currency::parse(value, locale);
        if (!amount)
            return Text::kBadPrice;
        particulars.contractPrice = Currency::format(*amount, locale);
    } else {
        text(particulars, field) = value;
    }
    return nullptr;
}

std::variant<Particulars, RowProblem> particulars(const CsvReader::Record& row, const Columns& columns,
                                                  const std::vector<QString>& header, const QLocale& locale)
{
    if (!row.error.isEmpty())
        return RowProblem{{}, row.error};
    if (static_cast<qsizetype>(row.fields.size()) != columns.count)
        return RowProblem{{},
                          QString::fromLatin1(Text::kFieldCount).arg(row.fields.size()).arg(columns.count)};
    Particulars p;
    for (const FieldName& f : kFields) {
        const auto column = static_cast<std::size_t>(columns.of[static_cast<std::size_t>(f.field)]);
        if (const char* reason = setFromText(p, f.field, row.fields[column], locale))
            return RowProblem{header[column], QLatin1String(reason)};
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

} // namespace agreement::ClientList
