// Reads arbitrary bytes as a client list: every record, the header's columns and each row's particulars.
#include "agreement/clientlist.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    agreement::CsvReader reader(
        QByteArrayView(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    agreement::CsvReader::Record record;
    if (!reader.next(record))
        return 0;
    const std::vector<QString> header = record.fields;
    agreement::ClientList::Columns columns;
    try {
        columns = agreement::ClientList::columns(header, QStringLiteral("contractor"));
    } catch (const agreement::ClientList::BadHeader&) {
        return 0;
    }
    const QLocale locale(QLocale::English);
    qsizetype row = record.row;
    while (reader.next(record)) {
        if (record.row <= row)
            std::abort(); // rows are counted forward
        row = record.row;
        (void)agreement::ClientList::particulars(record, columns, header, locale,
                                                 AgreementDate::DateOrder::Unsure);
        for (const QString& field : record.fields)
            (void)agreement::ClientList::safeFileName(field);
    }
    return 0;
}
