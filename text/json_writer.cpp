#include "text/json_writer.h"

#include <vector>

#include "text/escapes.h"
#include "text/json_node.h"
#include "text/numbers.h"
#include "text/text_buffer.h"

namespace {

// Walks the tree with an explicit stack, so a document nested a million levels deep is written
// as safely as a flat one. A piece that does not fit in memory is dropped and the walk goes on.
class Writer {
public:
    explicit Writer(bool pretty) : pretty_(pretty) {}

    std::wstring write(const JsonNode* node)
    {
        if (!node) return {};
        if (!open(node)) return out_.take();
        while (!stack_.empty()) {
            Frame& frame = stack_.back();
            const int count = childCount(frame.node);
            if (frame.next == count) {
                close(frame.node);
                stack_.pop_back();
                if (!stack_.empty()) afterChild(stack_.back());
                continue;
            }
            const JsonNode* child = beforeChild(frame);
            ++frame.next;
            if (!open(child)) afterChild(stack_.back());
        }
        return out_.take();
    }

private:
    struct Frame {
        const JsonNode* node;
        int next;
    };

    static int childCount(const JsonNode* node)
    {
        return node->kind() == JsonKind::Array ? node->elementCount() : node->memberCount();
    }

    void tabs()
    {
        for (int i = 0; i < depth_; ++i) out_.append(L'\t');
    }

    void lineBreak()
    {
        if (pretty_) out_.append(L"\r\n");
    }

    // Writes a scalar whole, or the opening of a container (then true: its children follow).
    bool open(const JsonNode* node)
    {
        switch (node->kind()) {
        case JsonKind::Array:
            out_.append(L'[');
            ++depth_;
            stack_.push_back({node, 0});
            return true;
        case JsonKind::Object:
            out_.append(L'{');
            lineBreak();
            ++depth_;
            stack_.push_back({node, 0});
            return true;
        case JsonKind::Null: out_.append(L"null"); break;
        case JsonKind::Bool: out_.append(node->boolValue() ? L"true" : L"false"); break;
        case JsonKind::Float: out_.append(formatNumberW(node->floatValue())); break;
        case JsonKind::Integer: out_.append(formatNumberW(node->integerValue())); break;
        case JsonKind::Raw: out_.append(node->rawText()); break;
        case JsonKind::String:
            out_.append(L'"');
            out_.append(encodeEscapes(node->stringValue()));
            out_.append(L'"');
            break;
        }
        return false;
    }

    void close(const JsonNode* node)
    {
        --depth_;
        if (node->kind() == JsonKind::Array) {
            out_.append(L']');
            return;
        }
        if (pretty_ && depth_ > 0) tabs();
        out_.append(L'}');
    }

    const JsonNode* beforeChild(const Frame& frame)
    {
        if (frame.node->kind() == JsonKind::Array) {
            if (frame.next > 0) out_.append(L',');
            return frame.node->element(frame.next);
        }
        const JsonNode* member = frame.node->memberAt(frame.next);
        if (pretty_ && depth_ > 0) tabs();
        out_.append(L'"');
        out_.append(encodeEscapes(member->keyView()));
        out_.append(L"\":");
        return member;
    }

    // After a member's value: the comma unless it was the last, then the line break.
    void afterChild(const Frame& frame)
    {
        if (frame.node->kind() != JsonKind::Object) return;
        if (frame.next < childCount(frame.node)) out_.append(L',');
        lineBreak();
    }

    bool pretty_;
    int depth_ = 0;
    std::vector<Frame> stack_;
    TextBuffer out_;
};

} // namespace

std::wstring writeJson(const JsonNode* node, bool pretty)
{
    Writer writer(pretty);
    return writer.write(node);
}
