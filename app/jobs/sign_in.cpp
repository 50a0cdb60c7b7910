#include "app/jobs/sign_in.h"

#include <string>

#include "app/core/app_state.h"
#include "app/core/shared_objects.h"
#include "app/jobs/job_window.h"
#include "app/jobs/service_exchange.h"
#include "app/jobs/service_hosts.h"
#include "app/core/text_cut.h"
#include "net/http_client.h"
#include "text/encoding.h"
#include "text/json_document.h"
#include "ui/image_object.h"

namespace {

constexpr int kConfirmed = 20000000;
constexpr int kFirstNewCodeStatus = 50114003;

// A GET whose answer is read as program text; with the session's cookies, its redirects are
// followed hop by hop so that they reach only the service's own hosts.
std::string get(const std::string& url, bool withCookies = false)
{
    HttpClient client;
    if (withCookies) {
        const std::string cookies = appState().cookies.get();
        if (!sendToService(client, {url, cookies, {}})) return {};
        return client.responseText();
    }
    static_cast<void>(client.open("GET", url));  // a failed exchange reads as no text
    static_cast<void>(client.send());
    return client.responseText();
}

void showPicture(std::string_view bytes, bool smooth)
{
    if (!jobWindowConnected() || bytes.empty()) return;
    StatusHold hold;
    ImageObject image;
    if (image.LoadBytes(bytes)) showSignInPicture(image, smooth);  // a picture that does not load leaves the old one
}

// A new QR code on screen; false when the sign-on host gave none (the sign-in then ends).
bool showNewQrCode()
{
    JsonDocument answer;
    answer.Parse(stripJsonp(get(std::string("https://") + PICLADE_SSO_HOST +
                                "/sso/qrcode/image?entry=weibo&size=180&callback=STK_15033920845911")),
                 true);
    if (answer.GetInteger("retcode") != kConfirmed || answer.GetText("msg") != "succ") return false;
    appState().qrId.set(answer.GetText("data.qrid"));
    HttpClient image;
    static_cast<void>(image.open("GET", std::string("http:") + answer.GetText("data.image")));  // no picture keeps the old
    static_cast<void>(image.send());
    showPicture(image.responseView(), false);
    return true;
}

} // namespace

const char* qrStatusMessage(int code)
{
    switch (code) {
    case kConfirmed: return "登录成功,请输入微博主页分析相册";
    case 50114001: return "请打开微博客户端\"扫一扫\"";
    case 50114002: return "成功扫描，请在手机点击确认以登录";
    case 50114003: return "该二维码已过期，请重新扫描";
    case 50114004: return "该二维码已登录，请重新扫描";
    case 50114005: return "二维码错误";
    default: return "错误";
    }
}

int checkQrCode()
{
    JsonDocument answer;
    answer.Parse(stripJsonp(get(std::string("https://") + PICLADE_SSO_HOST + "/sso/qrcode/check?entry=weibo&qrid=" +
                                appState().qrId.get() + "&callback=STK_1503392084591317")),
                 true);
    const int64_t code = answer.GetInteger("retcode");
    {
        StatusHold hold;
        if (code == kConfirmed) appState().ssoTicket.set(answer.GetText("data.alt"));
    }
    return static_cast<int32_t>(code);
}

namespace {

// The main site's front page as the session sees it: it names the signed-in user. `toSignOn`
// tells whether the site sent the session to the sign-on host instead.
std::string frontPage(HttpClient& client, bool* toSignOn = nullptr)
{
    const std::string cookies = appState().cookies.get();
    return sendToService(client, {std::string("http://") + PICLADE_MAIN_SITE_HOST + "/", cookies, {}}, nullptr, toSignOn)
               ? client.responseTextUtf8()
               : std::string();
}

} // namespace

bool isSignedIn()
{
    HttpClient client;
    bool toSignOn = false;
    const std::string page = frontPage(client, &toSignOn);
    if (toSignOn) return false;
    // Only the front page itself, naming nobody, says the session is gone: no answer, an error or
    // another page says nothing about it.
    const bool frontPageShown = client.statusCode() == 200 && page.find("$CONFIG") != std::string::npos;
    return !frontPageShown || !cutBetween(page, "$CONFIG['uid']='", "';").empty();
}

