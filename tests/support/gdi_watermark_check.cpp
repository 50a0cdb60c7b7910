// Linked into every window test, which ctest runs twice over (GTEST_REPEAT=2): the first round
// sets up whatever the system makes on first use of a control class, font or picture, so every
// GDI object still taken after the second round beyond the first was left behind by a test. The
// report line fails the run (ctest's FAIL_REGULAR_EXPRESSION).
#include <cstdio>
#include <gtest/gtest.h>

#include "gdi_watermark.h"

namespace {

// Objects the system may still make late (a cached font or brush); a leak in any test of a
// round leaves at least one object per test run, and most leak per window.
constexpr unsigned kSlack = 4;

class GdiWatermarkCheck : public ::testing::EmptyTestEventListener {
    void OnTestIterationEnd(const ::testing::UnitTest&, int iteration) override
    {
        const unsigned now = gdiHandleWatermark();
        if (iteration == 0) {
            afterFirstRound_ = now;
        } else if (now > afterFirstRound_ + kSlack) {
            std::printf("GDI objects left behind: watermark %u after round %d, %u after the first\n", now, iteration + 1,
                        afterFirstRound_);
            std::fflush(stdout);
        }
    }
    unsigned afterFirstRound_ = 0;
};

const bool gInstalled = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new GdiWatermarkCheck());
    return true;
}();

} // namespace
