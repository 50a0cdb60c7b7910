// One address of a job fetched patiently: an answer that fails is tried twice more (1 s, then
// 2 s later); a rate-limit answer (418, 429 or 432) pauses the whole job at its gate and is tried
// again after the wait without using up those tries.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "app/core/job_threads.h"
#include "app/jobs/rate_gate.h"
#include "tasks/critical_section.h"

class HttpClient;

enum class FetchResult { Fetched, Failed, Abandoned };  // abandoned: the job stopped or gave up

// What a job lends its patient fetches: its stop signal and the one rate-limit gate all of its
// requests wait at.
class PatientJob {
public:
    explicit PatientJob(const JobContext& job, RateGate::Clock clock = nullptr) : job_(job), gate_(clock) {}
    virtual ~PatientJob() = default;
    PatientJob(const PatientJob&) = delete;
    PatientJob& operator=(const PatientJob&) = delete;

    const JobContext& job() const { return job_; }
    RateGate& gate() { return gate_; }
    const RateGate& gate() const { return gate_; }

    // Waits until requests may go again (the rate limit waited out, the user's pause ended, the
    // user signed in again), counting down on the status line. False when the job is replaced,
    // the program ends or the job gave up meanwhile: the caller drops its request.
    [[nodiscard]] bool waitForResume();
    // Whether a request may start this moment: nothing to wait for, and the job goes on.
    [[nodiscard]] bool mayStartNow();

    // A list answer to a request sent with the session of `sessionNumber` says the session lapsed:
    // unless the user has signed in again since, the job waits for a new sign-in, which starts
    // now with a fresh QR code.
    void sessionLapsed(long sessionNumber);
    // Whether the job waits for a new sign-in.
    bool awaitingSignIn() const;

protected:
    // Shows that the job waits `msLeft` more milliseconds for the service.
    virtual void showPause(uint64_t msLeft) = 0;
    // Whether the user holds the job: no request starts until this is false again.
    virtual bool heldByUser() const { return false; }
    // The status line once the job goes on after a new sign-in.
    virtual void showSignedInAgain() {}

private:
    JobContext job_;
    RateGate gate_;
    mutable CriticalSection lock_;
    long lapsedSession_ = -1;  // the session found lapsed; -1: none
};

// The status line while a job waits for a new sign-in.
extern const char* const kSessionLapsedStatus;

enum class AnswerKind {
    Picture,
    List,  // an album or photo list page: a 403 is taken for a rate limit a few times in a row
};

struct FetchRequest {
    std::string_view address;
    std::string_view cookies;  // none when empty; only ever sent to the service's own hosts
                               // (with `withSession`, the session's newest cookies at each try instead)
    std::string_view referer;  // none when empty
    AnswerKind kind = AnswerKind::Picture;
    bool withSession = false;
};

// `accept` sees a 2xx answer whose body is complete (ended as announced) and says whether it is
// usable; what it takes from the client is the caller's.
[[nodiscard]] FetchResult fetchPatiently(PatientJob& run, const FetchRequest& request,
                                         const std::function<bool(HttpClient&)>& accept);
