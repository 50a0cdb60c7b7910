// Homepage analysis: the owner of a homepage, their albums, and a row with a cover for each.
#pragma once

#include <string>
#include <string_view>

#include "app/core/job_threads.h"
#include "app/jobs/service_exchange.h"

// How reading a homepage ended: both ids found, or why not.
enum class HomepageRead {
    Read,
    NotOpened,    // no page came (no answer, or an error status)
    NotSignedIn,  // the page names its owner but no signed-in user
    NoOwner,      // the page names no owner: not a homepage
    Replaced,     // the analysis was replaced while the page was on its way
};

// Reads the owner's id and nickname and the signed-in user's id from the page. An analysis `job`
// replaced while the page was on its way writes nothing (Replaced): its late answer never
// overwrites what its successor read.
[[nodiscard]] HomepageRead readHomepage(std::string_view address, const JobContext* job = nullptr);
// The bytes at an address, fetched without cookies (empty on failure); watched for stalls and
// cancelled once `job` is replaced.
std::string fetchBytes(std::string_view address, const JobContext* job = nullptr);
// The row text of an album: "[" caption "] " count "张".
std::wstring albumRowText(std::wstring_view caption, int photoCount);

// The analysis job: the homepage typed in the window, then its albums as rows.
void analysisJob(const JobContext& job);
