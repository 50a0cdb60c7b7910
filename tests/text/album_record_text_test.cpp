#include "text/album_record_text.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <limits>
#include <string>

namespace {

SavedPhoto photo(std::string picName, std::wstring caption, std::wstring fileName)
{
    SavedPhoto saved;
    saved.picName = std::move(picName);
    saved.picHost = "http://ww1.sinaimg.cn";
    saved.caption = std::move(caption);
    saved.timestamp = 1504324800;
    saved.fileName = std::move(fileName);
    saved.sizePath = "/large/";
    saved.bytes = 123456;
    saved.modified = 131488000000000000ull;
    return saved;
}

// Every kind of text a service in bad faith can send, and the limits of every number.
AlbumLedger hostileLedger()
{
    AlbumLedger ledger;
    ledger.albumId = "..\\..\\escape\talbum\n\xC4\xE3\x01";
    ledger.total = std::numeric_limits<int64_t>::min();
    ledger.photos.push_back(photo("006a\tb\nc\\d.jpg", L"tab\there\nline\\back \\t not an escape", L"[2017.09.02-12.00]a.jpg"));
    ledger.photos.push_back(photo("\xB9\xFE\xB9\xFE.jpg", L"\U0001F600 \uAC00\uB098\uB2E4 \u65C5\u884C\u2708 J\u00F6rg", L"\uC0AC\uC9C4.png"));
    ledger.photos.push_back(photo("", L"", L""));
    ledger.photos.back().picHost.clear();
    ledger.photos.back().sizePath.clear();
    ledger.photos.push_back(photo("lone.jpg", L"half \xD800 pair \xDC00\xD800 end \xDBFF", L"x\x7F\x85\x9F\x01\x1F\r.jpg"));
    ledger.photos.back().caption.push_back(L'\0');
    ledger.photos.back().caption += L"after nul";
    ledger.photos.back().timestamp = std::numeric_limits<int64_t>::max();
    ledger.photos.back().bytes = std::numeric_limits<uint64_t>::max();
    ledger.photos.back().modified = 0;
    ledger.photos.push_back(photo("big", std::wstring(10000, L'\u9F98'), L"big.gif"));
    ledger.photos.back().timestamp = -1;
    return ledger;
}

std::string hex16(uint64_t value)
{
    std::string text;
    for (int shift = 60; shift >= 0; shift -= 4) text += "0123456789abcdef"[(value >> shift) & 0xF];
    return text;
}

// A record made by hand with a right seal, so that only its contents can make it fail.
std::string sealed(const std::string& body, size_t photoLines)
{
    return body + "end\t" + std::to_string(photoLines) + "\t" + hex16(fnv1a64(body)) + "\n";
}

} // namespace

TEST(AlbumRecordText, AHostileLedgerComesBackWhole)
{
    const AlbumLedger ledger = hostileLedger();
    const std::string text = formatAlbumRecord(ledger);
    AlbumLedger read;
    ASSERT_TRUE(parseAlbumRecord(text, read));
    EXPECT_EQ(read, ledger);
    EXPECT_EQ(read.photos[3].caption, ledger.photos[3].caption);  // lone surrogates and the NUL too
    // One line per photo and the three of its frame, whatever the names hold.
    size_t lines = 0;
    for (const char c : text) {
        if (c == '\n') ++lines;
        if (c != '\n' && c != '\t') {
            EXPECT_GE(static_cast<unsigned char>(c), 0x20u);
        }
    }
    EXPECT_EQ(lines, ledger.photos.size() + 3);
    EXPECT_EQ(text.rfind("piclade album record 1\n", 0), 0u);
}

TEST(AlbumRecordText, ARecordCutAnywhereIsRejected)
{
    AlbumLedger ledger = hostileLedger();
    ledger.photos.pop_back();  // every length tried: keep it small
    const std::string text = formatAlbumRecord(ledger);
    const AlbumLedger untouched = hostileLedger();
    for (size_t length = 0; length < text.size(); ++length) {
        AlbumLedger read = untouched;
        EXPECT_FALSE(parseAlbumRecord(std::string_view(text).substr(0, length), read)) << length;
        EXPECT_EQ(read, untouched);  // a refused record changes nothing
    }
}

TEST(AlbumRecordText, AnyChangedByteIsRejected)
{
    AlbumLedger ledger = hostileLedger();
    ledger.photos.pop_back();  // every byte flipped every way: keep it small
    const std::string text = formatAlbumRecord(ledger);
    for (size_t at = 0; at < text.size(); ++at) {
        for (const int flip : {0x01, 0x02, 0x08, 0x20, 0x40, 0x80}) {
            std::string changed = text;
            changed[at] = static_cast<char>(changed[at] ^ flip);
            AlbumLedger read;
            EXPECT_FALSE(parseAlbumRecord(changed, read)) << at << " ^ " << flip;
        }
    }
    AlbumLedger read;
    EXPECT_FALSE(parseAlbumRecord(text + "\n", read));
    EXPECT_FALSE(parseAlbumRecord(text + text, read));
    EXPECT_FALSE(parseAlbumRecord(text.substr(0, text.size() - 1) + "\r\n", read));
}

