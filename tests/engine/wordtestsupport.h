#pragma once

// Helpers shared by the Word layer's tests: fixtures, independent readers, and a
// rewrite of LibreOffice files into the compressed, multi-piece shape Word writes.

#include "bytes.h"
#include "cfb.h"
#include "error.h"
#include "worddocument.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace wordtest
{

using Bytes = std::vector<std::uint8_t>;

inline QString dataPath(const QString& name)
{
    return QStringLiteral(BRINDLEWICK_TEST_DATA "/") + name;
}

inline QString templatePath()
{
    return QStringLiteral(BRINDLEWICK_TEST_DATA "/../../resources/template.doc");
}

inline Bytes readFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray data = f.readAll();
    return Bytes(data.begin(), data.end());
}

inline bool writeFile(const QString& path, const Bytes& data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) &&
           f.write(reinterpret_cast<const char*>(data.data()), static_cast<qint64>(data.size())) ==
               static_cast<qint64>(data.size());
}

inline std::uint32_t le32(const Bytes& b, std::size_t offset)
{
    doc::ByteCursor c(b, offset);
    return c.u32();
}

inline std::uint16_t le16(const Bytes& b, std::size_t offset)
{
    doc::ByteCursor c(b, offset);
    return c.u16();
}

// Offsets of the Fib's fc/lcb pairs, read the long way round to stay independent of the engine.
inline std::size_t fcLcbOffset(const Bytes& wd, std::size_t index)
{
    std::size_t o = 0x20;
    o += 2 + 2 * le16(wd, o);
    o += 2 + 4 * le16(wd, o);
    return o + 2 + 8 * index;
}

inline std::size_t rgLwOffset(const Bytes& wd)
{
    std::size_t o = 0x20;
    o += 2 + 2 * le16(wd, o);
    return o + 2;
}

constexpr std::size_t kClx = 33;
constexpr std::size_t kPlcfBteChpx = 12;
constexpr std::size_t kPlcfBtePapx = 13;

inline std::string tableName(const Bytes& wd)
{
    return (le16(wd, 0x0A) & 0x0200) ? "1Table" : "0Table";
}

// Rewrites a document holding one UTF-16 piece of ASCII text (as LibreOffice writes) so that
// its text is stored compressed, split into pieces at the given CPs, with every FKP moved
// along; piece i gets the Prm prms[i] (0 when not given) and the Clx the Prc entries prcs.
// Returns nullopt when the document is not of that shape.
inline std::optional<Bytes> compressPieces(const Bytes& original, std::vector<std::uint32_t> splits,
                                           const std::vector<std::uint16_t>& prms = {},
                                           const Bytes& prcs = {})
{
    doc::CompoundFile file = doc::CompoundFile::parse(original);
    Bytes wd = file.stream("WordDocument");
    const std::string tname = tableName(wd);
    Bytes table = file.stream(tname);
    const std::size_t clxAt = fcLcbOffset(wd, kClx);
    const std::uint32_t fcClx = le32(wd, clxAt);
    if (table[fcClx] != 0x02 || le32(table, fcClx + 1) != 16)
        return std::nullopt;
    const std::uint32_t cpMac = le32(table, fcClx + 5 + 4);
    const std::uint32_t fcText = le32(table, fcClx + 5 + 8 + 2);
    if (fcText & 0x40000000)
        return std::nullopt;
    for (std::uint32_t i = 0; i < cpMac; ++i)
        if (wd[fcText + 2 * i + 1] != 0 || wd[fcText + 2 * i] >= 0x80)
            return std::nullopt;

    wd.resize((wd.size() + 511) / 512 * 512);
    const auto fcNew = static_cast<std::uint32_t>(wd.size());
    for (std::uint32_t i = 0; i < cpMac; ++i)
        wd.push_back(wd[fcText + 2 * i]);
    const auto moved = [&](std::uint32_t fc) {
        return (fc >= fcText && fc <= fcText + 2 * cpMac) ? fcNew + (fc - fcText) / 2 : fc;
    };
    for (std::size_t index : {kPlcfBteChpx, kPlcfBtePapx}) {
        const std::uint32_t fc = le32(wd, fcLcbOffset(wd, index));
        const std::uint32_t lcb = le32(wd, fcLcbOffset(wd, index) + 4);
        const std::size_t n = (lcb - 4) / 8;
        for (std::size_t i = 0; i <= n; ++i)
            doc::storeU32(table, fc + 4 * i, moved(le32(table, fc + 4 * i)));
        for (std::size_t i = 0; i < n; ++i) {
            const std::size_t page = std::size_t(le32(table, fc + 4 * (n + 1) + 4 * i) & 0x3FFFFF) * 512;
            const std::size_t count = wd[page + 511];
            for (std::size_t k = 0; k <= count; ++k)
                doc::storeU32(wd, page + 4 * k, moved(le32(wd, page + 4 * k)));
        }
    }
    splits.insert(splits.begin(), 0);
    splits.push_back(cpMac);
    doc::ByteWriter clx;
    clx.bytes(prcs);
    clx.u8(0x02);
    clx.u32(static_cast<std::uint32_t>(4 * splits.size() + 8 * (splits.size() - 1)));
    for (auto cp : splits)
        clx.u32(cp);
    for (std::size_t i = 0; i + 1 < splits.size(); ++i) {
        clx.u16(0);
        clx.u32(((fcNew + splits[i]) * 2) | 0x40000000);
        clx.u16(i < prms.size() ? prms[i] : 0);
    }
    doc::storeU32(wd, clxAt, static_cast<std::uint32_t>(table.size()));
    doc::storeU32(wd, clxAt + 4, static_cast<std::uint32_t>(clx.size()));
    table.insert(table.end(), clx.data().begin(), clx.data().end());
    doc::storeU32(wd, rgLwOffset(wd), static_cast<std::uint32_t>(wd.size()));
    doc::storeU32(wd, 0x18, fcNew);
    doc::storeU32(wd, 0x1C, fcNew + cpMac);
    file.setStream("WordDocument", std::move(wd));
    file.setStream(tname, std::move(table));
    return file.serialize();
}

