// Exchanges that may carry the session: which hosts are the service's own, and a GET whose
// redirects are followed hop by hop so that each hop is judged by its own host. WinHTTP repeats a
// request's added "Cookie:" line on every hop it follows by itself, to whatever host.
#pragma once

#include <string>
#include <string_view>

#include "app/core/job_threads.h"

class HttpClient;
class JsonDocument;

// Whether an address is on a site's host ("host" or "host:port") or one below it; the scheme's
// default port written out counts as no port.
bool isAddressOnSite(std::string_view address, std::string_view siteHost);
// Whether an address is on exactly that host and port (the scheme's default port written out
// counts as none).
bool isAddressOnHost(std::string_view address, std::string_view host);
// Whether an address belongs to the service, so that it may be sent the session's cookies: the
// main site and the hosts below it, and the photo service's own host.
bool isServiceAddress(std::string_view address);

struct ServiceRequest {
    std::string_view address;
    std::string_view cookies;  // the session; sent only to the service's own hosts
    std::string_view referer;  // none when empty
};

// A GET of `request.address` on `client`, following at most ten redirects by hand and never from
// HTTPS down to HTTP. The answer read from `client` afterwards is the last hop's. False when no
// answer came, the hops ran out or went down to HTTP, or `job` was told to stop on the way.
// With `sentToSignOn`, a redirect to the sign-on host is not followed: it is the answer, and
// *sentToSignOn says so (the service sends a lapsed session there to sign in again).
[[nodiscard]] bool sendToService(HttpClient& client, const ServiceRequest& request, const JobContext* job = nullptr,
                                 bool* sentToSignOn = nullptr);

// A text of a service answer (an id, a picture name) as a part of an address: every character as
// the service gave it, where the program's own text would turn those outside its code page to "?".
[[nodiscard]] std::string addressValue(JsonDocument& answer, std::string_view path);
