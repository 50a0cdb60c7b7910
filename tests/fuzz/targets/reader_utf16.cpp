// The reader on arbitrary UTF-16 text (any unit, lone surrogates included), then the reads the
// program makes of the service's answers.
#include "fuzz_support.h"
#include "text/json_document.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::wstring text = unitsFromPairs(data, size);
    JsonDocument doc;
    if (!doc.ParseW(text, true)) {
        FUZZ_CHECK(doc.GetCount() == 0);
        return 0;
    }
    (void)doc.GetInteger("retcode");
    (void)doc.GetText("data.qrid");
    (void)doc.GetText("data.photo_list.[3].pic_host");
    (void)doc.GetCount("data.album_list");
    (void)doc.GetInteger("data.album_list.[0].count.photos");
    (void)doc.GetText("crossDomainUrlList.[2]");
    (void)doc.ToJson();
    (void)doc.ToJsonW(L"", true);
    return 0;
}
