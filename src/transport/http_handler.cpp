#include "transport/http_handler.h"
#include "transport/http_exception.h"
#include <boost/log/trivial.hpp>
#include <stdexcept>

namespace {

// Whatever a failing handler had written is dropped, so that the answer is only the error.
void answerWithText(HttpResponse& response, int status, const std::string& reason,
                    const std::string& body) {
    response.status = status;
    response.statusText = reason;
    response.content.str("");
    response.content << body;
    response.headers["Content-Type"] = "text/plain";
}

} // namespace

HttpHandler::~HttpHandler() = default;

void HttpHandler::prepare(HttpResponse&) {}

void HttpHandler::admit(const HttpRequest&, HttpResponse&) {}

void HttpHandler::answerFailure(std::exception_ptr failure, HttpResponse& response) {
    try {
        std::rethrow_exception(failure);
    } catch (const Refusal& refusal) {
        answerWithText(response, refusal.status, refusal.message, refusal.explanation);
    } catch (const HttpException& exception) {
        BOOST_LOG_TRIVIAL(error) << "Http exception: " << exception.status << " "
                                 << exception.message;
        answerWithText(response, exception.status, exception.message, exception.message);
    } catch (const std::exception& exception) {
        BOOST_LOG_TRIVIAL(error) << "Http exception[std]: " << exception.what();
        answerWithText(response, 500, "Internal Server Error",
                       std::string("Internal Server Error: ") + exception.what());
    } catch (...) {
        BOOST_LOG_TRIVIAL(error) << "Http exception: unknown";
        answerWithText(response, 500, "Internal Server Error", "Internal Server Error");
    }
}
