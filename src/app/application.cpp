#include "app/application.h"

#include "app/resource.h"
#include "platform/open_url.h"
#include "service/web_application.h"

#include <boost/filesystem/operations.hpp>
#include <boost/function.hpp>
#include <boost/log/trivial.hpp>
#include <chrono>
#include <exception>
#include <functional>
#include <thread>

namespace {

// Flags of WM_CERTIFICATE_CHECKED's lParam.
constexpr std::intptr_t renewalFailedFlag = 1;
constexpr std::intptr_t atStartFlag = 2;
constexpr std::intptr_t endingFlag = 4;
constexpr std::intptr_t expiredFlag = 8;
constexpr std::intptr_t unusableFlag = 16;

// From this many days before the end the tray says so at every start.
constexpr long warnAtStartDays = 7;

// A pair renewed by the machine's scheduled task is served within the hour; the renewal
// itself is tried once a day (see CertificateRenewal).
constexpr std::chrono::hours lookEvery{1};

} // namespace

Application* Application::single = nullptr;

Application* Application::instance() {
    if (single == nullptr) {
        try {
            new Application;
        } catch (...) {
            single = nullptr;
            throw;
        }
    }
    return single;
}

// Like every object that lives as long as the process, the server and the service are never
// freed.
// The certificate files are in the working folder, where the listener reads them.
Application::Application() : renewal(boost::filesystem::current_path()) {
    single = this;
    renewal.beforeListening();
    // One after the other, so that their log lines come in this order.
    const AccessSettings access = readAccessSettings();
    const LineSettings line = readLineSettings();
    server = new HttpServer(listeningAs(access));
    service = new FiscalPrinterBase(*server, access, line);
    service->stateChanged.connect(boost::function<void(FiscalPrinterBase::State)>(
        std::bind(&Application::onState, this, std::placeholders::_1)));
    connectedAtStart = service->connected();
    serverThread = std::thread(&HttpServer::start, server);
}

void Application::createWindow() {
    title = resource::appTitle;
    windowClass = resource::windowClass;
    connectedIcon = platform::loadIcon(IDI_CONNECTED, resource::connectedIconWords);
    disconnectedIcon = platform::loadIcon(IDI_DISCONNECTED, resource::disconnectedIconWords);
    platform::WindowHandle window = platform::TrayWindow::create(
        windowClass, title, platform::loadIcon(IDI_MAIN, resource::mainIconWords), windowProc);
    if (window != nullptr) {
        hWnd = window;
        window->chooseOnTerminationSignal(ID_TRAY_EXIT);
        addTrayIcon(window);
    }
    certificateWatch = std::thread(&Application::watchCertificate, this);
}

void Application::stopServer() {
    renewal.stop();
    {
        std::lock_guard<std::mutex> lock(watchMutex);
        watchEnds = true;
    }
    watchWakes.notify_all();
    if (certificateWatch.joinable())
        certificateWatch.join();
    // The tray has gone with the message loop; closing the printer tells it nothing more.
    service->stateChanged.disconnect_all_slots();
    service->finish();
    server->stop();
    if (serverThread.joinable())
        serverThread.join();
}

void Application::addTrayIcon(platform::WindowHandle window) {
    currentIcon = connectedAtStart ? connectedIcon : disconnectedIcon;
    stateTip = resource::productTooltip;
    window->addIcon(TRAY_ICON_ID, WM_TRAYICON, currentIcon, stateTip);
}

void Application::watchCertificate() {
    bool atStart = true;
    std::unique_lock<std::mutex> lock(watchMutex);
    while (!watchEnds) {
        lock.unlock();
        afterCheck(renewal.check(), atStart);
        atStart = false;
        lock.lock();
        watchWakes.wait_for(lock, lookEvery, [this] { return watchEnds; });
    }
}

void Application::afterCheck(const CertificateRenewal::Outcome& outcome, bool atStart) {
    if (outcome.pairChanged)
        serveRenewedCertificate();
    const platform::WindowHandle window = hWnd;
    if (window == nullptr)
        return;
    const std::intptr_t flags = (outcome.renewalFailed ? renewalFailedFlag : 0) |
                                (atStart ? atStartFlag : 0) | (outcome.ending ? endingFlag : 0) |
                                (outcome.daysLeft < 0 ? expiredFlag : 0) |
                                (outcome.problem.empty() ? 0 : unusableFlag);
    window->post(WM_CERTIFICATE_CHECKED,
                 static_cast<std::uintptr_t>(outcome.daysLeft < 0 ? 0 : outcome.daysLeft), flags);
}

