// The reader on arbitrary 8-bit text, as the program reads every answer: code page 936 bytes,
// with and without \u decoding. A failed parse leaves the root empty; whatever parsed can be
// read, written and copied, and the copy writes the same text.
#include "fuzz_support.h"
#include "text/json_document.h"
#include "text/json_reader.h"
#include "tree_compare.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (const bool unicodeEscapes : {true, false}) {
        JsonDocument doc;
        if (!doc.Parse(text, unicodeEscapes)) {
            FUZZ_CHECK(doc.GetCount() == 0);
            continue;
        }
        FUZZ_CHECK(treeDepth(doc.GetRoot()) <= kJsonMaxDepth);
        (void)doc.ToJson();
        (void)doc.ToJson("", true);
        JsonDocument copy = doc.Clone();
        FUZZ_CHECK(sameTree(doc.GetRoot(), copy.GetRoot(), false));
        FUZZ_CHECK(copy.ToJsonW() == doc.ToJsonW());
    }
    return 0;
}
