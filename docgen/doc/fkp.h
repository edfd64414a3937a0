#pragma once

// The character and paragraph property runs of the text by FC, as the FKP pages of the
// WordDocument stream hold them: a ChpxFkp ([MS-DOC] 2.9.44) or PapxFkp (2.9.175) each,
// listed by a PlcBteChpx or PlcBtePapx. Internal to the engine.

#include "doc/wordformat.h"

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

namespace doc::word
{

struct ChpxRun {
    std::uint32_t fcFirst = 0;
    std::uint32_t fcLim = 0;
    std::uint32_t chpx = 0;
};

struct PapxRun {
    std::uint32_t fcFirst = 0;
    std::uint32_t fcLim = 0;
    std::uint32_t papx = 0;
};

// The runs of the pages plcBteChpx lists in wordDocument, sorted by FC. Each Chpx read is
// appended to chpxs, which the runs index; runs that share a Chpx in a page share its copy.
std::vector<ChpxRun> readChpxRuns(std::span<const std::uint8_t> plcBteChpx,
                                  std::span<const std::uint8_t> wordDocument,
                                  std::vector<std::vector<std::uint8_t>>& chpxs);
// As readChpxRuns(), for paragraphs; every run has a Papx of its own.
std::vector<PapxRun> readPapxRuns(std::span<const std::uint8_t> plcBtePapx,
                                  std::span<const std::uint8_t> wordDocument, std::vector<Papx>& papxs);

// The run holding fc, or nullptr.
template <typename Run> const Run* findRun(const std::vector<Run>& runs, std::uint32_t fc)
{
    auto it = std::upper_bound(runs.begin(), runs.end(), fc,
                               [](std::uint32_t value, const Run& run) { return value < run.fcFirst; });
    if (it == runs.begin())
        return nullptr;
    --it;
    return fc < it->fcLim ? &*it : nullptr;
}

// New FKP pages and the PlcBte that lists them.
struct FkpPages {
    std::vector<std::uint8_t> plcBte;
    std::uint32_t pnFirst = 0;
    std::uint32_t cpnBte = 0; // the number of pages
};

// Packs runs into FKP pages appended to wd, which ends at a page boundary.
FkpPages writeChpxFkps(std::vector<std::uint8_t>& wd, const std::vector<ChpxRun>& runs,
                       const std::vector<std::vector<std::uint8_t>>& chpxs);
FkpPages writePapxFkps(std::vector<std::uint8_t>& wd, const std::vector<PapxRun>& runs,
                       const std::vector<Papx>& papxs);

} // namespace doc::word
