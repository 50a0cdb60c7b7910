// The real program's status line when an analysis cannot go on, and addresses as people paste them.
#include <gtest/gtest.h>

#include <string>

#include "tests/e2e/session.h"

namespace {

const std::wstring kNotOpened = L"  状态:用户主页打开失败,请检查地址和网络;";
const std::wstring kNotSignedIn = L"  状态:尚未登录,请先在\"登录\"页扫码登录;";
const std::wstring kNoOwner = L"  状态:未在该页面找到用户信息,请输入用户主页地址;";
constexpr int kCloserPort = PICLADE_TEST_PORT_BASE + 8;  // accepts and closes at once

std::wstring mainSite(const std::wstring& path) { return L"http://127.0.0.1:" + std::to_wstring(PICLADE_TEST_PORT_BASE) + path; }

// Analyses an address and waits for the line it ends with.
bool analyseEndsWith(Pilot& pilot, const std::wstring& address, const std::wstring& line)
{
    return pilot.showPage(1) && pilot.setHomepage(address) && pilot.pressButton(L"分析") && pilot.waitStatusIs(line, 30000);
}

} // namespace

TEST(EndToEndAnalysisLines, AHomepageThatCannotBeOpenedSaysSo)
{
    ProgramSession session;
    ASSERT_TRUE(session.start());
    Pilot& pilot = session.pilot();
    EXPECT_TRUE(analyseEndsWith(pilot, L"http://127.0.0.1:" + std::to_wstring(kCloserPort) + L"/u/1000000001", kNotOpened))
        << utf8(pilot.status());
    // A listing after it, then a page the site does not have.
    ASSERT_TRUE(session.analyse("1000000001"));
    EXPECT_TRUE(analyseEndsWith(pilot, mainSite(L"/u/9999999999"), kNotOpened)) << utf8(pilot.status());
    EXPECT_EQ(pilot.albumCount(), 0);
}

TEST(EndToEndAnalysisLines, APageWithoutTheSignedInUserSaysSignInFirst)
{
    ProgramSession session;
    ASSERT_TRUE(session.start());
    // The site no longer knows the session: the homepage names its owner but nobody signed in.
    ASSERT_TRUE(control("/faults?refuse_sessions=1"));
    EXPECT_TRUE(analyseEndsWith(session.pilot(), homepageAddress("1000000001"), kNotSignedIn)) << utf8(session.pilot().status());
    EXPECT_EQ(session.pilot().albumCount(), 0);
}

TEST(EndToEndAnalysisLines, APageWithoutAnOwnerAsksForAHomepage)
{
    ProgramSession session;
    ASSERT_TRUE(session.start());
    // The site's front page names the signed-in user only.
    EXPECT_TRUE(analyseEndsWith(session.pilot(), mainSite(L"/"), kNoOwner)) << utf8(session.pilot().status());
    EXPECT_EQ(session.pilot().albumCount(), 0);
}

TEST(EndToEndAnalysisLines, APastedAddressIsAnalysed)
{
    ProgramSession session;
    ASSERT_TRUE(session.start());
    Pilot& pilot = session.pilot();
    // Copied from a chat: blanks, a full-width space and line ends around it, and no scheme.
    const std::wstring pasted = L" \t127.0.0.1:" + std::to_wstring(PICLADE_TEST_PORT_BASE) + L"/u/1000000001?from=myfollow_all\u3000\r\n";
    EXPECT_TRUE(analyseEndsWith(pilot, pasted, kListed)) << utf8(pilot.status());
    EXPECT_EQ(pilot.albumCount(), 3);
    EXPECT_EQ(pilot.homepage(), pasted);  // the field keeps what the user gave it
}
