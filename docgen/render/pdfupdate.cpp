#include "render/pdfupdate.h"

#include <QList>
#include <QRegularExpression>
#include <QString>

namespace render::pdfupdate
{

std::optional<CrossReference> readCrossReference(const QByteArray& pdf)
{
    static const QRegularExpression tail(
        QStringLiteral(R"(trailer\s*(<<.*>>)\s*startxref\s*(\d+)\s*%%EOF\s*$)"),
        QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression info(QStringLiteral(R"(/Info\s+(\d+)\s+0\s+R)"));
    const QRegularExpressionMatch end = tail.match(QString::fromLatin1(pdf.right(1024)));
    if (!end.hasMatch())
        return std::nullopt;
    CrossReference xref;
    xref.trailer = end.captured(1).toLatin1();
    xref.offset = end.captured(2).toLongLong();
    const qsizetype trailer = pdf.lastIndexOf("trailer");
    if (xref.trailer.contains("/Prev") || xref.offset <= 0 || xref.offset >= trailer ||
        pdf.mid(xref.offset, 4) != "xref")
        return std::nullopt;
    xref.info = info.match(QString::fromLatin1(xref.trailer)).captured(1).toInt();
    const QList<QByteArray> lines = pdf.mid(xref.offset, trailer - xref.offset).split('\n');
    for (qsizetype line = 1; line < lines.size();) {
        const QList<QByteArray> section = lines[line++].simplified().split(' ');
        if (section.size() != 2)
            break;
        const int first = section[0].toInt();
        const int count = section[1].toInt();
        for (int i = 0; i < count && line < lines.size(); ++i, ++line)
            if (lines[line].simplified().endsWith(" n"))
                xref.objects[first + i] = lines[line].left(10).toLongLong();
    }
    return xref;
}

QByteArray withObjects(const QByteArray& pdf, const CrossReference& xref,
                       const std::map<int, QByteArray>& objects)
{
    if (objects.empty())
        return pdf;
    QByteArray out = pdf;
    QByteArray table = "xref\n";
    for (const auto& [object, body] : objects) {
        table += QByteArray::number(object) + " 1\n" +
                 QByteArray::number(out.size()).rightJustified(10, '0') + " 00000 n \n";
        out += QByteArray::number(object) + " 0 obj\n" + body + "\nendobj\n";
    }
    const qsizetype tableAt = out.size();
    const QByteArray trailer = xref.trailer.left(xref.trailer.lastIndexOf(">>"));
    out += table + "trailer\n" + trailer + "/Prev " + QByteArray::number(xref.offset) + "\n>>\nstartxref\n" +
           QByteArray::number(tableAt) + "\n%%EOF\n";
    return out;
}

QByteArray streamObject(const QByteArray& data)
{
    return "<< /Length " + QByteArray::number(data.size()) + " >>\nstream\n" + data + "\nendstream";
}

} // namespace render::pdfupdate
