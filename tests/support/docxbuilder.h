#pragma once

// Small word-processing packages written by hand, for tests that need a .docx of their own: the body's
// paragraphs as given, under a main part of the content type given (a macro-enabled one makes a .docm).
#include "docx/package.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <string>
#include <vector>

namespace DocxBuilder
{

inline constexpr char kDocumentType[] =
    "application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml";
inline constexpr char kMacroEnabledType[] = "application/vnd.ms-word.document.macroEnabled.main+xml";

inline QByteArray package(const QString& body, const char* mainType = kDocumentType)
{
    const std::string declaration = R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)";
    const std::vector<std::pair<std::string, std::string>> parts{
        {"[Content_Types].xml",
         declaration + R"(<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">)" +
             R"(<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>)" +
             R"(<Default Extension="xml" ContentType="application/xml"/>)" +
             R"(<Override PartName="/word/document.xml" ContentType=")" + mainType + R"("/></Types>)"},
        {"_rels/.rels",
         declaration +
             R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)" +
             R"(<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="word/document.xml"/>)" +
             "</Relationships>"},
        {"word/document.xml",
         declaration +
             R"(<w:document xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main">)" +
             "<w:body>" + body.toStdString() + "<w:sectPr/></w:body></w:document>"},
    };
    docx::Package out;
    for (const auto& [name, xml] : parts)
        out.set(name, std::vector<std::uint8_t>(xml.begin(), xml.end()));
    const std::vector<std::uint8_t> bytes = out.write();
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

// One paragraph of runs; each run's text kept with its spaces, under the run properties given.
inline QString paragraph(const std::vector<std::pair<QString, QString>>& runs)
{
    QString xml = QStringLiteral("<w:p>");
    for (const auto& [text, properties] : runs)
        xml += QStringLiteral("<w:r>") +
               (properties.isEmpty() ? QString() : QStringLiteral("<w:rPr>%1</w:rPr>").arg(properties)) +
               QStringLiteral("<w:t xml:space=\"preserve\">%1</w:t></w:r>").arg(text.toHtmlEscaped());
    return xml + QStringLiteral("</w:p>");
}

// An own template whose {{Owner}} Word split over three runs (a spelling mark between them, its middle
// bold), and a {{Location}} whole.
inline QString splitTagBody()
{
    return paragraph({{QStringLiteral("Agreement with {{"), {}},
                      {QStringLiteral("Ow"), QStringLiteral("<w:b/>")},
                      {QStringLiteral("ner}} for the work at "), {}},
                      {QStringLiteral("{{Location}}."), {}}})
        .replace(QStringLiteral("</w:r><w:r><w:rPr><w:b/>"),
                 QStringLiteral("</w:r><w:proofErr w:type=\"spellStart\"/><w:r><w:rPr><w:b/>"));
}

inline bool write(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace DocxBuilder
