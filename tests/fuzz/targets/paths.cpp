// Path reads and changes on a parsed document. The input is a document, a 0x01 byte, then one
// operation per line: a letter, a path, and for the moving operations "|" and a second path.
// Whatever the operations do, every path that resolved exists afterwards, writing and copying end
// (a node never comes to contain itself), and the copy writes the same text.
#include "fuzz_support.h"
#include "text/json_document.h"

#include <string_view>
#include <vector>

namespace {

// Paths are the program's own, with small indexes: a path whose index runs exceed three digits,
// or that is long, is left out so that no input makes millions of elements by design.
bool modest(std::string_view path)
{
    if (path.size() > 120) return false;
    int run = 0;
    for (const char c : path) {
        run = c >= '0' && c <= '9' ? run + 1 : 0;
        if (run > 3) return false;
    }
    return true;
}

std::vector<std::string_view> lines(std::string_view text)
{
    std::vector<std::string_view> result;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        result.push_back(text.substr(0, end));
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return result;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const size_t split = input.find('\x01');
    JsonDocument doc;
    if (!doc.Parse(input.substr(0, split), true)) return 0;
    if (split == std::string_view::npos) return 0;

    int moves = 0;  // a shared node is written once per owner: a few moves can double the text
    for (const std::string_view line : lines(input.substr(split + 1))) {
        if (line.empty() || !modest(line)) continue;
        const char op = line[0];
        const std::string_view rest = line.substr(1);
        const size_t bar = rest.find('|');
        const std::string path(rest.substr(0, bar));
        const std::string target(bar == std::string_view::npos ? std::string_view() : rest.substr(bar + 1));
        switch (op) {
        case 'r': {
            const int type = doc.GetType(path);
            (void)doc.GetText(path);
            (void)doc.GetRawText(path);
            (void)doc.GetInteger(path);
            (void)doc.GetFloat(path);
            (void)doc.GetBool(path);
            (void)doc.GetCount(path);
            std::vector<std::string> keys;
            (void)doc.GetKeys(path, keys);
            std::vector<JsonDocument> children;
            (void)doc.GetChildren(path, children);
            (void)doc.GetParent(path);
            if (type != -1 && !path.empty()) FUZZ_CHECK(doc.Exists(path));
            break;
        }
        case 'e': (void)doc.Exists(path); break;
        case 'h': (void)doc.HasMember(path, target); break;
        case 'm':
            if (++moves <= 6) (void)doc.SetMember(target, path, doc.Get(path));
            break;
        case 'a':
            if (++moves <= 6) (void)doc.Append(target, doc.Get(path));
            break;
        case 's':
            if (++moves <= 6) (void)doc.SetElement(target, static_cast<int>(path.size() % 4), doc.Get(path));
            break;
        case 'd': doc.Get(path).DetachFromParent(); break;
        case 'x': (void)doc.RemoveMember(path, target); break;
        case 'y': (void)doc.RemoveElement(path, static_cast<int>(target.size() % 4)); break;
        case 'o': (void)doc.SortMembers(path, !target.empty()); break;
        case 'c': doc.ClearValue(path); break;
        case 'v': (void)doc.SetString(path, target); break;
        default: break;
        }
    }
    const std::wstring written = doc.ToJsonW();
    FUZZ_CHECK(doc.Clone().ToJsonW() == written);
    return 0;
}
