// Numbers in JSON text: recognising, reading and formatting them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

enum class NumberKind { NotNumeric, Integer, Decimal };

// Units of value 32 or less are skipped wherever they stand. A leading sign or point, one point,
// one exponent letter and one further sign are allowed; a point, exponent or later sign makes the
// text Decimal. So "-", "+", "." and "1-2" are numeric while "1.2.3" and "0x10" are not.
NumberKind classifyNumber(std::wstring_view text);

// Both readers read as far as the text allows and give 0 for no digits; they never fail.
// readDecimal takes sign, digits, point, digits, exponent; the value is correctly rounded, and a
// value beyond the double range is infinity when too large and zero when too small.
double readDecimal(std::wstring_view text);
// Digits are accumulated in double precision, so results are exact up to 2^53 and longer digit
// strings come out rounded; values beyond the 64-bit range saturate.
int64_t readInteger(std::wstring_view text);

// A double with six decimals, trailing zeros and a trailing point removed (2.0 -> "2",
// -0.0000001 -> "-0"); an integer in plain decimal. Never "inf" or "nan": an infinity gives
// "1e999" or "-1e999" (read back as the same infinity), NaN gives "null".
std::string formatNumber(double value);
std::string formatNumber(int64_t value);
std::wstring formatNumberW(double value);
std::wstring formatNumberW(int64_t value);
