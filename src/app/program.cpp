// The program's run: one instance per session, logging, the certificate check, the
// application and its message loop, and the guard that turns a failed start into exit code 1.
#include "app/program.h"

#include "app/application.h"
#include "app/resource.h"
#include "logging/logging.h"
#include "platform/app_data.h"
#include "platform/message_box.h"
#include "platform/single_instance.h"
#include "platform/system_version.h"
#include "platform/tray.h"

#include <boost/filesystem/operations.hpp>
#include <boost/log/trivial.hpp>
#include <cstdlib>
#include <exception>
#include <iostream>

namespace {

// A directory of that name counts as present too; the listener finds out what it holds.
bool present(const char* file) {
    const boost::filesystem::file_type type = boost::filesystem::status(file).type();
    return type != boost::filesystem::status_error && type != boost::filesystem::file_not_found;
}

// "server.crt" is looked at only when "server.key" is there.
bool certificateFilesPresent() {
    return present("server.key") && present("server.crt");
}

[[noreturn]] void endForMissingFiles() {
    BOOST_LOG_TRIVIAL(fatal) << "Certificate files not found...";
    platform::showErrorBox(resource::missingFilesText, resource::errorCaption);
    std::exit(1);
}

int startAndServe() {
    BOOST_LOG_TRIVIAL(info) << "Starting application.";
    const platform::SystemVersion version = platform::systemVersion();
    BOOST_LOG_TRIVIAL(info) << "System version " << version.major << "." << version.minor;
    BOOST_LOG_TRIVIAL(info) << "Checking certificates";
    if (!certificateFilesPresent())
        endForMissingFiles();
    Application* application = Application::instance();
    application->createWindow();
    const int exitCode = platform::runMessageLoop();
    application->stopServer();
    BOOST_LOG_TRIVIAL(info) << "Exit...";
    return exitCode;
}

int reportStartupError(platform::SingleInstanceLock& instanceLock, const char* text) {
    platform::showErrorBox(text, resource::errorCaption);
    instanceLock.release();
    return 1;
}

} // namespace

int runProgram() {
    platform::takeOverProcessSignals();
    platform::SingleInstanceLock instanceLock(resource::instanceMutexName);
    // Without a log yet, what went wrong goes to the standard error stream.
    try {
        if (!instanceLock.acquire())
            return 0;
        initLogging();
    } catch (const platform::UnknownDataFolder& error) {
        std::cerr << error.what() << std::endl;
        return reportStartupError(instanceLock, resource::noDataFolderText);
    } catch (const std::exception& error) {
        std::cerr << error.what() << std::endl;
        return reportStartupError(instanceLock, resource::startupErrorText);
    }
    try {
        return startAndServe();
    } catch (const std::exception& error) {
        BOOST_LOG_TRIVIAL(fatal) << "Startup error: exception = " << error.what();
        return reportStartupError(instanceLock, resource::startupErrorText);
    } catch (...) {
        BOOST_LOG_TRIVIAL(fatal) << "Startup error: unknown exception";
        return reportStartupError(instanceLock, resource::startupErrorText);
    }
}
