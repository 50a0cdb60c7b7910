#include "text/picture_end.h"

#include <cstddef>
#include <cstdint>

namespace {

using namespace std::string_view_literals;

uint8_t byteAt(std::string_view bytes, size_t at) { return static_cast<uint8_t>(bytes[at]); }

uint32_t bigEndian32(std::string_view bytes, size_t at)
{
    return uint32_t{byteAt(bytes, at)} << 24 | uint32_t{byteAt(bytes, at + 1)} << 16 |
           uint32_t{byteAt(bytes, at + 2)} << 8 | uint32_t{byteAt(bytes, at + 3)};
}

uint32_t littleEndian32(std::string_view bytes, size_t at)
{
    return uint32_t{byteAt(bytes, at)} | uint32_t{byteAt(bytes, at + 1)} << 8 |
           uint32_t{byteAt(bytes, at + 2)} << 16 | uint32_t{byteAt(bytes, at + 3)} << 24;
}

// True when as much of the signature as the body holds matches it: a body cut inside its
// signature still counts as that format.
bool matchesSoFar(std::string_view bytes, std::string_view signature)
{
    const size_t length = bytes.size() < signature.size() ? bytes.size() : signature.size();
    return bytes.substr(0, length) == signature.substr(0, length);
}

constexpr std::string_view jpegSignature = "\xFF\xD8\xFF"sv;
constexpr std::string_view pngSignature = "\x89PNG\r\n\x1A\n"sv;
constexpr size_t riffHeaderSize = 12;

// "RIFF", four bytes of size, "WEBP"; the size bytes may be anything.
bool matchesWebpSoFar(std::string_view bytes)
{
    if (!matchesSoFar(bytes, "RIFF"sv)) return false;
    return bytes.size() <= 8 || matchesSoFar(bytes.substr(8), "WEBP"sv);
}

// RST0 to RST7: they stand alone, both between segments and inside entropy-coded data.
bool isRestart(uint8_t code) { return code >= 0xD0 && code <= 0xD7; }

PictureEnd jpegEnd(std::string_view bytes)
{
    const size_t size = bytes.size();
    size_t at = 2; // past SOI
    for (;;) {
        // A marker: FF, any fill FFs, then its code.
        if (at >= size) return PictureEnd::Cut;
        if (byteAt(bytes, at) != 0xFF) return PictureEnd::Cut; // not a marker where one must be
        while (at < size && byteAt(bytes, at) == 0xFF) ++at;
        if (at >= size) return PictureEnd::Cut;
        const uint8_t code = byteAt(bytes, at);
        if (code == 0xD9) return PictureEnd::Complete;
        if (code == 0x00 || code == 0xD8) return PictureEnd::Cut; // no such marker here
        if (isRestart(code) || code == 0x01) { // no length: restarts and TEM
            ++at;
            continue;
        }
        // A segment: two bytes of length that count themselves, then its data.
        if (size - at < 3) return PictureEnd::Cut;
        const size_t length = size_t{byteAt(bytes, at + 1)} << 8 | byteAt(bytes, at + 2);
        if (length < 2) return PictureEnd::Cut;
        if (length > size - at - 1) return PictureEnd::Cut;
        at += 1 + length;
        if (code != 0xDA) continue;

        // After a scan header the entropy-coded data runs to the first FF that is neither
        // stuffing (FF 00) nor a restart marker.
        for (;;) {
            const size_t found = bytes.find('\xFF', at);
            if (found == std::string_view::npos || size - found < 2) return PictureEnd::Cut;
            const uint8_t next = byteAt(bytes, found + 1);
            if (next == 0x00 || isRestart(next)) {
                at = found + 2;
                continue;
            }
            at = found;
            break;
        }
    }
}

PictureEnd pngEnd(std::string_view bytes)
{
    const size_t size = bytes.size();
    size_t at = pngSignature.size();
    for (;;) {
        // Length, type, data, CRC.
        if (size - at < 8) return PictureEnd::Cut;
        const size_t length = bigEndian32(bytes, at);
        const bool end = bytes.substr(at + 4, 4) == "IEND"sv;
        const size_t rest = size - at - 8;
        if (length > rest || rest - length < 4) return PictureEnd::Cut;
        if (end) return PictureEnd::Complete;
        at += 8 + length + 4;
    }
}

// Size in bytes of the colour table a GIF flags byte announces (none without its top bit).
size_t gifColourTableSize(uint8_t flags)
{
    if (!(flags & 0x80)) return 0;
    return size_t{3} << ((flags & 0x07) + 1);
}

// Data sub-blocks: a length byte, that many bytes, up to a zero length. False when they run off.
bool skipGifSubBlocks(std::string_view bytes, size_t& at)
{
    const size_t size = bytes.size();
    for (;;) {
        if (at >= size) return false;
        const size_t length = byteAt(bytes, at++);
        if (length == 0) return true;
        if (length > size - at) return false;
        at += length;
    }
}

PictureEnd gifEnd(std::string_view bytes)
{
    const size_t size = bytes.size();
    constexpr size_t headerSize = 6 + 7; // signature, logical screen descriptor
    if (size < headerSize) return PictureEnd::Cut;
    const size_t globalTable = gifColourTableSize(byteAt(bytes, 10));
    if (globalTable > size - headerSize) return PictureEnd::Cut;
    size_t at = headerSize + globalTable;
    for (;;) {
        if (at >= size) return PictureEnd::Cut;
        const uint8_t block = byteAt(bytes, at);
        if (block == 0x3B) return PictureEnd::Complete;
        if (block == 0x21) {
            // Introducer, label, sub-blocks.
            if (size - at < 2) return PictureEnd::Cut;
            at += 2;
        } else if (block == 0x2C) {
            // Separator and nine bytes of descriptor, a local colour table, the LZW code size,
            // then the image data in sub-blocks.
            constexpr size_t descriptorSize = 10;
            if (size - at < descriptorSize) return PictureEnd::Cut;
            const size_t localTable = gifColourTableSize(byteAt(bytes, at + 9));
            at += descriptorSize;
            if (localTable >= size - at) return PictureEnd::Cut; // the table and the code size byte
            at += localTable + 1;
        } else {
            return PictureEnd::Cut; // nothing a GIF holds: broken
        }
        if (!skipGifSubBlocks(bytes, at)) return PictureEnd::Cut;
    }
}

PictureEnd webpEnd(std::string_view bytes)
{
    // The RIFF size counts everything after itself.
    const size_t riffSize = littleEndian32(bytes, 4);
    return bytes.size() - 8 >= riffSize ? PictureEnd::Complete : PictureEnd::Cut;
}

PictureEnd bmpEnd(std::string_view bytes)
{
    // The smallest BMP is a 14-byte file header and a 12-byte core header; a smaller size field
    // is not something to wait for.
    const size_t fileSize = littleEndian32(bytes, 2);
    if (fileSize < 26) return PictureEnd::UnknownFormat;
    return bytes.size() >= fileSize ? PictureEnd::Complete : PictureEnd::Cut;
}

} // namespace

