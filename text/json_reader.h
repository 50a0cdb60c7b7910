// The JSON text reader: one forward pass over UTF-16 text with an explicit stack of open
// containers. It is lenient on purpose: text outside containers (a JSONP callback and its
// parentheses) is skipped, single quotes work like double quotes, and blanks inside unquoted
// values are dropped.
#pragma once

#include <string>
#include <string_view>

class JsonNode;

// The deepest nesting of arrays and objects a text may have: the outermost container is level 1.
// A deeper text is refused like a malformed one (the root left empty), as soon as the level past
// the limit opens. Trees built or changed through the document may be deeper; their text then
// does not read back.
constexpr int kJsonMaxDepth = 10000;

// Parses the text into the root node. Empty text changes nothing and succeeds. Otherwise the
// root's content is cleared first; on failure (malformed, or nested deeper than kJsonMaxDepth)
// it is left empty (its kind kept).
bool parseJsonInto(JsonNode* root, std::wstring_view text, bool unicodeEscapes);
// The same for ASCII text (every byte below 0x80), read as the UTF-16 it widens to, unit for unit:
// the same tree as parseJsonInto gives for that UTF-16 text, without a widened copy of it.
bool parseAsciiJsonInto(JsonNode* root, std::string_view text, bool unicodeEscapes);
