// The album record and journal on arbitrary bytes: a record that parses writes back to text that
// parses to the same ledger (and the same text again), and no cut of that text parses; a journal
// line that parses writes back to one line giving the same photo. The bytes also build a ledger of
// their own (any 8-bit and UTF-16 text, lone surrogates too, any numbers), which must come back
// whole from its record and its journal lines, and a journal cut anywhere gives exactly the lines
// before the cut. The input is also sealed afresh, as a record and as journal lines, so that the
// field readers behind the checksums see every mutation.
#include "fuzz_support.h"
#include "text/album_record_text.h"

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace {

// Takes fields one after another from the input; past its end everything is empty or 0.
class Fields {
public:
    Fields(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }

    uint64_t number()
    {
        uint64_t value = 0;
        for (int i = 0; i < 8; ++i) value = value << 8 | byte();
        return value;
    }

    // A length byte, then that many bytes.
    std::string bytes()
    {
        const size_t length = byte();
        std::string text;
        for (size_t i = 0; i < length && at_ < size_; ++i) text += static_cast<char>(byte());
        return text;
    }

    // A length byte, then that many UTF-16LE units.
    std::wstring units()
    {
        const size_t length = byte();
        std::wstring text;
        for (size_t i = 0; i < length && at_ + 1 < size_; ++i) {
            const unsigned low = byte();
            text += static_cast<wchar_t>(low | byte() << 8);
        }
        return text;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

AlbumLedger ledgerFrom(const uint8_t* data, size_t size)
{
    Fields fields(data, size);
    AlbumLedger ledger;
    ledger.albumId = fields.bytes();
    ledger.total = static_cast<int64_t>(fields.number());
    const int photos = fields.byte() % 6;
    for (int i = 0; i < photos; ++i) {
        SavedPhoto& photo = ledger.photos.emplace_back();
        photo.picName = fields.bytes();
        photo.picHost = fields.bytes();
        photo.caption = fields.units();
        photo.timestamp = static_cast<int64_t>(fields.number());
        photo.fileName = fields.units();
        photo.sizePath = fields.bytes();
        photo.bytes = fields.number();
        photo.modified = fields.number();
    }
    return ledger;
}

std::string hex16(uint64_t value)
{
    std::string text;
    for (int shift = 60; shift >= 0; shift -= 4) text += "0123456789abcdef"[(value >> shift) & 0xF];
    return text;
}

// The text with a right end line after it, counting its lines past the first two as photos.
std::string sealedRecord(std::string_view text)
{
    std::string body(text);
    if (body.empty() || body.back() != '\n') body += '\n';
    size_t lines = 0;
    for (const char c : body) lines += c == '\n';
    return body + "end\t" + std::to_string(lines >= 2 ? lines - 2 : 0) + "\t" + hex16(fnv1a64(body)) + "\n";
}

// Every line of the text with its right checksum after it.
std::string sealedJournal(std::string_view text)
{
    std::string journal;
    size_t at = 0;
    while (at <= text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = text.substr(at, end - at);
        journal += line;
        journal += '\t';
        journal += hex16(fnv1a64(line));
        journal += '\n';
        at = end + 1;
    }
    return journal;
}

void checkParsedRecord(const AlbumLedger& parsed, size_t cutChoice)
{
    const std::string written = formatAlbumRecord(parsed);
    AlbumLedger again;
    FUZZ_CHECK(parseAlbumRecord(written, again));
    FUZZ_CHECK(again == parsed);
    FUZZ_CHECK(formatAlbumRecord(again) == written);
    AlbumLedger cut;
    FUZZ_CHECK(!parseAlbumRecord(std::string_view(written).substr(0, cutChoice % written.size()), cut));
}

void checkBuiltLedger(const AlbumLedger& ledger, size_t cutChoice)
{
    AlbumLedger read;
    FUZZ_CHECK(parseAlbumRecord(formatAlbumRecord(ledger), read));
    FUZZ_CHECK(read == ledger);

    std::string journal;
    std::vector<size_t> lineEnds;
    for (const SavedPhoto& photo : ledger.photos) {
        const std::string line = formatJournalLine(photo);
        FUZZ_CHECK(!line.empty() && line.find('\n') == line.size() - 1);
        journal += line;
        lineEnds.push_back(journal.size());
    }
    FUZZ_CHECK(parseJournal(journal) == ledger.photos);
    if (journal.empty()) return;
    // A run killed anywhere keeps the whole lines written before.
    const size_t cut = cutChoice % journal.size();
    size_t whole = 0;
    while (whole < lineEnds.size() && lineEnds[whole] <= cut) ++whole;
    const std::vector<SavedPhoto> kept = parseJournal(std::string_view(journal).substr(0, cut));
    FUZZ_CHECK(kept.size() == whole);
    for (size_t i = 0; i < whole; ++i) FUZZ_CHECK(kept[i] == ledger.photos[i]);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const size_t cutChoice = size > 0 ? data[size - 1] * 131u + data[0] : 0;

    AlbumLedger parsed;
    if (parseAlbumRecord(text, parsed)) checkParsedRecord(parsed, cutChoice);
    AlbumLedger resealed;
    if (parseAlbumRecord(sealedRecord(text), resealed)) checkParsedRecord(resealed, cutChoice);

    const std::string resealedJournal = sealedJournal(text);
    for (const std::string_view journal : {text, std::string_view(resealedJournal)}) {
        for (const SavedPhoto& photo : parseJournal(journal)) {
            const std::vector<SavedPhoto> again = parseJournal(formatJournalLine(photo));
            FUZZ_CHECK(again.size() == 1 && again[0] == photo);
        }
    }

    checkBuiltLedger(ledgerFrom(data, size), cutChoice);
    return 0;
}
