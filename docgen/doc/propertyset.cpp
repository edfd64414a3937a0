#include "doc/propertyset.h"

#include "doc/bytes.h"
#include "doc/error.h"
#include "doc/utf.h"
#include "doc/wordformat.h"

#include <algorithm>
#include <array>
#include <map>
#include <optional>
#include <set>
#include <string>

namespace doc::propertyset
{

namespace
{

using Fmtid = std::array<std::uint8_t, 16>;
// {D5CDD502-2E9C-101B-9397-08002B2CF9AE} and {D5CDD505-2E9C-101B-9397-08002B2CF9AE} as stored.
constexpr Fmtid FMTID_DocSummaryInformation{0x02, 0xD5, 0xCD, 0xD5, 0x9C, 0x2E, 0x1B, 0x10,
                                            0x93, 0x97, 0x08, 0x00, 0x2B, 0x2C, 0xF9, 0xAE};
constexpr Fmtid FMTID_UserDefinedProperties{0x05, 0xD5, 0xCD, 0xD5, 0x9C, 0x2E, 0x1B, 0x10,
                                            0x93, 0x97, 0x08, 0x00, 0x2B, 0x2C, 0xF9, 0xAE};

// PropertySetStream ([MS-OLEPS] 2.21): ByteOrder, Version, SystemIdentifier and CLSID make
// the part kept as read; then NumPropertySets and an FMTID and Offset for each set.
constexpr std::size_t kKeptHeaderSize = 24;
constexpr std::size_t kNumPropertySets = 24;
constexpr std::size_t kFirstFmtid = 28;
constexpr std::size_t kFmtidAndOffsetSize = 20;
constexpr std::uint16_t kByteOrder = 0xFFFE;
// A new stream's: version 0, Windows 6.1 (Win32), GUID_NULL ([MS-OSHARED] 2.3.3.1.1).
constexpr std::array<std::uint8_t, kKeptHeaderSize> kNewHeader{0xFE, 0xFF, 0x00, 0x00,
                                                               0x06, 0x01, 0x02, 0x00};

// Property identifiers ([MS-OLEPS] 2.18, [MS-OSHARED] 2.3.3.2.3.3).
constexpr std::uint32_t PID_DICTIONARY = 0;
constexpr std::uint32_t PID_CODEPAGE = 1;
constexpr std::uint32_t kFirstUserId = 2;
constexpr std::uint32_t kLinkBit = 0x01000000; // the entry linking a property to document content
constexpr std::uint32_t kIdMask = 0x00FFFFFF;

// The identifiers a named user-defined property may have.
bool isUserId(std::uint32_t id)
{
    return id >= kFirstUserId && id <= kIdMask;
}

// PropertyType ([MS-OLEPS] 2.15).
constexpr std::uint16_t VT_I2 = 0x0002;
constexpr std::uint16_t VT_BSTR = 0x0008;
constexpr std::uint16_t VT_VARIANT = 0x000C;
constexpr std::uint16_t VT_LPSTR = 0x001E;
constexpr std::uint16_t VT_LPWSTR = 0x001F;
constexpr std::uint16_t kTypeFlags = 0xF000; // VT_VECTOR, VT_ARRAY

constexpr std::uint16_t CP_WINUNICODE = 1200;
constexpr std::uint16_t CP_WINDOWS1252 = 1252;
constexpr std::uint16_t CP_UTF8 = 65001;

using Bytes = std::vector<std::uint8_t>;

// Windows-1252 is the compressed text of Word documents, but for the euro sign.
constexpr std::uint8_t kEuro1252 = 0x80;

// Text in a set's code page, up to its first U+0000; of code pages other than these three,
// ASCII alone is read.
std::optional<std::u16string> decode(std::uint16_t codePage, std::span<const std::uint8_t> bytes)
{
    std::u16string text;
    if (codePage == CP_WINUNICODE) {
        if (bytes.size() % 2 != 0)
            return std::nullopt;
        for (std::size_t i = 0; i < bytes.size(); i += 2)
            text += static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
    } else if (codePage == CP_UTF8) {
        text = utf::fromUtf8(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    } else {
        for (std::uint8_t b : bytes) {
            if (codePage != CP_WINDOWS1252 && b >= 0x80)
                return std::nullopt;
            text += b == kEuro1252 ? u'\u20AC' : word::fromCompressed(b);
        }
    }
    return text.substr(0, text.find(u'\0'));
}

// The bytes of text in a set's code page with its terminator, or nullopt when it cannot hold it.
std::optional<Bytes> encode(std::uint16_t codePage, std::u16string_view text)
{
    Bytes out;
    if (codePage == CP_WINUNICODE) {
        for (char16_t c : text) {
            out.push_back(static_cast<std::uint8_t>(c));
            out.push_back(static_cast<std::uint8_t>(c >> 8));
        }
        out.insert(out.end(), 2, 0);
        return out;
    }
    if (codePage == CP_UTF8) {
        const std::string utf8 = utf::toUtf8(text);
        if (utf::fromUtf8(utf8) != text)
            return std::nullopt; // an unpaired surrogate
        out.assign(utf8.begin(), utf8.end());
    } else {
        for (char16_t c : text) {
            const auto b = c == u'\u20AC' ? kEuro1252 : c == kEuro1252 ? std::nullopt : word::toCompressed(c);
            if (!b || (codePage != CP_WINDOWS1252 && *b >= 0x80))
                return std::nullopt;
            out.push_back(*b);
        }
    }
    out.push_back(0);
    return out;
}

void padTo4(ByteWriter& out)
{
    out.fill((4 - out.size() % 4) % 4, 0);
}

// A DictionaryEntry ([MS-OLEPS] 2.16); raw is its Name as stored, terminator included.
struct Name {
    std::uint32_t id = 0;
    Bytes raw; // empty: to be encoded from text
    std::optional<std::u16string> text;
};

// A TypedPropertyValue as stored, with the padding after it.
struct Value {
    std::uint32_t id = 0;
    Bytes bytes;
    std::uint16_t type() const { return ByteCursor(bytes).u16(); }
};

// A PropertySet ([MS-OLEPS] 2.20) taken apart: the dictionary, the code page and every other
// property in stored order.
struct Section {
    std::uint16_t codePage = CP_WINUNICODE;
    std::vector<Name> dictionary;
    std::vector<Value> values;
};

// The text a VT_LPWSTR or VT_LPSTR value holds.
std::optional<std::u16string> valueText(std::uint16_t codePage, const Value& value)
{
    ByteCursor c(value.bytes);
    const std::uint16_t type = c.u16();
    c.u16(); // padding
    const std::uint32_t count = c.u32();
    if (!c.ok())
        return std::nullopt;
    if (type == VT_LPWSTR && count <= c.remaining() / 2)
        return decode(CP_WINUNICODE, c.bytes(std::size_t{count} * 2));
    if (type == VT_LPSTR && count <= c.remaining())
        return decode(codePage, c.bytes(count));
    return std::nullopt;
}

Bytes lpwstr(std::u16string_view text)
{
    ByteWriter out;
    out.u16(VT_LPWSTR);
    out.u16(0);
    out.u32(static_cast<std::uint32_t>(text.size() + 1));
    for (char16_t c : text)
        out.u16(c);
    out.u16(0);
    padTo4(out);
    return std::move(out).take();
}

std::optional<std::vector<Name>> readDictionary(std::uint16_t codePage, std::span<const std::uint8_t> bytes)
{
    ByteCursor c(bytes);
    const std::uint32_t count = c.u32();
    if (count > bytes.size() / 8)
        return std::nullopt;
    const std::size_t unit = codePage == CP_WINUNICODE ? 2 : 1;
    std::vector<Name> names(count);
    for (Name& name : names) {
        name.id = c.u32();
        const std::uint32_t length = c.u32();
        if (!c.ok() || length > c.remaining() / unit)
            return std::nullopt;
        const auto raw = c.bytes(length * unit);
        name.raw.assign(raw.begin(), raw.end());
        name.text = decode(codePage, raw);
        // Unicode names are padded to 4 bytes; the last may end the set without it.
        if (unit == 2 && raw.size() % 4 != 0 && c.remaining() >= 2)
            c.skip(2);
    }
    return names;
}

std::optional<Section> readSection(std::span<const std::uint8_t> stream, std::uint32_t offset)
{
    ByteCursor c(stream, offset);
    const std::uint32_t size = c.u32();
    const std::uint32_t count = c.u32();
    if (!c.ok() || size < 8 || !rangeFits(stream.size(), offset, size) || count > (size - 8) / 8)
        return std::nullopt;
    const auto bytes = stream.subspan(offset, size);
    const std::uint32_t valuesStart = 8 + 8 * count;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> entries(count); // offset, id
    for (auto& [at, id] : entries) {
        id = c.u32();
        at = c.u32();
        if (at < valuesStart || at >= size)
            return std::nullopt;
    }
    // Offsets ascend; each value reaches to the next.
    std::stable_sort(entries.begin(), entries.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    const auto extent = [&](std::size_t i) {
        const std::uint32_t end = i + 1 < entries.size() ? entries[i + 1].first : size;
        return bytes.subspan(entries[i].first, end - entries[i].first);
    };

    Section section;
    section.codePage = CP_WINDOWS1252; // what a set without one is taken to be in
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (i + 1 < entries.size() && entries[i + 1].first == entries[i].first)
            return std::nullopt;
        if (entries[i].second == PID_CODEPAGE) {
            ByteCursor v(extent(i));
            const std::uint16_t type = v.u16();
            v.u16();
            section.codePage = v.u16();
            if (!v.ok() || type != VT_I2)
                return std::nullopt;
        }
    }
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const auto [at, id] = entries[i];
        if (id == PID_DICTIONARY) {
            auto dictionary = readDictionary(section.codePage, extent(i));
            if (!dictionary)
                return std::nullopt;
            section.dictionary = std::move(*dictionary);
        } else if (id != PID_CODEPAGE) {
            const auto value = extent(i);
            section.values.push_back({id, Bytes(value.begin(), value.end())});
        }
    }
    return section;
}

Bytes writeSection(const Section& section)
{
    const std::size_t count = (section.dictionary.empty() ? 1 : 2) + section.values.size();
    const std::size_t headerSize = 8 + 8 * count;
    std::vector<std::pair<std::uint32_t, std::size_t>> offsets; // id, offset
    ByteWriter body;
    if (!section.dictionary.empty()) {
        offsets.emplace_back(PID_DICTIONARY, headerSize);
        const std::size_t unit = section.codePage == CP_WINUNICODE ? 2 : 1;
        body.u32(static_cast<std::uint32_t>(section.dictionary.size()));
        for (const Name& name : section.dictionary) {
            body.u32(name.id);
            body.u32(static_cast<std::uint32_t>(name.raw.size() / unit));
            body.bytes(name.raw);
            if (unit == 2)
                padTo4(body);
        }
        padTo4(body);
    }
    offsets.emplace_back(PID_CODEPAGE, headerSize + body.size());
    body.u16(VT_I2);
    body.u16(0);
    body.u16(section.codePage);
    body.u16(0);
    for (const Value& value : section.values) {
        offsets.emplace_back(value.id, headerSize + body.size());
        body.bytes(value.bytes);
        padTo4(body);
    }
    const std::size_t size = headerSize + body.size();
    if (size > 0xFFFFFFFFu)
        throw Error(Error::Kind::BadArgument, "properties too large");
    ByteWriter out;
    out.u32(static_cast<std::uint32_t>(size));
    out.u32(static_cast<std::uint32_t>(count));
    for (const auto& [id, offset] : offsets) {
        out.u32(id);
        out.u32(static_cast<std::uint32_t>(offset));
    }
    out.bytes(body.data());
    return std::move(out).take();
}

// The stream's parts that read soundly.
struct Stream {
    std::span<const std::uint8_t> header; // empty when the stream is not a property set stream
    std::span<const std::uint8_t> summary;
    std::optional<Section> user;
};

Stream readStream(std::span<const std::uint8_t> bytes)
{
    Stream stream;
    ByteCursor c(bytes);
    const std::uint16_t byteOrder = c.u16();
    c.seek(kNumPropertySets);
    const std::uint32_t sets = c.u32();
    const auto fmtid0 = c.bytes(FMTID_DocSummaryInformation.size());
    const std::uint32_t offset0 = c.u32();
    if (!c.ok() || byteOrder != kByteOrder || (sets != 1 && sets != 2) ||
        !std::equal(fmtid0.begin(), fmtid0.end(), FMTID_DocSummaryInformation.begin()))
        return stream;
    stream.header = bytes.first(kKeptHeaderSize);
    ByteCursor summary(bytes, offset0);
    const std::uint32_t summarySize = summary.u32();
    if (summary.ok() && summarySize >= 8 && rangeFits(bytes.size(), offset0, summarySize))
        stream.summary = bytes.subspan(offset0, summarySize);
    const auto fmtid1 = c.bytes(FMTID_UserDefinedProperties.size());
    const std::uint32_t offset1 = c.u32();
    if (sets == 2 && c.ok() && std::equal(fmtid1.begin(), fmtid1.end(), FMTID_UserDefinedProperties.begin()))
        stream.user = readSection(bytes, offset1);
    return stream;
}

bool isCodePageText(std::uint16_t type)
{
    const std::uint16_t base = type & ~kTypeFlags;
    return base == VT_LPSTR || base == VT_BSTR || base == VT_VARIANT;
}

std::uint32_t freeId(const Section& section)
{
    std::set<std::uint32_t> used;
    for (const Name& name : section.dictionary)
        used.insert(name.id & kIdMask);
    for (const Value& value : section.values)
        used.insert(value.id & kIdMask);
    std::uint32_t id = kFirstUserId;
    while (used.count(id) != 0)
        ++id;
    if (id > kIdMask)
        throw Error(Error::Kind::BadArgument, "no free property identifier");
    return id;
}

// The dictionary entry that a property of this name is set in, if the set has one.
std::vector<Name>::iterator entryFor(Section& section, std::u16string_view name)
{
    return std::find_if(section.dictionary.begin(), section.dictionary.end(),
                        [&](const Name& n) { return n.text && isUserId(n.id) && sameName(*n.text, name); });
}

void setOne(Section& section, const WordDocument::Property& property)
{
    const auto named = entryFor(section, property.name);
    std::uint32_t id = 0;
    if (named == section.dictionary.end()) {
        id = freeId(section);
        section.dictionary.push_back({id, {}, property.name});
    } else {
        id = named->id;
        named->raw.clear();
        named->text = property.name;
    }
    auto& values = section.values;
    const auto value =
        std::find_if(values.begin(), values.end(), [id](const Value& v) { return v.id == id; });
    if (value == values.end())
        values.push_back({id, lpwstr(property.value)});
    else
        value->bytes = lpwstr(property.value);
    // A linked property would take its value from the document again.
    std::erase_if(values, [id](const Value& v) { return v.id == (id | kLinkBit); });
}

// Removes the text properties ownedPrefix owns but for the one each of these names would set:
// the value, its dictionary entry and any link to document content.
void removeOwned(Section& section, const std::vector<WordDocument::Property>& properties,
                 std::u16string_view ownedPrefix)
{
    std::set<std::uint32_t> kept;
    for (const auto& property : properties) {
        const auto named = entryFor(section, property.name);
        if (named != section.dictionary.end())
            kept.insert(named->id);
    }
    // Each value named as readUserProperties() names it.
    std::map<std::uint32_t, const std::u16string*> names;
    for (const Name& name : section.dictionary) {
        if (name.text)
            names.emplace(name.id, &*name.text);
    }
    std::set<std::uint32_t> removed;
    for (const Value& value : section.values) {
        const auto name = names.find(value.id);
        if (isUserId(value.id) && kept.count(value.id) == 0 && name != names.end() &&
            isOwned(*name->second, ownedPrefix) && valueText(section.codePage, value))
            removed.insert(value.id);
    }
    std::erase_if(section.dictionary, [&](const Name& n) { return removed.count(n.id) != 0; });
    std::erase_if(section.values, [&](const Value& v) {
        return removed.count(v.id) != 0 || ((v.id & kLinkBit) != 0 && removed.count(v.id & ~kLinkBit) != 0);
    });
}

// Keeps the set's code page when it holds every new name; else the set becomes Unicode, and
// what cannot follow (names it cannot read, values in code-page text other than plain
// strings) is dropped.
void settleCodePage(Section& section)
{
    const bool fits = std::all_of(section.dictionary.begin(), section.dictionary.end(), [&](const Name& n) {
        return !n.raw.empty() || encode(section.codePage, *n.text).has_value();
    });
    if (!fits) {
        std::set<std::uint32_t> dropped;
        std::erase_if(section.dictionary, [&dropped](const Name& n) {
            if (!n.text)
                dropped.insert(n.id);
            return !n.text;
        });
        for (Name& name : section.dictionary)
            name.raw.clear();
        const std::uint16_t old = section.codePage;
        std::erase_if(section.values, [&](Value& value) {
            if (dropped.count(value.id) != 0)
                return true;
            if (value.type() == VT_LPSTR) {
                const auto text = valueText(old, value);
                if (text)
                    value.bytes = lpwstr(*text);
                return !text;
            }
            return isCodePageText(value.type());
        });
        section.codePage = CP_WINUNICODE;
    }
    for (Name& name : section.dictionary) {
        if (name.raw.empty())
            name.raw = *encode(section.codePage, *name.text);
    }
}

} // namespace

bool sameName(std::u16string_view a, std::u16string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char16_t x, char16_t y) {
               return utf::toUpper(x) == utf::toUpper(y);
           });
}

