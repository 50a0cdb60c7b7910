// Each request of the real program as the service expects it, read from the emulator's record of
// what arrived: one run signs in, lists an owner of two album pages (one album without a cover)
// and downloads a small album in "标清"; then every request is held against the form of its kind:
// its method, path and query exactly, the default headers, the session's cookies where they belong
// and nowhere else, and the main site as Referer for pictures alone.
#include <gtest/gtest.h>

#include <cstdio>
#include <iterator>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "tests/e2e/session.h"

namespace {

constexpr int kWithoutCover = 7;  // "没有封面" (3660000008), 3 photos, no cover_pic

struct RequestForm {
    const char* kind;     // as the emulator names it
    const char* service;  // the host it goes to
    const char* address;  // path and query, a regular expression of the whole
    bool session;         // carries the session's cookies (and only these carry any)
    bool referer;         // carries the main site as Referer
};

const RequestForm kRequestForms[] = {
    {"sign_in", "sso", R"(/sso/qrcode/image\?entry=weibo&size=180&callback=STK_15033920845911)", false, false},
    {"sign_in", "sso", R"(/sso/qrcode/check\?entry=weibo&qrid=[0-9A-Za-z]*&callback=STK_1503392084591317)", false, false},
    // The main site's domain is 127.0.0.1 in a build for the emulator.
    {"sign_in", "sso",
     R"(/sso/login\.php\?entry=weibo&returntype=TEXT&crossdomain=1&cdult=3&domain=127\.0\.0\.1&alt=[-0-9A-Za-z]+&savestate=30&callback=STK_150339562381621)",
     false, false},
    // The address the sign-on answer names, and the hop the cross-domain host sends it on to.
    {"sign_in", "cross", R"(/crossdomain\?ticket=[0-9A-Za-z]+&action=login)", false, false},
    {"sign_in", "cross", R"(/crossdomain/final\?ticket=[0-9A-Za-z]+)", false, false},
    {"qr", "images", R"(/qr/[0-9A-Za-z]+\.png)", false, false},
    {"main_page", "main", "/", true, false},
    {"avatar", "images", R"(/avatar/2000000001\.png)", false, false},
    {"homepage", "main", R"(/u/1000000002\?from=myfollow_all)", true, false},
    {"album_list", "photos", R"(/albums/get_all\?uid=1000000002&page=[12]&count=20&__rnd=1504067425791)", true, false},
    {"cover", "images", R"(/thumb150/36600000[0-9]{2}cover\.jpg)", false, false},
    {"cover", "images", R"(/thumb150/placeholder\.jpg)", false, false},
    {"photo_list", "photos", R"(/photos/get_all\?uid=1000000002&album_id=3660000008&count=32&page=1&type=&__rnd=1504068705105)", true, false},
    {"picture", "images", R"(/mw690/3660000008000[1-3]pic\.jpg)", false, true},
};

// The headers every request carries; WinHTTP adds Host and Connection of its own.
const std::map<std::string, std::string> kDefaultHeaders = {
    {"Accept", "*/*"},
    {"Accept-Language", "zh-cn"},
    {"Cache-Control", "no-cache"},
    {"User-Agent", "Mozilla/5.0 (compatible; MSIE 10.0; Windows NT 6.2)"},
};

// What a request sent that its form does not allow; empty when it is as it should be.
std::string formFaults(const LoggedRequest& request, const RequestForm& form, const std::string& session)
{
    std::string faults;
    std::map<std::string, int> seen;
    for (const auto& [name, value] : request.headers) {
        ++seen[name];
        const auto wanted = kDefaultHeaders.find(name);
        if (wanted != kDefaultHeaders.end()) {
            if (value != wanted->second) faults += " " + name + ": \"" + value + "\";";
        } else if (name == "Cookie") {
            if (!form.session) faults += " a Cookie header;";
            else if (value != session) faults += " Cookie \"" + value + "\", not the session's \"" + session + "\";";
        } else if (name == "Referer") {
            if (!form.referer) faults += " a Referer;";
            else if (value != "http://127.0.0.1:" + std::to_string(PICLADE_TEST_PORT_BASE) + "/") faults += " Referer \"" + value + "\";";
        } else if (name != "Host" && name != "Connection") {
            faults += " " + name + ": \"" + value + "\";";
        }
    }
    for (const auto& [name, value] : kDefaultHeaders)
        if (seen[name] != 1) faults += " " + name + " sent " + std::to_string(seen[name]) + " times;";
    if (form.session && seen["Cookie"] != 1) faults += " no session;";
    if (form.referer && seen["Referer"] != 1) faults += " no Referer;";
    if (seen["Cookie"] > 1 || seen["Referer"] > 1) faults += " a header twice;";
    if (request.method != "GET") faults += " method " + request.method + ";";
    return faults;
}

} // namespace

TEST(EndToEndRequests, EachKindGoesOutAsTheServiceExpectsIt)
{
    ProgramSession session;  // resets the emulator: its record begins with the program
    ASSERT_TRUE(session.start());
    ASSERT_TRUE(session.analyse("1000000002"));
    ASSERT_TRUE(session.pilot().albumMenu(kWithoutCover, L"标清"));
    ASSERT_TRUE(session.download(kWithoutCover));
    EXPECT_EQ(session.pilot().status(), finishedStatus(3, 3));

    const std::vector<LoggedRequest> log = requestLog();
    // The session is what the cross-domain step set, its deleted cookie left out.
    std::string cookies;
    for (const LoggedRequest& request : log)
        if (request.kind == "main_page" && cookies.empty()) cookies = request.cookie;
    EXPECT_TRUE(std::regex_match(cookies, std::regex(R"(SUB=SUB[0-9a-f]+; SUBP=0033WrSXqPxfM72-Ws9jqgMF55529P9D9W)"))) << cookies;

    const size_t forms = std::size(kRequestForms);
    std::vector<int> matched(forms);
    std::map<std::string, int> addresses;
    for (const LoggedRequest& request : log) {
        ++addresses[request.path];
        size_t form = 0;
        while (form < forms && !(request.kind == kRequestForms[form].kind && request.service == kRequestForms[form].service &&
                                 std::regex_match(request.path, std::regex(kRequestForms[form].address))))
            ++form;
        if (form == forms) {
            ADD_FAILURE() << "a request of no known form: " << request.service << " " << request.path;
            continue;
        }
        ++matched[form];
        const std::string faults = formFaults(request, kRequestForms[form], cookies);
        EXPECT_TRUE(faults.empty()) << request.service << " " << request.path << ":" << faults;
    }
    for (size_t form = 0; form < forms; ++form) EXPECT_GT(matched[form], 0) << "no request of the form " << kRequestForms[form].address;

    // Both album pages once; each album's own cover once, and the placeholder for the one without.
    EXPECT_EQ(addresses["/albums/get_all?uid=1000000002&page=1&count=20&__rnd=1504067425791"], 1);
    EXPECT_EQ(addresses["/albums/get_all?uid=1000000002&page=2&count=20&__rnd=1504067425791"], 1);
    for (int album = 1; album <= 25; ++album) {
        char cover[40];
        std::snprintf(cover, sizeof cover, "/thumb150/36600000%02dcover.jpg", album);
        EXPECT_EQ(addresses[cover], album == kWithoutCover + 1 ? 0 : 1) << cover;
    }
    EXPECT_EQ(addresses["/thumb150/placeholder.jpg"], 1);
}
