// The download jobs: one album, or every album of the listing, each album's photo list read page
// by page with one pool task per photo.
#pragma once

#include "app/core/job_threads.h"

// The download job; its argument is the album's 1-based position in the list.
void albumJob(const JobContext& job);
// Every listed album, one after another, in list order, ending with one line for them all.
void accountJob(const JobContext& job);