bool isOwned(std::u16string_view name, std::u16string_view ownedPrefix)
{
    return !ownedPrefix.empty() && name.size() >= ownedPrefix.size() &&
           sameName(name.substr(0, ownedPrefix.size()), ownedPrefix);
}

std::vector<WordDocument::Property> readUserProperties(std::span<const std::uint8_t> bytes)
{
    const Stream stream = readStream(bytes);
    if (!stream.user)
        return {};
    const Section& section = *stream.user;
    std::map<std::uint32_t, const std::u16string*> names;
    for (const Name& name : section.dictionary) {
        if (name.text)
            names.emplace(name.id, &*name.text);
    }
    std::vector<WordDocument::Property> properties;
    for (const Value& value : section.values) {
        const auto name = names.find(value.id);
        if (!isUserId(value.id) || name == names.end())
            continue;
        if (auto text = valueText(section.codePage, value))
            properties.push_back({*name->second, std::move(*text)});
    }
    return properties;
}

void checkProperties(const std::vector<WordDocument::Property>& properties)
{
    for (const auto& property : properties) {
        if (property.name.empty())
            throw Error(Error::Kind::BadArgument, "empty property name");
        if (property.name.size() > kMaxNameLength)
            throw Error(Error::Kind::BadArgument, "property name too long");
        if (property.name.find(u'\0') != std::u16string::npos ||
            property.value.find(u'\0') != std::u16string::npos)
            throw Error(Error::Kind::BadArgument, "U+0000 in property " + utf::toUtf8(property.name));
    }
}

