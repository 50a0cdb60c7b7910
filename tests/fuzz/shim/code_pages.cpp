// The system conversions of the Windows stand-in: code page 936 through a table made once from
// iconv's GBK, code page 65001 as UTF-8, any other code page as Latin-1. Like Windows, a byte
// sequence the code page does not know gives one default unit, a unit it cannot write gives "?",
// and a result larger than the given capacity gives 0.
#include <windows.h>

#include <iconv.h>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

constexpr UINT kGbk = 936;
constexpr UINT kUtf8 = 65001;
constexpr uint16_t kUnknown = 0x30FB;  // what Windows gives for a double byte code 936 lacks

struct Gbk {
    std::vector<uint16_t> toUnit = std::vector<uint16_t>(65536, 0);  // by (lead << 8) | trail
    std::unordered_map<uint16_t, uint16_t> toBytes;

    Gbk()
    {
        iconv_t convert = iconv_open("UTF-16LE", "GBK");
        if (convert == reinterpret_cast<iconv_t>(-1)) return;
        for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
            for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
                if (trail == 0x7F) continue;
                char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
                char out[8] = {};
                char* inAt = in;
                char* outAt = out;
                size_t inLeft = 2, outLeft = sizeof out;
                iconv(convert, nullptr, nullptr, nullptr, nullptr);
                if (iconv(convert, &inAt, &inLeft, &outAt, &outLeft) == static_cast<size_t>(-1) || outAt - out != 2)
                    continue;
                const uint16_t unit = static_cast<uint16_t>(static_cast<unsigned char>(out[0]) |
                                                            static_cast<unsigned char>(out[1]) << 8);
                toUnit[lead << 8 | trail] = unit;
                toBytes.emplace(unit, static_cast<uint16_t>(lead << 8 | trail));
            }
        }
        iconv_close(convert);
    }
};

const Gbk& gbk()
{
    static const Gbk table;
    return table;
}

std::vector<uint16_t> decodeGbk(const unsigned char* text, size_t bytes)
{
    const Gbk& table = gbk();
    std::vector<uint16_t> units;
    units.reserve(bytes);
    for (size_t at = 0; at < bytes; ++at) {
        const unsigned char byte = text[at];
        if (byte < 0x80) {
            units.push_back(byte);
        } else if (byte == 0x80) {
            units.push_back(0x20AC);
        } else if (byte == 0xFF) {
            units.push_back(0xF8F5);
        } else if (at + 1 < bytes && text[at + 1] >= 0x40 && text[at + 1] != 0x7F && text[at + 1] != 0xFF) {
            const uint16_t unit = table.toUnit[byte << 8 | text[at + 1]];
            units.push_back(unit ? unit : kUnknown);
            ++at;
        } else {
            units.push_back(kUnknown);
        }
    }
    return units;
}

std::vector<uint16_t> decodeUtf8(const unsigned char* text, size_t bytes)
{
    std::vector<uint16_t> units;
    units.reserve(bytes);
    for (size_t at = 0; at < bytes;) {
        const unsigned char byte = text[at];
        int extra = byte < 0x80 ? 0 : (byte & 0xE0) == 0xC0 ? 1 : (byte & 0xF0) == 0xE0 ? 2 : (byte & 0xF8) == 0xF0 ? 3 : -1;
        uint32_t code = extra == 0 ? byte : extra == 1 ? byte & 0x1F : extra == 2 ? byte & 0x0F : byte & 0x07;
        bool valid = extra >= 0 && at + extra < bytes;
        for (int i = 1; valid && i <= extra; ++i) {
            valid = (text[at + i] & 0xC0) == 0x80;
            code = code << 6 | (text[at + i] & 0x3F);
        }
        if (valid && ((extra == 1 && code < 0x80) || (extra == 2 && code < 0x800) || (extra == 3 && code < 0x10000) ||
                      code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)))
            valid = false;
        if (!valid) {
            units.push_back(0xFFFD);
            ++at;
            continue;
        }
        if (code >= 0x10000) {
            units.push_back(static_cast<uint16_t>(0xD800 + ((code - 0x10000) >> 10)));
            units.push_back(static_cast<uint16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
        } else {
            units.push_back(static_cast<uint16_t>(code));
        }
        at += static_cast<size_t>(extra) + 1;
    }
    return units;
}

