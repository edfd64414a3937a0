#pragma once

// What both fuzz targets do with a document that opened: everything a reader of the
// program's files does, then one insertion, a replacement in every story, a save and a reload.
#include "doc/error.h"
#include "doc/worddocument.h"

#include <cstdlib>
#include <vector>

inline void exerciseDocument(doc::WordDocument& document)
{
    (void)document.readModel();
    if (document.mainTextLength() == 0)
        return;
    document.insertText(document.mainTextLength() / 2, u"Zo\u00eb \u5f20 \u20ac\r\nx");
    // A range in the middle of each story: replaced, or refused as one a story cannot lose.
    const std::size_t storyCount = document.stories().size();
    for (std::size_t i = 0; i < storyCount; ++i) {
        const auto story = document.stories()[i];
        try {
            document.replaceText(story.start + story.length / 2, 2, u"v\r\nw");
        } catch (const doc::Error& e) {
            if (e.kind() != doc::Error::Kind::BadArgument)
                std::abort();
        }
    }
    const std::vector<std::uint8_t> saved = document.serialize();
    try {
        const doc::WordDocument again = doc::WordDocument::parse(saved);
        if (again.text() != document.text())
            std::abort(); // what we write must read back as what we hold
        (void)again.readModel();
    } catch (const doc::Error&) {
        std::abort(); // what we write must open again
    }
}
