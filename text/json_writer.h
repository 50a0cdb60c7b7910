// The JSON text writer. Compact by default; pretty output puts each object member on its own line
// (CR LF, tab indents by nesting depth) and keeps arrays on one line.
#pragma once

#include <string>

class JsonNode;

std::wstring writeJson(const JsonNode* node, bool pretty);
