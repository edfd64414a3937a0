#pragma once

#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

// Poppler's command-line tools, read back as text.
namespace pdftools
{

inline bool available()
{
    return !QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty() &&
           !QStandardPaths::findExecutable(QStringLiteral("pdffonts")).isEmpty() &&
           !QStandardPaths::findExecutable(QStringLiteral("pdfimages")).isEmpty();
}

inline QString run(const QString& tool, const QStringList& arguments)
{
    QProcess process;
    process.start(QStandardPaths::findExecutable(tool), arguments);
    process.waitForFinished(60000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

// A PDF's text as pdftotext lays it out, every page ended by a form feed.
inline QString pdfText(const QString& path, const QStringList& options = {})
{
    return run(QStringLiteral("pdftotext"),
               QStringList{QStringLiteral("-layout")} + options + QStringList{path, QStringLiteral("-")});
}

// The page, numbered from 1, of every picture a PDF draws, as pdfimages lists them; soft masks, which only
// carry another picture's transparency, are left out.
inline QList<int> imagePages(const QString& path)
{
    QList<int> pages;
    const QStringList lines = run(QStringLiteral("pdfimages"), {QStringLiteral("-list"), path}).split(u'\n');
    for (const QString& line : lines.mid(2)) {
        const QStringList fields = line.simplified().split(u' ');
        if (fields.size() > 2 && fields[2] == QLatin1String("image"))
            pages << fields[0].toInt();
    }
    return pages;
}

} // namespace pdftools
