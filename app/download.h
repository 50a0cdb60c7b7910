// The download job: an album's photo list page by page, one pool task per photo, each picture
// fetched in the chosen size and written into the album's folder.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "app/jobs.h"
#include "app/photos.h"

// The picture's bytes, fetched with up to two more tries (1 s, then 2 s later); empty when every
// try failed: no answer, a status other than 2xx, fewer bytes than announced, or none at all.
// The waits between tries end early, with empty bytes, once download `generation` is replaced.
std::string fetchPicture(std::string_view address, long generation);
// The Simplified Chinese system message for an error code, from the program's own table; empty
// for a code the table does not hold.
std::string errorText(unsigned long code);
// One picture of the download `generation`; a task of a replaced download does nothing.
void downloadTask(intptr_t generation, intptr_t);
