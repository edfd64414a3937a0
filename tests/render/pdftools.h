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
           !QStandardPaths::findExecutable(QStringLiteral("pdffonts")).isEmpty();
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

} // namespace pdftools
