#include "platform/tray.h"

#include "platform/wide_text_win32.h"

#include <cwchar>
#include <shellapi.h>

namespace platform {

namespace {

// The window being made by CreateWindowExW on this thread: its first messages arrive before
// the handle is known to the object.
thread_local TrayWindow* windowBeingCreated = nullptr;

void copyTip(NOTIFYICONDATAW& record, const std::string& tip) {
    // Truncates instead of ending the program, as a plain bounded copy would on a long text.
    wcsncpy_s(record.szTip, ARRAYSIZE(record.szTip), widen(tip).c_str(), _TRUNCATE);
}

} // namespace

TrayWindow::TrayWindow(WindowProcedure procedure) : procedure(procedure) {}

LRESULT CALLBACK TrayWindow::dispatch(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* window = reinterpret_cast<TrayWindow*>(GetWindowLongPtrW(handle, GWLP_USERDATA));
    if (window == nullptr && windowBeingCreated != nullptr) {
        window = windowBeingCreated;
        window->handle = handle;
        SetWindowLongPtrW(handle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window));
    }
    if (window == nullptr) {
        return DefWindowProcW(handle, message, wParam, lParam);
    }
    if (message == WM_NCDESTROY) {
        window->destroyed = true;
    }
    return window->procedure(window, message, wParam, lParam);
}

TrayWindow* TrayWindow::create(const std::string& windowClass, const std::string& title,
                               const Icon& classIcon, WindowProcedure procedure) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    const std::wstring className = widen(windowClass);
    WNDCLASSEXW windowClassRecord{};
    windowClassRecord.cbSize = sizeof windowClassRecord;
    windowClassRecord.style = CS_HREDRAW | CS_VREDRAW;
    windowClassRecord.lpfnWndProc = dispatch;
    windowClassRecord.hInstance = instance;
    windowClassRecord.hIcon = classIcon;
    windowClassRecord.hIconSm = classIcon;
    windowClassRecord.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClassRecord.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClassRecord.lpszClassName = className.c_str();
    RegisterClassExW(&windowClassRecord);

    auto* window = new TrayWindow(procedure);
    windowBeingCreated = window;
    const HWND handle = CreateWindowExW(0, className.c_str(), widen(title).c_str(),
                                        WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                        CW_USEDEFAULT, 0, nullptr, nullptr, instance, nullptr);
    windowBeingCreated = nullptr;
    if (handle == nullptr) {
        delete window;
        return nullptr;
    }
    ShowWindow(handle, SW_HIDE);
    UpdateWindow(handle);
    return window;
}

void TrayWindow::post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
    if (!destroyed) {
        PostMessageW(handle, message, wParam, lParam);
    }
}

long TrayWindow::send(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
    return static_cast<long>(SendMessageW(handle, message, wParam, lParam));
}

long TrayWindow::defaultProcedure(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
    if (message == WM_PAINT) {
        PAINTSTRUCT paint;
        BeginPaint(handle, &paint);
        EndPaint(handle, &paint);
        return 0;
    }
    return static_cast<long>(DefWindowProcW(handle, message, wParam, lParam));
}

void TrayWindow::addIcon(unsigned id, unsigned callbackMessage, const Icon& icon,
                         const std::string& tip) {
    notifyIconData = NOTIFYICONDATAW{};
    notifyIconData.cbSize = sizeof notifyIconData;
    notifyIconData.hWnd = handle;
    notifyIconData.uID = id;
    notifyIconData.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    notifyIconData.uCallbackMessage = callbackMessage;
    notifyIconData.hIcon = icon;
    copyTip(notifyIconData, tip);
    Shell_NotifyIconW(NIM_ADD, &notifyIconData);
}

void TrayWindow::modifyIcon(const Icon& icon, const std::string& tip) {
    notifyIconData.hIcon = icon;
    copyTip(notifyIconData, tip);
    Shell_NotifyIconW(NIM_MODIFY, &notifyIconData);
}

void TrayWindow::showBalloon(const std::string& title, const std::string& text) {
    NOTIFYICONDATAW record = notifyIconData;
    record.uFlags = NIF_INFO;
    record.dwInfoFlags = NIIF_WARNING;
    wcsncpy_s(record.szInfoTitle, ARRAYSIZE(record.szInfoTitle), widen(title).c_str(), _TRUNCATE);
    wcsncpy_s(record.szInfo, ARRAYSIZE(record.szInfo), widen(text).c_str(), _TRUNCATE);
    Shell_NotifyIconW(NIM_MODIFY, &record);
}

void TrayWindow::removeIcon() {
    NOTIFYICONDATAW record{};
    record.cbSize = sizeof record;
    record.hWnd = handle;
    record.uID = notifyIconData.uID;
    Shell_NotifyIconW(NIM_DELETE, &record);
}

unsigned TrayWindow::trackMenu(const std::vector<MenuItem>& items, unsigned defaultCommand) {
    const HMENU menu = CreatePopupMenu();
    UINT position = 0;
    for (const MenuItem& item : items) {
        InsertMenuW(menu, position++, MF_BYPOSITION | MF_STRING, item.command,
                    widen(item.text).c_str());
    }
    SetMenuDefaultItem(menu, defaultCommand, FALSE);
    SetFocus(handle);
    SendMessageW(handle, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu), 0);
    POINT cursor{};
    GetCursorPos(&cursor);
    // A menu whose owner is not the foreground window stays open when the user clicks
    // elsewhere; the message posted after it lets the menu close on the next click.
    SetForegroundWindow(handle);
    const BOOL command = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON,
                                        cursor.x, cursor.y, 0, handle, nullptr);
    PostMessageW(handle, WM_NULL, 0, 0);
    DestroyMenu(menu);
    return static_cast<unsigned>(command);
}

// Windows ends a GUI program through its window, not through signals, and a GUI program's
// writes to a missing console do not end it.
void TrayWindow::chooseOnTerminationSignal(unsigned) {}

void takeOverProcessSignals() {}

Icon loadIcon(int resource, const std::string&) {
    return LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(resource));
}

void postQuit(int exitCode) {
    PostQuitMessage(exitCode);
}

int runMessageLoop() {
    MSG message{};
    // GetMessageW answers -1 when it fails; that must end the loop rather than spin in it.
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

} // namespace platform
