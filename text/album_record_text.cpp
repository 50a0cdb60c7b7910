#include "text/album_record_text.h"

#include <array>
#include <cstddef>
#include <limits>

namespace {

using namespace std::string_view_literals;

constexpr std::string_view kRecordHeader = "piclade album record 1"sv;
constexpr std::string_view kAlbumTag = "album"sv;
constexpr std::string_view kPhotoTag = "photo"sv;
constexpr std::string_view kEndTag = "end"sv;
constexpr std::string_view kJournalTag = "journal 1"sv;
constexpr size_t kPhotoFields = 8;
constexpr size_t kChecksumDigits = 16;

constexpr char kHexDigits[] = "0123456789abcdef";

void appendChecksum(std::string& out, uint64_t value)
{
    for (int shift = 60; shift >= 0; shift -= 4) out += kHexDigits[(value >> shift) & 0xF];
}

void appendHexByte(std::string& out, unsigned value)
{
    out += kHexDigits[(value >> 4) & 0xF];
    out += kHexDigits[value & 0xF];
}

// ---- Writing ----

// The escapes every field shares; false for a character that is not one of them.
bool appendCommonEscape(std::string& out, uint32_t character)
{
    switch (character) {
    case '\\': out += "\\\\"; return true;
    case '\t': out += "\\t"; return true;
    case '\n': out += "\\n"; return true;
    case '\r': out += "\\r"; return true;
    default: return false;
    }
}

void appendBytesField(std::string& out, std::string_view bytes)
{
    for (const char byte : bytes) {
        const auto value = static_cast<unsigned char>(byte);
        if (appendCommonEscape(out, value)) continue;
        if (value < 0x20 || value >= 0x7F) {
            out += "\\x";
            appendHexByte(out, value);
        } else {
            out += byte;
        }
    }
}

void appendUtf8(std::string& out, uint32_t codePoint)
{
    if (codePoint < 0x80) {
        out += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        out += static_cast<char>(0xC0 | codePoint >> 6);
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        out += static_cast<char>(0xE0 | codePoint >> 12);
        out += static_cast<char>(0x80 | (codePoint >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | codePoint >> 18);
        out += static_cast<char>(0x80 | (codePoint >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (codePoint >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

void appendUnitEscape(std::string& out, uint32_t unit)
{
    out += "\\u";
    appendHexByte(out, unit >> 8);
    appendHexByte(out, unit & 0xFF);
}

bool isHighSurrogate(uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

void appendWideField(std::string& out, std::wstring_view text)
{
    for (size_t at = 0; at < text.size(); ++at) {
        uint32_t unit = static_cast<uint32_t>(text[at]);
        // One UTF-16 unit per wchar_t; a wider value (never in UTF-16 text) cannot come back.
        if (unit > 0xFFFF) unit = 0xFFFD;
        if (appendCommonEscape(out, unit)) continue;
        if (unit < 0x20 || (unit >= 0x7F && unit <= 0x9F)) {
            appendUnitEscape(out, unit);
        } else if (isHighSurrogate(unit) && at + 1 < text.size() && isLowSurrogate(static_cast<uint32_t>(text[at + 1]))) {
            const uint32_t low = static_cast<uint32_t>(text[++at]);
            appendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
        } else if (isHighSurrogate(unit) || isLowSurrogate(unit)) {
            appendUnitEscape(out, unit);  // a lone half: kept as it was, still valid UTF-8
        } else {
            appendUtf8(out, unit);
        }
    }
}

void appendPhotoFields(std::string& out, const SavedPhoto& photo)
{
    appendBytesField(out, photo.picName);
    out += '\t';
    appendBytesField(out, photo.picHost);
    out += '\t';
    appendWideField(out, photo.caption);
    out += '\t';
    out += std::to_string(photo.timestamp);
    out += '\t';
    appendWideField(out, photo.fileName);
    out += '\t';
    appendBytesField(out, photo.sizePath);
    out += '\t';
    out += std::to_string(photo.bytes);
    out += '\t';
    out += std::to_string(photo.modified);
}

// Room for a photo's line, so that a large album's record grows its buffer a few times only.
size_t lineEstimate(const SavedPhoto& photo)
{
    return 80 + photo.picName.size() + photo.picHost.size() + photo.sizePath.size() +
           3 * (photo.caption.size() + photo.fileName.size());
}

// ---- Reading ----

// The tab-separated fields of a line; false unless there are exactly `count`.
template <size_t N>
bool splitFields(std::string_view line, std::array<std::string_view, N>& fields)
{
    size_t at = 0;
    for (size_t i = 0; i < N; ++i) {
        const size_t tab = line.find('\t', at);
        if ((tab == std::string_view::npos) != (i + 1 == N)) return false;
        fields[i] = line.substr(at, tab == std::string_view::npos ? std::string_view::npos : tab - at);
        at = tab + 1;
    }
    return true;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// `digits` hex digits at `at`; false when there are fewer or one is not hex.
bool readHex(std::string_view text, size_t at, size_t digits, uint32_t& value)
{
    if (text.size() - at < digits) return false;
    value = 0;
    for (size_t i = 0; i < digits; ++i) {
        const int digit = hexValue(text[at + i]);
        if (digit < 0) return false;
        value = value << 4 | static_cast<uint32_t>(digit);
    }
    return true;
}

// What the letter after a backslash stands for in every field; 0 when it is none of those.
char commonEscape(char letter)
{
    switch (letter) {
    case '\\': return '\\';
    case 't': return '\t';
    case 'n': return '\n';
    case 'r': return '\r';
    default: return 0;
    }
}

bool readBytesField(std::string_view field, std::string& out)
{
    out.clear();
    out.reserve(field.size());
    for (size_t at = 0; at < field.size(); ++at) {
        const auto value = static_cast<unsigned char>(field[at]);
        if (value != '\\') {
            if (value < 0x20 || value >= 0x7F) return false;  // written as an escape, never as it is
            out += field[at];
            continue;
        }
        if (++at == field.size()) return false;
        if (const char plain = commonEscape(field[at])) {
            out += plain;
            continue;
        }
        uint32_t byte = 0;
        if (field[at] != 'x' || !readHex(field, at + 1, 2, byte)) return false;
        out += static_cast<char>(byte);
        at += 2;
    }
    return true;
}

// One UTF-8 character at `at`, strictly: no overlong form, no surrogate, nothing past U+10FFFF.
bool readUtf8(std::string_view text, size_t& at, uint32_t& codePoint)
{
    const auto lead = static_cast<unsigned char>(text[at]);
    size_t length = 0;
    uint32_t lowest = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        codePoint = lead & 0x1F;
        lowest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        codePoint = lead & 0x0F;
        lowest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        codePoint = lead & 0x07;
        lowest = 0x10000;
    } else {
        return false;
    }
    if (text.size() - at < length) return false;
    for (size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[at + i]);
        if ((next & 0xC0) != 0x80) return false;
        codePoint = codePoint << 6 | (next & 0x3F);
    }
    if (codePoint < lowest || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) return false;
    at += length - 1;
    return true;
}

bool readWideField(std::string_view field, std::wstring& out)
{
    out.clear();
    out.reserve(field.size());
    for (size_t at = 0; at < field.size(); ++at) {
        const auto value = static_cast<unsigned char>(field[at]);
        if (value >= 0x80) {
            uint32_t codePoint = 0;
            if (!readUtf8(field, at, codePoint)) return false;
            if (codePoint >= 0x10000) {
                codePoint -= 0x10000;
                out += static_cast<wchar_t>(0xD800 + (codePoint >> 10));
                out += static_cast<wchar_t>(0xDC00 + (codePoint & 0x3FF));
            } else {
                out += static_cast<wchar_t>(codePoint);
            }
            continue;
        }
        if (value != '\\') {
            if (value < 0x20 || value == 0x7F) return false;
            out += static_cast<wchar_t>(value);
            continue;
        }
        if (++at == field.size()) return false;
        if (const char plain = commonEscape(field[at])) {
            out += static_cast<wchar_t>(plain);
            continue;
        }
        uint32_t unit = 0;
        if (field[at] != 'u' || !readHex(field, at + 1, 4, unit)) return false;
        out += static_cast<wchar_t>(unit);
        at += 4;
    }
    return true;
}

// Plain decimal digits, no leading zero, within 64 bits.
bool readUnsigned(std::string_view text, uint64_t& value)
{
    if (text.empty() || (text.size() > 1 && text[0] == '0')) return false;
    value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        const auto digit = static_cast<uint64_t>(c - '0');
        if (value > (std::numeric_limits<uint64_t>::max() - digit) / 10) return false;
        value = value * 10 + digit;
    }
    return true;
}

// As readUnsigned, with an optional "-" (never "-0").
bool readSigned(std::string_view text, int64_t& value)
{
    const bool negative = !text.empty() && text[0] == '-';
    uint64_t magnitude = 0;
    if (!readUnsigned(negative ? text.substr(1) : text, magnitude)) return false;
    constexpr uint64_t kLargest = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
    if (!negative) {
        if (magnitude > kLargest) return false;
        value = static_cast<int64_t>(magnitude);
        return true;
    }
    if (magnitude == 0 || magnitude > kLargest + 1) return false;
    // -(magnitude - 1) - 1 reaches the smallest value without overflowing on the way.
    value = -static_cast<int64_t>(magnitude - 1) - 1;
    return true;
}

bool readChecksum(std::string_view text, uint64_t& value)
{
    if (text.size() != kChecksumDigits) return false;
    value = 0;
    for (const char c : text) {
        // Lowercase only: one checksum has one spelling, so any changed byte shows.
        const int digit = (c >= 'a' && c <= 'f') || (c >= '0' && c <= '9') ? hexValue(c) : -1;
        if (digit < 0) return false;
        value = value << 4 | static_cast<uint64_t>(digit);
    }
    return true;
}

// The eight photo fields, from `fields[0]` on.
bool readPhotoFields(const std::string_view* fields, SavedPhoto& photo)
{
    return readBytesField(fields[0], photo.picName) && readBytesField(fields[1], photo.picHost) &&
           readWideField(fields[2], photo.caption) && readSigned(fields[3], photo.timestamp) &&
           readWideField(fields[4], photo.fileName) && readBytesField(fields[5], photo.sizePath) &&
           readUnsigned(fields[6], photo.bytes) && readUnsigned(fields[7], photo.modified);
}

bool readPhotoLine(std::string_view line, SavedPhoto& photo)
{
    std::array<std::string_view, kPhotoFields + 1> fields;
    return splitFields(line, fields) && fields[0] == kPhotoTag && readPhotoFields(&fields[1], photo);
}

bool readJournalLine(std::string_view line, SavedPhoto& photo)
{
    const size_t lastTab = line.rfind('\t');
    if (lastTab == std::string_view::npos) return false;
    uint64_t checksum = 0;
    if (!readChecksum(line.substr(lastTab + 1), checksum) || checksum != fnv1a64(line.substr(0, lastTab))) return false;
    std::array<std::string_view, kPhotoFields + 2> fields;
    return splitFields(line, fields) && fields[0] == kJournalTag && readPhotoFields(&fields[1], photo);
}

} // namespace

uint64_t fnv1a64(std::string_view bytes)
{
    uint64_t hash = 0xcbf29ce484222325ull;
    for (const char byte : bytes) {
        hash ^= static_cast<unsigned char>(byte);
        hash *= 0x100000001b3ull;
    }
    return hash;
}

std::string formatAlbumRecord(const AlbumLedger& ledger)
{
    size_t estimate = 128 + ledger.albumId.size() * 4;
    for (const SavedPhoto& photo : ledger.photos) estimate += lineEstimate(photo);
    std::string text;
    text.reserve(estimate);
    text += kRecordHeader;
    text += '\n';
    text += kAlbumTag;
    text += '\t';
    appendBytesField(text, ledger.albumId);
    text += '\t';
    text += std::to_string(ledger.total);
    text += '\n';
    for (const SavedPhoto& photo : ledger.photos) {
        text += kPhotoTag;
        text += '\t';
        appendPhotoFields(text, photo);
        text += '\n';
    }
    const uint64_t checksum = fnv1a64(text);
    text += kEndTag;
    text += '\t';
    text += std::to_string(ledger.photos.size());
    text += '\t';
    appendChecksum(text, checksum);
    text += '\n';
    return text;
}

// Guarded by AlbumRecordText.ARecordCutAnywhereIsRejected and ...AnyChangedByteIsRejected.
bool parseAlbumRecord(std::string_view text, AlbumLedger& out)
{
    // The last line seals everything before it: checked first, so a cut or altered record is
    // refused before any of it is read.
    if (text.size() < 2 || text.back() != '\n') return false;
    const size_t endStart = text.rfind('\n', text.size() - 2);
    if (endStart == std::string_view::npos) return false;
    const std::string_view sealed = text.substr(0, endStart + 1);
    std::array<std::string_view, 3> end;
    uint64_t count = 0, checksum = 0;
    if (!splitFields(text.substr(endStart + 1, text.size() - endStart - 2), end) || end[0] != kEndTag ||
        !readUnsigned(end[1], count) || !readChecksum(end[2], checksum) || checksum != fnv1a64(sealed))
        return false;

    AlbumLedger ledger;
    size_t at = 0;
    auto nextLine = [&](std::string_view& line) {
        if (at >= sealed.size()) return false;
        const size_t lineEnd = sealed.find('\n', at);  // every sealed line ends in one
        line = sealed.substr(at, lineEnd - at);
        at = lineEnd + 1;
        return true;
    };
    std::string_view line;
    if (!nextLine(line) || line != kRecordHeader) return false;
    std::array<std::string_view, 3> album;
    if (!nextLine(line) || !splitFields(line, album) || album[0] != kAlbumTag || !readBytesField(album[1], ledger.albumId) ||
        !readSigned(album[2], ledger.total))
        return false;
    while (nextLine(line)) {
        if (ledger.photos.size() >= count) return false;
        SavedPhoto& photo = ledger.photos.emplace_back();
        if (!readPhotoLine(line, photo)) return false;
    }
    if (ledger.photos.size() != count) return false;
    out = std::move(ledger);
    return true;
}

std::string formatJournalLine(const SavedPhoto& photo)
{
    std::string line;
    line.reserve(lineEstimate(photo) + kJournalTag.size() + kChecksumDigits);
    line += kJournalTag;
    line += '\t';
    appendPhotoFields(line, photo);
    const uint64_t checksum = fnv1a64(line);
    line += '\t';
    appendChecksum(line, checksum);
    line += '\n';
    return line;
}

// Guarded by AlbumRecordText.ATornJournalLineIsSkippedAlone.
std::vector<SavedPhoto> parseJournal(std::string_view text)
{
    std::vector<SavedPhoto> photos;
    size_t at = 0;
    for (;;) {
        const size_t lineEnd = text.find('\n', at);
        if (lineEnd == std::string_view::npos) break;  // a last line without its end was cut
        SavedPhoto photo;
        if (readJournalLine(text.substr(at, lineEnd - at), photo)) photos.push_back(std::move(photo));
        at = lineEnd + 1;
    }
    return photos;
}
