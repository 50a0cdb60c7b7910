#include "text/numbers.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace {

bool isDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// Skips blanks and control units, the way every reader here does.
size_t skipBlanks(std::wstring_view text, size_t at)
{
    while (at < text.size() && text[at] <= 32) ++at;
    return at;
}

std::wstring widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

} // namespace

NumberKind classifyNumber(std::wstring_view text)
{
    int points = 0;
    int exponents = 0;
    int signs = 0;
    bool first = true;
    for (const wchar_t c : text) {
        if (c <= 32) continue;
        if (first) {
            first = false;
            if (c == L'.') ++points;
            else if (c != L'+' && c != L'-' && !isDigit(c)) return NumberKind::NotNumeric;
            continue;
        }
        if (isDigit(c)) continue;
        int* counter = nullptr;
        if (c == L'.') counter = &points;
        else if (c == L'e' || c == L'E') counter = &exponents;
        else if (c == L'+' || c == L'-') counter = &signs;
        else return NumberKind::NotNumeric;
        if (++*counter > 1) return NumberKind::NotNumeric;
    }
    if (first) return NumberKind::NotNumeric;
    return points || exponents || signs ? NumberKind::Decimal : NumberKind::Integer;
}

double readDecimal(std::wstring_view text)
{
    // Collect exactly the units the reader accepts (sign, digits, point, digits, exponent) as
    // ASCII, then let from_chars round them correctly instead of summing powers of ten.
    std::string accepted;
    accepted.reserve(text.size());
    size_t at = skipBlanks(text, 0);
    bool negative = false;
    if (at < text.size() && (text[at] == L'+' || text[at] == L'-')) {
        negative = text[at] == L'-';
        ++at;
    }
    if (negative) accepted.push_back('-');
    // Where the first significant digit stands, as a power of ten: it tells a number too large
    // for a double from one too small, whatever mix of digits and exponent makes it so.
    long long leadingPower = 0;
    bool significant = false;
    bool anyDigit = false;
    bool afterPoint = false;
    auto takeDigits = [&] {
        while (at < text.size() && isDigit(text[at])) {
            const wchar_t digit = text[at++];
            accepted.push_back(static_cast<char>(digit));
            anyDigit = true;
            if (!significant && digit != L'0') {
                significant = true;
                if (afterPoint) --leadingPower;
            } else if (significant != afterPoint) {
                // Integer digits after the first significant one raise it; zeros after the point
                // before it lower it.
                leadingPower += significant ? 1 : -1;
            }
        }
    };
    takeDigits();
    if (at < text.size() && text[at] == L'.') {
        accepted.push_back('.');
        ++at;
        afterPoint = true;
        takeDigits();
    }
    if (!anyDigit) return negative ? -0.0 : 0.0;
    bool negativeExponent = false;
    long long exponentValue = 0;
    if (at < text.size() && (text[at] == L'e' || text[at] == L'E')) {
        ++at;
        if (at < text.size() && (text[at] == L'+' || text[at] == L'-')) {
            negativeExponent = text[at] == L'-';
            ++at;
        }
        std::string exponent;
        while (at < text.size() && isDigit(text[at])) {
            if (exponentValue < 1000000000) exponentValue = exponentValue * 10 + (text[at] - L'0');
            exponent.push_back(static_cast<char>(text[at++]));
        }
        if (!exponent.empty()) {
            accepted.push_back('e');
            if (negativeExponent) accepted.push_back('-');
            accepted += exponent;
        }
    }
    double value = 0;
    const char* begin = accepted.data();
    const char* end = begin + accepted.size();
    const auto [stop, error] = std::from_chars(begin, end, value);
    (void)stop;
    if (error == std::errc::result_out_of_range) {
        // Beyond the double range on one side or the other: infinity for a first significant
        // digit at 10^308 or above, zero for one below the smallest subnormal.
        const long long power = leadingPower + (negativeExponent ? -exponentValue : exponentValue);
        value = significant && power >= 0 ? HUGE_VAL : 0.0;
        return negative ? -value : value;
    }
    if (error != std::errc()) return 0.0;
    return value;
}

int64_t readInteger(std::wstring_view text)
{
    size_t at = skipBlanks(text, 0);
    bool negative = false;
    if (at < text.size() && (text[at] == L'+' || text[at] == L'-')) {
        negative = text[at] == L'-';
        ++at;
    }
    constexpr double kLimit = 9223372036854775807.0;
    // Up to here value x 10 + 9 stays below 2^53, where the double steps below are exact: integer
    // steps give the very same value, faster.
    constexpr int64_t kExactSteps = ((1LL << 53) - 9) / 10;
    int64_t value = 0;
    for (; at < text.size() && isDigit(text[at]); ++at) {
        if (value <= kExactSteps) {
            value = value * 10 + (text[at] - L'0');
            continue;
        }
        const double next = static_cast<double>(value) * 10.0 + (text[at] - L'0');
        if (next >= kLimit) {
            value = INT64_MAX;
            break;
        }
        value = static_cast<int64_t>(next);
    }
    return negative ? -value : value;
}

std::string formatNumber(double value)
{
    // "%lf" would give "inf" and "nan", which no JSON reader takes for numbers. An infinity is
    // written as a number beyond the double range, which reads back as that same infinity; NaN,
    // which has no number at all, as null.
    if (std::isnan(value)) return "null";
    if (std::isinf(value)) return value > 0 ? "1e999" : "-1e999";
    char buffer[400];
    const int written = std::snprintf(buffer, sizeof buffer, "%lf", value);
    if (written <= 0) return {};
    std::string text(buffer, static_cast<size_t>(written) < sizeof buffer ? written : sizeof buffer - 1);
    if (text.find('.') != std::string::npos) {
        while (!text.empty() && text.back() == '0') text.pop_back();
        if (!text.empty() && text.back() == '.') text.pop_back();
    }
    return text;
}

std::string formatNumber(int64_t value)
{
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::wstring formatNumberW(double value) { return widen(formatNumber(value)); }
std::wstring formatNumberW(int64_t value) { return widen(formatNumber(value)); }
