#pragma once

// Helpers shared by the Word layer's tests: fixtures, independent readers, and a
// rewrite of LibreOffice files into the compressed, multi-piece shape Word writes.

#include "doc/bytes.h"
#include "doc/cfb.h"
#include "doc/error.h"
#include "doc/worddocument.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdint>
#include <filesystem>
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

// A file name as the engine takes it: intact on every system, whatever its characters.
inline std::filesystem::path fsPath(const QString& path)
{
    return std::filesystem::path(path.toStdU16String());
}

inline QString templatePath()
{
    return QStringLiteral(BRINDLEWICK_SOURCE_DIR "/resources/template.doc");
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

// Checks what Word itself relies on in a saved document beyond its text: the Fib's sizes,
// fComplex once there are several pieces, the piece descriptors' encoding, and the FKP pages (page-aligned,
// counts within their limits, property offsets inside the page, runs covering every character of text, a
// paragraph run ending right after each paragraph mark). Returns the first fault found,
// or an empty string.
inline QString wordStructureFault(const Bytes& file)
{
    const doc::CompoundFile cf = doc::CompoundFile::parse(file);
    const Bytes& wd = cf.stream("WordDocument");
    const Bytes& table = cf.stream(tableName(wd));
    const std::size_t lw = rgLwOffset(wd);
    const std::uint32_t cbMac = le32(wd, lw);
    const std::uint32_t ccpText = le32(wd, lw + 4 * 3);
    if (cbMac > wd.size())
        return QStringLiteral("cbMac %1 past the stream (%2)").arg(cbMac).arg(wd.size());

    struct Piece {
        std::uint32_t cpFirst, cpLim, fc, width;
    };
    std::vector<Piece> pieces;
    {
        const std::uint32_t fcClx = le32(wd, fcLcbOffset(wd, kClx));
        std::size_t at = fcClx;
        while (table[at] == 0x01)
            at += 3 + le16(table, at + 1);
        if (table[at] != 0x02)
            return QStringLiteral("no Pcdt");
        const std::uint32_t lcb = le32(table, at + 1);
        const std::size_t n = (lcb - 4) / 12;
        const std::size_t plc = at + 5;
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint32_t raw = le32(table, plc + 4 * (n + 1) + 8 * i + 2);
            if (raw & 0x80000000u)
                return QStringLiteral("Pcd %1: reserved fc bit set").arg(i);
            const bool compressed = raw & 0x40000000u;
            if (compressed && (raw & 1))
                return QStringLiteral("Pcd %1: odd compressed fc").arg(i);
            const Piece piece{le32(table, plc + 4 * i), le32(table, plc + 4 * (i + 1)),
                              compressed ? (raw & ~0x40000000u) / 2 : raw, compressed ? 1u : 2u};
            if (std::uint64_t(piece.fc) + std::uint64_t(piece.cpLim - piece.cpFirst) * piece.width > cbMac)
                return QStringLiteral("Pcd %1: text past cbMac").arg(i);
            pieces.push_back(piece);
        }
    }

    if (pieces.size() > 1 && !(le16(wd, 0x0A) & 0x0004))
        return QStringLiteral("%1 pieces without fComplex").arg(pieces.size());

    struct Run {
        std::uint32_t fcFirst, fcLim;
    };
    const auto readFkps = [&](std::size_t index, bool papx, std::vector<Run>& runs) -> QString {
        const QString name = papx ? QStringLiteral("PapxFkp") : QStringLiteral("ChpxFkp");
        const std::uint32_t fc = le32(wd, fcLcbOffset(wd, index));
        const std::uint32_t lcb = le32(wd, fcLcbOffset(wd, index) + 4);
        if (lcb < 12 || (lcb - 4) % 8 != 0)
            return name + QStringLiteral(": bad PlcBte length");
        const std::size_t n = (lcb - 4) / 8;
        for (std::size_t i = 0; i < n; ++i) {
            const std::size_t page = std::size_t(le32(table, fc + 4 * (n + 1) + 4 * i) & 0x3FFFFF) * 512;
            if (page + 512 > cbMac)
                return name + QStringLiteral(" page %1 past cbMac").arg(i);
            const std::size_t count = wd[page + 511];
            const std::size_t entry = papx ? 13 : 1;
            if (count == 0 || count > (papx ? 0x1Du : 0x65u))
                return name + QStringLiteral(" page %1: count %2").arg(i).arg(count);
            const std::size_t headerEnd = 4 * (count + 1) + entry * count;
            if (le32(wd, page) != le32(table, fc + 4 * i) ||
                le32(wd, page + 4 * count) != le32(table, fc + 4 * (i + 1)))
                return name + QStringLiteral(" page %1: first or last FC differs from the PlcBte").arg(i);
            for (std::size_t k = 0; k < count; ++k) {
                const std::uint32_t first = le32(wd, page + 4 * k);
                const std::uint32_t lim = le32(wd, page + 4 * (k + 1));
                if (lim <= first)
                    return name + QStringLiteral(" page %1: empty or reversed run %2").arg(i).arg(k);
                runs.push_back({first, lim});
                const std::size_t b = 2 * std::size_t(wd[page + 4 * (count + 1) + entry * k]);
                if (b == 0)
                    continue;
                if (b < headerEnd)
                    return name + QStringLiteral(" page %1 run %2: properties over the header").arg(i).arg(k);
                std::size_t end = 0;
                if (!papx)
                    end = b + 1 + wd[page + b];
                else if (wd[page + b] != 0)
                    end = b + 1 + 2 * std::size_t(wd[page + b]) - 1;
                else
                    end = b + 2 + 2 * std::size_t(wd[page + b + 1]);
                if (end > 511)
                    return name + QStringLiteral(" page %1 run %2: properties past the page").arg(i).arg(k);
            }
        }
        for (std::size_t k = 1; k < runs.size(); ++k)
            if (runs[k].fcFirst != runs[k - 1].fcLim)
                return name + QStringLiteral(": runs not contiguous at FC %1").arg(runs[k].fcFirst);
        return {};
    };
    std::vector<Run> chpx, papx;
    if (QString fault = readFkps(kPlcfBteChpx, false, chpx); !fault.isEmpty())
        return fault;
    if (QString fault = readFkps(kPlcfBtePapx, true, papx); !fault.isEmpty())
        return fault;

    std::vector<std::uint32_t> papxEnds;
    for (const auto& run : papx)
        papxEnds.push_back(run.fcLim);
    for (const auto& piece : pieces) {
        const std::uint32_t fcLim = piece.fc + (piece.cpLim - piece.cpFirst) * piece.width;
        for (const auto* runs : {&chpx, &papx})
            if (piece.fc < fcLim &&
                (runs->empty() || runs->front().fcFirst > piece.fc || runs->back().fcLim < fcLim))
                return QStringLiteral("text at FC %1 without property runs").arg(piece.fc);
        for (std::uint32_t cp = piece.cpFirst; cp < piece.cpLim && cp < ccpText; ++cp) {
            const std::uint32_t at = piece.fc + (cp - piece.cpFirst) * piece.width;
            const char16_t c = piece.width == 1 ? char16_t(wd[at]) : char16_t(le16(wd, at));
            const bool runEnds = std::binary_search(papxEnds.begin(), papxEnds.end(), at + piece.width);
            const bool mark = c == u'\r' || c == u'\a' || c == u'\f';
            if ((c == u'\r' && !runEnds) || (runEnds && !mark))
                return QStringLiteral("CP %1: paragraph run %2 a paragraph mark")
                    .arg(cp)
                    .arg(runEnds ? QStringLiteral("ends after") : QStringLiteral("does not end at"));
        }
    }
    return {};
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
