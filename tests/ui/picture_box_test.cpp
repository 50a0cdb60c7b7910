// The picture control: still pictures, animated GIFs on the player thread, pause and teardown.
#include "ui/application.h"
#include "ui/picture_box.h"
#include "ui/top_level_window.h"

#include <gtest/gtest.h>
#include <tlhelp32.h>
#include <vector>

#include "tests/support/other_thread.h"
#include "tests/support/window_test.h"

namespace {

// An animated GIF of 1 x 1 frames with the given delays (hundredths of a second); `frames` may
// exceed the delays listed only when `withDelays` is false (no delay item at all otherwise).
std::string animatedGif(const std::vector<int>& delays, int frames, bool withDelays = true)
{
    std::string gif("GIF89a\x01\x00\x01\x00\x80\x00\x00", 13);
    gif += std::string("\x00\x00\x00\xFF\xFF\xFF", 6);
    gif += std::string("\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00", 19);
    for (int i = 0; i < frames; ++i) {
        if (withDelays) {
            const int delay = i < static_cast<int>(delays.size()) ? delays[static_cast<size_t>(i)] : 0;
            gif += std::string("\x21\xF9\x04\x00", 4);
            gif += static_cast<char>(delay & 0xFF);
            gif += static_cast<char>(delay >> 8);
            gif += std::string("\x00\x00", 2);
        }
        gif += std::string("\x2C\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00", 15);
    }
    return gif + ";";
}

std::string stillGif() { return animatedGif({}, 1, false); }

int threadsOfThisProcess()
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
    CloseHandle(snapshot);
    return count;
}

// Serves the test thread's messages (the player reaches the control through them) for a while,
// noting each change of the player's index with its time.
struct Change {
    int index;
    DWORD at;
};

std::vector<Change> watch(PictureBox& box, DWORD ms)
{
    std::vector<Change> changes;
    int last = box.PlayIndex();
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        const int index = box.PlayIndex();
        if (index != last) changes.push_back({index, GetTickCount() - start});
        last = index;
        Sleep(2);
    }
    return changes;
}

class PictureBoxTest : public WindowTest {
protected:
    // Visible: the player skips hidden controls.
    PictureBoxTest() : WindowTest({300, 300}, CreateOptions{}.style) {}
    void SetUp() override
    {
        WindowTest::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_TRUE(box.Create(window.GetHandle(), "", {10, 10}, {182, 182}));
    }
    PictureBox box;
};

int gFrameRequests = 0;
intptr_t countFrameRequests(intptr_t, intptr_t message, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t)
{
    if (message == kShowFrameMessage) ++gFrameRequests;
    return 0;
}

// Every message another thread sent to the watched window, seen on the window's own thread
// before any procedure of the window.
HWND gWatched = nullptr;
int gSentFromOtherThreads = 0;
LRESULT CALLBACK countSentFromOtherThreads(int code, WPARAM wParam, LPARAM lParam)
{
    const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && sent->hwnd == gWatched && InSendMessage()) ++gSentFromOtherThreads;
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

struct OffThreadCalls {
    PictureBox* box;
    HANDLE done;
    int kindSeen = 0;
    int widthSeen = 0;
    int framesSeen = -1;
};

DWORD WINAPI callFromAnotherThread(void* parameter)
{
    auto& calls = *static_cast<OffThreadCalls*>(parameter);
    calls.box->ShowImageType(2, true);
    calls.box->BackColor(RGB(1, 2, 3), true);
    calls.box->PlayGif(false, true);
    calls.kindSeen = calls.box->ShowImageType();
    calls.widthSeen = calls.box->Image().Width();
    calls.framesSeen = calls.box->PlayFrameCount();
    if (calls.done) SetEvent(calls.done);
    return 0;
}

} // namespace

TEST_F(PictureBoxTest, APictureChangeAfterAnAnimationLeavesNothingToPlay)
{
    ASSERT_TRUE(box.SetImageData(animatedGif({5, 5, 5}, 3)));
    watch(box, 100);
    EXPECT_FALSE(box.SetImageData("not a picture"));
    EXPECT_EQ(box.PlayFrameCount(), 0);
    EXPECT_TRUE(box.PlayTimes().empty());

    gFrameRequests = 0;
    box.OnWndMsg(countFrameRequests);
    box.PlayGif(false, true);
    box.PlayGif(true, true);
    // No event marks "the player did nothing", so this watches for a while: a player spinning
    // on the missing frames would have sent thousands of requests by then.
    watch(box, 300);
    EXPECT_LE(gFrameRequests, 1);  // at most one already under way
    ASSERT_TRUE(box.SetImageData(stillGif()));
    gFrameRequests = 0;
    box.PlayGif(true, true);
    watch(box, 200);
    EXPECT_EQ(gFrameRequests, 0);

    // The same player takes up the next animation.
    ASSERT_TRUE(box.SetImageData(animatedGif({5, 5}, 2)));
    EXPECT_EQ(box.PlayFrameCount(), 2);
    EXPECT_FALSE(watch(box, 300).empty());
}

