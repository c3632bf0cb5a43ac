#include "logging/logging.h"

#include "platform/app_data.h"
#include "platform/local_time.h"
#include <algorithm>
#include <boost/date_time/c_time.hpp>
#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <boost/filesystem/operations.hpp>
#include <boost/log/attributes/clock.hpp>
#include <boost/log/core.hpp>
#include <boost/log/expressions.hpp>
#include <boost/log/sinks/sync_frontend.hpp>
#include <boost/log/sinks/text_file_backend.hpp>
#include <boost/log/sources/severity_logger.hpp>
#include <boost/log/support/date_time.hpp>
#include <boost/log/trivial.hpp>
#include <boost/log/utility/exception_handler.hpp>
#include <boost/make_shared.hpp>
#include <cstdio>
#include <ctime>
#include <exception>
#include <ios>
#include <iostream>
#include <vector>

namespace logging = boost::log;

namespace {

constexpr unsigned long long rotationSizeBytes = 10 * 1024 * 1024;
// The log folder is kept under both bounds: before a file is opened, the oldest files go
// until the next one has room.
constexpr unsigned long long folderSizeBytes = 100 * 1024 * 1024;
constexpr std::size_t folderFiles = 50;

// A log file that cannot be written must not turn every log statement into a failure of
// whatever was being logged (a request answer, the event loop); the problem goes to the
// standard error stream instead.
struct ReportLoggingFailure {
    using result_type = void; // NOLINT(readability-identifier-naming): Boost.Log asks for it
    void operator()(const std::exception& failure) const {
        std::cerr << "Logging failed: " << failure.what() << std::endl;
    }
};

// The log file, written line by line as each comes. Lines queued by `logInfoLater` wait,
// formatted, for the next line or the next flush and go before it.
class LogFile : public logging::sinks::basic_formatted_sink_backend<
                    char, logging::sinks::combine_requirements<logging::sinks::synchronized_feeding,
                                                               logging::sinks::flushing>::type> {
public:
    explicit LogFile(boost::shared_ptr<logging::sinks::text_file_backend> file)
        : file(std::move(file)) {}

    void consume(const logging::record_view& record, const string_type& line) {
        writeWaiting();
        file->consume(record, line);
        file->flush();
    }
    void flush() {
        writeWaiting();
        file->flush();
    }
    void addLater(const std::string& line) { waiting.append(line).push_back('\n'); }

private:
    void writeWaiting() {
        if (waiting.empty()) {
            return;
        }
        // One write for all of them; the file adds the last line feed itself. Its rotation
        // does not look at the record, and queued lines have none.
        waiting.pop_back();
        const std::string lines = std::move(waiting);
        waiting.clear();
        file->consume(logging::record_view(), lines);
    }

    const boost::shared_ptr<logging::sinks::text_file_backend> file;
    std::string waiting;
};

// The line the file's formatter makes of an info record logged now, from the same clock. The
// part of the time stamp down to the second is made again only when the second changes:
// converting to local time takes the C library's lock and reads the time zone.
std::string infoLine(const std::string& message) {
    static const boost::posix_time::ptime epoch(boost::gregorian::date(1970, 1, 1));
    const boost::posix_time::time_duration sinceEpoch =
        boost::posix_time::microsec_clock::universal_time() - epoch;
    const std::time_t second = static_cast<std::time_t>(sinceEpoch.total_seconds());
    thread_local std::time_t stampedSecond = -1;
    thread_local char secondText[64];
    if (second != stampedSecond) {
        std::tm local{};
        boost::date_time::c_time::localtime(&second, &local);
        std::snprintf(secondText, sizeof secondText, "[%04d-%02d-%02d %02d:%02d:%02d.",
                      local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                      local.tm_min, local.tm_sec);
        stampedSecond = second;
    }
    auto microseconds = sinceEpoch.fractional_seconds() * 1000000 /
                        boost::posix_time::time_duration::ticks_per_second();
    char digits[6];
    for (int index = 5; index >= 0; --index) {
        digits[index] = static_cast<char>('0' + microseconds % 10);
        microseconds /= 10;
    }
    std::string line(secondText);
    line.append(digits, sizeof digits).append("] <info> : ").append(message).push_back(' ');
    return line;
}

using FileSink = logging::sinks::synchronous_sink<LogFile>;
boost::shared_ptr<FileSink> fileSink;

struct FolderFile {
    boost::filesystem::path path;
    std::time_t written;
    unsigned long long size;
};

// Exactly the names the program writes, "log_" and the file's number: the folder may hold a
// shop's own files ("log_kasa_listopad.txt"), which are not the clean-up's to remove.
bool isLogFileName(const std::string& name) {
    static const std::string prefix = "log_";
    static const std::string suffix = ".txt";
    if (name.size() <= prefix.size() + suffix.size() ||
        name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
        return false;
    }
    const auto digits = name.begin() + static_cast<std::ptrdiff_t>(prefix.size());
    const auto end = name.end() - static_cast<std::ptrdiff_t>(suffix.size());
    return std::all_of(digits, end, [](char c) { return c >= '0' && c <= '9'; });
}

// The start of yesterday in local time. Files written since are never removed, whatever the
// bounds say: a flood of lines must not take the record of the day's receipts with it.
std::time_t startOfYesterday() {
    std::tm day = platform::localTimeNow();
    day.tm_hour = 0;
    day.tm_min = 0;
    day.tm_sec = 0;
    day.tm_mday -= 1;
    day.tm_isdst = -1;
    return std::mktime(&day);
}

// Newest first.
std::vector<FolderFile> logFiles(const boost::filesystem::path& folder) {
    std::vector<FolderFile> files;
    boost::system::error_code error;
    for (boost::filesystem::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
        boost::system::error_code unreadable;
        const auto size = boost::filesystem::file_size(entry->path(), unreadable);
        const auto written = boost::filesystem::last_write_time(entry->path(), unreadable);
        if (isLogFileName(entry->path().filename().string()) && !unreadable) {
            files.push_back({entry->path(), written, size});
        }
    }
    std::sort(files.begin(), files.end(),
              [](const FolderFile& a, const FolderFile& b) { return a.written > b.written; });
    return files;
}

// Runs inside the sink, which cannot log; a file that cannot be removed now is tried again
// at the next rotation.
void makeRoomForNextFile(const boost::filesystem::path& folder) {
    const std::time_t recent = startOfYesterday();
    unsigned long long kept = 0;
    std::size_t count = 0;
    for (const FolderFile& file : logFiles(folder)) {
        kept += file.size;
        ++count;
        if (file.written < recent &&
            (count >= folderFiles || kept > folderSizeBytes - rotationSizeBytes)) {
            boost::system::error_code ignored;
            boost::filesystem::remove(file.path, ignored);
        }
    }
}

} // namespace

