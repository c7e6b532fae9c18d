#pragma once
// Shared set-up of the toolkit's tests: the pinned fonts, a test clock, and
// windows that are hidden again after each test.

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/ui/UIApplication.h"
#include "platform/ui/UIWindow.h"

class UITest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // A visible key window of the screen's size with a white root view.
    std::shared_ptr<UIWindow> makeWindow(std::shared_ptr<UIViewController> root = nullptr);
    // Advances the test clock and runs what fell due on the main queue.
    void advance(double seconds);

    ScopedTestClock clock;
    std::vector<std::shared_ptr<UIWindow>> windows;
};
