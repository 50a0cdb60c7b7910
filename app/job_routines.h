// The work behind the window's commands, each on its own job thread (sign_in.cpp, analysis.cpp,
// download.cpp).
#pragma once

#include "app/jobs.h"

void signInJob(const JobContext& job);
void analysisJob(const JobContext& job);
// The argument is the album's 1-based position in the list.
void albumJob(const JobContext& job);
