// QR sign-in against the local service emulator, through the real main window.
#include "app/app_state.h"
#include "app/jobs.h"
#include "app/main_window.h"
#include "app/sign_in.h"
#include "app/text_cut.h"
#include "ui/application.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

TEST(TextCut, CutBetweenAndJsonp)
{
    EXPECT_EQ(cutBetween("$CONFIG['oid']='123';x", "$CONFIG['oid']='", "';"), "123");
    EXPECT_EQ(cutBetween("no marker", "$CONFIG['oid']='", "';"), "");
    EXPECT_EQ(cutBetween("$CONFIG['oid']='123", "$CONFIG['oid']='", "';"), "");
    EXPECT_EQ(cutBetween("a[b]c[d]", "[", "]"), "b");
    EXPECT_EQ(stripJsonp("STK_1({\"a\":\"x)y\"});"), "{\"a\":\"x)y\"}");  // a ")" inside a value stays
    EXPECT_EQ(stripJsonp("no wrapper"), "");
    EXPECT_EQ(stripJsonp(")("), "");
}

TEST(SignIn, StatusMessages)
{
    EXPECT_STREQ(qrStatusMessage(50114001), "请打开微博客户端\"扫一扫\"");
    EXPECT_STREQ(qrStatusMessage(50114009), "错误");
    EXPECT_STREQ(qrStatusMessage(0), "错误");
}

TEST(SignIn, ConfirmedCodeSignsInAndShowsTheAvatar)
{
    Application::Initialise();
    downloadPool().start(1, 5);
    statusLock().create();
    appState().saveFolder.set("C:\\");
    ASSERT_TRUE(createMainWindow(nullptr));  // OnCreate starts the sign-in
    MainWindow& m = *mainWindow();

    std::vector<std::string> statuses;
    const std::string done = "  状态:登录成功,请输入微博主页分析相册";
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < 30000) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        const std::string status = m.status.GetText();
        if (statuses.empty() || statuses.back() != status) statuses.push_back(status);
        if (status == done) break;
        Sleep(10);
    }
    ASSERT_FALSE(statuses.empty());
    EXPECT_EQ(statuses.back(), done);
    auto seen = [&](const std::string& text) {
        for (const std::string& status : statuses)
            if (status == text) return true;
        return false;
    };
    EXPECT_TRUE(seen("  状态:请打开微博客户端\"扫一扫\""));
    EXPECT_TRUE(seen("  状态:成功扫描，请在手机点击确认以登录"));
    EXPECT_NE(appState().cookies.get().find("SUB="), std::string::npos);
    EXPECT_EQ(appState().cookies.get().find("ALF="), std::string::npos);  // the deleted one is not kept
    EXPECT_EQ(m.signInPicture.Image().Width(), 140);  // the avatar replaced the QR code

    stopAllJobs(3000);
    destroyMainWindow();
    downloadPool().stop(0);
}
