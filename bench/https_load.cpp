// HTTPS load with a new TLS 1.3 connection for every request, as the browser's one-request
// connections to the program are: connect, handshake, send, read until the server closes.
//
//     https_load PORT PATH EXPECTED_BODY CONCURRENCY REQUESTS SECONDS
//
// Keeps CONCURRENCY requests in flight on one thread until REQUESTS have completed or
// SECONDS have passed, then prints one line: "completed failed seconds rate p50_ms p99_ms".
// An answer counts as failed unless its status is 200 and its body is EXPECTED_BODY.
#include <algorithm>
#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/asio/ssl/stream.hpp>
#include <boost/asio/write.hpp>
#include <chrono>
#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <vector>

namespace asio = boost::asio;
using boost::system::error_code;
using Clock = std::chrono::steady_clock;

namespace {

struct Settings {
    unsigned short port;
    std::string path;
    std::string expectedBody;
    int concurrency;
    long requests;
    double seconds;
};

struct Results {
    long started = 0;
    long failed = 0;
    std::vector<double> latencies; // milliseconds, of the answers that were right
};

class LoadGenerator {
public:
    explicit LoadGenerator(const Settings& settings)
        : settings(settings), context(asio::ssl::context::tlsv13_client),
          endpoint(asio::ip::address_v4::loopback(), settings.port),
          request("GET " + settings.path +
                  " HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: application/json\r\n\r\n") {
        // Both servers use the same self-signed certificate; its check is not what is measured.
        context.set_verify_mode(asio::ssl::verify_none);
    }

    double run() {
        start = Clock::now();
        for (int i = 0; i < settings.concurrency; ++i) {
            startRequest();
        }
        io.run();
        return std::chrono::duration<double>(Clock::now() - start).count();
    }

    Results results;

private:
    struct Exchange {
        Exchange(asio::io_context& io, asio::ssl::context& context) : stream(io, context) {}
        asio::ssl::stream<asio::ip::tcp::socket> stream;
        std::string answer;
        Clock::time_point begun = Clock::now();
    };
    using ExchangePtr = std::shared_ptr<Exchange>;

    bool mayStartMore() const {
        return results.started < settings.requests &&
               std::chrono::duration<double>(Clock::now() - start).count() < settings.seconds;
    }

    void startRequest() {
        if (!mayStartMore()) {
            return;
        }
        ++results.started;
        auto exchange = std::make_shared<Exchange>(io, context);
        exchange->stream.lowest_layer().async_connect(
            endpoint, [this, exchange](const error_code& error) {
                if (error) {
                    return finish(exchange, false);
                }
                exchange->stream.async_handshake(
                    asio::ssl::stream_base::client,
                    [this, exchange](const error_code& error) { onHandshake(exchange, error); });
            });
    }

    void onHandshake(const ExchangePtr& exchange, const error_code& error) {
        if (error) {
            return finish(exchange, false);
        }
        asio::async_write(exchange->stream, asio::buffer(request),
                          [this, exchange](const error_code& error, std::size_t) {
                              if (error) {
                                  return finish(exchange, false);
                              }
                              readAnswer(exchange);
                          });
    }

    // Reads until the server closes; neither server sends a TLS close-notify every time, so
    // a truncated stream is the normal end as well.
    void readAnswer(const ExchangePtr& exchange) {
        asio::async_read(exchange->stream, asio::dynamic_buffer(exchange->answer),
                         [this, exchange](const error_code& error, std::size_t) {
                             const bool closed = error == asio::error::eof ||
                                                 error == asio::ssl::error::stream_truncated;
                             finish(exchange, closed && isExpected(exchange->answer));
                         });
    }

    bool isExpected(const std::string& answer) const {
        const std::size_t headerEnd = answer.find("\r\n\r\n");
        return answer.compare(0, 12, "HTTP/1.1 200") == 0 && headerEnd != std::string::npos &&
               answer.substr(headerEnd + 4) == settings.expectedBody;
    }

    void finish(const ExchangePtr& exchange, bool right) {
        if (right) {
            results.latencies.push_back(
                std::chrono::duration<double, std::milli>(Clock::now() - exchange->begun).count());
        } else {
            ++results.failed;
        }
        startRequest();
    }

    const Settings settings;
    asio::io_context io;
    asio::ssl::context context;
    asio::ip::tcp::endpoint endpoint;
    const std::string request;
    Clock::time_point start;
};

double percentile(std::vector<double> sorted, double fraction) {
    if (sorted.empty()) {
        return 0;
    }
    std::sort(sorted.begin(), sorted.end());
    const auto index = static_cast<std::size_t>(fraction * static_cast<double>(sorted.size() - 1));
    return sorted[index];
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 7) {
        std::fprintf(stderr, "usage: %s PORT PATH EXPECTED_BODY CONCURRENCY REQUESTS SECONDS\n",
                     argv[0]);
        return 2;
    }
    try {
        const Settings settings{static_cast<unsigned short>(std::stoi(argv[1])),
                                argv[2],
                                argv[3],
                                std::stoi(argv[4]),
                                std::stol(argv[5]),
                                std::stod(argv[6])};
        LoadGenerator generator(settings);
        const double seconds = generator.run();
        const Results& results = generator.results;
        const auto completed = static_cast<double>(results.latencies.size());
        std::printf("%zu %ld %.2f %.1f %.2f %.2f\n", results.latencies.size(), results.failed,
                    seconds, completed / seconds, percentile(results.latencies, 0.50),
                    percentile(results.latencies, 0.99));
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "https_load: %s\n", error.what());
        return 1;
    }
}
