#pragma once
// The text of a finished PDF for characters beyond the basic plane. The PDF writer maps
// the glyphs of an embedded font back to characters of the basic plane only, so a name
// written with 𠮷 (U+20BB7) would print but not be found in the PDF's text. This adds the
// missing entries to the font's character map (its ToUnicode stream) and moves the
// cross-reference table to match. Plain C++.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kov::overlayprint {

// (glyph number in the embedded font, character) pairs.
using UnicodeEntries = std::vector<std::pair<unsigned, char32_t>>;

// Adds the entries to the ToUnicode stream of the embedded font `baseFont` in `pdf` (as
// the PDF writer lays it out); false, with pdf unchanged, when the font or its map is
// not found in that layout.
bool addUnicodeEntries(std::string& pdf, std::string_view baseFont, const UnicodeEntries& entries);

} // namespace kov::overlayprint
