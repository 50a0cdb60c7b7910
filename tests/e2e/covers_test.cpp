// The covers of a listing, on the real program against the emulator: fetched up to five at a time
// on workers of the analysis's own, while the rows still come in list order as their covers come,
// each with its own cover. The owner 1000000009 has 100 albums over five album pages, each cover
// with a square of its own colour in its middle (badge_colour in tools/emulator/data.py), read
// back from the screen.
#include <gtest/gtest.h>

#include "tests/e2e/session.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "text/json_document.h"

namespace {

constexpr int kAlbums = 100;
constexpr int kAlbumPages = 5;
constexpr int kMostInFlight = 5;

// The colour in the middle of the number-th album's cover (from 1), as the emulator draws it.
COLORREF badgeColour(int number)
{
    const int i = number - 1;
    return RGB(60 + 45 * (i % 5), 60 + 45 * (i / 5 % 5), 70 + 55 * (i / 25));
}

// Any two badges differ by 45 or more in one channel; the screen shows them as drawn.
bool sameColour(COLORREF seen, COLORREF wanted)
{
    return std::abs(GetRValue(seen) - GetRValue(wanted)) <= 12 && std::abs(GetGValue(seen) - GetGValue(wanted)) <= 12 &&
           std::abs(GetBValue(seen) - GetBValue(wanted)) <= 12;
}

std::string colourText(COLORREF colour)
{
    char text[32] = {};
    std::snprintf(text, sizeof text, "(%d, %d, %d)", GetRValue(colour), GetGValue(colour), GetBValue(colour));
    return text;
}

std::wstring rowText(int number)
{
    std::wstring digits = std::to_wstring(number);
    digits.insert(0, 3 - digits.size(), L'0');
    return L"[封面 " + digits + L"] 1张";
}

} // namespace

TEST(EndToEndCovers, FiveAtATimeEachRowWithItsOwnCoverInListOrder)
{
    ProgramSession session;
    ASSERT_TRUE(session.start());
    Pilot& pilot = session.pilot();
    ASSERT_TRUE(pilot.showPage(1));
    ASSERT_TRUE(pilot.typeHomepage(homepageAddress("1000000009")));
    // Every answer 200 ms late from now on: 100 covers one after another would take 20 s.
    ASSERT_TRUE(control("/faults?latency=200"));
    ASSERT_TRUE(pilot.pressButton(L"分析"));

    // A pipeline: the first rows show while the album list is still being read and most covers
    // are still to come (they come after page 2 or 3), not once every page or every cover is in.
    ASSERT_TRUE(pilot.waitUntil([&] { return pilot.albumCount() >= 1; }, 30000));
    EXPECT_LT(emulatorCount("requests", "/albums/get_all"), kAlbumPages);
    EXPECT_LE(emulatorCount("answered", "/thumb150/"), kAlbums / 2);
    ASSERT_TRUE(pilot.waitStatusIs(kListed, 60000));

    // Never more than five covers on their way at once, and five whenever there were as many to fetch.
    JsonDocument state;
    ASSERT_TRUE(state.Parse(httpGet(kControlPort, "/state"), true));
    const int64_t most = state.GetInteger("most_covers_in_flight");
    EXPECT_LE(most, kMostInFlight);
    EXPECT_EQ(most, kMostInFlight);
    // Each album's own cover, once; no placeholder (every cover came).
    EXPECT_EQ(emulatorCount("requests", "/thumb150/"), kAlbums);
    EXPECT_EQ(emulatorCount("requests", "/thumb150/placeholder.jpg"), 0);

    // The rows in list order, each with its own cover. A row scrolled into view reaches the screen
    // a moment after it was painted (Wine copies the window's surface to the display in its own
    // time): its colour is read until it is its cover's, for 2 s at most.
    const std::vector<std::wstring> rows = pilot.albums();
    ASSERT_EQ(rows.size(), static_cast<size_t>(kAlbums));
    int wrong = 0;
    for (int i = 0; i < kAlbums && wrong < 5; ++i) {
        EXPECT_EQ(rows[static_cast<size_t>(i)], rowText(i + 1)) << "row " << i;
        COLORREF seen = CLR_INVALID;
        const bool own = pilot.waitUntil([&] { return pilot.albumCoverCentre(i, &seen) && sameColour(seen, badgeColour(i + 1)); }, 2000);
        EXPECT_TRUE(own) << "row " << i << " shows " << colourText(seen) << ", its cover is " << colourText(badgeColour(i + 1));
        if (!own) ++wrong;
    }
    EXPECT_EQ(wrong, 0) << "the rows after the fifth wrong cover were not looked at";
}
