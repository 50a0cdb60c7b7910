#include "app/analysis.h"

#include <memory>

#include "app/albums.h"
#include "app/app_state.h"
#include "app/job_routines.h"
#include "app/main_window.h"
#include "app/runtime.h"
#include "app/service_hosts.h"
#include "app/text_cut.h"
#include "net/cookie_text.h"
#include "net/http_client.h"
#include "text/json_document.h"
#include "ui/gdiplus_include.h"

namespace {

constexpr int kAlbumsPerPage = 20;
constexpr int kCoverSize = 140;

std::string hostOf(std::string_view address)
{
    size_t start = address.find("://");
    start = start == std::string_view::npos ? 0 : start + 3;
    // A "\" ends the host as "/" does: WinHTTP reads "http://a\.b/" as host "a".
    const size_t end = address.find_first_of("/?#\\", start);
    std::string host(address.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    for (char& c : host)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return host;
}

// A plain grey square for a cover that could be fetched neither itself nor as the placeholder.
ImageObject blankCover()
{
    Gdiplus::GpBitmap* bitmap = nullptr;
    Gdiplus::DllExports::GdipCreateBitmapFromScan0(kCoverSize, kCoverSize, 0, PixelFormat32bppARGB, nullptr, &bitmap);
    Gdiplus::GpGraphics* graphics = nullptr;
    if (bitmap && Gdiplus::DllExports::GdipGetImageGraphicsContext(bitmap, &graphics) == Gdiplus::Ok) {
        Gdiplus::DllExports::GdipGraphicsClear(graphics, 0xFFD8D8D8);
        Gdiplus::DllExports::GdipDeleteGraphics(graphics);
    }
    ImageObject image;
    if (bitmap) image.AttachNative(bitmap);
    return image;
}

ImageObject coverImage(const std::string& address)
{
    for (const std::string& source : {address, std::string(PICLADE_PLACEHOLDER_COVER)}) {
        ImageObject image;
        if (!image.LoadBytes(fetchBytes(source))) continue;
        if (image.Width() == kCoverSize && image.Height() == kCoverSize) return image;
        ImageObject fitted;
        if (image.Thumbnail(kCoverSize, kCoverSize, fitted)) return fitted;
    }
    return blankCover();
}

bool isHttps(std::string_view address) { return findIgnoringCase(address, "https://") == 0; }

// The page at a homepage address, following the answers that send the program on (as WinHTTP
// would: ten hops at most, never from HTTPS down to HTTP). The hops are followed here rather
// than by WinHTTP because WinHTTP repeats the request's own "Cookie:" line on every hop: each
// hop gets the session's cookies only if it is the service's own.
// Guarded by EndToEndPromises.SessionCookiesGoOnlyToTheServiceOwnHosts.
std::string fetchHomepage(std::string_view address, const JobContext* job)
{
    constexpr int kMostHops = 10;
    std::string next(address);
    for (int hop = 0; hop <= kMostHops; ++hop) {
        HttpClient client;
        client.setAutoRedirect(false);
        client.open("GET", next);
        // The session's cookies go to the service only: a mistyped address never receives them.
        if (isServiceAddress(next)) client.setCookies(appState().cookies.get());
        if (!client.send()) return {};
        const int status = client.statusCode();
        const bool sentOn = status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
        const std::string location = sentOn ? client.redirectLocation(true) : std::string();
        if (location.empty()) return client.responseTextUtf8();
        if (isHttps(next) && !isHttps(location)) return {};
        if (job && job->stopping()) return {};
        next = location;
    }
    return {};
}

} // namespace

// Guarded by EndToEndPromises.SessionCookiesGoOnlyToTheServiceOwnHosts and Analysis.RowTextsAndServiceAddresses.
bool isAddressOnSite(std::string_view address, std::string_view siteHost)
{
    std::string host = hostOf(address);
    // The scheme's own port, written out (as a rebuilt redirect address has it), is the same host.
    const std::string defaultPort = isHttps(address) ? ":443" : ":80";
    if (host.size() > defaultPort.size() && host.compare(host.size() - defaultPort.size(), defaultPort.size(), defaultPort) == 0)
        host.resize(host.size() - defaultPort.size());
    std::string site(siteHost);
    for (char& c : site)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (host == site) return true;
    const std::string suffix = std::string(".") + site;
    return host.size() > suffix.size() && host.compare(host.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool isServiceAddress(std::string_view address) { return isAddressOnSite(address, PICLADE_MAIN_SITE_HOST); }

std::string albumRowText(std::string_view caption, int photoCount)
{
    std::string text = "[";
    text += caption;
    text += "] ";
    text += std::to_string(photoCount);
    text += "张";
    return text;
}

std::string fetchBytes(std::string_view address)
{
    HttpClient client;
    client.open("GET", address);
    client.send();
    return client.responseBytes();
}

int readHomepage(std::string_view address, const JobContext* job)
{
    const std::string page = fetchHomepage(address, job);
    AppState& state = appState();
    // The check and the three writes are one step: a successor writes only after it started,
    // and by then this job sees that it was replaced.
    Locked hold(state.ownerLock);
    if (job && job->stopping()) return 0;
    state.ownerId.set(cutBetween(page, "$CONFIG['oid']='", "';"));
    state.userId.set(cutBetween(page, "$CONFIG['uid']='", "';"));
    state.ownerNick.set(cutBetween(page, "$CONFIG['onick']='", "';"));
    return !state.ownerId.get().empty() && !state.userId.get().empty() ? 1 : 0;
}

void analysisJob(const JobContext& job)
{
    MainWindow* window = mainWindow();
    if (!window) return;
    // A download started while this analysis still runs keeps its own status lines.
    const long download = currentJobGeneration(DownloadJob);
    if (!readHomepage(window->homepageEdit.GetText(), &job) || job.stopping()) return;

    // A new listing: the albums and the photos of the previous one are gone.
    clearAlbums();
    runtime().photos.clear();
    const std::string ownerId = appState().ownerId.get();
    int received = 0;
    for (int page = 1;; ++page) {
        HttpClient client;
        client.open("GET", std::string("http://") + PICLADE_PHOTO_HOST + "/albums/get_all?uid=" + ownerId + "&page=" +
                               std::to_string(page) + "&count=" + std::to_string(kAlbumsPerPage) + "&__rnd=1504067425791");
        client.setCookies(appState().cookies.get());
        client.send();
        JsonDocument answer;
        answer.Parse(client.responseText(), true);
        const int total = static_cast<int32_t>(answer.GetInteger("data.total"));
        const int count = answer.GetCount("data.album_list");
        for (int i = 0; i < count; ++i) {
            if (job.stopping()) return;
            std::string entry = "data.album_list.[";
            entry += std::to_string(i);
            entry += "].";
            AlbumRecord album;
            album.caption = answer.GetText(entry + "caption");
            album.albumId = answer.GetText(entry + "album_id");
            album.photoCount = static_cast<int32_t>(answer.GetInteger(entry + "count.photos"));
            album.coverUrl = answer.GetText(entry + "cover_pic");
            if (album.coverUrl.empty()) album.coverUrl = PICLADE_PLACEHOLDER_COVER;
            if (!appendAlbum(job, album)) return;
            addAlbumRow(job, albumRowText(album.caption, album.photoCount), coverImage(album.coverUrl));
        }
        received += count;
        // Further pages while the answer promises more albums and the last page brought some.
        if (count == 0 || received >= total) break;
    }
    StatusHold hold;
    if (!job.stopping() && currentJobGeneration(DownloadJob) == download)
        window->status.SetText("  状态:获取相册信息完成,请选择相册单击鼠标右键开始下载;");
}
