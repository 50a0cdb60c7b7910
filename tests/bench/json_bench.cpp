// JSON parse throughput of the program's reader against RapidJSON's DOM parser on the same text
// (medians of interleaved rounds, with their smallest and largest), and parse time and peak memory
// for 10 MB of each hostile shape against an ordinary answer, or the time and memory to refuse
// the shapes the reader refuses (medians of rounds too).
#include "bench_util.h"
#include "hostile_json.h"
#include "text/encoding.h"
#include "text/json_document.h"

#include <cstring>
#include <iterator>
#include <rapidjson/document.h>
#include <psapi.h>
#include <string>
#include <vector>

namespace {

std::string photoListPage(int photos, int total)
{
    std::string text = "{\"result\":true,\"data\":{\"album_id\":\"3550000000\",\"total\":";
    text += std::to_string(total);
    text += ",\"photo_list\":[";
    for (int i = 0; i < photos; ++i) {
        if (i) text += ',';
        text += photoEntry(i);
    }
    return text + "]},\"code\":0,\"msg\":\"\"}";
}

constexpr int kRounds = 7;  // interleaved rounds of both sides; figures are their medians

void compare(const char* name, const std::string& text)
{
    const double megabytes = static_cast<double>(text.size()) / 1e6;
    const std::wstring wide = toUtf16(text);
    const Rounds parse = interleaved(
        kRounds,
        [&] {
            JsonDocument doc;
            if (!doc.Parse(text, true)) std::printf("parse failed\n");
        },
        [&] {
            rapidjson::Document doc;
            doc.Parse(text.data(), text.size());
            if (doc.HasParseError()) std::printf("rapidjson parse failed\n");
        });
    // The conversion alone and the reader on UTF-16 text alone, interleaved the same way.
    const Rounds parts = interleaved(
        kRounds,
        [&] {
            if (toUtf16(text).size() != wide.size()) std::printf("conversion differs\n");
        },
        [&] {
            JsonDocument doc;
            if (!doc.ParseW(wide, true)) std::printf("parse failed\n");
        });
    const std::string prefix = std::string("json_parse_") + name;
    reportSpread(prefix + "_cp936_to_utf16", ratesOf(megabytes, parts.ours), "MB/s");
    reportSpread(prefix + "_piclade_utf16_input", ratesOf(megabytes, parts.theirs), "MB/s");
    reportSpread(prefix + "_piclade", ratesOf(megabytes, parse.ours), "MB/s");
    reportSpread(prefix + "_rapidjson", ratesOf(megabytes, parse.theirs), "MB/s");
    reportSpread(prefix + "_ratio", parse.ratios, "x");
}

} // namespace

struct Shape {
    const char* name;
    std::string (*make)(size_t bytes);
    bool refused = false;  // a text the reader must refuse: its figure is the time to refuse it
};

constexpr Shape kShapes[] = {
    {"ordinary", ordinaryAnswer},
    {"commas", commasAfterAMember},
    {"repeated_key", oneKeyRepeated},
    {"deep_nesting", deepNesting},
    {"long_string", oneLongString},
    {"long_number", oneLongNumber},
    {"too_deep", nestedTooDeep, true},
};
constexpr size_t kShapeBytes = 10 * 1000 * 1000;

double workingSetMb(bool peak)
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    K32GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return static_cast<double>(peak ? counters.PeakWorkingSetSize : counters.WorkingSetSize) / 1048576.0;
}

// In a process of its own, so that the peak belongs to this shape alone: the best parse time
// and the peak memory the parse added to the text it read. Prints "<ms> <MB> <1 when the parse
// ended as the shape expects>".
int measureShape(const char* name)
{
    for (const Shape& shape : kShapes) {
        if (std::strcmp(shape.name, name) != 0) continue;
        const std::string text = shape.make(kShapeBytes);
        const double before = workingSetMb(false);
        bool expected = true;
        const double seconds = bestOf([&] {
            JsonDocument doc;
            expected = doc.Parse(text, true) != shape.refused && expected;
        }, 0.5);
        std::printf("%.3f %.1f %d\n", seconds * 1000, workingSetMb(true) - before, expected ? 1 : 0);
        return 0;
    }
    return 1;
}

// Runs this program again for one shape and reads its answer.
bool shapeFigures(const char* name, double& milliseconds, double& megabytes)
{
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return false;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(self) + L"\" --shape " + toUtf16(name);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process{};
    const bool started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
    CloseHandle(writeEnd);
    std::string answer;
    if (started) {
        char chunk[256];
        DWORD got = 0;
        while (ReadFile(readEnd, chunk, sizeof chunk, &got, nullptr) && got) answer.append(chunk, got);
        WaitForSingleObject(process.hProcess, INFINITE);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(readEnd);
    int parsed = 0;
    return std::sscanf(answer.c_str(), "%lf %lf %d", &milliseconds, &megabytes, &parsed) == 3 && parsed == 1;
}

// Rounds of every shape, each in a process of its own; each round's ratios are to that round's
// ordinary answer, so that a load that comes and goes weighs on both alike. The figures are the
// medians of the rounds with their smallest and largest.
void hostileShapes()
{
    constexpr int kShapeRounds = 5;
    constexpr size_t kCount = std::size(kShapes);
    std::vector<double> ms[kCount], mb[kCount], timeRatios[kCount], memoryRatios[kCount];
    std::vector<bool> failed(kCount, false);
    for (int round = 0; round < kShapeRounds; ++round) {
        double ordinaryMs = 0, ordinaryMb = 0;
        for (size_t i = 0; i < kCount; ++i) {
            const Shape& shape = kShapes[i];
            double shapeMs = 0, shapeMb = 0;
            if (!shapeFigures(shape.name, shapeMs, shapeMb)) {
                failed[i] = true;
                continue;
            }
            ms[i].push_back(shapeMs);
            mb[i].push_back(shapeMb);
            if (shape.make == ordinaryAnswer) {
                ordinaryMs = shapeMs;
                ordinaryMb = shapeMb;
            } else if (ordinaryMs > 0 && ordinaryMb > 0) {
                timeRatios[i].push_back(shapeMs / ordinaryMs);
                memoryRatios[i].push_back(shapeMb / ordinaryMb);
            }
        }
    }
    for (size_t i = 0; i < kCount; ++i) {
        const std::string prefix = std::string("json_hostile_") + kShapes[i].name;
        if (failed[i]) std::printf("%s failed\n", prefix.c_str());
        // A refused shape's time and memory are those of its refusal, measured against the same
        // ordinary answer read whole.
        reportSpread(prefix + (kShapes[i].refused ? "_refusal_ms" : "_parse_ms"), ms[i], "ms");
        reportSpread(prefix + "_peak_memory", mb[i], "MB");
        reportSpread(prefix + "_time_ratio", timeRatios[i], "x");
        reportSpread(prefix + "_memory_ratio", memoryRatios[i], "x");
    }
}

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--shape") == 0) return measureShape(argv[2]);
    if (argc == 2 && std::strcmp(argv[1], "--hostile") == 0) {
        hostileShapes();
        return 0;
    }
    const bool parseOnly = argc == 2 && std::strcmp(argv[1], "--parse") == 0;
    compare("photo_page", photoListPage(32, 33));
    std::string big = photoListPage(0, 0);
    int photos = 32;
    while (big.size() < 5000000) {
        photos *= 2;
        big = photoListPage(photos, photos);
    }
    compare("5mb", big);
    if (!parseOnly) hostileShapes();
    return 0;
}
