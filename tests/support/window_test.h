// A test on a real top-level window: made before each test, destroyed after it unless the test
// already did.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include "ui/application.h"
#include "ui/top_level_window.h"

class WindowTest : public ::testing::Test {
protected:
    explicit WindowTest(SIZE size, DWORD style = WS_CAPTION | WS_SYSMENU) : size_(size), style_(style) {}
    static void SetUpTestSuite() { Application::Initialise(); }
    void SetUp() override
    {
        CreateOptions options;
        options.style = style_;
        options.size = size_;
        ASSERT_TRUE(window.Create(options));
    }
    void TearDown() override
    {
        if (window.IsWindow()) DestroyWindow(window.GetHandle());
    }
    TopLevelWindow window;

private:
    SIZE size_;
    DWORD style_;
};
