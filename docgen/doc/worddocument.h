#pragma once

#include "doc/fileio.h"
#include "doc/readmodel.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace doc
{

namespace word
{
struct WordState;
} // namespace word

// A Word 97-2003 binary document ([MS-DOC]) held in memory: its text with the
// properties of every character, ready for typing into and writing back.
class WordDocument
{
public:
    // Throws doc::Error for anything that is not a sound Word 97-2003 document.
    static WordDocument parse(std::span<const std::uint8_t> bytes);
    // As parse(); Kind::Io when the file cannot be read or is larger than maxBytes.
    static WordDocument load(const std::filesystem::path& path, std::size_t maxBytes = kMaxFileBytes);
    // Far beyond any document this engine is meant for; a larger file is refused unread.
    static constexpr std::size_t kMaxFileBytes = std::size_t{512} << 20;

    WordDocument(WordDocument&&) noexcept;
    WordDocument& operator=(WordDocument&&) noexcept;
    WordDocument(const WordDocument&);
    WordDocument& operator=(const WordDocument&);
    ~WordDocument();

    // The main text (FibRgLw97.ccpText characters); paragraph marks are u'\r'.
    std::u16string mainText() const;
    std::uint32_t mainTextLength() const;

    // Types `text` at main-text position cp (0 to mainTextLength() - 1, so never after the
    // last paragraph mark), as normalizeTypedText() gives it, with the character formatting
    // of the character before cp (at cp 0, of the character at cp 0). Returns the number of
    // characters inserted. Kind::BadArgument when cp is out of range.
    std::uint32_t insertText(std::uint32_t cp, std::u16string_view text);

    // A complete compound file with the edited text. Streams other than WordDocument and
    // the table stream come back byte for byte.
    std::vector<std::uint8_t> serialize() const;
    // Writes serialize() through a temporary file in the target folder renamed into place:
    // on failure (Kind::Io) the target is unchanged and no partial file is left.
    void save(const std::filesystem::path& path, fileio::Access access = fileio::Access::UsersFile,
              fileio::Flush flush = fileio::Flush::ToDisk) const;

    ReadModel readModel() const;

private:
    explicit WordDocument(std::unique_ptr<word::WordState> state);
    std::unique_ptr<word::WordState> d;
};

// What typing `text` puts into a document: CR LF, a lone CR and a lone LF each become one
// line break (0x0B); other control characters below 0x20 except tab are dropped.
std::u16string normalizeTypedText(std::u16string_view text);

} // namespace doc
