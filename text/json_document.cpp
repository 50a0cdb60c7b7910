#include "text/json_document.h"

#include <climits>
#include <cstdint>
#include <cstring>
#include <utility>

#include "text/encoding.h"
#include "text/json_path.h"
#include "text/json_reader.h"
#include "text/json_writer.h"

namespace {

// 8-bit text of the program as the UTF-16 the tree keeps.
std::wstring wide(std::string_view text) { return toUtf16(text); }

// A copy of one node without its children: containers come back empty, numbers get their text
// freshly formatted from their value.
JsonNode* copyShallow(const JsonNode* node)
{
    switch (node->kind()) {
    case JsonKind::Bool: return JsonNode::createBool(node->boolValue());
    case JsonKind::Float: return JsonNode::createFloat(node->floatValue());
    case JsonKind::Integer: return JsonNode::createInteger(node->integerValue());
    case JsonKind::String: return JsonNode::createString(node->stringValue());
    case JsonKind::Raw: return JsonNode::createRaw(node->rawText());
    default: return JsonNode::create(node->kind());
    }
}

// A deep copy, built with an explicit work list so that any depth is safe.
JsonNode* copyDeep(const JsonNode* source)
{
    JsonNode* copy = copyShallow(source);
    if (!copy) return nullptr;
    std::vector<std::pair<const JsonNode*, JsonNode*>> work{{source, copy}};
    while (!work.empty()) {
        const auto [from, to] = work.back();
        work.pop_back();
        const bool isArray = from->kind() == JsonKind::Array;
        const int count = isArray ? from->elementCount() : from->memberCount();
        for (int i = 0; i < count; ++i) {
            const JsonNode* child = isArray ? from->element(i) : from->memberAt(i);
            JsonNode* childCopy = copyShallow(child);
            if (!childCopy) continue;
            const bool stored = isArray ? to->appendElement(childCopy) : to->setMember(child->keyView(), childCopy);
            if (stored && (child->kind() == JsonKind::Array || child->kind() == JsonKind::Object))
                work.emplace_back(child, childCopy);
            JsonNode::release(childCopy);
        }
    }
    return copy;
}

// True when every byte is below 0x80: code page 936 then gives each byte as the UTF-16 unit of the
// same value, and the reader can read the bytes as those units (the service's answers: ASCII,
// every other character escaped). Eight bytes at a time.
bool isAscii(std::string_view text)
{
    size_t at = 0;
    for (; at + 8 <= text.size(); at += 8) {
        uint64_t block;
        std::memcpy(&block, text.data() + at, sizeof block);
        if (block & 0x8080808080808080ULL) return false;
    }
    for (; at < text.size(); ++at)
        if (static_cast<unsigned char>(text[at]) >= 0x80) return false;
    return true;
}

// Parses 8-bit program text into the root: ASCII text as it is, other text converted first. Text
// beyond what the conversion takes (more than INT_MAX bytes) converts to nothing, as before.
bool parseNarrow(JsonNode* root, std::string_view text, bool unicodeEscapes)
{
    if (text.size() <= INT_MAX && isAscii(text)) return text.empty() || parseAsciiJsonInto(root, text, unicodeEscapes);
    return parseJsonInto(root, wide(text), unicodeEscapes);
}

} // namespace

JsonDocument::~JsonDocument() { JsonNode::release(root_); }

JsonDocument::JsonDocument(const JsonDocument& other) : root_(other.root_)
{
    if (root_) root_->addRef();
}

JsonDocument& JsonDocument::operator=(const JsonDocument& other)
{
    if (this != &other) SetRoot(other.root_);
    if (!other.root_) Clear();
    return *this;
}

JsonDocument::JsonDocument(JsonDocument&& other) noexcept : root_(std::exchange(other.root_, nullptr)) {}

JsonDocument& JsonDocument::operator=(JsonDocument&& other) noexcept
{
    if (this != &other) {
        JsonNode::release(root_);
        root_ = std::exchange(other.root_, nullptr);
    }
    return *this;
}

JsonDocument JsonDocument::sharing(JsonNode* node)
{
    if (node) node->addRef();
    return JsonDocument(node);
}

JsonNode* JsonDocument::at(std::wstring_view path) { return resolvePath(root_, path); }

// ---- Loading and creating ----

bool JsonDocument::LoadW(std::wstring_view text, bool unicodeEscapes)
{
    JsonNode* fresh = JsonNode::create(JsonKind::Object);
    JsonNode::release(root_);
    root_ = fresh;
    if (!root_) return false;
    return text.empty() || parseJsonInto(root_, text, unicodeEscapes);
}

