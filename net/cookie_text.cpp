#include "net/cookie_text.h"

#include <algorithm>

namespace {

char lowered(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Blanks before a pair: the ASCII space and the full-width space (code page 936 bytes A1 A1).
std::string_view withoutLeadingBlanks(std::string_view text)
{
    for (;;) {
        if (!text.empty() && text.front() == ' ') {
            text.remove_prefix(1);
        } else if (text.size() >= 2 && static_cast<unsigned char>(text[0]) == 0xA1 &&
                   static_cast<unsigned char>(text[1]) == 0xA1) {
            text.remove_prefix(2);
        } else {
            return text;
        }
    }
}

std::string keyOf(std::string_view name) { return "; " + std::string(name) + "="; }

} // namespace

size_t findIgnoringCase(std::string_view text, std::string_view needle, size_t from)
{
    if (needle.empty()) return from <= text.size() ? from : std::string_view::npos;
    for (size_t at = from; at + needle.size() <= text.size(); ++at) {
        size_t i = 0;
        while (i < needle.size() && lowered(text[at + i]) == lowered(needle[i])) ++i;
        if (i == needle.size()) return at;
    }
    return std::string_view::npos;
}

std::vector<std::string> splitCookieText(std::string_view text)
{
    std::vector<std::string> pieces;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t semicolon = text.find(';', start);
        const size_t end = semicolon == std::string_view::npos ? text.size() : semicolon;
        std::string_view piece = text.substr(start, end - start);
        while (!piece.empty() && piece.front() == ' ') piece.remove_prefix(1);
        if (!piece.empty()) pieces.emplace_back(piece);
        if (semicolon == std::string_view::npos) break;
        start = semicolon + 1;
    }
    return pieces;
}

std::vector<std::string> setCookiePairs(std::string_view headers)
{
    static constexpr std::string_view kName = "Set-Cookie:";
    std::vector<std::string> pairs;
    size_t at = 0;
    while ((at = findIgnoringCase(headers, kName, at)) != std::string_view::npos) {
        const size_t start = at + kName.size();
        const size_t lineEnd = headers.find("\r\n", start);
        if (lineEnd == std::string_view::npos) break;
        const size_t semicolon = headers.find(';', start);
        const size_t end = semicolon < lineEnd ? semicolon : lineEnd;
        pairs.emplace_back(withoutLeadingBlanks(headers.substr(start, end - start)));
        at = lineEnd;
    }
    return pairs;
}

bool isDeletion(std::string_view pair)
{
    if (pair.size() < 8) return false;
    const std::string_view tail = pair.substr(pair.size() - 8);
    return tail == "=deleted" || tail == "=DELETED" || tail == "=Deleted";
}

std::string headerValue(std::string_view headers, std::string_view name)
{
    const std::string key = "\r\n" + std::string(name) + ":";
    const size_t at = findIgnoringCase(headers, key);
    if (at == std::string_view::npos) return {};
    const size_t start = at + key.size();
    const size_t end = headers.find("\r\n", start);
    if (end == std::string_view::npos) return {};
    std::string_view value = headers.substr(start, end - start);
    while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
    return std::string(value);
}

bool jarAdd(std::string& jar, std::string_view cookies)
{
    bool taken = false;
    for (const std::string& piece : splitCookieText(cookies)) {
        const size_t equals = piece.find('=');
        if (equals == std::string::npos) continue;
        const std::string key = keyOf(std::string_view(piece).substr(0, equals));
        const size_t at = jar.find(key);
        if (at == std::string::npos) {
            jar += piece + "; ";
            taken = true;
            continue;
        }
        const size_t next = jar.find("; ", at + key.size());
        if (next == std::string::npos) continue;
        jar.replace(at + 2, next - at - 2, piece);
        taken = true;
    }
    return taken;
}

bool jarRemove(std::string& jar, std::string_view names)
{
    bool removed = false;
    for (const std::string& piece : splitCookieText(names)) {
        const std::string key = keyOf(std::string_view(piece).substr(0, piece.find('=')));
        const size_t at = jar.find(key);
        if (at == std::string::npos) continue;
        const size_t next = jar.find("; ", at + key.size());
        if (next == std::string::npos) continue;
        jar.erase(at, next - at);
        removed = true;
    }
    return removed;
}

bool jarMerge(std::string& jar, const std::vector<std::string>& setCookies, bool ignoreDeletions)
{
    bool changed = false;
    for (const std::string& pair : setCookies) {
        const size_t equals = pair.find('=');
        if (equals == std::string::npos) continue;
        const std::string key = keyOf(std::string_view(pair).substr(0, equals));
        const bool deletion = isDeletion(pair);
        const size_t at = jar.find(key);
        if (at == std::string::npos) {
            if (!deletion) {
                jar += pair + "; ";
                changed = true;
            }
            continue;
        }
        const size_t next = jar.find("; ", at + key.size());
        if (next == std::string::npos) continue;
        if (deletion) {
            if (ignoreDeletions) continue;
            jar.erase(at, next - at);
        } else {
            if (ignoreDeletions && equals + 1 == pair.size()) continue;
            jar.replace(at + 2, next - at - 2, pair);
        }
        changed = true;
    }
    return changed;
}

std::string jarValue(std::string_view jar, std::string_view name, bool withName)
{
    const std::string key = keyOf(name);
    const size_t at = jar.find(key);
    if (at == std::string_view::npos) return {};
    const size_t start = at + key.size();
    const size_t end = std::min(jar.find(';', start), jar.size());
    const std::string value(jar.substr(start, end - start));
    return withName ? std::string(name) + "=" + value : value;
}

std::string jarText(std::string_view jar)
{
    return jar.size() >= 4 ? std::string(jar.substr(2, jar.size() - 4)) : std::string();
}

std::string jarFromText(std::string_view text)
{
    std::string jar(text);
    if (jar.rfind("; ", 0) != 0) jar.insert(0, "; ");
    if (jar.size() >= 2 && jar.compare(jar.size() - 2, 2, "; ") == 0) return jar;
    const char last = jar.back();
    if (last != ';') jar += ';';
    if (last != ' ') jar += ' ';
    return jar;
}
