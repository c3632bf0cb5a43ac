#include "service/own_page.h"

namespace {

using Request = std::shared_ptr<RestRequest>;
using Response = std::shared_ptr<RestResponse>;

void setPageHeaders(HttpResponse& response) {
    response.headers["Content-Security-Policy"] = "default-src 'self'; frame-ancestors 'none'";
    response.headers["X-Frame-Options"] = "DENY";
    response.headers["X-Content-Type-Options"] = "nosniff";
    response.headers["Referrer-Policy"] = "no-referrer";
    response.headers["Cache-Control"] = "no-store";
}

} // namespace

RouteHandler pageDocumentHandler(const PageDocument& document) {
    return [&document](Request, Response response) {
        response->setDocument(document.contentType, document.text);
    };
}

RouteHandler withPageHeaders(RouteHandler handler) {
    return [handler](Request request, Response response) {
        setPageHeaders(*response->httpResponse);
        handler(request, response);
    };
}
