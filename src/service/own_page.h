// The program's own page at "/", where a shop's IT person sees at one look whether the
// program runs, the browser trusts its certificate and the printer is connected. Its
// documents are compiled in from page/.
#ifndef SERVICE_OWN_PAGE_H
#define SERVICE_OWN_PAGE_H

#include "rest/rest_server.h"

struct PageDocument {
    const char* path;
    const char* contentType;
    const char* text;
};

// "/", the style sheet and script it loads, and its icon in the tray's two colours.
extern const PageDocument pageDocuments[5];

// Answers `document` as it is.
RouteHandler pageDocumentHandler(const PageDocument& document);

// `handler` with answers that may not be framed and are not kept; registered as
// RouteKind::Page or PageData, they carry no CORS permission and answer only the page
// itself and navigations, so another site can neither read nor show them.
RouteHandler withPageHeaders(RouteHandler handler);

#endif
