#include "app/jobs/patient_fetch.h"

#include "app/core/app_state.h"
#include "app/core/shared_objects.h"
#include "app/jobs/exchange_watch.h"
#include "app/jobs/service_exchange.h"
#include "app/jobs/job_window.h"
#include "app/jobs/sign_in.h"
#include "net/http_client.h"

namespace {

constexpr int kTries = 3;
// Some hosts answer a list request 403 while they limit it; after this many in a row the 403 is
// taken at its word.
constexpr int kForbiddenTakenForLimit = 3;

// A picture's place among those in flight, taken once its request is ready and given back as soon
// as its answer is read: the writing and counting that follow leave the place to the next picture.
class PictureSlot {
public:
    PictureSlot() = default;
    ~PictureSlot() { release(); }
    PictureSlot(const PictureSlot&) = delete;
    PictureSlot& operator=(const PictureSlot&) = delete;

    // Waits for a place in short steps; false once the job stops.
    [[nodiscard]] bool take(const JobContext& job)
    {
        while (!job.stopping())
            if (pictureSlots().acquire(50)) return held_ = true;
        return false;
    }
    bool held() const { return held_; }
    void release()
    {
        if (held_) pictureSlots().release();
        held_ = false;
    }

private:
    bool held_ = false;
};

bool isRateLimit(int status) { return status == 418 || status == 429 || status == 432; }

bool isComplete(HttpClient& client)
{
    const int status = client.statusCode();
    return status >= 200 && status <= 299 && client.responseComplete();
}

// A web page where JSON belongs: what a service shows a visitor it no longer knows.
bool isWebPage(HttpClient& client)
{
    const std::string_view body = client.responseView();
    const size_t start = body.find_first_not_of(" \t\r\n");
    return start != std::string_view::npos && body[start] == '<';
}

} // namespace

const char* const kSessionLapsedStatus = "  状态:登录已失效,请在\"登录\"页重新扫码,扫码后自动继续下载;";

// Guarded by EndToEndSession.*.
void PatientJob::sessionLapsed(long sessionNumber)
{
    {
        Locked hold(lock_);
        // Signed in again since the request went, or already waiting: the request simply goes again.
        if (appState().sessionNumber != sessionNumber || lapsedSession_ == sessionNumber) return;
        lapsedSession_ = sessionNumber;
    }
    // A replaced job leaves the line and the sign-in page to its successor.
    if (job_.stopping()) return;
    setStatus(kSessionLapsedStatus);
    downloadMoved();  // the taskbar button shows the job held
    renewSignIn();
}

bool PatientJob::awaitingSignIn() const
{
    Locked hold(lock_);
    return lapsedSession_ >= 0 && appState().sessionNumber == lapsedSession_;
}

bool PatientJob::mayStartNow()
{
    return !job_.stopping() && !gate_.givenUp() && !awaitingSignIn() && !heldByUser() && gate_.msUntilResume() == 0;
}

bool PatientJob::waitForResume()
{
    bool signingIn = false;
    bool held = false;
    for (;;) {
        if (job_.stopping() || gate_.givenUp()) return false;
        if (awaitingSignIn()) {
            signingIn = held = true;
            if (!job_.pause(100)) return false;
            continue;
        }
        if (signingIn) {
            signingIn = false;
            showSignedInAgain();
        }
        if (heldByUser()) {
            held = true;
            if (!job_.pause(100)) return false;
            continue;
        }
        const uint64_t left = gate_.msUntilResume();
        if (left == 0) {
            // The taskbar button leaves its paused look as the job goes on, not at its next picture.
            if (held) downloadMoved();
            return true;
        }
        held = true;
        showPause(left);
        // Short steps: the countdown moves every second, and a stop is seen at once.
        if (!job_.pause(static_cast<unsigned>(left < 200 ? left : 200))) return false;
    }
}

// Guarded by EndToEndHostile.ErrorObjectPageIsRetriedNotTakenAsEmpty (its 403 shape) and the rate-limit tests.
FetchResult fetchPatiently(PatientJob& run, const FetchRequest& request, const std::function<bool(HttpClient&)>& accept)
{
    int failures = 0;
    int forbiddenInARow = 0;
    for (;;) {
        if (!run.waitForResume()) return FetchResult::Abandoned;
        HttpClient client;
        const WatchedExchange watch(client, run.job());
        // A picture waits for its place with its client made; a pause, a rate limit or a lapsed
        // session that began meanwhile sends it back to wait without a request.
        // Guarded by EndToEndLimits.PicturesInFlightNeverPassFive.
        PictureSlot slot;
        if (request.kind == AnswerKind::Picture) {
            if (!slot.take(run.job())) return FetchResult::Abandoned;
            if (!run.mayStartNow()) continue;
        }
        const uint64_t round = run.gate().round();
        const long session = appState().sessionNumber;
        const std::string cookies = request.withSession ? appState().cookies.get() : std::string(request.cookies);
        bool toSignOn = false;
        const bool lists = request.kind == AnswerKind::List;
        const bool sent = sendToService(client, {request.address, cookies, request.referer}, &run.job(), lists ? &toSignOn : nullptr);
        // A picture is in flight until its body is read whole.
        if (sent && slot.held()) static_cast<void>(client.responseView());
        slot.release();
        if (sent) {
            // A lapsed session: the job waits for a new sign-in and asks again, no try used up.
            // Guarded by EndToEndSession.*.
            if (lists && (toSignOn || (isComplete(client) && isWebPage(client) && !isSignedIn()))) {
                run.sessionLapsed(session);
                continue;
            }
            const int status = client.statusCode();
            forbiddenInARow = status == 403 ? forbiddenInARow + 1 : 0;
            const bool forbiddenAsLimit = request.kind == AnswerKind::List && status == 403 && forbiddenInARow <= kForbiddenTakenForLimit;
            if (isRateLimit(status) || forbiddenAsLimit) {
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
