#include "support/log_capture.h"

#include <algorithm>
#include <boost/log/core.hpp>
#include <boost/log/expressions.hpp>
#include <boost/log/sinks/basic_sink_backend.hpp>
#include <boost/log/sinks/sync_frontend.hpp>
#include <boost/log/trivial.hpp>
#include <mutex>

namespace logging = boost::log;

namespace {

class Collector
    : public logging::sinks::basic_formatted_sink_backend<char,
                                                          logging::sinks::synchronized_feeding> {
public:
    void consume(const logging::record_view&, const std::string& line) {
        std::lock_guard<std::mutex> lock(mutex);
        collected.push_back(line);
    }

    std::vector<std::string> lines() const {
        std::lock_guard<std::mutex> lock(mutex);
        return collected;
    }

private:
    mutable std::mutex mutex;
    std::vector<std::string> collected;
};

using CollectorSink = logging::sinks::synchronous_sink<Collector>;

} // namespace

struct LogCapture::Installed {
    boost::shared_ptr<Collector> collector = boost::make_shared<Collector>();
    boost::shared_ptr<CollectorSink> sink = boost::make_shared<CollectorSink>(collector);
};

LogCapture::LogCapture() : installed(std::make_unique<Installed>()) {
    installed->sink->set_formatter(logging::expressions::stream << logging::trivial::severity
                                                                << " : "
                                                                << logging::expressions::smessage);
    logging::core::get()->add_sink(installed->sink);
}

LogCapture::~LogCapture() {
    logging::core::get()->remove_sink(installed->sink);
}

std::vector<std::string> LogCapture::lines() const {
    return installed->collector->lines();
}

bool LogCapture::contains(const std::string& line) const {
    const std::vector<std::string> all = lines();
    return std::find(all.begin(), all.end(), line) != all.end();
}
