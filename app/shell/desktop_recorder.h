// The test build's stand-in for the desktop calls: each call becomes one UTF-8 line in the file
// that PICLADE_DESKTOP_LOG names, for the end-to-end tests to read. A release build has none.
#pragma once

#include <memory>

#include "app/shell/desktop_calls.h"

// Null in a release build, and in a test build when PICLADE_DESKTOP_LOG is not set.
std::unique_ptr<DesktopCalls> makeDesktopRecorder();
