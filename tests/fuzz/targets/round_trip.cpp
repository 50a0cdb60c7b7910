// Parse, write, parse again: the second tree is the first one as its written text says (numbers
// as the writer formats them and the reader reads them), and so is a third one read from the
// second's text, compact or pretty.
// Trees whose raw values do not read back as themselves are left out (see rawTextsReadBack), and so
// are trees nested deeper than the reader's limit (the reader never makes one; the writer nests its
// text exactly as deep as the tree, which the check after writing holds it to). Inputs stay below
// 8 KB, so no text here comes near the values the reader takes before it counts a text's size.
// The first byte chooses \u decoding, pretty output and how the rest becomes units.
#include "fuzz_support.h"
#include "text/json_document.h"
#include "text/json_reader.h"
#include "tree_compare.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    const bool unicodeEscapes = data[0] & 1;
    const bool pretty = data[0] & 2;
    const std::wstring text = data[0] & 4 ? unitsFromPairs(data + 1, size - 1) : unitsFromBytes(data + 1, size - 1);

    JsonDocument first;
    if (!first.ParseW(text, unicodeEscapes) || !rawTextsReadBack(first.GetRoot())) return 0;
    const int depth = treeDepth(first.GetRoot());
    if (depth > kJsonMaxDepth) return 0;
    const std::wstring written = first.ToJsonW(L"", pretty);
    JsonDocument second;
    FUZZ_CHECK(second.ParseW(written, unicodeEscapes));
    FUZZ_CHECK(treeDepth(second.GetRoot()) == depth);
    FUZZ_CHECK(sameTree(first.GetRoot(), second.GetRoot(), true));

    const std::wstring rewritten = second.ToJsonW(L"", pretty);
    JsonDocument third;
    FUZZ_CHECK(third.ParseW(rewritten, unicodeEscapes));
    FUZZ_CHECK(sameTree(second.GetRoot(), third.GetRoot(), true));
    // Compact and pretty texts of one tree read back alike.
    JsonDocument other;
    FUZZ_CHECK(other.ParseW(second.ToJsonW(L"", !pretty), unicodeEscapes));
    FUZZ_CHECK(sameTree(second.GetRoot(), other.GetRoot(), true));
    return 0;
}
