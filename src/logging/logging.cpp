#include "logging/logging.h"

#include "platform/app_data.h"
#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <boost/filesystem/operations.hpp>
#include <boost/log/core.hpp>
#include <boost/log/expressions.hpp>
#include <boost/log/sources/severity_logger.hpp>
#include <boost/log/trivial.hpp>
#include <boost/log/utility/exception_handler.hpp>
#include <boost/log/utility/setup/common_attributes.hpp>
#include <boost/log/utility/setup/file.hpp>
#include <boost/log/utility/setup/formatter_parser.hpp>
#include <exception>
#include <ios>
#include <iostream>

namespace logging = boost::log;

namespace {

constexpr unsigned long long rotationSizeBytes = 10 * 1024 * 1024;

// A log file that cannot be written must not turn every log statement into a failure of
// whatever was being logged (a request answer, the event loop); the problem goes to the
// standard error stream instead.
struct ReportLoggingFailure {
    using result_type = void;
    void operator()(const std::exception& failure) const {
        std::cerr << "Logging failed: " << failure.what() << std::endl;
    }
};

} // namespace

boost::filesystem::path logDirectory() {
    const boost::filesystem::path base = platform::localAppDataFolder();
    // On Windows the local application-data folder always exists; a fresh Linux account
    // may lack ~/.local/share. A failure shows when the log file is opened.
    boost::system::error_code ignored;
    boost::filesystem::create_directories(base, ignored);
    const boost::filesystem::path application = base / "TrivaneFiscalProxy";
    platform::createDirectory(application);
    const boost::filesystem::path logs = application / "Logs";
    platform::createDirectory(logs);
    return logs;
}

void initLogging() {
    logging::core::get()->set_filter(logging::trivial::severity >= logging::trivial::info);
    const boost::filesystem::path fileNamePattern = logDirectory() / "log_%N.txt";
    logging::register_simple_formatter_factory<logging::trivial::severity_level, char>("Severity");
    logging::add_common_attributes();
    logging::add_file_log(logging::keywords::file_name = fileNamePattern,
                          logging::keywords::rotation_size = rotationSizeBytes,
                          logging::keywords::time_based_rotation =
                              logging::sinks::file::rotation_at_time_point(0, 0, 0),
                          logging::keywords::format = "[%TimeStamp%] <%Severity%> : %Message% ",
                          logging::keywords::auto_flush = true,
                          logging::keywords::open_mode = std::ios_base::app);
    logging::core::get()->set_exception_handler(
        logging::make_exception_handler<std::exception>(ReportLoggingFailure()));
}
