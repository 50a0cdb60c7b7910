// The number reader on arbitrary text: readDecimal gives exactly what the C library's correctly
// rounded strtod gives for the part of the text it accepts (overflow to infinity, underflow to
// zero or a subnormal), readInteger the exact value of short digit runs, and a formatted double
// reads back within the six decimals it keeps.
#include "fuzz_support.h"
#include "text/numbers.h"

#include <cerrno>
#include <cmath>
#include <cstring>

namespace {

bool isDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// The accepted part as ASCII (sign, digits, point, digits, exponent with at least one digit),
// the number of digits before the exponent, and the length of the integer part's digit run.
struct Accepted {
    std::string text;
    int digits = 0;
    int integerDigits = 0;
    bool negative = false;
    bool plainInteger = true;
};

Accepted accepted(const std::wstring& text)
{
    Accepted result;
    size_t at = 0;
    while (at < text.size() && text[at] <= 32) ++at;
    if (at < text.size() && (text[at] == L'+' || text[at] == L'-')) {
        result.negative = text[at] == L'-';
        if (result.negative) result.text += '-';
        ++at;
    }
    for (; at < text.size() && isDigit(text[at]); ++at, ++result.digits, ++result.integerDigits)
        result.text += static_cast<char>(text[at]);
    if (at < text.size() && text[at] == L'.') {
        result.plainInteger = false;
        result.text += '.';
        for (++at; at < text.size() && isDigit(text[at]); ++at, ++result.digits) result.text += static_cast<char>(text[at]);
    }
    if (at < text.size() && (text[at] == L'e' || text[at] == L'E')) {
        std::string exponent = "e";
        size_t next = at + 1;
        if (next < text.size() && (text[next] == L'+' || text[next] == L'-')) exponent += static_cast<char>(text[next++]);
        size_t digitsStart = next;
        while (next < text.size() && isDigit(text[next])) exponent += static_cast<char>(text[next++]);
        if (next > digitsStart) result.text += exponent;
    }
    return result;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::wstring text = unitsFromBytes(data, size);
    (void)classifyNumber(text);

    const Accepted part = accepted(text);
    const double value = readDecimal(text);
    if (part.digits == 0) {
        FUZZ_CHECK(value == 0 && std::signbit(value) == part.negative);
    } else {
        const double expected = std::strtod(part.text.c_str(), nullptr);
        FUZZ_CHECK(std::memcmp(&value, &expected, sizeof value) == 0);
    }

    const int64_t integer = readInteger(text);
    if (part.integerDigits > 0 && part.integerDigits <= 15) {
        const std::string digits = part.text.substr(0, part.text.find_first_of(".e"));
        FUZZ_CHECK(integer == std::strtoll(digits.c_str(), nullptr, 10));
    }
    FUZZ_CHECK(formatNumber(integer) == std::to_string(integer));

    if (std::isfinite(value)) {
        const std::string formatted = formatNumber(value);
        const double back = std::strtod(formatted.c_str(), nullptr);
        FUZZ_CHECK(std::fabs(back - value) <= 5e-7 + 4 * std::fabs(std::nextafter(value, HUGE_VAL) - value));
    } else {
        FUZZ_CHECK(readDecimal(formatNumberW(value)) == value);
    }
    return 0;
}
