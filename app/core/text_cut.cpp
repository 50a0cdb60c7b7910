#include "app/core/text_cut.h"

std::string cutBetween(std::string_view text, std::string_view start, std::string_view end)
{
    const size_t at = text.find(start);
    if (at == std::string_view::npos) return {};
    const size_t from = at + start.size();
    const size_t to = text.find(end, from);
    if (to == std::string_view::npos) return {};
    return std::string(text.substr(from, to - from));
}

std::string stripJsonp(std::string_view text)
{
    const size_t open = text.find('(');
    const size_t close = text.rfind(')');
    if (open == std::string_view::npos || close == std::string_view::npos || close <= open) return {};
    return std::string(text.substr(open + 1, close - open - 1));
}
