// Compares two JSON trees node by node, without recursion. With `afterWriting`, a number of the
// first tree is expected as the writer's text of it reads back: a Float "2" as the Integer 2,
// "1e999" as infinity, "null" (NaN) as Null, and an Integer beyond 2^53 as the integer reader's
// double accumulation rounds its digits.
#pragma once

#include <cstring>
#include <utility>
#include <vector>

#include "text/json_node.h"
#include "text/numbers.h"

inline bool sameScalar(const JsonNode* a, const JsonNode* b, bool afterWriting)
{
    if (afterWriting && a->kind() == JsonKind::Float) {
        const std::wstring text = formatNumberW(a->floatValue());
        if (text == L"null") return b->kind() == JsonKind::Null;
        switch (classifyNumber(text)) {
        case NumberKind::Decimal: {
            const double expected = readDecimal(text), actual = b->floatValue();
            return b->kind() == JsonKind::Float && std::memcmp(&expected, &actual, sizeof expected) == 0;
        }
        case NumberKind::Integer: return b->kind() == JsonKind::Integer && b->integerValue() == readInteger(text);
        default: return false;
        }
    }
    if (afterWriting && a->kind() == JsonKind::Integer)
        return b->kind() == JsonKind::Integer && b->integerValue() == readInteger(formatNumberW(a->integerValue()));
    if (a->kind() != b->kind()) return false;
    switch (a->kind()) {
    case JsonKind::Float: {
        const double x = a->floatValue(), y = b->floatValue();
        return std::memcmp(&x, &y, sizeof x) == 0;
    }
    case JsonKind::Integer: return a->integerValue() == b->integerValue();
    case JsonKind::Bool: return a->boolValue() == b->boolValue();
    case JsonKind::String: return a->stringValue() == b->stringValue();
    case JsonKind::Raw: return a->rawText() == b->rawText();
    default: return true;
    }
}

inline bool sameTree(const JsonNode* first, const JsonNode* second, bool afterWriting)
{
    std::vector<std::pair<const JsonNode*, const JsonNode*>> work{{first, second}};
    while (!work.empty()) {
        const auto [a, b] = work.back();
        work.pop_back();
        if (!a || !b) return a == b;
        if (a->kind() == JsonKind::Array) {
            if (b->kind() != JsonKind::Array || a->elementCount() != b->elementCount()) return false;
            for (int i = 0; i < a->elementCount(); ++i) work.emplace_back(a->element(i), b->element(i));
        } else if (a->kind() == JsonKind::Object) {
            if (b->kind() != JsonKind::Object || a->memberCount() != b->memberCount()) return false;
            for (int i = 0; i < a->memberCount(); ++i) {
                const JsonNode* x = a->memberAt(i);
                const JsonNode* y = b->memberAt(i);
                if (x->keyView() != y->keyView()) return false;
                work.emplace_back(x, y);
            }
        } else if (!sameScalar(a, b, afterWriting)) {
            return false;
        }
    }
    return true;
}

// True when every Raw text of the tree reads back as itself once written, which the reader's rules
// do not promise for two kinds: quoted text kept inside an unquoted value ({"a":"b">"c",...} keeps
// "b">"c" raw), and an element of control units only (stored after a comma, as in [1,\x01,2],
// but refused before "]", as in [1,\x01]). The writer writes a Raw text as it is, so the round
// trip leaves such trees out.
inline bool rawTextsReadBack(const JsonNode* root)
{
    auto readsBack = [](const JsonNode* node, bool element) {
        if (node->kind() != JsonKind::Raw) return true;
        const std::wstring text = node->rawText();
        if (text.find_first_of(L"\"'") != std::wstring::npos) return false;
        bool visible = false;
        for (const wchar_t unit : text) visible = visible || unit > 32;
        return visible || !element;
    };
    std::vector<const JsonNode*> work{root};
    while (!work.empty()) {
        const JsonNode* node = work.back();
        work.pop_back();
        for (int i = 0; i < node->elementCount(); ++i) {
            if (!readsBack(node->element(i), true)) return false;
            work.push_back(node->element(i));
        }
        for (int i = 0; i < node->memberCount(); ++i) {
            if (!readsBack(node->memberAt(i), false)) return false;
            work.push_back(node->memberAt(i));
        }
    }
    return true;
}

// Levels of containers from the root down (a scalar root is 0, an empty container 1), without
// recursion. The reader refuses texts nested deeper than kJsonMaxDepth.
inline int treeDepth(const JsonNode* root)
{
    int deepest = 0;
    std::vector<std::pair<const JsonNode*, int>> work{{root, 1}};
    while (!work.empty()) {
        const auto [node, level] = work.back();
        work.pop_back();
        if (node->kind() != JsonKind::Array && node->kind() != JsonKind::Object) continue;
        if (level > deepest) deepest = level;
        for (int i = 0; i < node->elementCount(); ++i) work.emplace_back(node->element(i), level + 1);
        for (int i = 0; i < node->memberCount(); ++i) work.emplace_back(node->memberAt(i), level + 1);
    }
    return deepest;
}
