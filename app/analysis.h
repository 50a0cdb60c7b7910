// Homepage analysis: the owner of a homepage, their albums, and a row with a cover for each.
#pragma once

#include <string>
#include <string_view>

#include "app/jobs.h"

// Reads the owner's id and nickname and the signed-in user's id from the page (1 when both ids
// were found). An analysis `job` replaced while the page was on its way writes nothing (0): its
// late answer never overwrites what its successor read.
int readHomepage(std::string_view address, const JobContext* job = nullptr);
// The bytes at an address, fetched without cookies (empty on failure).
std::string fetchBytes(std::string_view address);
// Whether an address belongs to the service, so that it may be sent the session's cookies.
bool isServiceAddress(std::string_view address);
// Whether an address is on a site's host ("host" or "host:port") or one below it; the scheme's
// default port written out counts as no port.
bool isAddressOnSite(std::string_view address, std::string_view siteHost);
// The row text of an album: "[" caption "] " count "张".
std::string albumRowText(std::string_view caption, int photoCount);