boost::filesystem::path logDirectory() {
    const boost::filesystem::path application = platform::programDataFolder();
    // On Windows the local application-data folder always exists; a fresh Linux account
    // may lack ~/.local/share. A failure shows when the log file is opened.
    boost::system::error_code ignored;
    boost::filesystem::create_directories(application.parent_path(), ignored);
    platform::createDirectory(application);
    const boost::filesystem::path logs = application / "Logs";
    platform::createDirectory(logs);
    return logs;
}

void initLogging() {
    logging::core::get()->set_filter(logging::trivial::severity >= logging::trivial::info);
    const boost::filesystem::path folder = logDirectory();
    // The time stamp is the only attribute the lines show.
    logging::core::get()->add_global_attribute("TimeStamp", logging::attributes::local_clock());
    makeRoomForNextFile(folder);
    const auto file = boost::make_shared<logging::sinks::text_file_backend>(
        logging::keywords::file_name = folder / "log_%N.txt",
        logging::keywords::rotation_size = rotationSizeBytes,
        logging::keywords::time_based_rotation =
            logging::sinks::file::rotation_at_time_point(0, 0, 0),
        logging::keywords::open_mode = std::ios_base::app,
        // The last file is closed as the process ends, without making room: file-system
        // calls are not safe while static objects are destroyed (on Windows they ended the
        // process abnormally).
        logging::keywords::enable_final_rotation = false);
    file->set_close_handler([folder](std::ostream&) { makeRoomForNextFile(folder); });
    fileSink = boost::make_shared<FileSink>(boost::make_shared<LogFile>(file));
    fileSink->set_formatter(logging::expressions::stream
                            << "["
                            << logging::expressions::format_date_time<boost::posix_time::ptime>(
                                   "TimeStamp", "%Y-%m-%d %H:%M:%S.%f")
                            << "] <" << logging::trivial::severity
                            << "> : " << logging::expressions::smessage << " ");
    // On the sink as well as the core, so that it also covers `flushLog`.
    const auto reportFailure =
        logging::make_exception_handler<std::exception>(ReportLoggingFailure());
    fileSink->set_exception_handler(reportFailure);
    logging::core::get()->add_sink(fileSink);
    logging::core::get()->set_exception_handler(reportFailure);
}

void logInfoLater(const std::string& message) {
    if (!fileSink) {
        BOOST_LOG_TRIVIAL(info) << message;
        return;
    }
    fileSink->locked_backend()->addLater(infoLine(message));
}

void flushLog() {
    if (fileSink) {
        fileSink->flush();
    }
}
