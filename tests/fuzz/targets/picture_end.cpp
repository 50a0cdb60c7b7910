// The picture end check on arbitrary bytes: no read outside them, the same answer twice, and
// answers that agree between a body and its prefixes. More bytes never take a whole picture back
// to cut or unknown, and a body not recognised (one byte or more) stays so however much follows.
#include "fuzz_support.h"
#include "text/picture_end.h"

#include <string>
#include <string_view>

namespace {

// What a prefix's answer allows the longer body's to be.
void checkPrefix(std::string_view body, size_t length, PictureEnd whole)
{
    if (length == 0 || length >= body.size()) return;
    const PictureEnd part = pictureEnd(body.substr(0, length));
    if (part == PictureEnd::Complete) FUZZ_CHECK(whole == PictureEnd::Complete);
    if (part == PictureEnd::UnknownFormat) FUZZ_CHECK(whole == PictureEnd::UnknownFormat);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The fuzzer's own buffer, exactly as long as the input, so that AddressSanitizer sees any
    // read past the end.
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    const PictureEnd result = pictureEnd(body);
    FUZZ_CHECK(pictureEnd(body) == result);
    if (size == 0) FUZZ_CHECK(result == PictureEnd::UnknownFormat);

    // A few prefixes, one of them chosen by the input itself.
    checkPrefix(body, size - (size > 0), result);
    checkPrefix(body, size / 2, result);
    checkPrefix(body, 12, result);
    if (size > 0) checkPrefix(body, data[size - 1] % size, result);

    // Bytes after the body: what a server may send after the picture's end.
    std::string longer(body);
    longer.append("\xFF\xD9\x00;IEND\xFF", 9);
    const PictureEnd extended = pictureEnd(longer);
    if (result == PictureEnd::Complete) FUZZ_CHECK(extended == PictureEnd::Complete);
    if (result == PictureEnd::UnknownFormat && size > 0) FUZZ_CHECK(extended == PictureEnd::UnknownFormat);

    // A body taken for a page is never one that begins as a picture, whole or cut.
    if (isTextPage(body)) FUZZ_CHECK(result == PictureEnd::UnknownFormat);
    return 0;
}