std::string encode(UINT codePage, const wchar_t* text, size_t units)
{
    std::string bytes;
    bytes.reserve(units);
    const Gbk& table = gbk();
    for (size_t at = 0; at < units; ++at) {
        const uint16_t unit = static_cast<uint16_t>(text[at]);
        if (codePage == kUtf8) {
            uint32_t code = unit;
            if (unit >= 0xD800 && unit <= 0xDBFF && at + 1 < units && (text[at + 1] & 0xFC00) == 0xDC00) {
                code = 0x10000 + ((unit - 0xD800) << 10) + (static_cast<uint16_t>(text[at + 1]) - 0xDC00);
                ++at;
            } else if (unit >= 0xD800 && unit <= 0xDFFF) {
                code = 0xFFFD;
            }
            if (code < 0x80) {
                bytes.push_back(static_cast<char>(code));
            } else if (code < 0x800) {
                bytes.push_back(static_cast<char>(0xC0 | code >> 6));
                bytes.push_back(static_cast<char>(0x80 | (code & 0x3F)));
            } else if (code < 0x10000) {
                bytes.push_back(static_cast<char>(0xE0 | code >> 12));
                bytes.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
                bytes.push_back(static_cast<char>(0x80 | (code & 0x3F)));
            } else {
                bytes.push_back(static_cast<char>(0xF0 | code >> 18));
                bytes.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
                bytes.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
                bytes.push_back(static_cast<char>(0x80 | (code & 0x3F)));
            }
        } else if (unit < 0x80) {
            bytes.push_back(static_cast<char>(unit));
        } else if (codePage != kGbk) {
            bytes.push_back(unit < 0x100 ? static_cast<char>(unit) : '?');
        } else if (unit == 0x20AC) {
            bytes.push_back(static_cast<char>(0x80));
        } else if (auto found = table.toBytes.find(unit); found != table.toBytes.end()) {
            bytes.push_back(static_cast<char>(found->second >> 8));
            bytes.push_back(static_cast<char>(found->second & 0xFF));
        } else {
            bytes.push_back('?');
        }
    }
    return bytes;
}

} // namespace

int MultiByteToWideChar(UINT codePage, DWORD, LPCSTR text, int bytes, LPWSTR out, int capacity)
{
    if (!text || bytes < 0) return 0;  // the program always passes a length
    const auto* in = reinterpret_cast<const unsigned char*>(text);
    std::vector<uint16_t> units;
    if (codePage == kGbk) {
        units = decodeGbk(in, static_cast<size_t>(bytes));
    } else if (codePage == kUtf8) {
        units = decodeUtf8(in, static_cast<size_t>(bytes));
    } else {
        units.assign(in, in + bytes);
    }
    if (capacity == 0) return static_cast<int>(units.size());
    if (!out || units.size() > static_cast<size_t>(capacity)) return 0;
    for (size_t i = 0; i < units.size(); ++i) out[i] = units[i];
    return static_cast<int>(units.size());
}

int WideCharToMultiByte(UINT codePage, DWORD, LPCWSTR text, int units, LPSTR out, int capacity, LPCSTR, LPBOOL)
{
    if (!text || units < 0) return 0;
    const std::string bytes = encode(codePage, text, static_cast<size_t>(units));
    if (capacity == 0) return static_cast<int>(bytes.size());
    if (!out || bytes.size() > static_cast<size_t>(capacity)) return 0;
    std::memcpy(out, bytes.data(), bytes.size());
    return static_cast<int>(bytes.size());
}
