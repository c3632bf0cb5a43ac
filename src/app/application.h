// The program's single object: owns the fiscal printer service and its server thread, and
// the hidden window whose tray icon follows the printer connection.
#ifndef APP_APPLICATION_H
#define APP_APPLICATION_H

#include "platform/tray.h"
#include "service/fiscal_printer_base.h"

#include <atomic>
#include <cstdint>
#include <string>

class Application {
public:
    // The single object, constructed on first use: builds the service, connects the state
    // slot and starts the server thread. Never destroyed.
    static Application* instance();

    // Creates the hidden window and adds the tray icon; when the window cannot be made,
    // the program goes on serving without it.
    void createWindow();
    // Stops the server and waits for its thread, so that a request being served (a receipt
    // half printed) is finished before the process ends.
    void stopServer();

    static long windowProc(platform::WindowHandle window, unsigned message, std::uintptr_t wParam,
                           std::intptr_t lParam);
    long handleMessage(platform::WindowHandle window, unsigned message, std::uintptr_t wParam,
                       std::intptr_t lParam);
    // The slot on the service's stateChanged; runs on the publishing thread and only posts.
    void onState(FiscalPrinterBase::State state);

    FiscalPrinterBase* service = nullptr;

private:
    Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    void addTrayIcon(platform::WindowHandle window);
    void showTrayMenu(platform::WindowHandle window);
    void onCommand(platform::WindowHandle window, unsigned command);

    static Application* single;

    std::string title;
    std::string windowClass;
    // Written once by the main thread, read by the server thread in onState.
    std::atomic<platform::WindowHandle> hWnd{nullptr};
    platform::Icon connectedIcon;
    platform::Icon disconnectedIcon;
    // Read before the server thread starts, so the icon's first colour needs no lock.
    bool connectedAtStart = false;
};

#endif
