// JSON parse throughput of the program's reader against RapidJSON's DOM parser on the same text.
#include "bench_util.h"
#include "text/encoding.h"
#include "text/json_document.h"

#include <rapidjson/document.h>
#include <string>

namespace {

std::string photo(int i)
{
    return "{\"photo_id\":\"" + std::to_string(4300000000LL + i) + "\",\"album_id\":\"3550000000\",\"uid\":\"1234567890\","
           "\"pic_host\":\"http:\\/\\/wx" + std::to_string(1 + i % 4) + ".sinaimg.example.cn\",\"pic_name\":\"006abc" +
           std::to_string(i) + "gy1g0xyz.jpg\",\"caption_render\":\"\\u76f8\\u518c\\u7167\\u7247 " + std::to_string(i) +
           "\",\"timestamp\":" + std::to_string(1500000000 + i * 61) + ",\"created_at\":\"2017-09-02\",\"is_favorited\":false,"
           "\"count\":{\"likes\":" + std::to_string(i % 17) + ",\"comments\":0,\"reposts\":1},\"type\":3,\"source\":0,"
           "\"tags\":[],\"width\":1080,\"height\":1440,\"ratio\":0.75}";
}

std::string photoListPage(int photos, int total)
{
    std::string text = "{\"result\":true,\"data\":{\"album_id\":\"3550000000\",\"total\":" + std::to_string(total) +
                       ",\"photo_list\":[";
    for (int i = 0; i < photos; ++i) text += (i ? "," : "") + photo(i);
    return text + "]},\"code\":0,\"msg\":\"\"}";
}

void compare(const char* name, const std::string& text)
{
    const double megabytes = static_cast<double>(text.size()) / 1e6;
    const double ours = bestOf([&] {
        JsonDocument doc;
        if (!doc.Parse(text, true)) std::printf("parse failed\n");
    });
    const double theirs = bestOf([&] {
        rapidjson::Document doc;
        doc.Parse(text.data(), text.size());
        if (doc.HasParseError()) std::printf("rapidjson parse failed\n");
    });
    const std::wstring wide = toUtf16(text);
    const double conversion = bestOf([&] {
        if (toUtf16(text).size() != wide.size()) std::printf("conversion differs\n");
    });
    const double oursWide = bestOf([&] {
        JsonDocument doc;
        if (!doc.ParseW(wide, true)) std::printf("parse failed\n");
    });
    const std::string prefix = std::string("json_parse_") + name;
    report((prefix + "_cp936_to_utf16").c_str(), megabytes / conversion, "MB/s");
    report((prefix + "_piclade_utf16_input").c_str(), megabytes / oursWide, "MB/s");
    report((prefix + "_piclade").c_str(), megabytes / ours, "MB/s");
    report((prefix + "_rapidjson").c_str(), megabytes / theirs, "MB/s");
    report((prefix + "_ratio").c_str(), theirs / ours, "x");
}

} // namespace

int main()
{
    compare("photo_page", photoListPage(32, 33));
    std::string big = photoListPage(0, 0);
    int photos = 32;
    while (big.size() < 5000000) big = photoListPage(photos *= 2, photos);
    compare("5mb", big);
    return 0;
}
