// The JSON text reader: one forward pass over UTF-16 text with an explicit stack of open
// containers. It is lenient on purpose: text outside containers (a JSONP callback and its
// parentheses) is skipped, single quotes work like double quotes, and blanks inside unquoted
// values are dropped.
#pragma once

#include <string_view>

class JsonNode;

// Parses the text into the root node. Empty text changes nothing and succeeds. Otherwise the
// root's content is cleared first; on failure it is left empty (its kind kept).
bool parseJsonInto(JsonNode* root, std::wstring_view text, bool unicodeEscapes);
