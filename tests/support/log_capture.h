// Collects the log records written, from any thread, while it exists, as lines of the form
// "<severity> : <message>" (for example "error : Rest exception: {...}"). Other sinks keep
// working; with none installed, Boost.Log's default console output stops meanwhile.
#ifndef SUPPORT_LOG_CAPTURE_H
#define SUPPORT_LOG_CAPTURE_H

#include <memory>
#include <string>
#include <vector>

class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<std::string> lines() const;
    // True when a captured line equals `line`.
    bool contains(const std::string& line) const;

private:
    struct Installed;
    std::unique_ptr<Installed> installed;
};

#endif
