// QR-code sign-in: show a code from the sign-on host, poll its status every half second, and once
// the phone confirms it, finish the sign-on and keep the session's cookies.
#pragma once

#include "app/core/job_threads.h"

// The status of the code on screen: the answer's retcode (0 when there was no answer).
int checkQrCode();
// Exchanges the confirmed code's ticket for the session cookies, then checks them (1 or 0).
int finishSignIn();
// Reads the signed-in user from the main site and shows the avatar (1), or 0 when not signed in.
int verifySession();
// The message shown for a status code.
const char* qrStatusMessage(int code);

// Whether the main site may still know the session's user: false only when it sends the session
// to the sign-on host or shows its front page naming nobody; no answer or an error says nothing
// against it.
bool isSignedIn();

// The sign-in job: a QR code on the sign-in page until the phone confirms it. Its argument is 1
// when it renews a lapsed session for a waiting download: the status line then stays the
// download's.
void signInJob(const JobContext& job);
// Starts the sign-in job anew to renew a lapsed session; safe from any thread.
void renewSignIn();
