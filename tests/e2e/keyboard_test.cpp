// The real program from the keyboard alone: the order Tab goes through the operation page, Enter
// in the two fields, the album menu from Shift+F10 and the menu key, and Ctrl+Tab between pages.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/e2e/session.h"

namespace {

// Where the focus goes at each press of Tab (Shift+Tab for `backwards`), starting from the focus.
std::vector<std::wstring> focusWalk(Pilot& pilot, int presses, bool backwards)
{
    std::vector<std::wstring> visited;
    for (int i = 0; i < presses; ++i) {
        if (!pilot.pressKey(VK_TAB, backwards ? std::initializer_list<WORD>{VK_SHIFT} : std::initializer_list<WORD>{})) break;
        visited.push_back(pilot.focusName());
    }
    return visited;
}

bool menuShown(Pilot& pilot) { return pilot.waitUntil([&] { return pilot.popupMenu() != nullptr; }, 5000); }
bool menuGone(Pilot& pilot) { return pilot.waitUntil([&] { return pilot.popupMenu() == nullptr; }, 5000); }

} // namespace

TEST(EndToEndKeyboard, TabVisitsTheControlsInReadingOrder)
{
    ProgramSession session;
    ASSERT_TRUE(session.start());
    Pilot& pilot = session.pilot();
    ASSERT_TRUE(pilot.showPage(1));
    ASSERT_TRUE(pilot.clickField(0));
    const std::vector<std::wstring> forwards = {L"分析", L"saveFolder", L"浏览", L"albums", L"homepage"};
    EXPECT_EQ(focusWalk(pilot, 5, false), forwards);
    const std::vector<std::wstring> backwards = {L"albums", L"浏览", L"saveFolder", L"分析", L"homepage"};
    EXPECT_EQ(focusWalk(pilot, 5, true), backwards);
}

TEST(EndToEndKeyboard, EnterAnalysesFromTheHomepageFieldOnly)
{
    ProgramSession session;
    ASSERT_TRUE(session.start());
    Pilot& pilot = session.pilot();
    ASSERT_TRUE(pilot.showPage(1));
    ASSERT_TRUE(pilot.typeHomepage(homepageAddress("1000000001")));
    ASSERT_TRUE(pilot.clickField(0));
    ASSERT_TRUE(pilot.pressKey(VK_RETURN));
    ASSERT_TRUE(pilot.waitStatusIs(kListed, 30000));
    EXPECT_EQ(pilot.albumCount(), 3);
    EXPECT_EQ(pilot.focusName(), L"homepage");  // the analysis leaves the focus where it was

    // Enter in the save folder asks nothing of anyone and changes nothing.
    const int listings = emulatorCount("requests", "/albums/get_all");
    const std::wstring folder = pilot.saveFolder();
    ASSERT_TRUE(pilot.clickField(1));
    ASSERT_TRUE(pilot.pressKey(VK_RETURN));
    Sleep(1000);
    EXPECT_EQ(emulatorCount("requests", "/albums/get_all"), listings);
    EXPECT_EQ(pilot.status(), kListed);
    EXPECT_EQ(pilot.saveFolder(), folder);
    EXPECT_EQ(pilot.albumCount(), 3);
    EXPECT_FALSE(pilot.waitMessageBox(500));
}

TEST(EndToEndKeyboard, ShiftF10AndTheMenuKeyOpenTheAlbumMenu)
{
    ProgramSession session;
    ASSERT_TRUE(session.start());
    Pilot& pilot = session.pilot();
    ASSERT_TRUE(session.analyse("1000000001"));
    ASSERT_TRUE(pilot.selectAlbum(2));

    // Over the selected album; Escape closes it and nothing was chosen.
    ASSERT_TRUE(pilot.pressKey(VK_F10, {VK_SHIFT}));
    ASSERT_TRUE(menuShown(pilot));
    RECT menu{}, album{};
    GetWindowRect(pilot.popupMenu(), &menu);
    ASSERT_TRUE(pilot.albumRect(2, &album));
    EXPECT_TRUE(PtInRect(&album, POINT{menu.left, menu.top}));
    ASSERT_TRUE(pilot.pressKey(VK_ESCAPE));
    ASSERT_TRUE(menuGone(pilot));
    EXPECT_EQ(pilot.status(), kListed);

    // The menu key, then the arrow keys and Enter: "下载选中" downloads the selected album.
    ASSERT_TRUE(pilot.pressKey(VK_APPS));
    ASSERT_TRUE(menuShown(pilot));
    ASSERT_TRUE(pilot.pressKey(VK_DOWN));
    ASSERT_TRUE(pilot.pressKey(VK_RETURN));
    ASSERT_TRUE(menuGone(pilot));
    EXPECT_TRUE(pilot.waitUntil([&] { return pilot.buttonEnabled(L"分析") && isFinalStatus(pilot.status()); }, 30000))
        << utf8(pilot.status());
    EXPECT_EQ(pilot.status(), finishedStatus(0, 0));  // "空相册"
}

TEST(EndToEndKeyboard, CtrlTabChangesThePageBothWays)
{
    ProgramSession session;
    ASSERT_TRUE(session.start());
    Pilot& pilot = session.pilot();
    ASSERT_EQ(pilot.currentPage(), 0);
    ASSERT_TRUE(pilot.pressKey(VK_TAB, {VK_CONTROL}));
    EXPECT_EQ(pilot.currentPage(), 1);
    // The page shows (its selection change ran) and the focus is on its first control.
    EXPECT_EQ(pilot.focusName(), L"homepage");
    EXPECT_TRUE(IsWindowVisible(pilot.focus()));
    ASSERT_TRUE(pilot.pressKey(VK_TAB, {VK_CONTROL}));
    EXPECT_EQ(pilot.currentPage(), 2);
    EXPECT_EQ(pilot.focusName(), L"tabs");  // the about page has no control to go to
    ASSERT_TRUE(pilot.pressKey(VK_TAB, {VK_CONTROL}));
    EXPECT_EQ(pilot.currentPage(), 0);  // round to the first
    ASSERT_TRUE(pilot.pressKey(VK_TAB, {VK_CONTROL, VK_SHIFT}));
    EXPECT_EQ(pilot.currentPage(), 2);  // and back past it
    ASSERT_TRUE(pilot.pressKey(VK_TAB, {VK_CONTROL, VK_SHIFT}));
    EXPECT_EQ(pilot.currentPage(), 1);
    EXPECT_EQ(pilot.focusName(), L"homepage");
}