TEST_F(PictureBoxTest, EveryOperationOfAnotherThreadRunsOnTheWindowsThread)
{
    ASSERT_TRUE(box.SetImageData(stillGif()));
    gSentFromOtherThreads = 0;
    gWatched = box.GetHandle();
    HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, countSentFromOtherThreads, nullptr, GetCurrentThreadId());
    ASSERT_NE(hook, nullptr);
    OffThreadCalls calls{&box, CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    HANDLE thread = CreateThread(nullptr, 0, callFromAnotherThread, &calls, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    // The calls wait for this thread to serve them.
    while (MsgWaitForMultipleObjects(1, &calls.done, FALSE, 5000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
    UnhookWindowsHookEx(hook);
    WaitForSingleObject(thread, 5000);
    CloseHandle(thread);
    CloseHandle(calls.done);
    EXPECT_EQ(gSentFromOtherThreads, 6);
    EXPECT_EQ(calls.kindSeen, 2);
    EXPECT_EQ(calls.widthSeen, 1);
    EXPECT_EQ(calls.framesSeen, 0);
    EXPECT_EQ(box.ShowImageType(), 2);
    EXPECT_EQ(box.BackColor(), RGB(1, 2, 3));
    EXPECT_FALSE(box.PlayGif());
}

TEST_F(PictureBoxTest, AnotherThreadsCallsWithoutAWindowAreDropped)
{
    // A box whose window is gone and one whose window was never made: the objects stay, and only
    // this thread, which made them, may still use them.
    ASSERT_TRUE(box.SetImageData(stillGif()));
    DestroyWindow(box.GetHandle());
    PictureBox neverMade;
    for (PictureBox* target : {&box, &neverMade}) {
        OffThreadCalls calls{target, nullptr};
        runOnOtherThread([&] { callFromAnotherThread(&calls); });
        // The other thread got nothing but empty answers...
        EXPECT_EQ(calls.kindSeen, 0);
        EXPECT_EQ(calls.widthSeen, 0);
        EXPECT_EQ(calls.framesSeen, 0);
        // ...and changed nothing.
        EXPECT_EQ(target->ShowImageType(), 3);
        EXPECT_NE(target->BackColor(), RGB(1, 2, 3));
        EXPECT_TRUE(target->PlayGif());
    }
}

TEST_F(PictureBoxTest, AStrayCallMessageRunsNothing)
{
    // The message that carries other threads' calls, as another program or a stale sender could
    // send it: its number names no call, so nothing runs and the box stays as it was.
    constexpr UINT kCallMessage = kPictureCallMessage;
    ASSERT_TRUE(box.SetImageData(stillGif()));
    for (const LPARAM number : {LPARAM{0}, LPARAM{1}, LPARAM{0x1234}, reinterpret_cast<LPARAM>(&box)})
        EXPECT_EQ(box.Send(kCallMessage, 0, number), 0);
    EXPECT_EQ(box.Image().Width(), 1);
    EXPECT_EQ(box.ShowImageType(), 3);
}

TEST_F(PictureBoxTest, StillPicturesStartNoPlayer)
{
    EXPECT_EQ(box.ShowImageType(), 3);
    EXPECT_TRUE(box.GetStyle() & SS_OWNERDRAW);
    EXPECT_TRUE(box.SetImageData(stillGif()));
    EXPECT_FALSE(box.HasPlayer());
    EXPECT_EQ(box.PlayFrameCount(), 0);
    EXPECT_EQ(box.Image().Width(), 1);
    EXPECT_EQ(box.Image().RawFormat(), "{B96B3CB0-0728-11D3-9D7B-0000F81EF32E}");  // GIF
    EXPECT_FALSE(box.SetImageData("not a picture"));
    EXPECT_TRUE(box.Image().IsEmpty());
}

TEST_F(PictureBoxTest, PlaysFramesInOrderWithTheirDelays)
{
    ASSERT_TRUE(box.SetImageData(animatedGif({10, 0, 20}, 3)));
    EXPECT_EQ(box.PlayTimes(), (std::vector<uint32_t>{10, 0, 20}));
    EXPECT_EQ(box.PlayFrameCount(), 3);
    EXPECT_TRUE(box.HasPlayer());
    const std::vector<Change> changes = watch(box, 1300);
    // After frame 0 (110 ms) the index is 1, after frame 1 (88 ms) 2, after frame 2 (220 ms) 3,
    // then frame 0 again: 1, 2, 3 ...
    ASSERT_GE(changes.size(), 5u);
    for (size_t i = 0; i + 1 < changes.size(); ++i) {
        const int expected = changes[i].index == 3 ? 1 : changes[i].index + 1;
        EXPECT_EQ(changes[i + 1].index, expected) << i;
    }
    // Rough timing only: the pause before 3 (frame 2, 220 ms) is the longest.
    for (size_t i = 1; i < changes.size(); ++i) {
        const DWORD gap = changes[i].at - changes[i - 1].at;
        if (changes[i].index == 3) {
            EXPECT_GE(gap, 180u);
        }
        if (changes[i].index == 2) {
            EXPECT_LT(gap, 180u);
        }
    }
}

TEST_F(PictureBoxTest, PauseHoldsTheFrameAndResumeGoesOn)
{
    ASSERT_TRUE(box.SetImageData(animatedGif({5, 5, 5, 5}, 4)));
    watch(box, 200);
    box.PlayGif(false, true);
    EXPECT_FALSE(box.PlayGif());
    watch(box, 120);  // let a frame already under way finish
    const int paused = box.PlayIndex();
    EXPECT_TRUE(watch(box, 300).empty());
    EXPECT_EQ(box.PlayIndex(), paused);
    box.PlayGif(true, true);
    EXPECT_FALSE(watch(box, 300).empty());
}

TEST_F(PictureBoxTest, DestroyingTheWindowEndsThePlayer)
{
    const int before = threadsOfThisProcess();
    ASSERT_TRUE(box.SetImageData(animatedGif({5, 5}, 2)));
    watch(box, 100);
    EXPECT_EQ(threadsOfThisProcess(), before + 1);
    box.PlayGif(false, true);  // waiting on its event when the window goes
    DestroyWindow(window.GetHandle());
    const DWORD start = GetTickCount();
    while (threadsOfThisProcess() > before && GetTickCount() - start < 3000) Sleep(10);
    EXPECT_EQ(threadsOfThisProcess(), before);
}
