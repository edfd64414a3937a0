#include "render/pdfobjects.h"

#include <QCryptographicHash>
#include <QList>
#include <QRegularExpression>
#include <QString>

#include <cstring>
#include <deque>
#include <stdexcept>

namespace render::pdfobjects
{

namespace
{

[[noreturn]] void unreadable()
{
    throw std::runtime_error("The PDF engine wrote a document that could not be taken apart.");
}

bool isWhite(char c)
{
    return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == '\0';
}

bool isDelimiter(char c)
{
    return isWhite(c) || std::strchr("()<>[]{}/%", c) != nullptr;
}

// Past the literal or hexadecimal string that starts at at.
qsizetype pastString(QByteArrayView text, qsizetype at)
{
    if (text[at] == '<') {
        const qsizetype end = text.indexOf('>', at);
        return end < 0 ? text.size() : end + 1;
    }
    for (int depth = 0; at < text.size(); ++at) {
        if (text[at] == '\\')
            ++at;
        else if (text[at] == '(')
            ++depth;
        else if (text[at] == ')' && --depth == 0)
            return at + 1;
    }
    return text.size();
}

bool isStringAt(QByteArrayView text, qsizetype at)
{
    return text[at] == '(' || (text[at] == '<' && (at + 1 >= text.size() || text[at + 1] != '<'));
}

// The digits at at, and where they end; nothing where there are none.
std::optional<std::pair<int, qsizetype>> numberAt(QByteArrayView text, qsizetype at)
{
    qsizetype end = at;
    while (end < text.size() && text[end] >= '0' && text[end] <= '9')
        ++end;
    if (end == at || end - at > 9)
        return std::nullopt;
    return std::pair{text.sliced(at, end - at).toInt(), end};
}

qsizetype pastWhite(QByteArrayView text, qsizetype at)
{
    while (at < text.size() && isWhite(text[at]))
        ++at;
    return at;
}

// "N G R" in an object, outside its strings: the object N, from begin to end.
struct Reference {
    int object;
    qsizetype begin;
    qsizetype end;
};

std::vector<Reference> referencesIn(QByteArrayView text)
{
    std::vector<Reference> found;
    for (qsizetype at = 0; at < text.size();) {
        if (text.sliced(at).startsWith("<<")) {
            at += 2;
            continue;
        }
        if (isStringAt(text, at)) {
            at = pastString(text, at);
            continue;
        }
        const bool tokenStart = at == 0 || isDelimiter(text[at - 1]);
        const auto object = tokenStart ? numberAt(text, at) : std::nullopt;
        const auto generation = object && object->second < text.size() && isWhite(text[object->second])
                                    ? numberAt(text, pastWhite(text, object->second))
                                    : std::nullopt;
        if (generation && generation->second < text.size() && isWhite(text[generation->second])) {
            const qsizetype r = pastWhite(text, generation->second);
            if (r < text.size() && text[r] == 'R' && (r + 1 == text.size() || isDelimiter(text[r + 1]))) {
                found.push_back({object->first, at, r + 1});
                at = r + 1;
                continue;
            }
        }
        at = object ? object->second : at + 1;
    }
    return found;
}

// The head of the object whose text starts at begin, up to the "stream" or the "endobj" that ends it.
QByteArrayView headAt(QByteArrayView text, qsizetype begin)
{
    int depth = 0;
    for (qsizetype at = begin; at < text.size();) {
        const QByteArrayView rest = text.sliced(at);
        if (isStringAt(text, at)) {
            at = pastString(text, at);
        } else if (rest.startsWith("<<") || rest.startsWith(">>")) {
            depth += rest[0] == '<' ? 1 : -1;
            at += 2;
        } else if (depth <= 0 && (rest.startsWith("stream") || rest.startsWith("endobj"))) {
            return text.sliced(begin, at - begin);
        } else {
            ++at;
        }
    }
    unreadable();
}

// The first reference after key in an object's head.
std::optional<int> referenceAfter(QByteArrayView head, QByteArrayView key)
{
    const qsizetype at = head.indexOf(key);
    const std::vector<Reference> found =
        at < 0 ? std::vector<Reference>() : referencesIn(head.sliced(at + key.size()));
    return found.empty() ? std::nullopt : std::optional(found.front().object);
}

// head with every reference renamed by numbers.
QByteArray renumbered(QByteArrayView head, const std::map<int, int>& numbers)
{
    QByteArray out;
    qsizetype from = 0;
    for (const Reference& reference : referencesIn(head)) {
        const auto to = numbers.find(reference.object);
        if (to == numbers.end())
            unreadable();
        out += head.sliced(from, reference.begin - from);
        out += QByteArray::number(to->second) + " 0 R";
        from = reference.end;
    }
    out += head.sliced(from);
    return out;
}

} // namespace

Objects::Objects(const QByteArray& pdf, const CrossReference& xref, const std::map<int, QByteArray>& replaced)
{
    std::map<int, QByteArrayView> texts;
    for (const auto& [number, offset] : xref.objects) {
        const qsizetype obj = pdf.indexOf("obj", offset);
        if (obj < 0)
            unreadable();
        texts[number] = pdf;
        mObjects[number] = {headAt(pdf, obj + 3), {}, {}};
    }
    for (const auto& [number, body] : replaced) {
        texts[number] = body;
        mObjects[number] = {headAt(body, 0), {}, {}};
    }
    // A stream's length may stand in an object of its own, so every head is read first.
    for (auto& [number, object] : mObjects) {
        const QByteArrayView text = texts[number];
        const QByteArrayView head = object.head;
        const qsizetype keyword = head.data() + head.size() - text.data();
        if (!text.sliced(keyword).startsWith("stream"))
            continue;
        qsizetype data = keyword + 6;
        data += text.sliced(data).startsWith("\r\n") ? 2 : text.sliced(data).startsWith("\n") ? 1 : 0;
        const qsizetype key = head.indexOf("/Length");
        const QByteArrayView value = key < 0 ? QByteArrayView() : head.sliced(key + 7);
        const std::vector<Reference> indirect = referencesIn(value);
        const bool isIndirect = !indirect.empty() && indirect.front().begin == pastWhite(value, 0);
        const auto length = [&]() -> std::optional<std::pair<int, qsizetype>> {
            if (!isIndirect)
                return numberAt(value, pastWhite(value, 0));
            const auto found = mObjects.find(indirect.front().object);
            return found == mObjects.end() ? std::nullopt
                                           : numberAt(found->second.head, pastWhite(found->second.head, 0));
        }();
        const qsizetype end = length ? text.indexOf("endstream", data + length->first) : -1;
        if (end < 0)
            unreadable();
        object.stream = text.sliced(keyword, end + 9 - keyword);
        object.data = text.sliced(data, length->first);
    }
}

const Object& Objects::operator[](int number) const
{
    const auto found = mObjects.find(number);
    if (found == mObjects.end())
        unreadable();
    return found->second;
}

std::optional<CrossReference> readCrossReference(const QByteArray& pdf)
{
    static const QRegularExpression tail(
        QStringLiteral(R"(trailer\s*(<<.*>>)\s*startxref\s*(\d+)\s*%%EOF\s*$)"),
        QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch end = tail.match(QString::fromLatin1(pdf.right(1024)));
    if (!end.hasMatch())
        return std::nullopt;
    CrossReference xref;
    xref.trailer = end.captured(1).toLatin1();
    const qsizetype table = end.captured(2).toLongLong();
    const qsizetype trailer = pdf.lastIndexOf("trailer");
    if (xref.trailer.contains("/Prev") || table <= 0 || table >= trailer || pdf.mid(table, 4) != "xref")
        return std::nullopt;
    const QList<QByteArray> lines = pdf.mid(table, trailer - table).split('\n');
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

QByteArray streamObject(const QByteArray& data, const QByteArray& dictionary)
{
    return "<< " + (dictionary.isEmpty() ? QByteArray() : dictionary + ' ') + "/Length " +
           QByteArray::number(data.size()) + " >>\nstream\n" + data + "\nendstream";
}

std::vector<QByteArray> split(const QByteArray& pdf, const CrossReference& xref,
                              const std::map<int, QByteArray>& replaced, std::span<const Part> parts)
{
    const Objects objects(pdf, xref, replaced);
    const std::optional<int> root = referenceAfter(xref.trailer, "/Root");
    const QByteArrayView catalog = objects[root.value_or(0)].head;
    const std::optional<int> pageTree = referenceAfter(catalog, "/Pages");
    const std::optional<int> metadata = referenceAfter(catalog, "/Metadata");
    if (!pageTree || !metadata || xref.objects.empty())
        unreadable();
    const QByteArrayView tree = objects[*pageTree].head;
    const qsizetype kids = tree.indexOf("/Kids");
    const std::vector<Reference> pages =
        kids < 0 ? std::vector<Reference>() : referencesIn(tree.sliced(kids, tree.indexOf(']', kids) - kids));
    const QByteArray header =
        pdf.left(std::min_element(xref.objects.begin(), xref.objects.end(), [](const auto& a, const auto& b) {
                     return a.second < b.second;
                 })->second);

    // Each file's own objects come first, then its pages and all they use, numbered as they are reached.
    enum : int { kInfo = 1, kCatalog, kPages, kMetadata, kFirstCopied };
    std::vector<QByteArray> files;
    std::size_t page = 0;
    for (const Part& part : parts) {
        if (part.pages <= 0 || page + static_cast<std::size_t>(part.pages) > pages.size())
            unreadable();
        std::map<int, int> numbers{{*pageTree, kPages}, {*metadata, kMetadata}};
        std::vector<int> copied;
        std::deque<int> reached;
        const auto reach = [&](int object) {
            if (numbers.emplace(object, kFirstCopied + static_cast<int>(copied.size())).second) {
                copied.push_back(object);
                reached.push_back(object);
            }
        };
        QByteArray kidList;
        for (int i = 0; i < part.pages; ++i, ++page) {
            reach(pages[page].object);
            kidList += QByteArray::number(numbers[pages[page].object]) + " 0 R ";
        }
        for (const Reference& reference : referencesIn(catalog))
            reach(reference.object);
        for (; !reached.empty(); reached.pop_front())
            for (const Reference& reference : referencesIn(objects[reached.front()].head))
                reach(reference.object);

        QByteArray out = header;
        std::vector<qsizetype> offsets;
        const auto write = [&](const QByteArray& body) {
            offsets.push_back(out.size());
            out += QByteArray::number(static_cast<qsizetype>(offsets.size())) + " 0 obj\n" + body;
            if (!body.endsWith('\n'))
                out += '\n';
            out += "endobj\n";
        };
        write(part.info);
        write(renumbered(catalog, numbers));
        write("<<\n/Type /Pages\n/Kids [ " + kidList + "]\n/Count " + QByteArray::number(part.pages) +
              "\n>>");
        write(streamObject(part.xmp, "/Type /Metadata /Subtype /XML"));
        for (const int object : copied) {
            const Object& text = objects[object];
            write(renumbered(text.head, numbers) + text.stream.toByteArray());
        }
        const qsizetype table = out.size();
        const QByteArray id = QCryptographicHash::hash(out, QCryptographicHash::Md5).toHex();
        out += "xref\n0 " + QByteArray::number(static_cast<qsizetype>(offsets.size()) + 1) +
               "\n0000000000 65535 f \n";
        for (const qsizetype offset : offsets)
            out += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
        out += "trailer\n<<\n/Size " + QByteArray::number(static_cast<qsizetype>(offsets.size()) + 1) +
               "\n/Info " + QByteArray::number(int(kInfo)) + " 0 R\n/Root " +
               QByteArray::number(int(kCatalog)) + " 0 R\n/ID [<" + id + "> <" + id + ">]\n>>\nstartxref\n" +
               QByteArray::number(table) + "\n%%EOF\n";
        files.push_back(std::move(out));
    }
    return files;
}

} // namespace render::pdfobjects
