#pragma once

// User-defined document properties: the second property set ([MS-OLEPS] 2.21) of the
// \005DocumentSummaryInformation stream, FMTID_UserDefinedProperties ([MS-OSHARED] 2.3.3.2.3).
// Internal to the engine.

#include "doc/worddocument.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace doc::propertyset
{

inline constexpr const char* kStreamName = "\x05"
                                           "DocumentSummaryInformation";
// The longest name Word gives a property (a dictionary entry holds 256 characters with its
// terminator).
constexpr std::size_t kMaxNameLength = 255;

// The named properties of the user-defined set that hold text (VT_LPWSTR, or VT_LPSTR in a
// code page this reads), in stored order. None when the stream is empty or the set absent or
// unsound.
std::vector<WordDocument::Property> readUserProperties(std::span<const std::uint8_t> stream);

// Kind::BadArgument for a name that is empty or longer than kMaxNameLength, or a name or value
// holding U+0000: what no document format takes as a user-defined property.
void checkProperties(const std::vector<WordDocument::Property>& properties);

// The stream with each of these set as VT_LPWSTR, by name, and the other text properties that
// ownedPrefix owns removed; the document summary set and the other user-defined properties stay
// byte for byte. An empty (absent) stream or a set that cannot be read is made anew.
// Refuses what checkProperties() refuses.
std::vector<std::uint8_t> setUserProperties(std::span<const std::uint8_t> stream,
                                            const std::vector<WordDocument::Property>& properties,
                                            std::u16string_view ownedPrefix = {});

// Whether Word takes two property names for one: they compare without regard to case.
bool sameName(std::u16string_view a, std::u16string_view b);
// Whether the name begins with ownedPrefix, compared as names are; an empty prefix owns none.
bool isOwned(std::u16string_view name, std::u16string_view ownedPrefix);

} // namespace doc::propertyset
