#pragma once

#include "doc/fileio.h"
#include "doc/readmodel.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
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
    // The document's stories ([MS-DOC] 2.3.1 - 2.3.8), in CP order.
    enum class Story { Main, Footnotes, Headers, Macro, Comments, Endnotes, TextBoxes, HeaderTextBoxes };
    struct StoryRange {
        Story story;
        std::uint32_t start; // its first CP
        std::uint32_t length;
    };
    // A user-defined document property holding text.
    struct Property {
        std::u16string name;
        std::u16string value;
        friend bool operator==(const Property&, const Property&) = default;
    };

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

    // Every story's text in CP order, as mainText() gives the main one; field marks stay
    // (0x13 begin, 0x14 separator, 0x15 end).
    std::u16string text() const;
    // The stories that hold text, in CP order; together they cover text() up to the document's
    // closing paragraph mark.
    std::vector<StoryRange> stories() const;

    // Replaces the count characters at cp (a CP of text()) by text, as normalizeTypedText() gives
    // it, in the formatting of the character at formatFrom (by default cp) without what makes that
    // character a field mark or an anchor. The range lies inside one paragraph of one story (it holds
    // no paragraph, cell or section mark, and leaves the story's last paragraph mark) and holds no
    // note reference or shape anchor; a field it covers wholly goes with it, and one it cuts is
    // refused. Every structure holding CPs of that story or after it follows. Returns the number of
    // characters put in; Kind::BadArgument for a range it refuses.
    std::uint32_t replaceText(std::uint32_t cp, std::uint32_t count, std::u16string_view text,
                              std::optional<std::uint32_t> formatFrom = std::nullopt);

    // The user-defined properties that hold text (File > Properties > Custom), in stored order.
    std::vector<Property> properties() const;
    // Sets each of these, by name (compared as Word does, without regard to case), and removes
    // every other text property whose name begins with ownedPrefix (compared as names are),
    // keeping all the rest; with an empty prefix nothing is removed. serialize() writes them.
    // Kind::BadArgument, and nothing changed, for an empty name, a name past 255 characters, or
    // U+0000 in a name or value. Long values read back here whole, but not elsewhere:
    // LibreOffice drops one past 65,534 characters, and Word's binary format may cut one to 255
    // characters when Word saves the document.
    void setProperties(const std::vector<Property>& properties, std::u16string_view ownedPrefix = {});

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
