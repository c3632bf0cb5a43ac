// The program's only user interface: a hidden window that owns an icon in the taskbar's
// notification area, with a popup menu, and the message loop that serves it.
#ifndef PLATFORM_TRAY_H
#define PLATFORM_TRAY_H

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>
#else
// The standard window messages the program handles, by their Win32 numbers, so that the
// window procedure reads the same on every system.
#define WM_DESTROY 0x0002
#define WM_PAINT 0x000F
#define WM_CLOSE 0x0010
#define WM_COMMAND 0x0111
#define WM_LBUTTONUP 0x0202
#define WM_RBUTTONUP 0x0205
#endif

namespace platform {

class TrayWindow;

using WindowHandle = TrayWindow*;
using WindowProcedure = long (*)(WindowHandle window, unsigned message, std::uintptr_t wParam,
                                 std::intptr_t lParam);
#ifdef _WIN32
using Icon = HICON;
#else
// On Linux an icon is the words that stand for its picture on standard output.
using Icon = std::string;
#endif

struct MenuItem {
    unsigned command;
    std::string text;
};

// On Windows a real hidden window (RegisterClassExW, CreateWindowExW, Shell_NotifyIconW).
// On Linux a stand-in for a program running in the foreground: every tooltip the icon takes
// is printed as one line on standard output, followed by the icon's words in brackets; the
// menu cannot be opened, and SIGINT and SIGTERM choose a menu command instead (see
// `chooseOnTerminationSignal`).
//
// Messages posted from any thread reach the procedure on the thread that runs the message
// loop, in the order in which they were posted. Posts to a destroyed window are dropped.
class TrayWindow {
public:
    // Null when the window cannot be created. The window is never freed, because other
    // threads may still post to it while the process ends.
    static TrayWindow* create(const std::string& windowClass, const std::string& title,
                              const Icon& classIcon, WindowProcedure procedure);

    // PostMessageW: queues the message and returns; safe from any thread.
    void post(unsigned message, std::uintptr_t wParam = 0, std::intptr_t lParam = 0);
    // SendMessageW from the loop's thread: the procedure handles it before this returns.
    long send(unsigned message, std::uintptr_t wParam = 0, std::intptr_t lParam = 0);
    // DefWindowProcW: WM_CLOSE destroys the window, which then receives WM_DESTROY.
    long defaultProcedure(unsigned message, std::uintptr_t wParam, std::intptr_t lParam);

    // Shell_NotifyIconW NIM_ADD, NIM_MODIFY and NIM_DELETE. `callbackMessage` is posted to
    // the window with the mouse message in lParam when the user clicks the icon.
    void addIcon(unsigned id, unsigned callbackMessage, const Icon& icon, const std::string& tip);
    void modifyIcon(const Icon& icon, const std::string& tip);
    // A warning balloon (a notification) from the icon; on Linux the line "title: text".
    void showBalloon(const std::string& title, const std::string& text);
    void removeIcon();

    // Shows the menu at the mouse pointer, `defaultCommand` in bold, and returns the chosen
    // command, or 0 when the menu was dismissed or cannot be shown.
    unsigned trackMenu(const std::vector<MenuItem>& items, unsigned defaultCommand);

    // Linux: SIGINT and SIGTERM choose `command` as if from the icon's menu (WM_COMMAND);
    // until this is called they end the process as usual, unless `takeOverProcessSignals`
    // holds them. Windows: nothing to do.
    void chooseOnTerminationSignal(unsigned command);

private:
    explicit TrayWindow(WindowProcedure procedure);
    void destroy();

    WindowProcedure procedure;
    // Read by posting threads, written by the loop's thread.
    std::atomic<bool> destroyed{false};
#ifdef _WIN32
    // The window procedure of the class: hands each message to `procedure` with this object.
    static LRESULT CALLBACK dispatch(HWND handle, UINT message, WPARAM wParam, LPARAM lParam);

    HWND handle = nullptr;
    // The icon's record, reused for every change of the icon.
    NOTIFYICONDATAW notifyIconData{};
#endif
};

// Called first thing at start. Linux: from then on SIGINT and SIGTERM no longer end the
// process at once; one that comes before a window has called `chooseOnTerminationSignal`
// is held and chooses the command as soon as one does. Writes to a standard output whose
// reader has gone are dropped instead of ending the process (SIGPIPE). Windows: nothing to
// do.
void takeOverProcessSignals();

// LoadIconW of an icon resource of the program; `words` stand for it on Linux.
Icon loadIcon(int resource, const std::string& words);

// PostQuitMessage: the message loop ends with `exitCode` once the messages posted before
// have been handled.
void postQuit(int exitCode);

// GetMessageW, TranslateMessage, DispatchMessageW until the quit message; returns its code.
int runMessageLoop();

} // namespace platform

#endif
