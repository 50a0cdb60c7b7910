// The escape decoder and encoder on arbitrary UTF-16 units: decoding in place agrees with a plain
// reading of the rules, never grows the text and zeroes what it frees; decoding what the encoder
// wrote gives the text back, with \u decoding on or off. The input's bytes also go through the
// address encoder, whose percent escapes must give them back.
#include "fuzz_support.h"
#include "text/address_part.h"
#include "text/escapes.h"

#include <cctype>
#include <string_view>
#include <vector>

namespace {

int hexDigit(wchar_t c)
{
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

// The rules read one by one, left to right; a \u without four hex digits stays as it is.
std::wstring decodedByTheRules(const std::wstring& text, bool unicodeEscapes)
{
    std::wstring out;
    for (size_t at = 0; at < text.size();) {
        if (text[at] != L'\\' || at + 1 == text.size()) {
            out += text[at++];
            continue;
        }
        const wchar_t letter = text[at + 1];
        const wchar_t* simple = L"\"\\/btnrf";
        const wchar_t* meaning = L"\"\\/\b\t\n\r\f";
        bool done = false;
        for (int i = 0; simple[i] && !done; ++i) {
            if (letter == simple[i]) {
                out += meaning[i];
                at += 2;
                done = true;
            }
        }
        if (done) continue;
        if (letter == L'u' && unicodeEscapes && at + 6 <= text.size()) {
            int value = 0;
            bool hex = true;
            for (size_t i = at + 2; i < at + 6; ++i) {
                hex = hex && hexDigit(text[i]) >= 0;
                value = value * 16 + hexDigit(text[i]);
            }
            if (hex) {
                out += static_cast<wchar_t>(value);
                at += 6;
                continue;
            }
        }
        out += text.substr(at, 2);
        at += 2;
    }
    return out;
}

// An address part holds only the kept characters and %XX, and reading its escapes gives every
// byte back.
void checkAddressPart(std::string_view value)
{
    const std::string part = addressPart(value);
    std::string back;
    for (size_t at = 0; at < part.size();) {
        const char unit = part[at];
        FUZZ_CHECK(std::isalnum(static_cast<unsigned char>(unit)) || unit == '-' || unit == '.' || unit == '_' ||
                   unit == '~' || unit == '%');
        if (unit != '%') {
            back += part[at++];
            continue;
        }
        FUZZ_CHECK(at + 2 < part.size());
        const int high = hexDigit(part[at + 1]), low = hexDigit(part[at + 2]);
        FUZZ_CHECK(high >= 0 && low >= 0);
        back += static_cast<char>(high * 16 + low);
        at += 3;
    }
    FUZZ_CHECK(back == value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    checkAddressPart(std::string_view(reinterpret_cast<const char*>(data), size));
    const std::wstring text = size && (data[0] & 1) ? unitsFromPairs(data + 1, size - 1) : unitsFromBytes(data, size);
    for (const bool unicodeEscapes : {true, false}) {
        std::vector<wchar_t> buffer(text.begin(), text.end());
        const size_t length = decodeEscapes(buffer.data(), buffer.size(), unicodeEscapes);
        FUZZ_CHECK(length <= text.size());
        FUZZ_CHECK(std::wstring(buffer.data(), length) == decodedByTheRules(text, unicodeEscapes));
        for (size_t i = length; i < buffer.size(); ++i) FUZZ_CHECK(buffer[i] == 0);

        std::wstring back = encodeEscapes(text);
        FUZZ_CHECK(back.size() <= 2 * text.size());
        decodeEscapes(back, unicodeEscapes);
        FUZZ_CHECK(back == text);
    }
    return 0;
}
