#include "app/jobs/sign_in.h"

#include <gtest/gtest.h>

TEST(SignIn, StatusMessages)
{
    EXPECT_STREQ(qrStatusMessage(50114001), "请打开微博客户端\"扫一扫\"");
    EXPECT_STREQ(qrStatusMessage(50114009), "错误");
    EXPECT_STREQ(qrStatusMessage(0), "错误");
}