std::vector<std::uint8_t> setUserProperties(std::span<const std::uint8_t> bytes,
                                            const std::vector<WordDocument::Property>& properties,
                                            std::u16string_view ownedPrefix)
{
    checkProperties(properties);
    const Stream stream = readStream(bytes);
    Section user = stream.user.value_or(Section{});
    removeOwned(user, properties, ownedPrefix);
    for (const auto& property : properties)
        setOne(user, property);
    settleCodePage(user);

    const Bytes summary = stream.summary.empty() ? writeSection(Section{})
                                                 : Bytes(stream.summary.begin(), stream.summary.end());
    ByteWriter out;
    out.bytes(stream.header.empty() ? std::span<const std::uint8_t>(kNewHeader) : stream.header);
    out.u32(2);
    const std::size_t summaryAt = kFirstFmtid + 2 * kFmtidAndOffsetSize;
    const std::size_t userAt = summaryAt + (summary.size() + 3) / 4 * 4;
    out.bytes(FMTID_DocSummaryInformation);
    out.u32(static_cast<std::uint32_t>(summaryAt));
    out.bytes(FMTID_UserDefinedProperties);
    out.u32(static_cast<std::uint32_t>(userAt));
    out.bytes(summary);
    padTo4(out);
    out.bytes(writeSection(user));
    return std::move(out).take();
}

} // namespace doc::propertyset
