#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The zip container of an Office Open XML document ([ECMA-376] Part 2): its entries in stored
// order, read whole and bounded, and written back with deflate from zlib. Entries the caller does
// not change are written as they were read.
namespace docx
{

// The part every package names its parts' content types in; written first.
inline constexpr char kContentTypesName[] = "[Content_Types].xml";

struct Entry {
    std::string name; // as stored: '/'-separated, no leading '/'
    std::vector<std::uint8_t> bytes;
};

// What a package may hold before it is refused as a zip bomb or as too large for an agreement.
struct PackageLimits {
    std::size_t maxEntries = 4096;
    std::size_t maxEntryBytes = std::size_t{32} << 20;  // one part, unpacked
    std::size_t maxTotalBytes = std::size_t{128} << 20; // every part together, unpacked
    // An entry unpacking to more than this many times its packed size (past a few kilobytes) is
    // refused before it is unpacked whole.
    std::size_t maxRatio = 200;
};

class Package
{
public:
    // Throws doc::Error: NotWordDocument for data that is no zip archive; Corrupt for a damaged
    // one, an entry name that is absolute, holds "..", a backslash or a drive, or is stored twice;
    // Unsupported for encrypted entries or a compression other than stored and deflate; Io when a
    // limit is passed. Nothing past the limits is ever unpacked.
    static Package read(std::span<const std::uint8_t> bytes, const PackageLimits& limits = {});

    const std::vector<Entry>& entries() const { return mEntries; }
    // The entry of this name (compared as zip names are, without regard to ASCII case), or null.
    const Entry* find(std::string_view name) const;
    // Replaces the entry of this name, or adds it at the end.
    void set(std::string name, std::vector<std::uint8_t> bytes);

    // A complete zip archive: "[Content_Types].xml" first; the entries set since reading deflated,
    // the others packed as they were read.
    std::vector<std::uint8_t> write() const;

private:
    // An entry as the archive read held it, so that writing it again packs nothing.
    struct Packed {
        std::vector<std::uint8_t> bytes;
        std::uint32_t crc = 0;
        bool deflated = false;
    };
    std::vector<Entry> mEntries;
    std::vector<std::optional<Packed>> mPacked; // beside mEntries; none for an entry set since
};

} // namespace docx
