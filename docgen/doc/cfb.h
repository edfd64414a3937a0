#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace doc
{

// An OLE2 compound file held wholly in memory ([MS-CFB]). Streams are addressed by
// their path from the root, storages separated by '/', e.g. "WordDocument" or
// "ObjectPool/_1234/\x01Ole". The directory tree, CLSIDs, state bits and times are kept
// as read, so writing back changes only the streams that were replaced.
class CompoundFile
{
public:
    // Throws doc::Error for anything that is not a sound compound file.
    static CompoundFile parse(std::span<const std::uint8_t> bytes);

    CompoundFile(CompoundFile&&) noexcept;
    CompoundFile& operator=(CompoundFile&&) noexcept;
    CompoundFile(const CompoundFile&);
    CompoundFile& operator=(const CompoundFile&);
    ~CompoundFile();

    bool hasStream(const std::string& path) const;
    // Throws doc::Error (Kind::NotWordDocument is not used here: Kind::Corrupt) when absent.
    const std::vector<std::uint8_t>& stream(const std::string& path) const;
    // Replaces the contents of a stream; one absent from the root is added there (kept in the
    // root's tree in name order). Kind::BadArgument for an absent stream inside a storage, or a
    // name a compound file cannot hold (empty, past 31 UTF-16 units, with / \ : or !, or the
    // name of another of the root's entries but for case).
    void setStream(const std::string& path, std::vector<std::uint8_t> data);
    std::vector<std::string> streamPaths() const;

    // A complete compound file (version 3, 512-byte sectors) holding the same tree.
    std::vector<std::uint8_t> serialize() const;

private:
    CompoundFile();
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace doc
