#ifndef LOGGING_LOGGING_H
#define LOGGING_LOGGING_H

#include <boost/filesystem/path.hpp>
#include <string>

// The log folder "TrivaneFiscalProxy/Logs" under the local application-data folder,
// created on the way; failures to create it are not reported.
boost::filesystem::path logDirectory();

// Filter (info and above), rotating "log_%N.txt" files and the line format; call once,
// before the first log line.
void initLogging();

// Queues an info line that need not reach the file before the thread goes on: it is written
// before the next line logged, or by `flushLog`, with the time of this call. For the line of
// each request, so that the answer waits neither for the file system nor for the making of a
// log record. Before `initLogging` the line is logged at once.
void logInfoLater(const std::string& message);

// Writes the lines that `logInfoLater` queued.
void flushLog();

#endif
