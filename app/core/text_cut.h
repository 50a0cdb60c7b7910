// Cutting values out of answers: page markers, JSONP wrappers and table rows.
#pragma once

#include <string>
#include <string_view>

// The text between the first `start` and the next `end` after it; empty when either is missing.
std::string cutBetween(std::string_view text, std::string_view start, std::string_view end);

// The JSON inside a JSONP answer: between the first "(" and the last ")", so that a ")" inside a
// string value does not cut the answer short.
std::string stripJsonp(std::string_view text);