bool JsonDocument::Load(std::string_view text, bool unicodeEscapes)
{
    JsonNode* fresh = JsonNode::create(JsonKind::Object);
    JsonNode::release(root_);
    root_ = fresh;
    if (!root_) return false;
    return text.empty() || parseNarrow(root_, text, unicodeEscapes);
}

bool JsonDocument::ParseW(std::wstring_view text, bool unicodeEscapes)
{
    if (!root_) root_ = JsonNode::create(JsonKind::Object);
    if (!root_) return false;
    return parseJsonInto(root_, text, unicodeEscapes);
}

bool JsonDocument::Parse(std::string_view text, bool unicodeEscapes)
{
    if (!root_) root_ = JsonNode::create(JsonKind::Object);
    if (!root_) return false;
    return parseNarrow(root_, text, unicodeEscapes);
}

void JsonDocument::Clear()
{
    JsonNode::release(root_);
    root_ = nullptr;
}

void JsonDocument::SetRoot(JsonNode* node)
{
    if (!node || node == root_) return;
    node->addRef();
    JsonNode::release(root_);
    root_ = node;
}

JsonDocument JsonDocument::NewObject() { return JsonDocument(JsonNode::create(JsonKind::Object)); }
JsonDocument JsonDocument::NewArray() { return JsonDocument(JsonNode::create(JsonKind::Array)); }
JsonDocument JsonDocument::NewNull() { return JsonDocument(JsonNode::create(JsonKind::Null)); }
JsonDocument JsonDocument::NewBool(bool value) { return JsonDocument(JsonNode::createBool(value)); }
JsonDocument JsonDocument::NewString(std::string_view text) { return NewStringW(wide(text)); }
JsonDocument JsonDocument::NewStringW(std::wstring_view text) { return JsonDocument(JsonNode::createString(text)); }
JsonDocument JsonDocument::NewFloat(double value) { return JsonDocument(JsonNode::createFloat(value)); }
JsonDocument JsonDocument::NewInteger(int64_t value) { return JsonDocument(JsonNode::createInteger(value)); }

// ---- Reading ----

std::wstring JsonDocument::GetTextW(std::wstring_view path)
{
    const JsonNode* node = at(path);
    return node && node->kind() == JsonKind::String ? std::wstring(node->stringValue()) : std::wstring();
}

std::string JsonDocument::GetText(std::string_view path) { return toNarrow(GetTextW(wide(path))); }

std::wstring JsonDocument::GetRawTextW(std::wstring_view path)
{
    const JsonNode* node = at(path);
    return node ? node->rawText() : std::wstring();
}

std::string JsonDocument::GetRawText(std::string_view path) { return toNarrow(GetRawTextW(wide(path))); }

int64_t JsonDocument::GetInteger(std::wstring_view path)
{
    const JsonNode* node = at(path);
    if (!node) return 0;
    if (node->kind() == JsonKind::Integer) return node->integerValue();
    if (node->kind() == JsonKind::Float) {
        const double value = node->floatValue();
        // Truncated toward zero; values beyond the 64-bit range saturate rather than wrap.
        if (!(value == value)) return 0;
        if (value >= 9223372036854775807.0) return INT64_MAX;
        if (value <= -9223372036854775808.0) return INT64_MIN;
        return static_cast<int64_t>(value);
    }
    return 0;
}

int64_t JsonDocument::GetInteger(std::string_view path) { return GetInteger(std::wstring_view(wide(path))); }

double JsonDocument::GetFloat(std::wstring_view path)
{
    const JsonNode* node = at(path);
    if (!node) return 0;
    if (node->kind() == JsonKind::Float) return node->floatValue();
    if (node->kind() == JsonKind::Integer) return static_cast<double>(node->integerValue());
    return 0;
}

double JsonDocument::GetFloat(std::string_view path) { return GetFloat(std::wstring_view(wide(path))); }

bool JsonDocument::GetBool(std::wstring_view path)
{
    const JsonNode* node = at(path);
    return node && node->kind() == JsonKind::Bool && node->boolValue();
}

bool JsonDocument::GetBool(std::string_view path) { return GetBool(std::wstring_view(wide(path))); }

int JsonDocument::GetType(std::wstring_view path)
{
    const JsonNode* node = at(path);
    return node ? static_cast<int>(node->kind()) : -1;
}

int JsonDocument::GetType(std::string_view path) { return GetType(std::wstring_view(wide(path))); }

int JsonDocument::GetCount(std::wstring_view path)
{
    const JsonNode* node = at(path);
    if (!node) return 0;
    return node->kind() == JsonKind::Array ? node->elementCount() : node->memberCount();
}

