#include "transport/http_request.h"

HttpRequest::HttpRequest() : content(&buffer) {}
