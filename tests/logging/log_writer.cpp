// Sets up logging and writes one record per argument, at each severity in turn:
// "log_writer A B" writes "A" at trace, debug, info, warning, error and fatal, then "B".
// "log_writer --fill N" instead writes info records of 1000 characters until N characters
// have been written. "log_writer --later A B C" queues A, logs B as a warning, queues C and
// flushes.
#include "logging/logging.h"
#include <boost/log/trivial.hpp>
#include <string>

namespace {

void fill(unsigned long total) {
    const std::string record(1000, 'f');
    for (unsigned long written = 0; written < total; written += record.size()) {
        BOOST_LOG_TRIVIAL(info) << record;
    }
}

} // namespace

int main(int argc, char* argv[]) {
    initLogging();
    if (argc == 3 && std::string(argv[1]) == "--fill") {
        fill(std::stoul(argv[2]));
        return 0;
    }
    if (argc == 5 && std::string(argv[1]) == "--later") {
        logInfoLater(argv[2]);
        BOOST_LOG_TRIVIAL(warning) << argv[3];
        logInfoLater(argv[4]);
        flushLog();
        return 0;
    }
    for (int index = 1; index < argc; ++index) {
        BOOST_LOG_TRIVIAL(trace) << argv[index];
        BOOST_LOG_TRIVIAL(debug) << argv[index];
        BOOST_LOG_TRIVIAL(info) << argv[index];
        BOOST_LOG_TRIVIAL(warning) << argv[index];
        BOOST_LOG_TRIVIAL(error) << argv[index];
        BOOST_LOG_TRIVIAL(fatal) << argv[index];
    }
    return 0;
}