int JsonDocument::GetCount(std::string_view path) { return GetCount(std::wstring_view(wide(path))); }

bool JsonDocument::HasMember(std::wstring_view path, std::wstring_view key)
{
    const JsonNode* node = at(path);
    return node && node->member(key) != nullptr;
}

bool JsonDocument::HasMember(std::string_view path, std::string_view key)
{
    return HasMember(std::wstring_view(wide(path)), std::wstring_view(wide(key)));
}

bool JsonDocument::HasElement(std::wstring_view path, int index)
{
    const JsonNode* node = at(path);
    return node && index >= 0 && index < node->elementCount();
}

bool JsonDocument::HasElement(std::string_view path, int index) { return HasElement(std::wstring_view(wide(path)), index); }

bool JsonDocument::Exists(std::wstring_view path) const { return pathExists(root_, path); }
bool JsonDocument::Exists(std::string_view path) const { return Exists(std::wstring_view(wide(path))); }

int JsonDocument::GetKeysW(std::wstring_view path, std::vector<std::wstring>& keys)
{
    keys.clear();
    const JsonNode* node = at(path);
    if (!node || node->kind() != JsonKind::Object) return 0;
    for (int i = 0; i < node->memberCount(); ++i) keys.emplace_back(node->memberAt(i)->keyView());
    return static_cast<int>(keys.size());
}

int JsonDocument::GetKeys(std::string_view path, std::vector<std::string>& keys)
{
    std::vector<std::wstring> wideKeys;
    GetKeysW(wide(path), wideKeys);
    keys.clear();
    for (const std::wstring& key : wideKeys) keys.push_back(toNarrow(key));
    return static_cast<int>(keys.size());
}

int JsonDocument::GetChildren(std::wstring_view path, std::vector<JsonDocument>& children)
{
    children.clear();
    JsonNode* node = at(path);
    if (!node) return 0;
    if (node->kind() == JsonKind::Array) {
        for (int i = 0; i < node->elementCount(); ++i) children.push_back(sharing(node->element(i)));
    } else if (node->kind() == JsonKind::Object) {
        for (int i = 0; i < node->memberCount(); ++i) children.push_back(sharing(node->memberAt(i)));
    }
    return static_cast<int>(children.size());
}

int JsonDocument::GetChildren(std::string_view path, std::vector<JsonDocument>& children)
{
    return GetChildren(std::wstring_view(wide(path)), children);
}

JsonDocument JsonDocument::Get(std::wstring_view path) { return sharing(at(path)); }
JsonDocument JsonDocument::Get(std::string_view path) { return Get(std::wstring_view(wide(path))); }

JsonDocument JsonDocument::GetParent(std::wstring_view path)
{
    const JsonNode* node = at(path);
    return sharing(node ? node->parent() : nullptr);
}

JsonDocument JsonDocument::GetParent(std::string_view path) { return GetParent(std::wstring_view(wide(path))); }

std::wstring JsonDocument::ToJsonW(std::wstring_view path, bool pretty) { return writeJson(at(path), pretty); }

std::string JsonDocument::ToJson(std::string_view path, bool pretty) { return toNarrow(ToJsonW(wide(path), pretty)); }

JsonDocument JsonDocument::Clone(std::wstring_view path)
{
    const JsonNode* node = at(path);
    return JsonDocument(node ? copyDeep(node) : nullptr);
}

JsonDocument JsonDocument::Clone(std::string_view path) { return Clone(std::wstring_view(wide(path))); }

// ---- Changing ----

bool JsonDocument::SetStringW(std::wstring_view path, std::wstring_view text)
{
    JsonNode* node = at(path);
    return node && node->becomeString(text);
}

bool JsonDocument::SetString(std::string_view path, std::string_view text) { return SetStringW(wide(path), wide(text)); }

bool JsonDocument::SetNull(std::wstring_view path)
{
    JsonNode* node = at(path);
    return node && node->becomeNull();
}

bool JsonDocument::SetNull(std::string_view path) { return SetNull(std::wstring_view(wide(path))); }

bool JsonDocument::SetBool(std::wstring_view path, bool value)
{
    JsonNode* node = at(path);
    return node && node->becomeBool(value);
}

bool JsonDocument::SetBool(std::string_view path, bool value) { return SetBool(std::wstring_view(wide(path)), value); }

bool JsonDocument::SetFloat(std::wstring_view path, double value)
{
    JsonNode* node = at(path);
    return node && node->becomeFloat(value);
}

bool JsonDocument::SetFloat(std::string_view path, double value) { return SetFloat(std::wstring_view(wide(path)), value); }

