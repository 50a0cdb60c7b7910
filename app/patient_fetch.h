// One address of a download job fetched patiently: an answer that fails is tried twice more (1 s,
// then 2 s later); a rate-limit answer (418 or 429) pauses the whole job at its gate and is tried
// again after the wait without using up those tries.
#pragma once

#include <functional>
#include <string_view>

class DownloadRun;
class HttpClient;

enum class FetchResult { Fetched, Failed, Abandoned };  // abandoned: the job stopped or gave up

struct FetchRequest {
    std::string_view address;
    std::string_view cookies;  // none when empty
    std::string_view referer;  // none when empty
};

// `accept` sees a 2xx answer whose body is complete (as long as it announced) and says whether it
// is usable; what it takes from the client is the caller's.
FetchResult fetchPatiently(DownloadRun& run, const FetchRequest& request, const std::function<bool(HttpClient&)>& accept);
