#include "app/jobs/sign_in.h"

#include <gtest/gtest.h>

// The message the status line shows for each answer of the code's check, as the user reads it.
TEST(SignIn, StatusMessages)
{
    const struct {
        int code;
        const char* message;
    } messages[] = {
        {20000000, "登录成功,请输入微博主页分析相册"},
        {50114001, "请打开微博客户端\"扫一扫\""},
        {50114002, "成功扫描，请在手机点击确认以登录"},
        {50114003, "该二维码已过期，请重新扫描"},
        {50114004, "该二维码已登录，请重新扫描"},
        {50114005, "二维码错误"},
        {50114009, "错误"},
        {0, "错误"},
    };
    for (const auto& [code, message] : messages) EXPECT_STREQ(qrStatusMessage(code), message) << code;
}
