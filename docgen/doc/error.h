#pragma once

#include <stdexcept>
#include <string>

namespace doc
{

// Bad input (a damaged, foreign or unsupported file, or a failed write) is reported
// with this one exception type; programmer mistakes are assertions instead.
class Error : public std::runtime_error
{
public:
    enum class Kind {
        NotCompoundFile, // not an OLE2 compound file at all
        NotWordDocument, // a compound file, but no Word 97-2003 document in it
        Truncated,       // a structure runs past the end of the data
        Corrupt,         // inconsistent structures (cycles, bad counts, bad offsets)
        Unsupported,     // valid but outside what the engine handles (encrypted, Word 6/95)
        Io,              // reading or writing a file failed
        BadArgument,     // a caller asked for something the document cannot do
    };

    Error(Kind kind, const std::string& description) : std::runtime_error(description), mKind(kind) {}
    Kind kind() const noexcept { return mKind; }

private:
    Kind mKind;
};

} // namespace doc
