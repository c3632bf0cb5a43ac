#include "platform/tray.h"

#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace {

constexpr unsigned testMessage = WM_USER + 100;

struct Handled {
    std::uintptr_t wParam;
    std::thread::id thread;
};

// The window procedure is a plain function, as the system wants it, so what it sees of the
// test's own message is recorded here; the system's own messages go their default way.
std::vector<Handled> handled;
std::vector<unsigned> lifecycle;

long recordingProcedure(platform::WindowHandle window, unsigned message, std::uintptr_t wParam,
                        std::intptr_t lParam) {
    if (message == testMessage) {
        handled.push_back({wParam, std::this_thread::get_id()});
        return static_cast<long>(wParam) + 1;
    }
    if (message == WM_CLOSE || message == WM_DESTROY) {
        lifecycle.push_back(message);
    }
    if (message == WM_DESTROY) {
        platform::postQuit(0);
    }
    return window->defaultProcedure(message, wParam, lParam);
}

class TrayWindowTest : public ::testing::Test {
protected:
    TrayWindowTest() {
        handled.clear();
        lifecycle.clear();
        window =
            platform::TrayWindow::create("TRAY_WINDOW_TEST", "Test", nullptr, recordingProcedure);
    }

    platform::TrayWindow* window = nullptr;
};

TEST_F(TrayWindowTest, PostsFromAnotherThreadAreHandledOnTheLoopThreadInOrder) {
    ASSERT_NE(window, nullptr);
    std::thread poster([this] {
        for (std::uintptr_t n = 1; n <= 200; ++n) {
            window->post(testMessage, n);
        }
        window->post(WM_CLOSE);
    });
    EXPECT_EQ(platform::runMessageLoop(), 0);
    poster.join();

    ASSERT_EQ(handled.size(), 200u);
    for (std::size_t i = 0; i < handled.size(); ++i) {
        EXPECT_EQ(handled[i].wParam, i + 1);
        EXPECT_EQ(handled[i].thread, std::this_thread::get_id());
    }
    EXPECT_EQ(lifecycle, (std::vector<unsigned>{WM_CLOSE, WM_DESTROY}));
}

TEST_F(TrayWindowTest, PostsToADestroyedWindowAreDropped) {
    ASSERT_NE(window, nullptr);
    window->post(WM_CLOSE);
    EXPECT_EQ(platform::runMessageLoop(), 0);
    window->post(testMessage, 1);
    platform::postQuit(3);
    EXPECT_EQ(platform::runMessageLoop(), 3);
    EXPECT_TRUE(handled.empty());
}

TEST_F(TrayWindowTest, QuitCodeIsTheLoopsResultAfterEarlierMessages) {
    ASSERT_NE(window, nullptr);
    window->post(testMessage, 1);
    platform::postQuit(5);
    EXPECT_EQ(platform::runMessageLoop(), 5);
    EXPECT_EQ(handled.size(), 1u);
}

TEST_F(TrayWindowTest, SentMessageIsHandledBeforeSendReturns) {
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->send(testMessage, 41), 42);
    ASSERT_EQ(handled.size(), 1u);
    EXPECT_EQ(handled[0].wParam, 41u);
}

// Seen from inside the menu's own loop: which window was in the foreground while it was open.
HWND foregroundDuringMenu = nullptr;

void CALLBACK closeMenu(HWND, UINT, UINT_PTR timer, DWORD) {
    foregroundDuringMenu = GetForegroundWindow();
    KillTimer(nullptr, timer);
    EndMenu();
}

TEST_F(TrayWindowTest, MenuIsOpenedInTheForegroundAndFollowedByANullMessage) {
    ASSERT_NE(window, nullptr);
    const HWND handle = FindWindowW(L"TRAY_WINDOW_TEST", L"Test");
    ASSERT_NE(SetTimer(nullptr, 0, 100, closeMenu), 0u);

    EXPECT_EQ(window->trackMenu({{2001, "Uruchom Ledvik"}, {2002, "Zakończ"}}, 2001), 0u);

    EXPECT_EQ(foregroundDuringMenu, handle);
    bool nullPosted = false;
    MSG message{};
    while (PeekMessageW(&message, handle, 0, 0, PM_REMOVE)) {
        nullPosted = nullPosted || message.message == WM_NULL;
    }
    EXPECT_TRUE(nullPosted);
}

TEST_F(TrayWindowTest, TheWindowIsNeverShown) {
    ASSERT_NE(window, nullptr);
    const HWND found = FindWindowW(L"TRAY_WINDOW_TEST", L"Test");
    ASSERT_NE(found, nullptr);
    EXPECT_FALSE(IsWindowVisible(found));
}

} // namespace
