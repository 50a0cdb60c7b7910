#include "text/json_node.h"

#include <new>
#include <vector>
#include <windows.h>

#include "text/numbers.h"

namespace {

void* processHeap()
{
    static void* const heap = GetProcessHeap();
    return heap;
}

} // namespace

JsonNode* JsonNode::create(JsonKind kind)
{
    auto* node = new (std::nothrow) JsonNode();
    if (!node) return nullptr;
    bool made = true;
    switch (kind) {
    case JsonKind::Array: made = node->becomeArray(); break;
    case JsonKind::Object: made = node->becomeObject(); break;
    default: node->kind_ = kind; break;
    }
    if (!made) {
        delete node;
        return nullptr;
    }
    return node;
}

JsonNode* JsonNode::createString(std::wstring_view text)
{
    JsonNode* node = create(JsonKind::Null);
    if (node && !node->becomeString(text)) {
        delete node;
        return nullptr;
    }
    return node;
}

JsonNode* JsonNode::createFloat(double value, std::wstring_view raw)
{
    JsonNode* node = create(JsonKind::Null);
    if (!node) return nullptr;
    node->becomeFloat(value);
    if (!raw.empty()) node->text_.assign(raw);
    return node;
}

JsonNode* JsonNode::createInteger(int64_t value, std::wstring_view raw)
{
    JsonNode* node = create(JsonKind::Null);
    if (!node) return nullptr;
    node->becomeInteger(value);
    if (!raw.empty()) node->text_.assign(raw);
    return node;
}

JsonNode* JsonNode::createBool(bool value)
{
    JsonNode* node = create(JsonKind::Null);
    if (node) node->becomeBool(value);
    return node;
}

JsonNode* JsonNode::createRaw(std::wstring_view raw)
{
    JsonNode* node = create(JsonKind::Raw);
    if (node) node->text_.assign(raw);
    return node;
}

JsonNode::~JsonNode() = default;

void JsonNode::addRef() { InterlockedIncrement(&refCount_); }

void JsonNode::release(JsonNode* node)
{
    if (!node || InterlockedDecrement(&node->refCount_) != 0) return;
    std::vector<JsonNode*> dying{node};
    while (!dying.empty()) {
        JsonNode* current = dying.back();
        dying.pop_back();
        auto letGo = [&](JsonNode* child) {
            if (child->parent_ == current) child->parent_ = nullptr;
            if (InterlockedDecrement(&child->refCount_) == 0) dying.push_back(child);
        };
        if (current->elements_)
            for (JsonNode* child : *current->elements_) letGo(child);
        if (current->members_)
            for (MemberEntry* entry : current->members_->order()) letGo(static_cast<JsonNode*>(entry));
        // The member table frees its children's keys as it goes; the children it names are still
        // alive here, waiting in `dying`.
        delete current;
    }
}

std::wstring JsonNode::rawText() const
{
    switch (kind_) {
    case JsonKind::Null: return L"null";
    case JsonKind::Bool: return number_.flag ? L"true" : L"false";
    case JsonKind::Float:
    case JsonKind::Integer:
    case JsonKind::Raw: return text_;
    default: return {};
    }
}

void JsonNode::dropValue()
{
    if (elements_) {
        for (JsonNode* child : *elements_) {
            if (child->parent_ == this) child->parent_ = nullptr;
            release(child);
        }
        elements_.reset();
    }
    if (members_) {
        std::vector<MemberEntry*> members = members_->order().snapshot();
        members_.reset();  // frees the keys
        for (MemberEntry* entry : members) {
            auto* child = static_cast<JsonNode*>(entry);
            if (child->parent_ == this) child->parent_ = nullptr;
            release(child);
        }
    }
    text_.clear();
    text_.shrink_to_fit();
    number_.integer = 0;
}

bool JsonNode::becomeNull()
{
    dropValue();
    kind_ = JsonKind::Null;
    return true;
}

bool JsonNode::becomeBool(bool value)
{
    dropValue();
    kind_ = JsonKind::Bool;
    number_.flag = value ? 1 : 0;
    return true;
}

bool JsonNode::becomeFloat(double value)
{
    dropValue();
    kind_ = JsonKind::Float;
    number_.real = value;
    text_ = formatNumberW(value);
    return true;
}

bool JsonNode::becomeInteger(int64_t value)
{
    dropValue();
    kind_ = JsonKind::Integer;
    number_.integer = value;
    text_ = formatNumberW(value);
    return true;
}

bool JsonNode::becomeString(std::wstring_view text)
{
    dropValue();
    kind_ = JsonKind::String;
    text_.assign(text);
    return true;
}

bool JsonNode::becomeArray()
{
    if (kind_ == JsonKind::Array && elements_) return true;
    auto list = std::unique_ptr<ElementList<JsonNode>>(new (std::nothrow) ElementList<JsonNode>(8, processHeap()));
    if (!list || !list->isValid()) return false;
    dropValue();
    kind_ = JsonKind::Array;
    elements_ = std::move(list);
    return true;
}