// Calls visit(page offset, entry offset) for each BxPap of the PapxFkp pages, in file order.
template <typename Visit> void forEachBxPap(const Bytes& wd, const Bytes& table, Visit visit)
{
    const std::uint32_t fc = le32(wd, fcLcbOffset(wd, kPlcfBtePapx));
    const std::uint32_t lcb = le32(wd, fcLcbOffset(wd, kPlcfBtePapx) + 4);
    const std::size_t n = (lcb - 4) / 8;
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t page = std::size_t(le32(table, fc + 4 * (n + 1) + 4 * i) & 0x3FFFFF) * 512;
        const std::size_t cpara = wd[page + 511];
        for (std::size_t k = 0; k < cpara; ++k)
            visit(page, page + 4 * (cpara + 1) + 13 * k);
    }
}

// The text an independent reader prints for a document, or nullopt when it is not installed.
enum class Reader { Antiword, WvText, LibreOffice };

inline std::optional<QString> readWith(Reader reader, const Bytes& document, QString* error)
{
    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("in.doc"));
    writeFile(in, document);
    QProcess process;
    QString output;
    switch (reader) {
    case Reader::Antiword: {
        const QString exe = QStandardPaths::findExecutable(QStringLiteral("antiword"));
        if (exe.isEmpty())
            return std::nullopt;
        process.start(exe, {QStringLiteral("-w"), QStringLiteral("0"), in});
        process.waitForFinished(60000);
        output = QString::fromUtf8(process.readAllStandardOutput());
        break;
    }
    case Reader::WvText: {
        const QString exe = QStandardPaths::findExecutable(QStringLiteral("wvText"));
        if (exe.isEmpty())
            return std::nullopt;
        const QString out = dir.filePath(QStringLiteral("out.txt"));
        process.start(exe, {in, out});
        process.waitForFinished(60000);
        QFile f(out);
        if (f.open(QIODevice::ReadOnly))
            output = QString::fromUtf8(f.readAll());
        break;
    }
    case Reader::LibreOffice: {
        const QString exe = QStandardPaths::findExecutable(QStringLiteral("soffice"));
        if (exe.isEmpty())
            return std::nullopt;
        process.start(
            exe, {QStringLiteral("-env:UserInstallation=file://") + dir.filePath(QStringLiteral("profile")),
                  QStringLiteral("--headless"), QStringLiteral("--norestore"), QStringLiteral("--convert-to"),
                  QStringLiteral("txt:Text (encoded):UTF8"), QStringLiteral("--outdir"), dir.path(), in});
        process.waitForFinished(120000);
        QFile f(dir.filePath(QStringLiteral("in.txt")));
        if (f.open(QIODevice::ReadOnly))
            output = QString::fromUtf8(f.readAll());
        break;
    }
    }
    if (error)
        *error = QString::fromUtf8(process.readAllStandardError());
    return output;
}

// The flat OpenDocument XML LibreOffice makes of a document: shows where bookmarks, notes
// and fields sit. nullopt when LibreOffice is not installed.
inline std::optional<QString> libreOfficeFlatXml(const Bytes& document)
{
    const QString exe = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (exe.isEmpty())
        return std::nullopt;
    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("in.doc"));
    writeFile(in, document);
    QProcess process;
    process.start(
        exe, {QStringLiteral("-env:UserInstallation=file://") + dir.filePath(QStringLiteral("profile")),
              QStringLiteral("--headless"), QStringLiteral("--norestore"), QStringLiteral("--convert-to"),
              QStringLiteral("fodt"), QStringLiteral("--outdir"), dir.path(), in});
    process.waitForFinished(120000);
    QFile f(dir.filePath(QStringLiteral("in.fodt")));
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(f.readAll());
}

} // namespace wordtest
