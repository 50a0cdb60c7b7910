#include "app/patient_fetch.h"

#include "app/download_run.h"
#include "net/http_client.h"

namespace {

constexpr int kTries = 3;

bool isRateLimit(int status) { return status == 418 || status == 429; }

bool isComplete(HttpClient& client)
{
    const int status = client.statusCode();
    if (status < 200 || status > 299) return false;
    const std::string_view body = client.responseView();
    const int64_t announced = client.contentLength();
    return announced <= 0 || static_cast<int64_t>(body.size()) >= announced;
}

} // namespace

FetchResult fetchPatiently(DownloadRun& run, const FetchRequest& request, const std::function<bool(HttpClient&)>& accept)
{
    int failures = 0;
    for (;;) {
        if (!run.waitForResume()) return FetchResult::Abandoned;
        const uint64_t round = run.gate().round();
        HttpClient client;
        client.open("GET", request.address);
        if (!request.cookies.empty()) client.setCookies(request.cookies);
        if (!request.referer.empty()) client.setReferer(request.referer);
        if (client.send()) {
            if (isRateLimit(client.statusCode())) {
                run.gate().limited(round, retryAfterMs(client.responseHeader("Retry-After")));
                continue;
            }
            if (isComplete(client) && accept(client)) {
                run.gate().succeeded();
                return FetchResult::Fetched;
            }
        }
        if (++failures == kTries) return FetchResult::Failed;
        if (!run.job().pause(1000u * failures)) return FetchResult::Abandoned;
    }
}
