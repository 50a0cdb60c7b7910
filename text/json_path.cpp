#include "text/json_path.h"

#include <climits>

#include "text/json_node.h"

namespace {

// How many Null elements one index may append; beyond this the path yields nothing instead of
// exhausting memory on a mistyped or hostile index.
constexpr int kMaxElementsAddedByIndex = 1000000;

struct Segment {
    bool hasName = false;
    std::wstring_view name;
    bool hasIndex = false;
    int index = 0;
};

int readIndex(std::wstring_view text)
{
    size_t at = 0;
    bool negative = false;
    if (at < text.size() && text[at] == L'-') {
        negative = true;
        ++at;
    }
    long long value = 0;
    for (; at < text.size() && text[at] >= L'0' && text[at] <= L'9'; ++at) {
        value = value * 10 + (text[at] - L'0');
        if (value > INT_MAX) value = INT_MAX + 1LL;
    }
    if (negative) return value > INT_MAX ? INT_MIN : static_cast<int>(-value);
    return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

Segment parseSegment(std::wstring_view text)
{
    Segment segment;
    const size_t bracket = text.find(L'[');
    segment.hasName = bracket != 0;
    segment.name = text.substr(0, bracket);
    if (bracket != std::wstring_view::npos) {
        segment.hasIndex = true;
        std::wstring_view inside = text.substr(bracket + 1);
        inside = inside.substr(0, inside.find(L']'));
        segment.index = readIndex(inside);
    }
    return segment;
}

// Calls visit(segment) for each segment in order until it returns false.
template <typename Visit>
void forEachSegment(std::wstring_view path, Visit visit)
{
    size_t start = 0;
    while (true) {
        const size_t dot = path.find(L'.', start);
        const std::wstring_view text = path.substr(start, dot == std::wstring_view::npos ? path.size() - start : dot - start);
        if (!visit(parseSegment(text))) return;
        if (dot == std::wstring_view::npos) return;
        start = dot + 1;
    }
}

JsonNode* memberOrNew(JsonNode* node, std::wstring_view name)
{
    if (node->kind() != JsonKind::Object && !node->becomeObject()) return nullptr;
    if (JsonNode* found = node->member(name)) return found;
    JsonNode* created = JsonNode::create(JsonKind::Null);
    if (!created) return nullptr;
    const bool stored = node->setMember(name, created);
    JsonNode::release(created);  // the object holds it now, or it is gone
    return stored ? created : nullptr;
}

JsonNode* elementOrNew(JsonNode* node, int index)
{
    if (index < 0) return nullptr;
    if (node->kind() != JsonKind::Array && !node->becomeArray()) return nullptr;
    if (index - node->elementCount() >= kMaxElementsAddedByIndex) return nullptr;
    while (node->elementCount() <= index) {
        JsonNode* created = JsonNode::create(JsonKind::Null);
        if (!created) return nullptr;
        const bool stored = node->appendElement(created);
        JsonNode::release(created);
        if (!stored) return nullptr;
    }
    return node->element(index);
}

} // namespace

JsonNode* resolvePath(JsonNode* root, std::wstring_view path)
{
    if (!root || path.empty()) return root;
    JsonNode* current = root;
    forEachSegment(path, [&](const Segment& segment) {
        if (segment.hasName) current = memberOrNew(current, segment.name);
        if (current && segment.hasIndex) current = elementOrNew(current, segment.index);
        return current != nullptr;
    });
    return current;
}

bool pathExists(JsonNode* root, std::wstring_view path)
{
    if (!root || path.empty()) return false;
    JsonNode* current = root;
    forEachSegment(path, [&](const Segment& segment) {
        if (segment.hasName) current = current->member(segment.name);
        if (current && segment.hasIndex) current = segment.index >= 0 ? current->element(segment.index) : nullptr;
        return current != nullptr;
    });
    return current != nullptr;
}
