#include "app/jobs/analysis.h"

#include <deque>
#include <memory>
#include <optional>
#include <set>
#include <utility>

#include "app/core/album_store.h"
#include "app/core/app_state.h"
#include "app/core/file_naming.h"
#include "app/jobs/cover_fetch.h"
#include "app/jobs/exchange_watch.h"
#include "app/jobs/job_window.h"
#include "app/jobs/patient_fetch.h"
#include "app/core/shared_objects.h"
#include "app/jobs/service_exchange.h"
#include "app/jobs/service_hosts.h"
#include "app/core/text_cut.h"
#include "net/cookie_text.h"
#include "net/http_client.h"
#include "tasks/background_call.h"
#include "text/address_part.h"
#include "text/encoding.h"
#include "text/homepage_address.h"
#include "text/json_document.h"
#include "text/json_node.h"
#include "ui/image_object.h"

namespace {

constexpr int kAlbumsPerPage = 20;
// However many albums a list promises, the listing stops here.
constexpr int kMostAlbumPages = 50;

// The cover as fetched, or the placeholder; no picture when neither came (the window then shows a
// grey square of its size). Runs on the cover workers, several albums at once.
ImageObject coverImage(const std::string& address, const JobContext& job)
{
    for (const std::string& source : {address, std::string(PICLADE_PLACEHOLDER_COVER)}) {
        // A stopped job shows no row: no placeholder is asked for once its cover was cancelled.
        if (job.stopping()) break;
        // Whole, as fetched: the window draws it at the size its DPI asks for.
        ImageObject image;
        if (image.LoadBytes(fetchBytes(source, &job)) && image.Width() > 0 && image.Height() > 0) return image;
    }
    return {};
}

// The albums listed whose rows are not shown yet, and their covers on their way: a row is added,
// in list order, once its cover and those of every row before it came.
class PendingRows {
public:
    explicit PendingRows(const JobContext& job) : job_(job), covers_(job, coverImage) {}

    void add(AlbumRecord album)
    {
        covers_.request(album.coverUrl);
        albums_.push_back(std::move(album));
    }

    // Adds the rows in list order, each as its cover comes: every row or, given `until` (an
    // album-list page on its way), those whose covers come before it does. False once the job
    // stopped.
    [[nodiscard]] bool show(HANDLE until = nullptr)
    {
        ImageObject cover;
        while (!albums_.empty() && covers_.takeNext(cover, true, until)) {
            const AlbumRecord& album = albums_.front();
            if (!albumStore().append(job_, album)) return false;
            addAlbumRow(job_, albumRowText(album.caption, album.photoCount), cover);
            albums_.pop_front();
        }
        return !job_.stopping();
    }

private:
    const JobContext& job_;
    std::deque<AlbumRecord> albums_;
    CoverFetch covers_;  // declared last: its workers end before the rest goes
};

// The page at a homepage address; its redirects are followed hop by hop, each hop getting the
// session's cookies only if it is the service's own.
// Guarded by EndToEndPromises.SessionCookiesGoOnlyToTheServiceOwnHosts. Nothing when no page
// came: no answer, or the server's refusal (an error status).
std::optional<std::string> fetchHomepage(std::string_view address, const JobContext* job)
{
    HttpClient client;
    std::optional<WatchedExchange> watch;
    if (job) watch.emplace(client, *job);
    const std::string cookies = appState().cookies.get();
    if (!sendToService(client, {address, cookies, {}}, job) || client.statusCode() >= 400) return std::nullopt;
    return client.responseBytes();
}

// The status line of an analysis that cannot go on. Guarded by EndToEndAnalysisLines.*.
const char* homepageFailureText(HomepageRead read)
{
    switch (read) {
    case HomepageRead::NotOpened: return "  状态:用户主页打开失败,请检查地址和网络;";
    case HomepageRead::NotSignedIn: return "  状态:尚未登录,请先在\"登录\"页扫码登录;";
    case HomepageRead::NoOwner: return "  状态:未在该页面找到用户信息,请输入用户主页地址;";
    default: return nullptr;
    }
}

// The analysis's patience with the album list: rate limits counted down on the status line.
class ListingRun : public PatientJob {
public:
    using PatientJob::PatientJob;

protected:
    void showPause(uint64_t msLeft) override
    {
        const unsigned seconds = static_cast<unsigned>((msLeft + 999) / 1000);
        if (seconds == shownSeconds_) return;
        shownSeconds_ = seconds;
        setStatus("  状态:服务器限制了访问频率," + std::to_string(seconds) + "秒后继续获取相册列表;");
    }

    void showSignedInAgain() override { setStatus("  状态:正在分析用户信息,获取相册列表中;"); }

private:
    unsigned shownSeconds_ = 0;
};

// Guarded by EndToEndRequests.EachKindGoesOutAsTheServiceExpectsIt.
std::string albumListAddress(const std::string& ownerId, int page)
{
    return std::string("http://") + PICLADE_PHOTO_HOST + "/albums/get_all?uid=" + ownerId + "&page=" + std::to_string(page) +
           "&count=" + std::to_string(kAlbumsPerPage) + "&__rnd=1504067425791";
}

// One page of the album list, parsed; an empty document when it never came usably.
JsonDocument fetchAlbumListPage(ListingRun& run, const std::string& address)
{
    JsonDocument answer;
    // The session's newest cookies at each try: a lapsed session is renewed while the page waits.
    (void)fetchPatiently(run, {address, {}, {}, AnswerKind::List, true}, [&](HttpClient& client) {
        JsonDocument parsed;
        if (!parsed.Parse(client.responseText(), true) || parsed.GetType() != static_cast<int>(JsonKind::Object) ||
            parsed.GetType("data.album_list") != static_cast<int>(JsonKind::Array))
            return false;
        answer = parsed;
        return true;
    });
    return answer;
}

} // namespace

