#include "hostile_json.h"

#include "text/json_reader.h"

std::string photoEntry(int i)
{
    return "{\"photo_id\":\"" + std::to_string(4300000000LL + i) + "\",\"album_id\":\"3550000000\",\"uid\":\"1234567890\","
           "\"pic_host\":\"http:\\/\\/wx" + std::to_string(1 + i % 4) + ".sinaimg.example.cn\",\"pic_name\":\"006abc" +
           std::to_string(i) + "gy1g0xyz.jpg\",\"caption_render\":\"\\u76f8\\u518c\\u7167\\u7247 " + std::to_string(i) +
           "\",\"timestamp\":" + std::to_string(1500000000 + i * 61) + ",\"created_at\":\"2017-09-02\",\"is_favorited\":false,"
           "\"count\":{\"likes\":" + std::to_string(i % 17) + ",\"comments\":0,\"reposts\":1},\"type\":3,\"source\":0,"
           "\"tags\":[],\"width\":1080,\"height\":1440,\"ratio\":0.75}";
}

namespace {

// Texts are built in storage reserved once, so that building them leaves no peak of its own.
std::string reserved(size_t bytes)
{
    std::string text;
    text.reserve(bytes + 1024);
    return text;
}

} // namespace

std::string ordinaryAnswer(size_t bytes)
{
    std::string text = reserved(bytes);
    text = "{\"result\":true,\"data\":{\"album_id\":\"3550000000\",\"total\":0,\"photo_list\":[";
    for (int i = 0; text.size() + 600 < bytes; ++i) {
        if (i) text += ',';
        text += photoEntry(i);
    }
    text += "]},\"code\":0,\"msg\":\"\"}";
    return text;
}

std::string commasAfterAMember(size_t bytes)
{
    std::string text = reserved(bytes);
    text = "{\"a\":1";
    text.append(bytes - text.size() - 1, ',');
    text += '}';
    return text;
}

std::string oneKeyRepeated(size_t bytes)
{
    // Many distinct keys first, then the last of them again and again: a search for the
    // member's place in the order would walk them all every time.
    std::string text = reserved(bytes);
    text += '{';
    for (int i = 0; i < 100000; ++i) {
        const std::string number = std::to_string(i);
        text.append("\"k").append(number).append("\":").append(number).append(",");
    }
    while (text.size() + 16 < bytes) text.append("\"k99999\":1,");
    text.append("\"k99999\":2}");
    return text;
}

std::string deepNesting(size_t bytes)
{
    std::string text = reserved(bytes);
    const size_t levels = kJsonMaxDepth - 1;  // below the outer array
    const size_t allowance = kJsonFreeValues + bytes / kJsonBytesPerValue;
    text += '[';
    size_t values = 0;
    while (values + levels <= allowance && text.size() + 2 * levels + 2 <= bytes) {
        if (text.size() > 1) text += ',';
        text.append(levels, '[');
        text.append(levels, ']');
        values += levels;
    }
    text.append(bytes - 1 - text.size(), ' ');  // the rest blank: the text's size allows its values
    text += ']';
    return text;
}

std::string nestedTooDeep(size_t bytes)
{
    std::string text = reserved(bytes);
    text.append(bytes / 2, '[');
    text.append(bytes / 2, ']');
    return text;
}

std::string oneLongString(size_t bytes)
{
    std::string text = reserved(bytes);
    text = "{\"s\":\"";
    text.append(bytes - text.size() - 2, 'x');
    text += "\"}";
    return text;
}

std::string oneLongNumber(size_t bytes)
{
    std::string text = reserved(bytes);
    text = "{\"n\":1.";
    while (text.size() + 1 < bytes) text += static_cast<char>('0' + text.size() % 10);
    text += '}';
    return text;
}
