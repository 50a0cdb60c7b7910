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

uint64_t fnv1a64(std::string_view bytes)
{
    uint64_t hash = 0xcbf29ce484222325ull;
    for (const char byte : bytes) {
        hash ^= static_cast<unsigned char>(byte);
        hash *= 0x100000001b3ull;
    }
    return hash;
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

const std::string kGoodPhotoLine = "photo\tp.jpg\thttp://h\tcaption\t5\tf.jpg\t/large/\t10\t20\n";

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

TEST(AlbumRecordText, AnEmptyAlbumIsARecordToo)
{
    AlbumLedger empty;
    AlbumLedger read;
    read.albumId = "something";
    ASSERT_TRUE(parseAlbumRecord(formatAlbumRecord(empty), read));
    EXPECT_EQ(read, empty);
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

TEST(AlbumRecordText, RecordsOfAnotherVersionOrShapeAreRejected)
{
    const std::string album = "album\t1001\t2\n";
    AlbumLedger read;
    ASSERT_TRUE(parseAlbumRecord(sealed("piclade album record 1\n" + album + kGoodPhotoLine, 1), read));
    EXPECT_EQ(read.photos.size(), 1u);
    EXPECT_FALSE(parseAlbumRecord(sealed("piclade album record 2\n" + album + kGoodPhotoLine, 1), read));
    EXPECT_FALSE(parseAlbumRecord(sealed("piclade album record 1\n" + album + kGoodPhotoLine, 2), read));  // count
    EXPECT_FALSE(parseAlbumRecord(sealed("piclade album record 1\n" + album + kGoodPhotoLine, 0), read));
    EXPECT_FALSE(parseAlbumRecord(sealed("piclade album record 1\n" + kGoodPhotoLine, 1), read));        // no album line
    EXPECT_FALSE(parseAlbumRecord(sealed("piclade album record 1\n" + album + "photo\tp\t\t\t5\t\t\t1\n", 1), read));  // a field short
    EXPECT_FALSE(parseAlbumRecord(sealed("piclade album record 1\n" + album + "\n", 0), read));            // a blank line
    EXPECT_FALSE(parseAlbumRecord("", read));
    EXPECT_FALSE(parseAlbumRecord("\n", read));
    EXPECT_FALSE(parseAlbumRecord("end\t0\t" + hex16(fnv1a64("")) + "\n", read));
}

TEST(AlbumRecordText, NumbersAreReadStrictly)
{
    auto withTotal = [](const std::string& total) {
        AlbumLedger read;
        return parseAlbumRecord(sealed("piclade album record 1\nalbum\tid\t" + total + "\n", 0), read);
    };
    EXPECT_TRUE(withTotal("0"));
    EXPECT_TRUE(withTotal("-9223372036854775808"));
    EXPECT_TRUE(withTotal("9223372036854775807"));
    for (const char* bad : {"", "-", "-0", "+5", "05", " 5", "5 ", "9223372036854775808", "-9223372036854775809", "1e3",
                            "0x10", "99999999999999999999999"})
        EXPECT_FALSE(withTotal(bad)) << bad;

    auto withBytes = [](const std::string& bytes) {
        AlbumLedger read;
        return parseAlbumRecord(sealed("piclade album record 1\nalbum\tid\t1\nphoto\tp\th\tc\t1\tf\t/large/\t" + bytes + "\t0\n", 1), read);
    };
    EXPECT_TRUE(withBytes("18446744073709551615"));
    EXPECT_FALSE(withBytes("18446744073709551616"));
    EXPECT_FALSE(withBytes("-1"));
    EXPECT_FALSE(withBytes("184467440737095516150"));
}

TEST(AlbumRecordText, FieldsTakeOnlyTheEscapesTheyWrite)
{
    auto withCaption = [](const std::string& caption, std::wstring* out = nullptr) {
        AlbumLedger read;
        const bool good =
            parseAlbumRecord(sealed("piclade album record 1\nalbum\tid\t1\nphoto\tp\th\t" + caption + "\t1\tf\t/large/\t1\t0\n", 1), read);
        if (good && out) *out = read.photos[0].caption;
        return good;
    };
    std::wstring caption;
    ASSERT_TRUE(withCaption("a\\tb\\\\n\\u00e9\\uD83D\\uDE00\xE4\xB8\xAD", &caption));
    EXPECT_EQ(caption, L"a\tb\\n\u00E9\U0001F600\u4E2D");
    EXPECT_FALSE(withCaption("trailing\\"));
    EXPECT_FALSE(withCaption("\\q"));
    EXPECT_FALSE(withCaption("\\u12"));
    EXPECT_FALSE(withCaption("raw\rreturn"));
    EXPECT_FALSE(withCaption("\xC0\x80"));          // an overlong NUL
    EXPECT_FALSE(withCaption("\xED\xA0\x80"));      // a surrogate spelt in UTF-8
    EXPECT_FALSE(withCaption("\xF4\x90\x80\x80"));  // past U+10FFFF
    EXPECT_FALSE(withCaption("\xE4\xB8"));          // a character cut short

    auto withPicName = [](const std::string& name, std::string* out = nullptr) {
        AlbumLedger read;
        const bool good =
            parseAlbumRecord(sealed("piclade album record 1\nalbum\tid\t1\nphoto\t" + name + "\th\tc\t1\tf\t/large/\t1\t0\n", 1), read);
        if (good && out) *out = read.photos[0].picName;
        return good;
    };
    std::string name;
    ASSERT_TRUE(withPicName("a\\xC4\\xe3\\t", &name));
    EXPECT_EQ(name, "a\xC4\xE3\t");
    EXPECT_FALSE(withPicName("raw\xC4\xE3"));  // 8-bit bytes are always written as escapes
    EXPECT_FALSE(withPicName("\\u0041"));
    EXPECT_FALSE(withPicName("\\x4"));
}

TEST(AlbumRecordText, AJournalLineIsOneLineThatComesBack)
{
    for (const SavedPhoto& saved : hostileLedger().photos) {
        const std::string line = formatJournalLine(saved);
        ASSERT_FALSE(line.empty());
        EXPECT_EQ(line.back(), '\n');
        EXPECT_EQ(line.find('\n'), line.size() - 1);
        const std::vector<SavedPhoto> read = parseJournal(line);
        ASSERT_EQ(read.size(), 1u);
        EXPECT_EQ(read[0], saved);
    }
}

TEST(AlbumRecordText, ATornJournalLineIsSkippedAlone)
{
    const AlbumLedger ledger = hostileLedger();
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

TEST(AlbumRecordText, ALargeAlbumsRecordGrowsWithItsPhotos)
{
    AlbumLedger ledger;
    ledger.albumId = "3555502164890927";
    ledger.total = 2000;
    for (int i = 0; i < 2000; ++i)
        ledger.photos.push_back(photo("006pic" + std::to_string(i) + ".jpg", L"\u5BB6\u4EBA " + std::to_wstring(i),
                                      L"[2017.09.02-12.00]\u5BB6\u4EBA-006pic" + std::to_wstring(i) + L".jpg"));
    const std::string text = formatAlbumRecord(ledger);
    size_t lineBytes = 0;
    for (const SavedPhoto& saved : ledger.photos) lineBytes += formatJournalLine(saved).size();
    EXPECT_LT(text.size(), lineBytes);  // the record holds no more than the journal lines it folds
    EXPECT_GT(text.size(), 2000u * 100);
    AlbumLedger read;
    ASSERT_TRUE(parseAlbumRecord(text, read));
    EXPECT_EQ(read, ledger);
}