std::wstring albumRowText(std::wstring_view caption, int photoCount)
{
    // The list shows the chosen row's whole label: one of thousands of characters would cover
    // the list, and a click on any album would land on that label instead.
    constexpr size_t kLongestCaptionShown = 100;
    std::wstring text = L"[";
    text += cutToUnits(caption, kLongestCaptionShown);
    if (caption.size() > kLongestCaptionShown) text += L"\u2026";
    text += L"] ";
    text += std::to_wstring(photoCount);
    text += L"张";
    return text;
}

std::string fetchBytes(std::string_view address, const JobContext* job)
{
    HttpClient client;
    std::optional<WatchedExchange> watch;
    if (job) watch.emplace(client, *job);
    static_cast<void>(client.open("GET", address));  // a failed exchange reads as no bytes
    static_cast<void>(client.send());
    return client.responseBytes();
}

HomepageRead readHomepage(std::string_view address, const JobContext* job)
{
    const std::optional<std::string> fetched = fetchHomepage(address, job);
    const std::string page = fetched.value_or(std::string());  // UTF-8
    AppState& state = appState();
    // The check and the writes are one step: a successor writes only after it started,
    // and by then this job sees that it was replaced.
    Locked hold(state.ownerLock);
    if (job && job->stopping()) return HomepageRead::Replaced;
    const std::string ownerId = cutBetween(page, "$CONFIG['oid']='", "';");
    state.ownerId.set(utf8ToNarrow(ownerId));
    state.ownerIdInAddress.set(addressPart(ownerId));
    state.userId.set(utf8ToNarrow(cutBetween(page, "$CONFIG['uid']='", "';")));
    state.ownerNick.set(toUtf16(cutBetween(page, "$CONFIG['onick']='", "';"), kUtf8CodePage));
    if (!fetched) return HomepageRead::NotOpened;
    if (state.ownerId.get().empty()) return HomepageRead::NoOwner;
    if (state.userId.get().empty()) return HomepageRead::NotSignedIn;
    return HomepageRead::Read;
}

void analysisJob(const JobContext& job)
{
    if (!jobWindowConnected()) return;
    // A download started while this analysis still runs keeps its own status lines.
    const long download = currentJobGeneration(DownloadJob);
    // Guarded by EndToEndAnalysisLines.APastedAddressIsAnalysed.
    const HomepageRead read = readHomepage(cleanHomepageAddress(homepageText()), &job);
    if (read != HomepageRead::Read) {
        // A finished attempt says why it ended; a replaced one leaves the line to its successor.
        if (const char* failure = homepageFailureText(read)) {
            whileCurrentOnWindow(job, [&] {
                if (currentJobGeneration(DownloadJob) == download) setStatus(std::string_view(failure));
            });
        }
        return;
    }
    if (job.stopping()) return;

    // A new listing: the albums and the photos of the previous one are gone.
    albumStore().clear();
    photoStore().clear();
    const std::string ownerId = appState().ownerIdInAddress.get();
    ListingRun run(job);
    // Guarded by EndToEndCovers.FiveAtATimeEachRowWithItsOwnCoverInListOrder.
    PendingRows rows(job);
    std::set<std::string> seen;
    int received = 0;
    // Guarded by EndToEndHostile.PagingEndsWhenTheServiceRepeatsItself.
    for (int page = 1; page <= kMostAlbumPages; ++page) {
        JsonDocument answer;
        {
            // The page comes on a thread of its own, and the rows of the pages before it go on
            // meanwhile as their covers come; the page is in once the thread ended.
            const BackgroundCall fetch(L"Piclade album list", [&] { answer = fetchAlbumListPage(run, albumListAddress(ownerId, page)); });
            if (!fetch.finished() && !rows.show(fetch.done())) return;
        }
        const int total = static_cast<int32_t>(answer.GetInteger("data.total"));
        const int count = answer.GetCount("data.album_list");
        // A page that holds no album not listed yet: the service has run out, or repeats itself.
        bool anyNew = false;
        for (int i = 0; i < count; ++i) {
            const std::string albumId = addressValue(answer, "data.album_list.[" + std::to_string(i) + "].album_id");
            if (seen.insert(albumId).second) anyNew = true;
        }
        if (!anyNew) break;
        for (int i = 0; i < count; ++i) {
            if (job.stopping()) return;
            std::string entry = "data.album_list.[";
            entry += std::to_string(i);
            entry += "].";
            AlbumRecord album;
            album.caption = answer.GetTextW(toUtf16(entry + "caption"));
            album.albumId = answer.GetText(entry + "album_id");
            album.albumIdInAddress = addressValue(answer, entry + "album_id");
            album.photoCount = static_cast<int32_t>(answer.GetInteger(entry + "count.photos"));
            album.coverUrl = answer.GetText(entry + "cover_pic");
            // The placeholder's own address: guarded by EndToEndRequests.EachKindGoesOutAsTheServiceExpectsIt.
            if (album.coverUrl.empty()) album.coverUrl = PICLADE_PLACEHOLDER_COVER;
            rows.add(std::move(album));
        }
        received += count;
        // Further pages while the answer promises more albums.
        if (received >= total) break;
    }
    if (!rows.show()) return;
    StatusHold hold;
    if (!job.stopping() && currentJobGeneration(DownloadJob) == download)
        setStatusHeld("  状态:获取相册信息完成,请选择相册单击鼠标右键开始下载;");
}
