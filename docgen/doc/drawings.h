#pragma once

// Pictures and floating shapes ([MS-DOC] 2.9.191 PICFAndOfficeArtData, 2.8.25 PlcfSpa, [MS-ODRAW]) for
// the read model. Internal to the engine.

#include "doc/readmodel.h"
#include "doc/wordstate.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace doc::word
{

class Drawings
{
public:
    // Reads the stories of text boxes from whole-text CP start up to end (not included), as blocks.
    using StoryReader = std::function<std::vector<Block>(std::uint32_t start, std::uint32_t end)>;

    // Pictures, shapes and text boxes go into model as the paragraphs holding them are attached.
    Drawings(const WordState& d, ReadModel& model, StoryReader readStory);
    ~Drawings();
    Drawings(const Drawings&) = delete;
    Drawings& operator=(const Drawings&) = delete;

    // Fills paragraph.pictures and paragraph.shapes from its object characters; start is the
    // paragraph's first whole-text CP. Damaged or missing drawing data leaves an object out of
    // them, never throws. A text box's story is read here, through the StoryReader, so paragraph
    // must not yet be one of model.paragraphs.
    void attach(Paragraph& paragraph, std::uint32_t start);

private:
    struct Impl;
    std::unique_ptr<Impl> mImpl;
};

} // namespace doc::word
