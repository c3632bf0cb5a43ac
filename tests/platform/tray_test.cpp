#include "platform/tray.h"

#include <csignal>
#include <gtest/gtest.h>
#include <thread>
#include <utility>
#include <vector>

namespace {

constexpr unsigned testMessage = 1100;
constexpr unsigned exitCommand = 2002;

struct Handled {
    unsigned message;
    std::uintptr_t wParam;
    std::thread::id thread;
};

// The window procedure is a plain function, as the system wants it, so what it sees is
// recorded here.
std::vector<Handled> handled;

long recordingProcedure(platform::WindowHandle window, unsigned message, std::uintptr_t wParam,
                        std::intptr_t lParam) {
    handled.push_back({message, wParam, std::this_thread::get_id()});
    if (message == WM_COMMAND && wParam == exitCommand)
        window->post(WM_CLOSE);
    if (message == WM_DESTROY)
        platform::postQuit(0);
    return window->defaultProcedure(message, wParam, lParam);
}

std::vector<unsigned> messagesHandled() {
    std::vector<unsigned> messages;
    for (const Handled& entry : handled)
        messages.push_back(entry.message);
    return messages;
}

class TrayWindowTest : public ::testing::Test {
protected:
    TrayWindowTest() { handled.clear(); }

    platform::TrayWindow* window = platform::TrayWindow::create(
        "TEST_CLASS", "Test", platform::loadIcon(101, "main"), recordingProcedure);
};

TEST_F(TrayWindowTest, PostsFromAnotherThreadAreHandledOnTheLoopThreadInOrder) {
    std::thread poster([this] {
        for (std::uintptr_t n = 1; n <= 200; ++n)
            window->post(testMessage, n);
        window->post(WM_CLOSE);
    });
    EXPECT_EQ(platform::runMessageLoop(), 0);
    poster.join();

    ASSERT_EQ(handled.size(), 202u);
    for (std::size_t i = 0; i < 200; ++i) {
        EXPECT_EQ(handled[i].message, testMessage);
        EXPECT_EQ(handled[i].wParam, i + 1);
    }
    for (const Handled& entry : handled)
        EXPECT_EQ(entry.thread, std::this_thread::get_id());
}

TEST_F(TrayWindowTest, CloseDestroysTheWindowOnceAndLaterPostsAreDropped) {
    window->post(WM_CLOSE);
    window->post(WM_CLOSE);
    window->post(testMessage);
    platform::runMessageLoop();

    EXPECT_EQ(messagesHandled(), (std::vector<unsigned>{WM_CLOSE, WM_DESTROY}));
}

TEST_F(TrayWindowTest, QuitCodeIsTheLoopsResultAfterEarlierMessages) {
    window->post(testMessage);
    platform::postQuit(5);
    EXPECT_EQ(platform::runMessageLoop(), 5);
    EXPECT_EQ(messagesHandled(), std::vector<unsigned>{testMessage});
}

TEST_F(TrayWindowTest, EveryTooltipIsOneLineWithItsIconOnStandardOutputInOrder) {
    ::testing::internal::CaptureStdout();
    const platform::Icon green = platform::loadIcon(106, "green");
    const platform::Icon red = platform::loadIcon(107, "red");
    window->addIcon(100, 1025, red, "Trivane Ledvik Drukarki fiskalne");
    window->modifyIcon(green, "Nawiązano połączenie z drukarką");
    window->modifyIcon(red, "Brak połączenia z drukarką fiskalną");
    window->removeIcon();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "Trivane Ledvik Drukarki fiskalne [red]\n"
              "Nawiązano połączenie z drukarką [green]\n"
              "Brak połączenia z drukarką fiskalną [red]\n");
}

TEST_F(TrayWindowTest, TerminationSignalsChooseTheExitCommand) {
    window->chooseOnTerminationSignal(exitCommand);
    for (int signal : {SIGTERM, SIGINT}) {
        handled.clear();
        std::raise(signal);
        EXPECT_EQ(platform::runMessageLoop(), 0);
        ASSERT_FALSE(handled.empty());
        EXPECT_EQ(handled.front().message, static_cast<unsigned>(WM_COMMAND));
        EXPECT_EQ(handled.front().wParam, exitCommand);
        window = platform::TrayWindow::create("TEST_CLASS", "Test", platform::loadIcon(101, "main"),
                                              recordingProcedure);
        window->chooseOnTerminationSignal(exitCommand);
    }
}

} // namespace
