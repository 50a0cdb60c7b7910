#include "text/homepage_address.h"

#include <cctype>

namespace {

// The full-width space U+3000 in code page 936.
constexpr std::string_view kWideSpace = "\xA1\xA1";

bool isNarrowBlank(char unit) { return unit == ' ' || unit == '\t' || unit == '\r' || unit == '\n'; }

// The length of the character at `at`: two bytes behind a lead byte, so that a trail byte that
// happens to equal a blank's byte is never taken for one.
size_t characterLength(std::string_view text, size_t at)
{
    return static_cast<unsigned char>(text[at]) >= 0x81 && at + 1 < text.size() ? 2 : 1;
}

// "scheme://" at the start: a letter, then letters, digits, "+", "-" or "."; a "://" further on
// (in a query, say) is no scheme.
bool hasScheme(std::string_view address)
{
    const size_t colon = address.find("://");
    if (colon == std::string_view::npos || colon == 0 || !std::isalpha(static_cast<unsigned char>(address[0]))) return false;
    for (size_t at = 1; at < colon; ++at) {
        const auto unit = static_cast<unsigned char>(address[at]);
        if (!std::isalnum(unit) && unit != '+' && unit != '-' && unit != '.') return false;
    }
    return true;
}

} // namespace

std::string cleanHomepageAddress(std::string_view typed)
{
    size_t first = std::string_view::npos;
    size_t end = 0;
    for (size_t at = 0; at < typed.size();) {
        const size_t length = characterLength(typed, at);
        const std::string_view character = typed.substr(at, length);
        const bool blank = length == 1 ? isNarrowBlank(character[0]) : character == kWideSpace;
        if (!blank) {
            if (first == std::string_view::npos) first = at;
            end = at + length;
        }
        at += length;
    }
    if (first == std::string_view::npos) return {};
    std::string address(typed.substr(first, end - first));
    if (!hasScheme(address)) address.insert(0, "http://");
    return address;
}
