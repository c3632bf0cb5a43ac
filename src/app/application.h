// The program's single object: owns the HTTPS server and its event-loop thread, the fiscal
// printer service that answers it (with its printer worker's thread), and the hidden window
// whose tray icon follows the printer connection.
#ifndef APP_APPLICATION_H
#define APP_APPLICATION_H

#include "app/certificate_renewal.h"
#include "platform/tray.h"
#include "service/fiscal_printer_base.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

class Application {
public:
    // The single object, constructed on first use: builds the service, connects the state
    // slot and starts the server thread. Never destroyed.
    static Application* instance();

    // Creates the hidden window and adds the tray icon; when the window cannot be made,
    // the program goes on serving without it.
    void createWindow();
    // Stops the certificate's daily check, lets the printer operation under way end (a
    // receipt half printed is finished, and answered), closes the printer and stops the
    // server, waiting for every thread.
    void stopServer();

    static long windowProc(platform::WindowHandle window, unsigned message, std::uintptr_t wParam,
                           std::intptr_t lParam);
    long handleMessage(platform::WindowHandle window, unsigned message, std::uintptr_t wParam,
                       std::intptr_t lParam);
    // The slot on the service's stateChanged; runs on the publishing thread and only posts.
    void onState(FiscalPrinterBase::State state);

    HttpServer* server = nullptr;
    FiscalPrinterBase* service = nullptr;

private:
    Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    void addTrayIcon(platform::WindowHandle window);
    void showTrayMenu(platform::WindowHandle window);
    void onCommand(platform::WindowHandle window, unsigned command);
    // The thread that checks the certificate at start and once a day (renewing it, and
    // switching the server to a new pair), and tells the tray what it found.
    void watchCertificate();
    void afterCheck(const CertificateRenewal::Outcome& outcome, bool atStart);
    void serveRenewedCertificate();
    // The tray's tooltip: the connection's state, and the certificate's coming end.
    void showTooltip(platform::WindowHandle window);
    void showCertificateOutcome(platform::WindowHandle window, std::uintptr_t daysLeft,
                                std::intptr_t flags);

    static Application* single;

    std::string title;
    std::string windowClass;
    // Written once by the main thread, read by the printer worker in onState.
    std::atomic<platform::WindowHandle> hWnd{nullptr};
    platform::Icon connectedIcon;
    platform::Icon disconnectedIcon;
    // Read before the server thread starts, so the icon's first colour needs no lock.
    bool connectedAtStart = false;
    // The icon and texts shown now; the loop's thread only.
    platform::Icon currentIcon;
    std::string stateTip;
    std::string certificateNote;

    std::thread serverThread;
    CertificateRenewal renewal;
    std::thread certificateWatch;
    std::mutex watchMutex;
    std::condition_variable watchWakes;
    bool watchEnds = false;
};

#endif