int verifySession()
{
    HttpClient client;
    const std::string page = frontPage(client);
    const std::string uid = cutBetween(page, "$CONFIG['uid']='", "';");
    const std::string nick = cutBetween(page, "$CONFIG['nick']='", "';");
    const std::string avatar = cutBetween(page, "$CONFIG['avatar_large']='", "';");
    if (uid.empty() || nick.empty()) return 0;
    client.setAutoRedirect(true);  // the avatar goes without cookies: WinHTTP may follow its hops
    static_cast<void>(client.open("GET", std::string("http:") + avatar));  // the avatar is a nicety
    static_cast<void>(client.send());
    showPicture(client.responseView(), true);
    return 1;
}

int finishSignIn()
{
    JsonDocument answer;
    answer.Parse(stripJsonp(get(std::string("https://") + PICLADE_SSO_HOST +
                                "/sso/login.php?entry=weibo&returntype=TEXT&crossdomain=1&cdult=3&domain=" +
                                PICLADE_MAIN_SITE_DOMAIN + "&alt=" + appState().ssoTicket.get() +
                                "&savestate=30&callback=STK_150339562381621")),
                 true);
    const std::string crossUrl = answer.GetText("crossDomainUrlList.[2]");
    HttpClient cross;
    static_cast<void>(cross.open("GET", crossUrl));  // no cookies: verifySession tells
    static_cast<void>(cross.send());
    appState().cookies.set(cross.responseCookies());
    return verifySession();
}

namespace {

enum class SignInEnd {
    SignedIn,
    NoCode,   // the sign-on host gave no QR code
    Refused,  // the code was confirmed, but the main site does not know the session
    Stopped,
};

// One sign-in: QR codes until one is confirmed, then the session. `quiet` leaves the status line
// to a job that waits for it.
SignInEnd signInOnce(const JobContext& job, bool quiet)
{
    int lastCode = 0;
    while (lastCode != kConfirmed) {
        if (job.stopping()) return SignInEnd::Stopped;
        lastCode = checkQrCode();  // the first poll goes out with an empty code
        if (job.stopping()) return SignInEnd::Stopped;
        if (lastCode >= kFirstNewCodeStatus && !showNewQrCode()) return SignInEnd::NoCode;
        if (lastCode == kConfirmed) break;
        if (!quiet) setStatus(std::string("  状态:") + qrStatusMessage(lastCode));
        if (!job.pause(500)) return SignInEnd::Stopped;
    }
    if (finishSignIn() != 1) return job.stopping() ? SignInEnd::Stopped : SignInEnd::Refused;
    // Requests that found the session lapsed go again, with the new cookies.
    ++appState().sessionNumber;
    return SignInEnd::SignedIn;
}

} // namespace

void signInJob(const JobContext& job)
{
    const bool renewing = job.argument() == 1;
    if (!renewing) {
        const SignInEnd end = signInOnce(job, false);
        if (end == SignInEnd::SignedIn) setStatus(std::string("  状态:") + qrStatusMessage(kConfirmed));
        if (end == SignInEnd::Refused) MessageBoxW(nullptr, toUtf16("TestCookies = 假").c_str(), toUtf16("信息").c_str(), MB_OK);
        return;
    }
    // A download waits for this sign-in: a code that cannot be shown or a session that is refused
    // is tried again until it works or the download is replaced. The waiting job shows its own
    // line once it goes on.
    do {
        const SignInEnd end = signInOnce(job, true);
        if (end == SignInEnd::SignedIn || end == SignInEnd::Stopped) return;
        appState().qrId.set("");
    } while (job.pause(5000));
}

void renewSignIn()
{
    // The code on screen was used for the lapsed session: the first poll asks for a new one.
    appState().qrId.set("");
    static_cast<void>(startJob(SignInJob, signInJob, 1));
}