bool JsonDocument::SetInteger(std::wstring_view path, int64_t value)
{
    JsonNode* node = at(path);
    return node && node->becomeInteger(value);
}

bool JsonDocument::SetInteger(std::string_view path, int64_t value)
{
    return SetInteger(std::wstring_view(wide(path)), value);
}

void JsonDocument::ClearValue(std::wstring_view path)
{
    if (JsonNode* node = at(path)) node->clearValue();
}

void JsonDocument::ClearValue(std::string_view path) { ClearValue(std::wstring_view(wide(path))); }

JsonDocument JsonDocument::GetMember(std::wstring_view path, std::wstring_view key)
{
    JsonNode* node = at(path);
    if (!node || !node->becomeObject()) return JsonDocument();
    if (JsonNode* found = node->member(key)) return sharing(found);
    JsonDocument created = NewNull();
    if (!created.root_ || !node->setMember(key, created.root_)) return JsonDocument();
    return created;
}

JsonDocument JsonDocument::GetMember(std::string_view path, std::string_view key)
{
    return GetMember(std::wstring_view(wide(path)), std::wstring_view(wide(key)));
}

bool JsonDocument::SetMember(std::wstring_view path, std::wstring_view key, const JsonDocument& doc)
{
    JsonNode* node = at(path);
    if (!node || !doc.root_) return false;
    return node->setMember(key, doc.root_);
}

bool JsonDocument::SetMember(std::string_view path, std::string_view key, const JsonDocument& doc)
{
    return SetMember(std::wstring_view(wide(path)), std::wstring_view(wide(key)), doc);
}

bool JsonDocument::RemoveMember(std::wstring_view path, std::wstring_view key)
{
    JsonNode* node = at(path);
    return node && node->removeMember(key);
}

bool JsonDocument::RemoveMember(std::string_view path, std::string_view key)
{
    return RemoveMember(std::wstring_view(wide(path)), std::wstring_view(wide(key)));
}

JsonDocument JsonDocument::GetElement(std::wstring_view path, int index)
{
    JsonNode* node = at(path);
    if (!node || index < 0 || !node->becomeArray()) return JsonDocument();
    while (node->elementCount() <= index) {
        JsonDocument filler = NewNull();
        if (!filler.root_ || !node->appendElement(filler.root_)) return JsonDocument();
    }
    return sharing(node->element(index));
}

JsonDocument JsonDocument::GetElement(std::string_view path, int index)
{
    return GetElement(std::wstring_view(wide(path)), index);
}

bool JsonDocument::SetElement(std::wstring_view path, int index, const JsonDocument& doc)
{
    JsonNode* node = at(path);
    if (!node || index < 0 || !doc.root_ || node->wouldContainItself(doc.root_) || !node->becomeArray()) return false;
    if (index < node->elementCount()) return node->replaceElement(index, doc.root_);
    while (node->elementCount() < index) {
        JsonDocument filler = NewNull();
        if (!filler.root_ || !node->appendElement(filler.root_)) return false;
    }
    return node->appendElement(doc.root_);
}

bool JsonDocument::SetElement(std::string_view path, int index, const JsonDocument& doc)
{
    return SetElement(std::wstring_view(wide(path)), index, doc);
}

bool JsonDocument::Append(std::wstring_view path, const JsonDocument& doc)
{
    JsonNode* node = at(path);
    return node && doc.root_ && node->appendElement(doc.root_);
}

bool JsonDocument::Append(std::string_view path, const JsonDocument& doc) { return Append(std::wstring_view(wide(path)), doc); }

bool JsonDocument::RemoveElement(std::wstring_view path, int index)
{
    JsonNode* node = at(path);
    return node && node->removeElement(index);
}

bool JsonDocument::RemoveElement(std::string_view path, int index)
{
    return RemoveElement(std::wstring_view(wide(path)), index);
}

void JsonDocument::DetachFromParent()
{
    if (!root_ || !root_->parent()) return;
    JsonNode* parent = root_->parent();
    if (parent->kind() == JsonKind::Array) {
        parent->removeElement(parent->indexOfElement(root_));
    } else if (parent->kind() == JsonKind::Object) {
        parent->removeMemberNode(root_);
    }
    root_->setParent(nullptr);
}

bool JsonDocument::SortMembers(std::wstring_view path, bool descending)
{
    JsonNode* node = at(path);
    if (!node || node->kind() != JsonKind::Object) return false;
    node->sortMembers(descending);
    return true;
}

bool JsonDocument::SortMembers(std::string_view path, bool descending)
{
    return SortMembers(std::wstring_view(wide(path)), descending);
}