PictureEnd pictureEnd(std::string_view bytes)
{
    if (bytes.empty()) return PictureEnd::UnknownFormat;
    if (matchesSoFar(bytes, jpegSignature))
        return bytes.size() < jpegSignature.size() ? PictureEnd::Cut : jpegEnd(bytes);
    if (matchesSoFar(bytes, pngSignature))
        return bytes.size() < pngSignature.size() ? PictureEnd::Cut : pngEnd(bytes);
    if (matchesSoFar(bytes, "GIF87a"sv) || matchesSoFar(bytes, "GIF89a"sv))
        return bytes.size() < 6 ? PictureEnd::Cut : gifEnd(bytes);
    if (matchesWebpSoFar(bytes))
        return bytes.size() < riffHeaderSize ? PictureEnd::Cut : webpEnd(bytes);
    if (matchesSoFar(bytes, "BM"sv)) return bytes.size() < 6 ? PictureEnd::Cut : bmpEnd(bytes);
    return PictureEnd::UnknownFormat;
}

bool isTextPage(std::string_view bytes)
{
    // No picture format begins with a blank, "{", "[" or "<": the first byte decides.
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);  // a UTF-8 byte-order mark
    const size_t first = bytes.find_first_not_of(" \t\r\n");
    return first != std::string_view::npos && (bytes[first] == '{' || bytes[first] == '[' || bytes[first] == '<');
}
