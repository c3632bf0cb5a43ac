#ifndef LOGGING_LOGGING_H
#define LOGGING_LOGGING_H

#include <boost/filesystem/path.hpp>

// The log folder "TrivaneFiscalProxy/Logs" under the local application-data folder,
// created on the way; failures to create it are not reported.
boost::filesystem::path logDirectory();

// Filter (info and above), rotating "log_%N.txt" files and the line format; call once,
// before the first log line.
void initLogging();

#endif
