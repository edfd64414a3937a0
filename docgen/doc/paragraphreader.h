#pragma once

// Reading paragraphs of any story with their formatting resolved, for the read model. Internal to the
// engine.

#include "doc/readmodel.h"
#include "doc/wordstate.h"

#include <cstdint>
#include <memory>

namespace doc::word
{

class ParagraphReader
{
public:
    explicit ParagraphReader(const WordState& d);
    ~ParagraphReader();
    ParagraphReader(const ParagraphReader&) = delete;
    ParagraphReader& operator=(const ParagraphReader&) = delete;

    // The paragraph from whole-text CP start to its mark (paragraph, cell or row mark) at markCp, or
    // to markCp inclusive when the character there is no mark (the end of a story without one).
    // Lists are numbered in the order paragraphs are read, so a story is read from its start.
    Paragraph read(std::uint32_t start, std::uint32_t markCp);

private:
    struct Impl;
    std::unique_ptr<Impl> mImpl;
};

// The document's default tab width (Dop.dxaTab).
std::int32_t defaultTabWidth(const WordState& d);

} // namespace doc::word
