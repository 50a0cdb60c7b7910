// One picture of a download: a pool task fetches it in the chosen size, writes it into its album's
// folder and counts it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "app/jobs/download_run.h"

enum class FetchResult;

// The picture's bytes, asked for as from the main site's pages, with up to two more tries (1 s,
// then 2 s later) and the job's rate-limit waits; fetched only with a 2xx answer holding every
// byte it announced, and at least one.
FetchResult fetchPicture(DownloadRun& run, std::string_view address, std::string& bytes);
// One picture of the download `generation`; a task of a replaced download does nothing.
void downloadTask(intptr_t generation, intptr_t);