bool JsonNode::becomeObject()
{
    if (kind_ == JsonKind::Object && members_) return true;
    auto table = std::unique_ptr<MemberTable>(new (std::nothrow) MemberTable(processHeap()));
    if (!table || !table->isValid()) return false;
    dropValue();
    kind_ = JsonKind::Object;
    members_ = std::move(table);
    return true;
}

void JsonNode::clearValue()
{
    const JsonKind kind = kind_;
    dropValue();
    kind_ = kind;
    if (kind == JsonKind::Array) becomeArray();
    if (kind == JsonKind::Object) becomeObject();
    // A container that could not be allocated again leaves the node empty of its kind's storage;
    // every container operation then answers as for an empty one.
}

void JsonNode::takeChild(JsonNode* child)
{
    child->addRef();
    child->parent_ = this;
}

int JsonNode::elementCount() const { return kind_ == JsonKind::Array && elements_ ? elements_->count() : 0; }

JsonNode* JsonNode::element(int index) const
{
    return kind_ == JsonKind::Array && elements_ ? elements_->at(index) : nullptr;
}

bool JsonNode::appendElement(JsonNode* child)
{
    if (!child || wouldContainItself(child)) return false;
    if (!becomeArray()) return false;
    if (elements_->append(child) < 0) return false;
    takeChild(child);
    return true;
}

bool JsonNode::replaceElement(int index, JsonNode* child)
{
    if (!child || wouldContainItself(child)) return false;
    if (kind_ != JsonKind::Array || !elements_) return false;
    JsonNode* old = elements_->at(index);
    if (!old) return false;
    if (old == child) return true;
    takeChild(child);
    elements_->setAt(index, child);
    if (old->parent_ == this) old->parent_ = nullptr;
    release(old);
    return true;
}

bool JsonNode::removeElement(int index)
{
    if (kind_ != JsonKind::Array || !elements_) return false;
    JsonNode* old = elements_->at(index);
    if (!old || !elements_->removeAt(index)) return false;
    if (old->parent_ == this) old->parent_ = nullptr;
    release(old);
    return true;
}

int JsonNode::indexOfElement(const JsonNode* child) const
{
    return kind_ == JsonKind::Array && elements_ ? elements_->indexOf(child) : -1;
}

int JsonNode::memberCount() const { return kind_ == JsonKind::Object && members_ ? members_->count() : 0; }

JsonNode* JsonNode::member(std::wstring_view key) const
{
    return kind_ == JsonKind::Object && members_ ? static_cast<JsonNode*>(members_->find(key)) : nullptr;
}

JsonNode* JsonNode::memberAt(int position) const
{
    return kind_ == JsonKind::Object && members_ ? static_cast<JsonNode*>(members_->order().at(position)) : nullptr;
}

bool JsonNode::setMember(std::wstring_view key, JsonNode* child)
{
    if (!child || wouldContainItself(child)) return false;
    if (!becomeObject()) return false;
    if (child->key) {
        // A member's chain link and key live in the node itself, so a node can be a member of
        // one object only; storing it again would corrupt the first object's chains.
        return members_->find(key) == child;
    }
    MemberEntry* replaced = nullptr;
    if (members_->insertOrReplace(key, child, &replaced) == MemberTable::InsertResult::Failed) return false;
    takeChild(child);
    if (auto* old = static_cast<JsonNode*>(replaced)) {
        if (old->parent_ == this) old->parent_ = nullptr;
        release(old);
    }
    return true;
}

bool JsonNode::removeMember(std::wstring_view key)
{
    if (kind_ != JsonKind::Object || !members_) return false;
    auto* old = static_cast<JsonNode*>(members_->removeByKey(key));
    if (!old) return false;
    if (old->parent_ == this) old->parent_ = nullptr;
    release(old);
    return true;
}

bool JsonNode::removeMemberNode(JsonNode* child)
{
    if (kind_ != JsonKind::Object || !members_ || !members_->removeEntry(child)) return false;
    if (child->parent_ == this) child->parent_ = nullptr;
    release(child);
    return true;
}

void JsonNode::sortMembers(bool descending)
{
    if (kind_ == JsonKind::Object && members_) members_->sortByKey(descending);
}

bool JsonNode::wouldContainItself(const JsonNode* child) const
{
    // An empty child cannot hold this node; only a filled one needs the walk up the parents.
    if (child == this) return true;
    if (child->elementCount() == 0 && child->memberCount() == 0) return false;
    return isWithin(child);
}

bool JsonNode::isWithin(const JsonNode* other) const
{
    for (const JsonNode* at = this; at; at = at->parent_)
        if (at == other) return true;
    return false;
}