// Only what the writer writes is read: the version, the shape, plain numbers within their type
// and the escapes of each kind of field.
TEST(AlbumRecordText, OnlyWhatTheWriterWritesIsRead)
{
    const auto withPhoto = [](const std::string& fields, const std::string& header = "piclade album record 1") {
        AlbumLedger read;
        return parseAlbumRecord(sealed(header + "\nalbum\tid\t1\nphoto\t" + fields + "\n", 1), read);
    };
    EXPECT_TRUE(withPhoto("p.jpg\thttp://h\tcaption\t5\tf.jpg\t/large/\t10\t20"));
    EXPECT_FALSE(withPhoto("p.jpg\thttp://h\tcaption\t5\tf.jpg\t/large/\t10\t20", "piclade album record 2"));
    EXPECT_FALSE(withPhoto("p.jpg\thttp://h\tcaption\t5\tf.jpg\t/large/\t10"));  // a field short
    AlbumLedger read;
    EXPECT_FALSE(parseAlbumRecord(sealed("piclade album record 1\nalbum\tid\t1\n", 1), read));  // a line short

    EXPECT_TRUE(withPhoto("p\th\tc\t-9223372036854775808\tf\t/large/\t18446744073709551615\t0"));
    for (const char* number : {"", "-", "-0", "+5", "05", " 5", "9223372036854775808", "-9223372036854775809", "1e3"})
        EXPECT_FALSE(withPhoto(std::string("p\th\tc\t") + number + "\tf\t/large/\t1\t0")) << number;
    for (const char* number : {"18446744073709551616", "-1", "0x10"})
        EXPECT_FALSE(withPhoto(std::string("p\th\tc\t1\tf\t/large/\t") + number + "\t0")) << number;

    EXPECT_TRUE(withPhoto("a\\xC4\\xe3\th\ta\\tb\\u00e9\\uD83D\\uDE00\xE4\xB8\xAD\t1\tf\t/large/\t1\t0"));
    for (const char* caption : {"trailing\\", "\\q", "\\u12", "raw\rreturn", "\\xC4", "\xC0\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80",
                                "\xE4\xB8"})
        EXPECT_FALSE(withPhoto(std::string("p\th\t") + caption + "\t1\tf\t/large/\t1\t0")) << caption;
    for (const char* name : {"raw\xC4\xE3", "\\u0041", "\\x4"})
        EXPECT_FALSE(withPhoto(std::string(name) + "\th\tc\t1\tf\t/large/\t1\t0")) << name;
}

TEST(AlbumRecordText, ATornJournalLineIsSkippedAlone)
{
    const AlbumLedger ledger = hostileLedger();
    for (const SavedPhoto& saved : ledger.photos) {
        const std::string line = formatJournalLine(saved);
        EXPECT_EQ(line.find('\n'), line.size() - 1);  // one whole line, whatever the photo holds
        EXPECT_EQ(parseJournal(line), std::vector<SavedPhoto>{saved});
    }
    const std::string first = formatJournalLine(ledger.photos[0]);
    const std::string second = formatJournalLine(ledger.photos[1]);
    const std::string third = formatJournalLine(ledger.photos[3]);
    // A run killed while writing the third line, at every byte of it.
    for (size_t length = 0; length < third.size(); ++length) {
        const std::vector<SavedPhoto> read = parseJournal(first + second + third.substr(0, length));
        ASSERT_EQ(read.size(), 2u) << length;
        EXPECT_EQ(read[0], ledger.photos[0]);
        EXPECT_EQ(read[1], ledger.photos[1]);
    }
    // A torn line that a later run ended, then more lines: only the torn one is lost.
    const std::vector<SavedPhoto> after = parseJournal(first + second.substr(0, second.size() / 2) + "\n" + third);
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after[0], ledger.photos[0]);
    EXPECT_EQ(after[1], ledger.photos[3]);
    // A changed byte anywhere in the middle line spoils that line only.
    for (size_t at = 0; at + 1 < second.size(); ++at) {
        std::string garbled = second;
        garbled[at] = static_cast<char>(garbled[at] ^ 0x04);
        const std::vector<SavedPhoto> read = parseJournal(first + garbled + third);
        ASSERT_EQ(read.size(), 2u) << at;
        EXPECT_EQ(read[1], ledger.photos[3]);
    }
    EXPECT_TRUE(parseJournal("").empty());
    EXPECT_TRUE(parseJournal("\n\n\xFF\n").empty());
}
