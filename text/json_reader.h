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

// Every value costs a tree node of about a hundred bytes, whatever its text: a text of bare
// brackets or one-digit numbers would cost fifty times its size. A text may read this many values
// (a member given again counts again), plus one for every kJsonBytesPerValue units of it; one with
// more is refused like a malformed one. An ordinary answer holds one value per twenty units or more.
constexpr size_t kJsonFreeValues = 65536;
constexpr size_t kJsonBytesPerValue = 10;

// Parses the text into the root node. Empty text changes nothing and succeeds. Otherwise the
// root's content is cleared first; on failure (malformed, nested deeper than kJsonMaxDepth or too dense with values)
// it is left empty (its kind kept).
bool parseJsonInto(JsonNode* root, std::wstring_view text, bool unicodeEscapes);
// The same for ASCII text (every byte below 0x80), read as the UTF-16 it widens to, unit for unit:
// the same tree as parseJsonInto gives for that UTF-16 text, without a widened copy of it.
bool parseAsciiJsonInto(JsonNode* root, std::string_view text, bool unicodeEscapes);
