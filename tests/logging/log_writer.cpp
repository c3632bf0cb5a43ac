// Sets up logging and writes one record per argument, at each severity in turn:
// "log_writer A B" writes "A" at trace, debug, info, warning, error and fatal, then "B".
#include "logging/logging.h"
#include <boost/log/trivial.hpp>

int main(int argc, char* argv[]) {
    initLogging();
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
