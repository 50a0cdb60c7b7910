// A handle on a JSON tree, read and changed by path ("data.photo_list.[3].pic_host").
//
// Every operation comes in two text flavours: 8-bit code page 936 text (the program's own) and
// UTF-16 (the W names, or overloads taking std::wstring_view). Paths resolve with
// locate-or-create: reading a missing member creates it as Null and reading past an array's end
// extends the array, so reads never fail and a missing value reads as empty text or 0.
// Copies of a document share its root; documents handed out by Get, GetMember and GetChildren
// share nodes with the tree they came from. One thread at a time per tree.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "text/json_node.h"

class JsonDocument {
public:
    JsonDocument() = default;
    ~JsonDocument();
    JsonDocument(const JsonDocument& other);
    JsonDocument& operator=(const JsonDocument& other);
    JsonDocument(JsonDocument&& other) noexcept;
    JsonDocument& operator=(JsonDocument&& other) noexcept;

    // Loading. Load installs a fresh empty object root and parses the text into it; Parse keeps
    // the root (making one if there is none). unicodeEscapes decides whether \uXXXX is decoded.
    bool Load(std::string_view text = {}, bool unicodeEscapes = false);
    bool LoadW(std::wstring_view text = {}, bool unicodeEscapes = false);
    bool Parse(std::string_view text, bool unicodeEscapes = false);
    bool ParseW(std::wstring_view text, bool unicodeEscapes = false);
    void Clear();
    JsonNode* GetRoot() const { return root_; }
    void SetRoot(JsonNode* node);
    bool HasRoot() const { return root_ != nullptr; }

    static JsonDocument NewObject();
    static JsonDocument NewArray();
    static JsonDocument NewNull();
    static JsonDocument NewBool(bool value);
    static JsonDocument NewString(std::string_view text);
    static JsonDocument NewStringW(std::wstring_view text);
    static JsonDocument NewFloat(double value);
    static JsonDocument NewInteger(int64_t value);

    // Reading.
    std::string GetText(std::string_view path = {});
    std::wstring GetTextW(std::wstring_view path = {});
    std::string GetRawText(std::string_view path = {});
    std::wstring GetRawTextW(std::wstring_view path = {});
    int64_t GetInteger(std::string_view path = {});
    int64_t GetInteger(std::wstring_view path);
    double GetFloat(std::string_view path = {});
    double GetFloat(std::wstring_view path);
    bool GetBool(std::string_view path = {});
    bool GetBool(std::wstring_view path);
    int GetType(std::string_view path = {});
    int GetType(std::wstring_view path);
    int GetCount(std::string_view path = {});
    int GetCount(std::wstring_view path);
    bool HasMember(std::string_view path, std::string_view key);
    bool HasMember(std::wstring_view path, std::wstring_view key);
    bool HasElement(std::string_view path, int index);
    bool HasElement(std::wstring_view path, int index);
    bool Exists(std::string_view path) const;
    bool Exists(std::wstring_view path) const;
    int GetKeys(std::string_view path, std::vector<std::string>& keys);
    int GetKeysW(std::wstring_view path, std::vector<std::wstring>& keys);
    int GetChildren(std::string_view path, std::vector<JsonDocument>& children);
    int GetChildren(std::wstring_view path, std::vector<JsonDocument>& children);
    JsonDocument Get(std::string_view path = {});
    JsonDocument Get(std::wstring_view path);
    JsonDocument GetParent(std::string_view path = {});
    JsonDocument GetParent(std::wstring_view path);
    std::string ToJson(std::string_view path = {}, bool pretty = false);
    std::wstring ToJsonW(std::wstring_view path = {}, bool pretty = false);
    JsonDocument Clone(std::string_view path = {});
    JsonDocument Clone(std::wstring_view path);

    // Changing.
    bool SetString(std::string_view path, std::string_view text);
    bool SetStringW(std::wstring_view path, std::wstring_view text);
    bool SetNull(std::string_view path);
    bool SetNull(std::wstring_view path);
    bool SetBool(std::string_view path, bool value);
    bool SetBool(std::wstring_view path, bool value);
    bool SetFloat(std::string_view path, double value);
    bool SetFloat(std::wstring_view path, double value);
    bool SetInteger(std::string_view path, int64_t value);
    bool SetInteger(std::wstring_view path, int64_t value);
    void ClearValue(std::string_view path = {});
    void ClearValue(std::wstring_view path);
    JsonDocument GetMember(std::string_view path, std::string_view key);
    JsonDocument GetMember(std::wstring_view path, std::wstring_view key);
    bool SetMember(std::string_view path, std::string_view key, const JsonDocument& doc);
    bool SetMember(std::wstring_view path, std::wstring_view key, const JsonDocument& doc);
    bool RemoveMember(std::string_view path, std::string_view key);
    bool RemoveMember(std::wstring_view path, std::wstring_view key);
    JsonDocument GetElement(std::string_view path, int index);
    JsonDocument GetElement(std::wstring_view path, int index);
    bool SetElement(std::string_view path, int index, const JsonDocument& doc);
    bool SetElement(std::wstring_view path, int index, const JsonDocument& doc);
    bool Append(std::string_view path, const JsonDocument& doc);
    bool Append(std::wstring_view path, const JsonDocument& doc);
    bool RemoveElement(std::string_view path, int index);
    bool RemoveElement(std::wstring_view path, int index);
    void DetachFromParent();
    bool SortMembers(std::string_view path, bool descending = false);
    bool SortMembers(std::wstring_view path, bool descending = false);

private:
    explicit JsonDocument(JsonNode* adopted) : root_(adopted) {}  // takes over one reference
    static JsonDocument sharing(JsonNode* node);
    JsonNode* at(std::wstring_view path);

    JsonNode* root_ = nullptr;
};
