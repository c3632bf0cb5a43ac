#include "service/own_page.h"

RouteHandler pageDocumentHandler(const PageDocument& document) {
    return [&document](std::shared_ptr<RestRequest>, std::shared_ptr<RestResponse> response) {
        response->setDocument(document.contentType, document.text);
    };
}
