#include "text/escapes.h"

#include <cwchar>

namespace {

int hexValue(wchar_t c)
{
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

// The unit a one-letter escape stands for, or 0 when the letter is not one.
wchar_t simpleEscape(wchar_t letter)
{
    switch (letter) {
    case L'"': return L'"';
    case L'\\': return L'\\';
    case L'/': return L'/';
    case L'b': return 8;
    case L't': return 9;
    case L'n': return 10;
    case L'r': return 13;
    case L'f': return 12;
    default: return 0;
    }
}

} // namespace

size_t decodeEscapes(wchar_t* text, size_t length, bool unicodeEscapes)
{
    if (!text || !wmemchr(text, L'\\', length)) return length;

    size_t read = 0;
    size_t write = 0;
    while (read < length) {
        const wchar_t c = text[read];
        if (c != L'\\' || read + 1 >= length) {
            text[write++] = c;
            ++read;
            continue;
        }
        const wchar_t letter = text[read + 1];
        if (const wchar_t decoded = simpleEscape(letter)) {
            text[write++] = decoded;
            read += 2;
            continue;
        }
        if (letter == L'u' && unicodeEscapes && read + 6 <= length) {
            int value = 0;
            bool valid = true;
            for (size_t i = read + 2; i < read + 6 && valid; ++i) {
                const int digit = hexValue(text[i]);
                valid = digit >= 0;
                value = value * 16 + digit;
            }
            if (valid) {
                text[write++] = static_cast<wchar_t>(value);
                read += 6;
                continue;
            }
        }
        // Not an escape this decoder knows: the backslash and the unit after it stay as they are.
        text[write++] = c;
        text[write++] = letter;
        read += 2;
    }
    wmemset(text + write, 0, length - write);
    return write;
}

void decodeEscapes(std::wstring& text, bool unicodeEscapes)
{
    text.resize(decodeEscapes(text.data(), text.size(), unicodeEscapes));
}

std::wstring encodeEscapes(std::wstring_view text)
{
    std::wstring result;
    result.reserve(text.size() + text.size() / 8 + 1);
    for (const wchar_t c : text) {
        wchar_t letter = 0;
        switch (c) {
        case L'\\': letter = L'\\'; break;
        case L'"': letter = L'"'; break;
        case L'/': letter = L'/'; break;
        case 8: letter = L'b'; break;
        case 9: letter = L't'; break;
        case 10: letter = L'n'; break;
        case 13: letter = L'r'; break;
        case 12: letter = L'f'; break;
        default: break;
        }
        if (letter) {
            result.push_back(L'\\');
            result.push_back(letter);
        } else {
            result.push_back(c);
        }
    }
    return result;
}
