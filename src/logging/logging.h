#ifndef LOGGING_LOGGING_H
#define LOGGING_LOGGING_H

#include <boost/filesystem/path.hpp>
#include <boost/log/utility/manipulators/add_value.hpp>

// The log folder "TrivaneFiscalProxy/Logs" under the local application-data folder,
// created on the way; failures to create it are not reported.
boost::filesystem::path logDirectory();

// Filter (info and above), rotating "log_%N.txt" files and the line format; call once,
// before the first log line.
void initLogging();

// Marks a line (`BOOST_LOG_TRIVIAL(info) << writeLater() << ...`) that need not reach the file
// before the thread goes on: it is written with the next line, or by `flushLog`. For the
// line of each request, so that the answer does not wait for the file system.
constexpr const char* writeLaterName = "WriteLater";
inline auto writeLater() {
    return boost::log::add_value(writeLaterName, true);
}

// Writes the lines marked `writeLater` that are still waiting.
void flushLog();

#endif
