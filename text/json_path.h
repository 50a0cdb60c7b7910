// Paths into a JSON tree: "data.photo_list.[3].pic_host". Segments are separated by "." (no
// escape); a segment holds a member name, an index in brackets, or both ("list[3]").
#pragma once

#include <string_view>

class JsonNode;

// The node a path names, creating what is missing on the way: a name turns the current node into
// an object and adds a Null member when needed; an index turns it into an array and appends Null
// elements up to the index. An empty path gives the root. Nothing for a negative index, no root,
// or an index absurdly far past the end (more than a million new elements).
JsonNode* resolvePath(JsonNode* root, std::wstring_view path);

// True when every segment exists as it is; creates and converts nothing. False for an empty path.
bool pathExists(JsonNode* root, std::wstring_view path);
