#include "app/jobs/service_exchange.h"

#include "app/jobs/service_hosts.h"
#include "net/cookie_text.h"
#include "net/http_client.h"
#include "text/address_part.h"
#include "text/encoding.h"
#include "text/json_document.h"

namespace {

constexpr int kMostHops = 10;

std::string lowered(std::string_view text)
{
    std::string result(text);
    for (char& c : result)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return result;
}

bool isHttps(std::string_view address) { return findIgnoringCase(address, "https://") == 0; }

// The host and port of an address, lowered, without the scheme's own port written out.
std::string hostOf(std::string_view address)
{
    size_t start = address.find("://");
    start = start == std::string_view::npos ? 0 : start + 3;
    // A "\" ends the host as "/" does: WinHTTP reads "http://a\.b/" as host "a".
    const size_t end = address.find_first_of("/?#\\", start);
    std::string host = lowered(address.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    const std::string defaultPort = isHttps(address) ? ":443" : ":80";
    if (host.size() > defaultPort.size() && host.compare(host.size() - defaultPort.size(), defaultPort.size(), defaultPort) == 0)
        host.resize(host.size() - defaultPort.size());
    return host;
}

bool isRedirect(int status) { return status == 301 || status == 302 || status == 303 || status == 307 || status == 308; }

} // namespace

// Guarded by EndToEndPromises.SessionCookiesGoOnlyToTheServiceOwnHosts and Analysis.RowTextsAndServiceAddresses.
bool isAddressOnSite(std::string_view address, std::string_view siteHost)
{
    const std::string host = hostOf(address);
    const std::string site = lowered(siteHost);
    if (host == site) return true;
    const std::string suffix = "." + site;
    return host.size() > suffix.size() && host.compare(host.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool isAddressOnHost(std::string_view address, std::string_view host) { return hostOf(address) == lowered(host); }

bool isServiceAddress(std::string_view address)
{
    return isAddressOnSite(address, PICLADE_MAIN_SITE_HOST) || isAddressOnHost(address, PICLADE_PHOTO_HOST);
}

// Guarded by EndToEndPromises.SessionCookiesGoOnlyToTheServiceOwnHosts and EndToEndHostile.ListRedirectsNeverCarryTheSession.
bool sendToService(HttpClient& client, const ServiceRequest& request, const JobContext* job, bool* sentToSignOn)
{
    if (sentToSignOn) *sentToSignOn = false;
    client.setAutoRedirect(false);
    std::string next(request.address);
    for (int hop = 0; hop <= kMostHops; ++hop) {
        static_cast<void>(client.open("GET", next));  // a failed open fails the send below
        // A mistyped address or a hop elsewhere never receives the session.
        if (!request.cookies.empty() && isServiceAddress(next)) static_cast<void>(client.setCookies(request.cookies));
        if (!request.referer.empty()) static_cast<void>(client.setReferer(request.referer));  // optional header
        if (!client.send()) return false;
        const std::string location = isRedirect(client.statusCode()) ? client.redirectLocation(true) : std::string();
        if (location.empty()) return true;
        if (sentToSignOn && isAddressOnHost(location, PICLADE_SSO_HOST)) {
            *sentToSignOn = true;
            return true;
        }
        if (isHttps(next) && !isHttps(location)) return false;
        if (job && job->stopping()) return false;
        next = location;
    }
    return false;
}

std::string addressValue(JsonDocument& answer, std::string_view path)
{
    return addressPart(toNarrow(answer.GetTextW(toUtf16(path)), kUtf8CodePage));
}
