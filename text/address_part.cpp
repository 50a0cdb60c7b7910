#include "text/address_part.h"

namespace {

bool isKept(unsigned char byte)
{
    return (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9') || byte == '-' ||
           byte == '.' || byte == '_' || byte == '~';
}

} // namespace

std::string addressPart(std::string_view utf8)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string part;
    part.reserve(utf8.size());
    for (const char unit : utf8) {
        const auto byte = static_cast<unsigned char>(unit);
        if (isKept(byte)) {
            part.push_back(unit);
            continue;
        }
        part.push_back('%');
        part.push_back(kHex[byte >> 4]);
        part.push_back(kHex[byte & 0x0F]);
    }
    return part;
}
