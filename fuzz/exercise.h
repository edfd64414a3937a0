#pragma once

// What both fuzz targets do with a document that opened: everything a reader of the
// program's files does, then one insertion, a save and a reload.
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
    const std::vector<std::uint8_t> saved = document.serialize();
    try {
        const doc::WordDocument again = doc::WordDocument::parse(saved);
        if (again.mainText() != document.mainText())
            std::abort(); // what we write must read back as what we hold
        (void)again.readModel();
    } catch (const doc::Error&) {
        std::abort(); // what we write must open again
    }
}