void Application::serveRenewedCertificate() {
    try {
        service->serveRenewedCertificate();
        BOOST_LOG_TRIVIAL(info) << "New connections get the renewed certificate";
        renewal.served();
    } catch (const std::exception& error) {
        BOOST_LOG_TRIVIAL(error) << "The renewed certificate cannot be served, the old one is "
                                    "served on and the next check tries again: "
                                 << error.what();
    }
}

void Application::showTooltip(platform::WindowHandle window) {
    window->modifyIcon(currentIcon,
                       certificateNote.empty() ? stateTip : stateTip + "\n" + certificateNote);
}

// A note while the end is within the renewal period (the pair should have been renewed by
// then) or while the pair cannot be served; a balloon when a renewal failed, and at start in
// the last days or with a pair that cannot be served.
void Application::showCertificateOutcome(platform::WindowHandle window, std::uintptr_t daysLeft,
                                         std::intptr_t flags) {
    const bool failed = (flags & renewalFailedFlag) != 0;
    const bool unusable = (flags & unusableFlag) != 0;
    const bool warnNow =
        failed || ((flags & atStartFlag) != 0 && (unusable || daysLeft <= warnAtStartDays));
    const std::string note = unusable ? resource::certificateUnusableText
                             : (flags & expiredFlag) != 0
                                 ? resource::certificateExpiredText
                                 : std::string(resource::certificateEndsText) + " " +
                                       std::to_string(daysLeft) + " " +
                                       resource::certificateDaysText;
    const std::string shown = (flags & (endingFlag | unusableFlag)) != 0 ? note : std::string();
    if (shown != certificateNote) {
        certificateNote = shown;
        showTooltip(window);
    }
    if (warnNow)
        window->showBalloon(resource::productTooltip,
                            failed ? note + ". " + resource::certificateNotRenewedText : note);
}

long Application::windowProc(platform::WindowHandle window, unsigned message, std::uintptr_t wParam,
                             std::intptr_t lParam) {
    return instance()->handleMessage(window, message, wParam, lParam);
}

long Application::handleMessage(platform::WindowHandle window, unsigned message,
                                std::uintptr_t wParam, std::intptr_t lParam) {
    switch (message) {
    case WM_PRINTER_CONNECTED:
        currentIcon = connectedIcon;
        stateTip = resource::connectedTooltip;
        showTooltip(window);
        return 0;
    case WM_PRINTER_DISCONNECTED:
        currentIcon = disconnectedIcon;
        stateTip = resource::disconnectedTooltip;
        showTooltip(window);
        return 0;
    case WM_CERTIFICATE_CHECKED:
        showCertificateOutcome(window, wParam, lParam);
        return 0;
    case WM_TRAYICON:
        if (lParam == WM_LBUTTONUP || lParam == WM_RBUTTONUP)
            showTrayMenu(window);
        return 0;
    case WM_COMMAND:
        onCommand(window, static_cast<unsigned>(wParam & 0xFFFF));
        return 0;
    case WM_DESTROY:
        window->removeIcon();
        platform::postQuit(0);
        return 0;
    default:
        return window->defaultProcedure(message, wParam, lParam);
    }
}

void Application::showTrayMenu(platform::WindowHandle window) {
    const unsigned command = window->trackMenu(
        {{ID_TRAY_OPEN, resource::openMenuText}, {ID_TRAY_EXIT, resource::exitMenuText}},
        ID_TRAY_OPEN);
    window->send(WM_COMMAND, command, 0);
}

void Application::onCommand(platform::WindowHandle window, unsigned command) {
    if (command == ID_TRAY_OPEN)
        platform::openUrl(webApplicationAddress);
    else if (command == ID_TRAY_EXIT)
        window->post(WM_CLOSE);
}

// A state published before the window exists has nowhere to go and is not shown.
void Application::onState(FiscalPrinterBase::State state) {
    const platform::WindowHandle window = hWnd;
    if (window == nullptr)
        return;
    window->post(state == FiscalPrinterBase::Connected ? WM_PRINTER_CONNECTED
                                                       : WM_PRINTER_DISCONNECTED);
}
