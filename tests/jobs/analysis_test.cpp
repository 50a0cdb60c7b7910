#include "app/jobs/analysis.h"
#include "app/jobs/service_exchange.h"
#include "app/core/app_state.h"
#include "app/core/shared_objects.h"

#include <gtest/gtest.h>
#include <string>

TEST(Analysis, RowTextsAndServiceAddresses)
{
    EXPECT_EQ(albumRowText(L"旅行", 35), L"[旅行] 35张");
    EXPECT_EQ(albumRowText(L"旅行\U0001F697", 2), L"[旅行\U0001F697] 2张");  // every character of the caption
    // Up to 100 units; a longer caption shows its first 100 and "…", never half a character.
    const std::wstring whole(100, L'相');
    EXPECT_EQ(albumRowText(whole, 1), L"[" + whole + L"] 1张");
    EXPECT_EQ(albumRowText(whole + std::wstring(10000, L'名'), 3), L"[" + whole + L"\u2026] 3张");
    const std::wstring pairAtTheCut = std::wstring(99, L'相') + L"\U0001F697" + L"后";
    EXPECT_EQ(albumRowText(pairAtTheCut, 3), L"[" + std::wstring(99, L'相') + L"\u2026] 3张");
    const std::string port = std::to_string(PICLADE_TEST_PORT_BASE);
    EXPECT_TRUE(isServiceAddress("http://127.0.0.1:" + port + "/u/1?from=myfollow_all"));
    EXPECT_FALSE(isServiceAddress("http://127.0.0.2:" + port + "/u/1"));
    EXPECT_FALSE(isServiceAddress("http://evil.example/127.0.0.1:" + port + "/u/1"));
    EXPECT_FALSE(isServiceAddress("http://evil.example\\.127.0.0.1:" + port + "/u/1"));
    // The photo service's own host, exactly: another port on its address is not it.
    const std::string photoPort = std::to_string(PICLADE_TEST_PORT_BASE + 2);
    EXPECT_TRUE(isServiceAddress("http://127.0.0.1:" + photoPort + "/albums/get_all?uid=1"));
    EXPECT_FALSE(isServiceAddress("http://127.0.0.1:" + std::to_string(PICLADE_TEST_PORT_BASE + 10) + "/albums/get_all"));
    EXPECT_FALSE(isServiceAddress("http://127.0.0.2:" + photoPort + "/albums/get_all"));
    EXPECT_TRUE(isAddressOnHost("http://Photo.Example:80/x", "photo.example"));
    EXPECT_FALSE(isAddressOnHost("http://www.photo.example/x", "photo.example"));

    // A redirect rebuilt against the current host writes its port out, the default one too.
    EXPECT_TRUE(isAddressOnSite("http://site.example:80/u/1", "site.example"));
    EXPECT_TRUE(isAddressOnSite("HTTPS://www.Site.example:443/u/1", "site.example"));
    EXPECT_TRUE(isAddressOnSite("http://site.example/", "Site.Example"));
    EXPECT_FALSE(isAddressOnSite("http://site.example:8080/u/1", "site.example"));
    EXPECT_FALSE(isAddressOnSite("https://site.example:80/u/1", "site.example"));
    EXPECT_FALSE(isAddressOnSite("http://site.example:443/u/1", "site.example"));
    EXPECT_FALSE(isAddressOnSite("http://othersite.example:80/", "site.example"));
    EXPECT_FALSE(isAddressOnSite("http://site.example.evil:80/", "site.example"));
}

TEST(Analysis, AHomepageReadSaysWhyItEnded)
{
    const std::string site = "http://127.0.0.1:" + std::to_string(PICLADE_TEST_PORT_BASE);
    // Without a session a homepage names its owner but no signed-in user.
    appState().cookies.set("");
    EXPECT_EQ(readHomepage(site + "/u/1000000001?from=myfollow_all"), HomepageRead::NotSignedIn);
    EXPECT_EQ(appState().ownerId.get(), "1000000001");
    // The front page names no owner; a page the site does not have, and a host that closes at
    // once, give no page at all.
    EXPECT_EQ(readHomepage(site + "/"), HomepageRead::NoOwner);
    EXPECT_EQ(readHomepage(site + "/u/9999999999"), HomepageRead::NotOpened);
    EXPECT_EQ(readHomepage("http://127.0.0.1:" + std::to_string(PICLADE_TEST_PORT_BASE + 8) + "/u/1000000001"), HomepageRead::NotOpened);
    EXPECT_TRUE(appState().ownerId.get().empty());
}
