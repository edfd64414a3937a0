// Opens arbitrary WordDocument and table streams inside a sound compound file (the
// template's), so mutations reach the Word structures instead of dying in the container.
// Input: a little-endian u32 n, n bytes of the WordDocument stream, the rest the table.
#include "doc/cfb.h"
#include "exercise.h"

#include <cstdint>
#include <fstream>
#include <iterator>
#include <span>

namespace
{

const doc::CompoundFile& shell()
{
    static const doc::CompoundFile file = [] {
        std::ifstream in(BRINDLEWICK_FUZZ_SHELL, std::ios::binary);
        const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                              std::istreambuf_iterator<char>());
        return doc::CompoundFile::parse(bytes);
    }();
    return file;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> input(data, size);
    if (input.size() < 4)
        return 0;
    const std::size_t wordLength = std::size_t(input[0]) | std::size_t(input[1]) << 8 |
                                   std::size_t(input[2]) << 16 | std::size_t(input[3]) << 24;
    if (wordLength > input.size() - 4)
        return 0;
    const auto word = input.subspan(4, wordLength);
    const auto table = input.subspan(4 + wordLength);
    doc::CompoundFile file = shell();
    file.setStream("WordDocument", std::vector<std::uint8_t>(word.begin(), word.end()));
    file.setStream("1Table", std::vector<std::uint8_t>(table.begin(), table.end()));
    try {
        doc::WordDocument document = doc::WordDocument::parse(file.serialize());
        exerciseDocument(document);
    } catch (const doc::Error&) {
        // Refusing bad input with a described error is the expected outcome.
    }
    return 0;
}
