#include "app/application.h"

#include "app/resource.h"
#include "platform/open_url.h"
#include "service/web_application.h"

#include <boost/function.hpp>
#include <functional>
#include <thread>

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

// Like every object that lives as long as the process, the service and its thread are never
// freed.
Application::Application() {
    single = this;
    service = new FiscalPrinterBase(ServerSettings(), readAccessSettings());
    service->stateChanged.connect(boost::function<void(FiscalPrinterBase::State)>(
        std::bind(&Application::onState, this, std::placeholders::_1)));
    connectedAtStart = service->connected();
    service->serverThread = new std::thread(&FiscalPrinterBase::start, service);
}

void Application::createWindow() {
    title = resource::appTitle;
    windowClass = resource::windowClass;
    connectedIcon = platform::loadIcon(IDI_CONNECTED, resource::connectedIconWords);
    disconnectedIcon = platform::loadIcon(IDI_DISCONNECTED, resource::disconnectedIconWords);
    platform::WindowHandle window = platform::TrayWindow::create(
        windowClass, title, platform::loadIcon(IDI_MAIN, resource::mainIconWords), windowProc);
    if (window == nullptr)
        return;
    hWnd = window;
    window->chooseOnTerminationSignal(ID_TRAY_EXIT);
    addTrayIcon(window);
}

void Application::stopServer() {
    service->stop();
    if (service->serverThread->joinable())
        service->serverThread->join();
}

void Application::addTrayIcon(platform::WindowHandle window) {
    window->addIcon(TRAY_ICON_ID, WM_TRAYICON, connectedAtStart ? connectedIcon : disconnectedIcon,
                    resource::productTooltip);
}

long Application::windowProc(platform::WindowHandle window, unsigned message, std::uintptr_t wParam,
                             std::intptr_t lParam) {
    return instance()->handleMessage(window, message, wParam, lParam);
}

long Application::handleMessage(platform::WindowHandle window, unsigned message,
                                std::uintptr_t wParam, std::intptr_t lParam) {
    switch (message) {
    case WM_PRINTER_CONNECTED:
        window->modifyIcon(connectedIcon, resource::connectedTooltip);
        return 0;
    case WM_PRINTER_DISCONNECTED:
        window->modifyIcon(disconnectedIcon, resource::disconnectedTooltip);
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
